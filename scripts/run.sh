#!/usr/bin/env bash
# Installs what is missing, builds everything in Release and runs the main job: the
# spooler hosting the Sorbel driver against the simulated Samsung ER-350F STU
# (cashsim), with its tray icon and windows where a display exists, offscreen
# otherwise. It runs until you choose "Выход" in its menu or press Ctrl+C here. The
# benchmarks are built too; run them on their own (build/release/bin/bench_*).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOLVER_TESTS=OFF -DTOLVER_BENCH=ON
cmake --build "$build" -j "$(nproc)"
bin="$(pwd)/$build/bin"

# A registry store, state folder and simulated register of this run only.
work=$(mktemp -d)
export TOLVER_REGISTRY="$work/registry.db"
export TOLVER_STATE_DIR="$work/state"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  export QT_QPA_PLATFORM=offscreen
fi
# The simulated register prints a moment after it accepts a key, as a real one does:
# the driver drops what arrives together with a key's echo.
"$bin/cashsim" er350f --print-delay 100 --control "$work/cashsim.ctl" >"$work/cashsim.out" 2>"$work/cashsim.err" &
sim=$!
spooler=
cleanup() {
  [ -n "$spooler" ] && kill "$spooler" 2>/dev/null || true
  kill "$sim" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
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

# COM7 is the simulator's pseudo-terminal; install the driver module and choose it,
# with the protocol log on.
printf 'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\Norvale\\Spooler\\Ports]\n"COM7"="%s"\n' "$pty" |
  "$bin/tolver-reg" import -
"$bin/tolver-regsvr" "$bin/Sorbel.csh"
"$bin/spooler-setup" --driver Sorbel.csh --com 7 --baud 9600 --protocol on --notify on

"$bin/Spooler" &
spooler=$!
log="$TOLVER_STATE_DIR/$(date +%d-%m-%Y)_Spooler.log.txt"
echo "Spooler runs (pid $spooler); its protocol goes to $log"
if [ "${QT_QPA_PLATFORM:-}" = offscreen ]; then
  echo "No display: the spooler runs offscreen. Press Ctrl+C to stop it and the simulator."
else
  echo "Use the spooler's tray icon (or its status window) for its menu; \"Выход\" or Ctrl+C here stops it."
fi
status=0
wait "$spooler" || status=$?
spooler=
exit "$status"
