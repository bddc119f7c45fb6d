#!/usr/bin/env python3
"""End to end: the built Kavro run as the window runs it (no arguments, in a scratch directory
holding kavro.cmd) on the client of tests/labs/lab, one table row a run: the gateway, firewall,
user and command file, and what must follow (the result, the ports forwarded and let in,
standard error, time, memory, nothing sent elsewhere, and for one row memcheck). Rows with
`cli` run the command line (Varneth beside Kavro, with arguments) instead. Given Kavro.exe, the
rows whose `runs` names wine run under Wine (wine_runner.py).

    kavro_e2e.py KAVRO [ROW-PATTERN]   (KAVRO_LAB_PREFIX names the lab; exit 77: cannot run here)
"""
import glob, ipaddress, os, re, shlex, signal, subprocess, sys, tempfile, time
from dataclasses import dataclass

import wine_runner as wine

HERE = os.path.dirname(os.path.realpath(__file__))
sys.path.insert(0, os.path.join(HERE, "../contract"))
import catalogue
ENTRIES = catalogue.read(os.path.join(HERE, "../../module"))
SENTENCES = {e.id: re.compile(catalogue.pattern(e, ENTRIES)) for e in ENTRIES if e.kind == "SENTENCE"}
# Other programs' lines a run may hold on standard error, each named: Wine's cmd, when the
# ipconfig getips starts is missing.
FOREIGN = re.compile(r"Can't recognize 'ipconfig ?' as an internal or external command, or batch script\.")
TAGS_SEEN = set()
LAB, FAKE = os.path.join(HERE, "../labs/lab"), os.path.join(HERE, "../labs/fake_gateway.py")
CLIENT, CLIENT2, WAN_PEER = "10.77.0.2", "10.77.0.3", "10.78.0.2"
CLIENT6 = "2001:db8:77::2"
MEMORY_MB = 256
# Runs Kavro and writes the largest resident size of it and its children to the file in PEAK.
MEASURE = ("import os, resource, subprocess, sys\nstatus = subprocess.call(sys.argv[1:])\n"
           "open(os.environ['PEAK'], 'w').write(str(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss))\n"
           "sys.exit(status)\n")
MEMCHECK = ["valgrind", "--leak-check=full", "--show-leak-kinds=all", "--errors-for-leak-kinds=definite",
            f"--suppressions={HERE}/valgrind.supp", "--log-file={work}/memcheck.%p"]


@dataclass
class Row:
    name: str
    command: str                # kavro.cmd; "{port}" is the row's own port
    result: list = None         # the lines of log.txt; None: one line, not "0"
    gateway: str = "miniupnpd"  # "miniupnpd [natpmp] [no-upnp]", none, or fake_gateway.py options
    firewall: str = "none"
    user: str = "root"
    held: str = ""              # protocols the gateway forwards to the client (PROTOCOL@ADDRESS: elsewhere) after
    opened: str = ""            # protocols the firewall lets in afterwards (firewalld: also permanently)
    stderr: tuple = ()          # what standard error says (its lines as people read them), each piece somewhere;
                                # a list: its pieces in this order
    headline: tuple = ()        # what its headline lines (">>[id] ") say, each piece in one of them
    unsaid: tuple = ()          # what standard error never says, its headline lines included
    stdout: tuple = ()          # what standard output (the developers' diagnostic lines) says, each piece somewhere
    ids: tuple = ()             # the ids its tagged lines carry, each in one
    seconds: float = 10
    setup: str = ""             # shell on the client in the scratch directory $W (Kavro: $K, the lab: $LAB), before the run
    after: str = ""             # shell there that must succeed afterwards
    outside: bool = False       # a gateway at the WAN peer hears nothing
    asked: int = None           # AddPortMapping requests the fake gets
    fake_on: str = "gw"         # where the fake gateway runs
    zone: str = ""              # firewalld's zone to look in
    drop: str = None            # the gateway drops what matches this among datagrams to its UDP 5351
    memcheck: bool = False      # under valgrind memcheck
    signal: int = 0             # sent to Kavro 1 s in (then no result); SIGSTOP: then SIGKILL at `seconds`
    lan2: str = ""              # shell on the second client, before the run
    env: str = ""               # more of Kavro's environment, "NAME=VALUE ..."; $W is the scratch directory
    prepare: str = ""           # shell on the client before kavro.cmd is written: `forward PORT TCP UDP [ADDRESS [IPV6]]`
                                # runs Kavro's forward, `record SED-SCRIPT` edits the record of forwards
    fresh: bool = False         # the gateway restarted before `lan2` and `prepare`: it holds no mapping
    restart: str = None         # the gateway restarted after `prepare` with these lab options ("forget": its
                                # mappings forgotten; "other-device": another UDN)
    listed: tuple = None        # patterns log.txt's lines match, as many lines as patterns, in any order
    pinholes: str = ""          # protocols the gateway's IPv6 firewall lets in, to the client's global address; None: not looked at
    peer6: bool = None          # True: the WAN peer connects over IPv6 to the port, and not to the port after
                                # it; False: to neither
    cli: str = None             # the command line runs instead, with these arguments (`command` unused): Varneth
                                # beside Kavro, without a display; its standard output stands for log.txt
    status: int = 0             # the exit status
    runs: str = "linux"         # where: Kavro on the lab's client (linux), Kavro.exe there under Wine (wine)
    windows: str = ""           # under Wine, what wine_runner.py prepares for the row


class WindowsSays(str):
    """A piece of standard error that only Kavro.exe says."""


class OnWindows(str):
    """A piece said as it stands on Linux, and by Kavro.exe as its `windows`."""

    def __new__(cls, linux, windows):
        piece = super().__new__(cls, linux)
        piece.windows = windows
        return piece


def here(piece):
    return piece.windows if RUNNER.name == "wine" and isinstance(piece, OnWindows) else piece


FORWARD = f"kavro\r\n{CLIENT}\r\n{{port}}\r\nTRUE\r\nTRUE\r\n"   # TCP and UDP
FORWARD6 = FORWARD + "TRUE\r\n"   # and over IPv6
GETIPS = "getips\r\n"
NO_ROUTER = "No router on this network answered. Turn on UPnP or NAT-PMP in the router's settings."
NO_ROUTER_LIST = "No router on this network answered, so its open ports cannot be listed."
NOT_OPENED = "Firewall initialized well, but failed to open ports on it."
ADMIN = "Failed to initialize firewall. Try running with proper admin privileges."
NO_DIALOG = "No password dialog runs on this desktop to let you change the firewall."
# The helper run by hand as a user polkit lets, for a port an administrator's rules refuse:
# it opens nothing and tells the caller nothing of the root-only rules.
HELPER_SAYS_NOTHING = ("for p in tcp udp; do rc=0; out=$(setpriv --reuid=kavro-allowed --regid=kavro-allowed "
                       "--clear-groups setsid -w /usr/bin/pkexec --disable-internal-agent "
                       "$(dirname $K)/kavro-ufw-allow {port} $p ipv4 2>&1) || rc=$?; [ $rc = 4 ] && [ -z \"$out\" ]; done")


def kept(rule, shown, families=("", "6")):
    """Shell: an administrator's ufw rule, 'ACTION PROTOCOL PORT', is still in the rules file
    of each family and `ufw status verbose` still shows it there as `shown` (grep -E)."""
    action, protocol, port = rule.split()
    label = port if protocol == "any" else f"{port}/{protocol}"
    return " && ".join(f"grep -qx '### tuple ### {action} {protocol} {port} {anywhere} any {anywhere} in' "
                       f"/etc/ufw/user{family}.rules && ufw status verbose | grep -Eq '^{label}{v6} +{shown}'"
                       for family, anywhere, v6 in (("", "0.0.0.0/0", ""), ("6", "::/0", " \\(v6\\)"))
                       if family in families)


# A root-only file elsewhere, which links planted at kavro.cmd or log.txt point at.
SECRET = "mkdir $W/away; echo getips >$W/away/secret; chmod 600 $W/away/secret"
SECRET_KEPT = "[ \"$(cat $W/away/secret)\" = getips ] && [ \"$(ls $W/away)\" = secret ]"
# Left out of the address list: an interface that is down, one up without a carrier (the
# kernel may report a new link running a moment late).
INTERFACES = ("ip link add k-down type veth peer name k-down1; ip addr add 10.9.1.1/24 dev k-down; "
              "ip link add k-nocarrier type veth peer name k-peer; ip addr add 10.9.2.1/24 dev k-nocarrier; "
              "ip link add k-up type veth peer name k-up1; ip addr add 10.9.3.1/24 dev k-up; "
              "for i in k-nocarrier k-up k-up1; do ip link set $i up; done; "
              "for i in $(seq 50); do grep -qx up /sys/class/net/k-up/operstate && break; sleep 0.1; done")

# Signals the named daemons of the client's own network namespace: SIGNAL NAME...
SIGNAL_DAEMONS = ('signal_daemons() { sig=$1; shift; for p in /proc/[0-9]*; do '
                  '[ "$(readlink $p/ns/net)" = "$(readlink /proc/self/ns/net)" ] || continue; '
                  'for n in "$@"; do [ "$(cat $p/comm 2>/dev/null)" != "$n" ] || kill -$sig ${p#/proc/}; done; done; }; ')
REJECT_TCP = "--add-rich-rule='rule family=ipv4 port port={port} protocol=tcp reject' >/dev/null"
# The client's own nftables rules: inbound traffic dropped but for its LAN's senders, with a blocklist of 6,000
# addresses: nft -j prints 98 KB.
NFT_BLOCKLIST = ("python3 -c \"print('table inet own { set block { type ipv4_addr; elements = { ' + ', '.join("
                 "'10.%d.%d.%d' % (200 + i // 65536, i // 256 % 256, i % 256) for i in range(6000)) + ' }; }; "
                 "chain input { type filter hook input priority 0; policy drop; ct state established,related accept; "
                 "iif lo accept; ip saddr @block drop; ip saddr 10.77.0.0/24 accept; }; }')\" | nft -f -")
DRIVER = "sudo firewall-cmd --zone=public --add-port={port}/tcp"
# The forward of the lab's refused port 6666, recorded as let in by this machine's firewall only.
UFW_6666 = "ufw status | grep -q 'HLMX 6666 TCP'"
FIREWALL_ONLY_6666 = "grep -q '^firewall-only.*external-port=6666' $XDG_STATE_HOME/varneth/firewall-only"
CLOSE, LIST = f"close\r\n{CLIENT}\r\n{{port}}\r\nTRUE\r\nTRUE\r\n", "list\r\n"
# The record's entries: half their lease passed long ago; the hourly check due.
DUE, UNCHECKED = "record 's/granted=[0-9]*/granted=1000/'", "record 's/checked=[0-9]*/checked=1000/'"
ROOT_DESC = "http://10.77.0.1:5000/rootDesc.xml"
UPNPC_CLIENT2 = f"upnpc -u {ROOT_DESC} -a {CLIENT2} {{port}} {{port}} TCP >/dev/null"
# One line of list's answer for the row's port, made here and kept open.
ESCAPED = re.escape(CLIENT)
# A character that shows as itself: no control or format character, no byte that is no UTF-8.
PRINTABLE = r"[^\t\x00-\x1f\x7f-\x9f\u00ad\u200b-\u200f\u2028-\u202e\u2060-\u206f\ufeff\ud800-\udfff]"
LISTED = (r"{protocol}\t{{port}}\t" + ESCAPED +
          r"\t{{port}}\tIPv4\tUPnP\t7[12]\d\d\tyes\tyes\t{firewall}\tHLMX {{port}} {protocol}")
# Windows renews only while the user is signed in: its task runs with their sign-in.
SIGNED_IN = "Port {port} is kept open while you are signed in to Windows, and opened again when you sign in: renewed every"
KEPT = OnWindows("Port {port} is kept open: renewed every hour; it closes by itself within 2 hours if this machine stops "
                 "renewing.", SIGNED_IN + " hour; once you sign out or this machine stops renewing, it closes by itself "
                 "within 2 hours.")
TIMER = "$XDG_STATE_HOME/varneth/renew"
# The folder of the record on a file system with no space left, what it held kept.
FULL_STATE = ("mkdir -p $XDG_STATE_HOME/varneth/renew && cp -a $XDG_STATE_HOME/varneth $W/kept && "
              "mount -t tmpfs -o size=64k tmpfs $XDG_STATE_HOME/varneth && cp -a $W/kept/. $XDG_STATE_HOME/varneth/ && "
              "(head -c 1M /dev/zero >$XDG_STATE_HOME/varneth/fill 2>/dev/null || true)")
FULL_STATE_GONE = "umount $XDG_STATE_HOME/varneth"
# Another run of Kavro holds the record's lock from before the run to 12 s: as Kavro takes it on Linux
# (flock) and as Wine keeps Kavro.exe's (LockFileEx of its first byte, a POSIX lock).
HOLD_RECORD = ("mkdir -p $XDG_STATE_HOME/varneth; (exec python3 -c 'import fcntl, os, time; "
               "lock = open(\"'$XDG_STATE_HOME'/varneth/forwards.lock\", \"a\"); fcntl.flock(lock, fcntl.LOCK_EX); "
               "fcntl.lockf(lock, fcntl.LOCK_EX, 1, 0); "
               "open(\"'$W'/holder.pid\", \"w\").write(str(os.getpid())); time.sleep(12)' >/dev/null 2>&1 </dev/null &); "
               "while [ ! -s $W/holder.pid ]; do sleep 0.05; done")
