#!/usr/bin/env bash
# package_test.sh SOURCE BUILD: scripts/package packs this build's programs; the test
# checks the package's files and Depends, then runs its launcher from the unpacked
# package on a temporary HOME. Exits 77 (skipped) without Debian's packaging tools.
set -uo pipefail
src="$1"
build="$2"
for tool in dpkg-deb dpkg-buildpackage dh; do
  command -v "$tool" >/dev/null || { echo "SKIPPED: no $tool here (Debian: dpkg-dev, debhelper), so no package is built"; exit 77; }
done
tmp="$(mktemp -d)"
trap 'chmod -R u+w "$tmp"; rm -rf "$tmp"' EXIT
chmod 755 "$tmp"

passed=0 failed=0
check() {  # check "what" command...
  local what="$1"; shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $what"; fi
}

if ! VENTHOLM_BUILD_DIR="$build" "$src/scripts/package" "$tmp/out" > "$tmp/package.log" 2>&1; then
  cat "$tmp/package.log"
  echo "FAILED: scripts/package"
  exit 1
fi
deb="$(echo "$tmp"/out/ventholm_*.deb)"
check "one package named ventholm_<version>-1_<arch>.deb: $deb" test -f "$deb"
dpkg-deb -x "$deb" "$tmp/root"
(cd "$tmp/root" && find . \( -type f -o -type l \) -printf '%y %m %p\n' | sort) > "$tmp/files"
sort > "$tmp/expected" <<'EOF'
f 755 ./usr/bin/ventholm
l 777 ./usr/bin/ventholm-logplot
l 777 ./usr/bin/ventholm-nodesim
f 755 ./usr/lib/ventholm/ventholm
f 755 ./usr/lib/ventholm/ventholm-logplot
f 755 ./usr/lib/ventholm/ventholm-nodesim
f 644 ./usr/share/applications/ventholm.desktop
f 644 ./usr/share/doc/ventholm/changelog.Debian.gz
f 644 ./usr/share/doc/ventholm/copyright
f 644 ./usr/share/icons/hicolor/128x128/apps/ventholm.png
f 644 ./usr/share/icons/hicolor/16x16/apps/ventholm.png
f 644 ./usr/share/icons/hicolor/22x22/apps/ventholm.png
f 644 ./usr/share/icons/hicolor/24x24/apps/ventholm.png
f 644 ./usr/share/icons/hicolor/256x256/apps/ventholm.png
f 644 ./usr/share/icons/hicolor/32x32/apps/ventholm.png
f 644 ./usr/share/icons/hicolor/48x48/apps/ventholm.png
f 644 ./usr/share/icons/hicolor/64x64/apps/ventholm.png
f 644 ./usr/share/icons/hicolor/scalable/apps/ventholm.svg
f 644 ./usr/share/man/man1/ventholm-logplot.1.gz
f 644 ./usr/share/man/man1/ventholm-nodesim.1.gz
f 644 ./usr/share/man/man1/ventholm.1.gz
f 644 ./usr/share/ventholm/README.txt
f 644 ./usr/share/ventholm/settings.txt
EOF
check "the file list: $(diff "$tmp/expected" "$tmp/files" | grep '^[<>]' | tr '\n' ' ')" cmp -s "$tmp/expected" "$tmp/files"
check "the tools' links reach the programs" test -x "$tmp/root/usr/bin/ventholm-nodesim" -a -x "$tmp/root/usr/bin/ventholm-logplot"
check "the menu entry is valid" desktop-file-validate "$tmp/root/usr/share/applications/ventholm.desktop"
check "the menu entry runs the launcher" grep -qx 'Exec=ventholm' "$tmp/root/usr/share/applications/ventholm.desktop"
depends="$(dpkg-deb -f "$deb" Depends)"
for lib in libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 libqt6charts6 libc6; do
  check "Depends names $lib: $depends" grep -qE "(^|, )$lib \(>= [^)]+\)(,|$)" <<<"$depends"
done

