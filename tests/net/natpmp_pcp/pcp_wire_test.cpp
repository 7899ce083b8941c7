#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "net/natpmp_pcp/pcp.h"

namespace talvo {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Answer(std::uint8_t version, std::uint8_t opcode, std::uint8_t reserved,
             std::uint8_t resultCode, std::size_t length = 24) {
  Bytes datagram(length, 0);
  const std::uint8_t head[] = {version, opcode, reserved, resultCode};
  for (std::size_t i = 0; i < 4 && i < length; ++i) datagram[i] = head[i];
  return datagram;
}

TEST(PcpRequest, IsAnAnnounceWithLifetimeZeroAndTheIpv4MappedClientAddress) {
  const auto request = BuildPcpAnnounceRequest(Ipv4FromParts(192, 168, 1, 23));
  const Bytes expected = {2,    0,    0, 0,  0,   0, 0, 0,  // version, opcode, reserved, lifetime
                          0,    0,    0, 0,  0,   0, 0, 0,  0, 0,
                          0xFF, 0xFF, 192, 168, 1, 23};
  EXPECT_EQ(Bytes(request.begin(), request.end()), expected);
}

TEST(PcpResultCode, MapsSuccessDenialAndUnsupportedAndNothingElse) {
  EXPECT_EQ(PcpStatusForResultCode(0), PcpStatus::Supported);
  EXPECT_EQ(PcpStatusForResultCode(1), PcpStatus::Unsupported);
  EXPECT_EQ(PcpStatusForResultCode(2), PcpStatus::Denied);
  EXPECT_EQ(PcpStatusForResultCode(4), PcpStatus::Unsupported);
  for (int code = 0; code < 256; ++code) {
    if (code <= 2 || code == 4) continue;
    EXPECT_EQ(PcpStatusForResultCode(static_cast<std::uint8_t>(code)), PcpStatus::Unknown) << code;
  }
}

struct AnswerCase {
  const char* name;
  Bytes datagram;
  std::optional<PcpStatus> status;  // nothing: ignored
};

TEST(PcpAnswer, AcceptsOnlyFullVersion2AnnounceResponsesWithReservedZero) {
  Bytes longer = Answer(2, 0x80, 0, 0, 60);
  longer[30] = 0xAB;
  Bytes trailingReserved = Answer(2, 0x80, 0, 2);
  trailingReserved[12] = 0xFF;
  const AnswerCase cases[] = {
      {"success", Answer(2, 0x80, 0, 0), PcpStatus::Supported},
      {"not authorized", Answer(2, 0x80, 0, 2), PcpStatus::Denied},
      {"unsupported version", Answer(2, 0x80, 0, 1), PcpStatus::Unsupported},
      {"unsupported opcode", Answer(2, 0x80, 0, 4), PcpStatus::Unsupported},
      {"malformed request", Answer(2, 0x80, 0, 3), PcpStatus::Unknown},
      {"network failure", Answer(2, 0x80, 0, 7), PcpStatus::Unknown},
      {"options after the header", longer, PcpStatus::Supported},
      {"trailing reserved bytes not checked", trailingReserved, PcpStatus::Denied},
      {"20 bytes", Answer(2, 0x80, 0, 0, 20), std::nullopt},
      {"23 bytes", Answer(2, 0x80, 0, 0, 23), std::nullopt},
      {"empty", {}, std::nullopt},
      {"NAT-PMP error answer", {0, 0x80, 0, 1, 0, 0, 0, 0}, std::nullopt},
      {"NAT-PMP version padded", Answer(0, 0x80, 0, 0), std::nullopt},
      {"version 1", Answer(1, 0x80, 0, 0), std::nullopt},
      {"request echoed", Answer(2, 0x00, 0, 0), std::nullopt},
      {"MAP response", Answer(2, 0x81, 0, 0), std::nullopt},
      {"reserved byte set", Answer(2, 0x80, 1, 0), std::nullopt},
  };
  for (const AnswerCase& c : cases) {
    const auto status = ClassifyPcpAnswer(c.datagram.data(), c.datagram.size());
    ASSERT_EQ(status.has_value(), c.status.has_value()) << c.name;
    if (status) {
      EXPECT_EQ(*status, *c.status) << c.name;
    }
  }
}

}  // namespace
}  // namespace talvo