# What the client sends over TCP and UDP but to itself, counted from before the run; NOTHING_SENT: none, the count gone.
COUNT_SENT = ("nft 'add table inet sent; add chain inet sent out { type filter hook output priority 0; }; "
              "add rule inet sent out oif != lo meta l4proto { tcp, udp } counter'")
NOTHING_SENT = ("sent=$(nft list chain inet sent out); nft delete table inet sent; "
                "echo \"$sent\" | grep -q 'counter packets 0 bytes 0'")
# Shell: COMMAND started in the background, its output in $W/NAME.out and its PID in $W/NAME.pid, once
# that output says READY.
background = lambda command, name, ready="ready": (
    f"(exec {command} >$W/{name}.out 2>&1 </dev/null & echo $! >$W/{name}.pid); "
    f"for i in $(seq 100); do grep -q {ready} $W/{name}.out && break; sleep 0.05; done; grep -q {ready} $W/{name}.out")
# A stand-in logind on the client's bus until LINGER_CALLS, which gives its SetUserLinger calls, ";" after each.
logind = lambda lingering="": background("/usr/bin/python3 " + os.path.join(HERE, "../labs/logind_standin.py") +
                                         f" --log $W/linger.log {lingering}", "logind")
LINGER_CALLS = "kill $(cat $W/logind.pid); touch $W/linger.log; tr '\\n' ';' <$W/linger.log"
# Kavro's note that it turned lingering on.
MARKER = "$XDG_STATE_HOME/varneth/lingering-turned-on"
# The record's folder remembering the gateway described at HOST's port 5000.
remembered = lambda host: ("mkdir -p -m 700 $XDG_STATE_HOME/varneth && printf 'varneth gateway 1\\ngateway\\tlocation="
                           f"http://{host}:5000/rootDesc.xml\\tudn=uuid:6f0e4c2a\\n' >$XDG_STATE_HOME/varneth/gateway")
# Groups of close, TCP only: (address, port) each.
close_groups = lambda groups: "close\r\n" + "".join(f"{address}\r\n{port}\r\nTRUE\r\nFALSE\r\n" for address, port in groups)
# A second address of the client's, on its LAN.
CLIENT_B = "10.77.0.4"
# What the fake gateway still holds for TCP, as upnpc lists it.
FAKE_HOLDS = "upnpc -u " + ROOT_DESC + " -l 2>/dev/null | grep -c ' TCP ' | grep -qx "
NO_ANSWER = "This machine's firewall did not answer in time, so it could not be checked."
# polkit's CheckAuthorization calls on the client's bus, watched from before the run into $W/bus.out.
WATCH_POLKIT = background("stdbuf -oL dbus-monitor --system \"type='method_call',member='CheckAuthorization'\"", "bus",
                          "NameAcquired")
# Shell: the flags of each CheckAuthorization Kavro sent itself (not firewalld, which always lets polkit
# ask), one a line; the watch ended.
KAVRO_POLKIT_FLAGS = ("kill $(cat $W/bus.pid); firewalld=$(dbus-send --system --print-reply "
                      "--dest=org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus.GetNameOwner "
                      "string:org.fedoraproject.FirewallD1 | sed -n 's/.*string \"\\(.*\\)\"/\\1/p'); "
                      "awk -v firewalld=\"sender=$firewalld \" '/^method call/ { flags = 0; "
                      "asked = /member=CheckAuthorization/ && !index($0, firewalld); next } "
                      "asked && !flags && /^   uint32 / { print $2; flags = 1 }' $W/bus.out")
# A stand-in polkit authority on the client's bus instead of its polkitd: a person answers the
# password for firewalld's changes and the ufw helper as ANSWER says ("--answer-after 15", "--never").
polkit = lambda answer: background("setpriv --reuid=polkitd --regid=polkitd --clear-groups /usr/bin/python3 " +
                                   os.path.join(HERE, "../labs/polkit_standin.py") +
                                   " --log $W/polkit.log --asks org.fedoraproject.FirewallD1.config "
                                   f"org.varneth.kavro.ufw-allow {answer}", "polkit")
# Shell: the stand-in's log matches the ERE, its lines joined by ";", once polkitd is back.
POLKIT_LOG = ("kill $(cat $W/polkit.pid); (setsid /usr/lib/polkit-1/polkitd --no-debug --replace </dev/null >/dev/null 2>&1 &); "
              "for i in $(seq 100); do dbus-send --system --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus "
              "org.freedesktop.DBus.NameHasOwner string:org.freedesktop.PolicyKit1 | grep -q true && break; sleep 0.05; done; "
              "tr '\\n' ';' <$W/polkit.log | grep -Eqx ")

# lan2's forged yeses for 6 s to the client's ports 40000-40015 from its port 5351: PCP's ANNOUNCE, NAT-PMP's
# external address and its mappings of TCP and UDP for PORT.
SPRAYER = ("import socket, struct, sys, time\nport, s = int(sys.argv[1]), socket.socket(socket.AF_INET, socket.SOCK_DGRAM)\n"
           "forged = [bytes([2, 128]) + bytes(22), bytes.fromhex('00800000000000070b4d0001')] + [bytes([0, 128 + op, 0, 0])"
           " + struct.pack('!IHHI', 7, port, port, 604800) for op in (1, 2)]\n"
           "s.bind(('', 5351)); print('spraying', flush=True); end = time.monotonic() + 6\nwhile time.monotonic() < end:\n"
           f"    [s.sendto(d, ('{CLIENT}', t)) for t in range(40000, 40016) for d in forged]\n"
           "    time.sleep(0.002)\n")
IPV6_OFFER = "This machine can also be reached over IPv6"
REACHABLE6 = f"Reachable over IPv6 at [{CLIENT6}]:{{port}}"

