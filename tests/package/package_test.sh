#!/usr/bin/env bash
# The .deb as a user gets it: built by CPack, checked by lintian and the desktop
# validators, unpacked into a throw-away root and run from there: the installed Kavro's
# getips, the command line on the PATH without a display, and the window started by its
# menu entry's Exec line as a user who may not write the program directory, so it meets
# the module in a folder of its own; and the renewal timer every user's manager starts,
# which systemd takes as it is.
#
#   package_test.sh BUILD_DIR
set -uo pipefail
BUILD=$(realpath "$1")
failed=0
check() { local name=$1; shift; if "$@" >/dev/null 2>&1; then echo "ok   $name"; else echo "FAIL $name"; failed=1; fi; }

command -v cpack >/dev/null && command -v dpkg-deb >/dev/null || { echo "skip: cpack or dpkg-deb is missing"; exit 77; }
work=$(mktemp -d /tmp/varneth-package.XXXXXX) window=
trap '[ -z "$window" ] || kill "$window" 2>/dev/null; rm -rf "$work"' EXIT

cpack --config "$BUILD/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/out/*.deb)
if command -v lintian >/dev/null; then
  check "lintian reports no errors or warnings" bash -c "! lintian --tag-display-limit 0 '$deb' | grep -E '^[EW]: '"
fi
root=$work/root lib=$work/root/usr/lib/varneth
dpkg-deb -x "$deb" "$root"
check "desktop-file-validate takes the menu entry" desktop-file-validate "$root/usr/share/applications/org.varneth.Varneth.desktop"
check "appstreamcli takes the metainfo" appstreamcli validate --no-net "$root/usr/share/metainfo/org.varneth.Varneth.metainfo.xml"
check "the helper's action names the installed helper" \
  grep -q '>/usr/lib/varneth/kavro-ufw-allow<' "$root/usr/share/polkit-1/actions/org.varneth.kavro.ufw-allow.policy"

units=$root/usr/lib/systemd/user
check "the renewal timer is wanted by every user's timers.target" \
  test "$(readlink "$units/timers.target.wants/varneth-renew.timer")" = ../varneth-renew.timer
# systemd looks for the command on this machine: the copies it verifies name the unpacked one.
if command -v systemd-analyze >/dev/null; then
  mkdir -m 700 "$work/units" "$work/manager"
  cp "$units/varneth-renew.timer" "$work/units/"
  sed "s|^ExecStart=|ExecStart=$root|" "$units/varneth-renew.service" >"$work/units/varneth-renew.service"
  # It warns of a line it cannot parse, and ignores it, yet answers 0.
  verified() { local said; said=$(XDG_RUNTIME_DIR="$work/manager" systemd-analyze --user verify "$@" 2>&1) && [ -z "$said" ]; }
  check "  systemd-analyze verifies the timer and its service, without a warning" \
    verified "$work/units/varneth-renew.timer" "$work/units/varneth-renew.service"
fi

# As installed by dpkg: nobody but root may write the program directory.
chmod 755 "$lib"
user=()
if [ "$(id -u)" -eq 0 ]; then user=(setpriv --reuid=nobody --regid=nogroup --clear-groups); chown -R root:root "$root"
else chmod 555 "$lib"; fi
mkdir -m 700 "$work/run" "$work/start" && chmod 777 "$work/start" && chmod 711 "$work"
[ ${#user[@]} -eq 0 ] || chown nobody:nogroup "$work/run"

mkdir -m 1777 "$work/tmp"
(cd "$work/start" && env -i HOME=/nonexistent TMPDIR="$work/tmp" "${user[@]}" "$root/usr/bin/varneth" addresses \
   >"$work/cli.out" 2>&1)
check "the command line on the PATH lists the addresses, without a display" grep -qE '^[0-9]+(\.[0-9]+){3}$' "$work/cli.out"

exec_line=$(sed -n 's/^Exec=//p' "$root/usr/share/applications/org.varneth.Varneth.desktop")
(cd "$work/start" && exec env -i HOME=/nonexistent XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=offscreen \
   "${user[@]}" "$root/usr/bin/$exec_line" >"$work/window.log" 2>&1) &
window=$!
exchange=$work/run/varneth
# Its start-up exchange, however long a busy machine takes (ctest's timeout ends a window
# that never makes one); then a second more, in which a window that ends would have.
until [ -s "$exchange/log.txt" ] || ! kill -0 "$window" 2>/dev/null; do sleep 0.1; done
sleep 1
check "the window, started by its menu entry, is still open" kill -0 "$window"
check "it met the module in \$XDG_RUNTIME_DIR/varneth" grep -qE '^[0-9]+(\.[0-9]+){3}' "$exchange/log.txt"
check "nothing was left in the program directory" test -z "$(ls "$lib" | grep -vE '^(Kavro|Varneth|kavro-ufw-allow|vr.ico|chronometer_outline_5In_icon.ico)$')"
exit $failed
