#!/usr/bin/env bash
# Succeeds when a Wine that runs 32-bit Windows programs is installed: a
# "wine" loader (Debian's wine32 puts it in /usr/lib/wine, other builds on
# the PATH) and Wine's i386 Windows DLLs. Prints what it found.
set -u
loader=""
for candidate in /usr/lib/wine/wine "$(command -v wine 2>/dev/null)"; do
  if [ -n "$candidate" ] && [ -x "$candidate" ]; then
    loader=$candidate
    break
  fi
done
if [ -z "$loader" ]; then
  echo "wine32_available: no 32-bit Wine loader (wine)"
  exit 1
fi
for dlls in /usr/lib/i386-linux-gnu/wine/i386-windows /usr/lib/wine/i386-windows \
  /usr/local/lib/wine/i386-windows /opt/wine*/lib/wine/i386-windows; do
  if [ -f "$dlls/kernel32.dll" ]; then
    echo "wine32_available: $loader with $dlls"
    exit 0
  fi
done
echo "wine32_available: $loader found, but no i386 Windows DLLs"
exit 1