ROWS = [
    *[Row(f"{name}: neither followed nor waited on", command, result, gateway="none",
          setup=f"{SECRET}; {plant}", after=f"{SECRET_KEPT} && [ -f $W/log.txt ] && [ ! -L $W/log.txt ]")
      for name, command, result, plant in (
          ("kavro.cmd links to a secret", "", ["1"], "rm $W/kavro.cmd; ln -s $W/away/secret $W/kavro.cmd"),
          ("kavro.cmd is a FIFO", "", ["1"], "rm $W/kavro.cmd; mkfifo $W/kavro.cmd"),
          ("log.txt links to a secret", GETIPS, [CLIENT], "ln -s $W/away/secret $W/log.txt"))],
    Row("getips: running, not loopback", GETIPS, [CLIENT, "10.9.3.1"], gateway="none", setup=INTERFACES,
        after="ip link del k-down; ip link del k-nocarrier; ip link del k-up; [ -z \"$(ls -A $W/tmp)\" ]"),
    # At $TMPDIR/ip_c.tmp, planted by another user: a link to a victim file of ours, which must stay as it was.
    Row("getips: another user's link where the capture was", GETIPS, [CLIENT], gateway="none", user="nobody",
        setup="printf '   IPv4 Address. . . : 6.6.6.6\\n' | tee $W/victim >$W/victim.was; chmod 1777 $W/tmp; "
              "ln -s $W/victim $W/tmp/ip_c.tmp; chown -h daemon $W/tmp/ip_c.tmp",
        after="cmp $W/victim $W/victim.was && [ -L $W/tmp/ip_c.tmp ] && [ $(ls -A $W/tmp | wc -l) = 1 ]"),
    Row("TCP and UDP, and over IPv6, under memcheck: the WAN peer connects", FORWARD6, ["0"], held="TCP UDP",
        pinholes="TCP UDP", peer6=True, memcheck=True, seconds=30, headline=(KEPT, REACHABLE6),
        stderr="over IPv6 to 2001:db8:77::2 for 2 hours"),
    Row("TCP held for the second client", FORWARD, ["Invalid IP"], held=f"UDP TCP@{CLIENT2}",
        lan2=UPNPC_CLIENT2,
        stderr="The router refused TCP {port}: 718 ConflictInMappingEntry, another device holds this port "
               f"({CLIENT2}:{{port}}).",
        headline=(f"Port {{port}} is already forwarded to another device ({CLIENT2}) on the router",
                  "opened on the router for UDP only, not for TCP")),
    # Routers advertise their link-local address: asked there, from the global one.
    Row("IPv6 not asked, the IPv6 default router link-local: no pinhole, only the offer", FORWARD, ["0"],
        "miniupnpd link-local", held="TCP UDP", headline=IPV6_OFFER, ids="forward-ipv6-offer"),
    Row("IPv6 instead, the IPv6 default router link-local: the gateway has no public IPv4 address", FORWARD6, None,
        "miniupnpd cgnat link-local", pinholes="TCP UDP", peer6=True,
        headline=("The router has no Internet address", REACHABLE6, "Port {port} is kept open over IPv6: renewed every"),
        ids="gateway-no-internet-address"),
    # Before, the box said reachable while the machine's own rules dropped the port over IPv6.
    Row("IPv6 asked, the machine's own nftables rules drop it over IPv6: not called reachable", FORWARD6, ["0"],
        held="TCP UDP", pinholes="TCP UDP", peer6=False, after="nft delete table ip6 own6",
        setup="echo 'table ip6 own6 { chain input { type filter hook input priority 0; policy drop; "
              "ct state established,related accept; meta l4proto ipv6-icmp accept; }; }' | nft -f -",
        headline=("keeps it closed there", "nftables: the chain ip6 own6 input drops {port}/tcp"),
        unsaid="Reachable over IPv6"),
    Row("IPv6 asked, the gateway's IPv6 side off: one sentence", FORWARD6, ["0"], "miniupnpd no-ipv6", held="TCP UDP",
        headline="The router could not be reached over IPv6, so port {port} was not opened there.", runs="linux wine"),
    # The next forward asks the remembered description at once; the router back on another port, the remembered
    # one refuses and the search's answer is taken, UPnP before PCP, and remembered.
    Row("UPnP and PCP on: UPnP wins; the gateway remembered, then found again on another port", FORWARD, ["0"],
        "miniupnpd natpmp", held="TCP UDP", stderr=("(UPnP", f"remembered description at {ROOT_DESC} gave no usable"),
        headline=KEPT, ids="forward-reachable", restart="other-port",
        prepare="forward {port} TRUE TRUE; forwarded; forward {other} TRUE TRUE; forwarded; "
                f"grep -q 'asked the remembered description at {ROOT_DESC} without waiting' $W/prepare.out; "
                f"upnpc -u {ROOT_DESC} -l | grep -Eq 'UDP +{{other}}->{CLIENT}:{{other}}'",
        after="grep -q 'location=http://10.77.0.1:5001/rootDesc.xml' $XDG_STATE_HOME/varneth/gateway"),
    Row("UPnP off: PCP", FORWARD, ["0"], "miniupnpd natpmp no-upnp", held="TCP UDP", runs="linux wine",
        stderr=("answered (PCP)", "for 2 hours (lease 7200 s)",
                WindowsSays("NAT service was passed over (it found no UPnP router)")), headline=KEPT),
    # Without UPnP, the IPv6 default router is asked through PCP: a MAP over IPv6 from the global address.
    Row("UPnP off, IPv6 asked: PCP over IPv6 at the link-local router, the WAN peer connects", FORWARD6, ["0"],
        "miniupnpd natpmp no-upnp link-local", held="TCP UDP", pinholes="TCP UDP", peer6=True,
        stderr=("answered (PCP)", "over IPv6 to 2001:db8:77::2 for 2 hours"), headline=(KEPT, REACHABLE6)),
    # Its answers never arrive, as from a router too slow for the wait: what it opened is taken back.
    Row("UPnP off, IPv6 asked, PCP over IPv6 unanswered: one sentence, nothing left open", FORWARD6, ["0"],
        "miniupnpd natpmp no-upnp", held="TCP UDP", after="nft delete table ip6 pcp6",
        setup="echo 'table ip6 pcp6 { chain input { type filter hook input priority -10; udp sport 5351 drop; }; }' "
              "| nft -f -",
        headline=(KEPT, "The router offers no way to open ports over IPv6")),
    Row("UPnP off, PCP dropped: NAT-PMP", FORWARD, ["0"], "miniupnpd natpmp no-upnp", drop="@th,64,8 2",
        held="TCP UDP", stderr=("answered (NAT-PMP)", "for 2 hours", "this answer cannot be verified"),
        headline=KEPT, runs="linux wine"),
    # lan2 floods each port the client may ask from (narrowed to 40000-40015) with forged yeses from its port 5351,
    # first shown to reach a plain socket there; its range is put back, the flood over, after.
    Row("a LAN host that is not the gateway answers on 5351", FORWARD, gateway="none", drop="",
        lan2=background(shlex.join([sys.executable, "-c", SPRAYER, "{port}"]), "sprayer", "spraying"),
        setup="sysctl -qw net.ipv4.ip_local_port_range='40000 40015'; [ \"$(python3 -c 'import socket; "
              "s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.settimeout(2); "
              f"s.bind((\"{CLIENT}\", 40000)); print(s.recvfrom(64)[1][0])')\" = {CLIENT2} ] || "
              "{ sysctl -qw net.ipv4.ip_local_port_range='32768 60999'; false; }",
        after="sysctl -qw net.ipv4.ip_local_port_range='32768 60999'; "
              "while kill -0 $(cat $W/sprayer.pid); do sleep 0.1; done",
        stderr="No router answered", headline=NO_ROUTER, ids="gateway-none-answered",
        stdout="Varneth::Access Nat->get_StaticPortMappingCollection succeeded, but left Collection null"),
    Row("UPnP only from the default gateway: a LAN host answers SSDP, and was remembered: neither used nor asked",
        FORWARD, gateway="", fake_on="lan2", asked=0, headline=NO_ROUTER, setup=remembered(CLIENT2),
        stderr=(f"{CLIENT2} offers UPnP but is not this network's router: not used.",
                f"remembered description at http://{CLIENT2}:5000/rootDesc.xml is not the default gateway's; not asked")),
    # Before, its own PCP won once the search was over: UPnP lost only for being slow to describe itself.
    Row("the router remembered, slow to describe itself, quick on PCP and silent on SSDP: UPnP all the same", FORWARD,
        ["0"], "--port-control pcp --delay 0.5", asked=2, setup=remembered("10.77.0.1"),
        stderr=(f"asked the remembered description at {ROOT_DESC} without waiting", "answered (UPnP")),
    Row("no default gateway", FORWARD, gateway="none", setup="ip route del default",
        after="ip route add default via 10.77.0.1", headline="This machine has no default gateway",
        ids="gateway-no-default-gateway"),
    Row("NAT-PMP: only to the address that asks", f"kavro\r\n{CLIENT2}\r\n{{port}}\r\nTRUE\r\nFALSE\r\n",
        gateway="miniupnpd natpmp no-upnp", headline=f"only to the address this machine reaches it from, {CLIENT}."),
    *[Row(f"fake: {name}", more.pop("command", FORWARD), result, gateway, **more) for name, result, gateway, more in (
        ("no IPv6 firewall control, IPv6 asked", ["0"], "", {"command": FORWARD6, "asked": 2,
         "headline": ("open until it restarts", "The router offers no way to open ports over IPv6")}),
        ("only leases without an end: asked again for one", ["0"], "--mode permanent-only",
         {"asked": 4, "stderr": "only without an end (725 OnlyPermanentLeasesSupported)",
          "headline": "open until it restarts"}),
        ("not held", None, "--mode not-held", {"stderr": "714", "headline": "does not hold it for this machine"}),
        ("held for another client", None, "--mode held-for-other",
         {"headline": f"already forwarded to another device ({CLIENT2})"}),
        *[(f"{protocol or 'UPnP'} refuses with {code}", None, f"--refuse {code} {protocol and '--port-control ' + protocol}",
           {"headline": says, "held": "", "stdout": "Varneth::Access Nat->get_StaticPortMappingCollection succeeded, "
            "but left Collection null" if protocol == "natpmp" else "Varneth::Add Collection->Add failed"})
          for protocol, code, says in (
              ("", 606, "does not let port {port} be opened (606 Action not authorized). Try another port"),
              ("", 725, "refused port {port} (725 OnlyPermanentLeasesSupported)"),
              ("", 501, "refused port {port} (501 Action Failed)"),
              ("pcp", 2, "does not let port {port} be opened (PCP 2 NOT_AUTHORIZED)"),
              ("pcp", 8, "refused port {port} (PCP 8 NO_RESOURCES)"),
              ("natpmp", 2, "does not let this machine open ports (NAT-PMP 2 Not Authorized/Refused)"))],
        *[(mode, None, f"--mode {mode}", {"headline": says}) for mode, says in (
            ("silent", "The router did not answer in time."),
            ("slow-add", "The router did not answer in time when asked for port {port}."),
            ("endless-description", "its UPnP service cannot be used"),
            ("hang-up-add", "The router's answer about port {port} could not be read."))],
        ("a flood of answers from off the LAN", None, "--mode ssdp-flood", {"headline": NO_ROUTER}),
        ("description elsewhere", None, f"--location http://{WAN_PEER}:5000/d.xml",
         {"outside": True, "headline": "its UPnP service cannot be used"}),
        ("control URL elsewhere", None, f"--control-url http://{WAN_PEER}:5000/c",
         {"outside": True, "headline": "its UPnP service cannot be used"}),
        *[(f"{protocol or 'UPnP'} behind carrier-grade NAT", None, f"--external 100.64.0.1 {protocol and '--port-control ' + protocol}",
           {"headline": "This network is behind carrier-grade NAT", "held": "", "ids": "gateway-cgnat"})
          for protocol in ("", "pcp", "natpmp")],
        *[(f"{protocol}, {answer}", None, f"--port-control {protocol} --map-answer {answer}", {"stderr": says, "headline": heads})
          for answer, says, heads in (("other-port", "instead of", "Port {port} is taken on the router, which offered port"),
                                      ("lifetime-zero", "holds no such", "does not hold it for this machine"))
          for protocol in ("pcp", "natpmp")],
        *[(f"{protocol} grants 1 s {times}", result, f"--port-control {protocol} --short-grants {grants}",
           {"held": held, "stderr": "asked once more for longer", "headline": heads})
          for protocol, times, grants, result, held, heads in (
              ("pcp", "always", 9, None, "", "grants port {port} for only 1 second"),
              ("natpmp", "always", 9, None, "", "grants port {port} for only 1 second"),
              ("pcp", "at first", 1, ["0"], "TCP UDP", KEPT))],
        *[(f"{name} in a gateway call", None, f"--mode {mode}", {"signal": how, "seconds": seconds})
          for name, how, mode, seconds in (("killed", signal.SIGKILL, "silent", 10),
                                           ("stopped", signal.SIGSTOP, "slow-add", 9.5))])],
    # Kavro.exe under Wine (wine_runner.py): Windows' own NAT object first, its mapping read back by our client.
    # Wine's object takes the longer the more mappings the gateway holds (past its 4 s at some 60): rows where it maps
    # start afresh.
    Row("no kavro.cmd: 1", "", ["1"], gateway="none", setup="rm $W/kavro.cmd", runs="linux wine"),
    *[Row(f"getips{name}: the addresses as Wine's ipconfig lists them, loopback first{more}", command,
          ["127.0.0.1", CLIENT], gateway="none", runs="wine", after=after) for name, more, command, after in (
        ("", "; each program has its icon and runs with the caller's rights", GETIPS, wine.RESOURCES),
        (" among more lines", "", GETIPS + f"kavro\r\n{CLIENT}\r\n", ""), (" without a line end", "", "getips", ""))],
    # What this run's ipconfig printed, whatever became of it; never an earlier capture's addresses.
    *[Row(f"getips: {name}, not an earlier capture's addresses", GETIPS, result, gateway="none", runs="wine",
          env=env, setup=f"printf '   IPv4 address. . . : 6.6.6.6\\r\\n' >{wine.CAPTURE}{plant}",
          after=f"rm -rf {wine.CAPTURE}")
      for name, env, plant, result in (
          ("ipconfig does not start: an empty list", "WINEDLLOVERRIDES=ipconfig.exe=d", "", []),
          ("no shell to start ipconfig, so no report: ERROR", "WINEDLLOVERRIDES=cmd.exe=d", "", ["ERROR"]),
          # A folder cannot be removed, written or read as the capture (root writes a read-only file all the same);
          # an ipconfig of the run's folder, which cmd finds first, fails after printing.
          ("a folder in the capture's place: this run's report under a name of its own, whatever ipconfig's status",
           "", f"; rm {wine.CAPTURE}; mkdir {wine.CAPTURE}; "
           "printf '@echo    IPv4 Address. . . : 10.0.0.7\\r\\n@exit /b 1\\r\\n' >$W/ipconfig.cmd", ["10.0.0.7"]))],
    Row("system's NAT object maps, read back: recorded as its, the renewal task registered", FORWARD, ["0"],
        firewall="standin", held="TCP UDP", opened="tcp udp", runs="wine", fresh=True,
        stderr=("The router keeps TCP {port} for 7 days", "The router keeps UDP {port} for 7 days"),
        headline=(SIGNED_IN + " 7 days;", "closes by itself within 7 days", IPV6_OFFER),
        after=wine.recorded("TCP {port} system", "UDP {port} system") + " && " + wine.TASK_REGISTERED),
    # A second write of the record keeps the task as it is and puts its command file back.
    Row("system's NAT object unregistered: our client maps, recorded beside the system's, the task kept",
        f"kavro\r\n{CLIENT}\r\n{{port}}\r\nTRUE\r\nFALSE\r\n", ["0"], firewall="standin", held="TCP", opened="tcp",
        runs="wine", fresh=True, setup=wine.NAT_UNREGISTERED,
        prepare=f"forward {{other}} TRUE TRUE; forwarded; {wine.TASK} >$W/task; printf 'getips\\r\\n' >{TIMER}/kavro.cmd",
        stderr=("passed over (it is not registered on this machine)",
                "answered (UPnP IGD v2); its external address is 11.77.0.1"),
        headline=SIGNED_IN + " hour",
        after=wine.recorded("TCP {other} system", "UDP {other} system", "TCP {port} UPnP") +
        f" && {wine.TASK} | cmp -s - $W/task && printf 'renew\\r\\n' | cmp -s - {TIMER}/kavro.cmd"),
    Row("system's NAT object hangs: our client maps once its 4 s are over", FORWARD, ["0"], held="TCP UDP", runs="wine",
        setup=wine.NAT_HANGING, stderr="passed over (it did not answer within 4 s)",
        headline=SIGNED_IN + " hour"),
    Row("a rogue gateway on the LAN: the system's NAT object maps there, not believed", FORWARD, ["0"],
        "miniupnpd natpmp no-upnp", held="TCP UDP", runs="wine", windows="rogue",
        stderr=("cannot be read back: the router does not answer UPnP", "answered (PCP)"),
        headline="when you sign in: renewed every hour"),
    Row("IPv6 asked: pinholes recorded beside the system's mappings, the firewall's entries, the WAN peer connects",
        FORWARD6, ["0"], firewall="standin", held="TCP UDP", pinholes="TCP UDP", opened="tcp udp", peer6=True, runs="wine",
        fresh=True, stderr="The firewall now lets TCP {port} in", headline=("Port {port} is kept open", REACHABLE6),
        unsaid=IPV6_OFFER,
        after=wine.recorded("TCP {port} system", "UDP {port} system", "TCP {port} UPnP IPv6", "UDP {port} UPnP IPv6") +
        " && " + wine.TASK_HELD),
    Row("IPv6 instead: the gateway has no public IPv4 address, the pinholes recorded with the firewall's entries",
        FORWARD6, ["Invalid IP"], "miniupnpd cgnat", firewall="standin", pinholes="TCP UDP", opened="tcp udp", peer6=True,
        runs="wine", headline=("The router has no Internet address", REACHABLE6),
        after=wine.recorded("TCP {port} UPnP IPv6", "UDP {port} UPnP IPv6") + " && " + wine.TASK_HELD),
    Row("IPv6 asked, the firewall refuses the port: not called reachable over IPv6",
        f"kavro\r\n{CLIENT}\r\n{{port}}\r\nTRUE\r\nFALSE\r\nTRUE\r\n", [NOT_OPENED], firewall="standin",
        env="KAVRO_STANDIN_FIREWALL=C:\\missing\\firewall.txt", held="TCP", pinholes="TCP", runs="wine",
        headline=("keeps it closed there", "(the firewall did not let TCP {port} in"), unsaid="Reachable over IPv6"),
    Row("Kavro.exe without KavroBackground.exe beside it: told, no task",
        f"kavro\r\n{CLIENT}\r\n{{port}}\r\nTRUE\r\nFALSE\r\n", ["0"], held="TCP", runs="wine", windows="alone", after=wine.TASK_GONE,
        headline="Forwards made here will not be kept open: KavroBackground.exe is missing"),
    # What the task runs brings back what the gateway forgot; list then shows it all, kept open and let in.
    Row("the renewal task's run after the gateway forgot: mappings and pinholes back, listed", LIST, firewall="standin",
        held="TCP UDP", pinholes="TCP UDP", opened="tcp udp", fresh=True, restart="forget", runs="wine",
        prepare="forward {port} TRUE TRUE '' TRUE; forwarded; " + wine.NAT_UNREGISTERED +
                "; forward {other} TRUE FALSE; forwarded; " + UNCHECKED,
        setup=f"{wine.TASK_RUN} && [ \"$(tr -d '\\r' <{TIMER}/log.txt)\" = 0 ]",
        # The system's mappings keep their week: a renewal never asks for our 2 hours instead.
        listed=(*(rf"{p}\t{{port}}\t{ESCAPED}\t{{port}}\tIPv4\tsystem\t604[78]\d\d\tyes\tyes\tyes\tHLMX {{port}} {p}"
                  for p in ("TCP", "UDP")),
                rf"TCP\t{{other}}\t{ESCAPED}\t{{other}}\tIPv4\tUPnP\t7[12]\d\d\tyes\tyes\tyes\tHLMX {{other}} TCP",
                *(rf"{p}\t{{port}}\t{re.escape(CLIENT6)}\t{{port}}\tIPv6\tUPnP\t7[12]\d\d\tyes\tyes\tno\t"
                  for p in ("TCP", "UDP"))),
        after=wine.recorded("TCP {port} system", "UDP {port} system", "TCP {port} UPnP IPv6", "UDP {port} UPnP IPv6",
                            "TCP {other} UPnP")),
    Row("close the system's mapping: an entry of another name for the port stays, and the task while any is left", CLOSE,
        ["0"], firewall="standin", runs="wine", fresh=True,
        prepare="forward {port} TRUE TRUE; forwarded; forward {other} TRUE FALSE; forwarded; "
                "sed -i 's/^{port} 6 .*/{port} 6 Game server/' $STANDIN",
        stderr=("TCP {port} to 10.77.0.2 (system) closed", "The firewall no longer lets UDP {port} in",
                'The firewall holds no entry "HLMX {port} TCP" for TCP {port}; any other entry stays.'),
        after=wine.recorded("TCP {other} system") + " && grep -qx '{port} 6 Game server' $STANDIN && " + wine.TASK_HELD),
    *[Row(f"close: the pinholes{name} and their firewall entries", CLOSE, ["0"], gateway, firewall="standin", runs="wine",
          fresh=True, prepare="forward {port} TRUE TRUE '' TRUE; " + made, stderr=says,
          after="entries 0 && " + wine.TASK_GONE)
      for name, gateway, made, says in (
          (" with the forward", "miniupnpd", "forwarded", f"TCP {{port}} to {CLIENT6} (UPnP, IPv6 pinhole) closed"),
          (" opened instead", "miniupnpd cgnat", "[ \"$(head -n 1 $W/log.txt | tr -d '\\r')\" = 'Invalid IP' ]",
           "The firewall no longer lets TCP {port} in"))],
    Row("ufw: IPv6 asked, an administrator's IPv6 deny stays: not called reachable", FORWARD6, [NOT_OPENED],
        firewall="ufw", held="TCP UDP", opened="udp udp6", pinholes="TCP UDP", peer6=False, stderr="stands",
        unsaid="Reachable over IPv6", setup="ufw deny from ::/0 to any port {port} proto tcp >/dev/null",
        headline=("keeps it closed there", "refuses {port}/tcp over IPv6", "blocks port {port}"),
        after=kept("deny tcp {port}", "DENY IN", families=("6",))),
    Row("ufw: IPv6 asked, an administrator's IPv6 rules let the port in", FORWARD6, ["0"], firewall="ufw",
        held="TCP UDP", opened="tcp udp", pinholes="TCP UDP", peer6=True, headline=REACHABLE6,
        setup="for p in tcp udp; do ufw allow from ::/0 to any port {port} proto $p >/dev/null; done"),
    # Another process holds ufw's lock from 2 s to 10 s, as another ufw would.
    Row("ufw: slow gateway, then ufw's lock held", FORWARD, [NOT_OPENED], "--delay 2.5", firewall="ufw", seconds=9.5,
        setup="(sleep 2; exec python3 -c 'import fcntl, time; lock = open(\"/run/ufw.lock\", \"w\"); "
              "fcntl.lockf(lock, fcntl.LOCK_EX); time.sleep(8)') >/dev/null 2>&1 </dev/null &",
        after="sleep 2; ! ufw show added | grep -q {port}",
        headline="Time ran out before the firewall (ufw) let port {port} in"),
    *[Row(f"{firewall}: a user polkit denies", FORWARD, [ADMIN], firewall=firewall, user="kavro-denied", held="TCP UDP",
          headline="You are not allowed to change the firewall; ask an administrator.")
      for firewall in ("ufw", "firewalld")],
    # Before, the helper replaced the IPv6 deny and printed the IPv4 one to its caller.
    Row("ufw: through the helper, the rules stand and stay unread", FORWARD, [NOT_OPENED], firewall="ufw",
        user="kavro-allowed", held="TCP UDP", headline="blocks port {port}",
        setup="ufw deny from ::/0 to any port {port} proto tcp >/dev/null; ufw deny {port}/udp >/dev/null",
        after=kept("deny tcp {port}", "DENY IN", families=("6",)) + " && " + kept("deny udp {port}", "DENY IN") +
        " && " + HELPER_SAYS_NOTHING),
    # A user polkit would ask a password of, with no desktop agent to ask: before, the box named our helper under
    # the build's path.
    Row("advice: ufw, no password dialog: ufw's own commands", FORWARD, [NOT_OPENED], firewall="ufw", user="nobody",
        held="TCP UDP",
        headline=(NO_DIALOG, "sudo ufw allow from 0.0.0.0/0 to any port {port} proto tcp comment 'HLMX {port} TCP' and "
                             "sudo ufw allow from 0.0.0.0/0 to any port {port} proto udp comment 'HLMX {port} UDP'")),
    # Before, close left the rule an administrator added as the box asked: nothing recorded its name.
    Row("advice: close removes the rule an administrator added as asked, and tells of the one not added", CLOSE, ["0"],
        firewall="ufw", stderr=('The firewall no longer lets TCP {port} in ("HLMX {port} TCP" removed)',
                                'The firewall holds no entry "HLMX {port} UDP" for UDP {port}'),
        prepare="mkdir -p $XDG_STATE_HOME && chown nobody:nogroup $XDG_STATE_HOME && chmod 1777 $W/tmp && "
                "AS='setpriv --reuid=nobody --regid=nogroup --clear-groups' && forward {port} TRUE TRUE && AS= && "
                "grep -q 'firewall-asked=HLMX {port} TCP' $XDG_STATE_HOME/varneth/forwards && "
                "ufw allow from 0.0.0.0/0 to any port {port} proto tcp comment 'HLMX {port} TCP' >/dev/null",
        after="entries 0 && ! ufw status | grep -q 'HLMX {port} '"),
    # The lab's router refuses 6666 to everyone: this machine's firewall lets it in all the same,
    # recorded apart from the mappings; renew never asks the router about it, close takes the rule away.
    *[Row(f"the router refuses 6666, ufw on: {name}", command, result, firewall="ufw", prepare=prepare,
          after=f"({after}) && r=0 || r=1; ufw delete allow from 0.0.0.0/0 to any port 6666 proto tcp >/dev/null "
                "2>&1 || true; [ $r = 0 ]", **more)
      for name, command, result, prepare, after, more in (
          ("let in, not 0, recorded firewall-only, the router's settings advised",
           f"kavro\r\n{CLIENT}\r\n6666\r\nTRUE\r\nFALSE\r\n", None, "",
           f"{UFW_6666} && {FIREWALL_ONLY_6666} && ! grep -q 6666 $XDG_STATE_HOME/varneth/forwards",
           {"ids": "forward-firewall-only-router",
            "headline": ("port 6666", "This machine's firewall now lets port 6666 in. Opening port "
                         "6666 in the router's own settings, for this machine's address, completes the job.")}),
          ("listed", LIST, None, "forward 6666 TRUE FALSE", "true",
           {"fresh": True, "listed": (rf"TCP\t6666\t{ESCAPED}\t6666\tIPv4\tfirewall\t0\tyes\tyes\tyes\tHLMX 6666 TCP",)}),
          ("renew sends nothing to the router, tells the rule gone", "renew\r\n", None,
           "forward 6666 TRUE FALSE; ufw delete allow from 0.0.0.0/0 to any port 6666 proto tcp >/dev/null",
           f"{NOTHING_SENT} && {FIREWALL_ONLY_6666}",
           {"setup": COUNT_SENT, "headline": 'The firewall entry "HLMX 6666 TCP" that let port 6666 in is gone'}),
          ("close removes the rule, asks the router nothing of it", close_groups([(CLIENT, 6666)]), ["0"],
           "forward 6666 TRUE FALSE", f"{NOTHING_SENT} && ! {UFW_6666} && ! {FIREWALL_ONLY_6666}",
           {"setup": COUNT_SENT, "stderr": f"TCP 6666 to {CLIENT}: this machine's firewall no longer lets it in"}))],
    # No router: the port let in is open to this network alone, until closed from Open ports.
    *[Row(f"no router at all, firewalld on: {name}", command, result, gateway="none", firewall="firewalld",
          prepare=prepare, opened=opened, **more)
      for name, command, result, prepare, opened, more in (
          ("the port let in, not 0, advised to close it from Open ports", FORWARD, None, "", "tcp udp",
           {"ids": "forward-firewall-only-no-router",
            "after": "[ $(grep -c ^firewall-only $XDG_STATE_HOME/varneth/firewall-only) = 2 ]",
            "headline": (NO_ROUTER, "This machine's firewall now lets port {port} in, but no router answered. If the "
                         "port is not needed on this network, close it from Open ports")}),
          ("list shows what it let in", LIST, None, "forward {port} TRUE FALSE", "tcp",
           {"listed": (rf"TCP\t{{port}}\t{ESCAPED}\t{{port}}\tIPv4\tfirewall\t0\tyes\tyes\tyes\tHLMX {{port}} TCP",)}),
          ("close from Open ports removes it, now and permanently", CLOSE, ["0"], "forward {port} TRUE TRUE", "", {}))],
    Row("firewalld: the interface's own zone, also permanently", FORWARD, ["0"], firewall="firewalld",
        held="TCP UDP", opened="tcp udp", zone="internal", setup="firewall-cmd --zone=internal --change-interface=lan0",
        after="! firewall-cmd --zone=public --list-ports | grep -q {port} && "
              "firewall-cmd --zone=internal --remove-interface=lan0 >/dev/null"),
    # firewalld's port is of no family: the WAN peer's IPv6 connection gets in too.
    Row("firewalld: IPv6 asked, the port let in for both families", FORWARD6, ["0"], firewall="firewalld",
        held="TCP UDP", opened="tcp udp", pinholes="TCP UDP", peer6=True, headline=REACHABLE6),
    Row("firewalld: no polkit agent to ask for the password", FORWARD, [NOT_OPENED], firewall="firewalld",
        user="nobody", held="TCP UDP", headline=(DRIVER, DRIVER.replace("sudo firewall-cmd", "sudo firewall-cmd --permanent"),
                                                 "no password prompt could be shown"), unsaid="is kept open"),
    # A person asked for the password: the run's deadline waits for the answer, at most 2 minutes (3 s
    # here), then the question goes (withdrawn from polkit, or pkexec ended), and no port is let in.
    *[Row(f"{firewall}: the password {'given after 15 s' if given else 'never given'}{', command line' if cli else ''}",
          FORWARD, [] if cli else ["0"] if given else [NOT_OPENED], firewall=firewall, user="nobody", held="TCP UDP",
          opened="tcp udp" if given else "", cli=cli, seconds=30 if given else 10, setup="chmod 1777 $W/tmp; " + polkit(answer),
          env="" if given else "KAVRO_PASSWORD_WAIT_SECONDS=3", ids=() if cli else "firewall-password-asked",
          stderr="Port forward success!" if cli else (), headline=() if given or cli else says,
          after=f"{POLKIT_LOG}'asked {action};{log};'")
      for firewall, action, given, cli, answer, log, says in (
          ("firewalld", "org.fedoraproject.FirewallD1.config", True, f"forward {CLIENT} {{port}}", "--answer-after 15",
           "answered org.fedoraproject.FirewallD1.config", ""),
          ("firewalld", "org.fedoraproject.FirewallD1.config", False, None, "--never", "withdrawn kavro-[0-9]+",
           "needs an administrator's password, and the password was not given in time"),
          ("ufw", "org.varneth.kavro.ufw-allow", True, None, "--answer-after 15", "answered org.varneth.kavro.ufw-allow",
           ""),
          ("ufw", "org.varneth.kavro.ufw-allow", False, None, "--never", "caller gone org.varneth.kavro.ufw-allow",
           "The administrator's password was not given in time"))],
    Row("firewalld: an administrator's reject rule for TCP, now and permanently", FORWARD, [NOT_OPENED],
        firewall="firewalld", held="TCP UDP", opened="udp", setup=f"firewall-cmd {REJECT_TCP}; firewall-cmd --permanent {REJECT_TCP}",
        stderr="refuses {port}/tcp", headline="refuses port {port}",
        after="firewall-cmd --list-rich-rules | grep -q 'port=\"{port}\" protocol=\"tcp\" reject' && "
              "firewall-cmd --permanent --list-rich-rules | grep -q 'port=\"{port}\" protocol=\"tcp\" reject'"),
    Row("firewalld: dbus-daemon stopped", FORWARD, [ADMIN], firewall="firewalld", held="TCP UDP", seconds=9,
        setup=SIGNAL_DAEMONS + "signal_daemons STOP dbus-daemon", headline=NO_ANSWER,
        after=SIGNAL_DAEMONS + "signal_daemons CONT dbus-daemon"),
    Row("firewalld: stopped while the gateway answers slowly", FORWARD, [NOT_OPENED], "--delay 2.5",
        firewall="firewalld", seconds=9.5, setup=SIGNAL_DAEMONS + "(sleep 1; signal_daemons STOP firewalld) "
        ">/dev/null 2>&1 </dev/null &", headline="did not answer in time, so port {port} was not let in",
        after=SIGNAL_DAEMONS + "signal_daemons CONT firewalld"),
    # TCP before UDP: each protocol's mapping, then its entries; ufw's rules in that order too.
    Row("ufw and firewalld both on: each lets the port in, and firewalld keeps no name", FORWARD, ["0"],
        firewall="both", held="TCP UDP", opened="ufw:tcp ufw:udp firewalld:tcp firewalld:udp",
        stderr=[f"TCP {{port}} -> {CLIENT}:{{port}} mapped", "firewalld now lets {port}/tcp in.", "ufw now lets {port}/tcp in",
                f"UDP {{port}} -> {CLIENT}:{{port}} mapped", "firewalld now lets {port}/udp in.", "ufw now lets {port}/udp in"],
        after="[ \"$(ufw status | grep -o '^{port}/[a-z]*' | uniq | tr '\\n' ' ')\" = '{port}/tcp {port}/udp ' ]"),
    # Before, nft's answer was cut at 64 KiB: "The firewall is off", "0", and the raw rules on standard error.
    Row("own nftables rules with a blocklist of 6,000 addresses: read whole, the port's drop named", FORWARD,
        [NOT_OPENED], held="TCP UDP", setup=NFT_BLOCKLIST, after="nft delete table inet own",
        stderr="The nftables chain inet own input does not let {port}/tcp in",
        headline="This machine filters inbound traffic with its own nftables rules; the port was not let in there",
        unsaid=('"elem"', '10.200.0.1"', "The firewall is off")),
    *[Row(f"renew: {name}", "renew\r\n", ["0"], gateway, held=held, fresh=True, restart=restart, stderr=says,
          prepare="forward {port} TRUE TRUE; forwarded; " + edit, after=f"entries 2 && {after}")
      for name, gateway, restart, edit, held, says, after in (
          ("the system's NAT object's week, its end passed: asked again for a week, not 2 hours", "miniupnpd", None,
           f"{DUE}; record 's/how=UPnP/how=system/; s/lifetime=[0-9]*/lifetime=604800/'", "TCP UDP", "renewed: held for 604",
           "[ $(grep -Ec 'lifetime=604[78][0-9]{2}' $XDG_STATE_HOME/varneth/forwards) = 2 ]"),
          # Only TCP's hourly check is due; the answer's epoch shows the restart, so UDP comes back too.
          ("a PCP gateway whose epoch went back: every entry asked for at once", "miniupnpd natpmp no-upnp", "forget",
           "sleep 6; record '/protocol=TCP/s/checked=[0-9]*/checked=1000/'", "TCP UDP", "epoch shows it restarted",
           "true"),
          ("another gateway's entries: nothing sent, nothing deleted", "miniupnpd", "forget",
           f"{DUE}; record 's/gateway-link=[^\t]*/gateway-link=02:00:00:00:00:99/'", "", "is on another router", "true"),
          # Another device at the same address is not even asked whether it holds the entry, let alone asked
          # to renew it: a due lease meets the same check first.
          ("another device at the same address, its hourly check due: not even checked", "miniupnpd", "other-device",
           UNCHECKED, "TCP UDP", "was made on another router at the same address",
           "grep -qw checked=1000 $XDG_STATE_HOME/varneth/forwards"))],
    # Before, it was recorded and then left alone as an address this machine no longer has.
    Row("renew: a forward to another device, the router forgot it: asked for again for that device, listed, closed",
        "renew\r\n", ["0"], "miniupnpd secure-off", fresh=True, restart="forget",
        prepare=f"forward {{port}} TRUE FALSE {CLIENT2}; forwarded; grep -q 'kept open while this computer is on and on "
                f"this network' $W/prepare.out; entries 1; "
                f"grep -q 'internal-address={CLIENT2}\t.*\tanother-device=yes$' $XDG_STATE_HOME/varneth/forwards; {UNCHECKED}",
        stderr="is no longer held by the router; asked for again",
        after=f"upnpc -u {ROOT_DESC} -l | grep -q 'TCP *{{port}}->{CLIENT2}:{{port}}' && ask 'list\\r\\n' && "
              f"tr '\\t' ' ' <$W/log.txt | grep -q '^TCP {{port}} {CLIENT2} {{port}} IPv4 UPnP [0-9]* yes yes' && "
              f"ask 'close\\r\\n{CLIENT2}\\r\\n{{port}}\\r\\nTRUE\\r\\nFALSE\\r\\n' && forwarded && entries 0"),
    # Before, it made the record's folder all the same.
    *[Row(f"renew with no record: {name}: nothing on the wire, no folder made", "renew\r\n", ["0"], prepare=prepare,
          held=held, setup=COUNT_SENT, after=f"{NOTHING_SENT} && {after}")
      for name, prepare, held, after in (
          ("none ever", "", "", "[ ! -e $XDG_STATE_HOME ]"),
          ("its last entry gone", "forward {port} TRUE TRUE; forwarded; record '/^mapping/d'; rm -r " + TIMER, "TCP UDP",
           f"[ ! -e {TIMER} ]"))],
    # logind stands in on the client's bus (its effect at boot cannot be shown here).
    *[Row(f"lingering: {name}", command, ["0"], firewall="ufw", held=held, opened=held.lower(), prepare=prepare,
          setup=setup, headline=headline,
          after=marker if calls is None else f'[ "$({LINGER_CALLS})" = "{calls}" ] && {marker}')
      for name, command, prepare, setup, held, headline, calls, marker in (
          ("the first forward recorded turns it on, noted beside the record", FORWARD, "", logind(), "TCP UDP",
           ("lingering was turned on for your account, so its user services start at boot",
            "run: loginctl disable-linger"), "SetUserLinger 0 true false;",
           f"[ -e {MARKER} ] && ! grep -qi linger $XDG_STATE_HOME/varneth/forwards"),
          ("the last close turns it off again", CLOSE, logind() + "; forward {port} TRUE TRUE; forwarded", "", "", (),
           "SetUserLinger 0 true false;SetUserLinger 0 false false;", f"[ ! -e {MARKER} ]"),
          ("on before, it stays on after the last close", CLOSE,
           logind("--lingering 0") + "; forward {port} TRUE TRUE; forwarded", "", "", (), "", f"[ ! -e {MARKER} ]"),
          ("logind absent: the sentence, the port kept all the same", FORWARD, "", "", "TCP UDP",
           ("kept open only while you are logged in", "is kept open:"), None, f"[ ! -e {MARKER} ]"))],
    Row("renew: a NAT-PMP gateway whose epoch went back: every entry asked for at once", "renew\r\n", ["0"],
        "miniupnpd natpmp no-upnp", drop="@th,64,8 2", held="TCP UDP", fresh=True, restart="forget",
        stderr="NAT-PMP epoch shows it restarted", after="entries 2",
        prepare="forward {port} TRUE TRUE; forwarded; sleep 4; record '/protocol=TCP/s/checked=[0-9]*/checked=1000/'"),
    *[Row(f"close: {name}", CLOSE, ["0"], gateway, firewall=firewall, prepare="forward {port} TRUE TRUE; forwarded" + admin,
          drop=drop, after="entries 0" + stays, stderr=says)
      for name, gateway, firewall, drop, admin, stays, says in (
          # Switched off, ufw keeps its rules for when it is on again: ours goes all the same.
          ("ufw switched off since", "miniupnpd", "ufw", None, "; ufw disable >/dev/null",
           " && ufw --force enable >/dev/null && ! ufw status | grep -q 'HLMX {port} '", ""),
          ("the administrator's ufw rule for the port stays", "miniupnpd", "ufw", None, "; ufw allow {port}/tcp >/dev/null",
           " && ufw show added | grep -qx 'ufw allow {port}/tcp'", ""),
          # Before, close said ours was removed, and left it behind the administrator's range (which
          # ends at the row's port: the rows after it open ports of their own).
          ("an administrator's wider ufw rule decides first: ours goes, theirs stays and is told of", "miniupnpd", "ufw",
           None, "; ufw insert 1 allow $(({port} - 10)):{port}/tcp >/dev/null",
           " && ufw delete allow $(({port} - 10)):{port}/tcp | grep -q '^Rule deleted' && "
           "! ufw status | grep -q 'HLMX {port} '", "another rule still lets TCP {port} in"),
          ("NAT-PMP", "miniupnpd natpmp no-upnp", "none", "@th,64,8 2", "", "", ""))],
    Row("renew: a PCP grant of 600 s, before its half: not yet", "renew\r\n", ["0"], "--port-control pcp --max-lifetime 600",
        held="TCP UDP", stderr="nothing was due; the router last said it holds it less than a minute ago",
        after="entries 2 && grep -c lifetime=600 $XDG_STATE_HOME/varneth/forwards",
        prepare="forward {port} TRUE TRUE; forwarded; record \"s/granted=[0-9]*/granted=$(($(date +%s) - 290))/\""),
    # renew only reads the firewall: an entry of ours deleted since is told, never made again.
    *[Row(f"renew: the {firewall} entry it made, deleted since: told, not made again", "renew\r\n", firewall=firewall,
          held="TCP UDP", opened="udp", prepare="forward {port} TRUE TRUE; forwarded; " + delete,
          headline='The firewall entry "HLMX {port} TCP" that let port {port} in is gone', runs=runs)
      for firewall, delete, runs in (
          ("firewalld", "firewall-cmd -q --remove-port={port}/tcp && firewall-cmd -q --permanent --remove-port={port}/tcp",
           "linux"),
          ("standin", "sed -i '/^{port} 6 /d' $STANDIN", "wine"))],
    # Run by a user polkit would ask a password of, with no agent: before, Kavro asked polkit with
    # the user's say (flag 1, AllowUserInteraction) and called the entry gone while the port was open.
    Row("renew: a user polkit asks a password of: no question asked, the firewalld entry unchecked, not gone",
        "renew\r\n", ["0"], firewall="firewalld", user="nobody", held="TCP UDP", opened="tcp udp",
        prepare="AS=; forward {port} TRUE TRUE; forwarded; chown -R nobody:nogroup $XDG_STATE_HOME; chmod 1777 $W/tmp",
        setup=WATCH_POLKIT,
        stderr='"HLMX {port} TCP" could not be checked', unsaid="is gone",
        after=f"flags=$({KAVRO_POLKIT_FLAGS}) && [ -n \"$flags\" ] && ! echo \"$flags\" | grep -qvx 0"),
    Row("renew: the ufw rule it made over IPv6, deleted since: told, not made again", "renew\r\n", firewall="ufw",
        held="TCP UDP", opened="tcp udp udp6", pinholes="TCP UDP",
        prepare=f"forward {{port}} TRUE TRUE {CLIENT} TRUE; forwarded; "
                "ufw delete allow from ::/0 to any port {port} proto tcp >/dev/null",
        headline='The firewall entry "HLMX {port} TCP" that let port {port} in over IPv6 is gone'),
    # Ours over IPv6 goes with the forward; an administrator's IPv4 rule stays.
    *[Row(f"close: ufw's rules over IPv6, {name}", CLOSE, ["0"], firewall="ufw", user=user, pinholes="",
          prepare=f"{admin}forward {{port}} TRUE TRUE {CLIENT} TRUE; forwarded; ufw status | grep -q '(v6).*HLMX {{port}} TCP'",
          after="entries 0 && ! ufw status | grep -q 'HLMX {port} '" + stays)
      for name, user, admin, stays in (
          ("through the helper's delete", "kavro-allowed", "", ""),
          # The IPv4 rule is not ours, so ours over IPv6 goes with the pinhole.
          ("an administrator's IPv4 allow stays", "root", "ufw allow from 0.0.0.0/0 to any port {port} proto tcp "
           ">/dev/null; ", " && " + kept("allow tcp {port}", "ALLOW IN", families=("",))))],
    # miniupnpd answers deleting what it lost in a restart with NO_RESOURCES: before, close failed
    # on every try and the next renewal opened the port again.
    Row("close: PCP, the gateway restarted since: closed all the same", CLOSE, ["0"], "miniupnpd natpmp no-upnp",
        restart="forget", prepare="forward {port} TRUE TRUE; forwarded; sleep 6",
        stderr="The router restarted since", after="entries 0"),
    Row("close: two groups in one run, under memcheck", CLOSE + f"{CLIENT}\r\n{{other}}\r\nFALSE\r\nTRUE\r\n", ["0"],
        memcheck=True, seconds=30,
        prepare="forward {port} TRUE TRUE; forward {other} FALSE TRUE; entries 3", after="entries 0"),
    Row("partly failed forward: the UDP mapping is recorded and closed, the second client's TCP stays", CLOSE, ["0"],
        held=f"TCP@{CLIENT2}", lan2=UPNPC_CLIENT2, prepare="forward {port} TRUE TRUE; entries 1",
        stderr="Nothing is open for TCP {port}", after="entries 0"),
    Row("list: the partly failed forward's UDP mapping, not the second client's TCP", LIST, fresh=True,
        lan2=UPNPC_CLIENT2, prepare="forward {port} TRUE TRUE; entries 1", held=f"TCP@{CLIENT2} UDP",
        listed=(LISTED.format(protocol="UDP", firewall="no"),)),
    # upnpc names its mapping with an override, an escape and a line break, and miniupnpd cuts
    # the name at 64 bytes, inside the 26th "ä": before, each reached the answer as it was.
    Row("list: a forward and a mapping upnpc made for this machine with an odd name, under memcheck", LIST,
        fresh=True, held="TCP", memcheck=True, seconds=30,
        prepare="forward {port} TRUE FALSE; forwarded; upnpc -u " + ROOT_DESC + " -e \"$(printf "
                "'x\\342\\200\\256chat\\033[8m\\n'; python3 -c 'print(30 * chr(228), end=\"\")')\" -a " + CLIENT +
                " {other} {other} UDP >/dev/null",
        listed=(LISTED.format(protocol="TCP", firewall="no"),
                rf"UDP\t{{other}}\t{ESCAPED}\t{{other}}\tIPv4\tUPnP\t\d+\tno\tno\tno\t"
                rf"x\ufffdchat\ufffd\[8m (ä){{25}}{PRINTABLE}*")),
    # The timer's run, as its service makes it: in the folder of the user's state that the
    # record's writes keep, on its command file, unable to gain rights.
    Row("timer: its run brings a forgotten forward back; the last close takes its command file away", CLOSE, ["0"],
        restart="forget",
        prepare="forward {port} TRUE TRUE; forwarded; " + UNCHECKED + "; [ \"$(cat " + TIMER + "/kavro.cmd)\" = renew ]",
        setup="cd " + TIMER + " && setpriv --no-new-privs $K >/dev/null 2>&1 && [ \"$(cat log.txt)\" = 0 ] && "
              "upnpc -u " + ROOT_DESC + " -l | grep -E ' (TCP|UDP) +{port}->' | wc -l | grep -qx 2",
        after="entries 0 && [ ! -e " + TIMER + "/kavro.cmd ]"),
    # Pinholes beside the forward: recorded, renewed and closed with it.
    # Routers advertise a link-local address: renew asks there too, from the global address (close goes the same way).
    Row("pinholes, link-local router: the gateway restarted without them, renew opens them again", "renew\r\n", ["0"],
        "miniupnpd link-local", fresh=True, restart="forget", held="TCP UDP", pinholes="TCP UDP",
        stderr="it is opened again", prepare="forward {port} TRUE TRUE '' TRUE; forwarded; " + UNCHECKED, after="entries 4"),
    Row("pinholes: half their lease passed, renewed in place", "renew\r\n", ["0"], held="TCP UDP", pinholes="TCP UDP",
        prepare="forward {port} TRUE TRUE '' TRUE; forwarded; " + DUE,
        after="entries 4 && ! grep -qw granted=1000 $XDG_STATE_HOME/varneth/forwards"),
    # A gateway that lost a pinhole answers its id with 402, as renew knows.
    Row("pinholes: closed with the forward's address and port, the gateway restarted without them", CLOSE, ["0"],
        restart="forget", after="entries 0",
        prepare="forward {port} TRUE TRUE '' TRUE; forwarded; [ $(grep -c family=IPv6 "
                "$XDG_STATE_HOME/varneth/forwards) = 2 ]"),
    # PCP's pinholes: MAP over IPv6 again with their own nonce, to renew and (lifetime 0) to close.
    *[Row(f"PCP pinholes: {name}", command, result, "miniupnpd natpmp no-upnp", fresh=True,
          prepare="forward {port} TRUE TRUE '' TRUE; forwarded; " + edit, **more)
      for name, command, result, edit, more in (
          ("recorded beside the mappings and listed", LIST, None, "[ $(grep -c 'IPv6.how=PCP' $XDG_STATE_HOME/varneth/forwards) = 2 ]",
           {"held": "TCP UDP", "pinholes": "TCP UDP",
            "listed": tuple(rf"{p}\t{{port}}\t{re.escape(address)}\t{{port}}\t{family}\tPCP\t7[12]\d\d\tyes\tyes\tno\t.*"
                            for p in ("TCP", "UDP") for address, family in ((CLIENT, "IPv4"), (CLIENT6, "IPv6")))}),
          ("half their lease passed, renewed with their nonce", "renew\r\n", ["0"], DUE,
           {"held": "TCP UDP", "pinholes": "TCP UDP", "stderr": "(PCP, IPv6 pinhole) renewed: held for 7200 s",
            "after": "entries 4 && ! grep -qw granted=1000 $XDG_STATE_HOME/varneth/forwards"}),
          ("closed with the forward", CLOSE, ["0"], "", {"after": "entries 0"}),
          ("a damaged nonce: told, kept", "renew\r\n", None, DUE + "; record '/family=IPv6/s/nonce=[0-9a-f]*/nonce=zz/'",
           {"held": "TCP UDP", "pinholes": "TCP UDP", "stderr": "lacks what PCP needs to reach it again",
            "after": "entries 4"}),
          # The lab's router forgets whose a pinhole is once renewed: cut to its shortest lifetime instead.
          ("closed after a renewal", CLOSE, ["0"], DUE + "; echo renew >$W/kavro.cmd; (cd $W && $K >>$W/prepare.out 2>&1)",
           {"pinholes": None, "stderr": "it ends by itself in 120 s", "after": "entries 0"}))],
    Row("list: nothing open is an empty answer", LIST, [], fresh=True),
    # Before, listing had one call's 3 s: a slow router's long list ended in "did not list", and
    # so did closing another program's mapping, which listed first.
    *[Row(f"a router 50 ms late on each call, 60 mappings of another program's: {name}", command, result,
          "--slow-mappings 0.05 --held-for 10.77.0.2:28100:60", **more) for name, command, result, more in (
        ("list shows every one", LIST, None,
         {"listed": (rf"TCP\t281\d\d\t{ESCAPED}\t281\d\d\tIPv4\tUPnP\t0\tno\tno\tno\tchat 281\d\d",) * 60}),
        ("close the last one", close_groups([(CLIENT, 28159)]), ["0"],
         {"stderr": "TCP 28159 to 10.77.0.2 was made by another program", "after": FAKE_HOLDS + "59"}))],
    # Before, the first address's list served every group: the second address's were said to hold nothing.
    Row("close: 20 groups on two addresses, the router 50 ms late on each call: every one closed",
        close_groups([(CLIENT, 28000 + i) for i in range(10)] + [(CLIENT_B, 28010 + i) for i in range(10)]), ["0"],
        f"--slow-mappings 0.05 --held-for {CLIENT}:28000:10 --held-for {CLIENT_B}:28010:10",
        setup=f"ip addr add {CLIENT_B}/24 dev lan0", after=f"ip addr del {CLIENT_B}/24 dev lan0 && {FAKE_HOLDS}0"),
    # Before, each group listed again after the deadline: 2,000 groups took 19 s.
    Row("close: 2,000 groups while the router stalls: over by the deadline, those not reached named",
        close_groups([(CLIENT, 20000 + i) for i in range(2000)]), None, "--slow-mappings 4",
        headline=("Time ran out before TCP 200", "could be closed; they stay open. Close again.")),
    # Before, only the router's secure mode kept close from deleting another machine's mapping. A port
    # recorded as ours that the router now holds for another machine is that machine's too.
    *[Row(f"close, the router's secure mode off: {name}", close_groups([(address, "{port}")]), result,
          "miniupnpd secure-off", held=f"TCP@{CLIENT2}", **more) for name, address, result, more in (
        ("another machine's mapping left alone", CLIENT2, None,
         {"lan2": UPNPC_CLIENT2, "headline": f"Port {{port}} for {CLIENT2} was left alone"}),
        ("a recorded port the router now holds for another machine left to it", CLIENT, ["0"],
         {"prepare": f"forward {{port}} TRUE FALSE; forwarded; upnpc -u {ROOT_DESC} -d {{port}} TCP >/dev/null; "
                     f"upnpc -u {ROOT_DESC} -a {CLIENT2} {{port}} {{port}} TCP >/dev/null",
          "stderr": f"it holds the port for {CLIENT2}, left as it is", "after": "entries 0"}))],
    # Before, close answered "0" with the mappings gone and the record holding them, and renew
    # then opened them again; renew itself answered "0" with what it renewed unrecorded.
    *[Row(f"the record's folder full: {name}", command, None, held="TCP UDP", headline=says,
          prepare="forward {port} TRUE TRUE; forwarded; " + edit + FULL_STATE,
          after=f"(entries 2 && ! grep -q closing $XDG_STATE_HOME/varneth/forwards) && r=0 || r=1; {FULL_STATE_GONE}; [ $r = 0 ]")
      for name, command, edit, says in (
          ("close closes nothing and says so", CLOSE, "", "The record of open ports could not be written, so nothing was closed"),
          ("renew does not answer 0", "renew\r\n", DUE + "; ",
           "The record of open ports could not be written, so what this renewal learnt is not kept"))],
    # Before, the forward answered "0" and left its ufw rule and mappings unrecorded: close could not find the rule.
    Row("forward with ufw, the record's folder full: what it made taken back, not 0", FORWARD, None, firewall="ufw",
        setup=FULL_STATE, after=FULL_STATE_GONE, headline="The ports just opened could not be recorded, so they were closed again"),
    Row("forward with ufw while another run holds the record: nothing opened", FORWARD, None, firewall="ufw",
        setup=HOLD_RECORD, after="kill $(cat $W/holder.pid)", headline="Port {port} was not opened. The record of open ports"),
    # It lists the IPv4 mappings it holds as another's; before, our pinholes on the first showed as held there.
    Row("list: another device at the router's address: our pinholes on the first not shown", LIST, fresh=True,
        restart="other-device", prepare="forward {port} TRUE TRUE '' TRUE; forwarded", held="TCP UDP",
        pinholes="TCP UDP", listed=tuple(rf"{p}\t{{port}}\t{ESCAPED}\t{{port}}\tIPv4\tUPnP\t7[12]\d\d\tno\tno\tno\t.*"
                                        for p in ("TCP", "UDP"))),
    # Before, "No router on this network answered": the window could not show what it opened instead.
    Row("list: behind carrier-grade NAT, the pinholes opened instead", LIST, None, "miniupnpd cgnat", fresh=True,
        pinholes="TCP UDP", prepare="forward {port} TRUE TRUE '' TRUE; [ \"$(head -n 1 $W/log.txt)\" = 'Invalid IP' ]",
        listed=tuple(rf"{p}\t{{port}}\t{re.escape(CLIENT6)}\t{{port}}\tIPv6\tUPnP\t7[12]\d\d\tyes\tyes\tno\t"
                     for p in ("TCP", "UDP"))),
    Row("list: no router answered: one reason line", LIST, gateway="none", headline=NO_ROUTER_LIST),
    Row("renew: no default gateway: the reason, nothing forgotten", "renew\r\n", held="TCP UDP",
        prepare="forward {port} TRUE TRUE; forwarded", setup="ip route del default",
        after="ip route add default via 10.77.0.1 && entries 2", headline="This machine has no default gateway now"),
    # The mappings stay on the gateway, now another program's as far as this machine knows.
    Row("list: a damaged record is set aside and reported", LIST, fresh=True, held="TCP UDP",
        listed=tuple(rf"{p}\t{{port}}\t{ESCAPED}\t{{port}}\tIPv4\tUPnP\t7[12]\d\d\tno\tno\tno\tHLMX {{port}} {p}"
                     for p in ("TCP", "UDP")),
        prepare="forward {port} TRUE TRUE; forwarded; record 's/protocol=TCP/protocol=SCTP/'",
        after="grep -q 'line 3: the protocol' $XDG_STATE_HOME/varneth/forwards.damaged-*.reason",
        headline="The record of the ports this tool opened was damaged and has been set aside"),
    Row("20 forwards at once: each recorded and listed", LIST, fresh=True,
        prepare="for i in $(seq 10 29); do mkdir $W/f$i; printf 'kavro\\r\\n%s\\r\\n%s\\r\\nTRUE\\r\\nFALSE\\r\\n' "
                f"{CLIENT} 281$i >$W/f$i/kavro.cmd; (cd $W/f$i && $K >>$W/prepare.out 2>&1) & done; wait; "
                # a burst of 20 searches at once may go unanswered within the search's second: those ask again
                "for i in $(seq 10 29); do [ \"$(cat $W/f$i/log.txt)\" = 0 ] || (cd $W/f$i && $K >>$W/prepare.out 2>&1); "
                "done; entries 20",
        listed=(rf"TCP\t281\d\d\t{ESCAPED}\t281\d\d\tIPv4\tUPnP\t7[12]\d\d\tyes\tyes\tno\tHLMX 281\d\d TCP",) * 20),
    # The command line, as on a server without a desktop: the box's words on standard error. Under Wine,
    # varneth typed in cmd in the programs' folder: varneth.com, not Varneth.exe, waited for with its status;
    # Windows' own NAT object unregistered there, so our client maps as on Linux.
    Row("command line: forward", "", [], cli=f"forward {CLIENT} {{port}}", held="TCP UDP",
        stderr=("Port forward success!\nReachable at 11.77.0.1:{port}\n", KEPT), after="entries 2", runs="linux wine",
        windows="unregistered"),
    Row("command line: list --tab, the module's fields", "", cli="list --tab", fresh=True, held="TCP UDP",
        prepare="forward {port} TRUE TRUE; forwarded",
        listed=(LISTED.format(protocol="TCP", firewall="no"), LISTED.format(protocol="UDP", firewall="no")),
        runs="linux wine", windows="unregistered"),
    Row("command line: close", "", [], cli=f"close {CLIENT} {{port}} --udp", held="TCP",
        prepare="forward {port} TRUE TRUE; forwarded", stderr=f"Port {{port}} to {CLIENT} is closed (UDP).",
        after="entries 1", runs="linux wine", windows="unregistered"),
    Row("command line: close --all, all that is recorded, a pinhole too", "", [], cli="close --all",
        prepare="forward {port} TRUE TRUE; forward {other} FALSE TRUE; forward {other} TRUE FALSE '' TRUE; entries 5",
        stderr="Every port this tool opened for you is closed.", runs="linux wine", windows="unregistered",
        after="entries 0 && ! upnpc -u " + ROOT_DESC + " -l | grep -q 'HLMX {other}'"),
    # The uninstaller's close of a record emptied earlier, wherever the machine is now.
    Row("command line: close --all, nothing recorded, no default gateway: nothing to close", "", [], cli="close --all",
        gateway="none", prepare="mkdir -p $XDG_STATE_HOME/varneth && printf 'varneth forwards 1\\n' "
                                ">$XDG_STATE_HOME/varneth/forwards",
        setup="ip route del default", after="ip route add default via 10.77.0.1",
        stderr="Every port this tool opened for you is closed.", runs="linux wine"),
    Row("command line: renew, half the lease passed", "", [], cli="renew", held="TCP UDP",
        prepare="forward {port} TRUE TRUE; forwarded; " + DUE, stderr="The router holds every port this tool keeps open",
        after="entries 2 && ! grep -qw granted=1000 $XDG_STATE_HOME/varneth/forwards"),
    # The setup as Windows users run it, silently, in a prefix of the row's own: the command line of the copy
    # it installed, Windows' own NAT object mapping, the stand-in firewall letting the ports in. The uninstaller
    # runs last, while a renewal holds the record past close's own wait: it waits for the renewal, then closes
    # through that command line all the record holds; the router and the firewall then hold nothing of the port.
    Row("setup: installed for this user; a forward from there; the uninstaller waits for a renewal, then closes all "
        "it opened, and only that",
        "", [], cli=f"forward {CLIENT} {{port}}", firewall="standin", fresh=True, runs="wine", windows="installed",
        prepare=f"upnpc -u {ROOT_DESC} -e Game -a {CLIENT} {{other}} {{other}} UDP >/dev/null",
        stderr=("Port forward success!\nReachable at 11.77.0.1:{port}\n", SIGNED_IN),
        after=" && ".join([
            wine.installed(), wine.TASK_REGISTERED, "entries 2", "[ $(grep -c ' HLMX {port} ' $STANDIN) = 2 ]",
            f"upnpc -u {ROOT_DESC} -l >$W/held", f"[ $(grep -cE \"(TCP|UDP) +{{port}}->{CLIENT}:{{port}} +'HLMX \" $W/held) = 2 ]",
            HOLD_RECORD, wine.uninstalled("/PURGE"), "[ ! -e $LOCAL/Varneth ]", f"upnpc -u {ROOT_DESC} -l >$W/left",
            "! grep -q HLMX $W/left", f"grep -qE \"UDP +{{other}}->{CLIENT}:{{other}} +'Game'\" $W/left"])),
    # A second copy of the setup over the first, then a third into another folder while this machine has no
    # router: the first copy's folder goes, the record stays, and each registers the task again from its folder.
    # Wine keeps no task's action to read back: the task is taken away before each, so only the setup can have
    # registered it, from the only copy left. Uninstalled silently without /PURGE, the emptied record stays.
    Row("setup: installed again, then into another folder: the record kept, the task registered from there; "
        "/S alone keeps the emptied record",
        "", cli="list --tab", firewall="standin", fresh=True, runs="wine", windows="installed",
        prepare="forward {port} TRUE TRUE; forwarded",
        setup=" && ".join([wine.TASK_DELETED, wine.SETUP_AGAIN.format(""), wine.installed(), wine.TASK_HELD,
                           "ip route del default", f"if {wine.TASK_DELETED} && "
                           f"{wine.SETUP_AGAIN.format('/D=$(winepath -w $LOCAL/Tools/Ports)')}; then ok=0; else ok=1; fi",
                           "ip route add default via 10.77.0.1", "[ $ok = 0 ]", "[ ! -e $INSTALLED ]",
                           wine.installed("$LOCAL/Tools/Ports"),
                           wine.TASK_HELD]),
        listed=tuple(rf"{p}\t{{port}}\t{ESCAPED}\t{{port}}\tIPv4\tsystem\t\d+\tyes\tyes\tyes\tHLMX {{port}} {p}"
                     for p in ("TCP", "UDP")),
        after=wine.uninstalled("", "$LOCAL/Tools/Ports") + " && entries 0"),
    # The router gone when the tool is removed: close --all lists what it left open (each mapping, each firewall
    # entry), the uninstaller keeps that in a file beside the record, and keeps the record, /PURGE or not.
    Row("setup: the router stopped before uninstalling: the programs go, the record and still-open.txt stay",
        "", cli="close --all", status=1, firewall="standin", fresh=True, runs="wine", windows="installed",
        prepare="forward {port} TRUE TRUE; forwarded", setup="$LAB stop-daemon", held="TCP UDP", opened="tcp udp",
        stderr="Could not close every port this tool opened for you.",
        listed=(*(rf"{p} {{port}} to {ESCAPED} \(system\) on the router 10\.77\.0\.1: the router keeps it open for at "
                  r"most about 7 days more, then closes it by itself\." for p in ("TCP", "UDP")),
                *(rf'The firewall entry "HLMX {{port}} {p}" stays; an administrator removes it with: netsh advfirewall '
                  rf'firewall delete rule name="HLMX {{port}} {p}"' for p in ("TCP", "UDP"))),
        # The router back for the rows after.
        after="ok=0; " + " && ".join([
            wine.uninstalled("/PURGE"), "entries 2", "cd $LOCAL/Varneth",
            "[ \"$(ls | tr '\\n' ' ')\" = 'forwards forwards.lock still-open.txt ' ]",
            "grep -q 'could not close everything it opened' still-open.txt",
            "sed -n 4p still-open.txt | grep -q '^Could not close every port this tool opened for you'",
            "[ $(grep -c 'keeps it open for at most about 7 days more' still-open.txt) = 2 ]",
            "[ $(grep -c 'netsh advfirewall firewall delete rule name=\"HLMX {port} [TU][CD]P\"' still-open.txt) = 2 ]"]) +
        " || ok=1; $LAB start-daemon >/dev/null; [ $ok = 0 ]"),
]


