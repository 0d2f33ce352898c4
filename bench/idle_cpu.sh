#!/usr/bin/env bash
# Prints the station's CPU share while it waits on a silent line (target: at most 1%
# of one core). Usage: bench/idle_cpu.sh [build-dir] [seconds]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
seconds="${2:-10}"
work="$(mktemp -d)"
trap 'kill $station $holder 2>/dev/null || true; rm -rf "$work"' EXIT

cp "$build/ventholm" "$work/"
echo 1 > "$work/settings.txt"
# A pseudo-terminal that never speaks: the station waits in its receiver all the time.
python3 - "$work" <<'PY' &
import os, pty, sys, time, tty
master, slave = pty.openpty()
tty.setraw(slave)
os.symlink(os.ttyname(slave), os.path.join(sys.argv[1], "com1"))
time.sleep(3600)
PY
holder=$!
for _ in $(seq 50); do [ -e "$work/com1" ] && break; sleep 0.1; done

QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" "$work/ventholm" &
station=$!
sleep 3  # start-up and the first ticks

ticks() { awk '{print $14 + $15}' "/proc/$station/stat"; }
hz=$(getconf CLK_TCK)
before=$(ticks)
sleep "$seconds"
after=$(ticks)
awk -v d=$((after - before)) -v hz="$hz" -v s="$seconds" \
  'BEGIN { printf "idle CPU: %.2f%% of one core over %d s (%d clock ticks)\n", 100 * d / hz / s, s, d }'
