#!/usr/bin/python3
"""Benchmarks of the real program in the simulated home networks of the end-to-end harness.

  bench.py --binary PATH [--probe-timer PATH] [--exe PATH] [--runs N] [--slow-runs N]
           [--only SECTION,...] [--keep DIR]

Sections (all by default): responsive, silent, esc, slow, exe.
  responsive  key press to result screen and each probe's own time (from a packet capture in
              the PC's namespace) with miniupnpd as the router; upnpc -s and natpmpc beside it
  silent      the same with a router that answers nothing, plus each probe timed on its own
              (talvo-probe-timer) against its bound
  esc         Esc written to the pty while SSDP, NAT-PMP or PCP waits: time to the cancelled screen
  slow        Esc while the HTTPS lookup or the IPv6 connect waits (no goal: neither reads the
              cancel flag while it waits)
  exe         size and imported DLLs of the Windows .exe
Every program run goes through /usr/bin/time -v, which gives its peak RSS and CPU time.
Prints one table: median, min, max (and the goal with PASS/MISS where there is one).
Must run as root.
"""

import argparse
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time
import tty

sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

import capture  # noqa: E402
import drive  # noqa: E402
import worlds as W  # noqa: E402
from netsim import World, WorldError, stop_process, wait_until  # noqa: E402

# Bounds of the probes that wait on a silent router (ms).
SSDP_WINDOW_MS = 2500
NATPMP_WINDOW_MS = 1000
PCP_WINDOW_MS = 1200
IPV6_CONNECT_MS = 2000
BOUND_SLACK_MS = 50
# The probes count their windows on a whole-millisecond clock, so a window may measure up to
# 1 ms short in microseconds.
CLOCK_GRAIN_MS = 2

WINDOWS_OWN_DLLS = {
    "kernel32.dll", "user32.dll", "advapi32.dll", "ws2_32.dll", "iphlpapi.dll", "winhttp.dll",
    "shlwapi.dll", "ole32.dll", "oleaut32.dll", "xmllite.dll", "msvcrt.dll", "ucrtbase.dll",
    "shell32.dll", "bcrypt.dll", "ntdll.dll", "secur32.dll", "crypt32.dll",
}


# ------------------------------------------------------------------ one program run

class ProgramRun:
    def __init__(self):
        self.t_start = None     # key press (wall clock, as the capture's timestamps)
        self.t_esc = None
        self.t_result = None
        self.heading = None
        self.rss_kib = None
        self.anon_kib = None    # peak private anonymous memory, sampled from /proc
        self.cpu_s = None
        self.wall_s = None
        self.problem = None


def _time_v(path):
    text = drive.read_text(path)
    out = {}
    for key, pat in (("rss", r"Maximum resident set size \(kbytes\): (\d+)"),
                     ("user", r"User time \(seconds\): ([\d.]+)"),
                     ("sys", r"System time \(seconds\): ([\d.]+)"),
                     ("wall", r"Elapsed \(wall clock\) time \(h:mm:ss or m:ss\): ([\d:.]+)")):
        m = re.search(pat, text)
        out[key] = m.group(1) if m else None
    return out


def _wall_seconds(text):
    parts = [float(p) for p in text.split(":")]
    total = 0.0
    for p in parts:
        total = total * 60 + p
    return total


def _program_pid(time_pid):
    """The program itself: the child of /usr/bin/time (which `ip netns exec` became)."""
    try:
        with open("/proc/%d/task/%d/children" % (time_pid, time_pid)) as f:
            kids = f.read().split()
        return int(kids[0]) if kids else None
    except (OSError, ValueError):
        return None


