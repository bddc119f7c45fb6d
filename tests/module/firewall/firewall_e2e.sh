#!/usr/bin/env bash
# End to end: Kavro's forward against a real ufw or firewalld in the firewall lab. A
# well-behaved stand-in gateway in the peer, the host's default route, maps every
# port, so the result line is the firewall's share of the outcome; once it is gone,
# a forward must leave the firewall alone.
#
#   firewall_e2e.sh ufw|firewalld KAVRO FW_LAB
set -uo pipefail
MODE=$1 KAVRO=$(realpath "$2") LAB=$(realpath "$3")
export KAVRO_LAB_PREFIX=${KAVRO_LAB_PREFIX:-kavro-fw-$MODE}
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/e2e_support.sh"

"$LAB" check "$MODE" || exit $?

PORT=18093           # opened by root
DENIED_PORT=18094    # asked for by a user without rights
UNMAPPED_PORT=18096  # asked for with no gateway
GATEWAY=$HERE/../../labs/hostile-gateway/hostile_gateway.py
HOST_IP=10.199.0.1
ADMIN_TEXT="Failed to initialize firewall. Try running with proper admin privileges."

work=$(mktemp -d /tmp/kavro-fw-e2e.XXXXXX)
chmod 777 "$work"     # the run without rights writes its log.txt here too
machine_before=$(machine_firewall_state)
lab_up=0
finish() {
  [ "$lab_up" = 1 ] && "$LAB" down >/dev/null 2>&1
  rm -rf "$work"
}
trap finish EXIT

"$LAB" up "$MODE" || { echo "FAIL lab did not come up"; exit 1; }
lab_up=1
eval "$("$LAB" env)"

# start_gateway: the stand-in gateway in the peer, and the host's route through it.
start_gateway() {
  local fifo line; fifo=$(mktemp -u /tmp/kavro-gateway.XXXXXX)
  mkfifo "$fifo"
  "$LAB" peer "$PYTHON" "$GATEWAY" --mode good --address "$FW_LAB_PEER_IP" >"$fifo" 2>&1 &
  gateway_pid=$!
  read -r -t 5 line <"$fifo"; rm -f "$fifo"
  [ "$line" = ready ] && "$LAB" exec ip route replace default via "$FW_LAB_PEER_IP"
}
start_gateway || { echo "FAIL the stand-in gateway did not start"; exit 1; }

# the firewall's own list of what it lets in, from the lab host
listed() {
  if [ "$MODE" = ufw ]; then
    "$LAB" exec ufw show added | grep -v '^Added user rules'
  else
    echo "runtime: $("$LAB" exec firewall-cmd --list-ports)"
    echo "permanent: $("$LAB" exec firewall-cmd --permanent --list-ports)"
  fi
}
# what the peer gets from PROTO $PORT on the lab host
probe() { "$LAB" peer "$PYTHON" -c "$PROBE" "$1" "$HOST_IP" "$PORT"; }

echo "# $MODE: before the forward"
start_listener "$LAB" exec "$PORT"
for proto in tcp udp; do expect "${proto^^} $PORT blocked from the peer" '^blocked' probe $proto; done
expect_not "the firewall does not list $PORT" "$PORT" listed

echo "# $MODE: Kavro forwards $PORT as root"
run_kavro "$work" "$HOST_IP" "$PORT" "$LAB" exec
check "result line is 0" test "$result" = 0
check "run took under the front end's 10 s (${last_run_ms} ms)" test "$last_run_ms" -lt 10000
check "Kavro exited with status 0" test "$last_status" = 0
for proto in tcp udp; do
  if [ "$MODE" = ufw ]; then
    expect "ufw allows $PORT/$proto under the mapping's name" "^ufw allow $PORT/$proto comment 'HLMX $PORT ${proto^^}'\$" listed
  else
    expect "firewalld opens $PORT/$proto now" "^runtime: .*$PORT/$proto" listed
    expect "  and in the permanent configuration" "^permanent: .*$PORT/$proto" listed
  fi
  expect "${proto^^} $PORT reaches the listener from the peer" "^hello-$proto\$" probe $proto
done

echo "# $MODE: a second forward of the same port"
rules_before=$(listed)
run_kavro "$work" "$HOST_IP" "$PORT" "$LAB" exec
check "result line again 0" test "$result" = 0
check "standard error says the port is open already" grep -q "^The firewall already lets TCP $PORT in.\$" "$work/stderr.txt"
check "the firewall's rules are unchanged" test "$(listed)" = "$rules_before"

if [ "$MODE" = firewalld ]; then
  "$LAB" exec firewall-cmd --reload >/dev/null
  expect "after a reload the port is still open" "^runtime: .*$PORT/tcp" listed
  expect "TCP $PORT still reaches the listener" '^hello-tcp$' probe tcp
fi

echo "# $MODE: no gateway: the firewall is left alone"
kill "$gateway_pid"; wait "$gateway_pid" 2>/dev/null
rules_before=$(listed)
run_kavro "$work" "$HOST_IP" "$UNMAPPED_PORT" "$LAB" exec
check "result line is the gateway's failure" test "$result" = "Invalid IP"
check "the firewall's rules are unchanged" test "$(listed)" = "$rules_before"
expect_not "$UNMAPPED_PORT is not listed" "$UNMAPPED_PORT" listed

echo "# $MODE: Kavro without rights"
rules_before=$(listed)
run_kavro "$work" "$HOST_IP" "$DENIED_PORT" "$LAB" exec setpriv --reuid=nobody --regid=nogroup --clear-groups
check "result line asks for admin rights" test "$result" = "$ADMIN_TEXT"
check "Kavro exited with status 0" test "$last_status" = 0
check "the firewall's rules are unchanged" test "$(listed)" = "$rules_before"
expect_not "$DENIED_PORT is not listed" "$DENIED_PORT" listed
check "the refusal's reason is on standard error" grep -q '^firewall: ' "$work/stderr.txt"
check "and not among the diagnostics on standard output" bash -c "! grep -q '^firewall:' '$work/stdout.txt'"

echo "# $MODE: taking the lab down"
lab_pids=$("$LAB" pids)
"$LAB" down >/dev/null
lab_up=0
check "the lab's namespaces are gone" bash -c "! ip netns list | grep -qE '^$KAVRO_LAB_PREFIX-fw-(host|peer)( |\$)'"
check "its state directory is gone" test ! -e "$FW_LAB_STATE"
check "no mount of the lab is left" bash -c "! grep -qF '$FW_LAB_STATE' /proc/self/mountinfo"
check "none of its processes runs" none_running $lab_pids
check "the machine's own firewall and /etc are as before" test "$(machine_firewall_state)" = "$machine_before"

summary
