"""Packet capture in the PC's namespace and the traffic invariants read from it.

tcpdump writes a pcap file; this module reads it with the standard library (link types
Ethernet, Linux cooked v1 and v2) and checks what the PC sent:
  - only to the gateway, the SSDP group, the echo services, the IPv6 server, the name server;
  - no SOAP action but GetExternalIPAddress, and no HTTP method but GET and POST to the router;
  - no NAT-PMP opcode but 0 (external address), no PCP opcode but 0 (ANNOUNCE, lifetime 0);
  - nothing started after the result screen appeared.
"""

import ipaddress
import os
import re
import signal
import struct

from netsim import WorldError, wait_until


class Packet:
    __slots__ = ("ts", "src", "dst", "proto", "sport", "dport", "payload", "syn", "ack")

    def __init__(self, ts, src, dst, proto, sport=0, dport=0, payload=b"", syn=False, ack=False):
        self.ts, self.src, self.dst, self.proto = ts, src, dst, proto
        self.sport, self.dport, self.payload, self.syn, self.ack = sport, dport, payload, syn, ack

    def starts_something(self):
        """A datagram, a connection attempt or data; bare ACK/FIN/RST only wind down."""
        if self.proto == "udp":
            return True
        if self.proto == "tcp":
            return (self.syn and not self.ack) or len(self.payload) > 0
        return False


def start(world, ns, path):
    proc = world.start(ns, ["tcpdump", "-i", "any", "-n", "-U", "-s", "0", "-Z", "root",
                            "--immediate-mode", "-w", path], "tcpdump")
    log = os.path.join(world.workdir, "tcpdump.log")

    def listening():
        try:
            with open(log, "rb") as f:
                return b"listening on" in f.read() or proc.poll() is not None
        except OSError:
            return False
    if not wait_until(listening, 10) or proc.poll() is not None:
        raise WorldError("tcpdump did not start: %s" % world.log_tail("tcpdump"))
    return proc


def stop(proc):
    if proc.poll() is None:
        os.kill(proc.pid, signal.SIGINT)
        try:
            proc.wait(timeout=5)
        except Exception:
            os.kill(proc.pid, signal.SIGKILL)
            proc.wait(timeout=5)


def read_pcap(path):
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 24:
        return []
    magic = struct.unpack("<I", data[:4])[0]
    if magic in (0xA1B2C3D4, 0xA1B23C4D):
        e = "<"
    else:
        e = ">"
        magic = struct.unpack(">I", data[:4])[0]
    nano = magic == 0xA1B23C4D
    linktype = struct.unpack(e + "I", data[20:24])[0] & 0xFFFFFFF
    out = []
    off = 24
    while off + 16 <= len(data):
        sec, frac, incl, _ = struct.unpack(e + "IIII", data[off:off + 16])
        frame = data[off + 16:off + 16 + incl]
        off += 16 + incl
        ts = sec + frac / (1e9 if nano else 1e6)
        if linktype == 1:
            proto, l3 = struct.unpack("!H", frame[12:14])[0], frame[14:]
        elif linktype == 113:
            proto, l3 = struct.unpack("!H", frame[14:16])[0], frame[16:]
        elif linktype == 276:
            proto, l3 = struct.unpack("!H", frame[0:2])[0], frame[20:]
        else:
            raise WorldError("unknown pcap link type %d" % linktype)
        p = _decode(ts, proto, l3)
        if p is not None:
            out.append(p)
    return out


