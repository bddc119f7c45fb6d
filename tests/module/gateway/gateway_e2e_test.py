#!/usr/bin/env python3
"""End to end: the built Kavro forwards ports on a real gateway (miniupnpd in the
project's igd-lab), run in the lab's client namespace in a scratch directory.

    gateway_e2e_test.py --kavro PATH --lab PATH

Exit 0: all checks passed; 1: a check failed; 77: the lab cannot run here (skip).
"""
import argparse
import os
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.realpath(__file__)), "..", "..", "labs"))
from labtest import HIDE_HOST_FIREWALL, ROOT_URL, SKIP, Checks, Lab  # noqa: E402

CLIENT, CLIENT2 = "10.77.0.2", "10.77.0.3"
GATEWAY_WAN = "10.78.0.1"
# The lines the mapping client prints on standard output.
ADD_FAILED = "Varneth::Add Collection->Add failed"
NO_COLLECTION = "Varneth::Access Nat->get_StaticPortMappingCollection succeeded, but left Collection null"


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


def refused(checks, name, run, lab, ports, stderr_says, stdout_says=ADD_FAILED, lines=2):
    """A refusal: no "0", the module's failure lines, our reason on standard error, nothing mapped."""
    checks.check(f"{name}: a result other than 0", run.result not in ([], ["0"]), run)
    checks.check(f"{name}: '{stdout_says}' {lines}x", run.stdout.count(stdout_says) == lines, run)
    checks.check(f"{name}: standard error says '{stderr_says}'", stderr_says in run.stderr, run)
    if ports:
        held = lab.mappings()
        checks.check(f"{name}: nothing mapped", not any((p, port) in held for p in ("TCP", "UDP") for port in ports), held)


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
        forward(checks, lab, kavro)
        refusals(checks, lab, kavro)
        unusable_gateways(checks, lab, kavro)
    finally:
        lab.run("down", check=False)
    print(f"{checks.failures} failure(s)")
    return 1 if checks.failures else 0


def forward(checks, lab, kavro):
    print("# forwards that work")
    for name, port, tcp, udp in (("TCP", 18101, True, False), ("UDP", 18102, False, True), ("both", 18103, True, True)):
        run = Run(lab, kavro, CLIENT, port, tcp, udp)
        checks.check(f"{name}: result 0", run.result == ["0"], run)
        checks.check(f"{name}: diagnostic line", run.stdout.startswith(f"fwd {CLIENT} port:{port}\n"), run)
        checks.check(f"{name}: 'prot both' only for both", ("prot both\n" in run.stdout) == (tcp and udp), run)
        checks.check(f"{name}: no Varneth failure line", "Varneth::" not in run.stdout, run)
        checks.check(f"{name}: under 2 s", run.seconds < 2, run)
        held = lab.mappings()
        for protocol, wanted in (("TCP", tcp), ("UDP", udp)):
            expected = (f"{CLIENT}:{port}", f"HLMX {port} {protocol}") if wanted else None
            checks.check(f"{name}: gateway holds {port}/{protocol}: {expected}", held.get((protocol, port)) == expected, held)

    again = Run(lab, kavro, CLIENT, 18103, True, True)
    checks.check("the same port twice: result 0 again", again.result == ["0"], again)
    held = lab.mappings()
    checks.check("the same port twice: still one mapping each",
                 sum(1 for (_, port) in held if port == 18103) == 2, held)

    greeting = wan_peer_reaches_client(lab, 18101)
    checks.check("a WAN peer reaches the client through the mapped port",
                 greeting == "through the gateway from 10.78.0.2", greeting)


def refusals(checks, lab, kavro):
    print("# refusals")
    run = Run(lab, kavro, CLIENT, 6666, True, True)
    refused(checks, "denied port 6666", run, lab, [6666], "606 Action not authorized")

    lab.run("exec-ns", "lan2", "upnpc", "-u", ROOT_URL, "-e", "second client", "-a", CLIENT2, "18104", "18104", "TCP")
    run = Run(lab, kavro, CLIENT, 18104, True, False)
    checks.check("port held by another client: a result other than 0", run.result not in ([], ["0"]), run)
    checks.check("port held by another client: Add failed", run.stdout.count(ADD_FAILED) == 1, run)
    checks.check("port held by another client: 718 on standard error", "718 ConflictInMappingEntry" in run.stderr, run)
    held = lab.mappings().get(("TCP", 18104))
    checks.check("port held by another client: still the other client's", held == (f"{CLIENT2}:18104", "second client"), held)

    run = Run(lab, kavro, CLIENT2, 18105, True, False)
    refused(checks, "another host's address", run, lab, [18105], "718 ConflictInMappingEntry", lines=1)

    before = lab.mappings()
    for port in ("0", "65536", "70000", "-5"):
        run = Run(lab, kavro, CLIENT, port, True, True)
        refused(checks, f"port {port}", run, lab, [], "nothing sent: external port")
    after = lab.mappings()
    checks.check("ports out of range: no mapping at all, none wrapped (0, 4464, 65531)", after == before,
                 set(after) - set(before))

    run = Run(lab, kavro, "", 18106, True, True)
    refused(checks, "empty address", run, lab, [18106], "internal client '' is not an IPv4 address")


def unusable_gateways(checks, lab, kavro):
    print("# no usable gateway")
    lab.up(external_ip="100.64.0.1")
    run = Run(lab, kavro, CLIENT, 18107, True, True)
    refused(checks, "gateway behind carrier-grade NAT", run, lab, [18107], "no external address",
            stdout_says=NO_COLLECTION)

    lab.up()
    lab.run("stop-daemon")
    run = Run(lab, kavro, CLIENT, 18108, True, True)
    checks.check("no gateway: a result other than 0", run.result not in ([], ["0"]), run)
    checks.check("no gateway: collection null twice", run.stdout.count(NO_COLLECTION) == 2, run)
    checks.check("no gateway: standard error says so", "no Internet gateway answered the search" in run.stderr, run)
    checks.check("no gateway: answered within 2 s", run.seconds < 2, run)
    lab.up()


if __name__ == "__main__":
    sys.exit(main())
