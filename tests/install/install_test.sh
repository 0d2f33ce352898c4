#!/usr/bin/env bash
# install_test.sh SOURCE BUILD: scripts/install into temporary folders with a temporary
# HOME, from the programs of the current build.
set -uo pipefail
src="$1"
export VENTHOLM_BUILD_DIR="$2"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
export HOME="$tmp/home"
unset XDG_DATA_HOME
mkdir -p "$HOME"
apps="$HOME/.local/share/applications"
icons="$HOME/.local/share/icons/hicolor"

passed=0 failed=0
check() {  # check "what" command...
  local what="$1"; shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $what"; fi
}
# A desktop entry's value as the program it starts: string escapes, then the command
# line's quoting (the same as the shell's double quotes), then %% for %.
exec_program() {
  local v
  v="$(sed -n 's/^Exec=//p' "$1")"
  v="${v//\\\\/\\}"
  eval "set -- $v"
  printf '%s' "${1//%%/%}"
}
path_value() { local v; v="$(sed -n 's/^Path=//p' "$1")"; printf '%s' "${v//\\\\/\\}"; }
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }'; }

# A used folder, its name with characters a desktop entry must quote.
used="$tmp/field laptop/Ventholm \"it's\" \$HOME"
mkdir -p "$used"
printf '7\r\nmy own notes\r\n' > "$used/settings.txt"
printf '9 Dec 2026 10:00:00,12,3,R,0,1013.25,120.5*00\r\n' > "$used/log.txt"
cp "$used/settings.txt" "$tmp/settings.before"
cp "$used/log.txt" "$tmp/log.before"

out="$("$src/scripts/install" "$used" 2>&1)"; rc=$?
check "install into a used folder succeeds: $out" test $rc -eq 0
for f in ventholm ventholm-nodesim ventholm-logplot ventholm-menu; do
  check "$f installed" test -x "$used/$f"
done
check "README.txt explains the com link" grep -q '/dev/serial/by-id/' "$used/README.txt"
check "settings.txt untouched" cmp -s "$used/settings.txt" "$tmp/settings.before"
check "log.txt untouched" cmp -s "$used/log.txt" "$tmp/log.before"
entry="$apps/ventholm.desktop"
check "desktop entry valid" desktop-file-validate "$entry"
check "entry starts the folder's station" test "$(exec_program "$entry")" = "$used/ventholm"
check "entry runs in the folder" test "$(path_value "$entry")" = "$used"
check "entry names the icon" grep -qx 'Icon=ventholm' "$entry"
for s in 16 22 24 32 48 64 128 256; do
  check "icon ${s}x${s}" test "$(png_size "$icons/${s}x${s}/apps/ventholm.png" 2>/dev/null)" = "${s}x${s}"
done
check "scalable icon" grep -q '<svg' "$icons/scalable/apps/ventholm.svg"

# A fresh folder gets a settings.txt whose first line is the port number, and the entry.
fresh="$tmp/Ventholm"
"$src/scripts/install" "$fresh" >/dev/null 2>&1
check "fresh install writes settings.txt" test -f "$fresh/settings.txt"
check "its first line is a port number" grep -qxE '[0-9]+' <(head -n 1 "$fresh/settings.txt")
check "it explains itself below" test "$(wc -l < "$fresh/settings.txt")" -gt 1
check "no log.txt is made" test ! -e "$fresh/log.txt"
check "the entry now starts the fresh folder" test "$(exec_program "$entry")" = "$fresh/ventholm"

# Removing the used folder's station leaves the other folder's entry, and the logs.
"$src/scripts/install" --remove "$used" >/dev/null 2>&1
check "remove takes the programs" test ! -e "$used/ventholm" -a ! -e "$used/ventholm-logplot" -a ! -e "$used/menu"
check "remove leaves log.txt" cmp -s "$used/log.txt" "$tmp/log.before"
check "remove leaves settings.txt" cmp -s "$used/settings.txt" "$tmp/settings.before"
check "another folder's entry stays" test -f "$entry"
"$src/scripts/install" --remove "$fresh" >/dev/null 2>&1
check "remove takes the entry" test ! -e "$entry"
check "remove takes the icons" test -z "$(find "$icons" -name 'ventholm.*' 2>/dev/null)"
check "remove leaves the fresh settings.txt" test -f "$fresh/settings.txt"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
