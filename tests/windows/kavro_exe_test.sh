#!/usr/bin/env bash
# Kavro.exe under Wine, black box, run as the window runs it: no arguments, in a
# folder holding the command file, the result file compared byte for byte.
# usage: kavro_exe_test.sh resources|exchange KAVRO_EXE LAB OBJDUMP HANGING_NAT_DLL [PROGRAM_EXE...]
#        kavro_exe_test.sh forward KAVRO_EXE LAB OBJDUMP HANGING_NAT_DLL STANDIN_FIREWALL_DLL
#        kavro_exe_test.sh renewal_task KAVRO_EXE LAB OBJDUMP HANGING_NAT_DLL RENEWAL_TASK_PROBE_EXE
#        kavro_exe_test.sh lasting KAVRO_EXE LAB OBJDUMP HANGING_NAT_DLL RENEWAL_TASK_PROBE_EXE STANDIN_FIREWALL_DLL
#        kavro_exe_test.sh console KAVRO_EXE LAB OBJDUMP HANGING_NAT_DLL VARNETH_COM VARNETH_EXE
set -euo pipefail
case_name=$1 KAVRO=$2 lab=$3 objdump=$4 hanging_nat=$5
shift 5
. "$(dirname "$0")/wine_test_lib.sh"

# expect COMMAND RESULT [SHELL_PREFIX]: one run ("-": no command file); log.txt then
# holds RESULT. With a prefix, the run goes through the command shell after it.
expect() {
  rm -f "$work/log.txt" "$work/kavro.cmd"
  [ "$1" = - ] || printf '%s' "$1" >"$work/kavro.cmd"
  (cd "$work" && if [ -n "${3:-}" ]; then wine cmd /c "$3$(winepath -w "$KAVRO")"; else wine "$KAVRO"; fi) \
    </dev/null >"$work/console.txt" 2>&1 || fail "wine Kavro.exe exited with $?"
  expect_bytes "$work/log.txt" "$2" "after ${1@Q}${3:+ through \"$3\"}"
}

# Each program (Kavro, KavroBackground, Varneth) carries an icon group (resource type
# 14) and, where the loader looks (type 24, number 1), a manifest that runs it with the
# caller's rights.
resources() {
  local program table
  for program in "$KAVRO" "$@"; do
    table=$("$objdump" -p "$program" | grep -A2 -E '^[0-9a-f]+   Entry: ID: 0x0000(0e|18),')
    grep -q 'ID: 0x00000e,' <<<"$table" || fail "$program: no icon group"
    grep -A2 'ID: 0x000018,' <<<"$table" | grep -q '     Entry: ID: 0x000001,' || fail "$program: no manifest"
    grep -aq 'level="asInvoker"' "$program" || fail "$program: the manifest asks for other rights"
  done
}

exchange() {
  local addresses command capture
  # Wine's ipconfig lists the namespace's addresses, loopback first, as ip does.
  addresses=$(ip -4 -o addr show | awk '{sub(/\/.*/, "", $4); printf "%s\r\n", $4}')$'\n'
  capture=$(windows_folder TEMP '\ip_c.tmp')
  expect - $'1\r\n'
  for command in $'getips\r\n' $'getips\r\nkavro\r\n10.77.0.2\r\n' getips; do expect "$command" "$addresses"; done
  # A capture that fails is ERROR, never an earlier run's addresses: no ipconfig on
  # the PATH, or an earlier capture left read-only, which cannot be replaced.
  expect $'getips\r\n' $'ERROR\r\n' 'set PATH=C:\nowhere&& '
  printf '    IPv4 address. . . . . . . . . . . : 6.6.6.6\r\n' >"$capture"
  chmod a-w "$capture"
  cleanup_steps+=("rm -f '$capture'")
  expect $'getips\r\n' $'ERROR\r\n'
}

