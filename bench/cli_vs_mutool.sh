#!/usr/bin/env bash
# Whole processes of the epubreader command against `mutool draw` on the same
# generated long book (scripts/make_render_book.py, 340 documents, over 1,000
# pages of 600 x 800 points, font size 12), in one run: page 1, page 500,
# every page to PNG, a search, the plain text. Each figure is the best
# wall-clock time of three runs; peak RSS (GNU time %M) is that of the same
# work with one worker (--jobs 1), beside mutool's.
#
# The kernel maps whatever of a program's files the page cache holds
# around each page a run touches, so a run's RSS grows with what earlier
# work (other commands, the tests) read of the same files. Before each RSS
# run both programs' own files (the command and the libraries of the build,
# the mutool program) are dropped from the page cache: each counts the pages
# it needs and what the kernel reads around them, not what other work left.
#
# MuPDF keeps what it learnt of a book's layout (each chapter's page count)
# in an accelerator file under /var/tmp, which makes its later runs skip
# laying out the chapters before the page asked for. Every mutool row
# removes that file first, so both programs do the same work; two more rows
# ("warm") give pages 1 and 500 with mutool's file kept from the run before,
# and ours with its own page counts kept from a whole layout (the cache of
# `render --page`, in a folder of its own here).
#
# Usage: bench/cli_vs_mutool.sh [BUILD_DIR] [DOCUMENTS] [JOBS]  (JOBS default 2)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../build/default}"
jobs="${3:-2}"
ours="$build/tools/epubreader"
work="$(mktemp -d)"
book="$work/long.epub"
accel="/var/tmp/$(printf '%s' "${book#/}" | tr / %).accel"
trap 'rm -rf "$work" "$accel"' EXIT

/usr/bin/python3 "$here/../scripts/make_render_book.py" "$book" "${2:-340}"
layout=(--width 600 --height 800 --font-size 12)
peer=(mutool draw -q -W 600 -H 800 -S 12 -r 72)

# Drops the programs' own files from the page cache (see above).
program_files=("$ours" $(find "$build" -name '*.so.*' -type f) "$(command -v mutool)")
drop_program_cache() {
  python3 -c 'import os, sys
for f in sys.argv[1:]:
    fd = os.open(f, os.O_RDONLY); os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED); os.close(fd)' \
    "${program_files[@]}"
}

# "seconds kilobytes" of one run of the command line (a shell one: output
# and pipes stay inside it).
once() {
  rm -rf "$work/out" && mkdir -p "$work/out"
  /usr/bin/time -f "%e %M" -o "$work/time" sh -c "$1" >/dev/null 2>"$work/stderr" || true
  tail -n 1 "$work/time"
}

# The best time of three runs of $1, and the peak RSS of $2 (the same work
# with one worker), or of $1 when $2 is empty.
best() {
  local fastest=""
  for _ in 1 2 3; do
    read -r seconds _ < <(once "$1")
    fastest=$(python3 -c "print(min(float('$seconds'), float('${fastest:-$seconds}')))")
  done
  drop_program_cache
  read -r _ kilobytes < <(once "${2:-$1}")
  echo "$fastest $kilobytes"
}

row() {
  local name="$1" ours_line="$2" ours_one="$3" peer_line="$4"
  read -r ours_s ours_kb < <(best "$ours_line" "$ours_one")
  read -r peer_s peer_kb < <(best "$peer_line" "")
  python3 -c "
o, p = $ours_s, $peer_s
print('%-28s %8.2f s %8.2f s   %6.2fx   %7d KB %7d KB' % ('$name', o, p, p / o if o else 0, $ours_kb, $peer_kb))"
}

q() {
  local quoted
  quoted="$(printf "%q " "$@")"
  echo "${quoted% }"
}
b="$(q "$book")" o="$(q "$work/out")" l="$(q "${layout[@]}")"
e="rm -rf $(q "$work/cold"); XDG_CACHE_HOME=$(q "$work/cold") $(q "$ours")"
ours_warm="XDG_CACHE_HOME=$(q "$work/warm") $(q "$ours")"
m="rm -f $(q "$accel"); $(q "${peer[@]}")" warm="$(q "${peer[@]}")"
echo "$(basename "$book"): $(XDG_CACHE_HOME="$work/warm" "$ours" info "$book" "${layout[@]}" | tail -n 1)"
printf '%-28s %10s %10s   %7s   %10s %10s\n' work epubreader mutool speedup "RSS ours" "RSS mutool"
row "page 1" "$e render $b --page 1 -o $o $l" "" "$m -o $o/p.png $b 1"
row "page 500" "$e render $b --page 500 -o $o $l" "" "$m -o $o/p.png $b 500"
row "page 1, warm" "$ours_warm render $b --page 1 -o $o $l" "" "$warm -o $o/p.png $b 1"
row "page 500, warm" "$ours_warm render $b --page 500 -o $o $l" "" "$warm -o $o/p.png $b 500"
row "all pages, --jobs $jobs" "$e render $b --all -o $o $l --jobs $jobs" \
  "$e render $b --all -o $o $l --jobs 1" "$m -o $o/page-%d.png $b"
row "search buffer" "$e search $b buffer $l --jobs $jobs" "$e search $b buffer $l --jobs 1" \
  "$m -F txt -o - $b | grep -ci buffer"
row "text" "$e text $b $l --jobs $jobs > $o/t.txt" "$e text $b $l --jobs 1 > $o/t.txt" \
  "$m -F txt -o $o/t.txt $b"
