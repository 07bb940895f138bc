#!/usr/bin/env bash
# Runs every fuzz target for the given time over a copy of its seed corpus, then reports
# executions, executions per second and coverage from libFuzzer's final statistics.
# Fails when a target finds a crash, a hang, a leak or a broken property.
# usage: fuzz/run_fuzz.sh [seconds=60] [build dir=build-fuzz]
set -euo pipefail

seconds=${1:-60}
here=$(dirname "$(readlink -f "$0")")
build=$(readlink -f "${2:-$here/../build-fuzz}")
[ -d "$build/bin" ] || { echo "No fuzz targets in $build/bin: configure with -DLINKHAULER_FUZZ=ON and clang" >&2; exit 2; }

export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
artifacts=$build/fuzz-artifacts
mkdir -p "$artifacts"

failed=0
printf '%-18s %12s %10s %8s %8s %8s  %s\n' target executions exec/s cov ft corpus result
for seeds in "$here"/corpus/*/; do
  target=$(basename "$seeds")
  binary=$build/bin/$target
  [ -x "$binary" ] || { echo "$target: not built in $build/bin" >&2; failed=1; continue; }
  # New inputs go to the first folder, a scratch one: the committed seeds stay as they are.
  mkdir -p "$work/$target"
  options=(-max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048
           -artifact_prefix="$artifacts/$target-")
  [ -f "$here/$target.dict" ] && options+=(-dict="$here/$target.dict")
  log=$artifacts/$target.log
  result=ok
  "$binary" "${options[@]}" "$work/$target" "$seeds" >"$log" 2>&1 || result=FAILED
  stat() { sed -n "s/^stat::$1: *//p" "$log" | tail -1; }
  last=$(grep -E '^#[0-9]+.* cov: ' "$log" | tail -1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  corpus=$(sed -n 's/.* corp: \([0-9]*\).*/\1/p' <<<"$last")
  execs=$(stat number_of_executed_units)
  rate=$(stat average_exec_per_sec)
  printf '%-18s %12s %10s %8s %8s %8s  %s\n' "$target" "${execs:--}" "${rate:--}" \
    "${cov:--}" "${ft:--}" "${corpus:--}" "$result"
  if [ "$result" != ok ]; then
    failed=1
    echo "---- $target: the end of $log" >&2
    tail -40 "$log" >&2
  fi
done
exit $failed
