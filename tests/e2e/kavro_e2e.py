#!/usr/bin/env python3
"""End to end: the built Kavro, run as the window runs it (no arguments, in a scratch
directory holding kavro.cmd), on the client of tests/labs/lab, one table row per run.

A row names the gateway (miniupnpd, a mode of tests/labs/fake_gateway.py, or none), the
firewall on the client (none, ufw, firewalld), the user, the command file, and what must
follow: the result lines, the mappings the gateway holds, the ports the firewall lets in,
a text on standard error, the time and memory taken, and nothing sent elsewhere.

    kavro_e2e.py KAVRO     (KAVRO_LAB_PREFIX names the lab; exit 77: cannot run here)
"""
import json
import os
import re
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass

HERE = os.path.dirname(os.path.realpath(__file__))
LAB = os.path.join(HERE, "..", "labs", "lab")
FAKE = os.path.join(HERE, "..", "labs", "fake_gateway.py")
CLIENT, CLIENT2, WAN_PEER = "10.77.0.2", "10.77.0.3", "10.78.0.2"
ROOT_URL = "http://10.77.0.1:5000/rootDesc.xml"
ADMIN = "Failed to initialize firewall. Try running with proper admin privileges."
MEMORY_MB = 256
# Runs Kavro and writes the largest resident size of it and its children to peak-kb.
MEASURE = ("import resource, subprocess, sys\nstatus = subprocess.call(sys.argv[1:])\n"
           "open('peak-kb', 'w').write(str(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss))\n"
           "sys.exit(status)\n")
VICTIM = "   IPv4 Address. . . : 6.6.6.6\n"


@dataclass
class Row:
    name: str
    command: str                # kavro.cmd; "{port}" is the row's own port
    result: list                # the lines of log.txt; None: not "0" and one line
    gateway: str = "miniupnpd"  # miniupnpd, none, or fake_gateway.py options
    firewall: str = "none"
    user: str = "root"
    held: tuple = ()            # protocols miniupnpd must hold for the client afterwards
    opened: tuple = ()          # protocols the firewall must let in afterwards
    stderr: str = ""
    seconds: float = 10
    setup: str = ""             # shell, in the scratch directory $W on the client, before the run
    after: str = ""             # shell that must succeed afterwards, same place
    outside: bool = False       # a good gateway at the WAN peer must hear nothing
    asked: int = None           # AddPortMapping requests the fake gateway must get
    external_ip: str = None
    wan_reaches: bool = False   # the WAN peer reaches the client through the mapped port
    port: int = 0


def forward(tcp=True, udp=True, address=CLIENT, port="{port}"):
    return f"kavro\r\n{address}\r\n{port}\r\n{'TRUE' if tcp else 'FALSE'}\r\n{'TRUE' if udp else 'FALSE'}\r\n"


def fake(*options):
    return " ".join(options)


# Planted at $TMPDIR/ip_c.tmp; the victim is a file of ours that must stay as it is.
OWN_LINK = f"printf '{VICTIM}' | tee $W/victim >$W/victim.was; ln -s $W/victim $W/tmp/ip_c.tmp"
OTHERS_LINK = OWN_LINK + "; chown -h nobody $W/tmp/ip_c.tmp"
OTHERS_FILE = f"printf '{VICTIM}' | tee $W/victim.was >$W/tmp/ip_c.tmp; chmod 666 $W/tmp/ip_c.tmp; chown nobody $W/tmp/ip_c.tmp"
VICTIM_KEPT = "cmp $W/victim $W/victim.was"
# Addresses that getips must leave out: down, and up without a carrier; one it must list.
INTERFACES = ("ip link add k-down type veth peer name k-down1; ip addr add 10.9.1.1/24 dev k-down; "
              "ip link add k-nocarrier type veth peer name k-peer; ip addr add 10.9.2.1/24 dev k-nocarrier; "
              "ip link set k-nocarrier up; ip link add k-up type veth peer name k-up1; ip addr add 10.9.3.1/24 dev k-up; "
              "ip link set k-up up; ip link set k-up1 up")

