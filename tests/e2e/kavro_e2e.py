#!/usr/bin/env python3
"""End to end: the built Kavro, run as the window runs it (no arguments, in a scratch
directory holding kavro.cmd), on the client of tests/labs/lab; one table row per run.
A row names the gateway (miniupnpd, options of tests/labs/fake_gateway.py, or none), the
client's firewall, the user and the command file, and what must follow: the result, the
mappings held, the ports let in, standard error, time, memory, nothing sent elsewhere.

    kavro_e2e.py KAVRO     (KAVRO_LAB_PREFIX names the lab; exit 77: cannot run here)
"""
import json
import os
import re
import signal
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass

HERE = os.path.dirname(os.path.realpath(__file__))
LAB, FAKE = os.path.join(HERE, "../labs/lab"), os.path.join(HERE, "../labs/fake_gateway.py")
CLIENT, CLIENT2, WAN_PEER = "10.77.0.2", "10.77.0.3", "10.78.0.2"
ADMIN = "Failed to initialize firewall. Try running with proper admin privileges."
MEMORY_MB = 256
ANY = ["*"]                     # a result not looked at
# Runs Kavro and writes the largest resident size of it and its children to the file in PEAK.
MEASURE = ("import os, resource, subprocess, sys\nstatus = subprocess.call(sys.argv[1:])\n"
           "open(os.environ['PEAK'], 'w').write(str(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss))\n"
           "sys.exit(status)\n")
# Holds ufw's lock on the client for a while, as another ufw would.
HOLD_UFW_LOCK = ("(sleep {0}; exec python3 -c 'import fcntl, time; lock = open(\"/run/ufw.lock\", \"w\"); "
                 "fcntl.lockf(lock, fcntl.LOCK_EX); print(\"held\", flush=True); time.sleep({1}); print(\"done\")'"
                 ") >$W/lock.out 2>&1 </dev/null &")
LOCK_DONE = "until grep -q done $W/lock.out; do sleep 0.2; done"


@dataclass
class Row:
    name: str
    command: str                # kavro.cmd; "{port}" is the row's own port
    result: list = None         # the lines of log.txt; None: one line, not "0"
    gateway: str = "miniupnpd"  # miniupnpd, none, or fake_gateway.py options
    firewall: str = "none"
    user: str = "root"
    held: str = ""              # protocols miniupnpd holds for the client afterwards
    opened: str = ""            # protocols the firewall lets in afterwards (firewalld: also permanently)
    stderr: tuple = ()          # what standard error says, each piece somewhere
    seconds: float = 10
    setup: str = ""             # shell on the client in the scratch directory $W, before the run
    lan2: str = ""              # shell on the second client, before the run
    after: str = ""             # shell there that must succeed afterwards
    outside: bool = False       # a gateway at the WAN peer hears nothing
    asked: int = None           # AddPortMapping requests the fake gets
    cgnat: bool = False         # the gateway is behind carrier-grade NAT
    reached: bool = False       # the WAN peer reaches the client through the mapped port
    fake_on: str = "gw"         # where the fake gateway runs
    crowded: bool = False       # the client has 50 more interfaces, as a host with many containers
    zone: str = ""              # firewalld's zone to look in
    signal: tuple = ()          # (SIGKILL or SIGSTOP, seconds): sent to Kavro that long after its start
    lab: str = ""               # more words for "lab up": natpmp (NAT-PMP and PCP on UDP 5351), no-upnp
    gw: str = ""                # shell on the gateway before the run; its table drop_5351 goes after it
    forwarded: str = None       # protocols the gateway's nft rules forward to forwarded_to afterwards
    forwarded_to: str = CLIENT
    fake_holds: str = None      # what a PCP or NAT-PMP fake holds afterwards ("TCP UDP", or nothing)
    sprayed: bool = False       # lan2 floods the client's ports with forged PCP and NAT-PMP answers


def forward(tcp=True, udp=True, address=CLIENT, port="{port}"):
    return f"kavro\r\n{address}\r\n{port}\r\n{'TRUE' if tcp else 'FALSE'}\r\n{'TRUE' if udp else 'FALSE'}\r\n"


GETIPS = "getips\r\n"
# The gateway silently drops datagrams to its port 5351 that match, for one row.
DROP_5351 = ("nft -f - <<'EOF'\ntable inet drop_5351 {{\n chain input {{\n  type filter hook input priority -10;\n"
             "  udp dport 5351 {} drop\n }}\n}}\nEOF")
