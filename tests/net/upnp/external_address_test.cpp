#include "net/upnp/external_address.h"

#include <gtest/gtest.h>

#include <string>

#include "net/upnp/soap.h"
#include "net/upnp/xml_test_support.h"
#include "support/loopback_router.h"
#include "os/endpoint.h"

namespace talvo {
namespace {

std::string Envelope(const std::string& inner) {
  return "<?xml version=\"1.0\"?>\r\n<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
         "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>" +
         inner + "</s:Body></s:Envelope>\r\n";
}

std::string Response(const std::string& inner) {
  return Envelope("<u:GetExternalIPAddressResponse "
                  "xmlns:u=\"urn:schemas-upnp-org:service:WANIPConnection:1\">" +
                  inner + "</u:GetExternalIPAddressResponse>");
}

std::string Address(const std::string& text) {
  return "<NewExternalIPAddress>" + text + "</NewExternalIPAddress>";
}

struct Parsed {
  bool ok;
  std::uint32_t address;
};

Parsed Parse(const std::string& body) {
  std::uint32_t address = 0xFFFFFFFFu;
  const bool ok = ParseExternalAddressResponse(body, address);
  if (!ok) {
    EXPECT_EQ(address, 0u) << body;
  }
  return {ok, address};
}

TEST(ExternalAddressResponse, ReadsTheAddressOfRealAnswers) {
  const struct {
    const char* name;
    std::string body;
    std::uint32_t address;
  } cases[] = {
      {"plain", Response(Address("203.0.113.7")), Ipv4FromParts(203, 0, 113, 7)},
      {"blanks and line breaks", Response(Address("  203.0.113.7\r\n")), Ipv4FromParts(203, 0, 113, 7)},
      {"tabs", Response(Address("\t198.51.100.1\t")), Ipv4FromParts(198, 51, 100, 1)},
      {"private", Response(Address("10.20.30.40")), Ipv4FromParts(10, 20, 30, 40)},
      {"shared range", Response(Address("100.72.1.2")), Ipv4FromParts(100, 72, 1, 2)},
      {"prefixed address", Response("<u:NewExternalIPAddress>192.0.2.33</u:NewExternalIPAddress>"),
       Ipv4FromParts(192, 0, 2, 33)},
      {"split by a comment", Response(Address("203.0<!-- router fw 1.2 -->.113.7")),
       Ipv4FromParts(203, 0, 113, 7)},
      {"split by CDATA", Response(Address("203.<![CDATA[0.113]]>.7")), Ipv4FromParts(203, 0, 113, 7)},
      {"CDATA only", Response(Address("<![CDATA[ 203.0.113.7 ]]>")), Ipv4FromParts(203, 0, 113, 7)},
      {"other children around", Response("<Extra>x</Extra>" + Address("203.0.113.7") + "<More/>"),
       Ipv4FromParts(203, 0, 113, 7)},
      {"address element outside the response too",
       Envelope(Address("192.0.2.1") +
                "<u:GetExternalIPAddressResponse xmlns:u=\"urn:x\">" + Address("203.0.113.7") +
                "</u:GetExternalIPAddressResponse>") + "",
       Ipv4FromParts(203, 0, 113, 7)},
      {"exactly 64 units", Response(Address(std::string(26, ' ') + "203.0.113.7" + std::string(27, ' '))),
       Ipv4FromParts(203, 0, 113, 7)},
      {"bare response without envelope",
       "<GetExternalIPAddressResponse>" + Address("203.0.113.7") + "</GetExternalIPAddressResponse>",
       Ipv4FromParts(203, 0, 113, 7)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Parsed parsed = Parse(c.body);
    ASSERT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.address, c.address);
  }
}

TEST(ExternalAddressResponse, RefusesEverythingElse) {
  const std::string fault =
      "<s:Fault><faultcode>s:Client</faultcode><faultstring>UPnPError</faultstring><detail>"
      "<UPnPError xmlns=\"urn:schemas-upnp-org:control-1-0\"><errorCode>501</errorCode>"
      "<errorDescription>Action Failed</errorDescription></UPnPError></detail></s:Fault>";
  const std::string good = Response(Address("203.0.113.7"));
  ASSERT_TRUE(Parse(good).ok);
  const struct {
    const char* name;
    std::string body;
  } cases[] = {
      {"empty body", ""},
      {"fault", Envelope(fault)},
      {"fault beside a good answer", Response(Address("203.0.113.7") + "<Fault/>")},
      {"fault after the response", Envelope("<u:GetExternalIPAddressResponse xmlns:u=\"urn:x\">" +
                                            Address("203.0.113.7") +
                                            "</u:GetExternalIPAddressResponse>" + fault)},
      {"two responses", Envelope("<GetExternalIPAddressResponse>" + Address("203.0.113.7") +
                                 "</GetExternalIPAddressResponse><GetExternalIPAddressResponse>" +
                                 Address("203.0.113.8") + "</GetExternalIPAddressResponse>")},
      {"two addresses", Response(Address("203.0.113.7") + Address("203.0.113.7"))},
      {"address as a grandchild", Response("<Wrapper>" + Address("203.0.113.7") + "</Wrapper>")},
      {"address only outside the response",
       Envelope(Address("203.0.113.7") + "<GetExternalIPAddressResponse/>")},
      {"no address", Response("")},
      {"empty address", Response(Address(""))},
      {"empty-element address", Response("<NewExternalIPAddress/>")},
      {"blank address", Response(Address("  \r\n\t "))},
      {"all zeros", Response(Address("0.0.0.0"))},
      {"three parts", Response(Address("203.0.113"))},
      {"hexadecimal", Response(Address("0xcb.0.113.7"))},
      {"inner blank", Response(Address("203.0. 113.7"))},
      {"IPv6", Response(Address("2001:db8::1"))},
      {"host name", Response(Address("wan.example"))},
      {"65 units", Response(Address(std::string(27, ' ') + "203.0.113.7" + std::string(27, ' ')))},
      {"long text split in pieces",
       Response(Address("<![CDATA[" + std::string(40, ' ') + "]]>203.0.113.7<!--x--><![CDATA[" +
                        std::string(20, ' ') + "]]>"))},
      {"document type", "<!DOCTYPE s:Envelope>" + good},
      {"external entity",
       "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY a SYSTEM \"file:///etc/passwd\">]>" +
           Response(Address("&a;"))},
      {"cut off at the end", good.substr(0, good.size() - 5)},
      {"not XML", "HTTP/1.1 200 OK\r\n\r\n203.0.113.7"},
      {"plain text", "203.0.113.7"},
      {"oversized", good + std::string(262145 - good.size(), ' ')},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(Parse(c.body).ok) << c.name;
  }
}

TEST(ExternalAddressResponse, RefusesAnswersCutOffAfterTheAddress) {
  const std::string good = Response(Address("203.0.113.7"));
  EXPECT_FALSE(Parse(good.substr(0, good.find("</NewExternalIPAddress>") + 23)).ok);
  EXPECT_FALSE(Parse(good.substr(0, good.find("</s:Body>"))).ok);
  EXPECT_FALSE(Parse(Response(Address("203.0.113.7&x;"))).ok);
}

TEST(ExternalAddressResponse, AcceptsABodyOfExactlyTheCap) {
  const std::string good = Response(Address("203.0.113.7"));
  EXPECT_TRUE(Parse(good + std::string(262144 - good.size(), ' ')).ok);
}

TEST(SoapRequest, IsByteExact) {
  const struct {
    std::u16string type;
    std::size_t bodySize;
  } cases[] = {
      {u"urn:schemas-upnp-org:service:WANIPConnection:1", 257},
      {u"urn:schemas-upnp-org:service:WANIPConnection:2", 257},
      {u"urn:schemas-upnp-org:service:WANPPPConnection:1", 258},
  };
  for (const auto& c : cases) {
    const std::string type(c.type.begin(), c.type.end());
    EXPECT_EQ(BuildGetExternalIpHeaders(c.type),
              u"Content-Type: text/xml; charset=\"utf-8\"\r\nSOAPAction: \"" + c.type +
                  u"#GetExternalIPAddress\"\r\n");
    EXPECT_EQ(BuildGetExternalIpHeaders(c.type).size(), 78 + c.type.size());
    const std::string body = BuildGetExternalIpBody(c.type);
    EXPECT_EQ(body.size(), c.bodySize);
    EXPECT_EQ(body,
              "<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
              "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>"
              "<u:GetExternalIPAddress xmlns:u=\"" + type + "\"/></s:Body></s:Envelope>");
  }
}

}  // namespace
}  // namespace talvo

