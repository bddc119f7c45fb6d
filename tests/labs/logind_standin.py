#!/usr/bin/python3
"""A stand-in for logind on the lab client's system bus: the Manager's GetUser and
SetUserLinger and each user's Linger property, nothing else. Prints "ready" once it owns
org.freedesktop.login1; appends each SetUserLinger call to --log as
"SetUserLinger UID ON INTERACTIVE" (true/false).

    logind_standin.py --log FILE [--lingering UID]...   (UID lingers from the start)
"""
import argparse

from gi.repository import Gio, GLib

INTERFACES = Gio.DBusNodeInfo.new_for_xml("""<node>
  <interface name="org.freedesktop.login1.Manager">
    <method name="GetUser"><arg type="u" direction="in"/><arg type="o" direction="out"/></method>
    <method name="SetUserLinger">
      <arg type="u" direction="in"/><arg type="b" direction="in"/><arg type="b" direction="in"/>
    </method>
  </interface>
  <interface name="org.freedesktop.login1.User"><property name="Linger" type="b" access="read"/></interface>
</node>""")

parser = argparse.ArgumentParser()
parser.add_argument("--log", required=True)
parser.add_argument("--lingering", type=int, action="append", default=[])
args = parser.parse_args()
lingering, users = set(args.lingering), set()
bus = Gio.bus_get_sync(Gio.BusType.SYSTEM)


def user_property(connection, sender, path, interface, name):
    return GLib.Variant("b", int(path.rsplit("_", 1)[1]) in lingering)


def manager_call(connection, sender, path, interface, method, parameters, invocation):
    if method == "GetUser":
        uid = parameters.unpack()[0]
        path = f"/org/freedesktop/login1/user/_{uid}"
        if uid not in users:
            bus.register_object(path, INTERFACES.interfaces[1], None, user_property, None)
            users.add(uid)
        invocation.return_value(GLib.Variant("(o)", (path,)))
        return
    uid, on, interactive = parameters.unpack()
    with open(args.log, "a") as log:
        print(f"SetUserLinger {uid} {str(on).lower()} {str(interactive).lower()}", file=log)
    (lingering.add if on else lingering.discard)(uid)
    invocation.return_value(None)


bus.register_object("/org/freedesktop/login1", INTERFACES.interfaces[0], manager_call, None, None)
Gio.bus_own_name_on_connection(bus, "org.freedesktop.login1", Gio.BusNameOwnerFlags.NONE,
                               lambda *_: print("ready", flush=True), lambda *_: loop.quit())
loop = GLib.MainLoop()
loop.run()
