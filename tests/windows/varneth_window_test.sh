#!/usr/bin/env bash
# Varneth.exe under Wine and Xvfb, black box, with the real Kavro.exe beside it on the
# gateway lab: clicks and keys through xdotool, texts read back through the clipboard
# (a message box copies its text on Ctrl+C).
# usage: varneth_window_test.sh CASE VARNETH_EXE KAVRO_EXE LAB
set -euo pipefail
case_name=$1 VARNETH=$2 KAVRO=$3 lab=$4
. "$(dirname "$0")/wine_test_lib.sh"
# On the gateway lab's client, 10.77.0.2.
[ "$(ip netns identify $$ 2>/dev/null)" = "$("$lab" ns lan)" ] || skip "not in the gateway lab's client namespace"
[ -n "${DISPLAY:-}" ] || skip "no display (scripts/test-windows starts Xvfb)"
for tool in xdotool xclip; do command -v $tool >/dev/null || skip "$tool is not installed"; done

# Points inside the controls, in window coordinates.
spin_up=(33 57) ip_edit=(110 62) port_edit=(220 62) tcp_box=(267 48) udp_box=(267 86) forward_button=(90 97)

# The program folder as installed, and another folder the user starts it from, with
# the user's own files of the exchange's names, which the window must leave alone.
program=$work/program start=$work/start
mkdir "$program" "$start"
cp "$VARNETH" "$KAVRO" "$(dirname "$VARNETH")"/*.ico "$program"

# The waits below have no clock of their own: Wine is slow on a busy machine, and a wait
# that never ends is ended by the test's deadline (ctest's timeout). Each says on standard
# error what it waits for, which ctest shows when the test fails.

# wait_window NAME [OTHER_THAN]: the id of a visible window with exactly this title, but
# not OTHER_THAN. Every box bears the main window's title.
wait_window() {
  local id
  echo "waiting for the window \"$1\"" >&2
  until id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | grep -vxF "${2:-none}" | head -n 1) &&
        [ -n "$id" ]; do
    sleep 0.2
  done
  echo "$id"
}

# windows_shown: the ids of every visible window, a menu's too, sorted.
windows_shown() { xdotool search --onlyvisible --class '' 2>/dev/null | sort || true; }

# close_window ID TITLE KEY: presses the key in that window until it is gone.
close_window() {
  echo "closing the window \"$2\" with $3" >&2
  while xdotool search --onlyvisible --name "^$2\$" 2>/dev/null | grep -qxF "$1"; do
    xdotool windowfocus "$1" key "$3" 2>/dev/null || true
    sleep 0.3
  done
}

click() { xdotool mousemove --window "$window" "$1" "$2" click 1; sleep 0.3; }

# copied PATTERN KEYS...: presses the keys until the clipboard holds a line matching
# PATTERN (Wine may not have focused a new window yet: with $focus set, that window is
# given the focus before each try); prints it all.
copied() {
  local pattern=$1 text= said=; shift
  until grep -qE "$pattern" <<<"$text"; do
    xdotool ${focus:+windowfocus "$focus"} key "$@"
    sleep 0.3
    text=$(xclip -o -selection clipboard 2>/dev/null | tr -d '\r') || true
    [ "$text" = "$said" ] || { echo "waiting for a copy matching $pattern; the clipboard holds: $text" >&2; said=$text; }
  done
  printf '%s\n' "$text"
}

# expect_edit ADDRESS: the IP edit shows exactly this address.
expect_edit() {
  click "${ip_edit[@]}"
  local text; text=$(copied "^${1//./\\.}\$" ctrl+a ctrl+c)
  [ "$text" = "$1" ] || fail "the IP edit shows \"$text\", not $1"
}

# start_window: Varneth.exe started from the start folder, the user's files of the
# exchange's names in it; sets window and window_pid.
start_window() {
  printf 'mine\r\n' | tee "$start/kavro.cmd" >"$start/log.txt"
  (cd "$start" && exec wine "$program/Varneth.exe" >"$work/window.txt" 2>&1 </dev/null) &
  window_pid=$!
  cleanup_steps+=("kill $window_pid 2>/dev/null")
  window=$(wait_window "Brask's Port Forwarding Tool")
}

stop_window() { kill "$window_pid"; wait "$window_pid" 2>/dev/null || true; }

# A forward of TCP and UDP made from the form, then right-click on a caption, the menu's first entry: the
# dialog lists both protocols of the port, to the client, as its copied rows show. What
# Kavro.exe does with other answers of the gateway is the end-to-end table's (its Wine rows).
open_ports_lists_the_forward() {
  local port box dialog text protocol
  port=$(( 20000 + (RANDOM * 32768 + RANDOM) % 40000 )) # one no earlier run of the same Wine prefix used
  start_window
  # Addresses as Wine's ipconfig lists them, loopback first; the client's is next.
  expect_edit 127.0.0.1
  click "${spin_up[@]}"
  expect_edit 10.77.0.2
  click "${tcp_box[@]}"
  click "${udp_box[@]}"
  click "${port_edit[@]}"
  xdotool key ctrl+a type "$port"
  click "${forward_button[@]}"
  box=$(wait_window "Brask's Port Forwarding Tool" "$window")
  xdotool mousemove --window "$box" 20 20
  # The copy starts with a line of dashes.
  text=$(focus=$box copied '^-+$' ctrl+c)
  close_window "$box" "Brask's Port Forwarding Tool" Return
  grep -qxF "Port forward success!" <<<"$text" || fail "port $port: the box says: $text"
  # The box gone, the window has the keys again; the menu opens where it was clicked, as a
  # window of its own.
  local shown; shown=$(windows_shown)
  xdotool mousemove --window "$window" 100 40 click 3
  echo "waiting for the context menu" >&2
  until [ -n "$(comm -13 <(printf '%s\n' "$shown") <(windows_shown))" ]; do sleep 0.2; done
  xdotool key Down Return
  # On Windows a dialog's own title is followed by the program's name.
  local title="Open ports - Brask's Port Forwarding Tool"
  dialog=$(wait_window "$title")
  # The copied rows: a line each, the columns tab-separated.
  local t=$'\t'
  text=$(focus=$dialog copied "^UDP$t$port$t" ctrl+a ctrl+c)
  for protocol in TCP UDP; do
    grep -qE "^$protocol$t$port${t}10\.77\.0\.2$t" <<<"$text" || fail "the dialog lacks $protocol $port to 10.77.0.2: $text"
  done
  close_window "$dialog" "$title" Escape
  for file in kavro.cmd log.txt; do
    printf 'mine\r\n' | cmp -s - "$start/$file" || fail "the start folder's $file is not as it was: $(od -c "$start/$file")"
  done
  stop_window
}

# uninstall_refused WHILE: the uninstaller, run silently as Windows runs it, ends with status 2 and removes nothing.
uninstall_refused() {
  local status=0
  wine "$work/un.exe" /S "_?=$(winepath -w "$program")" </dev/null >>"$work/setup.txt" 2>&1 || status=$?
  [ "$status" = 2 ] && [ -e "$program/Varneth.exe" ] && [ -e "$program/Kavro.exe" ] ||
    fail "the uninstaller ended with status $status while $1"
}

# The setup beside the programs, run silently in the test's prefix: the window of the copy it installed shows,
# once the address exchange (in that copy's folder) is done; the uninstaller refuses while
# it is open, and while that copy's Kavro.exe hangs (stopped), and removes everything once neither runs.
installed_by_the_setup() {
  local setup link entry='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Varneth' kavro_pid
  setup=$(ls "$(dirname "$VARNETH")"/../varneth-*-setup.exe 2>/dev/null) || skip "no setup (makensis) beside the programs"
  program=$(winepath -u 'C:\users\'"$(id -un)"'\AppData\Local\Programs\Varneth')
  link="$(winepath -u 'C:\users\'"$(id -un)"'\AppData\Roaming\Microsoft\Windows\Start Menu\Programs')/Port Forwarding Tool.lnk"
  cleanup_steps+=("rm -rf '$program' '$link'; wine reg delete '$entry' /f >/dev/null 2>&1")
  # Outputs to a file: a program Wine starts for them (the desktop) may hold them open.
  wine "$setup" /S </dev/null >"$work/setup.txt" 2>&1 || fail "the setup ended with status $?"
  start_window
  [ "$(tr -d '\r' <"$program/log.txt" | head -n 1)" = 127.0.0.1 ] || fail "no address exchange in the installed folder"
  cp "$program/Uninstall.exe" "$work/un.exe"
  uninstall_refused "the window was open"
  stop_window
  (cd "$work" && exec wine "$program/Kavro.exe" >/dev/null 2>&1 </dev/null) &
  kavro_pid=$!
  cleanup_steps+=("kill -KILL $kavro_pid 2>/dev/null")
  # Stopped once Wine has loaded it, before it can end.
  until grep -q Kavro.exe "/proc/$kavro_pid/maps" 2>/dev/null; do sleep 0.01; done
  kill -STOP "$kavro_pid"
  uninstall_refused "Kavro.exe ran"
  kill -KILL "$kavro_pid"
  wait "$kavro_pid" 2>/dev/null || true
  wine "$work/un.exe" /S "_?=$(winepath -w "$program")" </dev/null >>"$work/setup.txt" 2>&1 ||
    fail "the uninstaller ended with status $?"
  [ ! -e "$program" ] && [ ! -e "$link" ] && ! wine reg query "$entry" >/dev/null 2>&1 ||
    fail "the uninstaller left the folder, the shortcut or the entry: $(ls -A "$program" 2>&1)"
}

"$case_name"
echo "ok: $case_name"
