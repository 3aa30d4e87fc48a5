#!/usr/bin/env bash
# The library as a packager and a host get it:
#  1. plain Release builds without the presets (GCC, then Clang);
#  2. `cmake --install` into a temporary prefix: the files, versioned SONAMEs
#     and $ORIGIN run paths (readelf -d), exactly the 68 exports, the MuPDF
#     renderer and never the recording one;
#  3. the example hosts built through find_package(EpubReader) and through
#     pkg-config, run on the installed sample publication with no
#     LD_LIBRARY_PATH: they fail unless the MuPDF renderer lays out and
#     draws the pages;
#  4. the Doxygen reference of the header, with warnings as errors, and the
#     header under Clang's -Wdocumentation;
#  5. the installed epubreader command run from the prefix with no
#     LD_LIBRARY_PATH (its run path leads to the prefix's libraries): info,
#     cover and convert, the PDF checked with mutool, and serve reaching
#     its own program in libexec;
#  6. the .deb (CPack): contents in the multiarch folder, copyright, stripped
#     libraries, a pkg-config file naming /usr, Depends (the command's
#     minizip, libpng and pugixml included), lintian without errors, and the
#     examples and the command run against its unpacked files.
# Usage: scripts/check_install.sh   (from anywhere; builds in build/release*)
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
jobs=${EPUB_JOBS:-2}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset LD_LIBRARY_PATH

fail() {
  echo "check_install: $*" >&2
  exit 1
}
step() {
  echo "== $* (${SECONDS}s)"
}

step "plain Release build, GCC"
CC=gcc CXX=g++ cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -UEPUB_BUILD_TESTS -UEPUB_BUILD_BENCH >/dev/null
# A packager's build: no tests or benchmarks unless asked, and no warning.
cmake --build build/release --parallel "$jobs" | tee "$work/release.log"
if grep -q 'warning:' "$work/release.log"; then fail "the Release build warns"; fi

# Clang: the library, renderer, hosts and sample; its tests run in the
# Clang preset.
step "plain Release build, Clang"
CC=clang CXX=clang++ cmake -S . -B build/release-clang -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DEPUB_BUILD_TESTS=OFF -DEPUB_BUILD_BENCH=OFF >/dev/null
cmake --build build/release-clang --parallel "$jobs"

step "install into a temporary prefix"
prefix=$work/prefix
# lib/<multiarch> on Debian (see CMakeLists.txt).
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' build/release/CMakeCache.txt)
cmake --install build/release --prefix "$prefix" >/dev/null
for f in include/epubreader.h include/EpubReader/pendrel.h include/EpubReader/pendrel_mupdf.h \
  $libdir/libEpubReader.so $libdir/pkgconfig/EpubReader.pc \
  $libdir/cmake/EpubReader/EpubReaderConfig.cmake \
  $libdir/cmake/EpubReader/EpubReaderConfigVersion.cmake share/EpubReader/sample.epub \
  bin/epubreader share/doc/epubreader/copyright share/doc/epubreader/licences.md \
  share/doc/epubreader/html/index.html; do
  [[ -e $prefix/$f ]] || fail "not installed: $f"
done
grep -qxF "prefix=$prefix" "$prefix/$libdir/pkgconfig/EpubReader.pc" ||
  fail "EpubReader.pc does not name the prefix $prefix"

# Each library: its major version in the SONAME, a real file behind it, and
# $ORIGIN as its run path so the three find each other wherever they lie.
check_library() { # folder name
  local lib=$1/lib$2.so.1 dyn
  [[ -f $lib ]] || fail "missing $lib"
  dyn=$(readelf -d "$lib")
  grep -q "Library soname: \[lib$2.so.1\]" <<<"$dyn" || fail "lib$2: SONAME is not lib$2.so.1"
  grep -q 'Library runpath: \[\$ORIGIN\]' <<<"$dyn" || fail "lib$2: RUNPATH is not \$ORIGIN"
  echo "  lib$2.so.1: SONAME lib$2.so.1, RUNPATH \$ORIGIN"
}
check_libraries() { # folder
  check_library "$1" EpubReader
  check_library "$1" Pendrel
  check_library "$1" VorozoVorevare
  [[ $(find "$1" -maxdepth 1 -name 'libPendrel.so*' -type f | wc -l) == 1 ]] ||
    fail "more than one renderer in $1"
  # The MuPDF renderer loads MuPDF's own dependencies; the recording one none.
  readelf -d "$1/libPendrel.so.1" | grep >/dev/null 'libmujs' || fail "$1/libPendrel.so.1 is not the MuPDF renderer"
  local exports
  exports=$(nm -D --defined-only "$1/libEpubReader.so.1" | awk '$2 == "T" { print $3 }')
  [[ $(grep -c . <<<"$exports") == 68 && $(grep -vc '^EpubReader_' <<<"$exports") == 0 ]] ||
    fail "libEpubReader does not export exactly the 68 EpubReader_ functions"
}
check_libraries "$prefix/$libdir"

