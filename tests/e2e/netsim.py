"""Simulated networks from Linux network namespaces, veth pairs and nftables.

A World owns every namespace, /etc/netns entry and process it creates, all named with one
unique prefix, and removes them in close(), which runs on every path (use it as a context
manager). Processes are ended by their PID (SIGTERM, then SIGKILL) and always waited for.
Nothing here sends a packet outside the namespaces it made.
"""

import itertools
import os
import shutil
import signal
import subprocess
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SERVICES = os.path.join(HERE, "services.py")
PYTHON = "/usr/bin/python3"


class WorldError(Exception):
    pass


def run(argv, check=True, input=None, timeout=20):
    p = subprocess.run(argv, input=input, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                       text=True, timeout=timeout)
    if check and p.returncode != 0:
        raise WorldError("%s failed (%d): %s" % (" ".join(argv), p.returncode, p.stderr.strip()))
    return p


def wait_until(predicate, timeout, interval=0.05):
    deadline = time.monotonic() + timeout
    while True:
        if predicate():
            return True
        if time.monotonic() >= deadline:
            return False
        time.sleep(interval)


def _raise_exit(signum, frame):
    raise SystemExit(128 + signum)


def stop_politely_on_signals():
    """Turns SIGTERM and SIGHUP into an exception, so every World's close() still runs."""
    signal.signal(signal.SIGTERM, _raise_exit)
    signal.signal(signal.SIGHUP, _raise_exit)


