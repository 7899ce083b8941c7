#include <gtest/gtest.h>

#include <cstring>

#include "net/address_rules.h"
#include "net/url.h"
#include "os/socket.h"

namespace talvo {
namespace {

struct Ipv4Case {
  const char* text;
  bool isPublic;
};

std::uint32_t Parse4(const char* text) {
  std::uint32_t address = 0;
  EXPECT_TRUE(ParseIpv4Literal(std::u16string(text, text + std::strlen(text)), address)) << text;
  return address;
}

TEST(IsPublicIpv4, RangeBoundaries) {
  const Ipv4Case cases[] = {
      {"0.0.0.0", false},         {"0.255.255.255", false},   {"1.0.0.0", true},
      {"9.255.255.255", true},    {"10.0.0.0", false},        {"10.255.255.255", false},
      {"11.22.33.44", true},      {"100.63.255.255", true},   {"100.64.0.0", false},
      {"100.127.255.255", false}, {"100.128.0.0", true},      {"126.255.255.255", true},
      {"127.0.0.1", false},       {"128.0.0.0", true},        {"169.253.255.255", true},
      {"169.254.0.1", false},     {"169.255.0.0", true},      {"172.15.0.1", true},
      {"172.16.0.1", false},      {"172.31.255.255", false},  {"172.32.0.1", true},
      {"192.0.0.8", false},       {"192.0.0.9", true},        {"192.0.0.10", true},
      {"192.0.0.11", false},      {"192.0.0.0", false},       {"192.0.1.1", true},
      {"192.0.2.1", false},       {"192.0.3.1", true},        {"192.167.255.255", true},
      {"192.168.0.1", false},     {"192.169.0.0", true},      {"198.17.255.255", true},
      {"198.18.0.0", false},      {"198.19.255.255", false},  {"198.20.0.0", true},
      {"198.51.100.7", false},    {"198.51.101.7", true},     {"203.0.113.9", false},
      {"203.0.112.9", true},      {"223.255.255.255", true},  {"224.0.0.1", false},
      {"239.255.255.250", false}, {"240.0.0.1", false},       {"255.255.255.255", false},
      {"8.8.8.8", true},
  };
  for (const Ipv4Case& c : cases) {
    EXPECT_EQ(IsPublicIpv4(Parse4(c.text)), c.isPublic) << c.text;
  }
}

TEST(IsPublicIpv4, ReadsTheFirstByteAsTheFirstDottedPart) {
  // 10.0.0.1 read the wrong way round would be 1.0.0.10, a public address.
  EXPECT_FALSE(IsPublicIpv4(Ipv4FromParts(10, 0, 0, 1)));
  EXPECT_TRUE(IsPublicIpv4(Ipv4FromParts(1, 0, 0, 10)));
}

struct Ipv6Case {
  const char* text;
  bool global;
};

TEST(IsGlobalUnicastIpv6, SpecialPurposeRegistry) {
  const Ipv6Case cases[] = {
      {"2a00:1::1", true},          {"2001:db8::1", false},     {"2001:db9::1", true},
      {"2002:c000:204::1", false},  {"2003::1", true},          {"2001:0:4136:e378::1", false},
      {"2001:1::1", true},          {"2001:1::2", true},        {"2001:1::3", false},
      {"2001:3:ab::1", true},       {"2001:4:112::1", true},    {"2001:4:113::1", false},
      {"2001:2f::1", true},         {"2001:20::1", true},       {"2001:1f::1", false},
      {"2001:30::1", true},         {"2001:3f:ffff::1", true},  {"2001:40::1", false},
      {"2001:1ff::1", false},       {"2001:200::1", true},      {"3fff::1", false},
      {"3fff:fff::1", false},       {"3fff:1000::1", true},     {"3ffe::1", true},
      {"4000::1", false},           {"1fff::1", false},         {"fd00::1", false},
      {"fe80::1", false},           {"::1", false},             {"::", false},
      {"ff02::1", false},           {"2606:4700:4700::1111", true},
  };
  for (const Ipv6Case& c : cases) {
    std::uint8_t bytes[16];
    ASSERT_TRUE(ParseIpv6Literal(c.text, bytes)) << c.text;
    EXPECT_EQ(IsGlobalUnicastIpv6(bytes), c.global) << c.text;
  }
}

TEST(PrefixMatches, ComparesWholeBytesThenTheTopBitsOfTheNext) {
  const std::uint8_t prefix[16] = {0x20, 0x01, 0x00, 0x20};
  std::uint8_t address[16] = {0x20, 0x01, 0x00, 0x2F, 0xFF};
  EXPECT_TRUE(PrefixMatches(address, prefix, 28));
  EXPECT_FALSE(PrefixMatches(address, prefix, 29));
  EXPECT_TRUE(PrefixMatches(address, prefix, 0));
  address[3] = 0x30;
  EXPECT_FALSE(PrefixMatches(address, prefix, 28));
  EXPECT_TRUE(PrefixMatches(address, prefix, 26));  // 0x20 and 0x30 agree in their top 2 bits
  std::uint8_t same[16] = {};
  std::uint8_t last[16] = {};
  last[15] = 1;
  EXPECT_TRUE(PrefixMatches(same, last, 127));
  EXPECT_FALSE(PrefixMatches(same, last, 128));
}

}  // namespace
}  // namespace talvo
