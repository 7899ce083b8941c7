#include "net/upnp/ssdp.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "os/clock.h"
#include "os/socket.h"

namespace talvo {
namespace {

using namespace std::string_literals;

const std::uint32_t kGateway = Ipv4FromParts(192, 168, 1, 1);
const std::string kGoodLocation = "http://192.168.1.1:5000/rootDesc.xml";

std::string AnswerWithStatus(const std::string& statusLine) {
  return statusLine + "\r\nCACHE-CONTROL: max-age=120\r\nLOCATION: " + kGoodLocation +
         "\r\nST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n\r\n";
}

std::string AnswerWithLines(const std::string& headerLines) {
  return "HTTP/1.1 200 OK\r\n" + headerLines + "\r\n";
}

// An http URL on `host` padded with path letters to exactly `units` bytes.
std::string UrlOfLength(const std::string& host, std::size_t units) {
  std::string url = "http://" + host + "/";
  url.resize(units, 'x');
  return url;
}

// A status-200 answer of exactly `bytes` bytes whose LOCATION comes first.
std::string AnswerOfSize(const std::string& location, std::size_t bytes) {
  std::string answer = "HTTP/1.1 200 OK\r\nLOCATION: " + location + "\r\nX-PAD: ";
  const std::string tail = "\r\n\r\n";
  answer.resize(bytes - tail.size(), 'p');
  return answer + tail;
}

struct ParseCase {
  const char* label;
  std::string text;
};

void ExpectParses(const std::vector<ParseCase>& cases, bool expected) {
  for (const ParseCase& c : cases) {
    std::u16string url = u"stale";
    EXPECT_EQ(ParseSsdpResponse(c.text, kGateway, &url), expected) << c.label;
    if (expected) {
      EXPECT_EQ(url, u"http://192.168.1.1:5000/rootDesc.xml") << c.label;
    } else {
      EXPECT_TRUE(url.empty()) << c.label;
    }
  }
}

TEST(SsdpResponse, AcceptsStatus200WithOrWithoutReasonPhrase) {
  ExpectParses({{"1.1 OK", AnswerWithStatus("HTTP/1.1 200 OK")},
                {"1.0 OK", AnswerWithStatus("HTTP/1.0 200 OK")},
                {"code alone", AnswerWithStatus("HTTP/1.1 200")},
                {"code and a space", AnswerWithStatus("HTTP/1.1 200 ")},
                {"other reason phrase", AnswerWithStatus("HTTP/1.1 200 Fine By Me")},
                {"line feeds only", "HTTP/1.1 200 OK\nLOCATION: " + kGoodLocation + "\n"}},
               true);
}

TEST(SsdpResponse, RefusesOtherStatusLines) {
  ExpectParses({{"404", AnswerWithStatus("HTTP/1.1 404 Not Found")},
                {"201", AnswerWithStatus("HTTP/1.1 201 Created")},
                {"four-digit code", AnswerWithStatus("HTTP/1.1 2000 OK")},
                {"reason without space", AnswerWithStatus("HTTP/1.1 200OK")},
                {"tab after code", AnswerWithStatus("HTTP/1.1 200\tOK")},
                {"lower-case protocol", AnswerWithStatus("http/1.1 200 OK")},
                {"HTTP/2", AnswerWithStatus("HTTP/2 200 OK")},
                {"HTTP/1.2", AnswerWithStatus("HTTP/1.2 200 OK")},
                {"leading space", AnswerWithStatus(" HTTP/1.1 200 OK")},
                {"two spaces", AnswerWithStatus("HTTP/1.1  200 OK")},
                {"a NOTIFY", AnswerWithStatus("NOTIFY * HTTP/1.1")},
                {"empty status line", AnswerWithStatus("")},
                {"no status line", "LOCATION: " + kGoodLocation + "\r\n"},
                {"empty text", ""},
                {"status line only", "HTTP/1.1 200 OK\r\n\r\n"}},
               false);
}

TEST(SsdpResponse, MatchesTheHeaderNameInAnyLetterCaseButUntrimmed) {
  ExpectParses({{"upper", AnswerWithLines("LOCATION: " + kGoodLocation + "\r\n")},
                {"lower", AnswerWithLines("location: " + kGoodLocation + "\r\n")},
                {"mixed", AnswerWithLines("LoCaTiOn: " + kGoodLocation + "\r\n")},
                {"no blank after colon", AnswerWithLines("Location:" + kGoodLocation + "\r\n")}},
               true);
  ExpectParses({{"space before colon", AnswerWithLines("LOCATION : " + kGoodLocation + "\r\n")},
                {"space before name", AnswerWithLines(" LOCATION: " + kGoodLocation + "\r\n")},
                {"tab before name", AnswerWithLines("\tLOCATION: " + kGoodLocation + "\r\n")},
                {"longer name", AnswerWithLines("LOCATIONS: " + kGoodLocation + "\r\n")},
                {"prefixed name", AnswerWithLines("X-LOCATION: " + kGoodLocation + "\r\n")},
                {"AL header", AnswerWithLines("AL: <" + kGoodLocation + ">\r\n")},
                {"no colon", AnswerWithLines("LOCATION " + kGoodLocation + "\r\n")}},
               false);
}

TEST(SsdpResponse, OnlyTheFirstLocationLineCounts) {
  ExpectParses({{"good then bad", AnswerWithLines("LOCATION: " + kGoodLocation +
                                                  "\r\nLOCATION: http://10.0.0.9/\r\n")},
                {"an unmatched name first",
                 AnswerWithLines("LOCATION : http://10.0.0.9/\r\nLOCATION: " + kGoodLocation +
                                 "\r\n")}},
               true);
  ExpectParses(
      {{"bad then good",
        AnswerWithLines("LOCATION: http://10.0.0.9/\r\nLOCATION: " + kGoodLocation + "\r\n")},
       {"empty then good", AnswerWithLines("LOCATION:\r\nLOCATION: " + kGoodLocation + "\r\n")}},
      false);
}

TEST(SsdpResponse, SearchesPastEmptyLinesAndReadsAnUnterminatedLastLine) {
  ExpectParses(
      {{"after an empty line", "HTTP/1.1 200 OK\r\nST: x\r\n\r\nLOCATION: " + kGoodLocation + "\r\n"},
       {"last line without line feed", "HTTP/1.1 200 OK\r\nLOCATION: " + kGoodLocation},
       {"zero bytes in another header",
        AnswerWithLines("SERVER: a\0b\0\r\nLOCATION: "s + kGoodLocation + "\r\n")}},
      true);
}

TEST(SsdpResponse, TrimsSpacesAndTabsAroundTheValue) {
  ExpectParses({{"spaces and tabs", AnswerWithLines("LOCATION: \t " + kGoodLocation + " \t\r\n")},
                {"trailing blanks without CR", "HTTP/1.1 200 OK\nLOCATION:\t" + kGoodLocation + "  \n"}},
               true);
  ExpectParses({{"spaces only", AnswerWithLines("LOCATION:    \r\n")},
                {"tabs only", AnswerWithLines("LOCATION:\t\t\r\n")},
                {"nothing", AnswerWithLines("LOCATION:\r\n")}},
               false);
}

TEST(SsdpResponse, RefusesControlBytesInTheValue) {
  ExpectParses({{"second carriage return", AnswerWithLines("LOCATION: " + kGoodLocation + "\r\r\n")},
                {"carriage return inside",
                 AnswerWithLines("LOCATION: http://192.168.1.1:5000/\rrootDesc.xml\r\n")},
                {"zero byte inside",
                 AnswerWithLines("LOCATION: http://192.168.1.1\0:5000/rootDesc.xml\r\n"s)}},
               false);
}

TEST(SsdpResponse, HoldsTheUrlToTheGatewayRule) {
  ExpectParses({{"another address", AnswerWithLines("LOCATION: http://192.168.1.2:5000/rootDesc.xml\r\n")},
                {"host name", AnswerWithLines("LOCATION: http://router.lan:5000/rootDesc.xml\r\n")},
                {"https", AnswerWithLines("LOCATION: https://192.168.1.1:5000/rootDesc.xml\r\n")},
                {"user info", AnswerWithLines("LOCATION: http://u:p@192.168.1.1:5000/rootDesc.xml\r\n")},
                {"fragment", AnswerWithLines("LOCATION: http://192.168.1.1:5000/rootDesc.xml#x\r\n")},
                {"relative", AnswerWithLines("LOCATION: /rootDesc.xml\r\n")}},
               false);
}

TEST(SsdpResponse, BoundsTheUrlAndTheText) {
  const std::string longest = UrlOfLength("192.168.1.1", 2048);
  std::u16string url;
  EXPECT_TRUE(ParseSsdpResponse(AnswerWithLines("LOCATION: " + longest + "\r\n"), kGateway, &url));
  EXPECT_EQ(url, std::u16string(longest.begin(), longest.end()));
  EXPECT_TRUE(
      ParseSsdpResponse(AnswerWithLines("LOCATION:  " + longest + " \t \r\n"), kGateway, nullptr));
  EXPECT_FALSE(ParseSsdpResponse(
      AnswerWithLines("LOCATION: " + UrlOfLength("192.168.1.1", 2049) + "\r\n"), kGateway, &url));
  EXPECT_TRUE(url.empty());

  EXPECT_TRUE(ParseSsdpResponse(AnswerOfSize(kGoodLocation, 8192), kGateway, nullptr));
  EXPECT_FALSE(ParseSsdpResponse(AnswerOfSize(kGoodLocation, 8193), kGateway, nullptr));
}

TEST(SsdpResponse, WorksWithoutAnOutput) {
  EXPECT_TRUE(ParseSsdpResponse(AnswerWithStatus("HTTP/1.1 200 OK"), kGateway, nullptr));
  EXPECT_FALSE(ParseSsdpResponse(AnswerWithStatus("HTTP/1.1 500 OK"), kGateway, nullptr));
}

#ifdef _WIN32
// Windows only: WinHttpCrackUrl takes units above 0x7F in a path, so the widening shows.
// libcurl refuses any such URL, so on Linux these answers are simply refused.
TEST(SsdpResponse, WidensHighBytesAsSignedOnWindows) {
  std::u16string url;
  ASSERT_TRUE(ParseSsdpResponse(AnswerWithLines("LOCATION: http://192.168.1.1/\x80\xff\r\n"),
                                kGateway, &url));
  EXPECT_EQ(url, u"http://192.168.1.1/\xff80\xffff");
}
#endif

// ---- Discovery against a responder on loopback ----

const std::uint32_t kLoopback = Ipv4FromParts(127, 0, 0, 1);
const std::uint32_t kOtherLoopback = Ipv4FromParts(127, 0, 0, 2);

#ifdef _WIN32
using AddressLength = int;
#else
using AddressLength = socklen_t;
#endif

struct Reply {
  std::uint32_t from;
  std::string bytes;
};

// Plays the router: records every datagram that reaches its port and, to the first one,
// sends the scripted replies, each from a socket bound to the reply's source address.
class Responder {
 public:
  explicit Responder(std::vector<Reply> replies, std::uint32_t listenAddress = kLoopback)
      : listener_(AF_INET, SOCK_DGRAM, IPPROTO_UDP), replies_(std::move(replies)) {
    if (!session_.ok() || !listener_.valid() || !BindIpv4(listener_, listenAddress, 0)) return;
    sockaddr_in bound{};
    AddressLength length = sizeof bound;
    if (getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&bound), &length) != 0) return;
    for (const Reply& reply : replies_) {
      Socket sender(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
      if (!sender.valid() || !BindIpv4(sender, reply.from, 0)) return;
      senders_.push_back(std::move(sender));
    }
    endpoint_ = bound;
    thread_ = std::thread([this] { Run(); });
  }