# Every run keeps its record of forwards in its scratch directory, never in a home.
STATE = "XDG_STATE_HOME={work}/state"
# forward PORT TCP UDP [ADDRESS] [IPV6]: the fifth, TRUE, asks for pinholes too; ask COMMAND runs Kavro's
# command (printf's %b escapes).
PREPARE = ('forward() { printf "kavro\\r\\n%s\\r\\n%s\\r\\n%s\\r\\n%s\\r\\n%b" "${4:-' + CLIENT + '}" "$1" "$2" "$3" '
           '"${5:+$5\\r\\n}" '
           '>$W/kavro.cmd; (cd $W && $AS $K >>$W/prepare.out 2>&1); }; '
           'ask() { printf "%b" "$1" >$W/kavro.cmd; (cd $W && $AS $K >>$W/prepare.out 2>&1); }; '
           'record() { sed -i "$1" $XDG_STATE_HOME/varneth/forwards; }; '
           'forwarded() { [ "$(tr -d "\\r" <$W/log.txt)" = 0 ]; }; '
           'entries() { [ "$(grep -c ^mapping $XDG_STATE_HOME/varneth/forwards)" = "$1" ]; }; ')


def lab(*args, **kwargs):
    return subprocess.run([LAB, *args], capture_output=True, text=True, **kwargs)


