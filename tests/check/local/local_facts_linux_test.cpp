// The Linux layer against real kernel state: every test builds its own network namespaces,
// runs the operation inside one on a thread that entered it, and removes them again. Traffic
// stays inside those namespaces.
#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if_tun.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "check/local/local_facts.h"
#include "check/local/local_probes.h"
#include "os/clock.h"
#include "os/endpoint.h"
#include "os/socket.h"

namespace talvo {
namespace {

bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

std::string UniqueName() {
  static std::atomic<int> counter{0};
  return "tlv-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

class Namespace {
 public:
  Namespace() : name_(UniqueName()), created_(Shell("ip netns add " + name_)) {
    if (created_) created_ = Ip("link set lo up");
  }
  ~Namespace() {
    if (!name_.empty()) Shell("ip netns del " + name_);
  }
  Namespace(const Namespace&) = delete;
  Namespace& operator=(const Namespace&) = delete;

  bool created() const { return created_; }
  const std::string& name() const { return name_; }
  bool Ip(const std::string& arguments) const {
    return Shell("ip -n " + name_ + " " + arguments);
  }
  bool Sysctl(const std::string& setting) const {
    return Shell("ip netns exec " + name_ + " sysctl -qw " + setting);
  }
  // A veth pair whose both ends live here, both up and without automatic link-local
  // addresses, so that address counts do not change while duplicate detection runs.
  bool AddVethPair(const std::string& a, const std::string& b) const {
    return Ip("link add " + a + " type veth peer name " + b) &&
           Ip("link set " + a + " addrgenmode none") && Ip("link set " + b + " addrgenmode none") &&
           Ip("link set " + a + " up") && Ip("link set " + b + " up") && AwaitLink(a, true) &&
           AwaitLink(b, true);
  }
  // The kernel settles a carrier change asynchronously; wait (at most 2 s) until the link
  // reads as wanted.
  bool AwaitLink(const std::string& link, bool up) const;

 private:
  std::string name_;
  bool created_;
};

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileDescriptor& operator=(FileDescriptor&&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Runs `work` on a thread that has entered the namespace; empty when it could not enter.
template <typename Work>
auto InNamespace(const Namespace& ns, Work work) -> std::optional<decltype(work())> {
  std::optional<decltype(work())> result;
  std::thread worker([&] {
    const FileDescriptor fd(open(("/run/netns/" + ns.name()).c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() >= 0 && setns(fd.get(), CLONE_NEWNET) == 0) result.emplace(work());
  });
  worker.join();
  return result;
}

bool Namespace::AwaitLink(const std::string& link, bool up) const {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const auto facts = InNamespace(*this, [&link] {
      return ReadInterface(if_nametoindex(link.c_str()));
    });
    if (facts && facts->readable && facts->up == up) return true;
    SleepMs(20);
  }
  return false;
}

std::uint32_t IndexOf(const Namespace& ns, const std::string& interfaceName) {
  return InNamespace(ns, [&] { return if_nametoindex(interfaceName.c_str()); }).value_or(0);
}

// The proxy variables are this platform's system proxy; each test states them itself.
class ProxyEnvironment {
 public:
  ProxyEnvironment() {
    for (const char* name : kNames) {
      const char* value = std::getenv(name);
      saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
      unsetenv(name);
    }
  }
  ~ProxyEnvironment() {
    for (const auto& [name, value] : saved_) {
      if (value) {
        setenv(name, value->c_str(), 1);
      } else {
        unsetenv(name);
      }
    }
  }
  ProxyEnvironment(const ProxyEnvironment&) = delete;
  ProxyEnvironment& operator=(const ProxyEnvironment&) = delete;

  static constexpr const char* kNames[] = {"https_proxy", "HTTPS_PROXY", "all_proxy",
                                           "ALL_PROXY",   "http_proxy",  "HTTP_PROXY"};

 private:
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

class LinuxLocalFacts : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "building network namespaces needs root";
  }
  ProxyEnvironment proxies_;
};

struct Counts {
  bool ok = false;
  std::uint32_t ipv4 = 99;
  std::uint32_t ipv6 = 99;
};

Counts CountIn(const Namespace& ns) {
  return InNamespace(ns, [] {
           Counts c;
           c.ok = CountPreferredAddresses(c.ipv4, c.ipv6);
           return c;
         })
      .value_or(Counts{});
}

TEST_F(LinuxLocalFacts, OnlyPreferredAddressesOnLinksWithCarrierCount) {
  const Namespace ns;
  ASSERT_TRUE(ns.created());
  // A veth without carrier on its far end is not up.
  ASSERT_TRUE(ns.Ip("link add a0 type veth peer name a1"));
  ASSERT_TRUE(ns.Ip("link set a0 addrgenmode none") && ns.Ip("link set a1 addrgenmode none"));
  ASSERT_TRUE(ns.Ip("link set a0 up"));
  ASSERT_TRUE(ns.Ip("address add 203.0.113.5/24 dev a0"));
  Counts counts = CountIn(ns);
  EXPECT_TRUE(counts.ok);
  EXPECT_EQ(counts.ipv4, 0u);
  EXPECT_EQ(InNamespace(ns, [] { return HasNoActiveAdapter(); }), true);

  ASSERT_TRUE(ns.Ip("link set a1 up"));
  ASSERT_TRUE(ns.AwaitLink("a0", true) && ns.AwaitLink("a1", true));
  EXPECT_EQ(InNamespace(ns, [] { return HasNoActiveAdapter(); }), false);
  // Duplicate address detection on a1 waits a minute between probes: it stays tentative.
  ASSERT_TRUE(ns.Sysctl("net.ipv6.neigh.a1.retrans_time_ms=60000"));
  ASSERT_TRUE(ns.Ip("address add 2a00:db8:1::5/64 dev a0 nodad"));
  ASSERT_TRUE(ns.Ip("address add 2a00:db8:2::5/64 dev a0 nodad preferred_lft 0"));  // deprecated
  ASSERT_TRUE(ns.Ip("address add 2a00:db8:3::5/64 dev a1"));                        // tentative
  counts = CountIn(ns);
  EXPECT_TRUE(counts.ok);
  EXPECT_EQ(counts.ipv4, 1u);
  EXPECT_EQ(counts.ipv6, 1u);
}

struct RouteOutcome {
  bool found = false;
  DefaultRoute route;
};

RouteOutcome FindIn(const Namespace& ns) {
  return InNamespace(ns, [] {
           RouteOutcome outcome;
           outcome.found = FindDefaultRouteTowards(Ipv4FromParts(192, 0, 2, 1), outcome.route);
           return outcome;
         })
      .value_or(RouteOutcome{});
}

// Two interfaces, each with a default route through its own gateway.
void BuildTwoUplinks(const Namespace& ns) {
  ASSERT_TRUE(ns.AddVethPair("a0", "a1"));
  ASSERT_TRUE(ns.AddVethPair("b0", "b1"));
  ASSERT_TRUE(ns.Ip("address add 203.0.113.2/24 dev a0"));
  ASSERT_TRUE(ns.Ip("address add 198.51.100.2/24 dev b0"));
}

TEST_F(LinuxLocalFacts, ChoosesTheDefaultRouteWithTheLowerMetric) {
  const Namespace ns;
  ASSERT_TRUE(ns.created());
  BuildTwoUplinks(ns);
  ASSERT_TRUE(ns.Ip("route add default via 203.0.113.1 dev a0 metric 35"));
  ASSERT_TRUE(ns.Ip("route add default via 198.51.100.1 dev b0 metric 25"));

  const RouteOutcome outcome = FindIn(ns);
  ASSERT_TRUE(outcome.found);
  EXPECT_EQ(outcome.route.gatewayAddress, Ipv4FromParts(198, 51, 100, 1));
  EXPECT_EQ(outcome.route.localAddress, Ipv4FromParts(198, 51, 100, 2));
  EXPECT_EQ(outcome.route.interfaceIndex, IndexOf(ns, "b0"));

  // The production destination only selects a route; nothing is sent to it.
  DefaultRoute production;
  EXPECT_EQ(InNamespace(ns, [&] { return FindDefaultRoute(production); }), true);
  EXPECT_EQ(production.interfaceIndex, IndexOf(ns, "b0"));

  // The other uplink makes the path suspect, from either side.
  const auto other = InNamespace(ns, [&] {
    bool otherRoute = false;
    const bool answered = HasOtherDefaultRoute(IndexOf(ns, "b0"), otherRoute);
    return answered && otherRoute;
  });
  EXPECT_EQ(other, true);
  EXPECT_EQ(InNamespace(ns, [&] { return AssessIndirectPath(IndexOf(ns, "b0")); }), true);

  // Once the cheaper uplink loses its carrier, the other one is chosen.
  ASSERT_TRUE(ns.Ip("link set b1 down"));
  ASSERT_TRUE(ns.AwaitLink("b0", false));
  const RouteOutcome fallback = FindIn(ns);
  ASSERT_TRUE(fallback.found);
  EXPECT_EQ(fallback.route.interfaceIndex, IndexOf(ns, "a0"));
  EXPECT_EQ(fallback.route.gatewayAddress, Ipv4FromParts(203, 0, 113, 1));

  // On equal cost the route listed first is kept, and the kernel's lookup agrees.
  ASSERT_TRUE(ns.Ip("link set b1 up"));
  ASSERT_TRUE(ns.AwaitLink("b0", true));
  ASSERT_TRUE(ns.Ip("route del default via 198.51.100.1 dev b0 metric 25"));
  ASSERT_TRUE(ns.Ip("route append default via 198.51.100.1 dev b0 metric 35"));
  const RouteOutcome equal = FindIn(ns);
  ASSERT_TRUE(equal.found);
  EXPECT_EQ(equal.route.interfaceIndex, IndexOf(ns, "a0"));

  // A tunnel's half route takes the traffic past the chosen default route: not confirmed.
  ASSERT_TRUE(ns.Ip("route add 128.0.0.0/1 via 198.51.100.1 dev b0"));
  EXPECT_FALSE(FindIn(ns).found);
}

TEST_F(LinuxLocalFacts, OnlyATableTheRulesReachForThisHostsTrafficHoldsItsRoute) {
  const Namespace ns;
  ASSERT_TRUE(ns.created());
  BuildTwoUplinks(ns);
  ASSERT_TRUE(ns.Ip("route add default via 203.0.113.1 dev a0 metric 100"));
  // A default route in a table of its own, as split tunnels and multi-homed hosts set up. Rules
  // this host's traffic passes put that table first, whatever its route costs, and the
  // ordinary uplink is then a second default route; other rules leave it aside.
  ASSERT_TRUE(ns.Ip("route add default via 198.51.100.1 dev b0 table 100 metric 500"));
  const std::uint32_t a0 = IndexOf(ns, "a0");
  const std::uint32_t b0 = IndexOf(ns, "b0");
  for (const auto& [selector, reached] :
       {std::pair{"from 10.9.0.2", false}, {"uidrange 1000-1999", false}, {"iif b0", false},
        {"iif lo", true}, {"not from 10.9.0.2", true}}) {
    ASSERT_TRUE(ns.Ip(std::string("rule add ") + selector + " table 100 pref 100"));
    const std::uint32_t index = reached ? b0 : a0;
    EXPECT_EQ(FindIn(ns).route.interfaceIndex, index) << selector;
    EXPECT_EQ(InNamespace(ns, [index] { return AssessIndirectPath(index); }), reached) << selector;
    ASSERT_TRUE(ns.Ip("rule del pref 100"));
  }
}

TEST_F(LinuxLocalFacts, ASinglePlainUplinkIsDirectUnlessAProxyIsSet) {
  const Namespace ns;
  ASSERT_TRUE(ns.created());
  ASSERT_TRUE(ns.AddVethPair("a0", "a1"));
  ASSERT_TRUE(ns.Ip("address add 203.0.113.2/24 dev a0"));
  ASSERT_TRUE(ns.Ip("route add default via 203.0.113.1 dev a0"));
  // An on-link default route elsewhere leads to no second gateway.
  ASSERT_TRUE(ns.Ip("route add default dev a1 metric 500"));
  const std::uint32_t index = IndexOf(ns, "a0");

  EXPECT_EQ(InNamespace(ns, [&] { return AssessIndirectPath(index); }), false);
  setenv("https_proxy", "", 1);  // set but empty: no proxy
  EXPECT_EQ(InNamespace(ns, [&] { return AssessIndirectPath(index); }), false);
  for (const char* name : ProxyEnvironment::kNames) {
    setenv(name, "http://proxy.invalid:8080", 1);
    EXPECT_EQ(InNamespace(ns, [&] { return AssessIndirectPath(index); }), true) << name;
    unsetenv(name);
  }
  // An interface that no longer exists cannot be read: suspect.
  EXPECT_EQ(InNamespace(ns, [] { return AssessIndirectPath(0x7FFFFFF0u); }), true);
}

// Opens /dev/net/tun inside the namespace: the device has a carrier while this is held.
FileDescriptor AttachTun(const Namespace& ns, const char* name) {
  return InNamespace(ns, [name] {
    FileDescriptor fd(open("/dev/net/tun", O_RDWR | O_CLOEXEC));
    ifreq request{};
    request.ifr_flags = IFF_TUN | IFF_NO_PI;
    std::strncpy(request.ifr_name, name, IFNAMSIZ - 1);
    if (fd.get() >= 0 && ioctl(fd.get(), TUNSETIFF, &request) != 0) return FileDescriptor();
    return fd;
  }).value_or(FileDescriptor());
}

TEST_F(LinuxLocalFacts, ATunDeviceCarryingTheDefaultRouteIsIndirectAlsoThroughVpnRules) {
  const Namespace ns;
  ASSERT_TRUE(ns.created());
  const FileDescriptor tun = AttachTun(ns, "tun0");
  ASSERT_GE(tun.get(), 0);
  ASSERT_TRUE(ns.Ip("link set tun0 up"));
  ASSERT_TRUE(ns.AwaitLink("tun0", true));
  ASSERT_TRUE(ns.Ip("address add 203.0.113.9/24 dev tun0"));
  ASSERT_TRUE(ns.Ip("route add default dev tun0"));

  const RouteOutcome outcome = FindIn(ns);
  ASSERT_TRUE(outcome.found);
  EXPECT_EQ(outcome.route.interfaceIndex, IndexOf(ns, "tun0"));
  EXPECT_EQ(outcome.route.gatewayAddress, 0u);
  EXPECT_EQ(outcome.route.localAddress, Ipv4FromParts(203, 0, 113, 9));
  EXPECT_EQ(InNamespace(ns, [&] { return AssessIndirectPath(outcome.route.interfaceIndex); }),
            true);
  const auto facts = InNamespace(ns, [&] { return ReadInterface(outcome.route.interfaceIndex); });
  ASSERT_TRUE(facts.has_value());
  EXPECT_TRUE(facts->readable);
  EXPECT_TRUE(facts->isTunnel);
  EXPECT_TRUE(facts->up);

  // The WireGuard tools' layout: unmarked traffic goes to the tunnel's table, and the main
  // table answers only with routes more specific than a default one. A cheaper default
  // route in main does not change the path.
  ASSERT_TRUE(ns.AddVethPair("a0", "a1"));
  ASSERT_TRUE(ns.Ip("address add 198.51.100.2/24 dev a0"));
  ASSERT_TRUE(ns.Ip("route add default via 198.51.100.1 dev a0 metric 100"));
  ASSERT_TRUE(ns.Ip("route del default dev tun0"));
  ASSERT_TRUE(ns.Ip("route add default dev tun0 metric 200 table 51820"));
  ASSERT_TRUE(ns.Ip("rule add not fwmark 51820 table 51820 pref 32765"));
  ASSERT_TRUE(ns.Ip("rule add table main suppress_prefixlength 0 pref 32764"));
  const RouteOutcome vpn = FindIn(ns);
  EXPECT_EQ(vpn.route.interfaceIndex, IndexOf(ns, "tun0"));
  EXPECT_EQ(vpn.route.localAddress, Ipv4FromParts(203, 0, 113, 9));
  EXPECT_EQ(InNamespace(ns, [&] { return AssessIndirectPath(vpn.route.interfaceIndex); }), true);
}

// A client namespace whose only uplink is a veth to a server namespace holding
// 2a00:db8:1::2; the server silently drops 2a00:db8:9::/64.
struct Ipv6World {
  Namespace client;
  Namespace server;
  bool built = false;

  Ipv6World() {
    built = client.created() && server.created() &&
            client.Ip("link add c0 type veth peer name s0 netns " + server.name()) &&
            client.Ip("link set c0 addrgenmode none") && server.Ip("link set s0 addrgenmode none") &&
            client.Ip("address add 2a00:db8:1::1/64 dev c0 nodad") &&
            server.Ip("address add 2a00:db8:1::2/64 dev s0 nodad") &&
            client.Ip("link set c0 up") && server.Ip("link set s0 up") &&
            client.AwaitLink("c0", true) && server.AwaitLink("s0", true) &&
            client.Ip("-6 route add default via 2a00:db8:1::2 dev c0") &&
            server.Ip("-6 route add blackhole 2a00:db8:9::/64");
  }
};

// A TCP socket in the namespace bound to [address]:0, listening or not.
std::optional<std::pair<Socket, std::uint16_t>> ServerSocket(const Namespace& ns, bool listening) {
  return InNamespace(ns, [listening] {
           Socket socket(SocketKind::TcpIpv6);
           Ipv6Endpoint wanted;
           ParseIpv6Literal("2a00:db8:1::2", wanted.address);
           sockaddr_in6 local{};
           socklen_t length = sizeof local;
           if (!socket.valid() || !Bind(socket, wanted) || (listening && !Listen(socket, 4)) ||
               getsockname(static_cast<int>(socket.native()), reinterpret_cast<sockaddr*>(&local),
                           &length) != 0) {
             return std::make_pair(Socket(), std::uint16_t{0});
           }
           return std::make_pair(std::move(socket), ntohs(local.sin6_port));
         })
      .value_or(std::make_pair(Socket(), std::uint16_t{0}));
}

bool ProbeIn(const Namespace& ns, const char* target, std::uint16_t port) {
  return InNamespace(ns, [&] { return ProbePublicIpv6RouteTo(target, port); }).value_or(false);
}

TEST_F(LinuxLocalFacts, Ipv6ProbeCompletesAConnectionOnlyToAListener) {
  const Ipv6World world;
  ASSERT_TRUE(world.built);
  const auto listener = ServerSocket(world.server, true);
  ASSERT_TRUE(listener && listener->first.valid());
  const auto refuser = ServerSocket(world.server, false);
  ASSERT_TRUE(refuser && refuser->first.valid());

  EXPECT_TRUE(ProbeIn(world.client, "2a00:db8:1::2", listener->second));
  EXPECT_FALSE(ProbeIn(world.client, "2a00:db8:1::2", refuser->second));
  EXPECT_FALSE(ProbeIn(world.client, "not an address", listener->second));

  const std::uint64_t start = MonotonicMs();
  EXPECT_FALSE(ProbeIn(world.client, "2a00:db8:9::1", listener->second));
  const std::uint64_t elapsed = MonotonicMs() - start;
  EXPECT_GE(elapsed, 1500u) << "a silent server is waited for";
  EXPECT_LT(elapsed, 6000u) << "but only about two seconds";
}

TEST_F(LinuxLocalFacts, Ipv6ProbeRefusesATunnel) {
  const Namespace ns;
  ASSERT_TRUE(ns.created());
  const FileDescriptor tun = AttachTun(ns, "tun6");
  ASSERT_GE(tun.get(), 0);
  ASSERT_TRUE(ns.Ip("link set tun6 up"));
  ASSERT_TRUE(ns.AwaitLink("tun6", true));
  ASSERT_TRUE(ns.Ip("address add 2a00:db8:5::1/64 dev tun6 nodad"));
  ASSERT_TRUE(ns.Ip("-6 route add default dev tun6"));
  const auto best = InNamespace(ns, [] {
    const std::uint8_t destination[16] = {0x2a, 0x00, 0x0d, 0xb8, 0, 9};
    return LookupIpv6Route(destination);
  });
  ASSERT_TRUE(best.has_value());
  ASSERT_TRUE(best->ok);
  EXPECT_EQ(best->interfaceIndex, IndexOf(ns, "tun6"));
  EXPECT_FALSE(ProbeIn(ns, "2a00:db8:9::1", 443));

  // Refused before connecting: no TCP segment went into the tunnel.
  ASSERT_EQ(fcntl(tun.get(), F_SETFL, O_NONBLOCK), 0);
  int tcpPackets = 0;
  unsigned char packet[2048];
  for (int i = 0; i < 1000; ++i) {
    const ssize_t n = read(tun.get(), packet, sizeof packet);
    if (n <= 0) break;
    if (n >= 40 && (packet[0] >> 4) == 6 && packet[6] == IPPROTO_TCP) ++tcpPackets;
  }
  EXPECT_EQ(tcpPackets, 0);
}

TEST(LocalBind, BindsOnlyToAnAddressThisMachineHolds) {
  EXPECT_TRUE(CanBindLocalAddress(Ipv4FromParts(127, 0, 0, 1)));
  EXPECT_FALSE(CanBindLocalAddress(Ipv4FromParts(203, 0, 113, 77)));
}

}  // namespace
}  // namespace talvo
