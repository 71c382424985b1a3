#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each for SECONDS seconds on a copy of its seed corpus. New inputs that reach new code
# are kept in build-fuzz/corpus/NAME; a crash leaves its input in build-fuzz/ and stops the run.
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
scripts/install-deps.sh >/dev/null
command -v clang++ >/dev/null || { echo "fuzzing needs clang++ (apt-get install clang)" >&2; exit 2; }
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DHORALUX_FUZZ=ON -DHORALUX_BUILD_UI=OFF \
  -DHORALUX_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=()
for corpus in tests/fuzz/corpus/*/; do targets+=("fuzz_$(basename "$corpus")"); done
cmake --build build-fuzz -j "$(nproc)" --target "${targets[@]}"
for corpus in tests/fuzz/corpus/*/; do
  name=$(basename "$corpus")
  work=build-fuzz/corpus/$name
  mkdir -p "$work"
  cp -n "$corpus"* "$work"/ 2>/dev/null || true
  echo "=== $name for ${seconds}s"
  (cd build-fuzz && "fuzz/fuzz_$name" -max_total_time="$seconds" -print_final_stats=1 "corpus/$name")
done
