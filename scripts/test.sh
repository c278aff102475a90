#!/usr/bin/env bash
# Builds everything twice (a normal build, then AddressSanitizer + UndefinedBehaviorSanitizer with the
# fuzz targets) and runs every test of both through ctest, the fuzzers for a bounded time included.
# Ends with a table of each stage's wall time and CPU time (user + system of everything it ran).
set -euo pipefail
cd "$(dirname "$0")/.."

# Stage timing, in whole seconds. CPU time is the kernel's count for the finished children of this
# shell, which takes in everything they waited for (compilers under ninja, tests under ctest).
stage_names=()
stage_walls=()
stage_cpus=()
ticks_per_second=$(getconf CLK_TCK)
now() { echo $((${EPOCHREALTIME/./} / 1000000)); }
children_cpu() {
  local stat fields
  stat=$(</proc/$$/stat)
  read -r -a fields <<<"${stat##*) }"
  echo $((fields[13] + fields[14]))  # cutime + cstime, in clock ticks
}
started=$(now)
minutes() { printf '%d:%02d' $(($1 / 60)) $(($1 % 60)); }
print_stages() {
  local status=$? i total_cpu=0
  [[ -n $current ]] && finish_stage
  ((${#stage_names[@]})) || return "$status"
  echo
  printf '%-36s %8s %8s\n' "Stage" "wall" "CPU"
  for i in "${!stage_names[@]}"; do
    printf '%-36s %8s %8s\n' "${stage_names[i]}" "$(minutes "${stage_walls[i]}")" \
      "$(minutes "${stage_cpus[i]}")"
    total_cpu=$((total_cpu + stage_cpus[i]))
  done
  printf '%-36s %8s %8s\n' "total" "$(minutes $(($(now) - started)))" "$(minutes "$total_cpu")"
  ((status == 0)) || echo "(stopped with exit status $status in the last stage)"
  return "$status"
}
trap print_stages EXIT
current=""
finish_stage() {
  stage_names+=("$current")
  stage_walls+=($(($(now) - current_wall)))
  stage_cpus+=($((($(children_cpu) - current_cpu) / ticks_per_second)))
  current=""
}
# stage NAME COMMAND...: runs COMMAND as one timed stage; a failure ends the script (and the EXIT
# trap prints the table with the stage that failed last).
stage() {
  current=$1
  shift
  current_wall=$(now)
  current_cpu=$(children_cpu)
  echo "== $current =="
  "$@"
  finish_stage
}

stage "install-deps" scripts/install-deps.sh

jobs=$(nproc)
# Compilations go through ccache where it is installed, so that a repeated run (on a machine that
# keeps ~/.cache/ccache) rebuilds in minutes; paths are taken relative to the checkout, so that
# clones at other paths share the cache. CCACHE_DISABLE=1 gives a clean build's figures.
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR=$PWD
fi
export QT_QPA_PLATFORM=offscreen
# libsquish encodes textures on OpenMP threads, which would otherwise spin between the tests' many
# small encodes and take CPU time from the tests running beside them.
export OMP_WAIT_POLICY=passive
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

build_normal() {
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTROVA_WERROR=ON "${launcher[@]}"
  cmake --build build -j"$jobs"
}
stage "configure+build, normal" build_normal

build_sanitizer() {
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
        -DKESTROVA_WERROR=ON -DKESTROVA_SANITIZE=ON -DKESTROVA_FUZZ=ON -DKESTROVA_BENCH=OFF \
        "${launcher[@]}"
  cmake --build build-asan -j"$jobs"
}
stage "configure+build, sanitizer" build_sanitizer

stage "tests, normal build" bash -c "cd build && ctest --output-on-failure -j$jobs -LE fuzz"

# The Debian package: lintian, unpacked into a scratch root and run there.
stage "package check" scripts/check-package.sh build

stage "tests and fuzzers, sanitizer build" \
  bash -c "cd build-asan && ctest --output-on-failure -j$jobs"
