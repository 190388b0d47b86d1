#!/bin/sh
# Runs an i386 program: natively when the kernel can, else under user-mode emulation.
# LeakSanitizer's tracer hangs under qemu-i386; the reference host's ownership tracking is the
# leak check for everything the plug-ins allocate.
: "${ASAN_OPTIONS:=detect_leaks=0}"
export ASAN_OPTIONS
if [ -z "$PLUG_FORCE_QEMU" ] && "$(dirname "$0")/can-run-i386.sh"; then
  exec "$@"
fi
exec qemu-i386 -L / "$@"