class Fake:
    """fake_gateway.py in a lab namespace; stop() gives what it was asked."""

    def __init__(self, role, options):
        address = {"gw": "10.77.0.1", "lan": CLIENT, "lan2": CLIENT2, "wan": WAN_PEER}[role]
        self.process = subprocess.Popen([LAB, "exec", role, sys.executable, FAKE, "--address", address,
                                         *options.split()], stdout=subprocess.PIPE, text=True)
        if self.process.stdout.readline().strip() != "ready":
            raise RuntimeError(f"fake gateway did not start in {role}")

    def stop(self):
        self.process.terminate()
        return self.process.communicate(timeout=10)[0].split()


def held(port):
    """The gateway's nft forwards of port, whichever protocol made them: {protocol: client}."""
    rules = lab("exec", "gw", "nft", "list", "chain", "inet", "filter", "prerouting_miniupnpd").stdout
    return {{"0x6": "TCP", "0x11": "UDP"}[number]: to for number, to in
            re.findall(rf"@nh,72,8 (0x6|0x11) th dport {port} dnat ip to (\S+):{port}", rules)}


def pinholes(port):
    """The gateway's IPv6 pinholes for port, whichever address they are for: {protocol: address}."""
    rules = lab("exec", "gw", "nft", "list", "chain", "inet", "filter", "miniupnpd").stdout
    return {{"0x6": "TCP", "0x11": "UDP"}[number]: str(ipaddress.IPv6Address(int(to, 16))) for to, number in
            re.findall(rf"th dport {port} @nh,192,128 0x([0-9a-f]+) @nh,48,8 (0x6|0x11) accept", rules)}


