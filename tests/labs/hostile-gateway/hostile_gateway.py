#!/usr/bin/env python3
"""A gateway that answers SSDP and HTTP like a UPnP Internet gateway, then misbehaves
in one chosen way. Standard library only; meant to run inside a lab's gateway
namespace (never in the machine's own), in place of the lab's miniupnpd.

    hostile_gateway.py --mode MODE --address 10.77.0.1 [options]

Modes (how the HTTP side behaves; SSDP always answers unless --no-ssdp):
    good                  a well-behaved gateway that holds what it is asked to map
    silent                takes every connection and never says a word
    slow-description      sends the description one byte every half second
    slow-add              answers AddPortMapping one byte every half second
    close-mid-description hangs up halfway through the description
    close-mid-add         hangs up halfway through the answer to AddPortMapping, and
                          holds nothing
    malformed-xml         a description that is not XML
    truncated-xml         a description cut off in the middle
    huge-description      a valid description padded to --huge-mb megabytes
    endless-description   a description that never ends: --huge-mb megabytes as fast as
                          they go, then nothing, with the connection held open
    fault                 refuses AddPortMapping with UPnP error --fault
    not-held              says yes to AddPortMapping and holds nothing
    held-for-other        says yes, and reads the port back as another client's
    slow-steps            a good gateway that takes 2.5 s over the description, each
                          AddPortMapping and each read-back
    ssdp-flood            no answer to a search sent to it; a multicast search is
                          answered with a flood of gateway answers from --flood-from
                          (an address off the LAN) for 15 s

With --join, the SSDP group is heard on the interface holding that address and the
answers come from --address (say 127.0.0.1, on the searching host itself).

Prints "ready" on standard output once it listens. With --log, every request
received is appended there as one line: "SSDP <from>", "GET <path> <from>",
"POST <action> <from>".
"""
import argparse
import re
import socket
import socketserver
import struct
import sys
import threading
import time

SSDP_GROUP, SSDP_PORT = "239.255.255.250", 1900
IGD_TYPE = "urn:schemas-upnp-org:device:InternetGatewayDevice:1"
IP_SERVICE = "urn:schemas-upnp-org:service:WANIPConnection:1"
TRICKLE_SECONDS = 0.5
STEP_SECONDS = 2.5
FLOOD_SECONDS = 15
SLOW_ACTIONS = ("AddPortMapping", "GetSpecificPortMappingEntry")

DESCRIPTION = """<?xml version="1.0"?>
<root xmlns="urn:schemas-upnp-org:device-1-0">
<specVersion><major>1</major><minor>0</minor></specVersion>
<device>
<deviceType>urn:schemas-upnp-org:device:InternetGatewayDevice:1</deviceType>
<friendlyName>hostile lab gateway</friendlyName>
<manufacturer>lab</manufacturer>
<modelName>hostile</modelName>
<UDN>uuid:6f0e4c2a-1b3d-4e5f-8a9b-0c1d2e3f4a5b</UDN>{padding}
<serviceList><service>
<serviceType>urn:schemas-upnp-org:service:Layer3Forwarding:1</serviceType>
<serviceId>urn:upnp-org:serviceId:L3Forwarding1</serviceId>
<controlURL>/ctl/L3F</controlURL><eventSubURL>/evt/L3F</eventSubURL><SCPDURL>/L3F.xml</SCPDURL>
</service></serviceList>
<deviceList><device>
<deviceType>urn:schemas-upnp-org:device:WANDevice:1</deviceType>
<friendlyName>WAN device</friendlyName>
<UDN>uuid:6f0e4c2a-1b3d-4e5f-8a9b-0c1d2e3f4a5c</UDN>
<serviceList><service>
<serviceType>urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1</serviceType>
<serviceId>urn:upnp-org:serviceId:WANCommonIFC1</serviceId>
<controlURL>/ctl/CmnIfCfg</controlURL><eventSubURL>/evt/CmnIfCfg</eventSubURL><SCPDURL>/WANCfg.xml</SCPDURL>
</service></serviceList>
<deviceList><device>
<deviceType>urn:schemas-upnp-org:device:WANConnectionDevice:1</deviceType>
<friendlyName>WAN connection</friendlyName>
<UDN>uuid:6f0e4c2a-1b3d-4e5f-8a9b-0c1d2e3f4a5d</UDN>
<serviceList><service>
<serviceType>urn:schemas-upnp-org:service:WANIPConnection:1</serviceType>
<serviceId>urn:upnp-org:serviceId:WANIPConn1</serviceId>
<controlURL>{control_url}</controlURL><eventSubURL>/evt/IPConn</eventSubURL><SCPDURL>/WANIPCn.xml</SCPDURL>
</service></serviceList>
</device></deviceList>
</device></deviceList>
</device>
</root>
"""

