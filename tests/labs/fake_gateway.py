#!/usr/bin/env python3
"""A UPnP Internet gateway's SSDP and HTTP sides, well-behaved or bad in one chosen way,
in place of the lab's miniupnpd (only ever inside a lab namespace).

    fake_gateway.py --address 10.77.0.1 [--mode MODE] [options]

Modes: good (holds what it maps); silent; slow-description and slow-add (a byte every half
second); close-mid-description and close-mid-add (hang up halfway); malformed-xml;
truncated-xml; huge-description and endless-description (--huge-mb, then silence); fault
(refuses AddPortMapping with --fault); not-held (says yes, holds nothing); held-for-other
(read back as 10.77.0.3's); held-disabled; disconnected; media-server (no gateway);
ppp-first (a disconnected PPP connection before the IP one); slow-steps (2.5 s over the
description, each AddPortMapping and each read-back); ssdp-flood (a multicast search is
answered by a flood of answers from --flood-from, for 15 s). With --port-control pcp or
natpmp it also speaks that protocol on UDP 5351 (answering the other one's version with
"unsupported", or not at all), the address question and ANNOUNCE well, and each mapping
request as --map-answer says: good (grants the ports asked for, up to a day, and holds
them); wrong-nonce (PCP); wrong-opcode (PCP PEER, NAT-PMP's other protocol); truncated;
oversized; other-port (grants and holds the next port); lifetime-zero (a yes that maps
nothing). Prints "ready" once it listens; --log gets one JSON object per request: from,
kind, path, action, arguments (for a mapping request: what it holds afterwards).
"""
import argparse
import json
import re
import socket
import socketserver
import struct
import threading
import time

IGD = "urn:schemas-upnp-org:device:InternetGatewayDevice:1"
IP_SERVICE = "urn:schemas-upnp-org:service:WANIPConnection:1"
MODES = ("good", "silent", "slow-description", "slow-add", "close-mid-description", "close-mid-add", "malformed-xml",
         "truncated-xml", "huge-description", "endless-description", "fault", "not-held", "held-for-other",
         "held-disabled", "disconnected", "media-server", "ppp-first", "slow-steps", "ssdp-flood")
MAP_ANSWERS = ("good", "wrong-nonce", "wrong-opcode", "truncated", "oversized", "other-port", "lifetime-zero")
EPOCH = struct.pack("!I", 1000)  # seconds since the gateway started

SERVICE = ("<service><serviceType>urn:schemas-upnp-org:service:{0}:1</serviceType><serviceId>urn:upnp-org:serviceId:{0}"
           "</serviceId><controlURL>{1}</controlURL><eventSubURL>/evt</eventSubURL><SCPDURL>/{0}.xml</SCPDURL></service>")
DESCRIPTION = """<?xml version="1.0"?>
<root xmlns="urn:schemas-upnp-org:device-1-0"><specVersion><major>1</major><minor>0</minor></specVersion>
<device><deviceType>{device}</deviceType><friendlyName>fake gateway</friendlyName>{padding}
<UDN>uuid:6f0e4c2a-1b3d-4e5f-8a9b-0c1d2e3f4a5b</UDN>
<deviceList><device><deviceType>urn:schemas-upnp-org:device:WANDevice:1</deviceType>
<UDN>uuid:6f0e4c2a-1b3d-4e5f-8a9b-0c1d2e3f4a5c</UDN><serviceList>{common}</serviceList>
<deviceList><device><deviceType>urn:schemas-upnp-org:device:WANConnectionDevice:1</deviceType>
<UDN>uuid:6f0e4c2a-1b3d-4e5f-8a9b-0c1d2e3f4a5d</UDN>
<serviceList>{services}</serviceList>
</device></deviceList></device></deviceList></device></root>
"""
ENVELOPE = ('<?xml version="1.0"?>\r\n<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/" '
            's:encodingStyle="http://schemas.xmlsoap.org/soap/encoding/"><s:Body>{}</s:Body></s:Envelope>\r\n')


def soap_answer(action, values):
    fields = "".join(f"<{name}>{value}</{name}>" for name, value in values.items())
    return ENVELOPE.format(f'<u:{action}Response xmlns:u="{IP_SERVICE}">{fields}</u:{action}Response>')