# The second client maps the port first, through PCP.
PCP_BY_CLIENT2 = ("python3 -c \"import os, socket, struct\n"
                  "s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.settimeout(2)\n"
                  "s.bind(('10.77.0.3', 0)); s.connect(('10.77.0.1', 5351))\n"
                  "mapped = lambda a: bytes(10) + b'\\xff\\xff' + socket.inet_aton(a)\n"
                  "s.send(bytes([2, 1, 0, 0]) + struct.pack('!I', 3600) + mapped('10.77.0.3') + os.urandom(12)"
                  " + bytes([6, 0, 0, 0]) + struct.pack('!HH', {port}, {port}) + mapped('0.0.0.0')); s.recv(1100)\"")
PORT_CONTROL_FAULTS = (("wrong-nonce", "did not answer"), ("wrong-opcode", "did not answer"),
                       ("truncated", "did not answer"), ("oversized", "did not answer"), ("other-port", "instead of"),
                       ("lifetime-zero", "holds no such mapping"))
INVALID = "Invalid IP"
# The helper through pkexec, for a user polkit allows: each of these is refused (status 2).
HELPER_REFUSES = ("for a in '0|tcp' '65536|tcp' '{port}; rm -rf /|tcp' '{port}|tcp/udp' '{port}|tcp|--dry-run' "
                  f"'{{port}}|tcp|{'n' * 65}'; do IFS='|'; set -- $a; unset IFS; "
                  "st=0; setpriv --reuid=kavro-allowed --regid=kavro-allowed --clear-groups env -i /usr/bin/pkexec "
                  "\"${K%/*}/kavro-ufw-allow\" \"$@\" >/dev/null 2>&1 || st=$?; [ $st = 2 ]; done; "
                  "! ufw show added | grep -q {port}")
NOT_OPENED = "Firewall initialized well, but failed to open ports on it."
# A root-only file elsewhere, which links planted at kavro.cmd or log.txt point at.
SECRET = "mkdir $W/away; echo getips >$W/away/secret; chmod 600 $W/away/secret"
SECRET_KEPT = "[ \"$(cat $W/away/secret)\" = getips ] && [ \"$(ls $W/away)\" = secret ]"
# 200 more runs at once, in folders of their own: each answers as the row's own run did.
PARALLEL = ("for i in $(seq 200); do mkdir $W/$i; cp $W/kavro.cmd $W/$i; (cd $W/$i && TMPDIR=$W/tmp $K) & done; wait; "
            "for i in $(seq 200); do cmp -s $W/$i/log.txt $W/log.txt; done; [ -z \"$(ls -A $W/tmp)\" ]")
# At $TMPDIR/ip_c.tmp, planted: a victim file of ours must stay as it was.
VICTIM = "printf '   IPv4 Address. . . : 6.6.6.6\\n' | tee $W/victim >$W/victim.was"
LINK = VICTIM + "; ln -s $W/victim $W/tmp/ip_c.tmp"
KEPT = "cmp $W/victim $W/victim.was"
# Left out of the address list: an interface that is down, one up without a carrier.
INTERFACES = ("ip link add k-down type veth peer name k-down1; ip addr add 10.9.1.1/24 dev k-down; "
              "ip link add k-nocarrier type veth peer name k-peer; ip addr add 10.9.2.1/24 dev k-nocarrier; "
              "ip link add k-up type veth peer name k-up1; ip addr add 10.9.3.1/24 dev k-up; "
              "for i in k-nocarrier k-up k-up1; do ip link set $i up; done")

