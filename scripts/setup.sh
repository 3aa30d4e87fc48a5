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
  libicu-dev libpugixml-dev libzip-dev
  libmupdf-dev libmujs-dev libgumbo-dev libopenjp2-7-dev libjbig2dec0-dev
  libharfbuzz-dev libfreetype-dev libjpeg-dev libpng-dev libbrotli-dev zlib1g-dev
  python3 python3-ebooklib zip unzip valgrind
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev googletest wine64
  nlohmann-json3-dev doxygen mupdf-tools time file dpkg-dev fonts-dejavu-core gcovr
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

if [ ${#missing[@]} -eq 0 ] && [ -z "${missing_wine32:-}" ]; then
  echo "setup: all packages present"
  exit 0
fi

# Given on the command line: sudo does not pass the environment on.
apt_install=("${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y
  --no-install-recommends)

# One stale index must not stop set-up: the packages may still install.
"${sudo_cmd[@]}" apt-get update || echo "setup: apt-get update reported a problem; continuing"
status=0
if [ ${#missing[@]} -gt 0 ]; then
  "${apt_install[@]}" "${missing[@]}" || status=$?
fi
# Apart, so that a mirror without i386 packages holds back nothing else;
# .ci/run then says that it skipped the 32-bit Windows tests.
if [ -n "${missing_wine32:-}" ]; then
  "${apt_install[@]}" "$wine32_package" ||
    echo "setup: $wine32_package could not be installed; the 32-bit Windows tests cannot run"
fi
exit $status