def _rss_anon_kib(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            m = re.search(r"RssAnon:\s+(\d+) kB", f.read())
        return int(m.group(1)) if m else None
    except OSError:
        return None


def run_program(binary, ns, workdir, env=None, esc_after=None, timeout=60):
    """One check through a pty: key, optional Esc after esc_after s, result screen, 'q'.

    The result screen is seen by polling the output file every 2 ms, so the figure is the
    program's own latency plus at most that."""
    r = ProgramRun()
    out_path = os.path.join(workdir, "bench.out")
    time_path = os.path.join(workdir, "bench.time")
    for p in (out_path, time_path):
        if os.path.exists(p):
            os.unlink(p)
    environ = dict(drive.BASE_ENV)
    environ.update(env or {})
    master, slave = os.openpty()
    tty.setraw(slave)
    proc = None
    try:
        with open(out_path, "wb") as out:
            proc = subprocess.Popen(["ip", "netns", "exec", ns, "/usr/bin/time", "-v", "-o", time_path,
                                     binary], stdin=slave, stdout=out, stderr=subprocess.DEVNULL,
                                    env=environ, start_new_session=True, close_fds=True)
        os.close(slave)
        slave = None
        if not wait_until(lambda: drive.read_text(out_path).count(drive.FALLBACK) >= 1 or proc.poll() is not None,
                          15, 0.01):
            r.problem = "no start screen"
            return r
        time.sleep(0.3)
        r.t_start = time.time()
        os.write(master, b" ")
        if esc_after is not None:
            time.sleep(max(0.0, r.t_start + esc_after - time.time()))
            r.t_esc = time.time()
            os.write(master, b"\x1b")
        child = _program_pid(proc.pid)
        peak = [0]

        def result_seen():
            if child is not None:
                peak[0] = max(peak[0], _rss_anon_kib(child) or 0)
            return drive.read_text(out_path).count(drive.FALLBACK) >= 2 or proc.poll() is not None
        if not wait_until(result_seen, timeout, 0.002):
            r.problem = "no result screen within %d s" % timeout
            return r
        r.t_result = time.time()
        r.heading = drive.parse_result(drive.read_text(out_path))["heading"]
        r.anon_kib = peak[0] or None
        os.write(master, b"q")
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            r.problem = "did not exit after the exit key"
    finally:
        if proc is not None:
            stop_process(proc, grace=2, sig=signal.SIGKILL)
        if slave is not None:
            os.close(slave)
        os.close(master)
    tv = _time_v(time_path)
    if tv["rss"]:
        r.rss_kib = int(tv["rss"])
    if tv["user"] and tv["sys"]:
        r.cpu_s = float(tv["user"]) + float(tv["sys"])
    if tv["wall"]:
        r.wall_s = _wall_seconds(tv["wall"])
    return r


# ------------------------------------------------------------------ capture analysis

def phases(packets, run, gateway, pc_addr):
    """Times (ms from the key press) of what the program did in one run, read from the capture."""
    ps = [p for p in packets if run.t_start <= p.ts <= run.t_result + 0.05]
    t0 = run.t_start
    ev = {}

    def first(pred):
        for p in ps:
            if pred(p):
                return (p.ts - t0) * 1000.0
        return None
    ev["msearch"] = first(lambda p: p.src == pc_addr and p.proto == "udp" and p.dport == 1900)
    ev["ssdp_answer"] = first(lambda p: p.src == gateway and p.proto == "udp" and p.dst == pc_addr
                              and p.sport == 1900)
    syns = [p for p in ps if p.src == pc_addr and p.dst == gateway and p.proto == "tcp" and p.syn and not p.ack]
    ev["desc_syn"] = (syns[0].ts - t0) * 1000.0 if syns else None
    ev["soap_syn"] = (syns[1].ts - t0) * 1000.0 if len(syns) > 1 else None
    if len(syns) > 1:
        port = syns[1].sport
        answers = [p for p in ps if p.src == gateway and p.proto == "tcp" and p.dport == port and p.payload]
        ev["soap_answer"] = (answers[-1].ts - t0) * 1000.0 if answers else None
    ev["natpmp_req"] = first(lambda p: p.src == pc_addr and p.proto == "udp" and p.dport == 5351
                             and p.payload[:1] == b"\x00")
    ev["natpmp_answer"] = first(lambda p: p.src == gateway and p.proto == "udp" and p.sport == 5351
                                and p.payload[:1] == b"\x00")
    ev["pcp_req"] = first(lambda p: p.src == pc_addr and p.proto == "udp" and p.dport == 5351
                          and p.payload[:1] == b"\x02")
    ev["pcp_answer"] = first(lambda p: p.src == gateway and p.proto == "udp" and p.sport == 5351
                             and p.payload[:1] == b"\x02")
    ev["result"] = (run.t_result - t0) * 1000.0
    return ev


def span(ev, a, b):
    if ev.get(a) is None or ev.get(b) is None:
        return None
    return ev[b] - ev[a]


# ------------------------------------------------------------------ table

class Table:
    def __init__(self):
        self.rows = []   # (section, name, values, unit, goal text, verdict)

    def add(self, section, name, values, unit="ms", goal="", judge=None, note=""):
        vals = [v for v in values if v is not None]
        verdict = ""
        if judge is not None and vals:
            verdict = "PASS" if judge(vals) else "MISS"
        elif judge is not None:
            verdict = "n/a"
        self.rows.append((section, name, vals, len(values), unit, goal, verdict, note))

    def text(self):
        lines = []
        hdr = "%-11s %-46s %9s %9s %9s %3s  %-30s %s" % ("world", "figure", "median", "min", "max", "n",
                                                        "goal", "")
        lines.append(hdr)
        lines.append("-" * len(hdr))
        for section, name, vals, n, unit, goal, verdict, note in self.rows:
            if vals:
                med = statistics.median(vals)
                f = (lambda v: "%.0f %s" % (v, unit)) if unit == "ms" else (lambda v: "%.2f%s" % (v, unit))
                cells = (f(med), f(min(vals)), f(max(vals)))
            else:
                cells = ("-", "-", "-")
            line = "%-11s %-46s %9s %9s %9s %3d  %-30s %s" % ((section, name) + cells + (len(vals), goal,
                                                                                       verdict))
            if note:
                line += "  (" + note + ")"
            lines.append(line.rstrip())
        return "\n".join(lines)


def timed(argv, timeout=30):
    t = time.monotonic()
    p = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=timeout,
                       env=dict(drive.BASE_ENV))
    return (time.monotonic() - t) * 1000.0, p


