#!/usr/bin/env bash
# What one received sentence costs the station, next to the floor program (bench/chart_floor:
# the same window size, two 10-point line series replaced once per sentence and painted
# once). Both get the same sentences of the simulated network, one a second, from two
# replays of one recording.
#
# Usage: bench/sentence_cost.sh BUILD [COUNT]
#   BUILD  build folder holding ventholm, tools/nodesim/ventholm-nodesim,
#          bench/logplot_makelog (which writes the log lines) and, unless FLOOR names
#          it, bench/chart_floor
#   COUNT  sentences measured per figure (default 20)
#   SENTENCES=FILE  measure on the sentences in FILE, or record them there when it is
#          missing, so that two builds are compared on the same input
# Prints, offscreen and (when Xvfb is there) under X with accessibility on:
#   instructions per sentence (callgrind) and CPU time per sentence, for both, and the
#   ratios; then the station's CPU share while the simulator floods the line.
#
# Start-up is left out rather than amortised: counting starts once both charts are
# full (the 12th sentence; from then on every sentence rewrites all ten rows) and runs
# over the next COUNT sentences, callgrind being zeroed and dumped at those points.
# Idle work between sentences (the station's tick) is in the figures, for both.
# CPU times come from the kernel's scheduler statistics of every thread; they are as
# noisy as the machine is busy. Instruction counts are not.
set -euo pipefail
build="$(cd "${1:?usage: $0 BUILD [COUNT]}" && pwd)"
count="${2:-20}"
warm=12
floor="${FLOOR:-$build/bench/chart_floor}"
sim="$build/tools/nodesim/ventholm-nodesim"
for f in "$build/ventholm" "$sim" "$floor" "$build/bench/logplot_makelog"; do
    [ -x "$f" ] || { echo "missing: $f" >&2; exit 2; }
done
work="$(mktemp -d)"
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    [ "${#pids[@]}" -eq 0 ] || wait "${pids[@]}" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# The sentences: the simulated network's (seed 1), taken from its line once, then written
# as a station log one second apart, so both programs get them alike and at that pace.
# With SENTENCES=FILE they are read from FILE when it exists and saved there when not,
# so that two builds can be measured on the same sentences.
n=$((warm + count + 30))
if [ -n "${SENTENCES:-}" ] && [ -s "$SENTENCES" ]; then
    head -n "$n" "$SENTENCES" > "$work/sentences.log"
else
    mkdir -p "$work/record"
    "$sim" --folder "$work/record" --port 9 --seed 1 --rate 0.01 > /dev/null 2>&1 & recorder=$!
    for _ in $(seq 50); do [ -e "$work/record/com9" ] && break; sleep 0.1; done
    stty -F "$work/record/com9" raw -echo
    timeout 6 cat "$work/record/com9" > "$work/record/line.txt" || true
    kill "$recorder" 2>/dev/null || true; wait "$recorder" 2>/dev/null || true
    tr '\r' '\n' < "$work/record/line.txt" | grep '\*' | head -n "$n" > "$work/record/sentences.txt"
    "$build/bench/logplot_makelog" --from "$work/record/sentences.txt" "$work/sentences.log"
    [ -z "${SENTENCES:-}" ] || cp "$work/sentences.log" "$SENTENCES"
fi
[ "$(wc -l < "$work/sentences.log")" -eq "$n" ] || { echo "could not take $n sentences" >&2; exit 1; }

