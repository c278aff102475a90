#!/usr/bin/env bash
# Builds everything twice (a normal build, then AddressSanitizer + UndefinedBehaviorSanitizer with the
# fuzz targets) and runs every test of both through ctest, the fuzzers for a bounded time included.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

echo "== Normal build =="
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTROVA_WERROR=ON
cmake --build build -j"$jobs"

echo "== Sanitizer build (clang, ASan + UBSan, fuzz targets) =="
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
      -DKESTROVA_WERROR=ON -DKESTROVA_SANITIZE=ON -DKESTROVA_FUZZ=ON -DKESTROVA_BENCH=OFF
cmake --build build-asan -j"$jobs"

echo "== Tests, normal build =="
(cd build && ctest --output-on-failure -j"$jobs" -LE fuzz)

echo "== Debian package: lintian, unpacked into a scratch root and run there =="
scripts/check-package.sh build

echo "== Tests and fuzzers, sanitizer build =="
(cd build-asan && ctest --output-on-failure -j"$jobs")