# ------------------------------------------------------------------ sections

def pc_address(w, ns):
    out = w.cmd(ns, ["ip", "-o", "-4", "addr", "show", "dev", "eth0"]).stdout
    return re.search(r"inet ([0-9.]+)/", out).group(1)


def program_runs(w, site, args, workdir, table, section, n, **kw):
    pcap = os.path.join(workdir, "%s.pcap" % section)
    tcpdump = capture.start(w, site.pc, pcap)
    runs = []
    try:
        for i in range(n):
            one = dict(kw)
            if isinstance(one.get("esc_after"), list):
                one["esc_after"] = one["esc_after"][i]
            r = run_program(args.binary, site.pc, workdir, env=site.env, **one)
            if r.problem:
                print("  run problem: %s" % r.problem, file=sys.stderr)
            runs.append(r)
            time.sleep(0.2)
    finally:
        capture.stop(tcpdump)
    good = [r for r in runs if r.t_result]
    packets = capture.read_pcap(pcap)
    return good, packets


def resources(table, section, runs):
    table.add(section, "peak RSS of the whole program", [r.rss_kib / 1024.0 if r.rss_kib else None for r in runs],
              " MiB", "< 8 MiB", lambda v: max(v) < 8.0)
    table.add(section, "  of it private anonymous memory (sampled)",
              [r.anon_kib / 1024.0 if r.anon_kib else None for r in runs], " MiB", "",
              None, "the rest is shared library text: libcurl, OpenSSL, GnuTLS")
    table.add(section, "CPU time of the process", [r.cpu_s * 1000.0 if r.cpu_s is not None else None
                                                   for r in runs])
    table.add(section, "CPU time / process wall time",
              [100.0 * r.cpu_s / r.wall_s if r.cpu_s is not None and r.wall_s else None for r in runs],
              " %", "< 5 % (while it waits)" if section == "silent" else "",
              (lambda v: max(v) < 5.0) if section == "silent" else None)