// The query on the wire, against a router stand-in on loopback (the gateway is 127.0.0.1).
namespace talvo {
namespace {

using test::BodyOf;
using test::FindHeader;
using test::HeadOf;
using test::LoopbackRouter;
using test::SimpleReply;

const std::uint32_t kLoopbackGateway = Ipv4FromParts(127, 0, 0, 1);

std::string RequestLine(const std::string& request) { return request.substr(0, request.find("\r\n")); }

TEST(ExternalAddressQuery, SendsTheSoapActionByteForByte) {
  const struct {
    std::u16string type;
    std::size_t bodySize;
  } cases[] = {
      {u"urn:schemas-upnp-org:service:WANIPConnection:1", 257},
      {u"urn:schemas-upnp-org:service:WANPPPConnection:1", 258},
  };
  for (const auto& c : cases) {
    const std::string type(c.type.begin(), c.type.end());
    SCOPED_TRACE(type);
    LoopbackRouter server({SimpleReply("200 OK", Response(Address("  203.0.113.7\r\n")),
                                       "Content-Type: text/xml; charset=\"utf-8\"\r\n")});
    ASSERT_TRUE(server.ok());
    std::uint32_t address = 1;
    ASSERT_TRUE(QueryExternalAddress({c.type, server.Url(u"/ctl/IPConn?x=1")}, kLoopbackGateway,
                                     address));
    EXPECT_EQ(address, Ipv4FromParts(203, 0, 113, 7));
    ASSERT_EQ(server.Requests().size(), 1u);
    const std::string request = server.Requests()[0];
    const std::string head = HeadOf(request);
    EXPECT_EQ(RequestLine(request), "POST /ctl/IPConn?x=1 HTTP/1.1");
    EXPECT_NE((head + "\r\n").find("\r\nContent-Type: text/xml; charset=\"utf-8\"\r\nSOAPAction: \"" + type +
                        "#GetExternalIPAddress\"\r\n"),
              std::string::npos)
        << head;
    std::string value;
    ASSERT_TRUE(FindHeader(head, "Content-Length", &value));
    EXPECT_EQ(value, std::to_string(c.bodySize));
    ASSERT_TRUE(FindHeader(head, "User-Agent", &value));
    EXPECT_EQ(value, "TALVO Network Check/1");
    EXPECT_EQ(BodyOf(request),
              "<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
              "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>"
              "<u:GetExternalIPAddress xmlns:u=\"" + type + "\"/></s:Body></s:Envelope>");
  }
}

TEST(ExternalAddressQuery, RefusesBeforeSendingAnything) {
  LoopbackRouter server({SimpleReply("200 OK", Response(Address("203.0.113.7")))});
  ASSERT_TRUE(server.ok());
  const std::u16string ip1 = u"urn:schemas-upnp-org:service:WANIPConnection:1";
  std::u16string otherHost = server.Url(u"/ctl");
  otherHost.replace(otherHost.find(u"127.0.0.1"), 9, u"127.0.0.2");
  const struct {
    const char* name;
    WanConnectionService service;
  } cases[] = {
      {"unknown service type", {u"urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1", server.Url(u"/ctl")}},
      {"service type with a blank", {ip1 + u" ", server.Url(u"/ctl")}},
      {"empty service type", {u"", server.Url(u"/ctl")}},
      {"control URL on another host", {ip1, otherHost}},
      {"control URL by host name", {ip1, u"http://localhost:" + server.Url(u"").substr(17)}},
      {"control URL over https", {ip1, u"https" + server.Url(u"/ctl").substr(4)}},
      {"empty control URL", {ip1, u""}},
  };
  for (const auto& c : cases) {
    std::uint32_t address = 1;
    EXPECT_FALSE(QueryExternalAddress(c.service, kLoopbackGateway, address)) << c.name;
    EXPECT_EQ(address, 0u) << c.name;
  }
  EXPECT_EQ(server.Connections(), 0u);
}

TEST(ExternalAddressQuery, NeverParsesAFailedExchange) {
  const std::string faultBody = Envelope(
      "<s:Fault><faultcode>s:Client</faultcode><faultstring>UPnPError</faultstring></s:Fault>");
  const struct {
    const char* name;
    test::Reply reply;
  } cases[] = {
      // A router that puts an address beside its error status is still not believed.
      {"status 500", SimpleReply("500 Internal Server Error", Response(Address("203.0.113.7")))},
      {"fault with status 200", SimpleReply("200 OK", faultBody)},
      {"empty body", SimpleReply("200 OK", "")},
      {"redirect", SimpleReply("302 Found", Response(Address("203.0.113.7")),
                               "Location: http://127.0.0.1/elsewhere\r\n")},
  };
  for (const auto& c : cases) {
    LoopbackRouter server({c.reply});
    ASSERT_TRUE(server.ok());
    std::uint32_t address = 1;
    EXPECT_FALSE(QueryExternalAddress(
        {u"urn:schemas-upnp-org:service:WANIPConnection:1", server.Url(u"/ctl")}, kLoopbackGateway,
        address))
        << c.name;
    EXPECT_EQ(address, 0u) << c.name;
    EXPECT_EQ(server.Requests().size(), 1u) << c.name;
  }
}

}  // namespace
}  // namespace talvo
