"""Runs the real program in a namespace through a pseudo-terminal and reads its screens.

Standard input is the slave side of a pty (the program refuses anything else); standard
output goes to a file, so the screens arrive as plain UTF-8 without the status line; keys
are written to the pty master. Every wait is bounded and the program is ended by its PID.
"""

import os
import re
import signal
import subprocess
import time
import tty

from netsim import stop_process, wait_until

# Two lines that every screen of the program writes in English whatever the language.
TITLE = "TALVO LINK - NETWORK CHECK"
FALLBACK = "F: English fallback (if text is unreadable)"

REASONS = {
    0: "No active network route is available.",
    1: "A blocking policy was confirmed for all relevant routes.",
    2: "Some inbound-network requirements could not be checked.",
    3: "A public IPv4 address is assigned directly to this PC.",
    4: "A public IPv4 address is assigned locally; external matching was not confirmed.",
    5: "A public IPv6 route is available. Recipients may also need IPv6.",
    6: "Your router's UPnP WAN address matches the observed public address.",
    7: "Your router's NAT-PMP address matches the observed address.",
    8: "Your router responded to PCP and its address matches.",
    9: "The router address matches; automatic mapping is unconfirmed.",
    10: "A router service was found; its external address is unconfirmed.",
    11: "Carrier-grade NAT is indicated; alternative routes are unconfirmed.",
    12: "Possible double NAT; upstream forwarding is unconfirmed.",
}
VERDICTS = {0: (3, "HIGH"), 2: (35, "LOW"), 3: (90, "HIGH"), 4: (80, "MEDIUM"), 5: (80, "HIGH"),
            6: (82, "HIGH"), 7: (78, "HIGH"), 8: (74, "HIGH"), 9: (45, "LOW"), 10: (40, "LOW"),
            11: (20, "MEDIUM"), 12: (30, "MEDIUM")}

BASE_ENV = {
    "PATH": "/usr/sbin:/usr/bin:/sbin:/bin",
    "HOME": "/root",
    "TERM": "xterm",
    # C names no language, so the program falls back to English; LANGUAGE=en says it outright.
    "LANGUAGE": "en",
    "LC_ALL": "C.UTF-8",
}


class Run:
    def __init__(self):
        self.output = ""
        self.stderr = ""
        self.exit_code = None
        self.t_start = None
        self.t_result = None
        self.t_esc = None
        self.t_retry = None
        self.t_result2 = None
        self.problems = []


def read_text(path):
    try:
        with open(path, "rb") as f:
            return f.read().decode("utf-8", errors="replace")
    except OSError:
        return ""


