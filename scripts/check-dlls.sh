#!/bin/sh
# Checks the Windows deliverables: each DLL is PE32 for i386, exports exactly its class names,
# undecorated, and imports exactly the Windows system DLLs it is built against (and the C
# runtime, msvcrt.dll, that mingw-w64 links every DLL with).
set -e
dir="$1"
objdump=i686-w64-mingw32-objdump
fail=0

# exactly WHAT FOUND EXPECTED: fails the DLL, showing both lists, unless they are the same.
exactly() {
  if [ "$2" != "$3" ]; then
    echo "check-dlls: $dll should $1 exactly"
    printf '  %s\n' $3
    echo "  but it does $1"
    printf '  %s\n' $2
    fail=1
  fi
}

check() {
  name="$1"
  dll="$dir/$name"
  [ -f "$dll" ] || dll="$(find "$dir" -name "$name" -type f | head -n 1)"
  libraries="$(printf '%s\n' $2 msvcrt.dll | sort)"
  shift 2
  expected="$(printf '%s\n' "$@" | sort)"
  if [ -z "$dll" ]; then
    echo "check-dlls: $name is missing under $dir"
    fail=1
    return
  fi
  headers="$($objdump -p "$dll")"
  if ! printf '%s\n' "$headers" | grep -q 'file format pei-i386'; then
    echo "check-dlls: $dll is not PE32 i386"
    fail=1
  fi
  if ! printf '%s\n' "$headers" | grep -Eq '^Magic[[:space:]]+010b'; then
    echo "check-dlls: $dll is not a PE32 (0x10b) image"
    fail=1
  fi
  exports="$(printf '%s\n' "$headers" |
    sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | sort)"
  exactly export "$exports" "$expected"
  imports="$(printf '%s\n' "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -u)"
  found="$(printf '%s\n' $imports | tr 'A-Z' 'a-z' | sort -u)"
  exactly import "$found" "$libraries"
  echo "check-dlls: $name: PE32 i386, exports: $(echo $exports), imports: $(echo $imports)"
}

# TAVIN prints and asks the system about itself: the graphics, dialog, window and kernel
# libraries. ostrel needs the kernel alone.
check TAVIN.dll "gdi32.dll comdlg32.dll user32.dll kernel32.dll" $(cat tavin/exports.txt)
if [ -f ostrel/exports.txt ]; then
  check ostrel.dll "kernel32.dll" $(cat ostrel/exports.txt)
fi
exit $fail
