#!/usr/bin/env bash
# Kavro.exe under Wine, end to end: Wine's NAT UPnP object finds the gateway lab's
# miniupnpd by SSDP and adds the mappings. Runs in the lab's client namespace, where
# scripts/test-windows starts Wine's services; skipped anywhere else.
# usage: forward_e2e_test.sh CASE KAVRO_EXE LAB   (KAVRO_LAB_PREFIX names the lab)
set -euo pipefail
case_name=$1 KAVRO=$2 lab=$3
. "$(dirname "$0")/wine_test_lib.sh"

# The window waits this long for the module before it reads the result.
window_wait_ms=10000

client_ns=$("$lab" ns lan)
[ "$(ip netns identify $$ 2>/dev/null)" = "$client_ns" ] || skip "not in the gateway lab's client namespace ($client_ns)"
command -v upnpc >/dev/null || skip "upnpc (miniupnpc) is not installed"

# The client's address: the one its default route leaves from.
client_address() {
  local dev; dev=$(ip -4 route show default | awk '{for (i = 1; i < NF; i++) if ($i == "dev") print $(i + 1)}')
  ip -4 -o addr show dev "$dev" scope global | awk '{sub(/\/.*/, "", $4); print $4; exit}'
}

# The first of a few ports no earlier run has mapped; the lab allows 1024-65535.
fresh_ports() { echo $(( 20000 + (RANDOM * 32768 + RANDOM) % 40000 )); }

# forward ADDRESS PORT TCP UDP: one forward run with the window's five CR LF lines.
forward() {
  rm -f "$work/log.txt"
  command_file "kavro"$'\r\n'"$1"$'\r\n'"$2"$'\r\n'"$3"$'\r\n'"$4"$'\r\n'
  run_kavro
  [ "$elapsed_ms" -lt "$window_wait_ms" ] || fail "forward took ${elapsed_ms} ms, past the window's wait"
}

forward_maps_the_selected_protocols() {
  local address; address=$(client_address)
  [ -n "$address" ] || fail "the client namespace has no address"
  # As the window starts: the address list must offer the client's address.
  command_file $'getips\r\n'
  run_kavro
  tr -d '\r' <"$work/log.txt" | grep -qx "$address" || fail "getips does not list $address: $(cat "$work/log.txt")"

  local -A wanted=()
  local flags tcp udp port
  port=$(fresh_ports)
  for flags in "TRUE TRUE" "TRUE FALSE" "FALSE TRUE"; do
    read -r tcp udp <<<"$flags"
    port=$((port + 1))
    forward "$address" "$port" "$tcp" "$udp"
    expect_result $'0\r\n' "forward $port $flags"
    echo "forward $port $flags: ${elapsed_ms} ms"
    wanted[$port]=" ${tcp/TRUE/TCP} ${udp/TRUE/UDP} "
  done

  # What the gateway now holds, asked from the client as any UPnP client would.
  local listing; listing=$(upnpc -l 2>&1) || fail "upnpc -l failed: $listing"
  local protocol
  for port in "${!wanted[@]}"; do
    for protocol in TCP UDP; do
      local line="$protocol $port->$address:$port 'HLMX $port $protocol'"
      if [[ ${wanted[$port]} == *" $protocol "* ]]; then
        grep -qF "$line" <<<"$listing" || fail "gateway lacks \"$line\":"$'\n'"$listing"
      else
        ! grep -qE "$protocol $port->" <<<"$listing" || fail "gateway holds an unasked $protocol $port:"$'\n'"$listing"
      fi
    done
  done
}

forward_without_gateway_reports_an_error() {
  # The lab's network stays, only its UPnP daemon stops; it comes back afterwards.
  cleanup_steps+=("'$lab' start-daemon")
  "$lab" stop-daemon
  local port; port=$(fresh_ports)
  forward "$(client_address)" "$port" TRUE TRUE
  echo "forward without gateway: ${elapsed_ms} ms"
  # No mapping, and Wine's firewall is off, so the text of a failed mapping.
  expect_result $'Invalid IP\r\n'
  grep -q "get_StaticPortMappingCollection succeeded, but left Collection null" "$work/console.txt" ||
    fail "no gateway was not why: $(cat "$work/console.txt")"
}

forward_past_65535_is_never_sent() {
  # A gateway wraps 70000 to 4464; the Windows service would pass it on unchecked.
  forward "$(client_address)" 70000 TRUE FALSE
  expect_result $'Invalid IP\r\n'
  grep -q "TCP 70000 was not asked for: a port is a number from 1 to 65535." "$work/console.txt" ||
    fail "no reason given: $(cat "$work/console.txt")"
  local listing; listing=$(upnpc -l 2>&1) || fail "upnpc -l failed: $listing"
  ! grep -qE "TCP +(70000|4464)->" <<<"$listing" || fail "the gateway holds the port:"$'\n'"$listing"
}

"$case_name"
echo "ok: $case_name"
