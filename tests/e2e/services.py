#!/usr/bin/python3
"""Network services of the simulated worlds, one per process.

Each subcommand runs inside a namespace (started through `ip netns exec`), binds its
sockets, then creates the file named by --ready so that the harness never races the
bind. It runs until it is ended by its PID. Standard library only.

  echo    HTTPS address-echo services: answer every GET with the client's IPv4 address
  tcp     accept TCP connections and close them (the public IPv6 server)
  stun    a STUN binding responder (what a router asks to learn its mapped address)
  router  a scripted home router: SSDP, description, SOAP, NAT-PMP and PCP, with
          hostile variants that no honest router produces
  ssdp    another LAN host that answers M-SEARCH as if it were the gateway
  proxy   an HTTP CONNECT proxy (a configured system proxy)
"""

import argparse
import http.server
import os
import select
import socket
import socketserver
import ssl
import struct
import sys
import threading
import time

SSDP_GROUP = "239.255.255.250"
SERVICE_TYPE = "urn:schemas-upnp-org:service:WANIPConnection:1"
DESCRIPTION_CAP = 262144


def mark_ready(path):
    with open(path + ".tmp", "w") as f:
        f.write(str(os.getpid()))
    os.rename(path + ".tmp", path)


class QuietServer(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def server_bind(self):
        # HTTPServer.server_bind asks for the host's FQDN, a name lookup that has no
        # answer inside these namespaces; keep it out.
        socketserver.TCPServer.server_bind(self)
        host, port = self.server_address[:2]
        self.server_name = host
        self.server_port = port


class QuietHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "e2e"
    sys_version = ""

    def log_message(self, fmt, *args):
        sys.stderr.write("%s %s\n" % (self.client_address[0], fmt % args))

    def send_body(self, status, body, ctype="text/plain", extra=()):
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        for k, v in extra:
            self.send_header(k, v)
        self.end_headers()
        self.wfile.write(body)
        self.close_connection = True


# ---------------------------------------------------------------- echo

class EchoHandler(QuietHandler):
    mode = "answer"

    def do_GET(self):
        if self.mode == "drip":
            return drip_body(self, 64, b"1")
        if self.mode == "drip-head":
            return drip_bytes(self, b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n" + b"X: y\r\n" * 40)
        if self.mode == "stall":
            # Connected and asked, it never answers: only the client's own bounds end the wait.
            time.sleep(120)
            self.close_connection = True
            return
        self.send_body(200, (self.client_address[0] + "\n").encode())


def drip_bytes(handler, data, interval=1.0):
    """A response head one byte a second, never finished in time."""
    try:
        for i in range(len(data)):
            handler.wfile.write(data[i:i + 1])
            handler.wfile.flush()
            time.sleep(interval)
    except OSError:
        pass
    handler.close_connection = True


def drip_body(handler, length, byte, interval=1.0, limit=120):
    """Headers at once, then one byte a second: a peer that never finishes in time."""
    handler.send_response(200)
    handler.send_header("Content-Type", "text/plain")
    handler.send_header("Content-Length", str(length))
    handler.end_headers()
    handler.wfile.flush()
    deadline = time.monotonic() + limit
    try:
        for _ in range(length):
            if time.monotonic() > deadline:
                break
            handler.wfile.write(byte)
            handler.wfile.flush()
            time.sleep(interval)
    except OSError:
        pass
    handler.close_connection = True


def run_echo(args):
    EchoHandler.mode = args.mode
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(args.cert, args.key)
    servers = []
    for addr in args.addr:
        srv = QuietServer((addr, 443), EchoHandler, bind_and_activate=True)
        srv.socket = ctx.wrap_socket(srv.socket, server_side=True)
        servers.append(srv)
    for srv in servers:
        threading.Thread(target=srv.serve_forever, daemon=True).start()
    mark_ready(args.ready)
    threading.Event().wait()


# ---------------------------------------------------------------- tcp

def run_tcp(args):
    socks = []
    for addr in args.addr:
        fam = socket.AF_INET6 if ":" in addr else socket.AF_INET
        s = socket.socket(fam, socket.SOCK_STREAM)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.bind((addr, args.port))
        s.listen(16)
        socks.append(s)
    mark_ready(args.ready)
    while True:
        r, _, _ = select.select(socks, [], [], 1.0)
        for s in r:
            c, peer = s.accept()
            sys.stderr.write("tcp accept %s\n" % (peer[0],))
            c.close()


# ---------------------------------------------------------------- stun

def run_stun(args):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind((args.addr, 3478))
    mark_ready(args.ready)
    while True:
        data, peer = s.recvfrom(2048)
        if len(data) < 20 or data[0:2] != b"\x00\x01":
            continue
        cookie = data[4:8]
        tid = data[8:20]
        ip = socket.inet_aton(peer[0])
        xport = peer[1] ^ 0x2112
        xip = bytes(a ^ b for a, b in zip(ip, cookie))
        attr = struct.pack("!HHBBH", 0x0020, 8, 0, 1, xport) + xip
        mapped = struct.pack("!HHBBH", 0x0001, 8, 0, 1, peer[1]) + ip
        body = attr + mapped
        s.sendto(struct.pack("!HH", 0x0101, len(body)) + cookie + tid + body, peer)


# ---------------------------------------------------------------- router

def description_xml(control_url, url_base=None, doctype=False, pad=0):
    base = "<URLBase>%s</URLBase>" % url_base if url_base else ""
    doc = ('<?xml version="1.0"?>\n'
           + ('<!DOCTYPE root [<!ENTITY e "x">]>\n' if doctype else "")
           + '<root xmlns="urn:schemas-upnp-org:device-1-0">'
           '<specVersion><major>1</major><minor>0</minor></specVersion>' + base +
           '<device><deviceType>urn:schemas-upnp-org:device:InternetGatewayDevice:1</deviceType>'
           '<friendlyName>e2e router</friendlyName>'
           '<deviceList><device><deviceType>urn:schemas-upnp-org:device:WANDevice:1</deviceType>'
           '<deviceList><device><deviceType>urn:schemas-upnp-org:device:WANConnectionDevice:1</deviceType>'
           '<serviceList><service>'
           '<serviceType>' + SERVICE_TYPE + '</serviceType>'
           '<serviceId>urn:upnp-org:serviceId:WANIPConn1</serviceId>'
           '<controlURL>' + control_url + '</controlURL>'
           '<eventSubURL>/evt/IPConn</eventSubURL><SCPDURL>/WANIPCn.xml</SCPDURL>'
           '</service></serviceList></device></deviceList></device></deviceList></device></root>\n')
    if pad:
        comment_room = pad - len(doc.encode()) - len("<!---->")
        doc = doc + "<!--" + "p" * comment_room + "-->"
    return doc.encode()


def soap_response(address):
    return ('<?xml version="1.0"?>'
            '<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/" '
            's:encodingStyle="http://schemas.xmlsoap.org/soap/encoding/"><s:Body>'
            '<u:GetExternalIPAddressResponse xmlns:u="' + SERVICE_TYPE + '">'
            '<NewExternalIPAddress>' + address + '</NewExternalIPAddress>'
            '</u:GetExternalIPAddressResponse></s:Body></s:Envelope>').encode()


def soap_fault(code, text):
    return ('<?xml version="1.0"?>'
            '<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/" '
            's:encodingStyle="http://schemas.xmlsoap.org/soap/encoding/"><s:Body><s:Fault>'
            '<faultcode>s:Client</faultcode><faultstring>UPnPError</faultstring><detail>'
            '<UPnPError xmlns="urn:schemas-upnp-org:control-1-0"><errorCode>%d</errorCode>'
            '<errorDescription>%s</errorDescription></UPnPError></detail></s:Fault></s:Body>'
            '</s:Envelope>' % (code, text)).encode()


def make_router_handler(args, log):
    gw = args.lan
    other = args.other_host
    port = args.http_port

    class RouterHandler(QuietHandler):
        def do_GET(self):
            log("GET %s" % self.path)
            v = args.variant
            if self.path == "/rootDesc.xml":
                if v == "desc-404":
                    return self.send_body(404, b"not found")
                if v == "desc-redirect":
                    return self.send_body(302, b"", extra=[("Location", "http://%s:%d/real.xml" % (gw, port))])
                if v == "desc-oversize":
                    return self.send_body(200, description_xml("/ctl/IPConn", pad=DESCRIPTION_CAP + 1), "text/xml")
                if v == "desc-drip":
                    return drip_body(self, 4096, b" ")
                if v == "desc-doctype":
                    return self.send_body(200, description_xml("/ctl/IPConn", doctype=True), "text/xml")
                if v == "urlbase-other":
                    return self.send_body(200, description_xml("/ctl/IPConn", url_base="http://%s:%d/" % (other, port)), "text/xml")
                if v == "control-other":
                    return self.send_body(200, description_xml("http://%s:%d/ctl/IPConn" % (other, port)), "text/xml")
                return self.send_body(200, description_xml("/ctl/IPConn"), "text/xml")
            if self.path == "/real.xml":
                return self.send_body(200, description_xml("/ctl/IPConn"), "text/xml")
            self.send_body(404, b"not found")

        def do_POST(self):
            length = int(self.headers.get("Content-Length", "0") or 0)
            body = self.rfile.read(min(length, 65536))
            action = self.headers.get("SOAPAction", "")
            log("POST %s %s" % (self.path, action))
            if self.path != "/ctl/IPConn" or "GetExternalIPAddress" not in action or b"GetExternalIPAddress" not in body:
                return self.send_body(500, b"", "text/xml")
            if args.variant == "soap-fault":
                return self.send_body(500, soap_fault(501, "Action Failed"), 'text/xml; charset="utf-8"')
            if args.variant == "soap-redirect":
                return self.send_body(307, b"", extra=[("Location", "http://%s:%d/ctl/IPConn2" % (gw, port))])
            self.send_body(200, soap_response(args.upnp_address), 'text/xml; charset="utf-8"')

    return RouterHandler


def ssdp_answer(location, pad=0):
    msg = ("HTTP/1.1 200 OK\r\n"
           "CACHE-CONTROL: max-age=120\r\n"
           "ST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n"
           "USN: uuid:e2e0e2e0-0000-4000-8000-000000000001::urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n"
           "EXT:\r\n"
           "SERVER: e2e/1 UPnP/1.1 e2e/1\r\n"
           "LOCATION: " + location + "\r\n")
    if pad:
        msg += "X-PAD: " + "p" * (pad - len(msg) - 11) + "\r\n"
    return (msg + "\r\n").encode()


def ssdp_socket(lan):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("0.0.0.0", 1900))
    mreq = socket.inet_aton(SSDP_GROUP) + socket.inet_aton(lan)
    s.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP, mreq)
    return s


