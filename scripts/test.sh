#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: a normal build, an
# AddressSanitizer + UndefinedBehaviorSanitizer build, and the threaded tests under
# ThreadSanitizer; then, cross-built for Windows and run under Wine, the core suites, the
# companion, the installer and the windowed program.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)
export CTEST_OUTPUT_ON_FAILURE=1

run_suite() {  # dir, extra cmake args..., then -- ctest args...
  local dir=$1; shift
  local cmake_args=() ctest_args=()
  while (($#)) && [[ $1 != -- ]]; do cmake_args+=("$1"); shift; done
  (($#)) && shift
  ctest_args=("$@")
  echo "=== ${dir}"
  cmake -S . -B "$dir" -G Ninja "${cmake_args[@]}"
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" -j "$jobs" "${ctest_args[@]}"
}

werror=-DHORALUX_WERROR=ON
run_suite build $werror -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "=== package"
scripts/check-package.sh build
run_suite build-asan $werror -DCMAKE_BUILD_TYPE=Debug -DHORALUX_SANITIZE=address,undefined
run_suite build-tsan $werror -DCMAKE_BUILD_TYPE=Debug -DHORALUX_SANITIZE=thread -- -L threaded
# A user's optimised build must compile cleanly too (GCC warns differently at -O3).
echo "=== build-release"
cmake -S . -B build-release -G Ninja $werror -DCMAKE_BUILD_TYPE=Release -DHORALUX_BUILD_BENCH=OFF
cmake --build build-release -j "$jobs"
echo "=== build-win (Windows core and companion, under Wine)"
scripts/test-windows.sh
echo "=== build-win-qt (the Windows program and its installer, under Wine)"
scripts/build-windows.sh
