#!/bin/sh
# clang-format over the project's own C++ sources; --check fails on any difference.
set -e
cd "$(dirname "$0")/.."
files="$(git ls-files '*.h' '*.cpp' 2>/dev/null || find support tavin ostrel host tools tests fuzz -name '*.h' -o -name '*.cpp')"
[ -n "$files" ] || exit 0
if ! command -v clang-format >/dev/null; then
  echo "format: clang-format is not installed; skipping the check"
  exit 0
fi
if [ "$1" = "--check" ]; then
  clang-format --dry-run -Werror $files
  echo "format: clean"
else
  clang-format -i $files
fi