def answer_ssdp(s, location, pad, log):
    data, peer = s.recvfrom(4096)
    if not data.startswith(b"M-SEARCH"):
        return
    log("M-SEARCH from %s" % peer[0])
    out = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    try:
        out.sendto(ssdp_answer(location, pad), peer)
    finally:
        out.close()


def natpmp_pcp_answer(args, data, log):
    if len(data) >= 2 and data[0] == 0:
        log("NAT-PMP op %d" % data[1])
        if args.natpmp == "silent" or data[1] != 0:
            return None
        if args.natpmp == "refuse":  # result code 2: not authorized / refused
            return struct.pack("!BBHI", 0, 128, 2, 1000) + b"\0" * 4
        addr = socket.inet_aton(args.natpmp)
        return struct.pack("!BBHI", 0, 128, 0, 1000) + addr
    if len(data) >= 24 and data[0] == 2:
        log("PCP op %d" % (data[1] & 0x7F))
        if args.pcp == "silent":
            return None
        code = int(args.pcp)
        return struct.pack("!BBBBII", 2, 0x80 | (data[1] & 0x7F), 0, code, 0, 1000) + b"\0" * 12
    return None


def run_router(args):
    lock = threading.Lock()
    logf = open(args.log, "a") if args.log else sys.stderr

    def log(text):
        with lock:
            logf.write(text + "\n")
            logf.flush()

    srv = QuietServer((args.lan, args.http_port), make_router_handler(args, log))
    threading.Thread(target=srv.serve_forever, daemon=True).start()

    socks = {}
    if args.variant != "no-ssdp":
        socks["ssdp"] = ssdp_socket(args.lan)
    u = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    u.bind((args.lan, 5351))
    socks["pmp"] = u
    if args.variant == "location-other":
        location = "http://%s:%d/rootDesc.xml" % (args.other_host, args.http_port)
    else:
        location = "http://%s:%d/rootDesc.xml" % (args.lan, args.http_port)
    pad = 9000 if args.variant == "ssdp-oversize" else 0
    mark_ready(args.ready)
    while True:
        r, _, _ = select.select(list(socks.values()), [], [], 1.0)
        for s in r:
            if s is socks.get("ssdp"):
                answer_ssdp(s, location, pad, log)
            else:
                data, peer = s.recvfrom(2048)
                reply = natpmp_pcp_answer(args, data, log)
                if reply is not None:
                    s.sendto(reply, peer)


