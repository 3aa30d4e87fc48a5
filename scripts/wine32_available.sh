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
echo "wine32_available: $loader ($version) with $dlls"
