#!/usr/bin/python3
"""A stand-in for polkit's authority on the lab client's system bus, in place of the lab's
polkitd (run it as polkitd, whose name it takes over): the actions --asks names are let to
root, and to anyone else only once a person gave the password, which a check that allows
interaction asks for; every other action is let to everyone. The person
answers yes after --answer-after seconds, or, with --never, not at all, until the question
is withdrawn (CancelCheckAuthorization) or its caller ends. The actions pkexec looks up are
the lab's. Prints "ready" once it owns org.freedesktop.PolicyKit1; appends to --log
"asked ACTION", "answered ACTION", "withdrawn ID" and "caller gone ACTION".

    polkit_standin.py --log FILE --asks ACTION... (--answer-after SECONDS | --never)
"""
import argparse, glob
import xml.etree.ElementTree as ElementTree

from gi.repository import Gio, GLib

AUTHORITY = "org.freedesktop.PolicyKit1.Authority"
INTERFACE = Gio.DBusNodeInfo.new_for_xml(f"""<node><interface name="{AUTHORITY}">
  <method name="EnumerateActions"><arg type="s" direction="in"/><arg type="a(ssssssuuua{{ss}})" direction="out"/></method>
  <method name="CheckAuthorization">
    <arg type="(sa{{sv}})" direction="in"/><arg type="s" direction="in"/><arg type="a{{ss}}" direction="in"/>
    <arg type="u" direction="in"/><arg type="s" direction="in"/><arg type="(bba{{ss}})" direction="out"/>
  </method>
  <method name="CancelCheckAuthorization"><arg type="s" direction="in"/></method>
</interface></node>""").interfaces[0]
ALLOW_USER_INTERACTION = 1

parser = argparse.ArgumentParser()
parser.add_argument("--log", required=True)
parser.add_argument("--asks", nargs="+", required=True)
answer = parser.add_mutually_exclusive_group(required=True)
answer.add_argument("--answer-after", type=float)
answer.add_argument("--never", action="store_true")
args = parser.parse_args()
bus = Gio.bus_get_sync(Gio.BusType.SYSTEM)
authenticated = set()   # the users a person gave the password for
pending = {}            # cancellation id (or a key of our own): (invocation, action, watch)


def log(line):
    with open(args.log, "a") as out:
        print(line, file=out)


def actions():
    """Every action the lab installed, with its annotations (pkexec finds its action by them)."""
    found = []
    for path in glob.glob("/usr/share/polkit-1/actions/*.policy"):
        for action in ElementTree.parse(path).getroot().iter("action"):
            annotations = {a.get("key"): a.text or "" for a in action.iter("annotate")}
            found.append((action.get("id"), action.findtext("description", ""), action.findtext("message", ""),
                          "", "", "", 2, 2, 2, annotations))
    return found


def uid_of(subject):
    kind, details = subject
    if kind == "unix-process":   # pkexec and Kavro name the uid with the process
        return details["uid"]
    return bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                         "GetConnectionUnixUser", GLib.Variant("(s)", (details["name"],)), None,
                         Gio.DBusCallFlags.NONE, -1, None).unpack()[0]


def result(authorized, challenge=False):
    return GLib.Variant("((bba{ss}))", ((authorized, challenge, {}),))


def end(key):
    invocation, action, watch = pending.pop(key)
    Gio.bus_unwatch_name(watch)
    return invocation, action


def answer_yes(key, uid):
    if key in pending:
        invocation, action = end(key)
        authenticated.add(uid)
        log(f"answered {action}")
        invocation.return_value(result(True))
    return False


def caller_gone(key):
    if key in pending:
        log(f"caller gone {end(key)[1]}")


def call(connection, sender, path, interface, method, parameters, invocation):
    if method == "EnumerateActions":
        invocation.return_value(GLib.Variant("(a(ssssssuuua{ss}))", (actions(),)))
        return
    if method == "CancelCheckAuthorization":
        key = parameters.unpack()[0]
        log(f"withdrawn {key}")
        if key in pending:
            end(key)[0].return_dbus_error("org.freedesktop.PolicyKit1.Error.Cancelled", "withdrawn")
        invocation.return_value(None)
        return
    subject, action, _, flags, cancellation = parameters.unpack()
    if action not in args.asks or uid_of(subject) in (0, *authenticated):
        invocation.return_value(result(True))
    elif not flags & ALLOW_USER_INTERACTION:
        invocation.return_value(result(False, challenge=True))
    else:
        log(f"asked {action}")
        key = cancellation or f"{sender} {len(pending)}"
        watch = Gio.bus_watch_name_on_connection(bus, sender, Gio.BusNameWatcherFlags.NONE, None,
                                                 lambda *_: caller_gone(key))
        pending[key] = (invocation, action, watch)
        if not args.never:
            GLib.timeout_add(int(args.answer_after * 1000), answer_yes, key, uid_of(subject))


bus.register_object("/org/freedesktop/PolicyKit1/Authority", INTERFACE, call, None, None)
Gio.bus_own_name_on_connection(bus, "org.freedesktop.PolicyKit1", Gio.BusNameOwnerFlags.REPLACE,
                               lambda *_: print("ready", flush=True), lambda *_: loop.quit())
loop = GLib.MainLoop()
loop.run()
