"""Kavro.exe under Wine as the runner of kavro_e2e.py's rows whose `runs` names wine: from ctest's
windows preset, in the gateway lab's client namespace where scripts/test-windows started Wine's
services, never anywhere else (Wine sends real multicast). Beside the table's own checks, a run's
log.txt ends each line in CR LF, and each mapping recorded names the gateway's link-layer address
(from Windows' neighbour table). Firewall "standin": our COM server (tests/windows/standin_com)
under the firewall's classes, on, keeping its entries in $STANDIN as "PORT PROTOCOL-NUMBER NAME"
lines; "none": Wine's own, which is off and keeps nothing. The record of forwards and the renewal
task are the prefix's: a row starts without them, and $XDG_STATE_HOME/varneth is
%LOCALAPPDATA%\\Varneth, so the rows' shell finds the record where Kavro keeps it on Linux.
Row.windows: "rogue", a UPnP gateway at 10.77.0.5 that is not the default gateway, during the run;
"alone", Kavro.exe run from a folder without KavroBackground.exe; "unregistered", Windows' own NAT
object unregistered for the whole row; "installed", a Wine prefix of the row's own, fresh, with the
setup run in it silently: the programs run are those of the folder the setup's entry names. A row
with `cli` types varneth in cmd in a folder of the programs, which it must leave as it was.
"""
import glob, os, pwd, re, shutil, subprocess, tempfile

NAT = r"HKCR\CLSID\{AE1E00AA-3FD5-403C-8A27-2BBDC30CD0E1}"
FIREWALL = (r"HKCR\CLSID\{304CE942-6E39-40D8-943A-B913C40C9CD4}", r"HKCR\CLSID\{0CA545C6-37AD-4A6C-BF92-9F7610067EF5}")
PROGRAMS = ("Kavro.exe", "KavroBackground.exe", "varneth.com", "Varneth.exe")
# Wine's own processes, which start and end with its desktop as they please.
SERVICES = {"wineserver", "wineserver64", "services.exe", "explorer.exe", "winedevice.exe", "plugplay.exe",
            "svchost.exe", "rpcss.exe", "conhost.exe"}

# Shell for the rows, on the client: $WINE_BIN is the programs' folder. The class `key` served by our stand-in.
SERVE = ("wine reg delete '{key}' /f >/dev/null 2>&1; wine reg add '{key}\\InprocServer32' /ve /d \"$(winepath -w "
         "$WINE_BIN/standin_com.dll)\" "
         "/f >/dev/null 2>&1 && wine reg add '{key}\\InprocServer32' /v ThreadingModel /d Both /f >/dev/null 2>&1")
# Windows' own NAT object unregistered (creating it fails with 0x80040154), or served by one that
# never hands out its collection; the runner puts the system's back after the row.
NAT_UNREGISTERED = f"touch $W/registry; wine reg delete '{NAT}' /f >/dev/null 2>&1"
NAT_HANGING = "touch $W/registry; " + SERVE.format(key=NAT)
# The renewal task as Wine's scheduler keeps it: the file that each ITaskFolder::GetTask reads.
TASK_FILE = "\"$WINEPREFIX/drive_c/windows/system32/tasks/Varneth renewal for $(id -un)\""
TASK, TASK_HELD, TASK_GONE = f"cat {TASK_FILE}", f"grep -q '^<' {TASK_FILE}", f"[ ! -e {TASK_FILE} ]"
TASK_DELETED = f"rm -f {TASK_FILE}"
# The setup run again, silently, with more of its options; its output unread, as the desktop may hold it open.
SETUP_AGAIN = "timeout 120 wine $SETUP /S {} >/dev/null 2>&1"
# The task as registered, as much of it as Wine keeps (name, description and settings; not its
# triggers, action and principal), and the command file it runs Kavro on.
TASK_REGISTERED = " && ".join([f"{TASK} >$W/task", *(f"grep -qF '{piece}' $W/task" for piece in (
    "<Description>Keeps the ports opened with the Port Forwarding Tool open on the router.</Description>",
    "<MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>", "<StartWhenAvailable>true</StartWhenAvailable>",
    "<ExecutionTimeLimit>PT1M</ExecutionTimeLimit>")),
    "printf 'renew\\r\\n' | cmp -s - $XDG_STATE_HOME/varneth/renew/kavro.cmd"])
# What the task runs, by hand: Wine never starts a task by itself.
TASK_RUN = "(cd $XDG_STATE_HOME/varneth/renew && wine $WINE_BIN/KavroBackground.exe >/dev/null 2>&1)"
CAPTURE = "$WINEPREFIX/drive_c/users/$(id -un)/Temp/ip_c.tmp"