ROWS = [
    Row("no command file", "", ["1"], gateway="none", setup="rm $W/kavro.cmd"),
    Row("unreadable command file", "", ["1"], gateway="none", setup="rm $W/kavro.cmd; mkdir $W/kavro.cmd"),
    Row("unknown command keeps the result", "GETIPS\r\n", ["x"], gateway="none", setup="echo x >$W/log.txt"),
    *[Row(f"{name}: neither followed nor waited on", command, result, gateway="none", seconds=5,
          setup=f"{SECRET}; {plant}", after=f"{SECRET_KEPT} && [ -f $W/log.txt ] && [ ! -L $W/log.txt ]")
      for name, command, result, plant in (
          ("kavro.cmd links to a secret", "", ["1"], "rm $W/kavro.cmd; ln -s $W/away/secret $W/kavro.cmd"),
          ("kavro.cmd is a FIFO", "", ["1"], "rm $W/kavro.cmd; mkfifo $W/kavro.cmd"),
          ("log.txt links to a secret", GETIPS, [CLIENT], "ln -s $W/away/secret $W/log.txt"),
          ("log.txt links to nothing", GETIPS, [CLIENT], "ln -s $W/away/new $W/log.txt"),
          ("log.txt is a FIFO", GETIPS, [CLIENT], "mkfifo $W/log.txt"))],
    Row("getips: running, not loopback", GETIPS, [CLIENT, "10.9.3.1"], gateway="none", setup=INTERFACES,
        after="ip link del k-down; ip link del k-nocarrier; ip link del k-up; [ -z \"$(ls -A $W/tmp)\" ]"),
    Row("getips after 8 MB", "getips\n" + "A" * (8 << 20), [CLIENT], gateway="none", seconds=5),
    Row("getips: 200 at once", GETIPS, [CLIENT], gateway="none", after=PARALLEL),
    Row("getips: another user's link where the capture was", GETIPS, [CLIENT], gateway="none", user="nobody",
        setup=LINK + "; chown -h daemon $W/tmp/ip_c.tmp; chmod 1777 $W/tmp",
        after=KEPT + " && [ -L $W/tmp/ip_c.tmp ] && [ $(ls -A $W/tmp | wc -l) = 1 ]"),
    Row("getips: another user's file where the capture was", GETIPS, [CLIENT], gateway="none", user="nobody",
        setup=VICTIM + "; cp $W/victim $W/tmp/ip_c.tmp; chown daemon $W/tmp/ip_c.tmp; chmod 1777 $W/tmp",
        after="cmp $W/tmp/ip_c.tmp $W/victim.was && [ $(ls -A $W/tmp | wc -l) = 1 ]"),
    Row("getips: no temporary directory", GETIPS, ["ERROR"], gateway="none", setup="rmdir $W/tmp"),
    Row("TCP", forward(udp=False), ["0"], held="TCP", seconds=2),
    Row("UDP", forward(tcp=False), ["0"], held="UDP", seconds=2),
    Row("both", forward(), ["0"], held="TCP UDP", seconds=2, reached=True,
        stderr=("Reachable at 11.77.0.1:{port}\n", "for 7 days")),
    Row("TCP held for another client", forward(), [INVALID], held="UDP", seconds=2,
        lan2="upnpc -u http://10.77.0.1:5000/rootDesc.xml -a 10.77.0.3 {port} {port} TCP >/dev/null",
        stderr="The gateway refused TCP {port}: 718 ConflictInMappingEntry, another device holds this port "
               "(10.77.0.3:{port})."),
    Row("refused port", forward(port="6666"), stderr="606", seconds=2),
    Row("another host's address", forward(address=CLIENT2), stderr="718", seconds=2),
    Row("empty address", forward(address=""), stderr="internal client ''", seconds=2),
    Row("no protocol", forward(tcp=False, udp=False), ["No protocol selected"]),
    Row("ufw", forward(), ["0"], firewall="ufw", held="TCP UDP", opened="tcp udp", reached=True),
    Row("ufw: the same port again", forward(), ["0"], firewall="ufw", held="TCP UDP", opened="tcp udp",
        setup="cd $W && $K >/dev/null 2>&1", stderr="The firewall already lets TCP {port} in."),
    Row("ufw: no gateway, the firewall left alone", forward(), [INVALID], firewall="ufw", gateway="none"),
    # Users other than root ask polkit; ufw goes through pkexec and the helper beside Kavro.
    Row("ufw: a user polkit allows", forward(), ["0"], firewall="ufw", user="kavro-allowed", held="TCP UDP",
        opened="tcp udp", stderr="The firewall now lets TCP {port} in"),
    Row("ufw: a user polkit denies", forward(), [ADMIN], firewall="ufw", user="kavro-denied", held="TCP UDP",
        stderr="firewall: not authorized for org.varneth.kavro.ufw-allow"),
    Row("ufw: no agent to ask for the password", forward(), [NOT_OPENED], firewall="ufw", user="kavro-asked",
        held="TCP UDP", stderr="firewall: pkexec ufw allow: pkexec refused"),
    Row("ufw: the helper takes nothing but a port, a protocol and a clean name", GETIPS, [CLIENT], firewall="ufw",
        gateway="none", after=HELPER_REFUSES),
    Row("ufw: an administrator's deny comes first", forward(), [NOT_OPENED], firewall="ufw", held="TCP UDP",
        setup="ufw deny {port} >/dev/null", stderr="comes first and stands"),
    Row("ufw: a deny of TCP alone, TCP", forward(udp=False), [NOT_OPENED], firewall="ufw", held="TCP",
        setup="ufw deny {port}/tcp >/dev/null"),
    Row("ufw: a reject on the client's interface", forward(tcp=False), [NOT_OPENED], firewall="ufw", held="UDP",
        setup="ufw reject in on lan0 to any port {port} proto udp >/dev/null"),
    Row("ufw: a deny of one network or of outgoing traffic", forward(), ["0"], firewall="ufw", held="TCP UDP",
        opened="tcp udp", setup="ufw deny from 10.0.0.0/8 to any port {port} >/dev/null; ufw deny out {port} >/dev/null"),
    Row("ufw: killed while ufw waits for its lock", forward(), ANY, firewall="ufw", held="*",
        setup=HOLD_UFW_LOCK.format(0, 6), after=LOCK_DONE, signal=(signal.SIGKILL, 2)),
    Row("ufw: stopped while ufw waits for its lock", forward(), ANY, firewall="ufw", held="*", seconds=11,
        setup=HOLD_UFW_LOCK.format(0, 13), after=LOCK_DONE, signal=(signal.SIGSTOP, 2)),
    Row("ufw: slow gateway, then ufw's lock taken", forward(), firewall="ufw", gateway="--mode slow-steps", seconds=9.5,
        setup=HOLD_UFW_LOCK.format(2, 10.5), after=LOCK_DONE + "; sleep 3; ! ufw show added | grep -q {port}"),
    Row("firewalld", forward(), ["0"], firewall="firewalld", held="TCP UDP", opened="tcp udp", reached=True),
    Row("firewalld: the same port again", forward(), ["0"], firewall="firewalld", held="TCP UDP", opened="tcp udp",
        setup="cd $W && $K >/dev/null 2>&1", stderr="The firewall already lets TCP {port} in."),
    Row("firewalld: no gateway, the firewall left alone", forward(), [INVALID], firewall="firewalld", gateway="none"),
    Row("firewalld: a user polkit allows", forward(), ["0"], firewall="firewalld", user="kavro-allowed",
        held="TCP UDP", opened="tcp udp"),
    *[Row(f"firewalld: {name}", forward(), [ADMIN], firewall="firewalld", user=user, held="TCP UDP",
          stderr="firewall: not authorized for org.fedoraproject.FirewallD1.config")
      for name, user in (("a user polkit denies", "kavro-denied"), ("no agent to ask for the password", "kavro-asked"))],
    Row("firewalld: the interface's own zone", forward(), ["0"], firewall="firewalld", held="TCP UDP", opened="tcp udp",
        zone="internal", reached=True, setup="firewall-cmd --zone=internal --change-interface=lan0 >/dev/null",
        after="! firewall-cmd --zone=public --list-ports | grep -q {port}"),  # the group's last row: the zone stays
    Row("behind carrier-grade NAT", forward(), stderr="no external address", cgnat=True),
    Row("no gateway", forward(), gateway="none", stderr="No Internet gateway answered a UPnP search", seconds=2),
    *[Row(f"fake: {name}", forward(port=port), result, gateway=options, crowded=True, **more) for name, port, result, options, more in (
        ("well-behaved", "{port}", ["0"], "", {"asked": 2}),
        *[(f"port {port}", port, None, "", {"asked": 0, "stderr": "was not asked for: a port is a number from 1 to 65535"})
          for port in ("0", "65536", "70000", "-5")],
        *[(mode, "{port}", None, f"--mode {mode}", {})
          for mode in ("silent", "slow-description", "slow-add", "close-mid-description", "close-mid-add", "malformed-xml",
                       "truncated-xml", "held-for-other", "held-disabled", "disconnected", "media-server")],
        ("not held", "{port}", None, "--mode not-held", {"stderr": "714"}),
        *[(f"refused with {code}", "{port}", None, f"--mode fault --fault {code}", {"stderr": code})
          for code in ("402", "501", "606", "718", "725", "729")],
        ("8 MB description", "{port}", ["0"], "--mode huge-description", {}),
        ("endless description", "{port}", None, "--mode endless-description --huge-mb 300", {}),
        ("disconnected PPP service first", "{port}", ["0"], "--mode ppp-first", {}),
        ("reserved external address", "{port}", None, "--external-ip 100.64.0.1", {}),
        ("description elsewhere", "{port}", None, f"--location http://{WAN_PEER}:5000/d.xml", {"outside": True}),
        ("control URL elsewhere", "{port}", None, f"--control-url http://{WAN_PEER}:5000/c", {"outside": True}),
        ("answer from outside the subnet", "{port}", None, "--ssdp-from 10.78.0.1", {"asked": 0}),
        ("a flood of answers from off the LAN", "{port}", None, "--mode ssdp-flood", {"seconds": 2}),
        ("on the client's own loopback", "{port}", None, "--ssdp-from 127.0.0.1", {"fake_on": "lan"}),
        ("killed in a gateway call", "{port}", ANY, "--mode silent", {"signal": (signal.SIGKILL, 1)}),
        ("stopped in a gateway call", "{port}", ANY, "--mode silent", {"signal": (signal.SIGSTOP, 1), "seconds": 11}))],
    Row("UPnP and PCP on: UPnP wins", forward(), ["0"], lab="natpmp", held="TCP UDP", seconds=2),
    Row("UPnP off: PCP", forward(), ["0"], lab="natpmp no-upnp", forwarded="TCP UDP", seconds=2, reached=True,
        stderr=("answered (PCP)", "for 1 day (lease 86400 s)")),
    Row("UPnP off, PCP dropped: NAT-PMP", forward(), ["0"], lab="natpmp no-upnp", gw=DROP_5351.format("@th,64,8 2"),
        forwarded="TCP UDP", stderr=("answered (NAT-PMP)", "for 7 days"), seconds=2, reached=True),
    Row("PCP: port held by the second client", forward(udp=False), lab="natpmp no-upnp", lan2=PCP_BY_CLIENT2,
        forwarded="TCP", forwarded_to=CLIENT2, stderr="instead of TCP", seconds=2),
    Row("PCP: another host's address", forward(address=CLIENT2), lab="natpmp no-upnp", forwarded="",
        stderr="PCP maps ports only to this machine", seconds=2),
    Row("PCP and NAT-PMP behind carrier-grade NAT", forward(), lab="natpmp no-upnp", cgnat=True, forwarded="",
        stderr="8 NO_RESOURCES", seconds=2),
    Row("UDP 5351 dropped", forward(), lab="natpmp no-upnp", gw=DROP_5351.format(""), forwarded="",
        stderr="No Internet gateway answered", seconds=2),
    Row("UPnP, PCP and NAT-PMP off", forward(), gateway="none", lab="natpmp no-upnp",
        stderr="No Internet gateway answered", seconds=2),
    Row("a LAN host that is not the gateway answers on 5351", forward(), gateway="none", lab="natpmp no-upnp",
        sprayed=True, stderr="No Internet gateway answered", seconds=2),
    *[Row(f"fake {name}: well-behaved", forward(), ["0"], gateway=f"--no-ssdp --port-control {protocol}",
          fake_holds="TCP UDP", stderr=f"answered ({name})") for protocol, name in (("pcp", "PCP"), ("natpmp", "NAT-PMP"))],
    *[Row(f"fake {name}: {answer}", forward(), gateway=f"--no-ssdp --port-control {protocol} --map-answer {answer}",
          fake_holds="", stderr=says)
      for protocol, name in (("pcp", "PCP"), ("natpmp", "NAT-PMP")) for answer, says in PORT_CONTROL_FAULTS
      if protocol == "pcp" or answer != "wrong-nonce"]
]