ENVELOPE = ('<?xml version="1.0"?>\r\n'
            '<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/" '
            's:encodingStyle="http://schemas.xmlsoap.org/soap/encoding/"><s:Body>{body}</s:Body></s:Envelope>\r\n')

ERROR_NAMES = {401: "Invalid Action", 402: "Invalid Args", 501: "Action Failed", 606: "Action not authorized",
               714: "NoSuchEntryInArray", 716: "WildCardNotPermittedInExtPort", 718: "ConflictInMappingEntry",
               725: "OnlyPermanentLeasesSupported", 729: "ConflictWithOtherMechanisms"}


def soap_answer(action, values):
    fields = "".join(f"<{name}>{value}</{name}>" for name, value in values.items())
    return ENVELOPE.format(body=f'<u:{action}Response xmlns:u="{IP_SERVICE}">{fields}</u:{action}Response>')


def soap_fault(code):
    return ENVELOPE.format(body=(
        "<s:Fault><faultcode>s:Client</faultcode><faultstring>UPnPError</faultstring><detail>"
        '<UPnPError xmlns="urn:schemas-upnp-org:control-1-0">'
        f"<errorCode>{code}</errorCode><errorDescription>{ERROR_NAMES.get(code, 'Unknown')}</errorDescription>"
        "</UPnPError></detail></s:Fault>"))


def http_message(status, body, content_type="text/xml; charset=\"utf-8\""):
    body = body.encode() if isinstance(body, str) else body
    head = (f"HTTP/1.1 {status}\r\nContent-Type: {content_type}\r\nContent-Length: {len(body)}\r\n"
            "Connection: close\r\nServer: Linux/6 UPnP/1.1 hostile/1\r\n\r\n")
    return head.encode(), body