def _decode(ts, ethertype, l3):
    if ethertype == 0x0800 and len(l3) >= 20:
        ihl = (l3[0] & 0x0F) * 4
        total = struct.unpack("!H", l3[2:4])[0]
        frag = struct.unpack("!H", l3[6:8])[0]
        nproto = l3[9]
        src = str(ipaddress.IPv4Address(l3[12:16]))
        dst = str(ipaddress.IPv4Address(l3[16:20]))
        body = l3[ihl:total]
        if frag & 0x1FFF:
            return Packet(ts, src, dst, "frag")
    elif ethertype == 0x86DD and len(l3) >= 40:
        nproto = l3[6]
        src = str(ipaddress.IPv6Address(l3[8:24]))
        dst = str(ipaddress.IPv6Address(l3[24:40]))
        body = l3[40:40 + struct.unpack("!H", l3[4:6])[0]]
    else:
        return None
    if nproto == 17 and len(body) >= 8:
        sp, dp = struct.unpack("!HH", body[:4])
        return Packet(ts, src, dst, "udp", sp, dp, body[8:])
    if nproto == 6 and len(body) >= 20:
        sp, dp = struct.unpack("!HH", body[:4])
        doff = (body[12] >> 4) * 4
        flags = body[13]
        return Packet(ts, src, dst, "tcp", sp, dp, body[doff:], bool(flags & 0x02), bool(flags & 0x10))
    return Packet(ts, src, dst, "ip%d" % nproto)


SOAP_ACTION_RE = re.compile(rb"^soapaction:[ \t]*(.*?)\r?$", re.I | re.M)
HTTP_METHOD_RE = re.compile(rb"^([A-Z-]+) \S+ HTTP/1\.[01]\r?$", re.M)
MUTATING = re.compile(rb"AddPortMapping|AddAnyPortMapping|DeletePortMapping|SetConnectionType|"
                      rb"RequestConnection|ForceTermination|RequestTermination|DeletePortMappingRange")


def check(packets, pc_addrs, allowed, gateway, t_result):
    """Returns a list of broken invariants (empty when all hold)."""
    errs = []
    sent = [p for p in packets if p.src in pc_addrs]
    counts = {"M-SEARCH": 0, "NAT-PMP": 0, "PCP": 0}
    for p in sent:
        if not p.starts_something():
            continue
        if p.dst not in allowed:
            errs.append("sent %s to %s:%d" % (p.proto, p.dst, p.dport))
        if t_result is not None and p.ts > t_result:
            errs.append("sent %s to %s:%d %.2f s after the result screen" % (p.proto, p.dst, p.dport,
                                                                            p.ts - t_result))
        if gateway and p.dst == gateway and p.proto == "tcp" and p.payload:
            for action in SOAP_ACTION_RE.findall(p.payload):
                if not action.strip().strip(b'"').endswith(b"#GetExternalIPAddress"):
                    errs.append("SOAP action %r" % action)
            for method in HTTP_METHOD_RE.findall(p.payload):
                if method not in (b"GET", b"POST"):
                    errs.append("HTTP method %r to the router" % method)
            if MUTATING.search(p.payload):
                errs.append("a request that changes the router: %r" % MUTATING.search(p.payload).group(0))
        if gateway and p.dst == gateway and p.proto == "udp" and p.dport == 5351:
            d = p.payload
            counts["PCP" if d[:1] == b"\x02" else "NAT-PMP"] += 1
            if d[:1] == b"\x00":
                if len(d) != 2 or d[1] != 0:
                    errs.append("NAT-PMP request %r (only opcode 0 is allowed)" % d[:12])
            elif d[:1] == b"\x02":
                if len(d) < 8 or d[1] != 0 or d[4:8] != b"\0\0\0\0":
                    errs.append("PCP request %r (only ANNOUNCE with lifetime 0 is allowed)" % d[:8])
            else:
                errs.append("unknown datagram to port 5351: %r" % d[:8])
        if p.proto == "udp" and p.dport == 1900 and p.payload.startswith(b"M-SEARCH"):
            counts["M-SEARCH"] += 1
    # One check sends one M-SEARCH, one PCP request and at most three NAT-PMP requests
    # (at about 0, 250 and 750 ms of its 1 s window).
    for what, most in (("M-SEARCH", 1), ("PCP", 1), ("NAT-PMP", 3)):
        if counts[what] > most:
            errs.append("%d %s requests in one check (at most %d)" % (counts[what], what, most))
    return sorted(set(errs))


def summary(packets, pc_addrs):
    """Counts of what the PC sent, by (protocol, destination, port), for the report."""
    seen = {}
    for p in packets:
        if p.src in pc_addrs and p.starts_something():
            key = "%s %s:%d" % (p.proto, p.dst, p.dport)
            seen[key] = seen.get(key, 0) + 1
    return seen
