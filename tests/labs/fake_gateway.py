#!/usr/bin/env python3
"""A UPnP Internet gateway's SSDP and HTTP sides (with --port-control: PCP or NAT-PMP on UDP 5351, no SSDP),
well-behaved or bad in one chosen way, in place of the lab's miniupnpd, only inside a lab namespace. Prints
"ready" once it listens, then SSDP, GET or the SOAP action of each request heard. Modes: good; silent (never
answers); slow-add (AddPortMapping's answer a byte every half second); endless-description; not-held (says
yes, holds nothing); held-for-other (read back as 10.77.0.3's); permanent-only (725 to a lease with an end);
hang-up-add (AddPortMapping gets no answer but the connection's end); ssdp-flood (answers a multicast search
with a flood from the WAN side, 10.78.0.1, for 15 s). --delay: seconds before answering GET and each
PortMapping action; --slow-mappings: seconds more before each PortMapping action alone. --refuse: the error
code AddPortMapping answers, or PCP's MAP, or NAT-PMP's every request. --external: the external address every
protocol names. --map-answer bends PCP and NAT-PMP mapping answers: other-port (maps the next port),
lifetime-zero (a yes that maps nothing); --short-grants N: the first N grants of each protocol last 1 s;
--max-lifetime: the longest PCP or NAT-PMP grant; --held-for ADDRESS:PORT:COUNT: TCP mappings another program
made, from PORT on, held from the start (listed, read and deleted as any other). After each mapping request it
prints what it holds ("holds=TCP,UDP").
"""
import argparse, re, socket, struct, threading, time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

IGD = "urn:schemas-upnp-org:device:InternetGatewayDevice:1"
EPOCH = struct.pack("!I", 1000)  # seconds since the gateway started
SERVICE = ("<service><serviceType>urn:schemas-upnp-org:service:{0}:1</serviceType><serviceId>urn:upnp-org:serviceId:{0}"
           "</serviceId><controlURL>{1}</controlURL><eventSubURL>/evt</eventSubURL><SCPDURL>/{0}.xml</SCPDURL></service>")
DESCRIPTION = f"""<?xml version="1.0"?>
<root xmlns="urn:schemas-upnp-org:device-1-0"><specVersion><major>1</major><minor>0</minor></specVersion>
<device><deviceType>{IGD}</deviceType><friendlyName>fake gateway</friendlyName><UDN>uuid:6f0e4c2a-1</UDN>
<deviceList><device><deviceType>urn:schemas-upnp-org:device:WANDevice:1</deviceType><UDN>uuid:6f0e4c2a-2</UDN>
<serviceList>{SERVICE.format("WANCommonInterfaceConfig", "/ctl/CmnIfCfg")}</serviceList>
<deviceList><device><deviceType>urn:schemas-upnp-org:device:WANConnectionDevice:1</deviceType><UDN>uuid:6f0e4c2a-3</UDN>
<serviceList>{{}}</serviceList></device></deviceList></device></deviceList></device></root>
"""
ENVELOPE = ('<?xml version="1.0"?>\r\n<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/" '
            's:encodingStyle="http://schemas.xmlsoap.org/soap/encoding/"><s:Body>{}</s:Body></s:Envelope>\r\n')
FAULT = ("<s:Fault><faultcode>s:Client</faultcode><faultstring>UPnPError</faultstring><detail><UPnPError "
         'xmlns="urn:schemas-upnp-org:control-1-0"><errorCode>{}</errorCode></UPnPError></detail></s:Fault>')
ARGS, MAPPINGS, HELD, GRANTS, LOCK = None, {}, set(), {}, threading.Lock()


def log(action):
    with LOCK:
        print(action, flush=True)