# A listener on the client's port and the one after it; the WAN peer tries both over IPv6.
LISTEN6 = ("import socket, sys, time\nfor p in (int(sys.argv[1]), int(sys.argv[1]) + 1):\n"
           "    s = socket.socket(socket.AF_INET6); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)\n"
           "    s.bind(('::', p)); s.listen(); globals().setdefault('kept', []).append(s)\n"
           "print('listening', flush=True); time.sleep(5)\n")
CONNECT6 = ("import socket, sys\nfor p in (int(sys.argv[1]), int(sys.argv[1]) + 1):\n"
            "    c = socket.socket(socket.AF_INET6); c.settimeout(1)\n"
            f"    print(p, c.connect_ex(('{CLIENT6}', p)) == 0)\n")


def peer_reaches(port):
    """Whether the WAN peer connects over IPv6 to the client's port, and to the port after it: [bool, bool]."""
    listener = subprocess.Popen([LAB, "exec", "lan", sys.executable, "-c", LISTEN6, str(port)], stdout=subprocess.PIPE,
                                text=True)
    try:
        listener.stdout.readline()
        tried = lab("exec", "wan", sys.executable, "-c", CONNECT6, str(port)).stdout.split()
        return [each == "True" for each in tried[1::2]]
    finally:
        listener.kill()
        listener.wait()


