#!/bin/sh
# The plug-ins must do nothing when the system loads them: no global constructors, which would
# run before the host's first entry call.
fail=0
for lib in "$@"; do
  found="$(nm -C "$lib" | grep -E '_GLOBAL__sub_I|__static_initialization' || true)"
  if [ -n "$found" ]; then
    echo "check-static-init: $lib runs code at load time:"
    echo "$found"
    fail=1
  else
    echo "check-static-init: $lib: no global constructors"
  fi
done
exit $fail