def section_responsive(args, certs, base, table):
    workdir = os.path.join(base, "responsive")
    with World("br", workdir) as w:
        site = W.home(w, certs)
        pc = pc_address(w, site.pc)
        runs, packets = program_runs(w, site, args, workdir, table, "responsive", args.runs)
        evs = [phases(packets, r, site.gateway, pc) for r in runs]
        bad = [r.heading for r in runs if r.heading != "[ LIKELY COMPATIBLE ]"]
        note = "unexpected screens: %s" % bad if bad else ""
        table.add("responsive", "key press -> result screen", [e["result"] for e in evs], "ms", "< 600 ms median",
                  lambda v: statistics.median(v) < 600, note)
        table.add("responsive", "  key -> M-SEARCH (local facts, HTTPS lookup)", [e["msearch"] for e in evs])
        table.add("responsive", "  SSDP: M-SEARCH -> description GET", [span(e, "msearch", "desc_syn") for e in evs])
        table.add("responsive", "  description: GET -> SOAP POST", [span(e, "desc_syn", "soap_syn") for e in evs])
        table.add("responsive", "  SOAP: POST -> NAT-PMP request", [span(e, "soap_syn", "natpmp_req") for e in evs])
        table.add("responsive", "  NAT-PMP: request -> PCP request", [span(e, "natpmp_req", "pcp_req") for e in evs])
        table.add("responsive", "  PCP: request -> answer", [span(e, "pcp_req", "pcp_answer") for e in evs])
        last = [e["pcp_answer"] if e["pcp_answer"] is not None else e["pcp_req"] for e in evs]
        table.add("responsive", "  last probe's answer -> result screen",
                  [e["result"] - l if l is not None else None for e, l in zip(evs, last)], "ms",
                  "<= 250 ms + draw (polling)", lambda v: max(v) <= 270)
        upnp_tool = [span(e, "msearch", "soap_answer") for e in evs]
        natpmp_tool = [span(e, "natpmp_req", "natpmp_answer") for e in evs]
        table.add("responsive", "tool UPnP address: M-SEARCH -> SOAP answer", upnp_tool)
        table.add("responsive", "tool NAT-PMP address: request -> answer", natpmp_tool)
        upnpc, natpmpc = [], []
        for _ in range(args.runs):
            ms, p = timed(["ip", "netns", "exec", site.pc, "upnpc", "-s"])
            upnpc.append(ms if W.HOME_WAN in p.stdout else None)
            ms, p = timed(["ip", "netns", "exec", site.pc, "natpmpc", "-g", site.gateway])
            natpmpc.append(ms if W.HOME_WAN in p.stdout else None)
        table.add("responsive", "upnpc -s (miniupnpc)", upnpc)
        table.add("responsive", "natpmpc -g (libnatpmp)", natpmpc)
        tool_upnp = statistics.median([v for v in upnp_tool if v is not None] or [0]) or None
        tool_natpmp = statistics.median([v for v in natpmp_tool if v is not None] or [0]) or None
        table.add("responsive", "upnpc -s / tool UPnP (x, per upnpc run)",
                  [u / tool_upnp if u and tool_upnp else None for u in upnpc], "x", ">= 5x median",
                  lambda v: statistics.median(v) >= 5.0)
        table.add("responsive", "natpmpc / tool NAT-PMP (x, per natpmpc run)",
                  [u / tool_natpmp if u and tool_natpmp else None for u in natpmpc], "x")
        resources(table, "responsive", runs)


def probe_timer_runs(args, ns, probe, argv, n, cancel_after=None):
    out = []
    for _ in range(n):
        cmd = ["ip", "netns", "exec", ns, args.probe_timer, probe] + argv
        if cancel_after is not None:
            cmd.append(str(cancel_after))
        p = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=20)
        m = re.search(r"status=(\d+) ms=([\d.]+)(?: cancel_to_end_ms=([\d.]+))?", p.stdout)
        out.append((int(m.group(1)), float(m.group(2)), float(m.group(3)) if m and m.group(3) else None)
                   if m else None)
    return out


