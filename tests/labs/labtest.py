"""What the lab-driven end-to-end tests share: the gateway lab script and the list of checks."""

import os
import re
import subprocess

ROOT_URL = "http://10.77.0.1:5000/rootDesc.xml"
SKIP = 77
# Kavro must never reach the firewall of the machine the test runs on.
HIDE_HOST_FIREWALL = os.path.join(os.path.dirname(os.path.realpath(__file__)), "hide-host-firewall")


class Lab:
    """tests/labs/igd-lab, under the prefix in KAVRO_LAB_PREFIX."""

    def __init__(self, script):
        self.script = script

    def run(self, *args, env=None, check=True, **kwargs):
        return subprocess.run([self.script, *args], env={**os.environ, **(env or {})}, check=check,
                              capture_output=True, text=True, **kwargs)

    def up(self, external_ip=None):
        self.run("up", env={"KAVRO_LAB_EXT_IP": external_ip} if external_ip else None)

    def namespace(self, role):
        return self.run("ns", role).stdout.strip()

    def processes_in(self, role):
        return subprocess.run(["ip", "netns", "pids", self.namespace(role)], capture_output=True,
                              text=True).stdout.split()

    def mappings(self):
        """The gateway's mappings as another client sees them: {(protocol, port): (client:port, description)}."""
        listing = self.run("exec-ns", "lan2", "upnpc", "-u", ROOT_URL, "-l", check=False).stdout
        found = {}
        for protocol, port, target, description in re.findall(
                r"^\s*\d+\s+(TCP|UDP)\s+(\d+)->(\S+)\s+'([^']*)'", listing, re.M):
            found[(protocol, int(port))] = (target, description)
        return found


class Checks:
    def __init__(self):
        self.failures = 0

    def check(self, name, passed, detail=""):
        print(("ok   " if passed else "FAIL ") + name, flush=True)
        if not passed:
            self.failures += 1
            if detail:
                print("     " + str(detail).replace("\n", "\n     "), flush=True)