# The launcher, run as the unpacked package's /usr/bin/ventholm with a temporary HOME.
installed="$tmp/root/usr/lib/ventholm"
export HOME="$tmp/home"
mkdir -p "$HOME"
folder="$HOME/Ventholm"
# Another user, to meet permissions as root would not: root may write anywhere.
other=()
[ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null && other=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
snapshot() { (cd "$1" && find . -printf '%p %i %s %T@\n' | sort && find . -type f -exec md5sum {} + | sort); }
same_station() {
  local f
  for f in ventholm ventholm-nodesim ventholm-logplot; do cmp -s "$installed/$f" "$1/$f" || return 1; done
  cmp -s "$tmp/root/usr/share/ventholm/README.txt" "$1/README.txt"
}

before_none() { :; }
after_first() {
  same_station "$folder" && cmp -s "$tmp/root/usr/share/ventholm/settings.txt" "$folder/settings.txt" \
    && [ ! -e "$folder/log.txt" ]
}
before_snapshot() { snapshot "$folder" > "$tmp/snap"; }
after_unchanged() { snapshot "$folder" | cmp -s - "$tmp/snap"; }
before_upgrade() {
  printf '\x7f' >> "$installed/ventholm"
  printf '5\r\nmy notes\r\n' > "$folder/settings.txt"
  printf '9 Dec 2026 10:00:00,12,3,R,0,1013.25,120.5*00\r\n' > "$folder/log.txt"
  cp "$folder/settings.txt" "$tmp/settings.before"
  cp "$folder/log.txt" "$tmp/log.before"
}
after_upgrade() {
  same_station "$folder" && cmp -s "$folder/settings.txt" "$tmp/settings.before" && cmp -s "$folder/log.txt" "$tmp/log.before"
}
after_given() { same_station "$tmp/field laptop/Ventholm" && [ -f "$tmp/field laptop/Ventholm/settings.txt" ]; }
before_file() { echo x > "$tmp/a file"; }
after_nothing_made() { [ ! -e "$tmp/a file/Ventholm" ] && [ "$(cat "$tmp/a file")" = x ]; }
before_readonly() { mkdir -p "$tmp/readonly"; [ ${#other[@]} -gt 0 ] || chmod 555 "$tmp/readonly"; }
after_readonly() { [ -z "$(ls -A "$tmp/readonly")" ]; }
# A port the user cannot open: com1 stands in for a device of the dialout group.
before_port() {
  mkdir -p "$tmp/port"
  chmod 777 "$tmp/port"
  echo 1 > "$tmp/port/settings.txt"
  : > "$tmp/port/com1"
  chmod "$1" "$tmp/port/com1"
}
before_port_closed() { before_port 000; }
before_port_open() { before_port 666; }
after_port() { same_station "$tmp/port"; }

# legend | before | as whom | folder | exit code | output must match | output must not match | after
rows=(
  "first start makes the folder, copies the station and writes settings.txt|before_none|me||0|Made the station folder $folder|cannot|after_first"
  "second start changes nothing|before_snapshot|me||0|The station in $folder is the installed one|Copied|after_unchanged"
  "a changed installed station is copied in; settings.txt and log.txt stay|before_upgrade|me||0|Copied into $folder from .*: ventholm\$|Wrote|after_upgrade"
  "the folder given is used|before_none|me|$tmp/field laptop/Ventholm|0|Wrote $tmp/field laptop/Ventholm/settings.txt||after_given"
  "a folder that cannot be made gives the message|before_file|me|$tmp/a file/Ventholm|1|cannot write the station folder $tmp/a file/Ventholm: .*Not a directory|Copied|after_nothing_made"
  "a folder the user may not write gives the message|before_readonly|other|$tmp/readonly|1|cannot write the station folder $tmp/readonly: no permission|Copied|after_readonly"
  "a port the user cannot open without dialout says how to fix it|before_port_closed|other|$tmp/port|0|sudo adduser [^ ]+ dialout||after_port"
  "a port the user can open gets no such line|before_port_open|other|$tmp/port|0|Kept $tmp/port/settings.txt|dialout|after_port"
)
for row in "${rows[@]}"; do
  IFS='|' read -r legend before who dir rc match nomatch after <<<"$row"
  if [ "$who" = other ] && [ ${#other[@]} -eq 0 ]; then
    [ "$(id -u)" -eq 0 ] && { echo "SKIPPED: $legend (no setpriv)"; continue; }
    [ "$before" = before_port_closed ] && id -nG | tr ' ' '\n' | grep -qx dialout \
      && { echo "SKIPPED: $legend (you are in dialout)"; continue; }
  fi
  "$before"
  run=("$tmp/root/usr/bin/ventholm" --no-start ${dir:+"$dir"})
  [ "$who" = other ] && run=("${other[@]}" "${run[@]}")
  out="$("${run[@]}" 2>&1)"; got=$?
  check "$legend: exit $got, expected $rc: $out" test "$got" -eq "$rc"
  check "$legend: output matches '$match': $out" grep -qE "$match" <<<"$out"
  [ -z "$nomatch" ] || check "$legend: output does not match '$nomatch': $out" bash -c '! grep -qE "$1" <<<"$2"' _ "$nomatch" "$out"
  check "$legend: the folder afterwards" "$after"
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