def section_silent(args, certs, base, table, want_esc):
    workdir = os.path.join(base, "silent")
    positions = {}
    with World("bs", workdir) as w:
        site = W.home(w, certs, router=None)
        pc = pc_address(w, site.pc)
        runs, packets = program_runs(w, site, args, workdir, table, "silent", args.runs)
        evs = [phases(packets, r, site.gateway, pc) for r in runs]
        bad = [r.heading for r in runs if r.heading != "[ LOW COMPATIBILITY ESTIMATE ]"]
        table.add("silent", "key press -> result screen", [e["result"] for e in evs], "ms", "",
                  None, "unexpected screens: %s" % bad if bad else "")
        table.add("silent", "  key -> M-SEARCH (local facts, HTTPS lookup)", [e["msearch"] for e in evs])
        table.add("silent", "  SSDP (capture): M-SEARCH -> NAT-PMP request",
                  [span(e, "msearch", "natpmp_req") for e in evs], "ms",
                  "2500..2550 ms", lambda v: SSDP_WINDOW_MS - CLOCK_GRAIN_MS <= min(v) and max(v) <= SSDP_WINDOW_MS + BOUND_SLACK_MS)
        table.add("silent", "  NAT-PMP (capture): request -> PCP request",
                  [span(e, "natpmp_req", "pcp_req") for e in evs], "ms",
                  "1000..1050 ms",
                  lambda v: NATPMP_WINDOW_MS - CLOCK_GRAIN_MS <= min(v) and max(v) <= NATPMP_WINDOW_MS + BOUND_SLACK_MS)
        table.add("silent", "  PCP request -> result screen (PCP + polling)",
                  [span(e, "pcp_req", "result") for e in evs], "ms", "<= 1200+50+250 ms",
                  lambda v: max(v) <= PCP_WINDOW_MS + BOUND_SLACK_MS + 250 + 20)
        for key in ("msearch", "natpmp_req", "pcp_req"):
            vals = [e[key] for e in evs if e[key] is not None]
            positions[key] = statistics.median(vals) if vals else None
        resources(table, "silent", runs)
        if args.probe_timer:
            for probe, bound in (("ssdp", SSDP_WINDOW_MS), ("natpmp", NATPMP_WINDOW_MS), ("pcp", PCP_WINDOW_MS)):
                res = probe_timer_runs(args, site.pc, probe, [pc, site.gateway], args.runs)
                table.add("silent", "  %s probe alone (talvo-probe-timer)" % probe,
                          [r[1] if r else None for r in res], "ms", "%d..%d ms" % (bound, bound + BOUND_SLACK_MS),
                          lambda v, b=bound: b - CLOCK_GRAIN_MS <= min(v) and max(v) <= b + BOUND_SLACK_MS)
            for probe, at in (("ssdp", 1200), ("natpmp", 500), ("pcp", 600)):
                res = probe_timer_runs(args, site.pc, probe, [pc, site.gateway], args.runs, cancel_after=at)
                table.add("silent", "  %s probe: cancel flag -> return" % probe,
                          [r[2] if r else None for r in res], "ms",
                          "<= %d ms (one wait slice)" % (200 if probe == "ssdp" else 100),
                          lambda v, s=(200 if probe == "ssdp" else 100): max(v) <= s + 10)
        if want_esc:
            # Esc at a fixed delay after the key, chosen from where the probe waits in this world.
            plan = []
            if positions.get("msearch") is not None:
                plan.append(("SSDP waiting", positions["msearch"] / 1000.0 + 1.2))
            if positions.get("natpmp_req") is not None:
                plan.append(("NAT-PMP waiting", positions["natpmp_req"] / 1000.0 + 0.5))
            if positions.get("pcp_req") is not None:
                plan.append(("PCP waiting", positions["pcp_req"] / 1000.0 + 0.6))
            for label, at in plan:
                # The main loop looks at the keyboard every 250 ms: the Esc times are spread over
                # one such period so that the figures cover every phase of it.
                offsets = [at + 0.25 * i / args.runs for i in range(args.runs)]
                runs, _ = program_runs(w, site, args, workdir, table, "esc", args.runs, esc_after=offsets)
                bad = [r.heading for r in runs if r.heading != "[ CHECK CANCELLED ]"]
                table.add("esc", "Esc -> cancelled screen, %s" % label,
                          [(r.t_result - r.t_esc) * 1000.0 for r in runs], "ms", "<= 500 ms",
                          lambda v: max(v) <= 500,
                          ("Esc at %.2f..%.2f s" % (offsets[0], offsets[-1])) + ("; screens %s" % bad if bad else ""))


