#!/usr/bin/env bash
# Builds every fuzz target with clang (its own build, build/fuzz) and runs
# each from its seeds for a bounded time, as many at once as there are
# cores. Fails when any target finds a crash, a leak, a sanitizer report, an
# allocation of 64 MiB or more, or a hang; the input is kept in
# build/fuzz/findings/. Prints executions per second and coverage per
# target.
#
#   BK_FUZZ_SECONDS  time per target (default: 20, or less on a machine
#                    with few cores, so the stage fuzzes for about a
#                    minute in all; never under 5)
#   BK_FUZZ_JOBS     targets run at once (default: the number of cores)
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/fuzz
jobs=${BK_FUZZ_JOBS:-$(nproc)}

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBK_FUZZ=ON -DBK_TESTS=OFF -DBK_BENCH=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target fuzz_all

targets=$(ls "$build"/fuzz/fuzz_* | wc -l)
if [ -n "${BK_FUZZ_SECONDS:-}" ]; then
  seconds=$BK_FUZZ_SECONDS
else
  # About 60 s of fuzzing in all, each target between 5 and 20 s.
  seconds=$((60 * jobs / (targets > 0 ? targets : 1)))
  [ "$seconds" -gt 20 ] && seconds=20
  [ "$seconds" -lt 5 ] && seconds=5
fi

out=$PWD/$build/fuzz/run
rm -rf "$out"
mkdir -p "$out" "$PWD/$build/fuzz/findings"
# The targets write each input to a file under TMPDIR: memory-backed where
# there is such a folder (on disk they run many times slower), and removed
# at the end even when a target stopped on a finding.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  scratch=$(mktemp -d /dev/shm/bk_fuzz.XXXXXX)
else
  scratch=$out/scratch
  mkdir -p "$scratch"
fi
trap 'rm -rf "$scratch"' EXIT
export TMPDIR=$scratch
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan.supp:print_suppressions=0}

# One target: a fresh working corpus beside the seeds, which stay as made.
run_target() {
  local program=$1 name
  name=$(basename "$program")
  name=${name#fuzz_}
  mkdir -p "$out/$name.corpus"
  if "$program" -max_total_time="$seconds" -malloc_limit_mb=64 -rss_limit_mb=1024 -timeout=60 \
       -print_final_stats=1 -artifact_prefix="$PWD/$build/fuzz/findings/$name-" \
       "$out/$name.corpus" "$PWD/$build/fuzz/seeds/$name" >"$out/$name.log" 2>&1; then
    echo ok >"$out/$name.status"
  else
    echo failed >"$out/$name.status"
  fi
}
export -f run_target
export out seconds build

start=$(date +%s)
ls "$build"/fuzz/fuzz_* | xargs -P "$jobs" -I{} bash -c 'run_target "$1"' _ {}
elapsed=$(($(date +%s) - start))

failed=0
printf '%-12s %10s %8s %8s\n' target exec/s cov: runs
for status in "$out"/*.status; do
  name=$(basename "$status" .status)
  log=$out/$name.log
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
  printf '%-12s %10s %8s %8s\n' "$name" "${rate:-?}" "${cov:-?}" "${runs:-?}"
  if [ "$(cat "$status")" != ok ]; then
    failed=1
    echo "--- fuzz_$name found something; the end of its log ($log):"
    tail -n 40 "$log"
  fi
done
echo "fuzzing took ${elapsed} s with $jobs at once, ${seconds} s a target"
exit $failed
