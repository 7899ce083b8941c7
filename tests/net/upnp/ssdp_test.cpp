#include "net/upnp/ssdp.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/loopback_router.h"
#include "support/scripted_router.h"

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
                {"relative", AnswerWithLines("LOCATION: /rootDesc.xml\r\n")},
                {"bytes above 0x7F", AnswerWithLines("LOCATION: http://192.168.1.1/\x80\xff\r\n")}},
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

// ---- The search and its wait, on a scripted router and clock ----

using test::Bytes;
using test::BytesOf;
using test::ScriptedRouter;

const std::uint32_t kRouter = ScriptedRouter::Address();

const std::string kMSearch =
    "M-SEARCH * HTTP/1.1\r\n"
    "HOST: 239.255.255.250:1900\r\n"
    "MAN: \"ssdp:discover\"\r\n"
    "MX: 1\r\n"
    "ST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n"
    "\r\n";

std::string RouterAnswer(const std::string& location) {
  return "HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=120\r\nLOCATION: " + location +
         "\r\nSERVER: Debian/12 UPnP/1.1 MiniUPnPd/2.3\r\n"
         "ST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n\r\n";
}

std::u16string Wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

struct Search {
  SsdpOutcome outcome = SsdpOutcome::Failed;
  std::u16string url = u"stale";
  std::uint64_t endMs = 0;  // after the search went out
};

Search RunSearch(ScriptedRouter& router, const CancelFlag& cancel) {
  Search search;
  search.outcome = ExchangeSsdpSearch(router.Port(), kRouter, cancel, &search.url);
  if (!router.requestTimes().empty()) search.endMs = router.now() - router.requestTimes()[0];
  return search;
}

TEST(SsdpSearch, SendsTheSearchOnceAndTakesTheGatewaysAnswer) {
  ScriptedRouter router;
  router.Answer(0, BytesOf(RouterAnswer("http://192.168.1.1:5000/rootDesc.xml")), 40);
  const CancelFlag cancel{false};
  const Search search = RunSearch(router, cancel);
  EXPECT_EQ(search.outcome, SsdpOutcome::Found);
  EXPECT_EQ(search.url, u"http://192.168.1.1:5000/rootDesc.xml");
  EXPECT_EQ(search.endMs, 40u);
  ASSERT_EQ(router.requests().size(), 1u);
  EXPECT_EQ(router.requests()[0], kMSearch);
  EXPECT_EQ(kMSearch.size(), 137u);
}

TEST(SsdpSearch, BelievesOnlyTheGatewaysAddressAndKeepsWaitingPastRefusedAnswers) {
  const std::string longest = UrlOfLength("192.168.1.1", 2048);
  const std::string refused[] = {
      "HTTP/1.1 404 Not Found\r\nLOCATION: http://192.168.1.1/a.xml\r\n\r\n",
      "HTTP/1.1 2000 OK\r\nLOCATION: http://192.168.1.1/b.xml\r\n\r\n",
      RouterAnswer("http://localhost:5000/rootDesc.xml"),
      RouterAnswer("http://192.168.1.2:5000/rootDesc.xml"),
      RouterAnswer("https://192.168.1.1:5000/rootDesc.xml"),
      RouterAnswer("http://admin@192.168.1.1:5000/rootDesc.xml"),
      RouterAnswer("http://192.168.1.1:5000/rootDesc.xml#frag"),
      "HTTP/1.1 200 OK\r\nLOCATION: http://192.168.1.2/\r\nLOCATION: http://192.168.1.1/c.xml\r\n\r\n",
      "HTTP/1.1 200 OK\r\nLOCATION : http://192.168.1.1/d.xml\r\n\r\n",
      RouterAnswer(UrlOfLength("192.168.1.1", 2049)),
      "",
  };
  ScriptedRouter router;
  std::uint64_t at = 10;
  // An impostor on the segment names a URL on the gateway; only the sender tells it apart.
  router.Answer(0, BytesOf(RouterAnswer("http://192.168.1.1:5000/impostor.xml")), at,
                Ipv4FromParts(192, 168, 1, 7));
  for (const std::string& answer : refused) router.Answer(0, BytesOf(answer), at += 10);
  router.Answer(0, BytesOf("HTTP/1.1 200\r\nlocation:\t " + longest + " \t\r\n\r\n"), at += 10);
  const CancelFlag cancel{false};
  const Search search = RunSearch(router, cancel);
  EXPECT_EQ(search.outcome, SsdpOutcome::Found);
  EXPECT_EQ(search.url, Wide(longest));
  EXPECT_EQ(search.endMs, at);
}

