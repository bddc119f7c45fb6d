#!/usr/bin/env python3
"""End to end: the built Kavro forwards ports on a real gateway (miniupnpd in the
project's igd-lab), run in the lab's client namespace in a scratch directory.

    gateway_e2e_test.py --kavro PATH --lab PATH

Exit 0: all checks passed; 1: a check failed; 77: the lab cannot run here (skip).
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.realpath(__file__)), "..", "..", "labs"))
from labtest import HIDE_HOST_FIREWALL, ROOT_URL, SKIP, Checks, Lab  # noqa: E402

CLIENT, CLIENT2 = "10.77.0.2", "10.77.0.3"
GATEWAY_WAN = "10.78.0.1"
EXTERNAL = "11.77.0.1"  # the gateway's external address in the lab
# The lines the mapping client prints on standard output.
ADD_FAILED = "Varneth::Add Collection->Add failed"
NO_COLLECTION = "Varneth::Access Nat->get_StaticPortMappingCollection succeeded, but left Collection null"

# name, port, TCP, UDP
FORWARDS = [("TCP", 18101, True, False), ("UDP", 18102, False, True), ("both", 18103, True, True),
            ("the same port again", 18103, True, True)]

# name, set-up, address, port, TCP, UDP, what standard error says, the failure line and how often it comes
REFUSALS = [
    ("denied port 6666", None, CLIENT, 6666, True, True, "606 Action not authorized", ADD_FAILED, 2),
    ("port held by another client",
     lambda lab: lab.run("exec-ns", "lan2", "upnpc", "-u", ROOT_URL, "-e", "second client", "-a", CLIENT2, "18104",
                         "18104", "TCP"),
     CLIENT, 18104, True, False, "718 ConflictInMappingEntry", ADD_FAILED, 1),
    ("another host's address", None, CLIENT2, 18105, True, False, "718 ConflictInMappingEntry", ADD_FAILED, 1),
    ("empty address", None, "", 18106, True, True, "internal client '' is not an IPv4 address", ADD_FAILED, 2),
] + [
    # 65536, 70000 and -5 must not wrap to 0, 4464 and 65531
    (f"port {port}", None, CLIENT, port, True, True, "was not asked for: a port is a number from 1 to 65535",
     ADD_FAILED, 2)
    for port in ("0", "65536", "70000", "-5")
] + [
    ("gateway behind carrier-grade NAT", lambda lab: lab.up(external_ip="100.64.0.1"), CLIENT, 18107, True, True,
     "no external address", NO_COLLECTION, 2),
    ("no gateway", lambda lab: lab.run("stop-daemon"), CLIENT, 18108, True, True,
     "No Internet gateway answered a UPnP search", NO_COLLECTION, 2),
]


class Run:
    """One Kavro run: what it printed, what it left in log.txt, how long it took."""

    def __init__(self, lab, kavro, address, port, tcp, udp):
        with tempfile.TemporaryDirectory(prefix="kavro-gateway-e2e.") as work:
            with open(os.path.join(work, "kavro.cmd"), "w") as command:
                command.write(f"kavro\n{address}\n{port}\n{'TRUE' if tcp else 'FALSE'}\n{'TRUE' if udp else 'FALSE'}\n")
            started = time.monotonic()
            done = subprocess.run([lab.script, "exec", HIDE_HOST_FIREWALL, kavro], cwd=work, capture_output=True, text=True, timeout=30)
            self.seconds = time.monotonic() - started
            self.stdout, self.stderr = done.stdout, done.stderr
            try:
                with open(os.path.join(work, "log.txt")) as log:
                    self.result = log.read().splitlines()
            except FileNotFoundError:
                self.result = []

    def __str__(self):
        return f"result {self.result}, {self.seconds:.2f} s\n  stdout: {self.stdout!r}\n  stderr: {self.stderr!r}"


def forwards(checks, lab, kavro):
    print("# forwards that work")
    for name, port, tcp, udp in FORWARDS:
        run = Run(lab, kavro, CLIENT, port, tcp, udp)
        checks.check(f"{name}: result 0", run.result == ["0"], run)
        checks.check(f"{name}: diagnostic line", run.stdout.startswith(f"fwd {CLIENT} port:{port}\n"), run)
        checks.check(f"{name}: 'prot both' only for both", ("prot both\n" in run.stdout) == (tcp and udp), run)
        checks.check(f"{name}: no Varneth failure line", "Varneth::" not in run.stdout, run)
        checks.check(f"{name}: under 2 s", run.seconds < 2, run)
        checks.check(f"{name}: standard error names the address to share and the lease",
                     f"Reachable at {EXTERNAL}:{port}\n" in run.stderr and "for 7 days" in run.stderr, run)
        held = lab.mappings()
        for protocol, wanted in (("TCP", tcp), ("UDP", udp)):
            expected = (f"{CLIENT}:{port}", f"HLMX {port} {protocol}") if wanted else None
            checks.check(f"{name}: gateway holds {port}/{protocol}: {expected}", held.get((protocol, port)) == expected, held)
    greeting = wan_peer_reaches_client(lab, 18101)
    checks.check("a WAN peer reaches the client through the mapped port",
                 greeting == "through the gateway from 10.78.0.2", greeting)


def wan_peer_reaches_client(lab, port):
    """A listener in the client namespace greets whoever connects; the WAN peer connects to
    the gateway's WAN address and reads the greeting."""
    listener = subprocess.Popen(
        [lab.script, "exec", sys.executable, "-c",
         "import socket,sys\n"
         "s=socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)\n"
         f"s.bind(('{CLIENT}', {port})); s.listen(1); s.settimeout(10); print('ready', flush=True)\n"
         "c, peer = s.accept(); c.sendall(('through the gateway from ' + peer[0]).encode()); c.close()\n"],
        stdout=subprocess.PIPE, text=True)
    try:
        listener.stdout.readline()
        connector = lab.run("exec-ns", "wan", sys.executable, "-c",
                            "import socket\n"
                            f"c=socket.create_connection(('{GATEWAY_WAN}', {port}), timeout=5)\n"
                            "print(c.recv(100).decode())\n", check=False, timeout=20)
        return connector.stdout.strip()
    finally:
        listener.wait(timeout=15)