def soap(action, arguments):
    """The status and SOAP body answering action."""
    key = (arguments.get("NewProtocol"), arguments.get("NewExternalPort"))
    if action == "AddPortMapping" and ARGS.refuse:
        return "500 Internal Server Error", ENVELOPE.format(FAULT.format(ARGS.refuse))
    if action == "AddPortMapping" and ARGS.mode == "permanent-only" and arguments.get("NewLeaseDuration") != "0":
        return "500 Internal Server Error", ENVELOPE.format(FAULT.format(725))
    with LOCK:
        if action == "AddPortMapping" and ARGS.mode != "not-held":
            MAPPINGS[key] = arguments
        held = MAPPINGS.get(key)
    answers = {"GetStatusInfo": dict(NewConnectionStatus="Connected", NewLastConnectionError="ERROR_NONE", NewUptime="1000"),
               "GetExternalIPAddress": dict(NewExternalIPAddress=ARGS.external), "AddPortMapping": {}}
    if action == "GetGenericPortMappingEntry":
        with LOCK:
            listed = list(MAPPINGS.values())
        index = int(arguments.get("NewPortMappingIndex", -1))
        if not 0 <= index < len(listed):
            return "500 Internal Server Error", ENVELOPE.format(FAULT.format(713))
        answers[action] = {**listed[index], "NewEnabled": "1", "NewLeaseDuration": "0"}
    if action == "DeletePortMapping" and held:
        with LOCK:
            del MAPPINGS[key]
        answers[action] = {}
    if held and action == "GetSpecificPortMappingEntry":
        answers[action] = {**held, "NewEnabled": "1", "NewLeaseDuration": "0"}
        if ARGS.mode == "held-for-other":
            answers[action]["NewInternalClient"] = "10.77.0.3"
    if action not in answers:
        return "500 Internal Server Error", ENVELOPE.format(FAULT.format(714 if action.startswith("GetSpecific") else 401))
    return "200 OK", ENVELOPE.format(f'<u:{action}Response xmlns:u="urn:schemas-upnp-org:service:WANIPConnection:1">'
                                     + "".join(f"<{name}>{value}</{name}>" for name, value in answers[action].items())
                                     + f"</u:{action}Response>")


class Http(BaseHTTPRequestHandler):
    def handle(self):
        try:
            while ARGS.mode == "silent" and self.request.recv(4096):
                pass
            super().handle()
        except OSError:   # the client hung up
            pass

    def do_GET(self):
        log("GET")
        time.sleep(ARGS.delay)
        body = DESCRIPTION.format(SERVICE.format("WANIPConnection", ARGS.control_url)).encode()
        if ARGS.mode == "endless-description":   # no length, and no end
            self.wfile.write(b"HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n\r\n" + body[:body.index(b"<specVersion>")])
            while True:
                self.wfile.write(b"<!-- " + b"x" * 65536 + b" -->\n")
        self.reply("200 OK", body)

    def do_POST(self):
        action = self.headers.get("SOAPAction", "").strip('"').rpartition("#")[2]
        body = self.rfile.read(int(self.headers.get("Content-Length", 0))).decode(errors="replace")
        log(action)
        if action == "AddPortMapping" and ARGS.mode == "hang-up-add":
            self.close_connection = True
            return
        time.sleep((ARGS.delay + ARGS.slow_mappings) * ("PortMapping" in action))
        status, answer = soap(action, dict(re.findall(r"<(New\w+)>([^<]*)</\1>", body)))
        self.reply(status, answer.encode(), slow=action == "AddPortMapping" and ARGS.mode == "slow-add")

    def reply(self, status, body, slow=False):
        data = (f"HTTP/1.1 {status}\r\nContent-Type: text/xml\r\nContent-Length: {len(body)}\r\n"
                "Connection: close\r\n\r\n").encode() + body
        for piece in ([data[i:i + 1] for i in range(len(data))] if slow else [data]):
            self.wfile.write(piece)
            time.sleep(0.5 * slow)

    def log_message(self, *args):
        pass


def ssdp_answer(location):
    return (f"HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=120\r\nST: {IGD}\r\nUSN: uuid:6f0e4c2a::{IGD}\r\n"
            f"EXT:\r\nLOCATION: {location}\r\n\r\n").encode()


def flood(to):
    """Answers from the gateway's WAN side, about itself, as fast as they go."""
    sock, end = socket.socket(socket.AF_INET, socket.SOCK_DGRAM), time.monotonic() + 15
    sock.bind(("10.78.0.1", 0))
    while time.monotonic() < end:
        sock.sendto(ssdp_answer("http://10.78.0.1:5000/rootDesc.xml"), to)


def answer_ssdp(listener, sender):
    while True:
        datagram, peer = listener.recvfrom(4096)
        text = datagram.decode(errors="replace")
        if not text.startswith("M-SEARCH"):
            continue
        log("SSDP")
        if ARGS.mode == "ssdp-flood":
            if re.search(r"^HOST:\s*239\.255\.255\.250", text, re.M | re.I):
                threading.Thread(target=flood, args=(peer,), daemon=True).start()
        elif re.search(rf"^ST:\s*({IGD}|ssdp:all|upnp:rootdevice)\s*$", text, re.M | re.I):
            sender.sendto(ssdp_answer(ARGS.location), peer)


