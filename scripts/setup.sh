#!/usr/bin/env bash
# Installs everything needed to build, test and benchmark the library on a
# fresh Debian machine, 32-bit Wine included. Safe to run again: it installs
# only what is missing.
set -u
export DEBIAN_FRONTEND=noninteractive

packages=(
  build-essential cmake ninja-build ccache pkg-config git
  clang clang-format libclang-rt-14-dev
  gcc-multilib g++-multilib
  g++-mingw-w64-i686-posix mingw-w64-i686-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libicu-dev libpugixml-dev libzip-dev libminizip-dev
  libmupdf-dev libmujs-dev libgumbo-dev libopenjp2-7-dev libjbig2dec0-dev
  libharfbuzz-dev libfreetype-dev libjpeg-dev libpng-dev libbrotli-dev zlib1g-dev
  libhyphen-dev hyphen-en-us hyphen-en-gb hyphen-de hyphen-fr hyphen-es hyphen-it hyphen-nl
  hyphen-pt-pt hyphen-pt-br hyphen-pl hyphen-sv hyphen-da hyphen-ru
  python3 python3-ebooklib zip unzip valgrind
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev googletest wine64
  nlohmann-json3-dev doxygen mupdf-tools time file dpkg-dev fonts-dejavu-core gcovr lintian
  libcpp-httplib-dev chromium chromium-driver python3-selenium python3-pil fonts-droid-fallback
)

# 32-bit Wine, for the i686 DLLs' tests, comes from the i386 architecture.
wine32_package=wine32:i386

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
installed "$wine32_package" || missing_wine32=1

# Given on the command line: sudo does not pass the environment on.
apt_install=("${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y
  --no-install-recommends)

status=0
if [ ${#missing[@]} -eq 0 ] && [ -z "${missing_wine32:-}" ]; then
  echo "setup: all packages present"
else
  # One stale index must not stop set-up: the packages may still install.
  "${sudo_cmd[@]}" apt-get update || echo "setup: apt-get update reported a problem; continuing"
  if [ ${#missing[@]} -gt 0 ]; then
    "${apt_install[@]}" "${missing[@]}" || status=$?
  fi
  # Apart, so that a mirror without i386 packages holds back nothing else;
  # .ci/run then says that it skipped the 32-bit Windows tests.
  if [ -n "${missing_wine32:-}" ]; then
    "${apt_install[@]}" "$wine32_package" ||
      echo "setup: $wine32_package could not be installed; the 32-bit Windows tests cannot run"
  fi
fi

# Some kernels run no 32-bit x86 program (virtual machines without 32-bit
# system calls: "Exec format error"). There 32-bit Wine runs under qemu's
# user-mode emulator, registered for i386 programs through binfmt_misc.
wine32_loader=/usr/lib/wine/wine
binfmt=/proc/sys/fs/binfmt_misc
if [ -x "$wine32_loader" ] && ! "$wine32_loader" --version >/dev/null 2>&1; then
  installed qemu-user-static || "${apt_install[@]}" qemu-user-static ||
    echo "setup: qemu-user-static could not be installed"
  [ -e "$binfmt/register" ] ||
    "${sudo_cmd[@]}" mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || true
  if [ -x /usr/bin/qemu-i386-static ] && [ -w "$binfmt/register" ] && [ ! -e "$binfmt/qemu-i386" ]; then
    # An i386 ELF executable or shared object; F opens the emulator now, so
    # that it also serves programs in other mount namespaces.
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' |
      "${sudo_cmd[@]}" tee "$binfmt/register" >/dev/null ||
      echo "setup: could not register qemu-i386 for 32-bit programs"
  fi
  if "$wine32_loader" --version >/dev/null 2>&1; then
    echo "setup: 32-bit programs run under qemu-i386 (this kernel runs none itself)"
  else
    echo "setup: 32-bit programs do not run here; the 32-bit Windows tests cannot run"
  fi
fi
exit $status
