"""The Windows program in Wine's own console window, typed into as a person would.

Keys typed into a pseudo-terminal never reach _getch under Wine; keys typed into Wine's console
window do. So the program runs as `wineconsole cmd.exe /c "PROGRAM > OUT"` on an Xvfb display of
its own, standard output redirected to a file, and xdotool types into the window. The X server,
the Wine server and everything Wine starts run in the PC's namespace, so the program sees that
namespace's network only; each case boots a Wine prefix of its own there, so nothing Wine
started elsewhere serves the program.
Every process is ended by its PID: Xvfb, the Wine server and the console by the PIDs they were
started with, the processes Wine starts by the PIDs that carry our prefix in their environment.
"""

import os
import select
import signal
import subprocess
import time

import drive
from netsim import WorldError, stop_process, wait_until

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
# The low byte of STATUS_CONTROL_C_EXIT (0xC000013A): what a Linux parent sees of it.
CTRL_C_EXIT_STATUS = 0xC000013A & 0xFF
WINDOW_TITLE = "TALVO LINK - NETWORK CHECK"


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def _prefix_pids(prefix):
    marker = ("WINEPREFIX=%s" % prefix).encode()
    pids = []
    for entry in os.listdir("/proc"):
        try:
            with open("/proc/%s/environ" % entry, "rb") as f:
                if marker in f.read().split(b"\0"):
                    pids.append(int(entry))
        except (OSError, ValueError):
            continue
    return pids


def _end_wine_processes(prefix, keep):
    """Wine's own processes outlive their server; each is ended by its PID."""
    for _ in range(25):
        pids = [p for p in _prefix_pids(prefix) if p not in keep]
        if not pids:
            return
        for pid in pids:
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        time.sleep(0.2)


def _read_display(read_end, timeout):
    """The display number Xvfb writes once it listens (it picks a free one itself).

    Xvfb writes the number and the line feed separately and gives up if the pipe is closed in
    between, so the line is read whole."""
    deadline = time.monotonic() + timeout
    line = b""
    while not line.endswith(b"\n") and len(line) < 32:
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([read_end], [], [], left)[0]:
            return None
        chunk = os.read(read_end, 32)
        if not chunk:
            return None
        line += chunk
    number = line.decode(errors="replace").strip()
    return number if number.isdigit() else None


def drive_console(ns, exe, workdir, steps, timeout=60):
    """Runs exe in Wine's console in namespace ns and plays steps, then waits for its end.

    steps: ("key", xdotool key names...) typed 100 ms apart, ("burst", names...) typed at once,
    ("wait", text, times[, "result"]) on the redirected output, ("sleep", seconds), ("layout",
    name): the X keyboard layout Wine starts with, ("stdin", "NUL"): no keys, the program is
    only waited for. Returns a drive.Run: t_start is the first key, t_result the end of the wait
    marked "result".
    """
    layouts = [step[1] for step in steps if step[0] == "layout"]
    stdin_nul = ("stdin", "NUL") in steps
    steps = [step for step in steps if step[0] not in ("layout", "stdin")]
    r = drive.Run()
    prefix = os.path.join(workdir, "wineprefix")
    out_path = os.path.join(workdir, "program.out")
    err_path = os.path.join(workdir, "program.err")
    env = dict(drive.BASE_ENV)
    wine_env = dict(env, WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    ours = []  # Xvfb, the Wine server, the console

    def start(argv, environment, **kw):
        proc = subprocess.Popen(["ip", "netns", "exec", ns] + argv, env=environment,
                                stdin=subprocess.DEVNULL, start_new_session=True, **kw)
        ours.append(proc)
        return proc

    def xdotool(*args):
        return subprocess.run(["ip", "netns", "exec", ns, "xdotool"] + list(args), env=wine_env,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                              timeout=20).stdout.split()

    def written(text):
        return drive.read_text(out_path).count(text)

    try:
        quiet = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        read_end, write_end = os.pipe()
        try:
            start(["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp"], env,
                  pass_fds=(write_end,), **quiet)
        finally:
            os.close(write_end)
        try:
            display = _read_display(read_end, 20)
        finally:
            os.close(read_end)
        if display is None:
            raise WorldError("Xvfb named no display within 20 s")
        wine_env["DISPLAY"] = ":" + display
        for layout in layouts:
            subprocess.run(["ip", "netns", "exec", ns, "setxkbmap", "-layout", layout],
                           env=wine_env, timeout=20, check=True, **quiet)
        start([WINESERVER, "-f", "-p"], wine_env, **quiet)
        subprocess.run(["ip", "netns", "exec", ns, WINE, "wineboot", "-i"], env=wine_env,
                       timeout=300, stdin=subprocess.DEVNULL, **quiet)
        command = "%s%s > %s" % (windows_path(exe), " < NUL" if stdin_nul else "",
                                 windows_path(out_path))
        with open(err_path, "wb") as err:
            console = start([WINE, "wineconsole", "cmd.exe", "/c", command], wine_env, stdout=err,
                            stderr=err)
        if stdin_nul:
            try:
                r.exit_code = console.wait(timeout=60)
            except subprocess.TimeoutExpired:
                r.problems.append("still running 60 s after start with standard input from NUL")
            return r
        window = []

        def window_up():
            if console.poll() is not None or written(drive.FALLBACK) < 1:
                return console.poll() is not None
            # The window is found by the title the program gives it while it runs.
            window[:] = xdotool("search", "--onlyvisible", "--name", "^%s$" % WINDOW_TITLE)
            return bool(window)
        if not wait_until(window_up, 60, 0.2) or not window:
            r.problems.append("no start screen in a console window within 60 s")
            return r
        for step in steps:
            if step[0] in ("key", "burst"):
                r.t_start = r.t_start or time.time()
                xdotool("key", "--window", window[0], "--delay", "100" if step[0] == "key" else "0",
                        *step[1:])
            elif step[0] == "sleep":
                time.sleep(step[1])
            elif not wait_until(lambda: written(step[1]) >= step[2] or console.poll() is not None,
                                timeout) or written(step[1]) < step[2]:
                r.problems.append("%r not written %d times (the program %s)" % (
                    step[1], step[2], "ended" if console.poll() is not None else "waits"))
                return r
            elif step[3:] == ("result",):
                r.t_result = time.time()
        try:
            r.exit_code = console.wait(timeout=15)
        except subprocess.TimeoutExpired:
            r.problems.append("the program did not end within 15 s of its last key")
    finally:
        # The console, then what Wine started (it outlives its server), the server, the display.
        if ours[2:]:
            stop_process(ours[2], grace=5)
        _end_wine_processes(prefix, keep=[p.pid for p in ours])
        for proc in reversed(ours[:2]):
            stop_process(proc, grace=5)
        r.output = drive.read_text(out_path)
        r.stderr = drive.read_text(err_path)
    return r
