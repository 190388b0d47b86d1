#!/bin/sh
# scripts/setup.sh with stand-ins for dpkg-query and apt-get: it prints one line per package
# set however much apt prints, keeps apt's output in its log, and on failure names the log.
set -e
root="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
printf '#!/bin/sh\nexit 1\n' >"$work/bin/dpkg-query"  # nothing is installed
cat >"$work/bin/apt-get" <<'STUB'
#!/bin/sh
i=0
while [ $i -lt 200 ]; do echo "apt says line $i about $*"; i=$((i + 1)); done
[ -z "$APT_FAILS" ]
STUB
chmod +x "$work/bin/dpkg-query" "$work/bin/apt-get"
run() {
  PATH="$work/bin:$PATH" SETUP_LOG="$work/setup.log" SETUP_RETRY_PAUSE=0 \
    sh "$root/scripts/setup.sh" >"$work/out" 2>&1
}
fail() {
  echo "setup_quiet_test: $*"
  cat "$work/out"
  exit 1
}

[ "$(id -u)" -eq 0 ] || { echo "setup_quiet_test: skipped (needs root, as setup runs apt-get without sudo)"; exit 0; }
run || fail "setup failed with a working apt-get"
[ "$(wc -l <"$work/out")" -eq 4 ] || fail "expected one line per package set"
grep -q '^setup: installing fuzzing: clang libclang-rt-14-dev \.\.\. done$' "$work/out" ||
  fail "no line for the fuzzing set"
grep -q 'apt says line 199 about install' "$work/setup.log" || fail "apt's output is not in the log"
grep -q 'apt says' "$work/out" && fail "apt's output reached the terminal"

if APT_FAILS=1 run; then fail "setup passed with a failing apt-get"; fi
grep -q "the full log is $work/setup.log" "$work/out" || fail "the error does not name the log"
echo "setup_quiet_test: ok"
