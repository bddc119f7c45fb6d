#!/usr/bin/env bash
# End to end with a real gateway: ufw or firewalld active on the gateway lab's client,
# where Kavro forwards TCP and UDP, and the gateway, where mapped traffic comes from,
# as the peer whose connections show what the firewall lets in. With the firewall on, the gateway's unicast answer to
# a multicast search is dropped, so this also shows that the module finds the gateway
# where a plain multicast search does not.
#
#   firewall_gateway_e2e.sh ufw|firewalld KAVRO FW_LAB IGD_LAB
set -uo pipefail
MODE=$1 KAVRO=$(realpath "$2") FW_LAB=$(realpath "$3") IGD_LAB=$4
export KAVRO_LAB_PREFIX=${KAVRO_LAB_PREFIX:-kavro-fwgw-$MODE}
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/e2e_support.sh"

[ -x "$IGD_LAB" ] || { echo "skip: no gateway lab at $IGD_LAB" >&2; exit 77; }
IGD_LAB=$(realpath "$IGD_LAB")
"$IGD_LAB" check || exit $?
"$FW_LAB" check "$MODE" || exit $?

PORT=18095
DENIED_PORT=18096   # ufw: the administrator denies it first
ZONE_PORT=18097     # firewalld: the client's interface is bound to another zone than the default
CLIENT_IP=10.77.0.2 GATEWAY_IP=10.77.0.1
ROOT_URL=http://$GATEWAY_IP:5000/rootDesc.xml
NOT_OPENED_TEXT="Firewall initialized well, but failed to open ports on it."

work=$(mktemp -d /tmp/kavro-fwgw-e2e.XXXXXX)
igd_up=0 fw_up=0
finish() {
  [ "$fw_up" = 1 ] && "$FW_LAB" down >/dev/null 2>&1
  [ "$igd_up" = 1 ] && "$IGD_LAB" down >/dev/null 2>&1
  rm -rf "$work"
}
trap finish EXIT

"$IGD_LAB" up >/dev/null || { echo "FAIL gateway lab did not come up"; exit 1; }
igd_up=1
CLIENT_NS=$("$IGD_LAB" ns lan)
client_rules() { ip netns exec "$CLIENT_NS" nft list ruleset; }
client_rules_before=$(client_rules)
KAVRO_FW_LAB_NETNS=$CLIENT_NS "$FW_LAB" up "$MODE" || { echo "FAIL firewall lab did not come up in $CLIENT_NS"; exit 1; }
fw_up=1
fw() { KAVRO_FW_LAB_NETNS=$CLIENT_NS "$FW_LAB" "$@"; }

# the firewall's own list of what it lets in, in ZONE for firewalld
listed() {
  if [ "$MODE" = ufw ]; then
    fw exec ufw show added | grep -v '^Added user rules'
  else
    echo "runtime: $(fw exec firewall-cmd ${1:+--zone=$1} --list-ports)"
    echo "permanent: $(fw exec firewall-cmd --permanent ${1:+--zone=$1} --list-ports)"
  fi
}
# what the gateway gets from PROTO PORT on the client
probe() { "$IGD_LAB" exec-ns gw "$PYTHON" -c "$PROBE" "$1" "$CLIENT_IP" "$2"; }

echo "# $MODE active on the gateway's client $CLIENT_NS"
if [ "$MODE" = ufw ]; then
  expect "ufw is active there" '^Status: active' fw exec ufw status
else
  expect "firewalld runs there" '^running$' fw exec firewall-cmd --state
fi
expect "a multicast search finds no gateway through $MODE" 'No IGD UPnP Device found|No valid UPNP Internet Gateway Device found' \
  fw exec timeout 10 upnpc -s
expect "the gateway answers a direct request" 'ExternalIPAddress = ' fw exec timeout 10 upnpc -u "$ROOT_URL" -s

