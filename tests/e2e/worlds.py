"""The simulated home networks of the end-to-end scenarios.

Addresses (all inside our own namespaces):
  internet  echo services 45.90.28.10-12, route-confirmation target 1.1.1.1,
            public IPv6 server 2606:4700:4700::1111 (TCP 443)
  home      PC 192.168.1.100 on the bridge br0 of the router 192.168.1.1,
            router WAN 81.10.0.2 behind the internet's 81.10.0.1
Each builder returns a Site: the PC namespace and what the PC may talk to.
"""

import os
import subprocess

from netsim import WorldError

ECHO_HOSTS = {
    # host names the product may use for its address-echo services
    "api.ipify.org": "45.90.28.10",
    "ipv4.icanhazip.com": "45.90.28.11",
    "icanhazip.com": "45.90.28.12",
    "ifconfig.me": "45.90.28.12",
    "ipinfo.io": "45.90.28.12",
    "checkip.amazonaws.com": "45.90.28.12",
    "ipecho.net": "45.90.28.12",
    "ident.me": "45.90.28.12",
    "v4.ident.me": "45.90.28.12",
    "api4.my-ip.io": "45.90.28.12",
    "myexternalip.com": "45.90.28.12",
}
ECHO_ADDRS = sorted(set(ECHO_HOSTS.values()))
ROUTE_TARGET_V4 = "1.1.1.1"
IPV6_SERVERS = ["2606:4700:4700::1111", "2001:4860:4860::8888"]
SSDP_GROUP = "239.255.255.250"
HOME_WAN = "81.10.0.2"
GATEWAY = "192.168.1.1"
PC_LAN = "192.168.1.100"
OTHER_LAN_HOST = "192.168.1.50"
PROXY = "192.168.1.2"


class Site:
    def __init__(self, pc, gateway=None, allowed=(), env=None, router_log=None):
        self.pc = pc
        self.gateway = gateway
        self.allowed = set(allowed)
        self.env = env or {}
        self.router_log = router_log


class Certs:
    """A test CA and one server certificate naming every echo host."""

    def __init__(self, directory):
        self.dir = directory
        os.makedirs(directory, exist_ok=True)
        self.ca = os.path.join(directory, "ca.pem")
        self.cert = os.path.join(directory, "server.pem")
        self.key = os.path.join(directory, "server.key")
        if not os.path.exists(self.cert):
            self._make()

    def _openssl(self, *args):
        p = subprocess.run(["openssl"] + list(args), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                           timeout=60, text=True)
        if p.returncode != 0:
            raise WorldError("openssl %s: %s" % (args[0], p.stderr))

    def _make(self):
        d = self.dir
        cakey = os.path.join(d, "ca.key")
        self._openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", cakey, "-out", self.ca,
                      "-days", "2", "-subj", "/CN=e2e test CA",
                      "-addext", "basicConstraints=critical,CA:TRUE",
                      "-addext", "keyUsage=critical,keyCertSign,cRLSign")
        csr = os.path.join(d, "server.csr")
        self._openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", self.key, "-out", csr,
                      "-subj", "/CN=api.ipify.org")
        ext = os.path.join(d, "ext.cnf")
        with open(ext, "w") as f:
            f.write("basicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\nsubjectAltName=%s\n"
                    % ",".join("DNS:" + h for h in ECHO_HOSTS))
        self._openssl("x509", "-req", "-in", csr, "-CA", self.ca, "-CAkey", cakey, "-CAcreateserial",
                      "-out", self.cert, "-days", "2", "-extfile", ext)


# ------------------------------------------------------------------ pieces

def internet(w, certs, echo=True, ipv6=True, echo_mode="answer"):
    w.hosts = ECHO_HOSTS
    ns = w.ns("inet")
    # The services' addresses live on loopback: no dummy interfaces in every kernel we meet.
    for a in ECHO_ADDRS + [ROUTE_TARGET_V4]:
        w.addr(ns, "lo", a + "/32")
    w.forwarding(ns, ipv6=True)
    if ipv6:
        for a in IPV6_SERVERS:
            w.addr(ns, "lo", a + "/128")
        w.service(ns, "tcp6", ["tcp"] + sum((["--addr", a] for a in IPV6_SERVERS), []))
    if echo:
        w.service(ns, "echo", ["echo", "--cert", certs.cert, "--key", certs.key]
                  + sum((["--addr", a] for a in ECHO_ADDRS), []) + ["--mode", echo_mode])
    return ns


def uplink(w, inet, ns, wan_if, inet_if, inet_cidr, wan_cidr, routes_back=()):
    """Connects a namespace to the internet namespace with a public /24."""
    w.link(ns, wan_if, inet, inet_if)
    w.addr(inet, inet_if, inet_cidr)
    w.addr(ns, wan_if, wan_cidr)
    w.route(ns, "default via %s" % inet_cidr.split("/")[0])
    for net in routes_back:
        w.route(inet, "%s via %s" % (net, wan_cidr.split("/")[0]))


