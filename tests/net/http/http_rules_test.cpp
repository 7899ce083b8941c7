// The shared rules of the client with synthetic input: URL to request, header lines, declared
// lengths and the body loop's decisions.
#include <gtest/gtest.h>

#include "net/http/http_rules.h"
#include "support/loopback_router.h"

namespace talvo {
namespace {

std::string Narrow(std::u16string_view text) { return std::string(text.begin(), text.end()); }

TEST(HttpTargetRule, UrlBecomesHostPortAndObjectPath) {
  const struct {
    const HttpProfile* profile;
    const char16_t* url;
    const char16_t* host;
    std::uint16_t port;
    const char16_t* objectPath;
    bool secure;
  } cases[] = {
      {&PublicEchoGet, u"https://api.example.net", u"api.example.net", 443, u"/", true},
      {&PublicEchoGet, u"https://api.example.net/ip", u"api.example.net", 443, u"/ip", true},
      {&PublicEchoGet, u"https://api.example.net:8443/ip?a=b", u"api.example.net", 8443,
       u"/ip?a=b", true},
      {&GatewayControlPost, u"http://192.168.1.1:5000/ctl?x=1", u"192.168.1.1", 5000,
       u"/ctl?x=1", false},
      {&GatewayDescriptionGet, u"http://192.168.1.1/rootDesc.xml", u"192.168.1.1", 80,
       u"/rootDesc.xml", false},
      {&GatewayDescriptionGet, u"http://192.168.1.1/d.xml#top", u"192.168.1.1", 80, u"/d.xml",
       false},
      {&GatewayDescriptionGet, u"http://192.168.1.1/d.xml?v=2#top", u"192.168.1.1", 80,
       u"/d.xml?v=2", false},
      {&GatewayDescriptionGet, u"http://192.168.1.1:8080/?q", u"192.168.1.1", 8080, u"/?q",
       false},
      // The router profiles never use TLS: the scheme does not choose it.
      {&GatewayDescriptionGet, u"https://192.168.1.1/d.xml", u"192.168.1.1", 443, u"/d.xml",
       false},
  };
  for (const auto& c : cases) {
    HttpTarget target;
    ASSERT_TRUE(BuildHttpTarget(*c.profile, c.url, target)) << Narrow(c.url);
    EXPECT_EQ(target.host, c.host);
    EXPECT_EQ(target.port, c.port);
    EXPECT_EQ(target.objectPath, c.objectPath);
    EXPECT_EQ(target.secure, c.secure);
  }
}

TEST(HttpTargetRule, RefusedUrls) {
  const struct {
    const HttpProfile* profile;
    const char16_t* url;
  } cases[] = {
      {&PublicEchoGet, u"http://api.example.net/"},
      {&PublicEchoGet, u"https:///ip"},
      {&PublicEchoGet, u"ftp://api.example.net/"},
      {&PublicEchoGet, u"api.example.net"},
      {&PublicEchoGet, u""},
      {&GatewayDescriptionGet, u"ftp://192.168.1.1/"},
      {&GatewayDescriptionGet, u"/relative/only"},
      {&GatewayDescriptionGet, u"not a url at all"},
      {&GatewayDescriptionGet, u"http:/192.168.1.1/x"},
      {&GatewayDescriptionGet, u"http:///192.168.1.1/x"},
      {&GatewayDescriptionGet, u"http://192.168.1.1:0/"},
      {&GatewayDescriptionGet, u"http://[::1]/"},
  };
  for (const auto& c : cases) {
    HttpTarget target;
    target.host = u"stale";
    EXPECT_FALSE(BuildHttpTarget(*c.profile, c.url, target)) << Narrow(c.url);
  }
}

TEST(HttpTargetRule, ObjectPathDropsOnlyTheFragment) {
  EXPECT_EQ(ObjectPathFrom(u"", u""), u"/");
  EXPECT_EQ(ObjectPathFrom(u"/a", u""), u"/a");
  EXPECT_EQ(ObjectPathFrom(u"", u"?q=1"), u"/?q=1");
  EXPECT_EQ(ObjectPathFrom(u"/a", u"?q=1#f"), u"/a?q=1");
  EXPECT_EQ(ObjectPathFrom(u"/a", u"#f?q=1"), u"/a");
  EXPECT_EQ(ObjectPathFrom(u"/a", u"?q=#"), u"/a?q=");
  EXPECT_EQ(ObjectPathFrom(u"/a#f", u""), u"/a");
  EXPECT_EQ(ObjectPathFrom(u"#f", u""), u"/");
  EXPECT_EQ(ObjectPathFrom(u"", u"#f"), u"/");
}

TEST(HttpTargetRule, QueryWithoutPathStillAsksForRoot) {
  HttpTarget target;
  ASSERT_TRUE(BuildHttpTarget(GatewayDescriptionGet, u"http://192.168.1.1:8080?q", target));
  EXPECT_EQ(target.port, 8080);
  EXPECT_EQ(target.objectPath, u"/?q");
}

TEST(HttpHeaderRule, LinesAreSplitAtCrLfAndMustBeCleanAscii) {
  std::vector<std::string> lines;
  ASSERT_TRUE(SplitHeaderLines(u"Content-Type: text/xml\r\nSOAPAction: \"a#b\"\r\n", lines));
  EXPECT_EQ(lines, (std::vector<std::string>{"Content-Type: text/xml", "SOAPAction: \"a#b\""}));
  ASSERT_TRUE(SplitHeaderLines(u"A: 1\r\nB: 2", lines));
  EXPECT_EQ(lines, (std::vector<std::string>{"A: 1", "B: 2"}));
  ASSERT_TRUE(SplitHeaderLines(u"", lines));
  EXPECT_TRUE(lines.empty());
  ASSERT_TRUE(SplitHeaderLines(u"A:\tb\r\n\r\n", lines));
  EXPECT_EQ(lines, (std::vector<std::string>{"A:\tb"}));
  for (const std::u16string& bad :
       {std::u16string(u"A: 1\nB: 2\r\n"), std::u16string(u"A: 1\r"), std::u16string(u"A: \u00e4\r\n"),
        std::u16string(u"A: 1\0\r\n", 7), std::u16string(u"A: \x7f\r\n")}) {
    EXPECT_FALSE(SplitHeaderLines(bad, lines));
  }
}

TEST(HttpHeaderRule, HeaderNamesCompareWithoutCase) {
  const std::vector<std::string> lines = {"content-TYPE: text/xml", "X-Content-Type-Hint: a",
                                          "Content-Typed: b"};
  EXPECT_TRUE(HasHeader(lines, "Content-Type"));
  EXPECT_FALSE(HasHeader({"X-Content-Type: a", "Content-Types: b"}, "Content-Type"));
  EXPECT_FALSE(HasHeader({}, "Content-Type"));
}

TEST(HttpLengthRule, ContentLengthIsDigitsOnly) {
  EXPECT_EQ(ParseContentLength("0"), std::optional<std::uint64_t>(0));
  EXPECT_EQ(ParseContentLength("131072"), std::optional<std::uint64_t>(131072));
  EXPECT_EQ(ParseContentLength("9999999999999999999"),
            std::optional<std::uint64_t>(9999999999999999999ull));
  for (const char* bad : {"", "-1", "+5", " 5", "5 ", "0x10", "1,2", "12a", "99999999999999999999"}) {
    EXPECT_FALSE(ParseContentLength(bad).has_value()) << bad;
  }
  const struct {
    const char* head;
    bool usable;
    std::optional<std::uint64_t> declared;
  } heads[] = {
      {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n", true, 5},
      {"HTTP/1.1 200 OK\r\ncontent-length:\t 5\r\nServer: x\r\n", true, 5},
      {"HTTP/1.1 200 OK\nContent-Length: 0\n", true, 0},
      {"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", true, std::nullopt},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", true, std::nullopt},
      {"HTTP/1.1 200 OK\r\nX-Content-Length: 5\r\n", true, std::nullopt},
      {"HTTP/1.1 200 OK\r\nContent-Length:\r\n", false, std::nullopt},
      {"HTTP/1.1 200 OK\r\nContent-Length : 5\r\n", false, std::nullopt},
      {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n 6\r\n", false, std::nullopt},
  };
  for (const auto& c : heads) {
    std::optional<std::uint64_t> declared = 99;
    EXPECT_EQ(DeclaredLengthOf(c.head, declared), c.usable) << c.head;
    EXPECT_EQ(declared, c.declared) << c.head;
  }
  EXPECT_TRUE(BodyRule::EndMatchesDeclared(std::nullopt, 7));
  EXPECT_TRUE(BodyRule::EndMatchesDeclared(7, 7));
  EXPECT_FALSE(BodyRule::EndMatchesDeclared(8, 7));
  EXPECT_FALSE(BodyRule::EndMatchesDeclared(6, 7));
}

HttpProfile Limits(std::uint64_t deadlineMs, std::size_t cap, bool nonEmpty) {
  HttpProfile profile = GatewayDescriptionGet;
  profile.deadlineMs = deadlineMs;
  profile.maxBodyBytes = cap;
  profile.requireNonEmptyBody = nonEmpty;
  return profile;
}

TEST(HttpBodyRule, EachPassDecides) {
  constexpr std::uint64_t t0 = 5000;
  const struct {
    std::uint64_t now;
    std::size_t announced;
    std::size_t held;
    bool nonEmpty;
    BodyStep step;
    const char* what;
  } cases[] = {
      {t0, 10, 0, false, BodyStep::Read, "first piece"},
      {t0, 100, 0, false, BodyStep::Read, "the whole cap at once"},
      {t0, 101, 0, false, BodyStep::Fail, "over the cap at once"},
      {t0 + 50, 40, 60, false, BodyStep::Read, "up to the cap exactly"},
      {t0 + 50, 41, 60, false, BodyStep::Fail, "one past the cap"},
      {t0 + 50, 1, 100, false, BodyStep::Fail, "anything once the cap is full"},
      {t0 + 50, 0, 100, false, BodyStep::Complete, "end at the cap"},
      {t0 + 999, 0, 3, false, BodyStep::Complete, "end just before the deadline"},
      {t0 + 1000, 0, 3, false, BodyStep::Fail, "end at the deadline"},
      {t0 + 1000, 5, 3, false, BodyStep::Fail, "data at the deadline"},
      {t0 + 999999, 5, 3, false, BodyStep::Fail, "long after the deadline"},
      {t0, 0, 0, false, BodyStep::Complete, "empty body allowed"},
      {t0, 0, 0, true, BodyStep::Fail, "empty body refused"},
      {t0, 0, 1, true, BodyStep::Complete, "one byte is not empty"},
      {t0 - 10, 1, 0, false, BodyStep::Read, "a tick before the start counts as the start"},
      {t0, static_cast<std::size_t>(-1), 50, false, BodyStep::Fail, "no wrap-around"},
  };
  for (const auto& c : cases) {
    const BodyRule rule(Limits(1000, 100, c.nonEmpty), t0);
    EXPECT_EQ(rule.Pass(c.now, c.announced, c.held), c.step) << c.what;
  }
}

TEST(HttpBodyRule, DeadlineDoesNotOverflowNearTheEndOfTheClock) {
  const BodyRule rule(Limits(20000, 100, false), ~0ull - 10);
  EXPECT_FALSE(rule.DeadlinePassed(~0ull));
  EXPECT_EQ(rule.Pass(~0ull, 1, 0), BodyStep::Read);
}

TEST(HttpBodyRule, ReadsMustDeliverWhatWasAnnounced) {
  EXPECT_TRUE(BodyRule::ReadAccepted(10, 10));
  EXPECT_TRUE(BodyRule::ReadAccepted(10, 1));
  EXPECT_FALSE(BodyRule::ReadAccepted(10, 0));
  EXPECT_FALSE(BodyRule::ReadAccepted(10, 11));
}

TEST(HttpProfiles, HoldTheirLimits) {
  EXPECT_EQ(PublicEchoGet.agent, u"TALVO Network Check research/1");
  EXPECT_TRUE(PublicEchoGet.useSystemProxy && PublicEchoGet.requireHttps);
  EXPECT_FALSE(PublicEchoGet.disableCookiesAndAuth || PublicEchoGet.requireNonEmptyBody);
  EXPECT_EQ(PublicEchoGet.phaseTimeoutMs, 10000u);
  EXPECT_EQ(PublicEchoGet.deadlineMs, 20000u);
  EXPECT_EQ(PublicEchoGet.maxBodyBytes, 131072u);
  EXPECT_EQ(PublicEchoGet.verb, u"GET");
  for (const HttpProfile* router : {&GatewayDescriptionGet, &GatewayControlPost}) {
    EXPECT_EQ(router->agent, u"TALVO Network Check/1");
    EXPECT_FALSE(router->useSystemProxy || router->requireHttps);
    EXPECT_TRUE(router->disableCookiesAndAuth);
    EXPECT_EQ(router->phaseTimeoutMs, 4000u);
    EXPECT_EQ(router->deadlineMs, 12000u);
    EXPECT_EQ(router->maxBodyBytes, 262144u);
  }
  EXPECT_EQ(GatewayDescriptionGet.verb, u"GET");
  EXPECT_TRUE(GatewayDescriptionGet.requireNonEmptyBody);
  EXPECT_EQ(GatewayControlPost.verb, u"POST");
  EXPECT_FALSE(GatewayControlPost.requireNonEmptyBody);
}

}  // namespace
}  // namespace talvo
