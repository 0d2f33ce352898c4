#!/usr/bin/env bash
# Does the station keep up with the line? The real station offscreen against the simulator
# at one sentence a second, two a second, ten a second and a flood, a minute each unless
# told otherwise; for each: sentences written, lines logged, lines missing, the
# delay from a sentence's carriage return to its log line (median, p99, largest), the lines
# stamped with another second than the one their sentence arrived in, and the station's CPU
# share; then its CPU share on a silent line.
# Usage: bench/keepup.sh [build-dir] [seconds-per-rate]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
python3 "$root/bench/keepup.py" "${1:-$root/build}" "${2:-60}"
"$root/bench/idle_cpu.sh" "${1:-$root/build}" "${2:-60}"
