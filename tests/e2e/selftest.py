#!/usr/bin/python3
"""Checks of the harness's own judges: each invariant and verdict check must be able to fail.

Runs without root and without a network: synthetic packets, screens and pcap bytes.
"""

import os
import struct
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import capture  # noqa: E402
import drive  # noqa: E402

P = capture.Packet
PC, GW = "192.168.1.100", "192.168.1.1"
ALLOWED = {GW, "239.255.255.250", "45.90.28.10"}


def soap(action):
    return ("POST /ctl/IPConn HTTP/1.1\r\nHost: 192.168.1.1:5000\r\n"
            'SOAPAction: "urn:schemas-upnp-org:service:WANIPConnection:1#%s"\r\n\r\n' % action).encode()


class TrafficInvariants(unittest.TestCase):
    def judge(self, packets, t_result=100.0):
        return capture.check(packets, {PC}, ALLOWED, GW, t_result)

    def test_a_well_behaved_check_passes(self):
        good = [
            P(1, PC, "239.255.255.250", "udp", 5000, 1900, b"M-SEARCH * HTTP/1.1\r\n"),
            P(2, PC, GW, "tcp", 40000, 5000, b"", syn=True),
            P(2, PC, GW, "tcp", 40000, 5000, b"GET /rootDesc.xml HTTP/1.1\r\n\r\n", ack=True),
            P(3, PC, GW, "tcp", 40001, 5000, soap("GetExternalIPAddress"), ack=True),
            P(4, PC, GW, "udp", 5001, 5351, b"\x00\x00"),
            P(4.25, PC, GW, "udp", 5001, 5351, b"\x00\x00"),
            P(5, PC, GW, "udp", 5002, 5351, b"\x02\x00" + b"\x00" * 22),
            # Winding down after the result is no new traffic.
            P(101, PC, GW, "tcp", 40001, 5000, b"", ack=True),
        ]
        self.assertEqual(self.judge(good), [])

    def test_each_broken_rule_is_named(self):
        table = [
            ("another destination", P(1, PC, "8.8.8.8", "udp", 1, 53, b"q"), "to 8.8.8.8"),
            ("a mapping request", P(1, PC, GW, "tcp", 1, 5000, soap("AddPortMapping"), ack=True),
             "SOAP action"),
            ("another HTTP method", P(1, PC, GW, "tcp", 1, 5000, b"SUBSCRIBE /evt HTTP/1.1\r\n\r\n", ack=True),
             "HTTP method"),
            ("a NAT-PMP mapping", P(1, PC, GW, "udp", 1, 5351, b"\x00\x01" + b"\x00" * 10), "NAT-PMP request"),
            ("a PCP MAP", P(1, PC, GW, "udp", 1, 5351, b"\x02\x01" + b"\x00" * 58), "PCP request"),
            ("a PCP lifetime", P(1, PC, GW, "udp", 1, 5351, b"\x02\x00\x00\x00\x00\x00\x0e\x10" + b"\x00" * 16),
             "PCP request"),
            ("traffic after the result", P(101, PC, GW, "tcp", 1, 5000, b"", syn=True), "after the result"),
        ]
        for what, packet, words in table:
            with self.subTest(what):
                errs = self.judge([packet])
                self.assertTrue(any(words in e for e in errs), errs)

    def test_repeated_requests_are_counted(self):
        ms = P(1, PC, "239.255.255.250", "udp", 1, 1900, b"M-SEARCH * HTTP/1.1\r\n")
        pmp = P(1, PC, GW, "udp", 1, 5351, b"\x00\x00")
        self.assertTrue(any("M-SEARCH" in e for e in self.judge([ms, ms])))
        self.assertEqual(self.judge([pmp] * 3), [])
        self.assertTrue(any("NAT-PMP" in e for e in self.judge([pmp] * 4)))

    def test_other_senders_are_not_the_pc(self):
        self.assertEqual(self.judge([P(1, GW, "8.8.8.8", "udp", 1, 53, b"q")]), [])


class PcapReading(unittest.TestCase):
    def test_cooked_v2_udp_datagram(self):
        ip = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + 8 + 2, 0, 0, 64, 17, 0,
                         bytes([192, 168, 1, 100]), bytes([192, 168, 1, 1]))
        udp = struct.pack("!HHHH", 5001, 5351, 10, 0) + b"\x00\x00"
        sll2 = struct.pack("!HHIHBB8s", 0x0800, 0, 2, 1, 4, 6, b"\x00" * 8)
        frame = sll2 + ip + udp
        head = struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, 276)
        rec = struct.pack("<IIII", 10, 500000, len(frame), len(frame)) + frame
        with tempfile.NamedTemporaryFile(suffix=".pcap") as f:
            f.write(head + rec)
            f.flush()
            (p,) = capture.read_pcap(f.name)
        self.assertEqual((p.src, p.dst, p.proto, p.dport, p.payload), (PC, GW, "udp", 5351, b"\x00\x00"))
        self.assertAlmostEqual(p.ts, 10.5)


SCREEN = """TALVO LINK - NETWORK CHECK

Press any key to start | L: language
F: English fallback (if text is unreadable)
[ LIKELY COMPATIBLE ]
Estimated compatibility score: 82 / 100
Evidence: HIGH
Reason: Your router's UPnP WAN address matches the observed public address.

R: retry | L: language | any other key: exit
F: English fallback (if text is unreadable)
"""


class VerdictReading(unittest.TestCase):
    def run_with(self, output, code=0, stderr=""):
        r = drive.Run()
        r.output, r.exit_code, r.stderr = output, code, stderr
        return r

    def test_the_expected_verdict_passes(self):
        self.assertEqual(drive.check_verdict(self.run_with(SCREEN), 6), [])

    def test_mismatches_are_reported(self):
        table = [
            ("another reason", self.run_with(SCREEN), 7),
            ("a cancelled screen was expected", self.run_with(SCREEN), "cancelled"),
            ("exit code", self.run_with(SCREEN, code=1), 6),
            ("standard error", self.run_with(SCREEN, stderr="==1==ERROR: AddressSanitizer"), 6),
            ("status line", self.run_with(SCREEN.replace("[ LIKELY", "Checking network... |\n[ LIKELY")), 6),
            ("no result screen", self.run_with(SCREEN.split("[ LIKELY")[0]), 6),
        ]
        for what, run, expected in table:
            with self.subTest(what):
                self.assertNotEqual(drive.check_verdict(run, expected), [])


if __name__ == "__main__":
    unittest.main()