spawn() { "$@" & pids+=($!); }
wait_for() {  # wait_for SECONDS COMMAND...: until the command succeeds
    local t=$(($1 * 10)); shift
    until "$@"; do
        t=$((t - 1)); [ "$t" -gt 0 ] || { echo "timed out waiting for: $*" >&2; return 1; }
        sleep 0.1
    done
}
lines() { [ -e "$1" ] && wc -l < "$1" || echo 0; }
at_least() { [ "$(lines "$1")" -ge "$2" ]; }
cpu_ns() {  # CPU time of every thread of a process, in nanoseconds
    cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { printf "%d\n", s }'
}
# start KIND DIR PORT [valgrind...]: a replay on com<PORT> in DIR and the program reading it.
# Sets $prog (its pid) and $count_file (one line per sentence it took).
start() {
    local kind=$1 dir=$2 port=$3; shift 3
    mkdir -p "$dir"
    spawn "$sim" --folder "$dir" --port "$port" --replay "$work/sentences.log" --speed 1 --loop \
        > "$dir/sim.out" 2>&1
    wait_for 10 test -e "$dir/com$port"
    if [ "$kind" = station ]; then
        cp "$build/ventholm" "$dir/"
        echo "$port" > "$dir/settings.txt"
        count_file="$dir/log.txt"
        (cd "$dir" && exec "$@" ./ventholm > "$dir/out.txt" 2>&1) & prog=$!
    else
        count_file="$dir/floor.out"
        (cd "$dir" && exec "$@" "$floor" "$dir/com$port" > "$count_file" 2> "$dir/out.txt") & prog=$!
    fi
    pids+=("$prog")
}

# calls FILE PATTERN: how often functions matching PATTERN were called in a callgrind dump.
calls() {
    awk -v pat="$2" '
        function id(s) { sub(/^c?fn=/, "", s); return s }
        /^c?fn=\(/ {
            k = $0; sub(/^c?fn=/, "", k); i = k; sub(/\).*/, ")", i)
            name = k; sub(/^\([0-9]+\) ?/, "", name)
            if (name != "") names[i] = name
            if ($0 ~ /^cfn=/) callee = i
        }
        /^calls=/ { n = $0; sub(/^calls=/, "", n); sub(/ .*/, "", n); if (names[callee] ~ pat) total += n }
        END { printf "%d\n", total }' "$1"
}

stop_all() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    [ "${#pids[@]}" -eq 0 ] || wait "${pids[@]}" 2>/dev/null || true
    pids=()
}

# Instructions per sentence of both programs, run side by side under callgrind.
instructions() {
    local tag=$1 st fl st_pid fl_pid st_file fl_file
    st="$work/$tag-cg-station"; fl="$work/$tag-cg-floor"
    start station "$st" 1 valgrind --tool=callgrind --callgrind-out-file="$st/cg.out"
    st_pid=$prog; st_file=$count_file
    start floor "$fl" 2 valgrind --tool=callgrind --callgrind-out-file="$fl/cg.out"
    fl_pid=$prog; fl_file=$count_file
    local from_s from_f to_s to_f
    wait_for 600 at_least "$st_file" "$warm"; callgrind_control -z "$st_pid" > /dev/null 2>&1
    from_s=$(lines "$st_file")
    wait_for 600 at_least "$fl_file" "$warm"; callgrind_control -z "$fl_pid" > /dev/null 2>&1
    from_f=$(lines "$fl_file")
    wait_for 1200 at_least "$st_file" $((from_s + count)); callgrind_control -d "$st_pid" > /dev/null 2>&1
    to_s=$(lines "$st_file")
    wait_for 600 at_least "$fl_file" $((from_f + count)); callgrind_control -d "$fl_pid" > /dev/null 2>&1
    to_f=$(lines "$fl_file")
    sleep 1
    local ir_s ir_f paint_s paint_f desc_s
    ir_s=$(awk '/^(summary|totals):/ { print $2; exit }' "$st"/cg.out.*)
    ir_f=$(awk '/^(summary|totals):/ { print $2; exit }' "$fl"/cg.out.*)
    # Repaints of the charts, and changes of their accessible description (each one an
    # event to every listening screen reader).
    paint_s=$(calls "$(ls "$st"/cg.out.* | tail -1)" '^QGraphicsView::paintEvent')
    paint_f=$(calls "$(ls "$fl"/cg.out.* | tail -1)" '^QGraphicsView::paintEvent')
    desc_s=$(calls "$(ls "$st"/cg.out.* | tail -1)" '^QWidget::setAccessibleDescription')
    stop_all
    awk -v t="$tag" -v a="$ir_s" -v na=$((to_s - from_s)) -v b="$ir_f" -v nb=$((to_f - from_f)) \
        -v ps="$paint_s" -v pf="$paint_f" -v ds="$desc_s" 'BEGIN {
        s = a / na; f = b / nb
        printf "%-22s instructions per sentence: station %.2f M (%d sentences), floor %.2f M (%d), ratio %.2f\n",
               t, s / 1e6, na, f / 1e6, nb, s / f
        printf "%-22s chart repaints per sentence: station %.1f, floor %.1f; station description changes per sentence: %.1f\n",
               t, ps / na, pf / nb, ds / na }'
}