def one_protocol_refused(checks, lab, kavro):
    """TCP held by another client, UDP free: no success, and the UDP mapping made stays."""
    print("# one protocol refused, the other mapped")
    port = 18109
    lab.run("exec-ns", "lan2", "upnpc", "-u", ROOT_URL, "-a", CLIENT2, str(port), str(port), "TCP")
    run = Run(lab, kavro, CLIENT, port, True, True)
    checks.check("result Invalid IP", run.result == ["Invalid IP"], run)
    checks.check("standard error names port, protocol, code and holder",
                 f"The gateway refused TCP {port}: 718 ConflictInMappingEntry, another device holds this port "
                 f"({CLIENT2}:{port})." in run.stderr, run)
    held = lab.mappings()
    checks.check("the UDP mapping stays", held.get(("UDP", port)) == (f"{CLIENT}:{port}", f"HLMX {port} UDP"), held)


def refusals(checks, lab, kavro):
    """Each refusal: no "0", the module's failure lines, our reason on standard error, an
    answer within 2 s, and the gateway's mappings as they were."""
    print("# refusals and unusable gateways")
    for name, setup, address, port, tcp, udp, stderr_says, stdout_says, lines in REFUSALS:
        if setup:
            setup(lab)
        before = lab.mappings()
        run = Run(lab, kavro, address, port, tcp, udp)
        checks.check(f"{name}: a result other than 0", run.result not in ([], ["0"]), run)
        checks.check(f"{name}: '{stdout_says}' {lines}x", run.stdout.count(stdout_says) == lines, run)
        checks.check(f"{name}: standard error says '{stderr_says}'", stderr_says in run.stderr, run)
        checks.check(f"{name}: answered within 2 s", run.seconds < 2, run)
        after = lab.mappings()
        checks.check(f"{name}: the gateway's mappings unchanged", after == before, set(after.items()) ^ set(before.items()))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--kavro", required=True)
    parser.add_argument("--lab", required=True)
    args = parser.parse_args()
    kavro, lab = os.path.realpath(args.kavro), Lab(os.path.realpath(args.lab))
    status = lab.run("check", check=False)
    if status.returncode != 0:
        print("skip: " + status.stderr.strip(), file=sys.stderr)
        return SKIP if status.returncode == SKIP else 1
    if not os.access(kavro, os.X_OK):
        print(f"FAIL no Kavro program at {kavro}")
        return 1
    checks = Checks()
    try:
        lab.up()
        forwards(checks, lab, kavro)
        one_protocol_refused(checks, lab, kavro)
        refusals(checks, lab, kavro)
    finally:
        lab.run("down", check=False)
    print(f"{checks.failures} failure(s)")
    return 1 if checks.failures else 0


if __name__ == "__main__":
    sys.exit(main())