# Builds and runs the examples against a prefix: find_package for the C and
# the C++ host, pkg-config for the C host's Makefile.
run_examples() { # prefix label
  local p=$1 out=$work/examples-$2 pcdir
  for ex in c_host cpp_host; do
    cmake -S "$src/examples/$ex" -B "$out/$ex" -DCMAKE_PREFIX_PATH="$p" >/dev/null
    cmake --build "$out/$ex" >/dev/null
    ldd "$out/$ex/epub_$ex" | grep -F >/dev/null "libPendrel.so.1 => $p/$libdir/libPendrel.so.1 " || {
      ldd "$out/$ex/epub_$ex"
      fail "epub_$ex does not load the renderer of $p"
    }
    "$out/$ex/epub_$ex" >"$out/$ex.log" || { cat "$out/$ex.log"; fail "epub_$ex failed ($2)"; }
    echo "  epub_$ex (find_package): $(grep -E '^(Pages|Drawn|"|[0-9]+ pages)' "$out/$ex.log" | paste -sd ';')"
  done
  pcdir=$(dirname "$(find "$p" -name EpubReader.pc)")
  mkdir -p "$out/pc"
  # The .pc names the prefix it was installed under; the unpacked .deb's
  # files lie elsewhere.
  PKG_CONFIG_PATH=$pcdir PKG_CONFIG="pkg-config --define-variable=prefix=$p" \
    make -s -C "$out/pc" -f "$src/examples/c_host/Makefile" >/dev/null
  "$out/pc/epub_c_host_pc" >"$out/pc.log" || { cat "$out/pc.log"; fail "epub_c_host_pc failed ($2)"; }
  echo "  epub_c_host_pc (pkg-config): $(grep -E '^(Pages|Drawn)' "$out/pc.log" | paste -sd ';')"
}
step "examples against the installed prefix"
run_examples "$prefix" prefix

# The command as installed: its run path leads to the prefix's engine, which
# brings the MuPDF renderer; the PDF it writes opens in mutool.
run_command() { # prefix label
  local p=$1 out=$work/command-$2 bin=$1/bin/epubreader pages
  mkdir -p "$out"
  readelf -d "$bin" | grep -F >/dev/null "Library runpath: [\$ORIGIN/../$libdir]" ||
    fail "$bin: RUNPATH is not \$ORIGIN/../$libdir"
  [[ $(realpath "$(ldd "$bin" | sed -n 's/.*libEpubReader.so.1 => \([^ ]*\) .*/\1/p')") == \
    "$(realpath "$p/$libdir/libEpubReader.so.1")" ]] || fail "$bin does not load the engine of $p"
  "$bin" info "$p/share/EpubReader/sample.epub" >"$out/info.txt" || fail "epubreader info failed ($2)"
  pages=$(sed -n 's/^pages: \([0-9]*\) .*/\1/p' "$out/info.txt")
  "$bin" cover -o "$out/cover.png" >/dev/null || fail "epubreader cover failed ($2)"
  "$bin" convert -o "$out/book.pdf" >/dev/null || fail "epubreader convert failed ($2)"
  mutool info "$out/book.pdf" 2>/dev/null | grep -x >/dev/null "Pages: $pages" ||
    fail "mutool does not see the $pages pages of epubreader's PDF ($2)"
  mutool show "$out/book.pdf" outline 2>/dev/null | grep >/dev/null '"The lamp"' ||
    fail "epubreader's PDF has no outline ($2)"
  if "$bin" info >/dev/full 2>/dev/null; then fail "epubreader info >/dev/full exits 0 ($2)"; fi
  # serve runs in libexec/epubreader/epubreader-serve, which checks the port.
  local served=0
  "$bin" serve --port 65536 2>"$out/serve.txt" || served=$?
  [[ $served == 2 ]] && grep -q "^epubreader serve: --port 65536 is out of range" "$out/serve.txt" ||
    fail "epubreader serve does not reach epubreader-serve ($2): $(cat "$out/serve.txt")"
  echo "  bin/epubreader ($2): $pages pages; cover.png; book.pdf with $pages pages and an outline"
}
step "the installed command"
run_command "$prefix" prefix