# A UPnP gateway at 10.77.0.5, a LAN address that is not the default gateway's (an
# address of the gateway's own namespace: multicast does not reach the second client's).
rogue_gateway() {
  "$lab" exec gw ip addr add 10.77.0.5/24 dev br-lan
  "$lab" exec gw python3 "$(dirname "$0")/../labs/fake_gateway.py" --address 10.77.0.1 --ssdp-from 10.77.0.5 \
    >"$work/rogue.txt" &
  rogue=$!
  cleanup_steps=("kill $rogue 2>/dev/null; '$lab' exec gw ip addr del 10.77.0.5/24 dev br-lan 2>/dev/null" "${cleanup_steps[@]}")
  for _ in $(seq 50); do grep -q ready "$work/rogue.txt" 2>/dev/null && return; sleep 0.1; done
  fail "the rogue gateway did not start"
}
stop_rogue() {
  kill "$rogue"; wait "$rogue" 2>/dev/null || true
  "$lab" exec gw ip addr del 10.77.0.5/24 dev br-lan
  grep -q AddPortMapping "$work/rogue.txt" || fail "the system's object did not map at the rogue gateway"
}

# peer_reaches6 PORT: whether the WAN peer connects over IPv6 to the client's PORT and
# to the one after it, both listened on here: "yes no" when only PORT is let in. The
# first connection may wait for the gateway to find the client on the link.
peer_reaches6() {
  local listener answer
  python3 -c 'import socket, sys, time
kept = []
for p in (int(sys.argv[1]), int(sys.argv[1]) + 1):
    s = socket.socket(socket.AF_INET6); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("::", p)); s.listen(); kept.append(s)
print("listening", flush=True); time.sleep(5)' "$1" >"$work/listener.txt" &
  listener=$!
  for _ in $(seq 50); do grep -q listening "$work/listener.txt" 2>/dev/null && break; sleep 0.1; done
  answer=$("$lab" exec wan python3 -c 'import socket, sys
for p in (int(sys.argv[1]), int(sys.argv[1]) + 1):
    c = socket.socket(socket.AF_INET6); c.settimeout(3 if p == int(sys.argv[1]) else 1)
    print("yes" if c.connect_ex(("2001:db8:77::2", p)) == 0 else "no")' "$1" | paste -sd' ')
  kill "$listener"; wait "$listener" 2>/dev/null || true
  echo "$answer"
}

# One table on the lab's gateway, which refuses port 6666. Each row: its name; the
# gateway's daemon options ("-": none); what else it does first (the system's object
# unregistered or hanging, PCP dropped, a rogue gateway on the LAN, the stand-in
# firewall on, its entries for the port checked after, or refusing every entry); port
# (fresh: a new one), TCP, UDP, the sixth line (empty: none); the result; the protocols
# the gateway then forwards to the client, and those its IPv6 firewall lets in to the
# client's global address; what the output must say (pieces joined by ";"; ">>" first:
# in a headline line; where it says reachable over IPv6, the WAN peer must connect
# there), and must not ("!" first); the seconds the run may take at most.
forward() {
  in_lab
  local standin=$1 firewall=$work/firewall.txt
  local name daemon setup port tcp udp six result held holes said most started seconds piece protocol number
  while IFS='|' read -r name daemon setup port tcp udp six result held holes said most; do
    [ -n "$name" ] || continue
    [ "$port" != fresh ] || port=$(fresh_port)
    if [ "$daemon" = - ]; then "$lab" stop-daemon >/dev/null; else "$lab" start-daemon $daemon >/dev/null; fi
    case $setup in
      unregistered) unregister_nat ;;
      hanging) register_server "$nat_key" "$hanging_nat" ;;   # never hands out its collection
      pcp-dropped) "$lab" exec gw nft "add table inet drop_5351; add chain inet drop_5351 input { type filter hook input priority -10; }; add rule inet drop_5351 input udp dport 5351 @th,64,8 2 drop" ;;
      rogue) rogue_gateway ;;
      standin|standin-refuses)
        register_standin_firewall "$standin" "$firewall"
        # A file that cannot be written: every entry refused.
        [ "$setup" = standin ] || KAVRO_STANDIN_FIREWALL+='\missing\firewall.txt' ;;
    esac
    started=$(date +%s.%N)
    expect "kavro"$'\r\n10.77.0.2\r\n'"$port"$'\r\n'"$tcp"$'\r\n'"$udp"$'\r\n'"${six:+$six$'\r\n'}" "$result"$'\r\n'
    seconds=$(awk -v from="$started" -v to="$(date +%s.%N)" 'BEGIN { printf "%.2f", to - from }')
    case $setup in
      unregistered|hanging) restore_nat ;;
      pcp-dropped) "$lab" exec gw nft delete table inet drop_5351 ;;
      rogue) stop_rogue ;;
      standin|standin-refuses) restore_firewall ;;
    esac
    expect_held "$port" "$held"
    expect_pinholes "$port" "$holes"
    if [ "$setup" = standin ]; then
      for protocol in $held $holes; do
        number=17; [ $protocol = UDP ] || number=6
        grep -qx "$port $number HLMX $port $protocol" "$firewall" ||
          fail "$name: the firewall holds no entry for $protocol $port: $(cat "$firewall")"
      done
    fi
    if [[ $said == *'>>Reachable over IPv6'* ]]; then
      piece=$(peer_reaches6 "$port")
      [ "$piece" = "yes no" ] || fail "$name: the WAN peer reaches port $port and the next over IPv6: $piece, not yes no"
    fi
    expect_said "$name" "$work/console.txt" "$said"
    awk -v took="$seconds" -v most="$most" 'BEGIN { exit !(took < most) }' || fail "$name: took $seconds s, not under $most s"
    echo "ok: $name, $seconds s"
  done <<'ROWS'
