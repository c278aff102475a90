#!/usr/bin/env bash
# Runs every fuzz target of the sanitizer build for a while (SECONDS each, default 600) from its
# corpus, its checked-in seeds and the small real game files, and prints per target how many
# inputs it ran, the coverage it reached and any crash with the input that caused it. New corpus
# entries stay in build-asan/fuzz/<target>-corpus, outside the repository.
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
cmake --build build-asan -j"$(nproc)"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

out=$PWD/build-asan/fuzz-runs
mkdir -p "$out"
# The small real files (up to 2 MiB, those of the sub-folders included, named after their folder)
# seed every target; the folder is absent on some machines.
real=$out/real-seeds
rm -rf "$real" && mkdir -p "$real"
if [[ -d ../shared/realdata ]]; then
  while IFS= read -r file; do
    relative=${file#../shared/realdata/}
    cp "$file" "$real/${relative//\//_}"
  done < <(find ../shared/realdata -type f -size -2M ! -name '*.md')
fi

run_target() {
  local binary=$1 name
  name=$(basename "$binary")
  local corpus=$PWD/build-asan/fuzz/$name-corpus
  local log=$out/$name.log
  mkdir -p "$corpus" "$out/crashes"
  local seeds=()
  while IFS= read -r folder; do seeds+=("$folder"); done < <(find "$PWD/fuzz" -type d -path "*/seeds/$name")
  local limits=()
  if [[ -f $binary.max_len ]]; then
    limits+=(-max_len="$(cat "$binary.max_len")")
  fi
  local status=0
  (cd "$out" && "$binary" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 "${limits[@]}" \
      -print_final_stats=1 -artifact_prefix="$out/crashes/$name-" \
      "$corpus" "${seeds[@]}" "$real") >"$log" 2>&1 || status=$?
  local executions coverage
  executions=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | grep -o '[0-9]*$' || true)
  coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | grep -o '[0-9]*$' || true)
  if ((status == 0)); then
    printf '%-28s clean    %12s runs  coverage %6s  corpus %6s\n' "$name" "${executions:-?}" \
      "${coverage:-?}" "$(find "$corpus" -type f | wc -l)"
  else
    printf '%-28s FAILED   %12s runs  coverage %6s  (exit %s)\n' "$name" "${executions:-?}" \
      "${coverage:-?}" "$status"
    grep -m 3 -E 'ERROR|invariant|runtime error|SUMMARY' "$log" | sed 's/^/    /'
    ls "$out/crashes/$name-"* 2>/dev/null | sed 's/^/    input saved: /'
    echo "    log: $log"
  fi
  return "$status"
}

targets=()
for binary in "$PWD"/build-asan/fuzz/fuzz_*; do
  [[ -f $binary && -x $binary ]] || continue
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