def stop_process(proc, grace=3.0, sig=signal.SIGTERM):
    """Ends one process we started, by its PID, and reaps it."""
    if proc.poll() is not None:
        return proc.returncode
    try:
        os.kill(proc.pid, sig)
    except ProcessLookupError:
        pass
    try:
        return proc.wait(timeout=grace)
    except subprocess.TimeoutExpired:
        try:
            os.kill(proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        return proc.wait(timeout=5)


class World:
    def __init__(self, tag, workdir):
        self.prefix = "tlve2e-%d-%s-" % (os.getpid(), tag)
        self.workdir = workdir
        os.makedirs(workdir, exist_ok=True)
        self.namespaces = []
        self.procs = []  # (name, Popen), started order
        self.etc_dirs = []
        # Every namespace resolves names from its own hosts file only, so that no lookup
        # (the program's, a proxy's, a router daemon's) ever leaves for a real name server.
        self.hosts = {}

    # ------------------------------------------------------------ lifecycle
    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def close(self):
        for name, proc in reversed(self.procs):
            stop_process(proc)
        self.procs = []
        for ns in reversed(self.namespaces):
            run(["ip", "netns", "del", ns], check=False)
        self.namespaces = []
        for d in self.etc_dirs:
            shutil.rmtree(d, ignore_errors=True)
        self.etc_dirs = []

    # ------------------------------------------------------------ building
    def ns(self, role):
        name = self.prefix + role
        run(["ip", "netns", "add", name])
        self.namespaces.append(name)
        self.etc(name, hosts=self.hosts)
        # Addresses are usable at once, as on a network that has settled: no duplicate
        # address detection holding link-local addresses tentative.
        self.sh(name, "sysctl -qw net.ipv6.conf.all.accept_dad=0 net.ipv6.conf.default.accept_dad=0")
        self.sh(name, "ip link set lo up")
        return name

    def sh(self, ns, command, check=True):
        return run(["ip", "netns", "exec", ns] + command.split(), check=check)

    def cmd(self, ns, argv, check=True, input=None):
        return run(["ip", "netns", "exec", ns] + argv, check=check, input=input)

    def link(self, ns_a, if_a, ns_b, if_b):
        """A veth pair with one end in each namespace, both ends up."""
        tmp = "tv%d_%d" % (os.getpid() % 100000, _counter())
        run(["ip", "link", "add", tmp + "a", "type", "veth", "peer", "name", tmp + "b"])
        try:
            run(["ip", "link", "set", tmp + "a", "netns", ns_a, "name", if_a])
            run(["ip", "link", "set", tmp + "b", "netns", ns_b, "name", if_b])
        except WorldError:
            # Whatever end is still in the host's namespace goes (deleting one end deletes both).
            run(["ip", "link", "del", tmp + "a"], check=False)
            run(["ip", "link", "del", tmp + "b"], check=False)
            raise
        self.sh(ns_a, "ip link set %s up" % if_a)
        self.sh(ns_b, "ip link set %s up" % if_b)

    def bridge(self, ns, name):
        self.sh(ns, "ip link add %s type bridge mcast_snooping 0" % name)
        self.sh(ns, "ip link set %s up" % name)

    def enslave(self, ns, port, bridge):
        self.sh(ns, "ip link set %s master %s" % (port, bridge))

    def addr(self, ns, dev, cidr):
        extra = " nodad" if ":" in cidr else ""
        self.sh(ns, "ip addr add %s dev %s%s" % (cidr, dev, extra))

    def route(self, ns, how):
        self.sh(ns, "ip route add " + how)

    def route6(self, ns, how):
        self.sh(ns, "ip -6 route add " + how)

    def forwarding(self, ns, ipv6=False):
        self.sh(ns, "sysctl -qw net.ipv4.ip_forward=1")
        if ipv6:
            self.sh(ns, "sysctl -qw net.ipv6.conf.all.forwarding=1")

    def masquerade(self, ns, out_if):
        self.nft(ns, """
table ip e2enat {
  chain postrouting {
    type nat hook postrouting priority 100; policy accept;
    oifname "%s" masquerade
  }
}
""" % out_if)

    def nft(self, ns, ruleset):
        self.cmd(ns, ["nft", "-f", "-"], input=ruleset)

    def etc(self, ns, hosts=None, ca_bundle=None):
        """Files that `ip netns exec` bind-mounts over /etc for this namespace only."""
        d = os.path.join("/etc/netns", ns)
        os.makedirs(d, exist_ok=True)
        if d not in self.etc_dirs:
            self.etc_dirs.append(d)
        with open(os.path.join(d, "resolv.conf"), "w") as f:
            f.write("nameserver 127.0.0.1\n")
        with open(os.path.join(d, "hosts"), "w") as f:
            f.write("127.0.0.1 localhost\n::1 localhost ip6-localhost\n")
            for name, ip in (hosts or {}).items():
                f.write("%s %s\n" % (ip, name))
        if ca_bundle:
            certs = os.path.join(d, "ssl", "certs")
            os.makedirs(certs, exist_ok=True)
            shutil.copy(ca_bundle, os.path.join(certs, "ca-certificates.crt"))
            if os.path.exists("/etc/ssl/openssl.cnf"):
                shutil.copy("/etc/ssl/openssl.cnf", os.path.join(d, "ssl", "openssl.cnf"))

    # ------------------------------------------------------------ processes
    def start(self, ns, argv, name, env=None, **popen):
        log = open(os.path.join(self.workdir, "%s.log" % name), "ab")
        try:
            proc = subprocess.Popen(["ip", "netns", "exec", ns] + argv, stdout=log, stderr=log,
                                    stdin=subprocess.DEVNULL, env=env, **popen)
        finally:
            log.close()
        self.procs.append((name, proc))
        return proc

    def stop(self, name):
        """Ends one named process of this world, by its PID."""
        for n, proc in self.procs:
            if n == name:
                stop_process(proc)
                return
        raise WorldError("no process named %s" % name)

    def service(self, ns, name, args, timeout=10):
        """Starts one services.py subcommand and waits until its sockets are bound."""
        ready = os.path.join(self.workdir, name + ".ready")
        if os.path.exists(ready):
            os.unlink(ready)
        proc = self.start(ns, [PYTHON, SERVICES] + args + ["--ready", ready], name)
        if not wait_until(lambda: os.path.exists(ready) or proc.poll() is not None, timeout):
            raise WorldError("%s did not become ready" % name)
        if proc.poll() is not None:
            raise WorldError("%s exited: %s" % (name, self.log_tail(name)))
        return proc

    def wait_listening(self, ns, proto, port, proc, name, timeout=10):
        flag = "-Hltn" if proto == "tcp" else "-Hlun"

        def up():
            if proc.poll() is not None:
                return True
            out = self.cmd(ns, ["ss", flag, "sport = :%d" % port], check=False).stdout
            return bool(out.strip())
        if not wait_until(up, timeout, 0.1):
            raise WorldError("%s is not listening on %s/%d" % (name, proto, port))
        if proc.poll() is not None:
            raise WorldError("%s exited: %s" % (name, self.log_tail(name)))

    def log_tail(self, name, n=2000):
        try:
            with open(os.path.join(self.workdir, name + ".log"), "rb") as f:
                return f.read()[-n:].decode(errors="replace")
        except OSError:
            return ""


_count = itertools.count(1)


def _counter():
    return next(_count)
