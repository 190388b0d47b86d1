#!/bin/sh
# Runs every fuzz target of a build over its generated seeds and its growing corpus.
#   run.sh BUILD_DIR seconds N   each target for N seconds
#   run.sh BUILD_DIR runs N      each target for N inputs (the quick check of the test command)
# Findings land in BUILD_DIR/fuzz/findings/<target>/; the script fails on the first target that
# finds something.
set -e
build=$1
mode=$2
amount=$3
here=$(cd "$(dirname "$0")" && pwd)
run="$here/../cmake/run-i386.sh"
seeds="$build/fuzz/seeds"
rm -rf "$seeds"
python3 "$here/make-seeds.py" "$seeds" "$build/windows"
case "$mode" in
  seconds) limit="-max_total_time=$amount" ;;
  runs) limit="-runs=$amount" ;;
  *) echo "usage: $0 BUILD_DIR seconds|runs N" >&2; exit 2 ;;
esac
for target in obj_ref_fuzz quit_fuzz media_cue_fuzz stream_load_fuzz cursor_mod_fuzz \
  sys_info_fuzz pe_loader_fuzz list_mod_fuzz bitmap_fuzz vellomar_fuzz panning_fuzz print_fuzz; do
  corpus="$build/fuzz/corpus/$target"
  # The quick check starts from the seeds alone each time, so its length never grows.
  if [ "$mode" = runs ]; then
    corpus="$build/fuzz/smoke/$target"
    rm -rf "$corpus"
  fi
  findings="$build/fuzz/findings/$target"
  mkdir -p "$corpus" "$findings"
  echo "fuzz: $target ($mode $amount)"
  # Texts up to 40000 characters and 64 operations need room, DLLs more; -timeout bounds a
  # stuck input.
  max_len=4096
  [ "$target" = pe_loader_fuzz ] && max_len=65536
  # Inputs that once found a fault are run every time (fuzz/regressions/TARGET/).
  regressions="$here/regressions/$target"
  [ -d "$regressions" ] || regressions=
  "$run" "$build/fuzz/$target" $limit -max_len=$max_len -timeout=20 -print_final_stats=1 \
    -artifact_prefix="$findings/" "$corpus" "$seeds/$target" $regressions \
    2>"$build/fuzz/$target.log" || {
    tail -n 40 "$build/fuzz/$target.log" >&2
    echo "fuzz: $target found a problem; the input is in $findings" >&2
    exit 1
  }
  grep -E '^stat::number_of_executed_units|^stat::average_exec_per_sec|DONE' \
    "$build/fuzz/$target.log" | tr '\n' ' '
  echo
done