def opened(firewall, port, zone=""):
    if firewall == "ufw":   # our rule for IPv4 only: one in user6.rules counts as "tcp6" or "udp6"
        files = [lab("exec", "lan", "cat", f"/etc/ufw/user{family}.rules").stdout for family in ("", "6")]
        ours = lambda p, anywhere: (f"### tuple ### allow {p} {port} {anywhere} any {anywhere} in comment="
                                    + f"HLMX {port} {p.upper()}".encode().hex())
        return ({p for p in ("tcp", "udp") if ours(p, "0.0.0.0/0") in files[0].splitlines()} |
                {p + "6" for p in ("tcp", "udp") if ours(p, "::/0") in files[1].splitlines()})
    if firewall == "firewalld":   # a port open now or permanently alone is "tcp?", which no row expects
        ports = [set(lab("exec", "lan", "firewall-cmd", *how, *([f"--zone={zone}"] if zone else []),
                         "--list-ports").stdout.split()) for how in ([], ["--permanent"])]
        held = [[f"{port}/{p}" in listed for listed in ports] for p in ("tcp", "udp")]
        return {p + ("" if all(both) else "?") for p, both in zip(("tcp", "udp"), held) if any(both)}
    if firewall == "both":
        return {f"{each}:{p}" for each in ("ufw", "firewalld") for p in opened(each, port, zone)}
    return set()


def in_client():
    """The processes running in the client's network namespace, but the runner's own services (and `ip` itself,
    when this runs there too)."""
    def name(pid):
        try:
            return open(f"/proc/{pid}/comm").read().strip()
        except OSError:
            return ""
    return {pid for pid in subprocess.run(["ip", "netns", "pids", lab("ns", "lan").stdout.strip()], capture_output=True,
                                          text=True).stdout.split() if name(pid) not in ("", *RUNNER.services)}