TEST(SsdpSearch, NoAnswerAfterTheWindowWhoseLastSliceEndsAtIt) {
  ScriptedRouter router;
  router.Answer(0, BytesOf("HTTP/1.1 404 Not Found\r\n\r\n"), 30);
  const CancelFlag cancel{false};
  const Search search = RunSearch(router, cancel);
  EXPECT_EQ(search.outcome, SsdpOutcome::NoAnswer);
  EXPECT_TRUE(search.url.empty());
  EXPECT_EQ(search.endMs, 2500u);
  // 200 ms slices, the one cut short by the refused answer at 30 ms resumed whole, and the
  // last one cut to end at the window: never a wait past it.
  const std::vector<std::uint32_t>& waits = router.waits();
  ASSERT_GE(waits.size(), 2u);
  for (std::size_t i = 0; i + 1 < waits.size(); ++i) EXPECT_EQ(waits[i], 200u) << i;
  EXPECT_EQ(waits.back(), 70u);
  EXPECT_EQ(router.requests().size(), 1u);
}

TEST(SsdpSearch, ACancelledCheckStillSendsTheSearchOnceAndEndsAtOnce) {
  ScriptedRouter router;
  router.Answer(0, BytesOf(RouterAnswer("http://192.168.1.1:5000/rootDesc.xml")), 1);
  const CancelFlag cancel{true};
  const Search search = RunSearch(router, cancel);
  EXPECT_EQ(search.outcome, SsdpOutcome::Cancelled);
  EXPECT_TRUE(search.url.empty());
  EXPECT_EQ(search.endMs, 0u);
  ASSERT_EQ(router.requests().size(), 1u);
  EXPECT_EQ(router.requests()[0], kMSearch);
}

TEST(SsdpSearch, ACancelWhileWaitingIsSeenAfterTheSliceInProgress) {
  ScriptedRouter router;
  CancelFlag cancel{false};
  router.CancelAt(cancel, 450);
  const Search search = RunSearch(router, cancel);
  EXPECT_EQ(search.outcome, SsdpOutcome::Cancelled);
  EXPECT_EQ(search.endMs, 600u);
}

TEST(SsdpSearch, AFailedSendOrWaitFails) {
  const CancelFlag cancel{false};
  ScriptedRouter refusesSends;
  refusesSends.FailSends();
  EXPECT_EQ(RunSearch(refusesSends, cancel).outcome, SsdpOutcome::Failed);
  ScriptedRouter failsWaits;
  failsWaits.FailWaitsFrom(300);
  const Search search = RunSearch(failsWaits, cancel);
  EXPECT_EQ(search.outcome, SsdpOutcome::Failed);
  EXPECT_EQ(search.endMs, 400u);
}

// ---- Discovery against a gateway on loopback: the real socket ----

const std::uint32_t kLoopback = test::Loopback();
const std::uint32_t kOtherLoopback = Ipv4FromParts(127, 0, 0, 2);

std::string LoopbackAnswer(const std::string& location) { return RouterAnswer(location); }

test::RouterScript AnswerFirst(std::vector<std::string> answers) {
  test::RouterScript script;
  script.replies.emplace_back();
  for (const std::string& answer : answers) script.replies[0].push_back({BytesOf(answer)});
  return script;
}