# The setup's rows, in the shell: $SETUP the built setup, $LOCAL %LOCALAPPDATA%, $INSTALLED the
# folder it installs into unless told another. The setup's entry in Apps & Features:
ENTRY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Varneth"
LINK = "\"$APPDATA/Microsoft/Windows/Start Menu/Programs/Port Forwarding Tool.lnk\""
INSTALLED_FILES = "Kavro.exe KavroBackground.exe Uninstall.exe Varneth.exe chronometer_outline_5In_icon.ico varneth.com vr.ico"


def installed(folder="$INSTALLED"):
    """Shell: the programs in `folder`, the Start menu's shortcut to its Varneth.exe, and the entry in Apps &
    Features, as `wine reg query` reads it, naming the folder's uninstaller."""
    at = f"$(winepath -w \"{folder}\")"
    return " && ".join([f"[ \"$(ls \"{folder}\" | tr '\\n' ' ')\" = '{INSTALLED_FILES} ' ]", f"[ -s {LINK} ]",
                        f"strings -a {LINK} | grep -qxF \"{at}\\Varneth.exe\"",
                        f"wine reg query '{ENTRY}' >$W/entry", *(f"grep -qF \"    {name}    {value}\" $W/entry" for name, value in (
                            ("DisplayName", "REG_SZ    Port Forwarding Tool"), ("DisplayVersion", "REG_SZ    1.0.0"),
                            ("DisplayIcon", f"REG_SZ    {at}\\Varneth.exe,0"), ("InstallLocation", f"REG_SZ    {at}"),
                            ("UninstallString", f"REG_SZ    \\\"{at}\\Uninstall.exe\\\""), ("EstimatedSize", "REG_DWORD    0x")))])


def uninstalled(options, folder="$INSTALLED"):
    """Shell: the uninstaller run as Windows runs it, a copy of it from elsewhere told its folder (it returns once done),
    silently with `options`; then nothing of the setup's is left: no programs, shortcut, entry or renewal task."""
    return (f"cp \"{folder}/Uninstall.exe\" $W/un.exe && timeout 120 wine $W/un.exe /S {options} "
            f"\"_?=$(winepath -w \"{folder}\")\" >/dev/null 2>&1 && [ ! -e \"{folder}\" ] && [ ! -e {LINK} ] && "
            f"! wine reg query '{ENTRY}' >/dev/null 2>&1 && {TASK_GONE}")
# Each program carries an icon group (resource type 14) and, where the loader looks (type 24,
# number 1), a manifest that runs it with the caller's rights; Varneth.exe only where Qt was found.
RESOURCES = ("for p in Kavro KavroBackground Varneth; do f=$WINE_BIN/$p.exe; [ -e $f ] || [ $p = Varneth ] || exit 1; "
             "[ -e $f ] || continue; t=$($OBJDUMP -p $f | grep -A2 -E '^[0-9a-f]+   Entry: ID: 0x0000(0e|18),'); "
             "echo \"$t\" | grep -q 'ID: 0x00000e,' && echo \"$t\" | grep -A2 'ID: 0x000018,' | "
             "grep -q '     Entry: ID: 0x000001,' && grep -aq 'level=\"asInvoker\"' $f; done")


def recorded(*entries):
    """Shell: the record holds exactly these mappings, each "PROTOCOL PORT HOW" (PORT as "{port}";
    "HOW IPv6" a pinhole)."""
    def line(entry):
        protocol, port, how, *family = entry.split()
        return (f"grep -q 'protocol={protocol}\texternal-port={port}\t.*\tfamily={(family or ['IPv4'])[0]}\thow={how}\t' "
                "$XDG_STATE_HOME/varneth/forwards")
    return " && ".join([f"entries {len(entries)}", *map(line, entries)])


