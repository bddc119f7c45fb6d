#!/usr/bin/env python3
"""End to end: the built Kavro against a gateway that misbehaves, one way per case.

The gateway lab (tests/labs/igd-lab) provides the namespaces; its miniupnpd is stopped
and tests/labs/hostile-gateway/hostile_gateway.py answers in the gateway namespace
instead. Kavro forwards TCP and UDP from the lab's client namespace, in a scratch
directory, with the machine's firewall out of reach. Whatever the gateway does, the run
ends within the front end's 10 s, exits 0, leaves no process behind and writes one
result line that is not "0". A well-behaved case first shows the stand-in is a gateway
Kavro can use. With --fw-lab, a slow gateway meets a ufw whose lock another process
holds, on the lab's client.

    hostile_gateway_test.py --kavro PATH --lab PATH --server PATH --isolate PATH [--fw-lab PATH]

Exit 0: all checks passed; 1: a check failed; 77: the lab cannot run here (skip).
"""
import argparse
import os
import signal
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.realpath(__file__)), "..", "..", "labs"))
from labtest import SKIP, Checks, Lab  # noqa: E402

CLIENT = "10.77.0.2"
GATEWAY_LAN, WAN_PEER = "10.77.0.1", "10.78.0.2"
FRONT_END_WAIT = 10.0
RUN_DEADLINE = 9.5      # the module's own deadline, and a little to end
NO_GATEWAY_BOUND = 2.0  # a search that finds nothing
FLOOD_SOURCE = "10.99.0.5"  # off the LAN, on the gateway's host
CLIENT_INTERFACES = 50      # veth pairs, as on a host with many containers: looking them up is dear
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
    """One Kavro forward of TCP and UDP, through `runner` (a command prefix): status, output,
    result lines, duration and the processes it left in the client namespace. Like the
    window, it kills the run once the front end's wait is over."""

    def __init__(self, lab, kavro, runner, port):
        before = set(lab.processes_in("lan"))
        with tempfile.TemporaryDirectory(prefix="kavro-hostile.") as work:
            with open(os.path.join(work, "kavro.cmd"), "w") as command:
                command.write(f"kavro\n{CLIENT}\n{port}\nTRUE\nTRUE\n")
            started = time.monotonic()
            process = subprocess.Popen([*runner, sys.executable, "-c", MEASURE, kavro], cwd=work, text=True,
                                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, start_new_session=True)
            try:
                self.stdout, self.stderr = process.communicate(timeout=FRONT_END_WAIT)
            except subprocess.TimeoutExpired:
                os.killpg(process.pid, signal.SIGKILL)
                self.stdout, self.stderr = process.communicate()
            self.seconds = time.monotonic() - started
            self.status = process.returncode
            try:
                with open(os.path.join(work, "peak-kb")) as peak:
                    self.peak_mb = int(peak.read()) // 1024
            except FileNotFoundError:
                self.peak_mb = 0
            try:
                with open(os.path.join(work, "log.txt")) as log:
                    self.result = log.read().splitlines()
            except FileNotFoundError:
                self.result = None
        time.sleep(0.2)  # the children of a killed run are gone by now, or never go
        self.left_behind = sorted(set(lab.processes_in("lan")) - before)

    def __str__(self):
        return (f"status {self.status}, result {self.result}, {self.seconds:.2f} s, {self.peak_mb} MB, "
                f"left {self.left_behind}\n"
                f"  stdout: {self.stdout!r}\n  stderr: {self.stderr!r}")


class Case:
    def __init__(self, name, *options, outside_gateway=False, stderr_names=None, holds=False, role="gw",
                 address=GATEWAY_LAN, bound=FRONT_END_WAIT):
        self.name, self.options = name, list(options)
        self.outside_gateway = outside_gateway  # a good gateway on the WAN peer, to see if Kavro goes there
        self.stderr_names = stderr_names        # what Kavro's standard error must say
        self.holds = holds                      # the stand-in really holds what it is asked to map
        self.role, self.address = role, address # where the stand-in runs
        self.bound = bound                      # the run ends within this many seconds


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
    yield Case("a flood of answers from off the LAN", "--mode", "ssdp-flood", "--flood-from", FLOOD_SOURCE,
               bound=NO_GATEWAY_BOUND)
    # The lab's gateway is silent: only the stand-in on the client's loopback answers.
    yield Case("a gateway on the client's own loopback", "--mode", "good", "--join", CLIENT, role="lan",
               address="127.0.0.1")