  ~Responder() { Finish(); }

  bool ready() const { return endpoint_.sin_port != 0; }
  const sockaddr_in& endpoint() const { return endpoint_; }

  // Stops the responder and returns every datagram it received.
  std::vector<std::string> Finish() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    return requests_;
  }

 private:
  void Run() {
    // Bounded even if the test never calls Finish.
    const std::uint64_t giveUp = MonotonicMs() + 20000;
    std::vector<char> buffer(65536);
    while (MonotonicMs() < giveUp) {
      const bool stopping = stop_;
      // Once stopping, take only what is already queued: a datagram sent on loopback is in
      // the receive queue by the time sendto returns.
      if (WaitReadable(listener_, stopping ? 0 : 20) != WaitResult::Ready) {
        if (stopping) return;
        continue;
      }
      sockaddr_in peer{};
      AddressLength length = sizeof peer;
      const int n = static_cast<int>(recvfrom(listener_.get(), buffer.data(),
                                              static_cast<int>(buffer.size()), 0,
                                              reinterpret_cast<sockaddr*>(&peer), &length));
      if (n < 0) continue;
      requests_.emplace_back(buffer.data(), static_cast<std::size_t>(n));
      if (requests_.size() != 1) continue;
      for (std::size_t i = 0; i < replies_.size(); ++i) {
        SendTo(senders_[i], replies_[i].bytes.data(), replies_[i].bytes.size(), peer);
      }
    }
  }