def lab(*args, **kwargs):
    return subprocess.run([LAB, *args], capture_output=True, text=True, **kwargs)


class Fake:
    """fake_gateway.py in a lab namespace, logging what it is asked."""

    def __init__(self, role, options):
        self.log = tempfile.NamedTemporaryFile(prefix="kavro-fake.", delete=False).name
        address = {"gw": "10.77.0.1", "lan": CLIENT, "wan": WAN_PEER}[role]
        self.process = subprocess.Popen([LAB, "exec", role, sys.executable, FAKE, "--address", address, "--log",
                                         self.log, *options.split()], stdout=subprocess.PIPE, text=True)
        if self.process.stdout.readline().strip() != "ready":
            raise RuntimeError(f"fake gateway did not start in {role}")

    def requests(self, action=None):
        with open(self.log) as log:
            return [r for r in map(json.loads, log) if action in (None, r["action"])]

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=10)
        os.unlink(self.log)


def held(port):
    """The client's mappings of port, as the second client lists them."""
    listing = lab("exec", "lan2", "upnpc", "-u", "http://10.77.0.1:5000/rootDesc.xml", "-l").stdout
    return {p for p, to, name in re.findall(rf"^\s*\d+\s+(TCP|UDP)\s+{port}->(\S+)\s+'([^']*)'", listing, re.M)
            if to == f"{CLIENT}:{port}" and name == f"HLMX {port} {p}"}