def run_ssdp(args):
    s = ssdp_socket(args.lan)
    location = "http://%s:%d/rootDesc.xml" % (args.gateway, args.http_port)
    mark_ready(args.ready)
    while True:
        r, _, _ = select.select([s], [], [], 1.0)
        if r:
            answer_ssdp(s, location, 0, lambda t: sys.stderr.write(t + "\n"))


# ---------------------------------------------------------------- proxy

def relay(a, b):
    try:
        socks = [a, b]
        while True:
            r, _, _ = select.select(socks, [], [], 30)
            if not r:
                return
            for s in r:
                data = s.recv(65536)
                if not data:
                    return
                (b if s is a else a).sendall(data)
    except OSError:
        pass
    finally:
        a.close()
        b.close()


def proxy_client(c):
    try:
        head = b""
        while b"\r\n\r\n" not in head and len(head) < 8192:
            chunk = c.recv(4096)
            if not chunk:
                c.close()
                return
            head += chunk
        line = head.split(b"\r\n", 1)[0].decode("latin-1").split()
        sys.stderr.write("proxy %s\n" % " ".join(line))
        if len(line) < 2 or line[0] != "CONNECT":
            c.sendall(b"HTTP/1.1 405 Method Not Allowed\r\nContent-Length: 0\r\n\r\n")
            c.close()
            return
        host, port = line[1].rsplit(":", 1)
        up = socket.create_connection((host, int(port)), timeout=5)
        c.sendall(b"HTTP/1.1 200 Connection established\r\n\r\n")
        relay(c, up)
    except OSError:
        c.close()