  NetSession session_;
  Socket listener_;
  std::vector<Reply> replies_;
  std::vector<Socket> senders_;
  sockaddr_in endpoint_{};
  std::atomic<bool> stop_{false};
  std::vector<std::string> requests_;
  std::thread thread_;
};

// Whether a UDP socket bound to `address` really sends from it. Wine binds a UDP socket to any
// address that is not 127.0.0.1 or an interface's own address as INADDR_ANY (while
// getsockname still reports the requested address), so its datagrams leave from 127.0.0.1.
bool SendsFrom(std::uint32_t address) {
  const NetSession session;
  const Socket receiver(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  const Socket sender(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (!session.ok() || !receiver.valid() || !sender.valid() ||
      !BindIpv4(receiver, kLoopback, 0) || !BindIpv4(sender, address, 0)) {
    return false;
  }
  sockaddr_in bound{};
  AddressLength length = sizeof bound;
  if (getsockname(receiver.get(), reinterpret_cast<sockaddr*>(&bound), &length) != 0) return false;
  if (SendTo(sender, "?", 1, bound) != 1) return false;
  if (WaitReadable(receiver, 2000) != WaitResult::Ready) return false;
  char byte = 0;
  std::uint32_t from = 0;
  return ReceiveDatagramFrom(receiver, &byte, 1, from) == 1 && from == address;
}

constexpr const char* kNoOtherSource =
    "a UDP socket bound to 127.0.0.2 does not send from it here (Wine's bind() turns it into "
    "INADDR_ANY)";

const std::string kMSearch =
    "M-SEARCH * HTTP/1.1\r\n"
    "HOST: 239.255.255.250:1900\r\n"
    "MAN: \"ssdp:discover\"\r\n"
    "MX: 1\r\n"
    "ST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n"
    "\r\n";

std::string LoopbackAnswer(const std::string& location) {
  return "HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=120\r\nLOCATION: " + location +
         "\r\nSERVER: Debian/12 UPnP/1.1 MiniUPnPd/2.3\r\n"
         "ST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n\r\n";
}

std::u16string Wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::uint64_t ElapsedSince(std::uint64_t start) { return MonotonicMs() - start; }

TEST(SsdpDiscovery, SendsOneSearchAndReturnsTheGatewaysUrl) {
  const std::string location = "http://127.0.0.1:5000/rootDesc.xml";
  Responder responder({{kLoopback, LoopbackAnswer(location)}});
  ASSERT_TRUE(responder.ready());
  std::u16string url = u"stale";
  EXPECT_EQ(DiscoverGateway(kLoopback, responder.endpoint(), kLoopback, nullptr, &url),
            SsdpOutcome::Found);
  EXPECT_EQ(url, Wide(location));
  const std::vector<std::string> requests = responder.Finish();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].size(), 137u);
  EXPECT_EQ(requests[0], kMSearch);
}

