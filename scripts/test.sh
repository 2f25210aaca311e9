#!/usr/bin/env bash
# Installs what is missing, builds the test suite with AddressSanitizer and
# UndefinedBehaviorSanitizer, runs it, then runs the fuzz targets for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

jobs=$(nproc)
build=build/asan
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTOLVER_SANITIZE=ON -DTOLVER_TESTS=ON -DTOLVER_BENCH=ON
cmake --build "$build" -j "$jobs"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
# The tests run on a private session bus.
dbus-run-session -- ctest --test-dir "$build" --output-on-failure -j "$jobs" --timeout 600

# The fuzz targets, built with clang, each for a bounded time on its seed corpus.
fuzz=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTOLVER_FUZZ=ON -DTOLVER_TESTS=OFF
cmake --build "$fuzz" -j "$jobs" --target fuzzers
seconds=${TOLVER_FUZZ_SECONDS:-30}
for target in "$fuzz"/bin/fuzz_*; do
  name=$(basename "$target")
  corpus="$fuzz/corpus/$name"
  mkdir -p "$corpus"
  # The target writes its seeds and exits; -runs=0 keeps one that writes none from fuzzing unbounded.
  TOLVER_WRITE_SEEDS="$corpus" "$target" -runs=0 "$corpus"
  echo "== $name: $seconds s"
  "$target" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 -print_final_stats=1 "$corpus"
done
echo "All tests passed."
