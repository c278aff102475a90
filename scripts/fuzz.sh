#!/usr/bin/env bash
# Runs every fuzz target of the sanitizer build for a while (SECONDS each, default 600) with the
# inputs and limits its kestrova_add_fuzzer call gives it (build-asan/fuzz/<target>.args: its
# corpus, its seeds, its longest input), and prints per target how many inputs it ran, how many a
# second (of wall time and of the CPU time it got, as the machine may be shared), the coverage it
# reached and any crash with the input that caused it. New corpus entries stay in
# build-asan/fuzz/<target>-corpus, outside the repository.
#
#   scripts/fuzz.sh [SECONDS]        FUZZ_JOBS=N runs N targets at once (default: the core count);
#                                    FUZZ_ONLY="fuzz_a fuzz_b" runs only those targets
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
jobs=${FUZZ_JOBS:-$(nproc)}
scripts/install-deps.sh

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
      -DKESTROVA_WERROR=ON -DKESTROVA_SANITIZE=ON -DKESTROVA_FUZZ=ON -DKESTROVA_BENCH=OFF >/dev/null
cmake --build build-asan -j"$(nproc)" --target fuzzers

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# libsquish encodes on OpenMP threads, which would otherwise spin between the small inputs and
# take most of the texture target's CPU time (the ctest runs set the same).
export OMP_WAIT_POLICY=passive

out=$PWD/build-asan/fuzz-runs
mkdir -p "$out/crashes"

run_target() {
  local binary=$1 name
  name=$(basename "$binary")
  local log=$out/$name.log arguments=()
  mapfile -t arguments <"$binary.args"
  local status=0
  (cd "$out" && "$binary" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$out/crashes/$name-" "${arguments[@]}") >"$log" 2>&1 || status=$?
  # The CPU time of the finished fuzzer, in milliseconds: the second line that `times` prints
  # holds the user and system time of this subshell's children (written to a file: a command
  # substitution would run it in a fresh subshell, which has no children yet).
  times >"$log.times"
  local cpu_ms=0 part
  for part in $(sed -n 2p "$log.times"); do
    [[ $part =~ ^([0-9]+)m([0-9]+)\.([0-9]+)s$ ]] || continue
    cpu_ms=$((cpu_ms + BASH_REMATCH[1] * 60000 + 10#${BASH_REMATCH[2]} * 1000 +
              10#${BASH_REMATCH[3]:0:3}))
  done
  local executions per_second coverage max_len
  executions=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
  per_second=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
  coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | grep -o '[0-9]*$' || true)
  max_len=$(grep -o -- '-max_len=[0-9]*' "$binary.args" | grep -o '[0-9]*$')
  if ((status == 0)); then
    printf '%-24s clean %11s runs %7s/s %7s/s of CPU  max_len %6s  coverage %5s  corpus %5s\n' \
      "$name" "${executions:-?}" "${per_second:-?}" \
      "$((${executions:-0} * 1000 / (cpu_ms > 0 ? cpu_ms : 1)))" "$max_len" "${coverage:-?}" \
      "$(find "build-asan/fuzz/$name-corpus" -type f | wc -l)"
  else
    printf '%-24s FAILED %10s runs  coverage %5s  (exit %s)\n' "$name" "${executions:-?}" \
      "${coverage:-?}" "$status"
    grep -m 3 -E 'ERROR|invariant|runtime error|SUMMARY' "$log" | sed 's/^/    /'
    ls "$out/crashes/$name-"* 2>/dev/null | sed 's/^/    input saved: /'
    echo "    log: $log"
  fi
  return "$status"
}

targets=()
for binary in "$PWD"/build-asan/fuzz/fuzz_*; do
  [[ -f $binary && -x $binary && -f $binary.args ]] || continue
  if [[ -n ${FUZZ_ONLY:-} && " $FUZZ_ONLY " != *" $(basename "$binary") "* ]]; then
    continue
  fi
  targets+=("$binary")
done
echo "Fuzzing ${#targets[@]} targets for $seconds s each, $jobs at a time; logs in $out"
failed=0
running=0
for binary in "${targets[@]}"; do
  run_target "$binary" &
  running=$((running + 1))
  if ((running >= jobs)); then
    wait -n || failed=1
    running=$((running - 1))
  fi
done
while ((running > 0)); do
  wait -n || failed=1
  running=$((running - 1))
done
exit "$failed"