TEST(SsdpDiscovery, IgnoresAnswersFromOtherAddresses) {
  if (!SendsFrom(kOtherLoopback)) GTEST_SKIP() << kNoOtherSource;
  // Both name a URL on the gateway; only the sender's address tells them apart.
  Responder responder({{kOtherLoopback, LoopbackAnswer("http://127.0.0.1:5000/impostor.xml")},
                       {kLoopback, LoopbackAnswer("http://127.0.0.1:5000/rootDesc.xml")}});
  ASSERT_TRUE(responder.ready());
  std::u16string url;
  EXPECT_EQ(DiscoverGateway(kLoopback, responder.endpoint(), kLoopback, nullptr, &url),
            SsdpOutcome::Found);
  EXPECT_EQ(url, u"http://127.0.0.1:5000/rootDesc.xml");
}

// Runs on Wine as well: here the gateway is 127.0.0.2 and the answer, naming a URL on it,
// comes from 127.0.0.1.
TEST(SsdpDiscovery, NoAnswerWhenOnlyAnotherAddressAnswers) {
  Responder responder({{kLoopback, LoopbackAnswer("http://127.0.0.2:5000/rootDesc.xml")}});
  ASSERT_TRUE(responder.ready());
  std::u16string url = u"stale";
  EXPECT_EQ(DiscoverGateway(kLoopback, responder.endpoint(), kOtherLoopback, nullptr, &url),
            SsdpOutcome::NoAnswer);
  EXPECT_TRUE(url.empty());
  EXPECT_EQ(responder.Finish().size(), 1u);
}

