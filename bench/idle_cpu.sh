#!/usr/bin/env bash
# Prints the station's CPU share while it waits on a silent line (target: at most 0.05%
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

# The scheduler's own count of the time on a core, in nanoseconds: at a few hundredths of a
# percent the clock ticks of /proc/PID/stat are too coarse.
oncpu() { awk '{print $1}' "/proc/$station/schedstat"; }
before=$(oncpu)
sleep "$seconds"
after=$(oncpu)
awk -v d=$((after - before)) -v s="$seconds" \
  'BEGIN { printf "idle CPU: %.3f%% of one core over %d s (%.1f ms on a core)\n", 100 * d / 1e9 / s, s, d / 1e6 }'
