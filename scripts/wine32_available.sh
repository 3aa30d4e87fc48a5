#!/usr/bin/env bash
# Succeeds when a Wine that runs 32-bit Windows programs is installed and
# runs here: a "wine" loader (Debian's wine32 puts it in /usr/lib/wine,
# other builds on the PATH) and Wine's i386 Windows DLLs, the loader
# starting. Prints what it found, or why there is none.
set -u
loader=""
for candidate in /usr/lib/wine/wine "$(command -v wine 2>/dev/null)"; do
  if [ -n "$candidate" ] && [ -x "$candidate" ]; then
    loader=$candidate
    break
  fi
done
if [ -z "$loader" ]; then
  echo "wine32_available: no 32-bit Wine loader (wine): wine32:i386 is not installed"
  exit 1
fi
dlls=""
for folder in /usr/lib/i386-linux-gnu/wine/i386-windows /usr/lib/wine/i386-windows \
  /usr/local/lib/wine/i386-windows /opt/wine*/lib/wine/i386-windows; do
  if [ -f "$folder/kernel32.dll" ]; then
    dlls=$folder
    break
  fi
done
if [ -z "$dlls" ]; then
  echo "wine32_available: $loader found, but no i386 Windows DLLs"
  exit 1
fi
# The loader is itself a 32-bit program: a kernel built or booted without
# IA-32 emulation refuses it ("Exec format error").
if ! version=$("$loader" --version 2>&1); then
  echo "wine32_available: $loader is installed but does not start: ${version:-no output}"
  case $version in
    *"Exec format error"*)
      echo "wine32_available: this kernel runs no 32-bit x86 programs (IA-32 emulation off)" ;;
  esac
  exit 1
fi
# Under qemu's user-mode emulator the loader may start and yet find no room
# for the page Windows keeps at a fixed address, so no program runs at all
# ("failed to map the shared user data"): then there is no 32-bit Wine here
# either. Any other failure is left to the tests themselves.
prefix=$(mktemp -d)
trial=$(WINEPREFIX=$prefix WINEDEBUG=err+virtual timeout 300 "$loader" cmd.exe /c exit 0 2>&1)
rm -rf "$prefix"
case $trial in
  *"failed to map the shared user data"*)
    echo "wine32_available: $loader ($version) starts, but runs no program here: failed to map the shared user data (under qemu-i386)"
    exit 1 ;;
esac
echo "wine32_available: $loader ($version) with $dlls"
