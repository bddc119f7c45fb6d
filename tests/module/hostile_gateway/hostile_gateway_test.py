#!/usr/bin/env python3
"""End to end: the built Kavro against a gateway that misbehaves, one way per case.

The gateway lab (tests/labs/igd-lab) provides the namespaces; its miniupnpd is stopped
and tests/labs/hostile-gateway/hostile_gateway.py answers in the gateway namespace
instead. Kavro forwards TCP and UDP from the lab's client namespace, in a scratch
directory, with the machine's firewall out of reach. Whatever the gateway does, the run
ends within the front end's 10 s, exits 0, leaves no process behind and writes one
result line that is not "0". A well-behaved case first shows the stand-in is a gateway
Kavro can use.

    hostile_gateway_test.py --kavro PATH --lab PATH --server PATH --isolate PATH

Exit 0: all checks passed; 1: a check failed; 77: the lab cannot run here (skip).
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.realpath(__file__)), "..", "..", "labs"))
from labtest import SKIP, Checks, Lab  # noqa: E402

CLIENT = "10.77.0.2"
GATEWAY_LAN, WAN_PEER = "10.77.0.1", "10.78.0.2"
FRONT_END_WAIT = 10.0
FAULT_CODES = (402, 501, 606, 714, 716, 718, 725, 729, 799)
MEMORY_LIMIT_MB = 256
# Runs Kavro and leaves the resident size of its largest process (the gateway calls
# run in child processes of their own) in peak-kb.
MEASURE = ("import resource, subprocess, sys\n"
           "status = subprocess.call(sys.argv[1:])\n"
           "open('peak-kb', 'w').write(str(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss))\n"
           "sys.exit(status)\n")


class Server:
    """One hostile_gateway.py in a lab namespace, logging every request it receives."""

    def __init__(self, lab, server, role, address, *options):
        self.log = tempfile.NamedTemporaryFile(prefix="kavro-hostile-requests.", delete=False).name
        self.process = subprocess.Popen(
            [lab.script, "exec-ns", role, sys.executable, server, "--address", address, "--log", self.log, *options],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        if self.process.stdout.readline().strip() != "ready":
            self.stop()
            raise RuntimeError(f"hostile gateway did not start in {role}: {self.process.stderr.read()}")

    def requests(self):
        with open(self.log) as log:
            return log.read().splitlines()

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()

    def remove_log(self):
        os.unlink(self.log)


class Run:
    """One Kavro forward of TCP and UDP: status, output, result lines and duration."""

    def __init__(self, lab, kavro, isolate, port):
        with tempfile.TemporaryDirectory(prefix="kavro-hostile.") as work:
            with open(os.path.join(work, "kavro.cmd"), "w") as command:
                command.write(f"kavro\n{CLIENT}\n{port}\nTRUE\nTRUE\n")
            started = time.monotonic()
            done = subprocess.run([lab.script, "exec", isolate, sys.executable, "-c", MEASURE, kavro], cwd=work,
                                  capture_output=True, text=True, timeout=60)
            self.seconds = time.monotonic() - started
            self.status, self.stdout, self.stderr = done.returncode, done.stdout, done.stderr
            with open(os.path.join(work, "peak-kb")) as peak:
                self.peak_mb = int(peak.read()) // 1024
            try:
                with open(os.path.join(work, "log.txt")) as log:
                    self.result = log.read().splitlines()
            except FileNotFoundError:
                self.result = None
        self.left_behind = lab.processes_in("lan")

    def __str__(self):
        return (f"status {self.status}, result {self.result}, {self.seconds:.2f} s, {self.peak_mb} MB, "
                f"left {self.left_behind}\n"
                f"  stdout: {self.stdout!r}\n  stderr: {self.stderr!r}")


class Case:
    def __init__(self, name, *options, outside_gateway=False, stderr_names=None, holds=False):
        self.name, self.options = name, list(options)
        self.outside_gateway = outside_gateway  # a good gateway on the WAN peer, to see if Kavro goes there
        self.stderr_names = stderr_names        # what Kavro's standard error must say
        self.holds = holds                      # the stand-in really holds what it is asked to map


def cases():
    yield Case("silent after SSDP", "--mode", "silent")
    yield Case("slower than every timeout (description)", "--mode", "slow-description")
    yield Case("slower than every timeout (AddPortMapping)", "--mode", "slow-add")
    yield Case("closes in the middle of the description", "--mode", "close-mid-description")
    yield Case("closes in the middle of the AddPortMapping answer", "--mode", "close-mid-add")
    yield Case("malformed XML", "--mode", "malformed-xml")
    yield Case("truncated XML", "--mode", "truncated-xml")
    # Otherwise a good gateway: only the size is hostile, so "0" is the truth here.
    yield Case("a description of 8 MB", "--mode", "huge-description", "--huge-mb", "8", holds=True)
    yield Case("a description that never ends (300 MB, then silence)", "--mode", "endless-description",
               "--huge-mb", "300")
    yield Case("location on a host outside the subnet", "--mode", "good",
               "--location", f"http://{WAN_PEER}:5000/rootDesc.xml", outside_gateway=True)
    yield Case("location on another port, nothing there", "--mode", "good",
               "--location", f"http://{GATEWAY_LAN}:5999/rootDesc.xml")
    yield Case("control URL on a host outside the subnet", "--mode", "good",
               "--control-url", f"http://{WAN_PEER}:5000/ctl/IPConn", outside_gateway=True)
    for code in FAULT_CODES:
        yield Case(f"AddPortMapping refused with {code}", "--mode", "fault", "--fault", str(code),
                   stderr_names=str(code))
    yield Case("success, then not held", "--mode", "not-held", stderr_names="714")
    yield Case("success, then held for another client", "--mode", "held-for-other")


def well_behaved(checks, lab, kavro, server, isolate):
    gateway = Server(lab, server, "gw", GATEWAY_LAN, "--mode", "good")
    try:
        run = Run(lab, kavro, isolate, 18300)
    finally:
        gateway.stop()
    requests = gateway.requests()
    gateway.remove_log()
    checks.check("well-behaved stand-in: result 0", run.result == ["0"], run)
    checks.check("well-behaved stand-in: TCP and UDP mapped and read back",
                 sum(r.startswith("POST AddPortMapping") for r in requests) == 2 and
                 sum(r.startswith("POST GetSpecificPortMappingEntry") for r in requests) == 2, requests)


def hostile(checks, lab, kavro, server, isolate):
    for port, case in enumerate(cases(), start=18301):
        name = case.name
        print(f"# {name}", flush=True)
        servers = [Server(lab, server, "gw", GATEWAY_LAN, *case.options)]
        if case.outside_gateway:
            servers.append(Server(lab, server, "wan", WAN_PEER, "--mode", "good", "--no-ssdp"))
        try:
            run = Run(lab, kavro, isolate, port)
        finally:
            for each in servers:
                each.stop()
        checks.check(f"{name}: exit status 0", run.status == 0, run)
        checks.check(f"{name}: ended within {FRONT_END_WAIT:.0f} s ({run.seconds:.2f} s)",
                     run.seconds < FRONT_END_WAIT, run)
        checks.check(f"{name}: one result line", run.result is not None and len(run.result) == 1, run)
        if case.holds:
            checks.check(f"{name}: result 0 (the gateway holds the mappings)", run.result == ["0"], run)
        else:
            checks.check(f"{name}: result not 0", run.result != ["0"], run)
        checks.check(f"{name}: no process left behind", not run.left_behind, run)
        checks.check(f"{name}: no process grew past {MEMORY_LIMIT_MB} MB ({run.peak_mb} MB)",
                     run.peak_mb < MEMORY_LIMIT_MB, run)
        if case.stderr_names:
            checks.check(f"{name}: standard error names {case.stderr_names}", case.stderr_names in run.stderr, run)
        if case.outside_gateway:
            outside = servers[1].requests()
            checks.check(f"{name}: nothing sent outside the subnet", not outside, outside)
        for each in servers:
            each.remove_log()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--kavro", required=True)
    parser.add_argument("--lab", required=True)
    parser.add_argument("--server", required=True)
    parser.add_argument("--isolate", required=True)
    args = parser.parse_args()
    kavro, lab = os.path.realpath(args.kavro), Lab(os.path.realpath(args.lab))
    server, isolate = os.path.realpath(args.server), os.path.realpath(args.isolate)

    status = lab.run("check", check=False)
    if status.returncode != 0:
        print("skip: " + status.stderr.strip(), file=sys.stderr)
        return SKIP if status.returncode == SKIP else 1
    if subprocess.run(["unshare", "--mount", "true"], capture_output=True).returncode != 0:
        print("skip: cannot make a mount namespace to keep the machine's firewall out of reach", file=sys.stderr)
        return SKIP
    if not os.access(kavro, os.X_OK):
        print(f"FAIL no Kavro program at {kavro}")
        return 1

    checks = Checks()
    try:
        lab.run("up")
        lab.run("stop-daemon")
        well_behaved(checks, lab, kavro, server, isolate)
        hostile(checks, lab, kavro, server, isolate)
    finally:
        lab.run("down", check=False)
    print(f"{checks.failures} failure(s)")
    return 1 if checks.failures else 0


if __name__ == "__main__":
    sys.exit(main())
