#!/usr/bin/env bash
# Installs what is missing, builds everything in Release and runs the main job: until
# the spooler exists, one sale through the Sorbel driver against the simulated
# register (cashsim), printing every command result and the cash tape. The
# benchmarks are built too; run them on their own (build/release/bin/bench_*).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOLVER_TESTS=OFF -DTOLVER_BENCH=ON
cmake --build "$build" -j "$(nproc)"
bin="$(pwd)/$build/bin"

# A registry store and a simulated Samsung ER-350F STU of this run only.
work=$(mktemp -d)
export TOLVER_REGISTRY="$work/registry.db"
export TOLVER_STATE_DIR="$work/state"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
# The simulated register prints a moment after it accepts a key, as a real one does:
# the driver drops what arrives together with a key's echo.
"$bin/cashsim" er350f --print-delay 100 --control "$work/cashsim.ctl" >"$work/cashsim.out" 2>"$work/cashsim.err" &
sim=$!
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 100); do
  [ -s "$work/cashsim.out" ] && [ -S "$work/cashsim.ctl" ] && break
  sleep 0.05
done
pty=$(head -n 1 "$work/cashsim.out")
if [ -z "$pty" ]; then
  echo "cashsim did not start:" >&2
  cat "$work/cashsim.err" >&2
  exit 1
fi
echo "cashsim er350f plays the register on $pty (COM7)"

# COM7 is the simulator's pseudo-terminal; install the driver module.
printf 'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\Norvale\\Spooler\\Ports]\n"COM7"="%s"\n' "$pty" |
  "$bin/tolver-reg" import -
"$bin/tolver-regsvr" "$bin/Sorbel.csh"

"$bin/sorbel-demo" --com 7 --control "$work/cashsim.ctl"