step "Doxygen reference, warnings as errors"
{
  cat build/release/Doxyfile
  echo "WARN_AS_ERROR = FAIL_ON_WARNINGS"
  echo "OUTPUT_DIRECTORY = $work/doxygen"
} | doxygen - || fail "Doxygen warned about include/epubreader.h"
# Hosts that compile with Clang's comment checks get no warning either.
echo '#include <epubreader.h>' >"$work/header.c"
for cc in "clang -std=c11" "clang++ -std=c++17 -x c++"; do
  $cc -Wall -Wextra -Wdocumentation -Werror -fsyntax-only -I"$prefix/include" "$work/header.c" ||
    fail "include/epubreader.h: $cc warns"
done

step ".deb package"
rm -f build/release/epubreader_*.deb
(cd build/release && cpack -G DEB >/dev/null)
deb=$(ls build/release/epubreader_*.deb)
contents=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
for f in ./usr/include/epubreader.h ./usr/include/EpubReader/pendrel.h \
  ./usr/include/EpubReader/pendrel_mupdf.h ./usr/$libdir/libEpubReader.so.1.0.0 \
  ./usr/$libdir/libPendrel.so.1.0.0 ./usr/$libdir/libVorozoVorevare.so.1.0.0 \
  ./usr/$libdir/pkgconfig/EpubReader.pc ./usr/$libdir/cmake/EpubReader/EpubReaderConfig.cmake \
  ./usr/bin/epubreader ./usr/libexec/epubreader/epubreader-serve ./usr/share/EpubReader/sample.epub \
  ./usr/share/doc/epubreader/copyright ./usr/share/doc/epubreader/licences.md; do
  grep -qxF "$f" <<<"$contents" || fail "$deb lacks $f"
done
depends=$(dpkg-deb -f "$deb" Depends)
for dep in libc6 libstdc++6 libicu72 libmujs2 libharfbuzz0b libfreetype6 libminizip1 libpng16-16 \
  libpugixml1v5; do
  grep -q "\b$dep\b" <<<"$depends" || fail "$deb does not depend on $dep: $depends"
done
echo "  $(basename "$deb"): $(grep -c . <<<"$contents") entries; Depends: $depends"
if [[ $(id -u) == 0 ]]; then
  dpkg --dry-run -i "$deb" >/dev/null || fail "$deb does not install"
fi
step "lintian"
lintian --fail-on error --tag-display-limit 0 "$deb" 2>/dev/null | sed 's/^/  /' || fail "lintian reports errors on $deb"
dpkg-deb -x "$deb" "$work/root"
check_libraries "$work/root/usr/$libdir"
grep -qx 'prefix=/usr' "$work/root/usr/$libdir/pkgconfig/EpubReader.pc" ||
  fail "the .deb's EpubReader.pc does not name /usr"
for f in "$work"/root/usr/$libdir/lib*.so.1.0.0 "$work/root/usr/bin/epubreader"; do
  file "$f" | grep >/dev/null ', stripped' || fail "$f is not stripped"
done
echo "  libPendrel.so.1.0.0: $(du -h "$work/root/usr/$libdir/libPendrel.so.1.0.0" | cut -f1), stripped"
step "examples and the command against the unpacked .deb"
run_examples "$work/root/usr" deb
run_command "$work/root/usr" deb

step "install checks passed"