class Gateway:
    """What the gateway holds, and how it misbehaves."""

    def __init__(self, args):
        self.args = args
        self.mappings = {}  # (protocol, external port) -> {internal port, client, description}
        self.lock = threading.Lock()
        self.log_lock = threading.Lock()

    def log(self, line):
        if not self.args.log:
            return
        with self.log_lock, open(self.args.log, "a") as log:
            log.write(line + "\n")

    def description(self):
        padding = ""
        if self.args.mode == "huge-description":
            filler = "<!-- " + "x" * 1000 + " -->\n"
            padding = "\n" + filler * (self.args.huge_mb * 1024 * 1024 // len(filler))
        return DESCRIPTION.format(padding=padding, control_url=self.args.control_url)

    def soap(self, action, arguments):
        """(status, body) for one SOAP action."""
        mode = self.args.mode
        if action == "GetStatusInfo":
            return "200 OK", soap_answer(action, {"NewConnectionStatus": "Connected",
                                                  "NewLastConnectionError": "ERROR_NONE", "NewUptime": "1000"})
        if action == "GetExternalIPAddress":
            return "200 OK", soap_answer(action, {"NewExternalIPAddress": self.args.external_ip})
        if action == "AddPortMapping":
            if mode == "fault":
                return "500 Internal Server Error", soap_fault(self.args.fault)
            if mode not in ("not-held", "close-mid-add"):
                with self.lock:
                    self.mappings[(arguments.get("NewProtocol"), arguments.get("NewExternalPort"))] = arguments
            return "200 OK", soap_answer(action, {})
        if action == "GetSpecificPortMappingEntry":
            with self.lock:
                held = self.mappings.get((arguments.get("NewProtocol"), arguments.get("NewExternalPort")))
            if held is None:
                return "500 Internal Server Error", soap_fault(714)
            client = "10.77.0.3" if mode == "held-for-other" else held.get("NewInternalClient", "")
            return "200 OK", soap_answer(action, {
                "NewInternalPort": held.get("NewInternalPort", ""), "NewInternalClient": client,
                "NewEnabled": "1", "NewPortMappingDescription": held.get("NewPortMappingDescription", ""),
                "NewLeaseDuration": "0"})
        return "500 Internal Server Error", soap_fault(401)


class HttpHandler(socketserver.BaseRequestHandler):
    def handle(self):
        gateway = self.server.gateway
        mode = gateway.args.mode
        peer = self.client_address[0]
        self.request.settimeout(30)
        if mode == "silent":
            gateway.log(f"CONNECT {peer}")
            self.hold()
            return
        request = self.read_request()
        if request is None:
            return
        method, path, headers, body = request
        if method == "GET":
            gateway.log(f"GET {path} {peer}")
            if mode == "slow-steps":
                time.sleep(STEP_SECONDS)
            head, payload = http_message("200 OK", gateway.description())
            self.send_description(head, payload)
        elif method == "POST":
            action = headers.get("soapaction", "").strip('"').rpartition("#")[2]
            gateway.log(f"POST {action} {peer}")
            arguments = dict(re.findall(r"<(New\w+)>([^<]*)</\1>", body.decode(errors="replace")))
            status, answer = gateway.soap(action, arguments)
            if mode == "slow-steps" and action in SLOW_ACTIONS:
                time.sleep(STEP_SECONDS)
            head, payload = http_message(status, answer)
            if action == "AddPortMapping" and mode == "slow-add":
                self.trickle(head + payload)
            elif action == "AddPortMapping" and mode == "close-mid-add":
                self.send(head + payload[:len(payload) // 2])
            else:
                self.send(head + payload)
        else:
            self.send(b"".join(http_message("405 Method Not Allowed", "")))

    def send_description(self, head, payload):
        mode = self.server.gateway.args.mode
        if mode == "slow-description":
            self.trickle(head + payload)
        elif mode == "close-mid-description":
            self.send(head + payload[:len(payload) // 2])
        elif mode == "malformed-xml":
            junk = b"<root><device><deviceType>" + IGD_TYPE.encode() + b"</deviceTyp><<&&>\x00\xff<service></root"
            self.send(b"".join(http_message("200 OK", junk)))
        elif mode == "endless-description":
            self.send(head.replace(b"Content-Length", b"X-Length") + payload[:payload.index(b"<specVersion>")])
            filler = (b"<!-- " + b"x" * 1014 + b" -->\n") * 1024
            for _ in range(self.server.gateway.args.huge_mb):
                if not self.send(filler):
                    return
            self.hold()
        elif mode == "truncated-xml":
            self.send(b"".join(http_message("200 OK", payload[:len(payload) * 2 // 3])))
        else:
            self.send(head + payload)

    def read_request(self):
        data = b""
        while b"\r\n\r\n" not in data:
            chunk = self.receive()
            if not chunk:
                return None
            data += chunk
        head, _, body = data.partition(b"\r\n\r\n")
        lines = head.decode(errors="replace").split("\r\n")
        method, _, rest = lines[0].partition(" ")
        path = rest.rpartition(" ")[0]
        headers = {}
        for line in lines[1:]:
            name, _, value = line.partition(":")
            headers[name.strip().lower()] = value.strip()
        length = int(headers.get("content-length", "0") or 0)
        while len(body) < length:
            chunk = self.receive()
            if not chunk:
                break
            body += chunk
        return method, path, headers, body

    def receive(self):
        try:
            return self.request.recv(65536)
        except OSError:
            return b""

    def send(self, data):
        try:
            self.request.sendall(data)
            return True
        except OSError:
            return False

    def trickle(self, data):
        for i in range(len(data)):
            try:
                self.request.sendall(data[i:i + 1])
            except OSError:
                return
            time.sleep(TRICKLE_SECONDS)

    def hold(self):
        # Until the client gives up (or the server is stopped).
        while self.receive():
            pass


class HttpServer(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True


def ssdp_answer(location):
    return ("HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=120\r\n"
            f"ST: {IGD_TYPE}\r\nUSN: uuid:6f0e4c2a-1b3d-4e5f-8a9b-0c1d2e3f4a5b::{IGD_TYPE}\r\n"
            f"EXT:\r\nSERVER: Linux/6 UPnP/1.1 hostile/1\r\nLOCATION: {location}\r\n\r\n").encode()


def flood(source, to):
    """Gateway answers from `source`, about itself, as fast as they go."""
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind((source, 0))
    answer = ssdp_answer(f"http://{source}:5000/rootDesc.xml")
    end = time.monotonic() + FLOOD_SECONDS
    while time.monotonic() < end:
        for _ in range(1000):
            try:
                sock.sendto(answer, to)
            except OSError:
                pass


def answer_ssdp(gateway, sock, reply):
    while True:
        datagram, sender = sock.recvfrom(4096)
        text = datagram.decode(errors="replace")
        if not text.startswith("M-SEARCH"):
            continue
        target = re.search(r"^ST:\s*(\S+)", text, re.M | re.I)
        target = target.group(1) if target else ""
        gateway.log(f"SSDP {sender[0]}")
        if target not in (IGD_TYPE, "ssdp:all", "upnp:rootdevice"):
            continue
        if gateway.args.mode == "ssdp-flood":
            if re.search(r"^HOST:\s*" + re.escape(SSDP_GROUP), text, re.M | re.I):
                threading.Thread(target=flood, args=(gateway.args.flood_from, sender), daemon=True).start()
            continue
        reply.sendto(ssdp_answer(gateway.args.location), sender)


def reply_socket(address):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind((address, 0))
    return sock


def ssdp_socket(address):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.bind(("", SSDP_PORT))
    membership = struct.pack("4s4s", socket.inet_aton(SSDP_GROUP), socket.inet_aton(address))
    sock.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP, membership)
    return sock


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--mode", required=True, choices=[
        "good", "silent", "slow-description", "slow-add", "close-mid-description", "close-mid-add",
        "malformed-xml", "truncated-xml", "huge-description", "endless-description", "fault", "not-held",
        "held-for-other", "slow-steps", "ssdp-flood"])
    parser.add_argument("--address", required=True, help="this gateway's LAN address")
    parser.add_argument("--http-port", type=int, default=5000)
    parser.add_argument("--location", help="the description URL SSDP announces (default: our own)")
    parser.add_argument("--control-url", default="/ctl/IPConn", help="where the description sends SOAP")
    parser.add_argument("--external-ip", default="11.77.0.1")
    parser.add_argument("--fault", type=int, default=501, help="the UPnP error code of mode fault")
    parser.add_argument("--huge-mb", type=int, default=8, help="size of the huge and endless descriptions")
    parser.add_argument("--no-ssdp", action="store_true", help="HTTP only")
    parser.add_argument("--join", help="hear the SSDP group on this interface address, answer from --address")
    parser.add_argument("--flood-from", default="10.99.0.5", help="the source of mode ssdp-flood's answers")
    parser.add_argument("--log")
    args = parser.parse_args()
    args.location = args.location or f"http://{args.address}:{args.http_port}/rootDesc.xml"

    gateway = Gateway(args)
    server = HttpServer((args.address, args.http_port), HttpHandler)
    server.gateway = gateway
    if not args.no_ssdp:
        sock = ssdp_socket(args.join or args.address)
        reply = reply_socket(args.address) if args.join else sock
        threading.Thread(target=answer_ssdp, args=(gateway, sock, reply), daemon=True).start()
    print("ready", flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