echo "# Kavro forwards $PORT TCP and UDP"
start_listener fw exec "$PORT"
run_kavro "$work" "$CLIENT_IP" "$PORT" fw exec
check "result line is 0" test "$result" = 0
check "run took under the front end's 10 s (${last_run_ms} ms)" test "$last_run_ms" -lt 10000
[ "$result" = 0 ] || sed 's/^/     | /' "$work/stdout.txt" "$work/stderr.txt" | tail -n 12
mappings() { fw exec timeout 10 upnpc -u "$ROOT_URL" -l; }
for proto in TCP UDP; do
  expect "the gateway holds the $proto mapping" "$proto +$PORT->$CLIENT_IP:$PORT +'HLMX $PORT $proto'" mappings
  if [ "$MODE" = ufw ]; then
    expect "ufw allows $PORT/${proto,,}" "^ufw allow $PORT/${proto,,} comment 'HLMX $PORT $proto'\$" listed
  else
    expect "firewalld opens $PORT/${proto,,} now" "^runtime: .*$PORT/${proto,,}" listed
    expect "  and in the permanent configuration" "^permanent: .*$PORT/${proto,,}" listed
  fi
  expect "$proto $PORT reaches the listener from the peer" "^hello-${proto,,}\$" probe ${proto,,} "$PORT"
done

if [ "$MODE" = ufw ]; then
  echo "# an administrator's deny of $DENIED_PORT comes before Kavro's allow"
  fw exec ufw deny "$DENIED_PORT" >/dev/null
  start_listener fw exec "$DENIED_PORT"
  for proto in tcp udp; do expect "${proto^^} $DENIED_PORT blocked from the peer" '^blocked' probe $proto "$DENIED_PORT"; done
  run_kavro "$work" "$CLIENT_IP" "$DENIED_PORT" fw exec
  check "result line says the port was not opened" test "$result" = "$NOT_OPENED_TEXT"
  check "the reason is on standard error" grep -q "^firewall: ufw's rule \"deny $DENIED_PORT/any\" comes first and stands: $DENIED_PORT/tcp not opened\$" "$work/stderr.txt"
  expect_not "ufw holds no allow of $DENIED_PORT" "allow $DENIED_PORT" listed
  for proto in tcp udp; do expect "${proto^^} $DENIED_PORT still blocked from the peer" '^blocked' probe $proto "$DENIED_PORT"; done

  echo "# a deny of $DENIED_PORT/tcp alone, Kavro forwards TCP"
  fw exec ufw --force delete deny "$DENIED_PORT" >/dev/null
  fw exec ufw deny "$DENIED_PORT/tcp" >/dev/null
  FLAGS="TRUE FALSE" run_kavro "$work" "$CLIENT_IP" "$DENIED_PORT" fw exec
  check "result line says the port was not opened" test "$result" = "$NOT_OPENED_TEXT"
  expect_not "ufw holds no allow of $DENIED_PORT" "allow $DENIED_PORT" listed
  expect "TCP $DENIED_PORT still blocked from the peer" '^blocked' probe tcp "$DENIED_PORT"
else
  echo "# the client's interface bound to zone internal, the default zone public"
  fw exec firewall-cmd --zone=internal --change-interface=lan0 >/dev/null
  expect "lan0 is in zone internal" '^internal$' fw exec firewall-cmd --get-zone-of-interface=lan0
  expect "the default zone is public" '^public$' fw exec firewall-cmd --get-default-zone
  start_listener fw exec "$ZONE_PORT"
  for proto in tcp udp; do expect "${proto^^} $ZONE_PORT blocked from the peer" '^blocked' probe $proto "$ZONE_PORT"; done
  run_kavro "$work" "$CLIENT_IP" "$ZONE_PORT" fw exec
  check "result line is 0" test "$result" = 0
  for proto in tcp udp; do
    expect "zone internal opens $ZONE_PORT/$proto now" "^runtime: .*$ZONE_PORT/$proto" listed internal
    expect "  and in its permanent configuration" "^permanent: .*$ZONE_PORT/$proto" listed internal
    expect "${proto^^} $ZONE_PORT reaches the listener from the peer" "^hello-$proto\$" probe $proto "$ZONE_PORT"
  done
  expect_not "zone public is left alone" "$ZONE_PORT" listed public
fi

echo "# taking the firewall lab down"
fw down >/dev/null
fw_up=0
check "the ruleset of $CLIENT_NS is as before" test "$(client_rules)" = "$client_rules_before"
check "  with no $MODE chain in it" bash -c "! ip netns exec '$CLIENT_NS' iptables-save | grep -qE 'ufw|firewalld'"
check "the client namespace itself is left to the gateway lab" test -e "/run/netns/$CLIENT_NS"

summary