TEST(SsdpDiscovery, SendsOneSearchAndReturnsTheGatewaysUrl) {
  const std::string location = "http://127.0.0.1:5000/rootDesc.xml";
  test::LoopbackRouter gateway(AnswerFirst({LoopbackAnswer(location)}));
  ASSERT_TRUE(gateway.ok());
  const CancelFlag cancel{false};
  std::u16string url = u"stale";
  EXPECT_EQ(DiscoverGateway(kLoopback, gateway.endpoint(), kLoopback, cancel, &url),
            SsdpOutcome::Found);
  EXPECT_EQ(url, Wide(location));
  const auto requests = gateway.Stop();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].bytes, BytesOf(kMSearch));
  EXPECT_EQ(requests[0].senderAddress, kLoopback);
}

// Runs on Wine as well: here the gateway is 127.0.0.2 and the answer, naming a URL on it,
// comes from 127.0.0.1.
TEST(SsdpDiscovery, NoAnswerWhenOnlyAnotherAddressAnswers) {
  test::LoopbackRouter gateway(AnswerFirst({LoopbackAnswer("http://127.0.0.2:5000/rootDesc.xml")}));
  ASSERT_TRUE(gateway.ok());
  const CancelFlag cancel{false};
  std::u16string url = u"stale";
  EXPECT_EQ(DiscoverGateway(kLoopback, gateway.endpoint(), kOtherLoopback, cancel, &url),
            SsdpOutcome::NoAnswer);
  EXPECT_TRUE(url.empty());
  EXPECT_EQ(gateway.Stop().size(), 1u);
}

TEST(SsdpDiscovery, DropsAnOversizedDatagramWhole) {
  // Its first 8192 bytes would be an acceptable answer on their own.
  test::LoopbackRouter gateway(
      AnswerFirst({AnswerOfSize("http://127.0.0.1:5000/oversized.xml", 8193),
                   AnswerOfSize("http://127.0.0.1:5000/rootDesc.xml", 8192)}));
  ASSERT_TRUE(gateway.ok());
  const CancelFlag cancel{false};
  std::u16string url;
  EXPECT_EQ(DiscoverGateway(kLoopback, gateway.endpoint(), kLoopback, cancel, &url),
            SsdpOutcome::Found);
  EXPECT_EQ(url, u"http://127.0.0.1:5000/rootDesc.xml");
}

TEST(SsdpDiscovery, FailsWithoutSendingOnUnusableArgumentsOrALocalAddressNotThisHosts) {
  test::LoopbackRouter gateway(AnswerFirst({LoopbackAnswer("http://127.0.0.1:5000/rootDesc.xml")}));
  ASSERT_TRUE(gateway.ok());
  Ipv4Endpoint noPort = gateway.endpoint();
  noPort.port = 0;
  struct ArgumentCase {
    const char* label;
    std::uint32_t local;
    Ipv4Endpoint destination;
    std::uint32_t gateway;
  };
  // TEST-NET-1 is never assigned to a local interface, so the bind must fail before any send.
  const ArgumentCase cases[] = {{"local address 0", 0, gateway.endpoint(), kLoopback},
                                {"gateway address 0", kLoopback, gateway.endpoint(), 0},
                                {"port 0", kLoopback, noPort, kLoopback},
                                {"not this host's address", Ipv4FromParts(192, 0, 2, 1),
                                 gateway.endpoint(), kLoopback}};
  const CancelFlag cancel{false};
  for (const ArgumentCase& c : cases) {
    std::u16string url = u"stale";
    EXPECT_EQ(DiscoverGateway(c.local, c.destination, c.gateway, cancel, &url),
              SsdpOutcome::Failed)
        << c.label;
    EXPECT_TRUE(url.empty()) << c.label;
  }
  EXPECT_TRUE(gateway.Stop().empty());
}

}  // namespace
}  // namespace talvo