def lan(w, router, lan_cidr, host_ns, host_cidr, host_if="eth0", port="lan1", bridge="br0"):
    """Puts a host on the router's bridged LAN; the router's LAN address lives on the bridge."""
    if not _has_link(w, router, bridge):
        w.bridge(router, bridge)
        w.addr(router, bridge, lan_cidr)
    w.link(router, port, host_ns, host_if)
    w.enslave(router, port, bridge)
    w.addr(host_ns, host_if, host_cidr)


def _has_link(w, ns, dev):
    return w.cmd(ns, ["ip", "link", "show", dev], check=False).returncode == 0


def nat_router(w, ns, wan_if, ipv6=False):
    w.forwarding(ns, ipv6=ipv6)
    w.masquerade(ns, wan_if)


MINIUPNPD_NFT = """
table inet filter {
  chain miniupnpd { }
  chain forward {
    type filter hook forward priority 0; policy accept;
    jump miniupnpd
  }
  chain prerouting_miniupnpd { }
  chain prerouting {
    type nat hook prerouting priority -100; policy accept;
    jump prerouting_miniupnpd
  }
  chain postrouting_miniupnpd { }
  chain postrouting {
    type nat hook postrouting priority 100; policy accept;
    jump postrouting_miniupnpd
  }
}
"""


def miniupnpd(w, ns, upnp=True, natpmp=True, stun=None, lan_net="192.168.1.0/24"):
    """Debian's miniupnpd as the home router's IGD, NAT-PMP and PCP server."""
    w.nft(ns, MINIUPNPD_NFT)
    conf = os.path.join(w.workdir, "miniupnpd-%s.conf" % ns)
    lines = [
        "ext_ifname=wan0",
        "listening_ip=br0",
        "http_port=5000",
        "enable_upnp=%s" % ("yes" if upnp else "no"),
        "enable_natpmp=%s" % ("yes" if natpmp else "no"),
        "secure_mode=yes",
        "system_uptime=yes",
        "notify_interval=600",
        "ipv6_disable=yes",
        "uuid=3d3cec3a-8cf0-11e0-98ee-001a6bd2d07b",
        "serial=12345678",
        "model_number=1",
        "upnp_table_name=filter",
        "upnp_nat_table_name=filter",
        "upnp_forward_chain=miniupnpd",
        "upnp_nat_chain=prerouting_miniupnpd",
        "upnp_nat_postrouting_chain=postrouting_miniupnpd",
        "allow 1024-65535 %s 1024-65535" % lan_net,
        "deny 0-65535 0.0.0.0/0 0-65535",
    ]
    if stun:
        lines += ["ext_perform_stun=yes", "ext_stun_host=%s" % stun, "ext_stun_port=3478"]
    with open(conf, "w") as f:
        f.write("\n".join(lines) + "\n")
    pid = os.path.join(w.workdir, "miniupnpd-%s.pid" % ns)
    proc = w.start(ns, ["/usr/sbin/miniupnpd", "-f", conf, "-d", "-P", pid], "miniupnpd-" + ns.split("-")[-1])
    if upnp:
        w.wait_listening(ns, "tcp", 5000, proc, "miniupnpd")
    if natpmp:
        w.wait_listening(ns, "udp", 5351, proc, "miniupnpd")
    return proc


def pc_etc(w, pc, certs, echo_hosts=ECHO_HOSTS):
    w.etc(pc, hosts=echo_hosts, ca_bundle=certs.ca)


def allowed_base(gateway=None):
    s = set(ECHO_ADDRS) | set(IPV6_SERVERS) | {SSDP_GROUP, "127.0.0.1", "::1", "127.0.0.53"}
    if gateway:
        s.add(gateway)
    return s


# ------------------------------------------------------------------ worlds

