#!/usr/bin/env bash
# Prints the station's CPU share and peak memory while it receives the simulated node
# network's sentences (one a second) and redraws its charts for each.
# Usage: bench/receiving_cpu.sh [build-dir] [seconds]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
seconds="${2:-20}"
work="$(mktemp -d)"
sim=""; station=""
trap 'kill $station $sim 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT

cp "$build/ventholm" "$work/"
echo 1 > "$work/settings.txt"
"$build/tools/nodesim/ventholm-nodesim" --folder "$work" --port 1 --seed 1 > "$work/commands.txt" &
sim=$!
for _ in $(seq 50); do [ -e "$work/com1" ] && break; sleep 0.1; done

QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" "$work/ventholm" 2>/dev/null &
station=$!
sleep 8  # start-up, and the charts filling up

ticks() { awk '{print $14 + $15}' "/proc/$station/stat"; }
hz=$(getconf CLK_TCK)
lines_before=$(wc -l < "$work/log.txt")
before=$(ticks)
sleep "$seconds"
after=$(ticks)
lines=$(( $(wc -l < "$work/log.txt") - lines_before ))
peak=$(awk '/VmHWM/ {print $2}' "/proc/$station/status")
awk -v d=$((after - before)) -v hz="$hz" -v s="$seconds" -v n="$lines" -v kb="$peak" \
  'BEGIN { printf "receiving: %.2f%% of one core over %d s, %d sentences logged, peak memory %.1f MiB\n",
           100 * d / hz / s, s, n, kb / 1024 }'