def section_slow(args, certs, base, table):
    n = args.slow_runs
    if n > 0:
        workdir = os.path.join(base, "slow-http")
        with World("bh", workdir) as w:
            site = W.home(w, certs, router=None, echo_drip=True)
            runs, _ = program_runs(w, site, args, workdir, table, "slow-http", n, esc_after=1.0, timeout=70)
            table.add("esc", "Esc -> cancelled screen, HTTPS lookup waiting",
                      [(r.t_result - r.t_esc) * 1000.0 for r in runs], "ms", "no goal (not UDP)", None,
                      "echo services drip; Esc at 1.0 s")
    workdir = os.path.join(base, "slow-ipv6")
    with World("b6", workdir) as w:
        site = W.home(w, certs, router=None, ipv6=True)
        # The IPv6 server stops answering: SYNs to it vanish, so the connect waits its bound.
        w.nft(w.prefix + "inet", "table ip6 benchdrop {\n chain input {\n"
              "  type filter hook input priority 0; policy accept;\n  tcp dport 443 drop\n }\n}\n")
        runs, _ = program_runs(w, site, args, workdir, table, "slow-ipv6", max(n, args.runs), esc_after=0.5)
        table.add("esc", "Esc -> cancelled screen, IPv6 connect waiting",
                  [(r.t_result - r.t_esc) * 1000.0 for r in runs], "ms", "no goal (not UDP)", None,
                  "SYNs dropped; Esc at 0.5 s")
        if args.probe_timer:
            res = probe_timer_runs(args, site.pc, "ipv6", [W.IPV6_SERVERS[0]], args.runs)
            table.add("silent", "  IPv6 connect alone, no answer (probe-timer)",
                      [r[1] if r else None for r in res], "ms",
                      "%d..%d ms" % (IPV6_CONNECT_MS, IPV6_CONNECT_MS + BOUND_SLACK_MS),
                      lambda v: IPV6_CONNECT_MS - CLOCK_GRAIN_MS <= min(v) and max(v) <= IPV6_CONNECT_MS + BOUND_SLACK_MS)


def section_exe(args, table):
    if not args.exe or not os.path.exists(args.exe):
        table.add("windows", ".exe size", [None], " MiB", "< 2 MiB", lambda v: max(v) < 2.0, "no .exe built")
        return []
    size = os.path.getsize(args.exe) / (1024.0 * 1024.0)
    table.add("windows", ".exe size (%d bytes)" % os.path.getsize(args.exe), [size], " MiB", "< 2 MiB",
              lambda v: max(v) < 2.0)
    p = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", args.exe], stdout=subprocess.PIPE, text=True)
    dlls = sorted(set(re.findall(r"DLL Name: (\S+)", p.stdout)), key=str.lower)
    foreign = [d for d in dlls if d.lower() not in WINDOWS_OWN_DLLS]
    table.add("windows", "imported DLLs not Windows' own", [float(len(foreign))], "", "0",
              lambda v: max(v) == 0, ", ".join(foreign))
    return dlls


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--binary", required=True)
    ap.add_argument("--probe-timer")
    ap.add_argument("--exe")
    ap.add_argument("--runs", type=int, default=7)
    ap.add_argument("--slow-runs", type=int, default=1, help="runs of the 20 s HTTPS-wait case")
    ap.add_argument("--only", default="responsive,silent,esc,slow,exe")
    ap.add_argument("--keep")
    args = ap.parse_args()
    if os.geteuid() != 0:
        print("bench.py needs root (network namespaces)", file=sys.stderr)
        return 2
    only = set(args.only.split(","))
    need = ["ip", "nft", "tcpdump", "openssl", "/usr/sbin/miniupnpd", "/usr/bin/time", "upnpc", "natpmpc"]
    missing = [t for t in need if not shutil.which(t)]
    if missing:
        print("missing tools: %s (tools/setup.sh installs them)" % ", ".join(missing), file=sys.stderr)
        return 2
    base = args.keep or tempfile.mkdtemp(prefix="tlvbench-")
    os.makedirs(base, exist_ok=True)
    table = Table()
    dlls = []
    failed = 0
    started = time.monotonic()
    try:
        certs = W.Certs(os.path.join(base, "certs"))
        sections = [("responsive", lambda: section_responsive(args, certs, base, table)),
                    ("silent", lambda: section_silent(args, certs, base, table, "esc" in only)),
                    ("slow", lambda: section_slow(args, certs, base, table))]
        for name, body in sections:
            if name in only or (name == "silent" and "esc" in only):
                try:
                    body()
                except (WorldError, OSError, subprocess.SubprocessError) as e:
                    failed += 1
                    print("%s: world failed: %s" % (name, e), file=sys.stderr)
        if "exe" in only:
            dlls = section_exe(args, table)
    finally:
        if not args.keep:
            shutil.rmtree(base, ignore_errors=True)
    print(table.text())
    if dlls:
        print("DLLs imported by %s: %s" % (os.path.basename(args.exe), ", ".join(dlls)))
    print("# %d runs per figure; %.0f s in all" % (args.runs, time.monotonic() - started))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