def home(w, certs, router="miniupnpd", upnp=True, natpmp=True, ipv6=False, env=None,
         variant="honest", natpmp_reply="silent", pcp_reply="silent", spoofer=False, proxy=False,
         second_route=False, echo_mode="answer"):
    inet = internet(w, certs, ipv6=True, echo_mode=echo_mode)
    rt = w.ns("rt")
    pc = w.ns("pc")
    uplink(w, inet, rt, "wan0", "up1", "81.10.0.1/24", HOME_WAN + "/24")
    lan(w, rt, GATEWAY + "/24", pc, PC_LAN + "/24")
    w.route(pc, "default via " + GATEWAY)
    nat_router(w, rt, "wan0", ipv6=ipv6)
    if ipv6:
        w.addr(inet, "up1", "2a0e:1:1::1/64")
        w.addr(rt, "wan0", "2a0e:1:1::2/64")
        w.addr(rt, "br0", "2a0e:1:2::1/64")
        w.addr(pc, "eth0", "2a0e:1:2::100/64")
        w.route6(rt, "default via 2a0e:1:1::1")
        w.route6(pc, "default via 2a0e:1:2::1")
        w.route6(inet, "2a0e:1:2::/64 via 2a0e:1:1::2")
    pc_etc(w, pc, certs)
    router_log = None
    if router == "miniupnpd":
        miniupnpd(w, rt, upnp=upnp, natpmp=natpmp)
    elif router == "scripted":
        router_log = os.path.join(w.workdir, "router-requests.log")
        w.service(rt, "router", ["router", "--lan", GATEWAY, "--variant", variant,
                                 "--upnp-address", HOME_WAN, "--natpmp", natpmp_reply,
                                 "--pcp", pcp_reply, "--other-host", OTHER_LAN_HOST,
                                 "--log", router_log])
    allowed = allowed_base(GATEWAY)
    if spoofer:
        other = w.ns("lanhost")
        lan(w, rt, GATEWAY + "/24", other, OTHER_LAN_HOST + "/24", port="lan2")
        w.route(other, "default via " + GATEWAY)
        w.service(other, "spoofer", ["ssdp", "--lan", OTHER_LAN_HOST, "--gateway", GATEWAY])
    if proxy:
        # The proxy is a host of its own on the LAN, so that traffic to it is not router traffic.
        w.addr(rt, "br0", PROXY + "/24")
        w.service(rt, "proxy", ["proxy", "--addr", PROXY])
        env = dict(env or {}, https_proxy="http://%s:3128" % PROXY)
        allowed.add(PROXY)
    if second_route:
        vpn = w.ns("vpn")
        w.link(pc, "vpn0", vpn, "tun0")
        w.addr(pc, "vpn0", "10.8.0.2/24")
        w.addr(vpn, "tun0", "10.8.0.1/24")
        w.route(pc, "default via 10.8.0.1 dev vpn0 metric 500")
        allowed.add("10.8.0.1")
    return Site(pc, GATEWAY, allowed, env=env, router_log=router_log)


def direct(w, certs, echo=True):
    """A PC that holds a public address itself, straight on the internet."""
    inet = internet(w, certs, echo=echo, ipv6=True)
    pc = w.ns("pc")
    uplink(w, inet, pc, "eth0", "up1", "81.30.0.1/24", "81.30.0.2/24")
    pc_etc(w, pc, certs)
    # A PC that holds its public address is never asked about a router: no SSDP either.
    return Site(pc, "81.30.0.1", allowed_base() - {SSDP_GROUP})


def cgnat(w, certs):
    """Home router (miniupnpd, STUN) whose WAN lies in 100.64.0.0/10 behind the carrier's NAT."""
    inet = internet(w, certs, ipv6=True)
    cgn = w.ns("cgn")
    rt = w.ns("rt")
    pc = w.ns("pc")
    uplink(w, inet, cgn, "wan0", "up1", "81.20.0.1/24", "81.20.0.2/24")
    w.link(cgn, "sub0", rt, "wan0")
    w.addr(cgn, "sub0", "100.64.0.1/24")
    w.addr(rt, "wan0", "100.64.0.2/24")
    w.route(rt, "default via 100.64.0.1")
    nat_router(w, cgn, "wan0")
    lan(w, rt, GATEWAY + "/24", pc, PC_LAN + "/24")
    w.route(pc, "default via " + GATEWAY)
    nat_router(w, rt, "wan0")
    w.service(cgn, "stun", ["stun", "--addr", "100.64.0.1"])
    pc_etc(w, pc, certs)
    miniupnpd(w, rt, stun="100.64.0.1")
    return Site(pc, GATEWAY, allowed_base(GATEWAY))


def double_nat(w, certs, stun=True):
    """Two home routers in series; the inner one runs miniupnpd."""
    inet = internet(w, certs, ipv6=True)
    outer = w.ns("outer")
    rt = w.ns("rt")
    pc = w.ns("pc")
    uplink(w, inet, outer, "wan0", "up1", "81.40.0.1/24", "81.40.0.2/24")
    w.link(outer, "lan0", rt, "wan0")
    w.addr(outer, "lan0", "192.168.0.1/24")
    w.addr(rt, "wan0", "192.168.0.2/24")
    w.route(rt, "default via 192.168.0.1")
    nat_router(w, outer, "wan0")
    lan(w, rt, GATEWAY + "/24", pc, PC_LAN + "/24")
    w.route(pc, "default via " + GATEWAY)
    nat_router(w, rt, "wan0")
    if stun:
        w.service(outer, "stun", ["stun", "--addr", "192.168.0.1"])
    pc_etc(w, pc, certs)
    miniupnpd(w, rt, stun="192.168.0.1" if stun else None)
    return Site(pc, GATEWAY, allowed_base(GATEWAY))


def loopback_only(w, certs):
    w.hosts = ECHO_HOSTS
    pc = w.ns("pc")
    pc_etc(w, pc, certs)
    return Site(pc, None, {"127.0.0.1", "::1"})
