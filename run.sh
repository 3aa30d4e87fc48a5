#!/usr/bin/env bash
# From a fresh clone to a rendered page: sets the machine up (Debian 12,
# needs root or sudo), builds the epubreader command, then shows the
# built-in sample publication and draws its first page into out/.
set -euo pipefail
cd "$(dirname "$0")"

bash scripts/setup.sh
cmake --preset default
cmake --build build/default -j"${EPUB_JOBS:-2}" --target epubreader

echo
build/default/tools/epubreader info
echo
page=$(build/default/tools/epubreader render --page 1 -o out)
echo "Page 1 of the sample is drawn in $page"
echo "Next: build/default/tools/epubreader --help, or any command with a book: info book.epub"