the system's object maps, read back by our client|||fresh|TRUE|TRUE||0|TCP UDP||The gateway keeps TCP {port};The gateway keeps UDP {port};>>Port {port} is kept open: renewed every;>>closes by itself within 7 days;>>This machine can also be reached over IPv6;!passed over|9
the system's object unregistered: our client over UPnP||unregistered|fresh|TRUE|TRUE||0|TCP UDP||passed over (it is not registered on this machine);answered (UPnP IGD v2); its external address is 11.77.0.1;>>Port {port} is kept open: renewed every hour|9
the system's object hangs: our client by 9 s||hanging|fresh|TRUE|TRUE||0|TCP UDP||passed over (it did not answer within 4 s);>>Port {port} is kept open: renewed every hour|9
the system's object finds no gateway: PCP|natpmp no-upnp||fresh|TRUE|TRUE||0|TCP UDP||passed over (it found no UPnP Internet gateway);answered (PCP);>>Port {port} is kept open: renewed every hour|9
UPnP off, PCP dropped: NAT-PMP|natpmp no-upnp|pcp-dropped|fresh|TRUE|TRUE||0|TCP UDP||answered (NAT-PMP);>>Port {port} is kept open: renewed every hour|9
a rogue gateway on the LAN is not believed|natpmp no-upnp|rogue|fresh|TRUE|TRUE||0|TCP UDP||cannot be read back: the default gateway does not answer UPnP;answered (PCP);>>is kept open: renewed every hour|9
nothing answers|-||fresh|TRUE|TRUE||Invalid IP|||passed over;>>No router on this network answered. Turn on UPnP or NAT-PMP in the router's settings.|9
a port the gateway refuses|||6666|TRUE|TRUE||Invalid IP|||The gateway refused TCP 6666;>>port 6666|9
IPv6 asked: pinholes beside the mappings and the firewall's entries, the WAN peer connects||standin|fresh|TRUE|TRUE|TRUE|0|TCP UDP|TCP UDP|The firewall now lets TCP {port} in;>>Port {port} is kept open;>>Reachable over IPv6 at [2001:db8:77::2]:{port};!can also be reached|9
IPv6 instead: the gateway has no public IPv4 address, the firewall's entries made for the pinholes|cgnat|standin|fresh|TRUE|TRUE|TRUE|Invalid IP||TCP UDP|>>The router has no Internet address;>>Reachable over IPv6 at [2001:db8:77::2]:{port}|9
IPv6 asked, the gateway's IPv6 side off: one sentence|no-ipv6||fresh|TRUE|FALSE|TRUE|0|TCP||>>The router could not be reached over IPv6, so port {port} was not opened there.|9
IPv6 asked, the firewall refuses the port: not called reachable over IPv6||standin-refuses|fresh|TRUE|FALSE|TRUE|Firewall initialized well, but failed to open ports on it.|TCP|TCP|>>keeps it closed there;>>(the firewall did not let TCP {port} in;!Reachable over IPv6|9
a port past 65535 is never sent|||70000|TRUE|FALSE||Invalid IP|||TCP 70000 was not asked for;>>Port 70000 cannot be opened: a port is a number from 1 to 65535.|9
ROWS
  "$lab" start-daemon >/dev/null
}