def opened(firewall, port, zone=""):
    if firewall == "ufw":
        rules = lab("exec", "lan", "ufw", "show", "added").stdout
        return {p for p in ("tcp", "udp") if f"ufw allow {port}/{p} comment 'HLMX {port} {p.upper()}'" in rules}
    if firewall == "firewalld":
        ports = [set(lab("exec", "lan", "firewall-cmd", *how, *([f"--zone={zone}"] if zone else []),
                         "--list-ports").stdout.split()) for how in ([], ["--permanent"])]
        return {p for p in ("tcp", "udp") if all(f"{port}/{p}" in listed for listed in ports)}
    return set()


def reached(port):
    """The WAN peer connects to the gateway's WAN address and reads the client's greeting."""
    listener = subprocess.Popen([LAB, "exec", "lan", sys.executable, "-c", "import socket\ns = socket.socket()\n"
                                 f"s.bind(('{CLIENT}', {port})); s.listen(1); s.settimeout(10); print('ready', flush=True)\n"
                                 "c, peer = s.accept(); c.sendall(('hello ' + peer[0]).encode())\n"],
                                stdout=subprocess.PIPE, text=True)
    listener.stdout.readline()
    answer = lab("exec", "wan", sys.executable, "-c",
                 f"import socket\nprint(socket.create_connection(('10.78.0.1', {port}), 5).recv(64).decode())", timeout=20)
    listener.wait(timeout=15)
    return answer.stdout.strip() == f"hello {WAN_PEER}"


