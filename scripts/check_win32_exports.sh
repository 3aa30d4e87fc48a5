#!/usr/bin/env bash
# Checks the 32-bit Windows DLLs of a build folder (default build/win32):
#  - EpubReader.dll exports exactly the EpubReader_* functions declared in
#    include/epubreader.h, undecorated, and nothing else;
#  - every DLL (and the two C hosts) imports only from Windows' own DLLs
#    and from each other, so the three DLLs need nothing beyond Windows.
# For the x86-64 build: OBJDUMP=x86_64-w64-mingw32-objdump and build/win64.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/win32}
bin=$build/bin
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
status=0

# The declared exports: every EpubReader_* name followed by an opening
# parenthesis in the public header, outside comments.
expected=$(grep -vE '^[[:space:]]*(/?\*|//)' include/epubreader.h |
  grep -oE '\bEpubReader_[A-Za-z0-9_]+[[:space:]]*\(' |
  sed -E 's/[[:space:]]*\($//' | sort -u)
count=$(printf '%s\n' "$expected" | wc -l)
if [ "$count" -ne 68 ]; then
  echo "check_win32_exports: expected 68 declared exports in include/epubreader.h, found $count"
  status=1
fi

# The names in the export table, between its heading and the blank line
# that ends it.
exported=$("$objdump" -p "$bin/EpubReader.dll" |
  sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -nE 's/^[[:space:]]*\[[[:space:]]*[0-9]+\][[:space:]]+//p' | sort)
if [ "$exported" != "$expected" ]; then
  echo "check_win32_exports: EpubReader.dll exports differ from include/epubreader.h"
  diff <(printf '%s\n' "$expected") <(printf '%s\n' "$exported") | sed 's/^/  /' || true
  status=1
else
  echo "check_win32_exports: EpubReader.dll exports the $count declared functions, nothing else"
fi

# Windows' own DLLs the libraries may import from, and our own.
allowed='^(kernel32|user32|gdi32|advapi32|msvcrt|ucrtbase|ntdll|ws2_32|shell32|ole32|api-ms-win-crt-[a-z0-9-]+|pendrel|vorozovorevare|epubreader)\.dll$'
for dll in EpubReader.dll Pendrel.dll VorozoVorevare.dll win32_smoke.exe win_dll_host.exe; do
  if [ ! -f "$bin/$dll" ]; then
    echo "check_win32_exports: $bin/$dll missing"
    status=1
    continue
  fi
  imports=$("$objdump" -p "$bin/$dll" | sed -nE 's/^[[:space:]]*DLL Name:[[:space:]]*//p')
  while read -r name; do
    [ -z "$name" ] && continue
    if ! printf '%s\n' "$name" | tr '[:upper:]' '[:lower:]' | grep -qE "$allowed"; then
      echo "check_win32_exports: $dll imports from $name, which Windows does not provide"
      status=1
    fi
  done <<<"$imports"
  echo "check_win32_exports: $dll imports from $(printf '%s\n' "$imports" | paste -sd' ' -)"
done

exit $status