def drive(binary, ns, workdir, env_extra=None, esc_after=None, result_timeout=60, quiet_after=1.5,
          on_started=None, between_checks=None, redraw_key=None):
    """One check: start key, optional Esc, wait for the result screen, then leave with 'q'.

    With between_checks (a callable that changes the world), a second check follows with R.
    With redraw_key (F), the result screen is asked for once more before leaving.
    """
    r = Run()
    out_path = os.path.join(workdir, "program.out")
    err_path = os.path.join(workdir, "program.err")
    env = dict(BASE_ENV)
    env.update(env_extra or {})
    master, slave = os.openpty()
    tty.setraw(slave)
    proc = None
    try:
        with open(out_path, "wb") as out, open(err_path, "wb") as err:
            proc = subprocess.Popen(["ip", "netns", "exec", ns, binary], stdin=slave, stdout=out,
                                    stderr=err, env=env, start_new_session=True, close_fds=True)
        os.close(slave)
        slave = None
        if not wait_until(lambda: read_text(out_path).count(FALLBACK) >= 1 or proc.poll() is not None, 15):
            r.problems.append("no start screen within 15 s")
            return r
        if proc.poll() is not None:
            r.problems.append("program exited before a key (code %s)" % proc.returncode)
            return r
        # The start screen is written before the program waits for the key; a program that
        # switches the terminal mode with a flush in between would drop an early key.
        time.sleep(0.5)
        r.t_start = time.time()
        os.write(master, b" ")
        if on_started:
            on_started()
        if esc_after is not None:
            time.sleep(esc_after)
            r.t_esc = time.time()
            os.write(master, b"\x1b")
        if not wait_until(lambda: read_text(out_path).count(FALLBACK) >= 2 or proc.poll() is not None,
                          result_timeout):
            r.problems.append("no result screen within %d s" % result_timeout)
            return r
        r.t_result = time.time()
        if proc.poll() is not None:
            r.problems.append("program exited without a key (code %s)" % proc.returncode)
            return r
        # A quiet spell on the result screen: the capture must show nothing sent in it.
        time.sleep(quiet_after)
        if between_checks is not None:
            between_checks()
            r.t_retry = time.time()
            os.write(master, b"r")
            if not wait_until(lambda: read_text(out_path).count(FALLBACK) >= 3 or proc.poll() is not None,
                              result_timeout):
                r.problems.append("no second result screen within %d s" % result_timeout)
                return r
            r.t_result2 = time.time()
            time.sleep(quiet_after)
        elif redraw_key is not None:
            os.write(master, redraw_key)
            if not wait_until(lambda: read_text(out_path).count(FALLBACK) >= 3 or proc.poll() is not None, 10):
                r.problems.append("the result screen was not written again after %r" % redraw_key)
                return r
        os.write(master, b"q")
        try:
            r.exit_code = proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            r.problems.append("program did not exit within 10 s of the exit key")
    finally:
        if proc is not None:
            code = stop_process(proc, grace=2, sig=signal.SIGKILL)
            if r.exit_code is None and not r.problems:
                r.exit_code = code
        if slave is not None:
            os.close(slave)
        os.close(master)
        r.output = read_text(out_path)
        r.stderr = read_text(err_path)
    return r


SCORE_RE = re.compile(r"^Estimated compatibility score: (\d+) / 100$", re.M)
EVIDENCE_RE = re.compile(r"^Evidence: (\S+)$", re.M)
REASON_RE = re.compile(r"^Reason: (.*)$", re.M)


def parse_result(text, screen=1):
    """The heading, score, evidence and reason of the n-th result screen (None when absent)."""
    parts = text.split(FALLBACK)
    tail = parts[screen] if len(parts) > screen else ""
    res = {"heading": None, "score": None, "evidence": None, "reason": None}
    for h in ("[ LIKELY COMPATIBLE ]", "[ LOW COMPATIBILITY ESTIMATE ]", "[ CHECK CANCELLED ]",
              "[ CHECK ERROR ] Please retry."):
        if h in tail:
            res["heading"] = h
    m = SCORE_RE.search(tail)
    res["score"] = int(m.group(1)) if m else None
    m = EVIDENCE_RE.search(tail)
    res["evidence"] = m.group(1) if m else None
    m = REASON_RE.search(tail)
    res["reason"] = m.group(1) if m else None
    return res


def check_verdict(run, expected, screen=1):
    """Compares a result screen with the expected outcome: a ReasonId, 'cancelled' or 'error'."""
    errs = list(run.problems)
    if errs:
        return errs
    res = parse_result(run.output, screen)
    if expected in ("cancelled", "error"):
        heading = "[ CHECK CANCELLED ]" if expected == "cancelled" else "[ CHECK ERROR ] Please retry."
        if res["heading"] != heading:
            errs.append("heading %r, expected %r" % (res["heading"], heading))
        if res["score"] is not None:
            errs.append("a %s check showed a score" % expected)
    else:
        score, level = VERDICTS[expected]
        want = (score, level, REASONS[expected])
        got = (res["score"], res["evidence"], res["reason"])
        if got != want:
            errs.append("verdict %r, expected %r" % (got, want))
        heading = "[ LOW COMPATIBILITY ESTIMATE ]" if score < 50 else "[ LIKELY COMPATIBLE ]"
        if res["heading"] != heading:
            errs.append("heading %r, expected %r" % (res["heading"], heading))
    if "Checking network" in run.output:
        errs.append("status line written although standard output is a file")
    if run.exit_code != 0:
        errs.append("exit code %r after the exit key" % run.exit_code)
    if run.stderr:
        # The program has no diagnostic output; anything here is a crash or a sanitizer report.
        errs.append("wrote to standard error: %r" % run.stderr[:300])
    return errs