def forwarded(port):
    """The gateway's nft forwards of port, whichever protocol made them: {protocol: client}."""
    rules = lab("exec", "gw", "nft", "list", "chain", "inet", "filter", "prerouting_miniupnpd").stdout
    return {{"0x6": "TCP", "0x11": "UDP"}[number]: to for number, to in
            re.findall(rf"@nh,72,8 (0x6|0x11) th dport {port} dnat ip to (\S+):{port}", rules)}


# Forged answers from lan2's port 5351 to every port the client may ask from: NAT-PMP's
# external address and mappings, and PCP's ANNOUNCE and MAP, all saying yes.
SPRAYER = r"""
import socket, struct, sys, time
client, port, first, last = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
mapped = bytes(10) + b"\xff\xff" + socket.inet_aton("11.77.0.1")
forged = [bytes.fromhex("00800000000000070b4d0001"), bytes([2, 128, 0, 0]) + bytes(20)]
forged += [bytes([0, 128 + opcode, 0, 0]) + struct.pack("!IHHI", 7, port, port, 604800) for opcode in (1, 2)]
forged += [bytes([2, 129, 0, 0]) + struct.pack("!II", 86400, 7) + bytes(24) + bytes([number, 0, 0, 0])
           + struct.pack("!HH", port, port) + mapped for number in (6, 17)]
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("0.0.0.0", 5351))
print("spraying", flush=True)
end = time.monotonic() + 6
while time.monotonic() < end:
    for target in range(first, last + 1):
        for datagram in forged:
            s.sendto(datagram, (client, target))
    time.sleep(0.002)
"""
EPHEMERAL = (40000, 40015)


