#!/usr/bin/env bash
# Does the station keep up with the line? The real station offscreen against the simulator
# at one sentence a second, two a second, ten a second and a flood, a minute each unless
# told otherwise; for each: sentences written, lines logged, lines missing, the largest
# delay from a sentence's carriage return to its log line, and the station's CPU share.
# Usage: bench/keepup.sh [build-dir] [seconds-per-rate]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
exec python3 "$root/bench/keepup.py" "${1:-$root/build}" "${2:-60}"
