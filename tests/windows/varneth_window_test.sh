#!/usr/bin/env bash
# Varneth.exe under Wine and Xvfb, black box, with the real Kavro.exe beside it on the
# gateway lab: clicks and keys through xdotool, texts read back through the clipboard
# (a message box copies its text on Ctrl+C). Runs in the lab's client namespace, where
# scripts/test-windows starts Xvfb and Wine's services; skipped anywhere else.
# usage: varneth_window_test.sh CASE VARNETH_EXE KAVRO_EXE IGD_LAB
set -euo pipefail
case_name=$1 VARNETH=$2 KAVRO=$3 lab=$4
. "$(dirname "$0")/wine_test_lib.sh"

client_ns=$("$lab" ns lan)
[ "$(ip netns identify $$ 2>/dev/null)" = "$client_ns" ] || skip "not in the gateway lab's client namespace ($client_ns)"
[ -n "${DISPLAY:-}" ] || skip "no display (scripts/test-windows starts Xvfb)"
for tool in xdotool xclip upnpc; do command -v $tool >/dev/null || skip "$tool is not installed"; done

title="Brask's Port Forwarding Tool"
client=10.77.0.2
# Points inside the controls, in window coordinates: the form's places, below the tool bar.
spin_up=(33 57) ip_edit=(110 62) port_edit=(220 62) tcp_box=(267 48) udp_box=(267 86) forward_button=(90 97)

# The program folder as installed, and another folder the user starts it from.
program=$work/program start=$work/start
mkdir "$program" "$start"
cp "$VARNETH" "$KAVRO" "$(dirname "$VARNETH")"/*.ico "$program"

# wait_window NAME: the id of the window with exactly this title, within 20 s.
wait_window() {
  local id i
  for i in $(seq 100); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1) && [ -n "$id" ] && { echo "$id"; return; }
    sleep 0.2
  done
  fail "no window \"$1\""
}

click() { xdotool mousemove --window "$window" "$2" "$3" click 1; sleep 0.3; }   # click WHAT X Y

# copied PATTERN KEYS...: presses the keys until the clipboard holds a line matching
# PATTERN, for at most 6 s (Wine may not have focused a new window yet: with $focus set,
# that window is given the focus before each try); prints it all.
copied() {
  local pattern=$1 text i; shift
  for i in $(seq 20); do
    xdotool ${focus:+windowfocus "$focus"} key "$@"
    sleep 0.3
    text=$(xclip -o -selection clipboard 2>/dev/null | tr -d '\r') || true
    grep -qE "$pattern" <<<"$text" && break
  done
  printf '%s\n' "$text"
}

# expect_edit X Y ADDRESS: the line edit at X Y shows exactly this address.
expect_edit() {
  click edit "$1" "$2"
  local text; text=$(copied "^${3//./\\.}\$" ctrl+a ctrl+c)
  [ "$text" = "$3" ] || fail "the IP edit shows \"$text\", not $3"
}

start_window() {
  # The user's own files of these names, which the window must leave alone.
  printf 'mine\r\n' | tee "$start/kavro.cmd" >"$start/log.txt"
  (cd "$start" && exec wine "$program/Varneth.exe" >"$work/window.txt" 2>&1 </dev/null) &
  window_pid=$!
  cleanup_steps+=("kill $window_pid 2>/dev/null")
  window=$(wait_window "$title")
  local geometry; geometry=$(xdotool getwindowgeometry "$window" | awk '/Geometry/ {print $2}')
  [ "$geometry" = 337x139 ] || fail "window is $geometry, not 337x139"
  # The start-up exchange ran beside the program, through Wine's ipconfig, which lists
  # the namespace's addresses, loopback first.
  expect_bytes "$program/kavro.cmd" $'getips\r\n'
  expect_bytes "$program/log.txt" "$(ip -4 -o addr show | awk '{sub(/\/.*/, "", $4); print $4}' | crlf_lines)"$'\n'
  start_folder_untouched
  expect_edit "${ip_edit[@]}" 127.0.0.1
  click spin "${spin_up[@]}"
  expect_edit "${ip_edit[@]}" $client
}

start_folder_untouched() {
  expect_bytes "$start/kavro.cmd" $'mine\r\n'
  expect_bytes "$start/log.txt" $'mine\r\n'
}

# forward PORT: ticks both protocols, types the port, presses Forward; prints the box's text.
forward() {
  click tcp "${tcp_box[@]}"
  click udp "${udp_box[@]}"
  click port "${port_edit[@]}"
  xdotool key ctrl+a type "$1"
  click forward "${forward_button[@]}"
  local box; box=$(wait_window Varneth)
  # The copy starts with a line of dashes.
  xdotool mousemove --window "$box" 20 20
  focus=$box copied '^-+$' ctrl+c
  xdotool key Return
}

# Rows: port, the line the outcome box must show, the protocols the gateway then holds.
forwards_from_the_window() {
  local fresh=$(( 20000 + (RANDOM * 32768 + RANDOM) % 40000 ))
  local row port line held text protocol listing
  for row in "$fresh|Port forward success!|TCP UDP" "6666|Invalid IP|"; do
    IFS='|' read -r port line held <<<"$row"
    rm -f "$start"/* "$program"/{kavro.cmd,log.txt}
    start_window
    text=$(forward "$port")
    grep -qxF "$line" <<<"$text" || fail "port $port: the box says: $text"
    expect_bytes "$program/kavro.cmd" "kavro"$'\r\n'"$client"$'\r\n'"$port"$'\r\nTRUE\r\nTRUE\r\n'
    start_folder_untouched
    listing=$(upnpc -l 2>&1) || fail "upnpc -l failed: $listing"
    for protocol in TCP UDP; do
      if [[ " $held " == *" $protocol "* ]]; then
        grep -qF "$protocol $port->$client:$port 'HLMX $port $protocol'" <<<"$listing" ||
          fail "gateway lacks $protocol $port:"$'\n'"$listing"
      else
        ! grep -qE "$protocol $port->" <<<"$listing" || fail "gateway holds $protocol $port:"$'\n'"$listing"
      fi
    done
    kill "$window_pid"
    wait "$window_pid" 2>/dev/null || true
    echo "port $port: \"$line\""
  done
}

module_error_ends_the_window_with_status_1() {
  # No temporary folder, so no address capture: the module answers ERROR.
  local status=0
  (cd "$start" && wine cmd /c "set TEMP=C:\\nowhere&& start /wait $(winepath -w "$program/Varneth.exe")" \
     </dev/null >"$work/window.txt" 2>&1) || status=$?
  expect_bytes "$program/log.txt" $'ERROR\r\n'
  [ "$status" -eq 1 ] || fail "exit status $status, not 1"
}

"$case_name"
echo "ok: $case_name"