class Sprayer:
    """lan2 floods the client's narrowed range of ports; shown to reach a plain socket there."""

    def __init__(self, port):
        lab("exec", "gw", "nft", "insert", "rule", "inet", "filter", "forward", "iifname", "br-lan", "oifname", "br-lan",
            "accept")  # a home router's bridge passes traffic between its LAN hosts
        lab("exec", "lan", "sysctl", "-qw", f"net.ipv4.ip_local_port_range={EPHEMERAL[0]} {EPHEMERAL[1]}")
        self.process = subprocess.Popen([LAB, "exec", "lan2", sys.executable, "-c", SPRAYER, CLIENT, str(port),
                                         *map(str, EPHEMERAL)], stdout=subprocess.PIPE, text=True)
        self.process.stdout.readline()
        heard = lab("exec", "lan", sys.executable, "-c", "import socket\ns = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)\n"
                    f"s.settimeout(2); s.bind(('{CLIENT}', {EPHEMERAL[0]})); print(s.recvfrom(64)[1][0])")
        self.reaches = heard.stdout.strip() == CLIENT2

    def stop(self):
        self.process.wait(timeout=15)
        lab("exec", "lan", "sysctl", "-qw", "net.ipv4.ip_local_port_range=32768 60999")


def in_client():
    """The processes in the client's network namespace."""
    return set(subprocess.run(["ip", "netns", "pids", lab("ns", "lan").stdout.strip()], capture_output=True,
                              text=True).stdout.split())


def descendants(pid):
    """The processes pid started, and theirs, that still run (zombies are done)."""
    found, todo = [], [str(pid)]
    while todo:
        current = todo.pop()
        try:
            for task in os.listdir(f"/proc/{current}/task"):
                todo += open(f"/proc/{current}/task/{task}/children").read().split()
            if "\tZ" not in open(f"/proc/{current}/status").read().split("State:")[1].split("\n")[0]:
                found.append(current)
        except OSError:
            pass
    return found[1:]


def run(row, kavro, port, work):
    """Runs the row in work; returns what went wrong and what was seen."""
    os.chmod(work, 0o777)    # a run as another user writes its log.txt here
    os.mkdir(os.path.join(work, "tmp"), 0o755)
    with open(os.path.join(work, "kavro.cmd"), "w", newline="") as command:
        command.write(row.command.replace("{port}", str(port)))
    shell = lambda script: lab("exec", "lan", "env", f"W={work}", f"K={kavro}", "sh", "-ec",
                               script.replace("{port}", str(port))).returncode == 0
    if row.setup and not shell(row.setup) or row.lan2 and lab("exec", "lan2", "sh", "-ec",
                                                             row.lan2.replace("{port}", str(port))).returncode:
        return ["set-up"], ""
    group = "nogroup" if row.user == "nobody" else row.user
    user = ["setpriv", f"--reuid={row.user}", f"--regid={group}", "--clear-groups"] if row.user != "root" else []
    before, peak, problems = in_client(), work + ".peak", []
    started = time.monotonic()
    process = subprocess.Popen([LAB, "exec", "lan", "env", f"TMPDIR={work}/tmp", f"PEAK={peak}", *user, sys.executable,
                                "-c", MEASURE, kavro], cwd=work, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                               start_new_session=True)
    if row.signal:
        time.sleep(row.signal[1])
        kavro_pid = descendants(process.pid)[0]
        os.kill(int(kavro_pid), row.signal[0])
        if row.signal[0] == signal.SIGSTOP:   # its children end by the run's deadline all the same
            time.sleep(max(0, row.seconds - (time.monotonic() - started)))
            problems += ["its children end by the deadline"] * bool(descendants(kavro_pid))
            os.kill(int(kavro_pid), signal.SIGKILL)
    try:
        stdout, stderr = process.communicate(timeout=30)
    except subprocess.TimeoutExpired:   # a run that hangs is ended, with all it started
        os.killpg(process.pid, signal.SIGKILL)
        stdout, stderr = process.communicate()
    seconds = time.monotonic() - started
    memory = int(open(peak).read()) // 1024 if os.path.exists(peak) else 0
    log = os.path.join(work, "log.txt")
    result = open(log).read().splitlines() if os.path.isfile(log) and not os.path.islink(log) else None
    time.sleep(0.2)   # what a killed run started is gone by now, or never goes
    left = in_client() - before
    checks = [(row.result == ANY or (row.result == result if row.result else result and len(result) == 1 and
                                     result != ["0"]), f"result {row.result or 'not 0'}"),
              (row.signal or process.returncode == 0, "exit status 0"),
              *[(piece.replace("{port}", str(port)) in stderr, f"standard error '{piece}'")
                for piece in ((row.stderr,) if isinstance(row.stderr, str) else row.stderr)],
              (row.signal or seconds < row.seconds, f"under {row.seconds} s"), (memory < MEMORY_MB, f"under {MEMORY_MB} MB"),
              (not left, f"nothing left running: {left}"), (not row.after or shell(row.after), row.after)]
    problems += [what for passed, what in checks if not passed]
    return problems, f"{result}, {seconds:.2f} s, {memory} MB, {stderr!r}"