# CPU time per sentence of both programs, side by side, at one sentence a second.
cpu_time() {
    local tag=$1 st fl st_pid fl_pid st_file fl_file
    st="$work/$tag-cpu-station"; fl="$work/$tag-cpu-floor"
    start station "$st" 3; st_pid=$prog; st_file=$count_file
    start floor "$fl" 4; fl_pid=$prog; fl_file=$count_file
    wait_for 120 at_least "$st_file" "$warm"; wait_for 60 at_least "$fl_file" "$warm"
    local s0 f0 cs0 cf0 s1 f1 cs1 cf1
    s0=$(lines "$st_file"); cs0=$(cpu_ns "$st_pid"); f0=$(lines "$fl_file"); cf0=$(cpu_ns "$fl_pid")
    wait_for 120 at_least "$st_file" $((s0 + count))
    s1=$(lines "$st_file"); cs1=$(cpu_ns "$st_pid"); f1=$(lines "$fl_file"); cf1=$(cpu_ns "$fl_pid")
    stop_all
    awk -v t="$tag" -v a=$((cs1 - cs0)) -v na=$((s1 - s0)) -v b=$((cf1 - cf0)) -v nb=$((f1 - f0)) 'BEGIN {
        s = a / na / 1e6; f = b / nb / 1e6
        printf "%-22s CPU per sentence:          station %.2f ms (%d sentences), floor %.2f ms (%d), ratio %.2f\n",
               t, s, na, f, nb, s / f }'
}

# The station's share of one core while the simulator sends sentences back to back.
flood() {
    local tag=$1 seconds=10
    local dir="$work/$tag-flood"
    mkdir -p "$dir"
    spawn "$sim" --folder "$dir" --port 5 --seed 1 --flood > "$dir/sim.out" 2>&1
    wait_for 10 test -e "$dir/com5"
    cp "$build/ventholm" "$dir/"; echo 5 > "$dir/settings.txt"
    (cd "$dir" && exec ./ventholm > "$dir/out.txt" 2>&1) & prog=$!; pids+=("$prog")
    wait_for 60 at_least "$dir/log.txt" 3
    local c0 l0 c1 l1
    c0=$(cpu_ns "$prog"); l0=$(lines "$dir/log.txt")
    sleep "$seconds"
    c1=$(cpu_ns "$prog"); l1=$(lines "$dir/log.txt")
    stop_all
    awk -v t="$tag" -v c=$((c1 - c0)) -v n=$((l1 - l0)) -v s="$seconds" 'BEGIN {
        printf "%-22s line flood: station %.1f %% of one core, %.1f sentences a second taken\n",
               t, 100 * c / (s * 1e9), n / s }'
}

echo "build: $build; floor: $floor; $count sentences per figure after $warm to fill the charts"
export QT_QPA_PLATFORM=offscreen
instructions offscreen
cpu_time offscreen
flood offscreen

if command -v Xvfb > /dev/null && command -v dbus-daemon > /dev/null; then
    display=:$((90 + RANDOM % 100))
    Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp > "$work/xvfb.out" 2>&1 & xvfb=$!
    bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1 --nopidfile)
    bus_address=$(echo "$bus" | sed -n 1p); bus_pid=$(echo "$bus" | sed -n 2p)
    trap 'kill $xvfb $bus_pid 2>/dev/null || true; cleanup' EXIT
    export DISPLAY=$display QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
    export DBUS_SESSION_BUS_ADDRESS=$bus_address
    sleep 1
    instructions "X, accessibility on"
    cpu_time "X, accessibility on"
else
    echo "no Xvfb or dbus-daemon: the figures under X are left out"
fi
echo "note: in the flood the station takes what its receiver takes per tick; the rate above shows it"