def run_proxy(args):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind((args.addr, args.port))
    s.listen(16)
    mark_ready(args.ready)
    while True:
        c, _ = s.accept()
        threading.Thread(target=proxy_client, args=(c,), daemon=True).start()


def main():
    p = argparse.ArgumentParser()
    sub = p.add_subparsers(dest="cmd", required=True)
    e = sub.add_parser("echo")
    e.add_argument("--cert", required=True)
    e.add_argument("--key", required=True)
    e.add_argument("--addr", action="append", required=True)
    e.add_argument("--mode", default="answer", choices=("answer", "drip", "drip-head", "stall"),
                   help="drip: the body one byte a second; drip-head: the head likewise; "
                        "stall: never answer")
    t = sub.add_parser("tcp")
    t.add_argument("--addr", action="append", required=True)
    t.add_argument("--port", type=int, default=443)
    s = sub.add_parser("stun")
    s.add_argument("--addr", required=True)
    r = sub.add_parser("router")
    r.add_argument("--lan", required=True)
    r.add_argument("--http-port", type=int, default=5000)
    r.add_argument("--variant", default="honest")
    r.add_argument("--upnp-address", default="")
    r.add_argument("--natpmp", default="silent")
    r.add_argument("--pcp", default="silent")
    r.add_argument("--other-host", default="192.168.1.50")
    r.add_argument("--log")
    d = sub.add_parser("ssdp")
    d.add_argument("--lan", required=True)
    d.add_argument("--gateway", required=True)
    d.add_argument("--http-port", type=int, default=5000)
    x = sub.add_parser("proxy")
    x.add_argument("--addr", required=True)
    x.add_argument("--port", type=int, default=3128)
    for sp in (e, t, s, r, d, x):
        sp.add_argument("--ready", required=True)
    args = p.parse_args()
    {"echo": run_echo, "tcp": run_tcp, "stun": run_stun, "router": run_router, "ssdp": run_ssdp, "proxy": run_proxy}[args.cmd](args)


if __name__ == "__main__":
    main()