ROWS = [
    # The module's files and the address list.
    Row("no command file", "", ["1"], gateway="none", setup="rm $W/kavro.cmd"),
    Row("unreadable command file", "", ["1"], gateway="none", setup="rm $W/kavro.cmd; mkdir $W/kavro.cmd"),
    Row("unknown command keeps the earlier result", "GETIPS\r\n", ["earlier"], gateway="none",
        setup="echo earlier >$W/log.txt"),
    Row("getips: running non-loopback addresses", "getips\r\n", [CLIENT, "10.9.3.1"], gateway="none",
        setup=INTERFACES, after="ip link del k-down; ip link del k-nocarrier; ip link del k-up"),
    Row("getips after 8 MB of junk", "getips\n" + "A" * (8 << 20), [CLIENT], gateway="none", seconds=5),
    Row("getips: our own link is replaced, not followed", "getips\r\n", [CLIENT], gateway="none",
        setup=OWN_LINK, after=VICTIM_KEPT + " && [ ! -L $W/tmp/ip_c.tmp ]"),
    Row("getips: another user's link is not followed", "getips\r\n", ["ERROR"], gateway="none",
        setup=OTHERS_LINK, after=VICTIM_KEPT + " && [ -L $W/tmp/ip_c.tmp ]"),
    Row("getips: another user's file is neither written nor read", "getips\r\n", ["ERROR"], gateway="none",
        setup=OTHERS_FILE, after="cmp $W/tmp/ip_c.tmp $W/victim.was"),
    Row("getips: no temporary directory", "getips\r\n", ["ERROR"], gateway="none", setup="rmdir $W/tmp"),
    # A real gateway.
    Row("TCP", forward(udp=False), ["0"], held=("TCP",), seconds=2),
    Row("UDP", forward(tcp=False), ["0"], held=("UDP",), seconds=2),
    Row("both", forward(), ["0"], held=("TCP", "UDP"), seconds=2, wan_reaches=True),
    Row("refused port 6666", forward(port="6666"), None, stderr="606", seconds=2),
    Row("another host's address", forward(address=CLIENT2), None, stderr="718", seconds=2),
    Row("empty address", forward(address=""), None, stderr="internal client ''", seconds=2),
    Row("no protocol", forward(tcp=False, udp=False), ["No protocol selected"]),
    # Firewalls on the client.
    Row("ufw", forward(), ["0"], firewall="ufw", held=("TCP", "UDP"), opened=("tcp", "udp"),
        wan_reaches=True),
    Row("ufw, without rights", forward(), [ADMIN], firewall="ufw", user="nobody", held=("TCP", "UDP"), stderr="firewall: "),
    Row("firewalld", forward(), ["0"], firewall="firewalld", held=("TCP", "UDP"), opened=("tcp", "udp")),
    Row("firewalld, without rights", forward(), [ADMIN], firewall="firewalld", user="nobody", held=("TCP", "UDP"),
        stderr="firewall: "),
    Row("gateway behind carrier-grade NAT", forward(), None, stderr="no external address", external_ip="100.64.0.1"),
    # Gateways that misbehave.
    Row("well-behaved fake", forward(), ["0"], gateway=fake(), asked=2),
    *[Row(f"port {port}", forward(port=port), None, gateway=fake(), asked=0) for port in ("0", "65536", "70000", "-5")],
    Row("no gateway", forward(), None, gateway="none", stderr="no Internet gateway answered"),
    *[Row(f"fake: {mode}", forward(), None, gateway=fake("--mode", mode))
      for mode in ("silent", "slow-description", "slow-add", "close-mid-description", "close-mid-add", "malformed-xml",
                   "truncated-xml", "held-for-other", "held-disabled", "disconnected", "media-server")],
    Row("fake: not held", forward(), None, gateway=fake("--mode", "not-held"), stderr="714"),
    *[Row(f"fake: refused with {code}", forward(), None, gateway=fake("--mode", "fault", "--fault", code), stderr=code)
      for code in ("402", "501", "606", "718", "725", "729")],
    Row("fake: 8 MB description", forward(), ["0"], gateway=fake("--mode", "huge-description")),
    Row("fake: endless description", forward(), None, gateway=fake("--mode", "endless-description", "--huge-mb", "300")),
    Row("fake: disconnected PPP service first", forward(), ["0"], gateway=fake("--mode", "ppp-first")),
    Row("fake: reserved external address", forward(), None, gateway=fake("--external-ip", "100.64.0.1")),
    Row("fake: description elsewhere", forward(), None, outside=True,
        gateway=fake("--location", f"http://{WAN_PEER}:5000/rootDesc.xml")),
    Row("fake: control URL elsewhere", forward(), None, outside=True,
        gateway=fake("--control-url", f"http://{WAN_PEER}:5000/ctl/IPConn")),
    Row("fake: answer from outside the subnet", forward(), None, asked=0,
        gateway=fake("--address", "10.78.0.1", "--ssdp-from", "10.78.0.1")),
]