def memcheck_clean(work):
    """The module freed every block; it and the gateway calls it forks (which end with _exit,
    holding its heap) made no memory error and lost nothing outright. A child that goes on to
    run another program (nft) leaves memcheck's header alone."""
    logs = {path.rsplit(".", 1)[1]: open(path).read() for path in glob.glob(f"{work}/memcheck.*")}
    module = [text for text in logs.values() if re.search(r"Parent PID: (\d+)", text)[1] not in logs]
    ran_another = lambda text: re.fullmatch(r"(==\d+== [^\n]*\n)*==\d+== Parent PID: \d+\n==\d+== \n", text)
    return (len(module) == 1 and "All heap blocks were freed" in module[0]
            and all("ERROR SUMMARY: 0 errors" in text or ran_another(text) for text in logs.values()))


def untold(stderr):
    """Each line of standard error that is neither a sentence of the catalogue, tagged with its id and
    in its words, nor another program's known line; the ids seen are kept for the whole run."""
    lines = list(catalogue.told(stderr))
    TAGS_SEEN.update(id for _, id, _ in lines)
    return [text for mark, id, text in lines
            if not (SENTENCES[id].fullmatch(text) if id in SENTENCES else not mark and FOREIGN.fullmatch(text))]


def run(row, port, work):
    """Runs the row in work; returns what went wrong and what was seen."""
    fill = lambda text: text.replace("{port}", str(port)).replace("{other}", str(port + 5000))
    os.chmod(work, 0o777)    # a run as another user writes its log.txt here
    os.mkdir(f"{work}/tmp", 0o755)
    group = "nogroup" if row.user == "nobody" else row.user
    user = ["setpriv", f"--reuid={row.user}", f"--regid={group}", "--clear-groups"] if row.user != "root" else []
    kavro = RUNNER.command(row, work)
    # Its output unread: a program Wine starts on a step's behalf (the desktop) outlives the step
    # and would hold a pipe open for good.
    shell = lambda script, role="lan": subprocess.run(
        [*RUNNER.on(role), "env", f"W={work}", f"K={' '.join(kavro)}", STATE.format(work=work), f"AS={' '.join(user)}",
         f"LAB={LAB}", "sh", "-ec", fill(script)], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL).returncode == 0
    if row.fresh:
        lab("start-daemon", *row.gateway.split()[1:], "forget")
    if row.lan2 and not shell(row.lan2, "lan2"):
        return ["lan2"], ""
    if row.prepare and not shell(PREPARE + row.prepare):
        return ["prepare"], open(f"{work}/prepare.out").read() if os.path.exists(f"{work}/prepare.out") else ""
    if row.restart is not None:
        lab("start-daemon", *row.gateway.split()[1:], *row.restart.split())
    start = work if row.cli is None else f"{work}/start"
    if row.cli is None:
        with open(f"{work}/kavro.cmd", "w", newline="") as command:
            command.write(fill(row.command))
    else:
        os.mkdir(start)
    if row.setup and not shell(row.setup):
        return ["set-up"], ""
    memcheck = [word.replace("{work}", work) for word in MEMCHECK] if row.memcheck else []
    program = kavro if row.cli is None else RUNNER.command_line(row, fill(row.cli).split(), work)
    kavro_run = [*user, sys.executable, "-c", MEASURE, *memcheck, *program]
    before, started = in_client(), time.monotonic()
    # Its output goes to files, not pipes: a program Wine starts on its behalf (its desktop, its
    # services) may hold a pipe open long after the run, and the row would wait on it.
    out, err = open(f"{work}/run.out", "w+"), open(f"{work}/run.err", "w+")
    process = subprocess.Popen([*RUNNER.on("lan"), "env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", f"TMPDIR={work}/tmp", f"PEAK={work}/peak", STATE.format(work=work),
                                *row.env.replace("$W", work).split(), *kavro_run],
                               cwd=start, stdout=out, stderr=err, start_new_session=True)
    orphans = set()
    if row.signal:   # a stopped Kavro's children end by its deadline all the same
        time.sleep(1)
        kavro_pid = open(f"/proc/{process.pid}/task/{process.pid}/children").read().split()[0]
        os.kill(int(kavro_pid), row.signal)
        if row.signal == signal.SIGSTOP:
            time.sleep(row.seconds - 1)
            orphans = in_client() - before - {str(process.pid), kavro_pid}
            os.kill(int(kavro_pid), signal.SIGKILL)
    try:
        process.wait(timeout=row.seconds + 20)
    except subprocess.TimeoutExpired:   # a run that hangs is ended, with all it started
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()
    with out, err:
        out.seek(0), err.seek(0)
        stdout, stderr = out.read(), err.read()
    seconds = time.monotonic() - started
    memory = int(open(f"{work}/peak").read()) // 1024 if os.path.exists(f"{work}/peak") else 0
    log = f"{work}/log.txt"
    # Bytes that are no UTF-8 stay apart from U+FFFD: each becomes a lone surrogate.
    result = (open(log, encoding="utf-8", errors="surrogateescape").read().splitlines()
              if os.path.isfile(log) and not os.path.islink(log) else None)
    if row.cli is not None:   # the command line's folder of its own is gone; it wrote nothing where it started
        result, cli_clean = stdout.splitlines(), not os.listdir(f"{work}/tmp") and not os.listdir(start)
    time.sleep(0.2)   # what the run started is gone by now, or never goes
    left = in_client() - before
    # list answers in the gateway's order: each line matches a pattern of its own.
    listed = lambda: len(result) == len(row.listed) and all(
        any(re.fullmatch(fill(pattern), line) for line in result) for pattern in row.listed) and all(
        any(re.fullmatch(fill(pattern), line) for pattern in row.listed) for line in result)
    # Standard error as people read it (each line without its tag), its headlines' texts, its ids; a Row's
    # pieces, one or a tuple (or list) of them.
    told = list(catalogue.told(stderr))
    said, headlines = "".join(text + "\n" for _, _, text in told), "\n".join(t for mark, _, t in told if mark == ">>")
    pieces = lambda value: (value,) if isinstance(value, str) else value
    checks = [(row.result == result if row.result is not None or row.signal else result is not None and listed()
               if row.listed is not None else result and len(result) == 1 and result != ["0"],
               f"result {row.listed or row.result or 'not 0'}"),
              (row.signal or process.returncode == row.status, f"exit status {row.status}"),
              (row.cli is None or cli_clean, "nothing left in TMPDIR or the start folder"),
              *[(fill(here(piece)) in said, f"standard error '{here(piece)}'") for piece in pieces(row.stderr)
                if RUNNER.name == "wine" or not isinstance(piece, WindowsSays)],
              (not isinstance(row.stderr, list) or  # each piece after the one before it
               re.search("(?s)" + ".*?".join(re.escape(fill(here(piece))) for piece in row.stderr), said),
               "standard error in this order"),
              *[(fill(here(piece)) in headlines, f"headline '{here(piece)}'") for piece in pieces(row.headline)],
              *[(fill(piece) not in said, f"standard error without '{piece}'") for piece in pieces(row.unsaid)],
              *[(fill(piece) in stdout, f"standard output '{piece}'") for piece in pieces(row.stdout)],
              *[(id in {id for _, id, _ in told}, f"a line tagged {id}") for id in pieces(row.ids)],
              # The command line's words are the window's own.
              *[(False, f"a line of the catalogue: {line!r}") for line in (untold(stderr) if row.cli is None else ())],
              (row.signal == signal.SIGSTOP or seconds < row.seconds, f"under {row.seconds} s"),
              (not orphans, f"its children end by the deadline: {orphans}"),
              (row.memcheck or memory < MEMORY_MB, f"under {MEMORY_MB} MB"),
              (not row.memcheck or memcheck_clean(work), "memcheck: no error, every block freed"),
              (not left, f"nothing left running: {left}"),
              # Before `after`, which may undo what keeps the peer out.
              (row.peer6 is None or peer_reaches(port) == [row.peer6, False],
               "the WAN peer reaches the port over IPv6, and no other" if row.peer6 else
               "the WAN peer reaches neither port over IPv6"),
              (not row.after or shell(PREPARE + row.after), row.after)]
    return [what for passed, what in checks if not passed], f"{result}, {seconds:.2f} s, {memory} MB, {stderr!r}"


def check(row, port):
    gateway = Fake(row.fake_on, row.gateway) if row.gateway.split()[:1] not in (["miniupnpd"], ["none"]) else None
    outside = Fake("wan", "") if row.outside else None
    if row.drop is not None:
        lab("exec", "gw", "nft", "add table inet drop_5351; add chain inet drop_5351 input "
            f"{{ type filter hook input priority -10; }}; add rule inet drop_5351 input udp dport 5351 {row.drop} drop")
    try:
        with tempfile.TemporaryDirectory(prefix="kavro-e2e.") as work:
            try:
                RUNNER.start(row, work)
                problems, seen = run(row, port, work)
            finally:
                problems_after = RUNNER.finish(row, work)
    finally:
        asked, sent_outside = [each.stop() if each else [] for each in (gateway, outside)]
        if row.drop is not None:
            lab("exec", "gw", "nft", "delete", "table", "inet", "drop_5351")
    problems += problems_after
    holds = [word[6:] for word in asked if word.startswith("holds=")][-1:]
    checks = [((dict.fromkeys(filter(None, holds[0].split(",")), CLIENT) if holds else held(port)) ==
               {p.split("@")[0]: (p.split("@") + [CLIENT])[1] for p in row.held.split()}, f"held {row.held}"),
              (RUNNER.opened(row.firewall, port, row.zone) == set(row.opened.split()), f"opened {row.opened}"),
              (row.asked is None or asked.count("AddPortMapping") == row.asked, f"{row.asked} asked"),
              (not sent_outside, "nothing sent outside the subnet"),
              (row.pinholes is None or pinholes(port) == dict.fromkeys(row.pinholes.split(), CLIENT6),
               f"pinholes {row.pinholes or 'none'}")]
    problems += [what for passed, what in checks if not passed]
    print(("ok   " if not problems else "FAIL ") + row.name + (f": {problems}\n     {seen}" if problems else ""),
          flush=True)
    return not problems


class Linux:
    """The runner of the rows on Linux: Kavro on the lab's client, the lab brought up for each firewall."""
    name, services, opened = "linux", (), staticmethod(opened)
    runs = staticmethod(lambda row: "linux" in row.runs.split())
    check = staticmethod(lambda firewall: lab("check", firewall))
    up = staticmethod(lambda firewall: lab("up", firewall))
    down = staticmethod(lambda: lab("down"))
    on = staticmethod(lambda role: [LAB, "exec", role])
    start = staticmethod(lambda row, work: None)
    finish = staticmethod(lambda row, work: [])

    def __init__(self, kavro):
        self.kavro = kavro

    def command(self, row, work):
        return [self.kavro]

    def command_line(self, row, arguments, work):
        return [os.path.join(os.path.dirname(self.kavro), "Varneth"), *arguments]


def main():
    global RUNNER
    kavro, pattern, failures, skipped, groups = os.path.realpath(sys.argv[1]), (sys.argv[2:] or [""])[0], 0, 0, {}
    RUNNER = wine.Wine(kavro, LAB, Fake) if kavro.endswith(".exe") else Linux(kavro)
    # The build's polkit action for the helper beside Kavro.
    os.environ["KAVRO_LAB_POLKIT_ACTIONS"] = os.path.join(os.path.dirname(kavro), "..", "polkit",
                                                          "org.varneth.kavro.ufw-allow.policy")
    for port, row in enumerate(ROWS, start=18100):
        if re.search(pattern, row.name) and RUNNER.runs(row):
            groups.setdefault(row.firewall, []).append((port, row))
    for firewall, rows in groups.items():
        status = RUNNER.check(firewall)
        if status.returncode != 0:
            print(f"skip the rows with firewall {firewall}: {status.stderr.strip()}", flush=True)
            skipped, failures = skipped + 1, failures + (status.returncode != 77)
            continue
        try:
            up, daemon = RUNNER.up(firewall), "miniupnpd"
            if up.returncode != 0:
                print(f"FAIL lab up {firewall}: {up.stderr}")
                failures += 1
                continue
            for port, row in rows:
                wanted = row.gateway if row.gateway.startswith("miniupnpd") else ""
                if wanted != daemon:
                    lab("start-daemon", *wanted.split()[1:]) if wanted else lab("stop-daemon")
                    daemon = wanted
                failures += not check(row, port)
                if row.restart is not None:   # the rows after meet the gateway as they ask for it
                    daemon = None
        finally:
            RUNNER.down()
    # Wine runs a few of the rows only.
    whole = not pattern and RUNNER.name == "linux"
    unseen = set(catalogue.window_ids(os.path.join(HERE, "../.."))) - TAGS_SEEN if whole else set()
    if unseen:
        print(f"FAIL no row saw the ids the window acts on: {sorted(unseen)}", flush=True)
        failures += 1
    print(f"{failures} failure(s)")
    return 1 if failures else 77 if skipped == len(groups) else 0


if __name__ == "__main__":
    sys.exit(main())
