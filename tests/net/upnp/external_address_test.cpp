#include "net/upnp/external_address.h"

#include <gtest/gtest.h>

#include <string>

#include "net/upnp/soap.h"
#include "net/upnp/xml_test_support.h"
#include "os/inet.h"

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
  SKIP_WHERE_XMLLITE_IS_LAX();
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