def port_control(request):
    """The answer to a PCP (version 2) or NAT-PMP (version 0) datagram, or None."""
    if len(request) < 2 or request[0] not in (0, 2):
        return None
    version, opcode = request[0], request[1]
    if version == 2 and ARGS.port_control != "pcp":
        return bytes([0, 0x80 | opcode, 0, 1]) + EPOCH   # a NAT-PMP gateway: unsupported version
    if version == 0 and ARGS.port_control != "natpmp":
        return None
    if version == 0 and ARGS.refuse:   # NAT-PMP refuses every request, its first question too
        return bytes([0, 0x80 | opcode]) + struct.pack("!H", ARGS.refuse) + EPOCH
    if opcode == 0:   # PCP's ANNOUNCE, NAT-PMP's external address
        return (bytes([2, 0x80] + [0] * 6) + EPOCH + bytes(12) if version
                else bytes([0, 0x80, 0, 0]) + EPOCH + socket.inet_aton(ARGS.external))
    if version == 2 and opcode == 1 and len(request) >= 60:
        nonce = request[24:36]
        granted = (struct.unpack("!H", request[42:44])[0], 0) if ARGS.refuse else grant(
            {6: "TCP", 17: "UDP"}.get(request[36]), *struct.unpack("!HI", request[42:44] + request[4:8]))
        return (bytes([2, 0x81, 0, ARGS.refuse or 0]) + struct.pack("!I", min(granted[1], 86400))
                + EPOCH + bytes(12) + nonce + request[36:42] + struct.pack("!H", granted[0]) + bytes(10) + b"\xff\xff"
                + socket.inet_aton(ARGS.external))
    if version == 0 and opcode in (1, 2) and len(request) >= 12:
        granted = grant(("UDP", "TCP")[opcode - 1], *struct.unpack("!HI", request[6:12]))
        return bytes([0, 128 + opcode, 0, 0]) + EPOCH + request[4:6] + struct.pack("!HI", *granted)
    return None


def grant(protocol, external, lifetime):
    """The external port and lifetime a mapping answer names; what is held follows them."""
    bent, GRANTS[protocol] = ARGS.map_answer, GRANTS.get(protocol, 0) + 1
    granted = (external + (bent == "other-port"), 0 if bent == "lifetime-zero" or not lifetime
               else 1 if GRANTS[protocol] <= ARGS.short_grants else min(lifetime, ARGS.max_lifetime))
    (HELD.add if granted[1] else HELD.discard)(protocol)
    log("holds=" + ",".join(sorted(HELD)))
    return granted


def answer_port_control(sock):
    while True:
        datagram, peer = sock.recvfrom(2048)
        answer = port_control(datagram)
        if answer:
            sock.sendto(answer, peer)


def main():
    global ARGS
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--address", required=True, help="where multicast searches and UDP 5351 are heard")
    parser.add_argument("--mode", default="good", choices=("good", "silent", "slow-add", "endless-description",
                                                           "not-held", "held-for-other", "permanent-only", "hang-up-add",
                                                           "ssdp-flood"))
    parser.add_argument("--ssdp-from", help="the address SSDP answers leave from (default --address)")
    parser.add_argument("--location", help="the description URL SSDP announces (default: our own)")
    parser.add_argument("--control-url", default="/ctl/IPConn")
    parser.add_argument("--port-control", choices=("pcp", "natpmp"))
    parser.add_argument("--map-answer", default="good", choices=("good", "other-port", "lifetime-zero"))
    for name, kind, default in (("--delay", float, 0), ("--slow-mappings", float, 0), ("--refuse", int, None),
                                ("--external", str, "11.77.0.1"), ("--short-grants", int, 0),
                                ("--max-lifetime", int, 86400)):
        parser.add_argument(name, type=kind, default=default)
    parser.add_argument("--held-for", action="append", default=[])
    ARGS = parser.parse_args()
    for held in ARGS.held_for:
        address, first, count = held.split(":")
        for port in map(str, range(int(first), int(first) + int(count))):
            MAPPINGS[("TCP", port)] = dict(NewRemoteHost="", NewExternalPort=port, NewProtocol="TCP", NewInternalPort=port,
                                          NewInternalClient=address, NewPortMappingDescription=f"chat {port}")
    ARGS.location = ARGS.location or f"http://{ARGS.ssdp_from or ARGS.address}:5000/rootDesc.xml"
    server = ThreadingHTTPServer(("", 5000), Http)
    if not ARGS.port_control:
        listener = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        listener.bind(("", 1900))
        listener.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                            socket.inet_aton("239.255.255.250") + socket.inet_aton(ARGS.address))
        sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM) if ARGS.ssdp_from else listener
        if ARGS.ssdp_from:
            sender.bind((ARGS.ssdp_from, 0))
        threading.Thread(target=answer_ssdp, args=(listener, sender), daemon=True).start()
    if ARGS.port_control:
        sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        sock.bind((ARGS.address, 5351))
        threading.Thread(target=answer_port_control, args=(sock,), daemon=True).start()
    print("ready", flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
