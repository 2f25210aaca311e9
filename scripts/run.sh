#!/usr/bin/env bash
# Installs what is missing, builds everything in Release and runs the main job: the
# spooler hosting the Sorbel driver against the simulated Samsung ER-350F STU
# (cashsim), with its tray icon and windows where a display exists, offscreen
# otherwise, on the D-Bus session bus (a private one when none runs). A receipt is
# made through spoolctl, as a point-of-sale program would make it: sign-on, two sales,
# a cancellation, the close, cash in, each with its command id and result. The
# spooler then runs until you choose "Выход" in its menu or press Ctrl+C here. The
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
monitor=
bus=
cleanup() {
  [ -n "$monitor" ] && kill "$monitor" 2>/dev/null || true
  [ -n "$spooler" ] && kill "$spooler" 2>/dev/null || true
  [ -n "$bus" ] && kill "$bus" 2>/dev/null || true
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

# The spooler serves its clients on the session bus; without one, on a bus of this run.
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
  read -r DBUS_SESSION_BUS_ADDRESS bus < <(dbus-daemon --session --fork --print-address=1 --print-pid=1 | paste -s -d ' ')
  export DBUS_SESSION_BUS_ADDRESS
  echo "a private session bus: $DBUS_SESSION_BUS_ADDRESS"
fi

"$bin/Spooler" &
spooler=$!
log="$TOLVER_STATE_DIR/$(date +%d-%m-%Y)_Spooler.log.txt"
echo "Spooler runs (pid $spooler); its protocol goes to $log"

# Until the spooler is on the bus (a SpoolAuto object neither keeps it nor closes it).
for _ in $(seq 100); do
  "$bin/spoolctl" --spoolauto id >/dev/null 2>&1 && break
  sleep 0.1
done
# A client for as long as this runs: the spooler closes when its last client goes. It
# prints every command result that the spooler relays. Nothing else makes a SpoolAuto1
# before the monitor has its own (its first line says so): a client made and released
# before it would be the last one, and the spooler would close.
mkfifo "$work/monitor"
"$bin/spoolctl" monitor >"$work/monitor" &
monitor=$!
exec 3<"$work/monitor"
if ! read -r first <&3 || [ "${first#monitoring }" = "$first" ]; then
  echo "spoolctl monitor did not become a client of the spooler" >&2
  exit 1
fi
echo "  [monitor] $first"
sed -u 's/^/  [monitor] /' <&3 &
exec 3<&-
# Until the register answers.
for _ in $(seq 100); do
  [ "$("$bin/spoolctl" in-interaction 2>/dev/null)" = true ] && break
  sleep 0.2
done

step() {
  echo "\$ spoolctl $*"
  local code=0
  "$bin/spoolctl" "$@" --wait | sed 's/^/  /' || code=$?
  [ "$code" -eq 0 ] || echo "  (spoolctl exit code $code)"
}
echo "A receipt through spoolctl (the first line of each is the command id):"
step sign-on --op 1 --name-op "Кассир 1" --password 5173
step sale-art --count 1 --sum 6.00 --art 5
step sale-dep --name "Хлеб" --count 1 --sum 12.00 --dep 1
step cancel-dep --sum 12.00 --dep 1
step close --sum 20.00 --pay-type cash
step cash-in --sum 100.00 --info "Размен"
# The cash tape: the characters that the register printed, as the protocol log
# records them ("hh:mm:ss.zzz <- c", the echoes of keys left out). The spooler shows
# the same tape in its menu, "&Кассовая лента".
sleep 1
echo "The cash tape:"
awk 'BEGIN { RS = "\r\n" }
     /^[0-9][0-9]:[0-9][0-9]:[0-9][0-9]\.[0-9][0-9][0-9] <- / { c = substr($0, 17); if (c !~ /^эхо /) printf "%s", c }' "$log" |
  sed 's/^/  | /'
if [ "${QT_QPA_PLATFORM:-}" = offscreen ]; then
  echo "No display: the spooler runs offscreen. Press Ctrl+C to stop it and the simulator."
else
  echo "Use the spooler's tray icon (or its status window) for its menu; \"Выход\" or Ctrl+C here stops it."
fi
status=0
wait "$spooler" || status=$?
spooler=
exit "$status"
