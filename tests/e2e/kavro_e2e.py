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
# Runs Kavro and writes the largest resident size of it and its children to peak-kb.
MEASURE = ("import resource, subprocess, sys\nstatus = subprocess.call(sys.argv[1:])\n"
           "open('peak-kb', 'w').write(str(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss))\n"
           "sys.exit(status)\n")


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
    stderr: str = ""
    seconds: float = 10
    setup: str = ""             # shell on the client in the scratch directory $W, before the run
    after: str = ""             # shell there that must succeed afterwards
    outside: bool = False       # a gateway at the WAN peer hears nothing
    asked: int = None           # AddPortMapping requests the fake gets
    cgnat: bool = False         # the gateway is behind carrier-grade NAT
    reached: bool = False       # the WAN peer reaches the client through the mapped port


def forward(tcp=True, udp=True, address=CLIENT, port="{port}"):
    return f"kavro\r\n{address}\r\n{port}\r\n{'TRUE' if tcp else 'FALSE'}\r\n{'TRUE' if udp else 'FALSE'}\r\n"


GETIPS = "getips\r\n"
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
    Row("getips: running, not loopback", GETIPS, [CLIENT, "10.9.3.1"], gateway="none", setup=INTERFACES,
        after="ip link del k-down; ip link del k-nocarrier; ip link del k-up"),
    Row("getips after 8 MB", "getips\n" + "A" * (8 << 20), [CLIENT], gateway="none", seconds=5),
    Row("getips: our own link", GETIPS, [CLIENT], gateway="none", setup=LINK, after=KEPT + " && [ ! -L $W/tmp/ip_c.tmp ]"),
    Row("getips: another user's link", GETIPS, ["ERROR"], gateway="none", setup=LINK + "; chown -h nobody $W/tmp/ip_c.tmp",
        after=KEPT + " && [ -L $W/tmp/ip_c.tmp ]"),
    Row("getips: another user's file", GETIPS, ["ERROR"], gateway="none",
        setup=VICTIM + "; cp $W/victim $W/tmp/ip_c.tmp; chmod 666 $W/tmp/ip_c.tmp; chown nobody $W/tmp/ip_c.tmp",
        after="cmp $W/tmp/ip_c.tmp $W/victim.was"),
    Row("getips: no temporary directory", GETIPS, ["ERROR"], gateway="none", setup="rmdir $W/tmp"),
    Row("TCP", forward(udp=False), ["0"], held="TCP", seconds=2),
    Row("UDP", forward(tcp=False), ["0"], held="UDP", seconds=2),
    Row("both", forward(), ["0"], held="TCP UDP", seconds=2, reached=True),
    Row("refused port", forward(port="6666"), stderr="606", seconds=2),
    Row("another host's address", forward(address=CLIENT2), stderr="718", seconds=2),
    Row("empty address", forward(address=""), stderr="internal client ''", seconds=2),
    Row("no protocol", forward(tcp=False, udp=False), ["No protocol selected"]),
    Row("ufw", forward(), ["0"], firewall="ufw", held="TCP UDP", opened="tcp udp", reached=True),
    Row("ufw, no rights", forward(), [ADMIN], firewall="ufw", user="nobody", held="TCP UDP", stderr="firewall: "),
    Row("firewalld", forward(), ["0"], firewall="firewalld", held="TCP UDP", opened="tcp udp"),
    Row("firewalld, no rights", forward(), [ADMIN], firewall="firewalld", user="nobody", held="TCP UDP",
        stderr="firewall: "),
    Row("behind carrier-grade NAT", forward(), stderr="no external address", cgnat=True),
    Row("no gateway", forward(), gateway="none", stderr="no Internet gateway answered"),
    Row("fake: well-behaved", forward(), ["0"], gateway="", asked=2),
    *[Row(f"fake: port {port}", forward(port=port), gateway="", asked=0) for port in ("0", "65536", "70000", "-5")],
    *[Row(f"fake: {mode}", forward(), gateway=f"--mode {mode}")
      for mode in ("silent", "slow-description", "slow-add", "close-mid-description", "close-mid-add", "malformed-xml",
                   "truncated-xml", "held-for-other", "held-disabled", "disconnected", "media-server")],
    Row("fake: not held", forward(), gateway="--mode not-held", stderr="714"),
    *[Row(f"fake: refused with {code}", forward(), gateway=f"--mode fault --fault {code}", stderr=code)
      for code in ("402", "501", "606", "718", "725", "729")],
    Row("fake: 8 MB description", forward(), ["0"], gateway="--mode huge-description"),
    Row("fake: endless description", forward(), gateway="--mode endless-description --huge-mb 300"),
    Row("fake: disconnected PPP service first", forward(), ["0"], gateway="--mode ppp-first"),
    Row("fake: reserved external address", forward(), gateway="--external-ip 100.64.0.1"),
    Row("fake: description elsewhere", forward(), outside=True, gateway=f"--location http://{WAN_PEER}:5000/d.xml"),
    Row("fake: control URL elsewhere", forward(), outside=True, gateway=f"--control-url http://{WAN_PEER}:5000/c"),
    Row("fake: answer from outside the subnet", forward(), asked=0, gateway="--ssdp-from 10.78.0.1"),
]


