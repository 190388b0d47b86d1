#!/bin/sh
# Installs what the build needs on a Debian machine, only what is missing. Quiet: one line per
# set of packages; apt's own output goes to a log file, which an error names.
set -e
log="${SETUP_LOG:-build/setup.log}"
pause="${SETUP_RETRY_PAUSE:-10}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
updated=no

missing() {
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
      printf ' %s' "$pkg"
    fi
  done
}

# install WHAT PACKAGE...: the missing ones of a set, three tries with a pause between, since a
# registry that hiccups once should not fail the whole run.
install() {
  what="$1"
  shift
  need="$(missing "$@")"
  [ -n "$need" ] || return 0
  mkdir -p "$(dirname "$log")"
  printf 'setup: installing %s:%s ... ' "$what" "$need"
  for try in 1 2 3; do
    if { [ "$updated" = yes ] || $SUDO apt-get update -q >>"$log" 2>&1; } &&
      DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends \
        $need >>"$log" 2>&1; then
      updated=yes
      echo "done"
      return 0
    fi
    echo "attempt $try failed" >>"$log"
    [ "$try" -lt 3 ] && sleep "$pause"
  done
  echo "failed"
  echo "setup: could not install$need; the full log is $log, ending:" >&2
  tail -n 5 "$log" | sed 's/^/  /' >&2
  exit 1
}

install "build tools" g++-multilib qemu-user cmake ninja-build libstb-dev
install "the Windows cross-compiler" g++-mingw-w64-i686
install "test tools" libgtest-dev clang-format
install "fuzzing" clang libclang-rt-14-dev
