// The echo-body rule with synthetic bodies, and the lookup loop over scripted services on
// loopback: order, fall-through and the cancel flag.
#include <gtest/gtest.h>

#include <thread>

#include "net/http/echo_rules.h"
#include "net/http/public_address.h"
#include "os/clock.h"
#include "os/endpoint.h"
#include "support/loopback_router.h"

namespace talvo {
namespace {

using test::LoopbackRouter;
using test::Reply;
using test::SimpleReply;

constexpr std::uint32_t kUntouched = 0xA5A5A5A5u;

TEST(EchoBody, AcceptedAnswers) {
  const struct {
    std::string body;
    std::uint32_t address;
  } cases[] = {
      {"8.8.8.8", Ipv4FromParts(8, 8, 8, 8)},
      {"8.8.8.8\n", Ipv4FromParts(8, 8, 8, 8)},
      {"81.2.69.160\r\n", Ipv4FromParts(81, 2, 69, 160)},
      {"81.2.69.160 \r\n \n", Ipv4FromParts(81, 2, 69, 160)},
      {"1.1.1.1" + std::string(57, ' '), Ipv4FromParts(1, 1, 1, 1)},  // 64 bytes exactly
      {"100.63.255.255\n", Ipv4FromParts(100, 63, 255, 255)},
      {"100.128.0.1\n", Ipv4FromParts(100, 128, 0, 1)},
  };
  for (const auto& c : cases) {
    std::uint32_t address = kUntouched;
    EXPECT_TRUE(ParseEchoBody(c.body, address)) << c.body;
    EXPECT_EQ(address, c.address) << c.body;
  }
}

TEST(EchoBody, RefusedAnswers) {
  const std::string cases[] = {
      "",
      "\r\n",
      "   ",
      "1.1.1.1" + std::string(58, ' '),  // 65 bytes, valid once trimmed
      std::string(65, '1'),
      " 8.8.8.8",
      "8.8.8.8\t",
      "8.8.8.8\t\n",
      "\t8.8.8.8",
      "2001:4860:4860::8888\n",
      "::ffff:8.8.8.8\n",
      "dns.google\n",
      "Your IP: 8.8.8.8\n",
      "8.8.8.8 is your address",
      "8.8.8.8,8.8.4.4",
      "{\"ip\":\"8.8.8.8\"}",
      "8.8.8",
      "8.8.8.8.8",
      "8.8.8.256",
      "0x8.8.8.8",
      "134744072",
      std::string("8.8.8.8\0junk", 12),
      std::string("8.8.8.8\0", 8),
      "8.8.8.8\xc2\xa0",
      // Addresses that are well formed but not public.
      "10.1.2.3\n",
      "172.16.0.1\n",
      "192.168.1.20\r\n",
      "100.64.0.1\n",
      "100.127.255.254\n",
      "127.0.0.1\n",
      "169.254.1.1\n",
      "0.0.0.0\n",
      "192.0.2.1\n",
      "198.51.100.7\n",
      "203.0.113.9\n",
      "224.0.0.1\n",
      "255.255.255.255\n",
  };
  for (const std::string& body : cases) {
    std::uint32_t address = kUntouched;
    EXPECT_FALSE(ParseEchoBody(body, address)) << body;
    EXPECT_EQ(address, kUntouched) << body;
  }
}

// The public profile over plain HTTP, so that loopback servers can play the services.
HttpProfile PlainEcho(std::uint32_t phaseMs = 3000, std::uint64_t deadlineMs = 8000) {
  HttpProfile profile = PublicEchoGet;
  profile.requireHttps = false;
  profile.useSystemProxy = false;
  profile.phaseTimeoutMs = phaseMs;
  profile.deadlineMs = deadlineMs;
  return profile;
}

struct Services {
  explicit Services(std::vector<Reply> first, std::vector<Reply> second,
                    std::vector<Reply> third)
      : a(std::move(first)), b(std::move(second)), c(std::move(third)),
        urls{a.Url(u"/"), b.Url(u"/"), c.Url(u"/ip")},
        views{urls[0], urls[1], urls[2]} {}
  bool ok() const { return a.ok() && b.ok() && c.ok(); }
  std::vector<std::size_t> Connections() const {
    return {a.Connections(), b.Connections(), c.Connections()};
  }
  LoopbackRouter a, b, c;
  std::u16string urls[3];
  std::u16string_view views[3];
};

Reply Echo(const std::string& body) { return SimpleReply("200 OK", body); }

TEST(PublicLookup, FirstValidAnswerWinsAndTheRestAreNotAsked) {
  Services services({Echo("81.2.69.160\r\n")}, {Echo("8.8.8.8\n")}, {Echo("1.1.1.1\n")});
  ASSERT_TRUE(services.ok());
  const CancelFlag cancel{false};
  std::uint32_t address = kUntouched;
  EXPECT_TRUE(LookupPublicAddressFrom(cancel, PlainEcho(), services.views, 3, address));
  EXPECT_EQ(address, Ipv4FromParts(81, 2, 69, 160));
  EXPECT_EQ(services.Connections(), (std::vector<std::size_t>{1, 0, 0}));
  EXPECT_EQ(services.a.Requests()[0].substr(0, 16), "GET / HTTP/1.1\r\n");
}

TEST(PublicLookup, EachKindOfBadServiceMovesOnToTheNext) {
  const struct {
    Reply bad;
    const char* what;
  } cases[] = {
      {SimpleReply("500 Internal Server Error", "8.8.8.8"), "status 500"},
      {SimpleReply("302 Found", "", "Location: http://127.0.0.1:1/\r\n"), "redirect"},
      {SimpleReply("204 No Content", ""), "no content"},
      {Echo(""), "empty body"},
      {Echo("2001:4860:4860::8888\n"), "IPv6"},
      {Echo("192.168.178.20\n"), "private"},
      {Echo("100.64.12.34\n"), "shared address space"},
      {Echo("8.8.8.8" + std::string(58, '\n')), "65 bytes"},
      {Echo(" 8.8.8.8\n"), "leading space"},
      {Echo("8.8.8.8\t"), "trailing tab"},
      {Echo("<html>8.8.8.8</html>"), "surrounding text"},
      {Echo("myhost.example.net\n"), "host name"},
      {Reply{{0, "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n8.8."}}, "cut short"},
      // Headers later than the deadline: fails at the first pass of the body loop.
      {Reply{{1500, "HTTP/1.1 200 OK\r\nContent-Length: 8\r\n\r\n8.8.8.8\n"}}, "too late"},
  };
  for (const auto& c : cases) {
    Services services({c.bad}, {Echo("8.8.4.4\n")}, {Echo("1.1.1.1\n")});
    ASSERT_TRUE(services.ok());
    const CancelFlag cancel{false};
    std::uint32_t address = kUntouched;
    EXPECT_TRUE(
        LookupPublicAddressFrom(cancel, PlainEcho(3000, 1000), services.views, 3, address))
        << c.what;
    EXPECT_EQ(address, Ipv4FromParts(8, 8, 4, 4)) << c.what;
    EXPECT_EQ(services.Connections(), (std::vector<std::size_t>{1, 1, 0})) << c.what;
  }
}

TEST(PublicLookup, StalledFirstServiceGivesWayToTheSecond) {
  Services services({Reply{{0, "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n8.8"}, {8000, ".8.8\n"}}},
                    {Echo("8.8.4.4\n")}, {Echo("1.1.1.1\n")});
  ASSERT_TRUE(services.ok());
  const CancelFlag cancel{false};
  std::uint32_t address = kUntouched;
  const std::uint64_t start = MonotonicMs();
  EXPECT_TRUE(LookupPublicAddressFrom(cancel, PlainEcho(1000, 20000), services.views, 3, address));
  EXPECT_LT(MonotonicMs() - start, 6000u);
  EXPECT_EQ(address, Ipv4FromParts(8, 8, 4, 4));
  EXPECT_EQ(services.Connections(), (std::vector<std::size_t>{1, 1, 0}));
}

TEST(PublicLookup, ThirdServiceIsTheLastChance) {
  Services services({Echo("10.0.0.1\n")}, {Echo("fe80::1\n")}, {Echo("9.9.9.9\n")});
  ASSERT_TRUE(services.ok());
  const CancelFlag cancel{false};
  std::uint32_t address = kUntouched;
  EXPECT_TRUE(LookupPublicAddressFrom(cancel, PlainEcho(), services.views, 3, address));
  EXPECT_EQ(address, Ipv4FromParts(9, 9, 9, 9));
  EXPECT_EQ(services.c.Requests()[0].substr(0, 18), "GET /ip HTTP/1.1\r\n");
}

TEST(PublicLookup, AllServicesFailingLeavesTheAddressAlone) {
  Services services({Echo("10.0.0.1\n")}, {SimpleReply("503 Busy", "")}, {Echo("")});
  ASSERT_TRUE(services.ok());
  const CancelFlag cancel{false};
  std::uint32_t address = kUntouched;
  EXPECT_FALSE(LookupPublicAddressFrom(cancel, PlainEcho(), services.views, 3, address));
  EXPECT_EQ(address, kUntouched);
  EXPECT_EQ(services.Connections(), (std::vector<std::size_t>{1, 1, 1}));
}

TEST(PublicLookup, CancelledBeforehandAsksNobody) {
  Services services({Echo("8.8.8.8\n")}, {Echo("8.8.8.8\n")}, {Echo("8.8.8.8\n")});
  ASSERT_TRUE(services.ok());
  const CancelFlag cancel{true};
  std::uint32_t address = kUntouched;
  EXPECT_FALSE(LookupPublicAddressFrom(cancel, PlainEcho(), services.views, 3, address));
  EXPECT_EQ(address, kUntouched);
  EXPECT_EQ(services.Connections(), (std::vector<std::size_t>{0, 0, 0}));
  // The real services are not contacted either: the flag is read first.
  EXPECT_FALSE(LookupPublicAddress(cancel, address));
  EXPECT_EQ(address, kUntouched);
}

// Esc and the time limit must not wait for a slow service: the request in progress ends
// with the check, whatever it would have answered, and no further service is asked.
TEST(PublicLookup, CancelDuringARequestEndsIt) {
  const Reply slowValid{{2000, "HTTP/1.1 200 OK\r\nContent-Length: 8\r\n\r\n8.8.8.8\n"}};
  Services services({slowValid}, {Echo("8.8.4.4\n")}, {Echo("1.1.1.1\n")});
  ASSERT_TRUE(services.ok());
  CancelFlag cancel{false};
  std::thread canceller([&cancel] {
    SleepMs(200);
    cancel.exchange(true);
  });
  std::uint32_t address = kUntouched;
  const bool found = LookupPublicAddressFrom(cancel, PlainEcho(), services.views, 3, address);
  canceller.join();
  EXPECT_FALSE(found);
  EXPECT_EQ(address, kUntouched);
  EXPECT_EQ(services.Connections(), (std::vector<std::size_t>{1, 0, 0}));
}

}  // namespace
}  // namespace talvo
