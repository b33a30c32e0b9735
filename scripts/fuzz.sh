#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and UndefinedBehaviorSanitizer, runs
# each for a bounded time (seconds, default 30) on its seed corpus and prints a summary.
# Any crash, leak, sanitizer report or input taking over 1 s is a finding and fails the run.
set -euo pipefail
seconds=${1:-30}
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh >&2
build=${SORVIK_FUZZ_BUILD_DIR:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSORVIK_FUZZ=ON \
  -DSORVIK_TESTS=OFF -DSORVIK_BENCHMARKS=OFF -DSORVIK_WERROR=ON >&2
cmake --build "$build" -j"$(nproc)" >&2

work="$build/fuzz-run"
rm -rf "$work"
mkdir -p "$work"
export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1"
export LSAN_OPTIONS="suppressions=$PWD/Tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export OMP_THREAD_LIMIT=1

mapfile -t targets < <(find "$build" -maxdepth 1 -type f -executable -name '*Fuzz' -printf '%f\n' | sort)
if [ ${#targets[@]} -eq 0 ]; then echo "no fuzz targets" >&2; exit 1; fi

run_one() {
  local name=$1
  # Temporary folders go under the run's own folder: what a crashed target leaves behind is
  # there to look at, and goes with the next run.
  mkdir -p "$work/$name/corpus" "$work/$name/artifacts" "$work/$name/tmp"
  local seeds="Tests/Fuzz/seeds/$name"
  [ -d "$seeds" ] || seeds=""
  set +e
  TMPDIR="$(realpath "$work/$name/tmp")" "$build/$name" -max_total_time="$seconds" -timeout=1 -rss_limit_mb=2048 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix="$work/$name/artifacts/" \
    "$work/$name/corpus" $seeds >"$work/$name/log" 2>&1
  echo $? >"$work/$name/status"
}

# getconf, not nproc: nproc would obey the OMP_THREAD_LIMIT set above and run one at a time.
jobs=$(getconf _NPROCESSORS_ONLN)
for name in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n; done
  run_one "$name" &
done
wait

failed=0
total_execs=0
total_findings=0
printf '%-28s %12s %8s %9s\n' target executions seconds findings
for name in "${targets[@]}"; do
  log="$work/$name/log"
  execs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | awk '{print $2}' | tail -1 || true)
  secs=$(grep -o 'Done [0-9]* runs in [0-9]* second' "$log" | awk '{print $5}' | tail -1 || true)
  findings=$(find "$work/$name/artifacts" -type f | wc -l)
  status=$(cat "$work/$name/status")
  [ "$status" -eq 0 ] || [ "$findings" -gt 0 ] || findings=1
  printf '%-28s %12s %8s %9s\n' "$name" "${execs:-0}" "${secs:-$seconds}" "$findings"
  total_execs=$((total_execs + ${execs:-0}))
  total_findings=$((total_findings + findings))
  if [ "$findings" -gt 0 ]; then
    failed=1
    echo "--- $name (exit $status): last lines of its log" >&2
    tail -n 40 "$log" >&2
  fi
done
printf 'fuzz summary: %d targets, %d executions, %s seconds each, %d findings\n' \
  "${#targets[@]}" "$total_execs" "$seconds" "$total_findings"
exit $failed
