#!/usr/bin/env bash
# Installs what is missing, builds everything in Release and runs the main job.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOLVER_TESTS=OFF -DTOLVER_BENCH=ON
cmake --build "$build" -j "$(nproc)"

# Until the spooler can be started against a simulated register, the main job
# shows the figures of what is built.
for b in "$build"/bin/bench_*; do
  "$b"
done
