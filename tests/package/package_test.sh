#!/usr/bin/env bash
# The .deb as a user gets it: built by CPack, checked by lintian, desktop-file-validate
# and appstreamcli, unpacked into a throw-away root, and run from there: the installed
# Kavro's getips, and the window started by its menu entry's Exec line as a user who
# may not write the program directory, so it meets the module in a folder of its own.
#
#   package_test.sh BUILD_DIR
set -uo pipefail
BUILD=$(realpath "$1")
passed=0 failed=0
ok()  { echo "ok   $*"; passed=$((passed + 1)); }
bad() { echo "FAIL $*"; failed=$((failed + 1)); }
check() { local name=$1; shift; if "$@" >/dev/null 2>&1; then ok "$name"; else bad "$name"; fi; }

for tool in cpack dpkg-deb; do
  command -v $tool >/dev/null || { echo "skip: $tool is missing"; exit 77; }
done
work=$(mktemp -d /tmp/varneth-package.XXXXXX)
window=
finish() { [ -z "$window" ] || kill "$window" 2>/dev/null; rm -rf "$work"; }
trap finish EXIT

cpack --config "$BUILD/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/out/*.deb)
check "CPack made one .deb" test -f "$deb"
check "its dependencies come from dpkg-shlibdeps" bash -c "dpkg-deb -f '$deb' Depends | grep -q libqt5widgets5"
check "it suggests ufw or firewalld" test "$(dpkg-deb -f "$deb" Suggests)" = "ufw | firewalld"
if command -v lintian >/dev/null; then
  lintian --no-tag-display-limit "$deb" >"$work/lintian.txt" 2>&1
  if grep -q '^E: ' "$work/lintian.txt"; then bad "lintian reports no errors"; cat "$work/lintian.txt"; else ok "lintian reports no errors"; fi
else
  echo "skip lintian: not installed (apt-get install lintian)"
fi

root=$work/root
dpkg-deb -x "$deb" "$root"
desktop=$root/usr/share/applications/org.varneth.Varneth.desktop
if command -v desktop-file-validate >/dev/null; then
  check "desktop-file-validate takes the menu entry" desktop-file-validate "$desktop"
else
  echo "skip desktop-file-validate: not installed (apt-get install desktop-file-utils)"
fi
check "appstreamcli takes the metainfo" appstreamcli validate --no-net "$root/usr/share/metainfo/org.varneth.Varneth.metainfo.xml"
check "the menu entry is the Port Forwarding Tool" grep -qx 'Name=Port Forwarding Tool' "$desktop"
for size in 16 24 32 48 256; do
  check "a ${size}px icon in hicolor" test -s "$root/usr/share/icons/hicolor/${size}x$size/apps/org.varneth.Varneth.png"
done
check "the helper's action names the installed helper" \
  grep -q '>/usr/lib/varneth/kavro-ufw-allow<' "$root/usr/share/polkit-1/actions/org.varneth.kavro.ufw-allow.policy"

# As installed by dpkg: nobody but root may write the program directory.
chmod 755 "$root/usr/lib/varneth"
user=()
if [ "$(id -u)" -eq 0 ]; then user=(setpriv --reuid=nobody --regid=nogroup --clear-groups); chown -R root:root "$root"
else chmod 555 "$root/usr/lib/varneth"; fi
run_dir=$work/run
mkdir -m 700 "$run_dir" && [ ${#user[@]} -eq 0 ] || chown nobody:nogroup "$run_dir"
chmod 711 "$work"

mkdir -m 777 "$work/getips"
printf 'getips\r\n' >"$work/getips/kavro.cmd"
(cd "$work/getips" && "${user[@]}" "$root/usr/lib/varneth/Kavro")
check "the installed Kavro lists the addresses" grep -qE '^[0-9]+(\.[0-9]+){3}' "$work/getips/log.txt"

exec_line=$(sed -n 's/^Exec=//p' "$desktop")
check "the Exec line starts the program in the binary directory" test "$exec_line" = varneth
start=$work/start
mkdir -m 777 "$start"
(cd "$start" && exec env -i HOME=/nonexistent XDG_RUNTIME_DIR="$run_dir" QT_QPA_PLATFORM=offscreen \
   "${user[@]}" "$root/usr/bin/$exec_line" >"$work/window.log" 2>&1) &
window=$!
exchange=$run_dir/varneth
for _ in $(seq 100); do [ -s "$exchange/log.txt" ] && break; sleep 0.1; done
sleep 1
check "the window is still open" kill -0 "$window"
check "it met the module in \$XDG_RUNTIME_DIR/varneth" grep -qE '^[0-9]+(\.[0-9]+){3}' "$exchange/log.txt"
check "  a folder of the user's own, mode 0700" test "$(stat -c %a "$exchange")" = 700
check "  sent it getips there" grep -q '^getips' "$exchange/kavro.cmd"
check "nothing was left in the program directory" test -z "$(ls "$root/usr/lib/varneth" | grep -vE '^(Kavro|Varneth|kavro-ufw-allow|vr.ico|chronometer_outline_5In_icon.ico)$')"
check "nor in the start directory" test -z "$(ls -A "$start")"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
