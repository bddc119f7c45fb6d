#!/usr/bin/env bash
# End to end with a real gateway: ufw active on the gateway lab's client, where
# Kavro forwards TCP and UDP. With ufw on, the gateway's unicast answer to a
# multicast search is dropped, so this also shows that the module finds the gateway
# where a plain multicast search does not.
#
#   firewall_gateway_e2e.sh KAVRO FW_LAB IGD_LAB
set -uo pipefail
KAVRO=$(realpath "$1") FW_LAB=$(realpath "$2") IGD_LAB=$3
export KAVRO_LAB_PREFIX=${KAVRO_LAB_PREFIX:-kavro-fwgw}
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/e2e_support.sh"

[ -x "$IGD_LAB" ] || { echo "skip: no gateway lab at $IGD_LAB" >&2; exit 77; }
IGD_LAB=$(realpath "$IGD_LAB")
"$IGD_LAB" check || exit $?
"$FW_LAB" check ufw || exit $?

PORT=18095
CLIENT_IP=10.77.0.2 GATEWAY_IP=10.77.0.1
ROOT_URL=http://$GATEWAY_IP:5000/rootDesc.xml

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
KAVRO_FW_LAB_NETNS=$CLIENT_NS "$FW_LAB" up ufw || { echo "FAIL firewall lab did not come up in $CLIENT_NS"; exit 1; }
fw_up=1
fw() { KAVRO_FW_LAB_NETNS=$CLIENT_NS "$FW_LAB" "$@"; }

echo "# ufw active on the gateway's client $CLIENT_NS"
expect "ufw is active there" '^Status: active' fw exec ufw status
expect "a multicast search finds no gateway through ufw" 'No IGD UPnP Device found|No valid UPNP Internet Gateway Device found' \
  fw exec timeout 10 upnpc -s
expect "the gateway answers a direct request" 'ExternalIPAddress = ' fw exec timeout 10 upnpc -u "$ROOT_URL" -s

echo "# Kavro forwards $PORT TCP and UDP"
run_kavro "$work" "$CLIENT_IP" "$PORT" fw exec
check "result line is 0" test "$result" = 0
check "run took under the front end's 10 s (${last_run_ms} ms)" test "$last_run_ms" -lt 10000
[ "$result" = 0 ] || sed 's/^/     | /' "$work/stdout.txt" "$work/stderr.txt" | tail -n 12
mappings() { fw exec timeout 10 upnpc -u "$ROOT_URL" -l; }
for proto in TCP UDP; do
  expect "the gateway holds the $proto mapping" "$proto +$PORT->$CLIENT_IP:$PORT +'HLMX $PORT $proto'" mappings
  expect "ufw allows $PORT/${proto,,}" "^ufw allow $PORT/${proto,,} comment 'HLMX $PORT $proto'\$" fw exec ufw show added
done

echo "# taking the firewall lab down"
fw down >/dev/null
fw_up=0
check "the ruleset of $CLIENT_NS is as before" test "$(client_rules)" = "$client_rules_before"
check "  with no ufw chain in it" bash -c "! ip netns exec '$CLIENT_NS' iptables-save | grep -q ufw"
check "the client namespace itself is left to the gateway lab" test -e "/run/netns/$CLIENT_NS"

summary