def lab(*args, **kwargs):
    return subprocess.run([LAB, *args], capture_output=True, text=True, **kwargs)


class Fake:
    """fake_gateway.py in a lab namespace, logging what it is asked."""

    def __init__(self, role, options):
        self.log = tempfile.NamedTemporaryFile(prefix="kavro-fake.", delete=False).name
        address = "10.77.0.1" if role == "gw" else WAN_PEER
        self.process = subprocess.Popen([LAB, "exec", role, sys.executable, FAKE, "--address", address,
                                         "--log", self.log, *options], stdout=subprocess.PIPE, text=True)
        if self.process.stdout.readline().strip() != "ready":
            raise RuntimeError(f"fake gateway did not start in {role}")

    def requests(self, kind=None, action=None):
        with open(self.log) as log:
            found = [json.loads(line) for line in log]
        return [r for r in found if kind in (None, r["kind"]) and action in (None, r["action"])]

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=10)
        os.unlink(self.log)


def held(port):
    """The client's mappings of port, as the second client sees them."""
    listing = lab("exec", "lan2", "upnpc", "-u", ROOT_URL, "-l").stdout
    return {proto for proto, target, name in re.findall(rf"^\s*\d+\s+(TCP|UDP)\s+{port}->(\S+)\s+'([^']*)'", listing, re.M)
            if target == f"{CLIENT}:{port}" and name == f"HLMX {port} {proto}"}


def opened(firewall, port):
    """The protocols of port the client's firewall lets in (for firewalld: now and after a reload)."""
    if firewall == "ufw":
        rules = lab("exec", "lan", "ufw", "show", "added").stdout
        return {p for p in ("tcp", "udp") if f"ufw allow {port}/{p} comment 'HLMX {port} {p.upper()}'" in rules}
    if firewall == "firewalld":
        permanent = lab("exec", "lan", "firewall-cmd", "--permanent", "--list-ports").stdout.split()
        runtime = lab("exec", "lan", "firewall-cmd", "--list-ports").stdout.split()
        return {p for p in ("tcp", "udp") if f"{port}/{p}" in permanent and f"{port}/{p}" in runtime}
    return set()


def wan_reaches(port):
    """The WAN peer connects to the gateway's WAN address and reads the client's greeting."""
    listener = subprocess.Popen([LAB, "exec", "lan", sys.executable, "-c",
                                 "import socket\ns=socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)\n"
                                 f"s.bind(('{CLIENT}', {port})); s.listen(1); s.settimeout(10); print('ready', flush=True)\n"
                                 "c, peer = s.accept(); c.sendall(b'hello ' + peer[0].encode()); c.close()\n"],
                                stdout=subprocess.PIPE, text=True)
    listener.stdout.readline()
    answer = lab("exec", "wan", sys.executable, "-c", "import socket\n"
                 f"print(socket.create_connection(('10.78.0.1', {port}), timeout=5).recv(64).decode())\n", timeout=20)
    listener.wait(timeout=15)
    return answer.stdout.strip() == f"hello {WAN_PEER}"


