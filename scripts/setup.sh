#!/usr/bin/env bash
# Installs everything needed to build, test and benchmark the library on a
# fresh Debian machine. Safe to run again: apt-get skips what is installed.
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
  nlohmann-json3-dev doxygen mupdf-tools time file dpkg-dev fonts-dejavu-core gcovr lintian
  libcpp-httplib-dev chromium chromium-driver python3-selenium
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)

# One stale index must not stop set-up: the packages may still install.
"${sudo_cmd[@]}" apt-get update || echo "setup: apt-get update reported a problem; continuing"
# Given on the command line too: sudo does not pass the environment on.
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