# task_shown PROBE: the renewal task's definition as the scheduler gives it back, or "absent".
task_shown() { wine "$1" show </dev/null 2>&1 | tr -d '\r'; }

# The renewal task, as the record's writes keep it: registered while anything is
# recorded and read back from the scheduler on its own (ITaskFolder::GetTask), and gone
# once nothing is. Wine keeps a task's name, description and settings, but drops its
# triggers, action and principal, and never starts a task at logon, on resume or on a
# schedule: so the command the task is given is started here by hand, in its folder.
renewal_task() {
  local probe=$1 task folder
  show() { task_shown "$probe"; }
  follow() {
    wine "$probe" follow "$1" </dev/null >"$work/console.txt" 2>&1 || fail "the probe exited with $?"
    ! grep -q '^>> ' "$work/console.txt" || fail "follow $1 told: $(cat "$work/console.txt")"
  }
  follow 0
  [ "$(show)" = absent ] || fail "a task was there before anything was recorded: $(show)"

  follow 1
  task=$(show)
  for piece in '<Description>Keeps the ports opened with the Port Forwarding Tool open on the router.</Description>' \
               '<MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>' '<StartWhenAvailable>true</StartWhenAvailable>' \
               '<ExecutionTimeLimit>PT1M</ExecutionTimeLimit>'; do
    grep -qF "$piece" <<<"$task" || fail "no $piece in:"$'\n'"$task"
  done
  folder=$(windows_folder LOCALAPPDATA '\Varneth\renew')
  expect_bytes "$folder/kavro.cmd" $'renew\r\n' "the task's command file"
  follow 1
  [ "$(show)" = "$task" ] || fail "a second record write changed the task"

  # The task's command, by hand: Kavro runs in the task's folder, on its command file.
  printf 'getips\r\n' >"$folder/kavro.cmd"
  rm -f "$folder/log.txt"
  (cd "$folder" && wine "$(dirname "$probe")/KavroBackground.exe" </dev/null) || fail "KavroBackground.exe exited with $?"
  grep -qE '^[0-9]+(\.[0-9]+){3}' "$folder/log.txt" || fail "KavroBackground.exe did not run Kavro in its folder"
  follow 1
  expect_bytes "$folder/kavro.cmd" $'renew\r\n' "the command file put back"

  follow 0
  [ "$(show)" = absent ] || fail "the task stayed after the record emptied: $(show)"

  # Without KavroBackground.exe beside it, no task is registered and the user is told.
  cp "$probe" "$work/"
  wine "$work/$(basename "$probe")" follow 1 </dev/null >"$work/console.txt" 2>&1
  grep -q '^>> Forwards made here will not be kept open: KavroBackground.exe is missing' "$work/console.txt" ||
    fail "no headline for a missing KavroBackground.exe: $(cat "$work/console.txt")"
  [ "$(show)" = absent ] || fail "a task was registered for a missing program"
}

