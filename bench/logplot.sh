#!/usr/bin/env bash
# Times ventholm-logplot and takes its peak memory on a day's log at one sentence a
# second (86,400 lines), and on ten such days, for the picture and for the table (CSV),
# to show that memory follows the picture and not the length of the log. Builds what it
# needs in the build folder.
# Usage: bench/logplot.sh [build-dir]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
cmake --build "$build" -j2 --target ventholm-logplot logplot_makelog >/dev/null
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

run() {  # run LABEL LINES OUT
  "$build/bench/logplot_makelog" "$work/log.txt" "$2"
  python3 - "$1" "$2" "$build/tools/logplot/ventholm-logplot" "$work/log.txt" "$work/$3" <<'PY'
import resource, subprocess, sys, time, os
label, lines, tool, log, out = sys.argv[1:]
start = time.monotonic()
done = subprocess.run([tool, log, out], stderr=subprocess.PIPE, text=True)
wall = time.monotonic() - start
use = resource.getrusage(resource.RUSAGE_CHILDREN)
if done.returncode != 0:
    sys.exit(f"ventholm-logplot failed: {done.stderr.strip()}")
size = os.path.getsize(log) / 2**20
print(f"{label}: {int(lines):,} lines ({size:.1f} MiB): {wall:.2f} s wall, "
      f"{use.ru_utime + use.ru_stime:.2f} s CPU, peak memory {use.ru_maxrss / 1024:.1f} MiB")
PY
}
run "picture, one day" 86400 day.png
run "picture, ten days" 864000 day.png
run "table, one day" 86400 day.csv
run "table, ten days" 864000 day.csv
