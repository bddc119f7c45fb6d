# Shared by the firewall's end-to-end scripts: checks that count, a Kavro run, a
# listener on the lab host, a probe from the peer, and what the machine's own
# firewall looks like.

PYTHON=/usr/bin/python3
passed=0 failed=0

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
ok()   { echo "ok   $*"; passed=$((passed + 1)); }
bad()  { echo "FAIL $*"; failed=$((failed + 1)); }

# check NAME CMD...: CMD must succeed
check() { local name=$1; shift; if "$@" >/dev/null 2>&1; then ok "$name"; else bad "$name"; fi; }

# expect NAME REGEX CMD...: some line of CMD's output must match REGEX
# expect_not NAME TEXT CMD...: no line of CMD's output may hold TEXT
expect()     { output_matches "$1" 0 -E "${@:2}"; }
expect_not() { output_matches "$1" 1 -F "${@:2}"; }
output_matches() {
  local name=$1 want=$2 how=$3 pattern=$4 out; shift 4
  out=$("$@" 2>&1)
  grep -q "$how" -- "$pattern" <<<"$out"
  if [ $? -eq "$want" ]; then ok "$name"; else bad "$name"; sed 's/^/     | /' <<<"$out" | tail -n 6; fi
}

summary() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}

# run_kavro WORK ADDRESS PORT CMD...: one run of $KAVRO through CMD (e.g. "fw-lab exec")
# in WORK, forwarding TCP and UDP (FLAGS="TRUE FALSE" for TCP alone); sets result (the
# first line of its log.txt), last_status and last_run_ms.
run_kavro() {
  local work=$1 address=$2 port=$3 started flags; shift 3
  read -r -a flags <<<"${FLAGS:-TRUE TRUE}"
  rm -f "$work/log.txt"
  printf 'kavro\n%s\n%s\n%s\n%s\n' "$address" "$port" "${flags[0]}" "${flags[1]}" >"$work/kavro.cmd"
  started=$(now_ms)
  (cd "$work" && "$@" "$KAVRO" >"$work/stdout.txt" 2>"$work/stderr.txt")
  last_status=$?
  last_run_ms=$(( $(now_ms) - started ))
  result=$(head -n 1 "$work/log.txt" 2>/dev/null)
}

# Answers "hello-tcp" to a TCP connection and "hello-udp" to a datagram on PORT, for
# two minutes at most.
LISTENER='
import select, socket, sys, time
port = int(sys.argv[1])
tcp = socket.socket(); tcp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
tcp.bind(("", port)); tcp.listen()
udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); udp.bind(("", port))
print("listening", flush=True)
end = time.time() + 120
while time.time() < end:
    ready, _, _ = select.select([tcp, udp], [], [], 1)
    for s in ready:
        if s is tcp:
            c, _ = tcp.accept(); c.sendall(b"hello-tcp\n"); c.close()
        else:
            _, peer = udp.recvfrom(512); udp.sendto(b"hello-udp\n", peer)
'

# What the peer gets from PROTO HOST PORT: the listener's answer, or "blocked: ..."
PROBE='
import socket, sys
proto, host, port = sys.argv[1], sys.argv[2], int(sys.argv[3])
try:
    if proto == "tcp":
        s = socket.create_connection((host, port), timeout=1.5)
        print(s.recv(64).decode().strip())
    else:
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.settimeout(1.5)
        s.sendto(b"ping", (host, port)); print(s.recvfrom(64)[0].decode().strip())
except OSError as e:
    print("blocked:", type(e).__name__)
'

# start_listener CMD... PORT: runs the listener through CMD (e.g. "fw-lab exec") in the
# background and waits until it listens; the lab's "down" ends it.
start_listener() {
  local port=${*: -1} fifo
  fifo=$(mktemp -u /tmp/kavro-listener.XXXXXX)
  mkfifo "$fifo"
  "${@:1:$#-1}" "$PYTHON" -c "$LISTENER" "$port" >"$fifo" 2>&1 &
  local line; read -r -t 5 line <"$fifo"; rm -f "$fifo"
  [ "$line" = listening ] || { echo "FAIL listener did not start: $line"; return 1; }
}

# The machine's own firewall rules and firewall configuration, to compare.
machine_firewall_state() {
  if command -v nft >/dev/null; then nft list ruleset 2>&1; else iptables-save 2>&1 | grep -v '^#'; fi
  find /etc/ufw /etc/default/ufw /etc/firewalld -type f -exec sha256sum {} + 2>/dev/null | sort
}

# none_running PID...: every PID gone (or a zombie waiting to be reaped)
none_running() {
  local pid
  for pid in "$@"; do
    [ -e "/proc/$pid" ] && ! grep -q '^State:[[:space:]]*Z' "/proc/$pid/status" 2>/dev/null && return 1
  done
  return 0
}