# Forwards kept open, listed and closed, one step a row on the state the rows before
# left: the record of forwards (its entries as "PROTOCOL PORT HOW"), the stand-in
# firewall's entries ("PORT PROTOCOL-NUMBER NAME"; Wine's own is off and keeps none),
# the renewal task, and what the gateway forwards. Each row: its name; the gateway first
# ("-": as it is, else restarted with these options: "forget" without its mappings,
# "cgnat" with no public IPv4 address); what else first, words of
# them (the system's object unregistered, the record's hourly checks made due, a
# firewall entry dropped or replaced by one of another name); the command ("task": the
# renewal task's own command, KavroBackground.exe in the task's folder on its "renew");
# the lines log.txt then holds, as patterns; what the gateway forwards ("PORT:PROTOCOLS",
# ","-separated; "[PORT]:PROTOCOLS" its IPv6 pinholes); the record (a pinhole's entry
# ends in "IPv6"); the firewall; the task; what the output says (as in the forward
# table). {p} and {q} are two fresh ports.
lasting() {
  in_lab
  local probe=$1 standin=$2 local_data record folder firewall p q name gateway setup command result held recorded
  local entries_now task said lines piece word
  local_data=$(windows_folder LOCALAPPDATA '\Varneth')
  record=$local_data/forwards folder=$local_data/renew firewall=$work/firewall.txt
  rm -f "$record"
  wine "$probe" follow 0 </dev/null >/dev/null 2>&1
  register_standin_firewall "$standin" "$firewall"
  "$lab" start-daemon forget >/dev/null
  p=$(fresh_port); q=$(( p + 1 ))
  fill() { local text=${1//\{p\}/$p}; printf '%s' "${text//\{q\}/$q}"; }
  entries() { [ -e "$record" ] && awk -F'\t' '$1 == "mapping" { for (i = 2; i <= NF; ++i) { split($i, f, "="); v[f[1]] = f[2] }
    print v["protocol"], v["external-port"], v["how"] (v["family"] == "IPv6" ? " IPv6" : "") }' "$record" |
    LC_ALL=C sort | paste -sd, || true; }
  while IFS='|' read -r name gateway setup command result held recorded entries_now task said; do
    [ -n "$name" ] || continue
    case $gateway in ''|-) ;; *) "$lab" start-daemon $gateway >/dev/null ;; esac
    for word in $(fill "$setup"); do
      case $word in
        unregistered) unregister_nat ;;
        unchecked) sed -i 's/\tchecked=[0-9]*/\tchecked=1000/' "$record" ;;
        drop:*) word=${word#drop:} && sed -i "/^${word/\// } /d" "$firewall" ;;
        rename:*) word=${word#rename:} && sed -i "s/^\(${word/\// }\) .*/\1 An administrator's entry/" "$firewall" ;;
      esac
    done
    if [ "$command" = task ]; then
      rm -f "$folder/log.txt"
      (cd "$folder" && wine "$(dirname "$KAVRO")/KavroBackground.exe" </dev/null >"$work/console.txt" 2>&1) ||
        fail "$name: KavroBackground.exe exited with $?"
      lines=$folder/log.txt
    else
      rm -f "$work/log.txt"
      fill "${command// /$'\r\n'}"$'\r\n' >"$work/kavro.cmd"
      (cd "$work" && wine "$KAVRO") </dev/null >"$work/console.txt" 2>&1 || fail "$name: Kavro.exe exited with $?"
      lines=$work/log.txt
    fi
    [[ " $setup " != *" unregistered "* ]] || restore_nat
    IFS=';' read -ra result <<<"$(fill "$result")"
    [ "$(grep -c '' "$lines")" = "${#result[@]}" ] || fail "$name: log.txt is not ${#result[@]} lines: $(cat "$lines")"
    for piece in "${result[@]}"; do
      tr -d '\r' <"$lines" | grep -qE "^$piece\$" || fail "$name: no line $piece in log.txt: $(cat "$lines")"
    done
    IFS=',' read -ra held <<<"$(fill "$held")"
    for piece in "${held[@]}"; do
      case $piece in
        '['*) word=${piece%%:*} && word=${word#[} && expect_pinholes "${word%]}" "${piece#*:}" ;;
        *) expect_held "${piece%%:*}" "${piece#*:}" ;;
      esac
    done
    [ "$(entries)" = "$(fill "$recorded")" ] || fail "$name: the record holds $(entries), not $(fill "$recorded")"
    # The gateway is known by its link-layer address too, read from Windows' neighbour table.
    ! grep '^mapping' "$record" | grep -qvE $'\tgateway-link=([0-9a-f]{2}:){5}[0-9a-f]{2}(\t|$)' ||
      fail "$name: an entry lacks the gateway's link-layer address: $(cat "$record")"
    [ "$(LC_ALL=C sort "$firewall" | paste -sd,)" = "$(fill "$entries_now")" ] ||
      fail "$name: the firewall holds $(LC_ALL=C sort "$firewall" | paste -sd,), not $(fill "$entries_now")"
    piece=$(task_shown "$probe")
    { [ "$task" = absent ] && [ "$piece" = absent ]; } || { [ "$task" = present ] && grep -q '^<' <<<"$piece"; } ||
      fail "$name: the task is not $task: $piece"
    expect_said "$name" "$work/console.txt" "$(fill "$said")"
    echo "ok: $name"
  done <<'ROWS'
