#!/bin/sh
# Every hostile book of scripts/make_hostile_books.py through `epubreader
# render` (first and last page) and through stack_host (a C host on a 1 MiB thread
# stack), each within 60 s (300 s when sanitized) and, unless sanitized,
# 1.5 GB of address space:
# no signal, exit 0 or 3, and the warnings name what the book exceeds.
# Usage: run_hostile.sh GENERATOR EPUBREADER STACK_HOST WORK_DIR [sanitized]
set -u
generator=$1 epubreader=$2 stack_host=$3 work=$4 sanitized=${5:-}
python3 "$generator" "$work" > /dev/null || exit 1
limit="prlimit --as=1610612736" seconds=60
# Sanitized builds reserve terabytes of address space and run several
# times slower: time alone is bounded, more loosely.
[ -n "$sanitized" ] && limit= seconds=300
failed=0

# What each book's warnings must say (a grep -E pattern).
expect() {
  case $1 in
    nest-*) echo "nesting depth" ;;
    inflate-*) echo "budget of .* per entry" ;;
    text-*) echo "document size" ;;
    word-*) echo "word length" ;;
    svg-*) echo "SVG budget" ;;
    img-100k-*) echo "" ;;
    img-200k-*) echo "is not in the archive" ;;
    img-pixels) echo "image pixels" ;;
    link-*) echo "style sheets" ;;
  esac
}

check() {  # name status log what
  case $2 in
    0|3) ;;
    *) echo "FAIL $1 ($4): exit $2"; sed -n 1,5p "$3"; failed=1; return ;;
  esac
  pattern=$(expect "$1")
  if [ -n "$pattern" ] && ! grep -Eq "$pattern" "$3"; then
    echo "FAIL $1 ($4): no warning matching '$pattern'"; sed -n 1,5p "$3"; failed=1; return
  fi
  echo "ok   $1 ($4): exit $2"
}

for book in "$work"/*.epub; do
  name=$(basename "$book" .epub)
  # 200,000 reports take over five minutes in the sanitized Debug build;
  # the release run bounds their time.
  if [ -n "$sanitized" ] && [ "$name" = img-200k-missing ]; then
    echo "skip $name (sanitized)"; continue
  fi
  start=$(date +%s)
  $limit timeout $seconds "$epubreader" render "$book" --pages 1,N -o "$work/$name.pages" \
    > /dev/null 2> "$work/$name.cli.log"
  check "$name" $? "$work/$name.cli.log" "epubreader, $(($(date +%s) - start)) s"
  start=$(date +%s)
  $limit timeout $seconds "$stack_host" "$book" > /dev/null 2> "$work/$name.host.log"
  check "$name" $? "$work/$name.host.log" "1 MiB stack, $(($(date +%s) - start)) s"
done
exit $failed