class Wine:
    name, services = "wine", SERVICES

    def __init__(self, kavro, lab, fake):
        self.kavro, self.lab_path, self.fake, self.rogue, self.firewall = kavro, lab, fake, None, "none"
        self.bin = os.path.dirname(kavro)
        self.saved = tempfile.TemporaryDirectory(prefix="kavro-wine.")   # the system's registrations, the stand-in's file
        self.shared = os.environ.get("WINEPREFIX", os.path.expanduser("~/.wine"))   # the prefix Wine's services run in
        self.setup = (glob.glob(f"{os.path.dirname(self.bin)}/varneth-*-setup.exe") or [None])[0]
        os.environ.update(WINE_BIN=self.bin, STANDIN=f"{self.saved.name}/firewall.txt", SETUP=self.setup or "")
        self.console = os.path.exists(f"{self.bin}/varneth.com")
        if not self.console:
            print("skip the command line's rows: varneth.com is built only with Qt for mingw-w64", flush=True)
        if not self.setup:
            print("skip the setup's rows: the setup is built only with Qt for mingw-w64 and makensis", flush=True)

    @property
    def local(self):
        """%LOCALAPPDATA%\\Varneth of the prefix in use, where Kavro keeps the record."""
        return os.path.join(os.environ.get("WINEPREFIX", self.shared), "drive_c/users", pwd.getpwuid(os.getuid()).pw_name,
                            "AppData/Local/Varneth")

    @property
    def task(self):
        return os.path.join(os.environ.get("WINEPREFIX", self.shared), "drive_c/windows/system32/tasks",
                            "Varneth renewal for " + pwd.getpwuid(os.getuid()).pw_name)

    def runs(self, row):
        return ("wine" in row.runs.split() and (row.cli is None or self.console) and
                ("installed" not in row.windows.split() or self.setup is not None))

    def lab(self, *args):
        return subprocess.run([self.lab_path, *args], capture_output=True, text=True)

    def on(self, role):
        """Wine runs here, beside the services scripts/test-windows started: not in the lab's own view of the client."""
        return [] if role == "lan" else [self.lab_path, "exec", role]

    def wine(self, *args):
        # Into a file, not a pipe: a program Wine starts on its behalf (its desktop) may hold a pipe open.
        with tempfile.TemporaryFile("w+") as out:
            done = subprocess.run(["wine", *args], stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL,
                                  timeout=120)
            out.seek(0)
            return subprocess.CompletedProcess(done.args, done.returncode, out.read(), "")

    def check(self, firewall):
        """Whether the rows can run here, as `lab check` answers."""
        here = subprocess.run(["ip", "netns", "identify", str(os.getpid())], capture_output=True, text=True).stdout
        if os.environ.get("KAVRO_WINE_NETNS") != os.readlink("/proc/self/ns/net"):
            status = 1, "refusing to run Wine outside the namespace scripts/test-windows prepared; run the tests through it"
        elif not shutil.which("wine"):
            status = 77, "wine is not installed"
        elif here.strip() != self.lab("ns", "lan").stdout.strip():
            status = 77, "not in the gateway lab's client namespace"
        else:
            status = 0, ""
        return subprocess.CompletedProcess([], status[0], "", status[1])

    def up(self, firewall):
        """The lab is scripts/test-windows's: only its daemon is started afresh, and the firewall's classes
        are saved and, for "standin", served by ours."""
        self.firewall = firewall
        for key in (NAT, *FIREWALL):
            if not os.path.exists(self.reg(key)):
                self.wine("reg", "export", key, self.windows_path(self.reg(key)), "/y")
        os.environ["KAVRO_STANDIN_FIREWALL"] = self.windows_path(os.environ["STANDIN"])
        self.serve(firewall)
        return self.lab("start-daemon")

    @staticmethod
    def serve(firewall):
        """No entry in the stand-in's file; the firewall's classes served by ours for "standin"."""
        open(os.environ["STANDIN"], "w").close()
        for key in FIREWALL if firewall == "standin" else ():
            subprocess.run(["sh", "-c", SERVE.format(key=key)])

    def down(self):
        """The prefix and the lab left as they were found."""
        if self.firewall == "standin":
            for key in FIREWALL:
                self.restore(key)
        self.forget()
        self.lab("start-daemon")

    def forget(self):
        """Nothing recorded in either file of the record, no renewal task."""
        for path in (f"{self.local}/forwards", f"{self.local}/firewall-only", self.task):
            if os.path.exists(path):
                os.remove(path)

    def start(self, row, work):
        """A row starts with nothing recorded, no renewal task, and its own Windows preparations."""
        self.forget()
        self.trouble = []
        if "installed" in row.windows.split():
            self.install(row, work)
        os.makedirs(self.local, exist_ok=True)
        os.makedirs(f"{work}/state")
        os.symlink(self.local, f"{work}/state/varneth")
        if "unregistered" in row.windows.split():
            subprocess.run(["sh", "-c", NAT_UNREGISTERED], env={**os.environ, "W": work})
        if "alone" in row.windows.split():
            os.mkdir(f"{work}/alone")
            shutil.copy(self.kavro, f"{work}/alone")
        if "rogue" in row.windows.split():
            self.lab("exec", "gw", "ip", "addr", "add", "10.77.0.5/24", "dev", "br-lan")
            self.rogue = self.fake("gw", "--ssdp-from 10.77.0.5")

    def install(self, row, work):
        """A fresh prefix of the row's own, with its stand-in firewall as the row asks, and the setup run there."""
        os.environ["WINEPREFIX"] = f"{work}/prefix"
        # As scripts/test-windows boots the shared one: its services started apart, so they hold no pipe of ours.
        booted = subprocess.run(["sh", "-c", "wineboot --init && wineserver -k; wineserver -w; wineserver -p && wineboot"],
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.serve(row.firewall)
        # Its output unread: a program Wine starts on its behalf (the desktop) may hold it open.
        setup = subprocess.run(["timeout", "120", "wine", self.setup, "/S"], stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        user = f"{work}/prefix/drive_c/users/{pwd.getpwuid(os.getuid()).pw_name}"
        os.environ.update(LOCAL=f"{user}/AppData/Local", APPDATA=f"{user}/AppData/Roaming",
                          INSTALLED=f"{user}/AppData/Local/Programs/Varneth")
        if booted.returncode != 0 or setup.returncode != 0:
            self.trouble.append(f"wineboot {booted.returncode} and the setup {setup.returncode} in a fresh prefix")

    def installed_folder(self):
        """The folder the setup's entry in Apps & Features names."""
        entry = self.wine("reg", "query", ENTRY, "/v", "InstallLocation").stdout
        found = re.search(r"InstallLocation\s+REG_SZ\s+(.+)", entry)
        return subprocess.run(["winepath", "-u", found[1].strip()], capture_output=True, text=True).stdout.strip() \
            if found else "no-entry"

    @staticmethod
    def started():
        """Wine as a run starts it: Wine finds its server through TMPDIR, so the row's own would start a second one."""
        return ["env", *(["-u", "TMPDIR"] if "TMPDIR" not in os.environ else [f"TMPDIR={os.environ['TMPDIR']}"]), "wine"]

    def command(self, row, work):
        if "installed" in row.windows.split():
            return [*self.started(), f"{self.installed_folder()}/Kavro.exe"]
        return [*self.started(), f"{work}/alone/Kavro.exe" if "alone" in row.windows.split() else self.kavro]

    def command_line(self, row, arguments, work):
        """varneth typed in cmd in the programs' folder, where .COM comes before .EXE; cmd ends with the
        status read after the program ran (delayed expansion, as Windows' cmd needs)."""
        folder = f"{work}/program"
        if "installed" in row.windows.split():
            folder = self.installed_folder()
        else:
            os.mkdir(folder)
            for program in PROGRAMS:
                shutil.copy(os.path.join(self.bin, program), folder)
        return [*self.started(), "cmd", "/v:on", "/c",
                f"cd /d {self.windows_path(folder)} && varneth {' '.join(arguments)} & exit !ERRORLEVEL!"]

    def finish(self, row, work):
        """Undoes the row's preparations; what went wrong."""
        # No folder yet when the row's prepare failed: the rest below must still run.
        copied = row.cli is not None and "installed" not in row.windows.split() and os.path.isdir(f"{work}/program")
        left = set(os.listdir(f"{work}/program")) - set(PROGRAMS) if copied else set()
        problems = [f"nothing left in the programs' folder: {left}"] if left else []
        problems += self.trouble
        if os.path.exists(f"{work}/registry"):
            self.restore(NAT)
        if self.rogue:
            asked, self.rogue = self.rogue.stop(), None
            self.lab("exec", "gw", "ip", "addr", "del", "10.77.0.5/24", "dev", "br-lan")
            problems += [] if "AddPortMapping" in asked else ["the system's NAT object mapped at the rogue gateway"]
        log = f"{work}/log.txt"
        lines = open(log, "rb").read().split(b"\r\n") if os.path.isfile(log) and not os.path.islink(log) else [b""]
        if lines[-1] or any(b"\n" in line or b"\r" in line for line in lines):
            problems.append(f"log.txt's lines end in CR LF: {lines}")
        record = f"{self.local}/forwards"
        mappings = open(record).read().splitlines() if os.path.exists(record) else []
        problems += [f"the gateway's link-layer address recorded: {line}" for line in mappings
                     if line.startswith("mapping\t") and not re.search(r"\tgateway-link=([0-9a-f]{2}:){5}[0-9a-f]{2}(\t|$)", line)]
        if os.environ.get("WINEPREFIX") != self.shared:   # the row's own prefix ends with it
            subprocess.run(["wineserver", "-k"], capture_output=True)
            subprocess.run(["wineserver", "-w"], capture_output=True)
            os.environ["WINEPREFIX"] = self.shared
        return problems

    def opened(self, firewall, port, zone=""):
        entries = open(os.environ["STANDIN"]).read().splitlines() if firewall == "standin" else []
        return {p.lower() for p, number in (("TCP", 6), ("UDP", 17)) if f"{port} {number} HLMX {port} {p}" in entries}

    def reg(self, key):
        """Where the system's registration of the class is saved."""
        return os.path.join(self.saved.name, key.rsplit("\\", 1)[1] + ".reg")

    def restore(self, key):
        self.wine("reg", "delete", key, "/f")
        self.wine("reg", "import", self.windows_path(self.reg(key)))

    def windows_path(self, path):
        return subprocess.run(["winepath", "-w", path], capture_output=True, text=True).stdout.strip()
