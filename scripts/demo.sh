#!/bin/sh
# The demo: load the built plug-in libraries into the reference host and show what they
# register; then drive them through the demo scenario when the host can run scenarios.
set -e
build="$1"
run="cmake/run-i386.sh"
libs=""
for lib in TAVIN ostrel; do
  found="$(find "$build" -name "$lib.so" -type f | head -n 1)"
  [ -n "$found" ] && libs="$libs $found"
done
echo "== plughost info$libs"
$run "$build/tools/plughost/plughost" info $libs
if [ -f scenarios/demo.scn ] && $run "$build/tools/plughost/plughost" --help | grep -q '^ *run'; then
  echo
  echo "== plughost run scenarios/demo.scn"
  $run "$build/tools/plughost/plughost" run scenarios/demo.scn --lib-dir "$build" --out-dir "$build/demo"
fi
if $run "$build/tools/plughost/plughost" --help | grep -q '^ *print'; then
  echo
  echo "== plughost print: Print prints a generated bitmap on the virtual printer"
  python3 scripts/bitmaps.py sample "$build/demo-picture.bmp"
  $run "$build/tools/plughost/plughost" print "$build/demo-picture.bmp" --fit --printer-dpi 150 \
    --out "$build/demo-page.png"
  echo "The printed page, as a person would see it: $build/demo-page.png"
fi