the system's object maps: recorded as its, the task registered|||kavro 10.77.0.2 {p} TRUE TRUE|0|{p}:TCP UDP|TCP {p} system,UDP {p} system|{p} 17 HLMX {p} UDP,{p} 6 HLMX {p} TCP|present|>>Port {p} is kept open: renewed every;>>closes by itself within 7 days
our client maps: recorded beside|-|unregistered|kavro 10.77.0.2 {q} TRUE FALSE|0|{p}:TCP UDP,{q}:TCP|TCP {p} system,TCP {q} UPnP,UDP {p} system|{p} 17 HLMX {p} UDP,{p} 6 HLMX {p} TCP,{q} 6 HLMX {q} TCP|present|>>Port {q} is kept open: renewed every hour
list: both, kept open, made here, with their firewall entries|-||list|TCP	{p}	10.77.0.2	{p}	IPv4	system	[0-9]+	yes	yes	yes	HLMX {p} TCP;UDP	{p}	10.77.0.2	{p}	IPv4	system	[0-9]+	yes	yes	yes	HLMX {p} UDP;TCP	{q}	10.77.0.2	{q}	IPv4	UPnP	7[12][0-9][0-9]	yes	yes	yes	HLMX {q} TCP|{p}:TCP UDP,{q}:TCP|TCP {p} system,TCP {q} UPnP,UDP {p} system|{p} 17 HLMX {p} UDP,{p} 6 HLMX {p} TCP,{q} 6 HLMX {q} TCP|present|
the task's command after the gateway forgot: all three back|forget|unchecked|task|0|{p}:TCP UDP,{q}:TCP|TCP {p} system,TCP {q} UPnP,UDP {p} system|{p} 17 HLMX {p} UDP,{p} 6 HLMX {p} TCP,{q} 6 HLMX {q} TCP|present|
the task's command: a firewall entry gone is told, not made again|-|drop:{q}/6|task|The firewall entry "HLMX {q} TCP" that let port {q} in is gone, so the firewall may block it. Forward the port again to open it.|{p}:TCP UDP,{q}:TCP|TCP {p} system,TCP {q} UPnP,UDP {p} system|{p} 17 HLMX {p} UDP,{p} 6 HLMX {p} TCP|present|
close the system's: an entry of another name for the port stays|-|rename:{p}/6|close 10.77.0.2 {p} TRUE TRUE|0|{p}:,{q}:TCP|TCP {q} UPnP|{p} 6 An administrator's entry|present|TCP {p} to 10.77.0.2 (system) closed;The firewall holds no entry "HLMX {p} TCP" for TCP {p}; any other entry stays.;The firewall no longer lets UDP {p} in
the last close: the task gone|-||close 10.77.0.2 {q} TRUE FALSE|0|{q}:||{p} 6 An administrator's entry|absent|TCP {q} to 10.77.0.2 (UPnP) closed
IPv6 asked: the pinholes recorded beside the mappings|-||kavro 10.77.0.2 {q} TRUE TRUE TRUE|0|{q}:TCP UDP,[{q}]:TCP UDP|TCP {q} UPnP IPv6,TCP {q} system,UDP {q} UPnP IPv6,UDP {q} system|{p} 6 An administrator's entry,{q} 17 HLMX {q} UDP,{q} 6 HLMX {q} TCP|present|>>Reachable over IPv6 at [2001:db8:77::2]:{q}
the task's command after the gateway forgot: the pinholes opened again|forget|unchecked|task|0|{q}:TCP UDP,[{q}]:TCP UDP|TCP {q} UPnP IPv6,TCP {q} system,UDP {q} UPnP IPv6,UDP {q} system|{p} 6 An administrator's entry,{q} 17 HLMX {q} UDP,{q} 6 HLMX {q} TCP|present|
close: the pinholes with the forward|-||close 10.77.0.2 {q} TRUE TRUE|0|{q}:,[{q}]:||{p} 6 An administrator's entry|absent|TCP {q} to 2001:db8:77::2 (UPnP, IPv6 pinhole) closed
IPv6 instead: the pinholes recorded with the firewall's entries made for them|cgnat||kavro 10.77.0.2 {q} TRUE TRUE TRUE|Invalid IP|{q}:,[{q}]:TCP UDP|TCP {q} UPnP IPv6,UDP {q} UPnP IPv6|{p} 6 An administrator's entry,{q} 17 HLMX {q} UDP,{q} 6 HLMX {q} TCP|present|>>Reachable over IPv6 at [2001:db8:77::2]:{q}
close: the pinholes and their firewall entries|-||close 10.77.0.2 {q} TRUE TRUE|0|{q}:,[{q}]:||{p} 6 An administrator's entry|absent|The firewall no longer lets TCP {q} in
ROWS
  "$lab" start-daemon >/dev/null
}