def soap_fault(code):
    return ENVELOPE.format("<s:Fault><faultcode>s:Client</faultcode><faultstring>UPnPError</faultstring><detail>"
                           f'<UPnPError xmlns="urn:schemas-upnp-org:control-1-0"><errorCode>{code}</errorCode>'
                           "<errorDescription>refused</errorDescription></UPnPError></detail></s:Fault>")


def http_message(status, body):
    body = body.encode() if isinstance(body, str) else body
    return (f"HTTP/1.1 {status}\r\nContent-Type: text/xml\r\nContent-Length: {len(body)}\r\n"
            "Connection: close\r\n\r\n").encode(), body


class Gateway:
    def __init__(self, args):
        self.args, self.mappings, self.lock = args, {}, threading.Lock()

    def log(self, sender, kind, path="", action="", arguments=None):
        if self.args.log:
            with self.lock, open(self.args.log, "a") as log:
                log.write(json.dumps({"from": sender, "kind": kind, "path": path, "action": action,
                                      "arguments": arguments or {}}) + "\n")

    def description(self):
        mode, padding = self.args.mode, ""
        if mode == "huge-description":
            padding = ("<!-- " + "x" * 1000 + " -->\n") * (self.args.huge_mb * 1024)
        services = SERVICE.format("WANIPConnection", self.args.control_url)
        if mode == "ppp-first":
            services = SERVICE.format("WANPPPConnection", "/ctl/PPPConn") + services
        if mode == "media-server":
            return DESCRIPTION.format(device="urn:schemas-upnp-org:device:MediaServer:1", padding="", common="",
                                      services="")
        common = SERVICE.format("WANCommonInterfaceConfig", "/ctl/CmnIfCfg")
        return DESCRIPTION.format(device=IGD, padding=padding, common=common, services=services)

    def soap(self, path, action, arguments):
        mode = self.args.mode
        if action == "GetStatusInfo":
            down = mode == "disconnected" or path == "/ctl/PPPConn"
            return "200 OK", soap_answer(action, {"NewConnectionStatus": "Disconnected" if down else "Connected",
                                                  "NewLastConnectionError": "ERROR_NONE", "NewUptime": "1000"})
        if action == "GetExternalIPAddress":
            return "200 OK", soap_answer(action, {"NewExternalIPAddress": self.args.external_ip})
        key = (arguments.get("NewProtocol"), arguments.get("NewExternalPort"))
        if action == "AddPortMapping":
            if mode == "fault":
                return "500 Internal Server Error", soap_fault(self.args.fault)
            if mode not in ("not-held", "close-mid-add"):
                with self.lock:
                    self.mappings[key] = arguments
            return "200 OK", soap_answer(action, {})
        if action == "GetSpecificPortMappingEntry":
            with self.lock:
                held = self.mappings.get(key)
            if held is None:
                return "500 Internal Server Error", soap_fault(714)
            return "200 OK", soap_answer(action, {
                "NewInternalPort": held.get("NewInternalPort", ""),
                "NewInternalClient": "10.77.0.3" if mode == "held-for-other" else held.get("NewInternalClient", ""),
                "NewEnabled": "0" if mode == "held-disabled" else "1",
                "NewPortMappingDescription": held.get("NewPortMappingDescription", ""), "NewLeaseDuration": "0"})
        return "500 Internal Server Error", soap_fault(401)


    def port_control(self, sender, datagram):
        """The answer to a PCP or NAT-PMP datagram, or None."""
        if len(datagram) >= 2 and datagram[0] == 2:
            return self.pcp(sender, datagram)
        if len(datagram) >= 2 and datagram[0] == 0:
            return self.natpmp(sender, datagram)
        return None

    def pcp(self, sender, request):
        if self.args.port_control != "pcp":
            return bytes([0, 0x80 | request[1], 0, 1]) + EPOCH  # as a NAT-PMP server: unsupported version
        if request[1] == 0:  # ANNOUNCE
            return pcp_header(0x80, 0) + bytes(12)
        if request[1] != 1 or len(request) < 60:
            return None
        lifetime, nonce, number = struct.unpack("!I", request[4:8])[0], request[24:36], request[36]
        internal, external = struct.unpack("!HH", request[40:44])
        granted, life = self.grant(sender, "PCP", {6: "TCP", 17: "UDP"}.get(number, ""), internal, external, lifetime)
        if self.args.map_answer == "wrong-nonce":
            nonce = bytes(b ^ 0xFF for b in nonce)
        opcode = 0x82 if self.args.map_answer == "wrong-opcode" else 0x81
        return self.bent(pcp_header(opcode, life) + nonce + bytes([number, 0, 0, 0]) + struct.pack("!HH", internal, granted)
                         + bytes(10) + b"\xff\xff" + socket.inet_aton(self.args.external_ip), 1200)

    def natpmp(self, sender, request):
        if self.args.port_control != "natpmp":
            return None
        if request[1] == 0:
            return bytes([0, 128, 0, 0]) + EPOCH + socket.inet_aton(self.args.external_ip)
        if request[1] not in (1, 2) or len(request) < 12:
            return None
        internal, external, lifetime = struct.unpack("!HHI", request[4:12])
        protocol = "UDP" if request[1] == 1 else "TCP"
        granted, life = self.grant(sender, "NAT-PMP", protocol, internal, external, lifetime)
        opcode = 3 - request[1] if self.args.map_answer == "wrong-opcode" else request[1]
        return self.bent(bytes([0, 128 + opcode, 0, 0]) + EPOCH + struct.pack("!HHI", internal, granted, life), 20)

    def grant(self, sender, kind, protocol, internal, external, lifetime):
        """The external port and lifetime the answer names; what is held changes only where
        a gateway would really map or delete."""
        answer = self.args.map_answer
        granted = external + 1 if answer == "other-port" and lifetime else external
        with self.lock:
            if lifetime == 0:
                self.mappings = {key: held for key, held in self.mappings.items()
                                 if not (key[0] == protocol and held.get("NewInternalPort") == str(internal))}
            elif answer in ("good", "other-port"):
                self.mappings[(protocol, str(granted))] = {"NewInternalPort": str(internal)}
            holds = sorted(" ".join(key) for key in self.mappings)
        self.log(sender, kind, action="MAP", arguments={"protocol": protocol, "internal": internal,
                                                        "external": external, "lifetime": lifetime, "holds": holds})
        return granted, 0 if answer == "lifetime-zero" else min(lifetime, 86400)

    def bent(self, answer, oversize):
        if self.args.map_answer == "truncated":
            return answer[:len(answer) * 2 // 3]
        return answer + bytes(oversize) if self.args.map_answer == "oversized" else answer


def pcp_header(opcode, lifetime):
    return bytes([2, opcode, 0, 0]) + struct.pack("!I", lifetime) + EPOCH + bytes(12)


def answer_port_control(gateway, sock):
    while True:
        datagram, peer = sock.recvfrom(2048)
        answer = gateway.port_control(peer[0], datagram)
        if answer:
            sock.sendto(answer, peer)


class HttpHandler(socketserver.BaseRequestHandler):
    def handle(self):
        gateway, peer = self.server.gateway, self.client_address[0]
        mode = gateway.args.mode
        self.request.settimeout(30)
        if mode == "silent":
            gateway.log(peer, "CONNECT")
            return self.hold()
        request = self.read_request()
        if request is None:
            return
        method, path, headers, body = request
        if mode == "slow-steps" and (method == "GET" or "PortMapping" in headers.get("soapaction", "")):
            time.sleep(2.5)
        if method == "GET":
            gateway.log(peer, "GET", path)
            return self.send_description(*http_message("200 OK", gateway.description()))
        action = headers.get("soapaction", "").strip('"').rpartition("#")[2]
        arguments = dict(re.findall(r"<(New\w+)>([^<]*)</\1>", body.decode(errors="replace")))
        gateway.log(peer, "POST", path, action, arguments)
        head, payload = http_message(*gateway.soap(path, action, arguments))
        if action == "AddPortMapping" and mode == "slow-add":
            self.trickle(head + payload)
        elif action == "AddPortMapping" and mode == "close-mid-add":
            self.send(head + payload[:len(payload) // 2])
        else:
            self.send(head + payload)

    def send_description(self, head, payload):
        mode = self.server.gateway.args.mode
        if mode == "slow-description":
            self.trickle(head + payload)
        elif mode == "close-mid-description":
            self.send(head + payload[:len(payload) // 2])
        elif mode == "malformed-xml":
            self.send(b"".join(http_message("200 OK", f"<root><device><deviceType>{IGD}</deviceTyp><<&&>\x00<service>")))
        elif mode == "truncated-xml":
            self.send(b"".join(http_message("200 OK", payload[:len(payload) * 2 // 3])))
        elif mode == "endless-description":
            self.send(head.replace(b"Content-Length", b"X-Length") + payload[:payload.index(b"<specVersion>")])
            filler = (b"<!-- " + b"x" * 1014 + b" -->\n") * 1024
            for _ in range(self.server.gateway.args.huge_mb):
                if not self.send(filler):
                    return
            self.hold()
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
        headers = {name.strip().lower(): value.strip() for name, _, value in (line.partition(":") for line in lines[1:])}
        while len(body) < int(headers.get("content-length", "0") or 0):
            chunk = self.receive()
            if not chunk:
                break
            body += chunk
        return method, rest.rpartition(" ")[0], headers, body

    def receive(self):
        try:
            return self.request.recv(65536)
        except OSError:
            return b""

    def send(self, data):
        try:
            return self.request.sendall(data) is None
        except OSError:
            return False

    def trickle(self, data):
        for i in range(len(data)):
            if not self.send(data[i:i + 1]):
                return
            time.sleep(0.5)

    def hold(self):  # until the client gives up
        while self.receive():
            pass


class HttpServer(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True


def ssdp_answer(location):
    return (f"HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=120\r\nST: {IGD}\r\nUSN: uuid:6f0e4c2a::{IGD}\r\n"
            f"EXT:\r\nLOCATION: {location}\r\n\r\n").encode()


def flood(source, to):
    """Gateway answers from source, about itself, as fast as they go."""
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind((source, 0))
    answer, end = ssdp_answer(f"http://{source}:5000/rootDesc.xml"), time.monotonic() + 15
    while time.monotonic() < end:
        try:
            sock.sendto(answer, to)
        except OSError:
            pass


def answer_ssdp(gateway, listener, sender):
    while True:
        datagram, peer = listener.recvfrom(4096)
        text = datagram.decode(errors="replace")
        if not text.startswith("M-SEARCH"):
            continue
        gateway.log(peer[0], "SSDP")
        target = re.search(r"^ST:\s*(\S+)", text, re.M | re.I)
        if gateway.args.mode == "ssdp-flood":
            if re.search(r"^HOST:\s*239\.255\.255\.250", text, re.M | re.I):
                threading.Thread(target=flood, args=(gateway.args.flood_from, peer), daemon=True).start()
        elif target and target.group(1) in (IGD, "ssdp:all", "upnp:rootdevice"):
            sender.sendto(ssdp_answer(gateway.args.location), peer)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--mode", choices=MODES, default="good")
    parser.add_argument("--address", required=True, help="where multicast searches are heard")
    parser.add_argument("--ssdp-from", help="the address SSDP answers leave from (default --address)")
    parser.add_argument("--location", help="the description URL SSDP announces (default: our own)")
    parser.add_argument("--control-url", default="/ctl/IPConn")
    parser.add_argument("--external-ip", default="11.77.0.1")
    parser.add_argument("--fault", type=int, default=501)
    parser.add_argument("--huge-mb", type=int, default=8)
    parser.add_argument("--flood-from", default="10.78.0.1", help="the source of mode ssdp-flood's answers")
    parser.add_argument("--no-ssdp", action="store_true")
    parser.add_argument("--port-control", choices=("pcp", "natpmp"), help="also speak this on UDP 5351")
    parser.add_argument("--map-answer", choices=MAP_ANSWERS, default="good")
    parser.add_argument("--log")
    args = parser.parse_args()
    args.location = args.location or f"http://{args.ssdp_from or args.address}:5000/rootDesc.xml"

    gateway = Gateway(args)
    server = HttpServer(("", 5000), HttpHandler)
    server.gateway = gateway
    if not args.no_ssdp:
        listener = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind(("", 1900))
        listener.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                            struct.pack("4s4s", socket.inet_aton("239.255.255.250"), socket.inet_aton(args.address)))
        sender = listener
        if args.ssdp_from:
            sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            sender.bind((args.ssdp_from, 0))
        threading.Thread(target=answer_ssdp, args=(gateway, listener, sender), daemon=True).start()
    if args.port_control:
        port_control = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        port_control.bind((args.address, 5351))
        threading.Thread(target=answer_port_control, args=(gateway, port_control), daemon=True).start()
    print("ready", flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