TEST(SsdpDiscovery, KeepsWaitingPastRefusedAnswers) {
  const std::string longest = UrlOfLength("127.0.0.1", 2048);
  Responder responder(
      {{kLoopback, "HTTP/1.1 404 Not Found\r\nLOCATION: http://127.0.0.1/a.xml\r\n\r\n"},
       {kLoopback, "HTTP/1.1 2000 OK\r\nLOCATION: http://127.0.0.1/b.xml\r\n\r\n"},
       {kLoopback, LoopbackAnswer("http://localhost:5000/rootDesc.xml")},
       {kLoopback, LoopbackAnswer("http://127.0.0.2:5000/rootDesc.xml")},
       {kLoopback, LoopbackAnswer("https://127.0.0.1:5000/rootDesc.xml")},
       {kLoopback, LoopbackAnswer("http://admin@127.0.0.1:5000/rootDesc.xml")},
       {kLoopback, LoopbackAnswer("http://127.0.0.1:5000/rootDesc.xml#frag")},
       {kLoopback, "HTTP/1.1 200 OK\r\nLOCATION: http://127.0.0.2/\r\n"
                   "LOCATION: http://127.0.0.1/c.xml\r\n\r\n"},
       {kLoopback, "HTTP/1.1 200 OK\r\nLOCATION : http://127.0.0.1/d.xml\r\n\r\n"},
       {kLoopback, LoopbackAnswer(UrlOfLength("127.0.0.1", 2049))},
       {kLoopback, "HTTP/1.1 200\r\nlocation:\t " + longest + " \t\r\n\r\n"}});
  ASSERT_TRUE(responder.ready());
  std::u16string url;
  EXPECT_EQ(DiscoverGateway(kLoopback, responder.endpoint(), kLoopback, nullptr, &url),
            SsdpOutcome::Found);
  EXPECT_EQ(url, Wide(longest));
}

TEST(SsdpDiscovery, DropsAnOversizedDatagramWhole) {
  // Its first 8192 bytes would be an acceptable answer on their own.
  Responder responder(
      {{kLoopback, AnswerOfSize("http://127.0.0.1:5000/oversized.xml", 8193)},
       {kLoopback, AnswerOfSize("http://127.0.0.1:5000/rootDesc.xml", 8192)}});
  ASSERT_TRUE(responder.ready());
  std::u16string url;
  EXPECT_EQ(DiscoverGateway(kLoopback, responder.endpoint(), kLoopback, nullptr, &url),
            SsdpOutcome::Found);
  EXPECT_EQ(url, u"http://127.0.0.1:5000/rootDesc.xml");
}

TEST(SsdpWaitSlice, IsAFullSliceUntilTheDeadlineCutsItShort) {
  struct Case {
    std::uint64_t now;
    std::uint64_t deadline;
    std::uint32_t slice;
  };
  const Case cases[] = {
      {1000, 3500, 200},  // the window has just begun
      {3300, 3500, 200},  // exactly one slice left
      {3301, 3500, 199},  // the slice that used to run 100 ms past the window
      {3400, 3500, 100},
      {3499, 3500, 1},
      {3500, 3500, 0},  // at the deadline: no further wait
      {3600, 3500, 0},  // past it (a late wake-up)
      {0, ~std::uint64_t{0}, 200},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SsdpWaitSliceMs(c.now, c.deadline), c.slice) << c.now << " to " << c.deadline;
  }
}

