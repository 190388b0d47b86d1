#!/bin/sh
# Exit 0 when this kernel executes i386 ELF programs itself. The answer is worked out once per
# boot by building and running an empty i386 program, and cached.
boot="$(cat /proc/sys/kernel/random/boot_id 2>/dev/null || echo unknown)"
cache="${TMPDIR:-/tmp}/plug-can-run-i386.$(id -u).$boot"
if [ -f "$cache" ]; then
  [ "$(cat "$cache")" = yes ]
  exit $?
fi
dir="$(mktemp -d)"
answer=no
if printf 'int main(void){return 0;}\n' | gcc -m32 -x c - -o "$dir/probe" 2>/dev/null &&
  "$dir/probe" 2>/dev/null; then
  answer=yes
fi
rm -rf "$dir"
echo "$answer" >"$cache" 2>/dev/null || true
[ "$answer" = yes ]
