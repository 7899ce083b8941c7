"""The Windows program in Wine's own console window, typed into as a person would.

Keys typed into a pseudo-terminal never reach _getch under Wine; keys typed into Wine's console
window do. So the program runs as `wineconsole cmd.exe /c "PROGRAM > OUT"` on an Xvfb display of
its own, standard output redirected to a file, and xdotool types into the window. The X server,
the Wine server and everything Wine starts run in the PC's namespace, so the program sees that
namespace's network only; each case boots a Wine prefix of its own there, so nothing Wine
started elsewhere serves the program.
Every process is ended by its PID: Xvfb, the Wine server and the console by the PIDs they were
started with, the processes Wine starts by the PIDs that carry our prefix in their environment.

One prefix is booted per run (make_template): the test CA in its machine Root store, as an
administrator installs one, and the test-only stand-in iphlpapi.dll in its system folder with
Wine's own DLL beside it. Each world gets a copy of it (hard links, with registry files of its
own), so a world pays for no boot.
"""

import glob
import hashlib
import os
import select
import shutil
import signal
import ssl
import struct
import subprocess
import time

import drive
from netsim import WorldError, stop_process, wait_until

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
# The low byte of STATUS_CONTROL_C_EXIT (0xC000013A): what a Linux parent sees of it.
CTRL_C_EXIT_STATUS = 0xC000013A & 0xFF
WINDOW_TITLE = "TALVO LINK - NETWORK CHECK"


# The stand-in and the copy of Wine's DLL it forwards to (tests/support/win32_iphlpapi_standin).
STANDIN_DLLS = ("iphlpapi.dll", "iphlpapi_wine.dll")
BASE_OVERRIDES = "mscoree,mshtml="


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def _reg_hex(data):
    return ",".join("%02x" % b for b in data)


def root_store_reg(ca_pem):
    """A registry file that puts the CA in the machine's Root store: the key is the
    certificate's SHA-1 hash, the Blob its serialized form (CERT_CERT_PROP_ID, then the DER)."""
    with open(ca_pem) as f:
        der = ssl.PEM_cert_to_DER_cert(f.read())
    blob = struct.pack("<III", 32, 1, len(der)) + der
    key = hashlib.sha1(der).hexdigest().upper()
    return ("Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\%s]\r\n"
            "\"Blob\"=hex:%s\r\n" % (key, _reg_hex(blob)))


def proxy_reg(proxy):
    """The WinHTTP proxy setting as `netsh winhttp set proxy` stores it: WinHttpSettings, a
    header (size 0x18, a counter, flags: 2 = a named proxy), then the proxy and the bypass
    list, each an ASCII string after its length."""
    server = proxy.encode()
    value = struct.pack("<III", 0x18, 0, 2) + struct.pack("<I", len(server)) + server
    value += struct.pack("<I", 0)
    return ("Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections]\r\n"
            "\"WinHttpSettings\"=hex:%s\r\n" % _reg_hex(value))


def _import_reg(env, ns_argv, workdir, name, text):
    path = os.path.join(workdir, name)
    with open(path, "w") as f:
        f.write(text)
    p = subprocess.run(ns_argv + [WINE, "regedit", "/S", windows_path(path)], env=env, timeout=60,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if p.returncode != 0:
        raise WorldError("regedit %s failed (%d)" % (name, p.returncode))


def make_template(workdir, standin_dir, ca_pem):
    """Boots the run's one Wine prefix (outside every namespace: booting sends nothing)."""
    prefix = os.path.join(workdir, "wineprefix-template")
    env = dict(drive.BASE_ENV, WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES=BASE_OVERRIDES)
    quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        subprocess.run([WINE, "wineboot", "-i"], env=env, timeout=300, check=True, **quiet)
        _import_reg(env, [], workdir, "root-store.reg", root_store_reg(ca_pem))
    finally:
        subprocess.run([WINESERVER, "-k"], env=env, timeout=60, **quiet)
        _end_wine_processes(prefix, keep=[])
    system32 = os.path.join(prefix, "drive_c", "windows", "system32")
    for name in STANDIN_DLLS:
        source = os.path.join(standin_dir, name)
        if not os.path.exists(source):
            raise WorldError("%s not built (the windows preset builds it)" % source)
        target = os.path.join(system32, name)
        if os.path.lexists(target):
            os.unlink(target)
        shutil.copyfile(source, target)
    return prefix


def _clone_prefix(template, prefix):
    """Hard links for the files Wine only reads; the registry files, which it rewrites, copied."""
    subprocess.run(["cp", "-al", template, prefix], check=True, timeout=120)
    for path in glob.glob(os.path.join(prefix, "*.reg")):
        os.unlink(path)
        shutil.copyfile(os.path.join(template, os.path.basename(path)), path)


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


def drive_console(ns, exe, workdir, steps, timeout=60, template=None, proxy=None):
    """Runs exe in Wine's console in namespace ns and plays steps, then waits for its end.

    template: a prefix from make_template (else a fresh one is booted, without the stand-in);
    proxy: "host:port" set as the machine's WinHTTP proxy before the program starts.

    steps: ("key", xdotool key names...) typed 100 ms apart, ("burst", names...) typed at once,
    ("esc",) the Esc key at a time recorded as t_esc,
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
    overrides = BASE_OVERRIDES + (";iphlpapi=n" if template else "")
    wine_env = dict(env, WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES=overrides)
    ours = []  # Xvfb, the Wine server, the console

    def start(argv, environment, **kw):
        proc = subprocess.Popen(["ip", "netns", "exec", ns] + argv, env=environment,
                                stdin=subprocess.DEVNULL, start_new_session=True, **kw)
        ours.append(proc)
        return proc

    def xdotool(*args, timeout=20):
        return subprocess.run(["ip", "netns", "exec", ns, "xdotool"] + list(args), env=wine_env,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                              timeout=timeout).stdout.split()

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
        if template:
            _clone_prefix(template, prefix)
        start([WINESERVER, "-f", "-p"], wine_env, **quiet)
        subprocess.run(["ip", "netns", "exec", ns, WINE, "wineboot"] + ([] if template else ["-i"]),
                       env=wine_env, timeout=300, stdin=subprocess.DEVNULL, **quiet)
        if proxy:
            _import_reg(wine_env, ["ip", "netns", "exec", ns], workdir, "proxy.reg", proxy_reg(proxy))
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
            # The window is found by the title the program gives it while it runs. A search
            # while Wine is still creating its windows now and then never returns: it is ended
            # and asked again.
            try:
                window[:] = xdotool("search", "--onlyvisible", "--name", "^%s$" % WINDOW_TITLE,
                                    timeout=5)
            except subprocess.TimeoutExpired:
                return False
            return bool(window)
        if not wait_until(window_up, 60, 0.2) or not window:
            r.problems.append("no start screen in a console window within 60 s")
            return r
        for step in steps:
            if step[0] in ("key", "burst"):
                r.t_start = r.t_start or time.time()
                xdotool("key", "--window", window[0], "--delay", "100" if step[0] == "key" else "0",
                        *step[1:])
            elif step[0] == "esc":
                r.t_esc = time.time()
                xdotool("key", "--window", window[0], "Escape")
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