TEST(SsdpDiscovery, GivesNoAnswerAfterTheWindow) {
  Responder responder({{kLoopback, "HTTP/1.1 404 Not Found\r\n\r\n"}});
  ASSERT_TRUE(responder.ready());
  std::u16string url = u"stale";
  const std::uint64_t start = MonotonicMs();
  EXPECT_EQ(DiscoverGateway(kLoopback, responder.endpoint(), kLoopback, nullptr, &url),
            SsdpOutcome::NoAnswer);
  const std::uint64_t elapsed = ElapsedSince(start);
  EXPECT_GE(elapsed, 2500u);  // the whole window, however its last slice is cut
  EXPECT_LT(elapsed, 6000u);
  EXPECT_TRUE(url.empty());
  EXPECT_EQ(responder.Finish().size(), 1u);
}

TEST(SsdpDiscovery, CancelledBeforeTheCallStillSendsTheSearchOnce) {
  Responder responder({{kLoopback, LoopbackAnswer("http://127.0.0.1:5000/rootDesc.xml")}});
  ASSERT_TRUE(responder.ready());
  const CancelFlag cancel{true};
  std::u16string url = u"stale";
  const std::uint64_t start = MonotonicMs();
  EXPECT_EQ(DiscoverGateway(kLoopback, responder.endpoint(), kLoopback, &cancel, &url),
            SsdpOutcome::Cancelled);
  EXPECT_LT(ElapsedSince(start), 2400u);  // it did not wait out the window
  EXPECT_TRUE(url.empty());
  const std::vector<std::string> requests = responder.Finish();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0], kMSearch);
}

TEST(SsdpDiscovery, NoticesACancelWhileWaiting) {
  Responder responder({});
  ASSERT_TRUE(responder.ready());
  CancelFlag cancel{false};
  std::thread canceller([&cancel] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    cancel.exchange(true);
  });
  const SsdpOutcome outcome =
      DiscoverGateway(kLoopback, responder.endpoint(), kLoopback, &cancel, nullptr);
  canceller.join();
  EXPECT_EQ(outcome, SsdpOutcome::Cancelled);
}

TEST(SsdpDiscovery, FailsOnUnusableArgumentsWithoutSending) {
  Responder responder({{kLoopback, LoopbackAnswer("http://127.0.0.1:5000/rootDesc.xml")}});
  ASSERT_TRUE(responder.ready());
  sockaddr_in wrongFamily = responder.endpoint();
  wrongFamily.sin_family = AF_INET6;
  sockaddr_in noPort = responder.endpoint();
  noPort.sin_port = 0;
  struct ArgumentCase {
    const char* label;
    std::uint32_t local;
    sockaddr_in destination;
    std::uint32_t gateway;
  };
  const ArgumentCase cases[] = {{"local address 0", 0, responder.endpoint(), kLoopback},
                                {"gateway address 0", kLoopback, responder.endpoint(), 0},
                                {"not AF_INET", kLoopback, wrongFamily, kLoopback},
                                {"port 0", kLoopback, noPort, kLoopback}};
  for (const ArgumentCase& c : cases) {
    std::u16string url = u"stale";
    EXPECT_EQ(DiscoverGateway(c.local, c.destination, c.gateway, nullptr, &url),
              SsdpOutcome::Failed)
        << c.label;
    EXPECT_TRUE(url.empty()) << c.label;
  }
  EXPECT_TRUE(responder.Finish().empty());
}

TEST(SsdpDiscovery, FailsWhenTheLocalAddressIsNotThisHosts) {
  // TEST-NET-1 is never assigned to a local interface, so the bind must fail before any send.
  Responder responder({});
  ASSERT_TRUE(responder.ready());
  EXPECT_EQ(DiscoverGateway(Ipv4FromParts(192, 0, 2, 1), responder.endpoint(), kLoopback, nullptr,
                            nullptr),
            SsdpOutcome::Failed);
  EXPECT_TRUE(responder.Finish().empty());
}

}  // namespace
}  // namespace talvo
