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