def well_behaved(checks, lab, kavro, server, isolate):
    gateway = Server(lab, server, "gw", GATEWAY_LAN, "--mode", "good")
    try:
        run = Run(lab, kavro, [lab.script, "exec", isolate], 18300)
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
        servers = [Server(lab, server, case.role, case.address, *case.options)]
        if case.outside_gateway:
            servers.append(Server(lab, server, "wan", WAN_PEER, "--mode", "good", "--no-ssdp"))
        try:
            run = Run(lab, kavro, [lab.script, "exec", isolate], port)
        finally:
            for each in servers:
                each.stop()
        checks.check(f"{name}: exit status 0", run.status == 0, run)
        checks.check(f"{name}: ended within {case.bound:.0f} s ({run.seconds:.2f} s)", run.seconds < case.bound, run)
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


# Takes ufw's lock inside the firewall lab and keeps it until its standard input closes.
HOLD_UFW_LOCK = ("import fcntl, sys\n"
                 "lock = open('/run/ufw.lock', 'w')\n"
                 "fcntl.lockf(lock, fcntl.LOCK_EX)\n"
                 "print('held', flush=True)\n"
                 "sys.stdin.read()\n")


def slow_gateway_and_ufw_lock(checks, lab, kavro, server, fw_lab):
    """Each gateway step takes 2.5 s, and another process takes ufw's lock once Kavro has
    checked ufw: the gateway and the firewall share one deadline, and the ufw Kavro
    started never adds its rule later."""
    name, port = "slow gateway, then ufw's lock held", 18399
    print(f"# {name}", flush=True)
    environment = {**os.environ, "KAVRO_FW_LAB_NETNS": lab.namespace("lan")}
    fw = lambda *args, **kw: subprocess.run([fw_lab, *args], env=environment, capture_output=True, text=True, **kw)
    if fw("check", "ufw").returncode != 0:
        print(f"skip: {name}: the firewall lab cannot run ufw here", flush=True)
        return
    gateway = Server(lab, server, "gw", GATEWAY_LAN, "--mode", "slow-steps")
    holder = None
    try:
        fw("up", "ufw", check=True)
        holders = []

        def hold_lock():
            holders.append(subprocess.Popen([fw_lab, "exec", sys.executable, "-c", HOLD_UFW_LOCK], env=environment,
                                            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True))

        # Kavro's "ufw status" is over within 2 s; its "ufw allow" comes after the 2.5 s steps.
        before = set(lab.processes_in("lan"))
        threading.Timer(2.0, hold_lock).start()
        run = Run(lab, kavro, [fw_lab, "exec"], port)
        holder = holders[0] if holders else None
        checks.check(f"{name}: the lock was held", holder is not None and holder.stdout.readline().strip() == "held")
        checks.check(f"{name}: ended within {RUN_DEADLINE} s ({run.seconds:.2f} s)", run.seconds < RUN_DEADLINE, run)
        checks.check(f"{name}: result not 0", run.result is not None and run.result != ["0"], run)
        if holder:
            holder.communicate()
        left = sorted(set(lab.processes_in("lan")) - before)
        checks.check(f"{name}: no process left behind", not left, left)
        time.sleep(3)  # time for a ufw that lived on to take the lock and add its rule
        added = fw("exec", "ufw", "show", "added").stdout
        checks.check(f"{name}: no rule added afterwards", str(port) not in added, added)
    finally:
        if holder and holder.poll() is None:
            holder.communicate()
        gateway.stop()
        gateway.remove_log()
        fw("down")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--kavro", required=True)
    parser.add_argument("--lab", required=True)
    parser.add_argument("--server", required=True)
    parser.add_argument("--isolate", required=True)
    parser.add_argument("--fw-lab")
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
        lab.run("exec-ns", "gw", "ip", "address", "add", f"{FLOOD_SOURCE}/32", "dev", "lo")
        lab.run("exec-ns", "lan", "ip", "-batch", "-", input="".join(
            f"link add kavroif{i} type veth peer name kavroif{i}p\naddress add 10.98.{i}.1/24 dev kavroif{i}\n"
            f"link set kavroif{i} up\n" for i in range(CLIENT_INTERFACES)))
        well_behaved(checks, lab, kavro, server, isolate)
        hostile(checks, lab, kavro, server, isolate)
        if args.fw_lab:
            slow_gateway_and_ufw_lock(checks, lab, kavro, server, os.path.realpath(args.fw_lab))
    finally:
        lab.run("down", check=False)
    print(f"{checks.failures} failure(s)")
    return 1 if checks.failures else 0


if __name__ == "__main__":
    sys.exit(main())