def run(row, kavro, port):
    """Runs the row; returns the list of what went wrong."""
    with tempfile.TemporaryDirectory(prefix="kavro-e2e.") as work:
        os.chmod(work, 0o777)    # a run as nobody writes its log.txt here
        os.mkdir(os.path.join(work, "tmp"), 0o755)
        with open(os.path.join(work, "kavro.cmd"), "w", newline="") as command:
            command.write(row.command.replace("{port}", str(port)))
        shell = lambda script: lab("exec", "lan", "env", f"W={work}", "sh", "-ec", script).returncode == 0
        if row.setup and not shell(row.setup):
            return ["set-up failed"], ""
        user = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"] if row.user == "nobody" else []
        started = time.monotonic()
        done = lab("exec", "lan", "env", f"TMPDIR={work}/tmp", *user, sys.executable, "-c", MEASURE, kavro,
                   cwd=work, timeout=60)
        seconds = time.monotonic() - started
        with open(os.path.join(work, "peak-kb")) as peak:
            memory = int(peak.read()) // 1024
        try:
            with open(os.path.join(work, "log.txt")) as log:
                result = log.read().splitlines()
        except (FileNotFoundError, IsADirectoryError):
            result = None
        problems = []
        if row.after and not shell(row.after):
            problems.append(f"afterwards: {row.after}")
    if row.result is None and (result is None or len(result) != 1 or result == ["0"]):
        problems.append("a one-line result other than 0")
    elif row.result is not None and result != row.result:
        problems.append(f"result {row.result}")
    if done.returncode != 0:
        problems.append("exit status 0")
    if row.stderr not in done.stderr:
        problems.append(f"standard error names '{row.stderr}'")
    if seconds > row.seconds:
        problems.append(f"under {row.seconds} s")
    if memory >= MEMORY_MB:
        problems.append(f"under {MEMORY_MB} MB")
    return problems, f"{result}, {seconds:.2f} s, {memory} MB, stderr {done.stderr!r}"


def check_row(row, kavro, port):
    gateway = outside = None
    if row.gateway not in ("miniupnpd", "none"):
        gateway = Fake("gw", row.gateway.split())
    if row.outside:
        outside = Fake("wan", ["--no-ssdp"])
    try:
        problems, seen = run(row, kavro, port)
        if row.gateway == "miniupnpd" and held(port) != set(row.held):
            problems.append(f"gateway holds {row.held}")
        if opened(row.firewall, port) != set(row.opened):
            problems.append(f"firewall opens {row.opened}")
        if row.wan_reaches and not wan_reaches(port):
            problems.append("the WAN peer reaches the client")
        if gateway and row.asked is not None and len(gateway.requests("POST", "AddPortMapping")) != row.asked:
            problems.append(f"{row.asked} AddPortMapping requests")
        if gateway and row.asked == 2:
            add = gateway.requests("POST", "AddPortMapping")[0]["arguments"]
            if (add["NewInternalClient"], add["NewLeaseDuration"], add["NewEnabled"]) != (CLIENT, "0", "1"):
                problems.append(f"a static, enabled mapping for {CLIENT}: {add}")
        if outside and outside.requests():
            problems.append("nothing sent outside the subnet")
    finally:
        for each in (gateway, outside):
            if each:
                each.stop()
    print(("ok   " if not problems else "FAIL ") + row.name + ("" if not problems else f": {problems}\n     {seen}"),
          flush=True)
    return not problems


def main():
    kavro = os.path.realpath(sys.argv[1])
    failures = skipped = 0
    groups = {}
    for port, row in enumerate(ROWS, start=18100):
        row.port = port
        groups.setdefault((row.firewall, row.external_ip), []).append(row)
    for (firewall, external_ip), rows in groups.items():
        status = lab("check", firewall)
        if status.returncode != 0:
            print(f"skip {len(rows)} rows with firewall {firewall}: {status.stderr.strip()}", flush=True)
            skipped += 1
            failures += status.returncode != 77
            continue
        env = dict(os.environ, KAVRO_LAB_EXT_IP=external_ip) if external_ip else None
        up = lab("up", firewall, env=env)
        try:
            if up.returncode != 0:
                print(f"FAIL lab up {firewall}: {up.stderr}")
                failures += 1
                continue
            daemon = True
            for row in sorted(rows, key=lambda r: r.gateway != "miniupnpd"):  # the real gateway's rows first
                if daemon and row.gateway != "miniupnpd":
                    lab("stop-daemon")
                    daemon = False
                failures += not check_row(row, kavro, row.port)
        finally:
            lab("down")
    print(f"{failures} failure(s)")
    return 1 if failures else 77 if skipped == len(groups) else 0


if __name__ == "__main__":
    sys.exit(main())