def lab(*args, **kwargs):
    return subprocess.run([LAB, *args], capture_output=True, text=True, **kwargs)


class Fake:
    """fake_gateway.py in a lab namespace, logging what it is asked."""

    def __init__(self, role, options):
        self.log = tempfile.NamedTemporaryFile(prefix="kavro-fake.", delete=False).name
        address = "10.77.0.1" if role == "gw" else WAN_PEER
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


def opened(firewall, port):
    if firewall == "ufw":
        rules = lab("exec", "lan", "ufw", "show", "added").stdout
        return {p for p in ("tcp", "udp") if f"ufw allow {port}/{p} comment 'HLMX {port} {p.upper()}'" in rules}
    if firewall == "firewalld":
        ports = [set(lab("exec", "lan", "firewall-cmd", *how, "--list-ports").stdout.split()) for how in ([], ["--permanent"])]
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


def run(row, kavro, port, work):
    """Runs the row in work; returns what went wrong and what was seen."""
    os.chmod(work, 0o777)    # a run as nobody writes its log.txt here
    os.mkdir(os.path.join(work, "tmp"), 0o755)
    with open(os.path.join(work, "kavro.cmd"), "w", newline="") as command:
        command.write(row.command.replace("{port}", str(port)))
    shell = lambda script: lab("exec", "lan", "env", f"W={work}", "sh", "-ec", script).returncode == 0
    if row.setup and not shell(row.setup):
        return ["set-up"], ""
    user = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"] if row.user == "nobody" else []
    started = time.monotonic()
    done = lab("exec", "lan", "env", f"TMPDIR={work}/tmp", *user, sys.executable, "-c", MEASURE, kavro, cwd=work,
               timeout=60)
    seconds = time.monotonic() - started
    with open(os.path.join(work, "peak-kb")) as peak:
        memory = int(peak.read()) // 1024
    try:
        with open(os.path.join(work, "log.txt")) as log:
            result = log.read().splitlines()
    except OSError:
        result = None
    checks = [(row.result == result if row.result else result and len(result) == 1 and result != ["0"],
               f"result {row.result or 'not 0'}"),
              (done.returncode == 0, "exit status 0"), (row.stderr in done.stderr, f"standard error '{row.stderr}'"),
              (seconds < row.seconds, f"under {row.seconds} s"), (memory < MEMORY_MB, f"under {MEMORY_MB} MB"),
              (not row.after or shell(row.after), row.after)]
    return [what for passed, what in checks if not passed], f"{result}, {seconds:.2f} s, {memory} MB, {done.stderr!r}"


def check(row, kavro, port):
    gateway = Fake("gw", row.gateway) if row.gateway not in ("miniupnpd", "none") else None
    outside = Fake("wan", "--no-ssdp") if row.outside else None
    try:
        with tempfile.TemporaryDirectory(prefix="kavro-e2e.") as work:
            problems, seen = run(row, kavro, port, work)
        adds = gateway.requests("AddPortMapping") if gateway else []
        checks = [(row.gateway != "miniupnpd" or held(port) == set(row.held.split()), f"held {row.held}"),
                  (opened(row.firewall, port) == set(row.opened.split()), f"opened {row.opened}"),
                  (not row.reached or reached(port), "the WAN peer reaches the client"),
                  (row.asked is None or len(adds) == row.asked, f"{row.asked} AddPortMapping"),
                  (row.asked != 2 or all((a["arguments"]["NewInternalClient"], a["arguments"]["NewLeaseDuration"],
                                          a["arguments"]["NewEnabled"]) == (CLIENT, "0", "1") for a in adds),
                   "static, enabled mappings for the client"),
                  (not outside or not outside.requests(), "nothing sent outside the subnet")]
        problems += [what for passed, what in checks if not passed]
    finally:
        for each in filter(None, (gateway, outside)):
            each.stop()
    print(("ok   " if not problems else "FAIL ") + row.name + (f": {problems}\n     {seen}" if problems else ""),
          flush=True)
    return not problems


def main():
    kavro, failures, skipped, groups = os.path.realpath(sys.argv[1]), 0, 0, {}
    for port, row in enumerate(ROWS, start=18100):
        groups.setdefault((row.firewall, row.cgnat), []).append((port, row))
    for (firewall, cgnat), rows in groups.items():
        status = lab("check", firewall)
        if status.returncode != 0:
            print(f"skip the rows with firewall {firewall}: {status.stderr.strip()}", flush=True)
            skipped, failures = skipped + 1, failures + (status.returncode != 77)
            continue
        try:
            up = lab("up", firewall, *(["cgnat"] if cgnat else []))
            if up.returncode != 0:
                print(f"FAIL lab up {firewall}: {up.stderr}")
                failures += 1
                continue
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