# The command line, varneth.com, typed as "varneth" in cmd in a folder that also holds
# Varneth.exe: cmd finds the console program first and waits for it, as its exit status
# shows (read with delayed expansion: cmd expands %ERRORLEVEL% when it reads the line,
# before the program ran). Each row: the arguments; the status; what its output says (as
# in the forward table); what the gateway then forwards of the port. {p} is a fresh port.
console() {
  in_lab
  local program=$work/program p arguments status said held output
  mkdir "$program"
  cp "$KAVRO" "$(dirname "$KAVRO")/KavroBackground.exe" "$1" "$2" "$program"
  p=$(fresh_port)
  while IFS='|' read -r arguments status said held; do
    [ -n "$arguments" ] || continue
    # cmd ends with the status it echoed: echo leaves it as it was.
    output=$(cd "$program" && env -u DISPLAY wine cmd /v:on /c "varneth ${arguments//\{p\}/$p} & echo status !ERRORLEVEL!" \
               </dev/null 2>&1 | tr -d '\r') || true
    printf '%s\n' "$output" >"$work/console.txt"
    port=$p expect_said "varneth $arguments" "$work/console.txt" "$said"
    [ "$(tail -n 1 "$work/console.txt")" = "status $status" ] || fail "varneth $arguments: not status $status: $output"
    [ -z "$held" ] || expect_held "$p" "$held"
    echo "ok: varneth $arguments"
  done <<'ROWS'
forward 10.77.0.2 {p}|0|Port forward success!;Reachable at 11.77.0.1:{port};Port {port} is kept open|TCP UDP
list --tab|0|TCP	{port}	10.77.0.2	{port}	IPv4;UDP	{port}	10.77.0.2	{port}	IPv4|
close 10.77.0.2 {p} --udp|0|Port {port} to 10.77.0.2 is closed (UDP).|TCP
close --all|0|Every port this tool opened for you is closed.|-
forward 10.77.0.2 0|2|The port must be a number from 1 to 65535.|
ROWS
  [ -z "$(ls "$program" | grep -vxiE 'kavro.exe|kavrobackground.exe|varneth.com|varneth.exe')" ] ||
    fail "left in the program folder: $(ls "$program")"
}

"$case_name" "$@"
echo "ok: $case_name"
