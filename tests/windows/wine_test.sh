#!/usr/bin/env bash
# The Windows station from its zip, under Wine and Xvfb, through a real COM port:
# COM3 in the Wine prefix leads to the pseudo-terminal the (Linux) simulator plays the
# node on. Checks that a missing port ends with the start-up message box, that log.txt
# fills in the station's format, that a click on Reset puts "6!" on the line, that a
# close, and the end of the session on COM12, end it with exit code 0 and whole lines.
# Saves a screenshot of the window in OUTDIR.
# Usage: wine_test.sh ZIP NODESIM OUTDIR (WINEPREFIX set, wine, Xvfb and xdotool on PATH)
set -euo pipefail
zip="$1" sim="$2" outdir="$3"
: "${WINEPREFIX:?}"
export WINEDEBUG=-all
work="$(mktemp -d)"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wineserver -k >/dev/null 2>&1 || true
  rm -f "$WINEPREFIX/dosdevices/com3" "$WINEPREFIX/dosdevices/com12"
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
wait_for() {  # wait_for SECONDS COMMAND...: true once COMMAND succeeds
  local end=$((SECONDS + $1)); shift
  until "$@"; do [ $SECONDS -lt $end ] || return 1; sleep 0.2; done
}

display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
export DISPLAY="$display"
wait_for 10 xdpyinfo >/dev/null 2>&1 || fail "Xvfb did not start"
[ -d "$WINEPREFIX/drive_c" ] || wineboot -i >/dev/null 2>&1
# A server of its own, whose object dumps at a session's end go nowhere.
wineserver -k >/dev/null 2>&1 || true
wineserver -p >/dev/null 2>&1 </dev/null

(cd "$work" && unzip -q "$zip")
station="$work/Ventholm"
[ -f "$station/ventholm.exe" ] || fail "no ventholm.exe in the zip"

# 1. A missing port ends with the start-up message box, and exit code 1.
printf '9\r\n' > "$station/settings.txt"
(cd "$station" && exec wine ventholm.exe) & st=$!
wait_for 60 xdotool search --name '^Ventholm$' >/dev/null 2>&1 || fail "no start-up message box for a missing port"
box="$(xdotool search --name '^Ventholm$' | head -n1)"
xdotool key --window "$box" Return 2>/dev/null
rc=0; wait "$st" || rc=$?
[ "$rc" -eq 1 ] || fail "a missing port should end with exit code 1, got $rc"
[ ! -s "$station/log.txt" ] || fail "a station that did not start wrote a log"
echo "ok: a missing port (COM9) ends with the start-up message box and exit code 1"

# 2. The station on COM3 against the simulator.
printf '3\r\n' > "$station/settings.txt"
"$sim" --folder "$WINEPREFIX/dosdevices" --port 3 --rate 0.5 > "$work/commands.txt" 2>"$work/sim.err" & sim_pid=$!
pids+=($sim_pid)
wait_for 10 test -L "$WINEPREFIX/dosdevices/com3" || fail "the simulator made no com3"
(cd "$station" && exec wine ventholm.exe) & st=$!
wait_for 60 test -s "$station/log.txt" || fail "log.txt did not fill"
wait_for 20 bash -c "[ \$(wc -l < '$station/log.txt') -ge 5 ]" || fail "log.txt holds fewer than 5 lines"
# Date, time and the sentence as the simulator sent it, CR LF ended.
line="$(head -n1 "$station/log.txt")"
[[ "$line" =~ ^[^,]+\ [0-9]{1,2}:[0-9]{2}:[0-9]{2}[^,]*,12,[0-9]+,[A-Z],.*\*[0-9A-F]{2}$'\r'$ ]] \
  || fail "log line not in the station's format: $line"
echo "ok: log.txt fills with the simulator's sentences: $(tr -d '\r' <<<"$line")"

# The window as Wine shows it; the Reset button at its place in the window table
# (twips 4440, 7320, 1335 by 375: pixels 296, 488, 89 by 25) from the client area's corner.
win="$(xdotool search --name '^Ventholm v ' | head -n1)"
[ -n "$win" ] || fail "no station window"
sleep 1
xdotool mousemove --window "$win" $((296 + 44)) $((488 + 12)) click 1 2>/dev/null
wait_for 10 grep -q ' 6!$' "$work/commands.txt" || fail "Reset put no 6! on the line: $(cat "$work/commands.txt")"
echo "ok: a click on Reset put 6! on the line"
sleep 2
shot="$outdir/ventholm-wine.png"
import -window "$win" "$shot" && echo "screenshot: $shot"

# 3. A close (WM_CLOSE, as the window's close box sends) writes the log and exits 0.
before="$(wc -l < "$station/log.txt")"
wine taskkill /im ventholm.exe >/dev/null 2>&1 || true
rc=0; wait "$st" || rc=$?
[ "$rc" -eq 0 ] || fail "a close should end with exit code 0, got $rc"
after="$(wc -l < "$station/log.txt")"
[ "$after" -ge "$before" ] || fail "the log shrank on close"
[ "$(tail -c 2 "$station/log.txt" | od -An -tx1 | tr -d ' \n')" = 0d0a ] || fail "the log does not end with a whole line"
echo "ok: a close ends with exit code 0 and whole lines ($after in log.txt)"

# 4. Port 12 (COM10 and up are reached only as \\.\COM<N>), ended by the end of the
# session (WM_ENDSESSION, as logging off or shutting down Windows sends).
kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null || true
rm -f "$station/log.txt"
printf '12\r\n' > "$station/settings.txt"
"$sim" --folder "$WINEPREFIX/dosdevices" --port 12 --rate 0.5 > "$work/commands12.txt" 2>>"$work/sim.err" & sim_pid=$!
pids+=($sim_pid)
wait_for 10 test -L "$WINEPREFIX/dosdevices/com12" || fail "the simulator made no com12"
(cd "$station" && exec wine ventholm.exe) & st=$!
wait_for 60 bash -c "[ \$(wc -l 2>/dev/null < '$station/log.txt' || echo 0) -ge 3 ]" || fail "log.txt did not fill on COM12"
wineboot --end-session >/dev/null 2>&1 || true
rc=0; wait "$st" || rc=$?
[ "$rc" -eq 0 ] || fail "the end of the session should end the station with exit code 0, got $rc"
[ "$(tail -c 2 "$station/log.txt" | od -An -tx1 | tr -d ' \n')" = 0d0a ] || fail "the log does not end with a whole line"
echo "ok: COM12 opens, and the end of the session ends the station with exit code 0 and whole lines ($(wc -l < "$station/log.txt") in log.txt)"
echo "wine test passed"
