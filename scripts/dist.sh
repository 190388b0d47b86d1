#!/bin/sh
# The files a user ships, in one folder: the plug-in libraries stripped of their symbol tables
# (the unstripped ones stay in the build folders for debugging), and MANIFEST.txt naming each
# file's exports, size and SHA-256 checksum.
# Usage: dist.sh WINDOWS_BUILD LINUX_BUILD OUT
set -e
windows="$1"
linux="$2"
out="$3"
rm -rf "$out"
mkdir -p "$out"

# The first file of that name under a build folder.
find_built() {
  found="$(find "$1" -name "$2" -type f -not -path "*/CMakeFiles/*" | sort | head -n 1)"
  if [ -z "$found" ]; then
    echo "dist: $2 is missing under $1" >&2
    exit 1
  fi
  echo "$found"
}

dll_exports() {
  i686-w64-mingw32-objdump -p "$1" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | sort | tr '\n' ' ' | sed 's/ $//'
}

so_exports() {
  nm -D --defined-only "$1" | awk '$2 == "T" { print $3 }' | sort | tr '\n' ' ' | sed 's/ $//'
}

{
  echo "TAVIN and ostrel plug-in libraries: 32-bit Windows DLLs for the runtime, and the same"
  echo "sources built for Linux i386 for the reference host. Symbol tables stripped."
  echo
  printf '%-12s %9s  %-64s  %s\n' file bytes sha256 exports
} >"$out/MANIFEST.txt"

for lib in TAVIN ostrel; do
  dll="$(find_built "$windows" "$lib.dll")"
  so="$(find_built "$linux" "$lib.so")"
  i686-w64-mingw32-strip --strip-all -o "$out/$lib.dll" "$dll"
  strip --strip-all -o "$out/$lib.so" "$so"
  for file in "$lib.dll" "$lib.so"; do
    case "$file" in
      *.dll) exports="$(dll_exports "$out/$file")" ;;
      *) exports="$(so_exports "$out/$file")" ;;
    esac
    size="$(wc -c <"$out/$file" | tr -d ' ')"
    sum="$(sha256sum "$out/$file" | cut -d ' ' -f 1)"
    printf '%-12s %9s  %-64s  %s\n' "$file" "$size" "$sum" "$exports" >>"$out/MANIFEST.txt"
  done
  echo "dist: $lib.dll $(wc -c <"$dll" | tr -d ' ') -> $(wc -c <"$out/$lib.dll" | tr -d ' ') bytes," \
    "$lib.so $(wc -c <"$so" | tr -d ' ') -> $(wc -c <"$out/$lib.so" | tr -d ' ') bytes"
done
echo "dist: $out/MANIFEST.txt"
