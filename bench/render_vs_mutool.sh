#!/usr/bin/env bash
# Draws every page of a generated long book (340 documents, over 1,000
# pages of 600 x 800 points) into PNG files twice: with `epubreader render
# --all` (one process) and with `mutool draw` at the same page size, font size
# and resolution, and prints both times and their ratio.
#
# Usage: bench/render_vs_mutool.sh [BUILD_DIR] [DOCUMENTS]  (the book: scripts/make_render_book.py)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../build/default}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

/usr/bin/python3 "$here/../scripts/make_render_book.py" "$work/long.epub" "${2:-340}"
mkdir -p "$work/ours" "$work/peer"

# Wall-clock and CPU (user + system) seconds of one command, via GNU time:
# on a shared machine the CPU time is the steadier figure.
measure() {
  /usr/bin/time -f "%e %U %S" -o "$work/time" "$@" >/dev/null 2>"$work/stderr"
  python3 -c "w, u, s = map(float, open('$work/time').read().split()[-3:]); print(w, round(u + s, 2))"
}

read -r ours_wall ours_cpu < <(measure "$build/tools/epubreader" render "$work/long.epub" --all \
  --width 600 --height 800 --font-size 12 -o "$work/ours")
read -r peer_wall peer_cpu < <(measure mutool draw -q -W 600 -H 800 -S 12 -r 72 \
  -o "$work/peer/page-%d.png" "$work/long.epub")
pages_ours=$(ls "$work/ours" | wc -l)
pages_peer=$(ls "$work/peer" | wc -l)
echo "epubreader render --all: $pages_ours pages, ${ours_wall} s wall, ${ours_cpu} s CPU"
echo "mutool draw:             $pages_peer pages, ${peer_wall} s wall, ${peer_cpu} s CPU"
python3 -c "print('ratio epubreader / mutool: wall %.2f, CPU %.2f' % ($ours_wall / $peer_wall, $ours_cpu / $peer_cpu))"