def check(row, kavro, port):
    gateway = Fake(row.fake_on, row.gateway) if row.gateway not in ("miniupnpd", "none") else None
    outside = Fake("wan", "--no-ssdp") if row.outside else None
    if row.gw:
        lab("exec", "gw", "sh", "-ec", row.gw)
    sprayer = Sprayer(port) if row.sprayed else None
    try:
        with tempfile.TemporaryDirectory(prefix="kavro-e2e.") as work:
            problems, seen = run(row, kavro, port, work)
            if os.path.exists(work + ".peak"):
                os.unlink(work + ".peak")
        adds = gateway.requests("AddPortMapping") if gateway else []
        maps = gateway.requests("MAP") if gateway else []
        checks = [(row.gateway != "miniupnpd" or row.held == "*" or held(port) == set(row.held.split()), f"held {row.held}"),
                  (opened(row.firewall, port, row.zone) == set(row.opened.split()), f"opened {row.opened}"),
                  (not row.reached or reached(port), "the WAN peer reaches the client"),
                  (row.asked is None or len(adds) == row.asked, f"{row.asked} AddPortMapping"),
                  (row.asked != 2 or all((a["arguments"]["NewInternalClient"], a["arguments"]["NewLeaseDuration"],
                                          a["arguments"]["NewEnabled"]) == (CLIENT, "0", "1") for a in adds),
                   "static, enabled mappings for the client"),
                  (not outside or not outside.requests(), "nothing sent outside the subnet"),
                  (row.forwarded is None or forwarded(port) == {p: row.forwarded_to for p in row.forwarded.split()},
                   f"the gateway forwards {row.forwarded} to {row.forwarded_to}"),
                  (row.fake_holds is None or (maps[-1]["arguments"]["holds"] if maps else []) ==
                   [f"{p} {port}" for p in row.fake_holds.split()], f"the fake holds {row.fake_holds}"),
                  (not sprayer or sprayer.reaches, "the forged answers reach the client's ports")]
        problems += [what for passed, what in checks if not passed]
    finally:
        for each in filter(None, (gateway, outside, sprayer)):
            each.stop()
        if row.gw:
            lab("exec", "gw", "nft", "delete", "table", "inet", "drop_5351")
    print(("ok   " if not problems else "FAIL ") + row.name + (f": {problems}\n     {seen}" if problems else ""),
          flush=True)
    return not problems


def main():
    kavro, failures, skipped, groups = os.path.realpath(sys.argv[1]), 0, 0, {}
    # The build's polkit action for the helper beside Kavro.
    os.environ["KAVRO_LAB_POLKIT_ACTIONS"] = os.path.join(os.path.dirname(kavro), "..", "polkit",
                                                          "org.varneth.kavro.ufw-allow.policy")
    for port, row in enumerate(ROWS, start=18100):
        groups.setdefault((row.firewall, row.cgnat, row.crowded, row.lab), []).append((port, row))
    for (firewall, cgnat, crowded, options), rows in groups.items():
        status = lab("check", firewall)
        if status.returncode != 0:
            print(f"skip the rows with firewall {firewall}: {status.stderr.strip()}", flush=True)
            skipped, failures = skipped + 1, failures + (status.returncode != 77)
            continue
        try:
            up = lab("up", firewall, *(["cgnat"] if cgnat else []), *options.split())
            if up.returncode != 0:
                print(f"FAIL lab up {firewall}: {up.stderr}")
                failures += 1
                continue
            if crowded:
                lab("exec", "lan", "ip", "-batch", "-", input="".join(
                    f"link add crowd{i} type veth peer name crowd{i}p\naddress add 10.98.{i}.1/24 dev crowd{i}\n"
                    f"link set crowd{i} up\n" for i in range(50)))
            daemon = True
            for port, row in sorted(rows, key=lambda pair: pair[1].gateway != "miniupnpd"):  # miniupnpd's rows first
                if daemon and row.gateway != "miniupnpd":
                    daemon = lab("stop-daemon") and False
                failures += not check(row, kavro, port)
        finally:
            lab("down")
    print(f"{failures} failure(s)")
    return 1 if failures else 77 if skipped == len(groups) else 0


if __name__ == "__main__":
    sys.exit(main())
