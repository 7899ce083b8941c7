#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "net/natpmp_pcp/natpmp.h"

namespace talvo {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(NatPmpRequest, IsVersionZeroOpcodeZeroAndNothingElse) {
  const auto request = BuildNatPmpRequest();
  EXPECT_EQ(Bytes(request.begin(), request.end()), (Bytes{0, 0}));
}

TEST(NatPmpSchedule, DoublesFrom250MsAndStopsGrowingAfterFiveDoublings) {
  const std::uint64_t expected[] = {250, 500, 1000, 2000, 4000, 8000, 8000, 8000};
  for (std::uint32_t n = 0; n < 8; ++n) EXPECT_EQ(NatPmpResendDelayMs(n), expected[n]) << n;
  EXPECT_EQ(NatPmpResendDelayMs(0xFFFFFFFFu), 8000u);
}

struct AnswerCase {
  const char* name;
  Bytes datagram;
  std::optional<NatPmpStatus> status;  // nothing: ignored
  std::uint32_t address = 0;
};

TEST(NatPmpAnswer, ClassifiesByVersionOpcodeResultCodeLengthAndAddress) {
  const std::uint32_t wan = Ipv4FromParts(203, 0, 113, 7);
  const AnswerCase cases[] = {
      {"success", {0, 128, 0, 0, 0, 0, 1, 0, 203, 0, 113, 7}, NatPmpStatus::AddressReceived, wan},
      {"bytes past 12 ignored",
       {0, 128, 0, 0, 0, 0, 1, 0, 203, 0, 113, 7, 9, 9, 9, 9},
       NatPmpStatus::AddressReceived,
       wan},
      {"epoch not used", {0, 128, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 203, 0, 113, 7},
       NatPmpStatus::AddressReceived, wan},
      {"zero address", {0, 128, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0}, std::nullopt},
      {"8-byte success", {0, 128, 0, 0, 0, 0, 1, 0}, std::nullopt},
      {"11-byte success", {0, 128, 0, 0, 0, 0, 1, 0, 203, 0, 113}, std::nullopt},
      {"refusal with address", {0, 128, 0, 2, 0, 0, 1, 0, 203, 0, 113, 7},
       NatPmpStatus::RouterRefused},
      {"8-byte refusal", {0, 128, 0, 3, 0, 0, 0, 0}, NatPmpStatus::RouterRefused},
      {"refusal in high byte", {0, 128, 1, 0, 0, 0, 0, 0}, NatPmpStatus::RouterRefused},
      {"7-byte refusal", {0, 128, 0, 3, 0, 0, 0}, std::nullopt},
      {"version 1", {1, 128, 0, 0, 0, 0, 1, 0, 203, 0, 113, 7}, std::nullopt},
      {"version 1 refusal", {1, 128, 0, 2, 0, 0, 1, 0}, std::nullopt},
      {"PCP version", {2, 128, 0, 0, 0, 0, 1, 0, 203, 0, 113, 7}, std::nullopt},
      {"opcode 129", {0, 129, 0, 0, 0, 0, 1, 0, 203, 0, 113, 7}, std::nullopt},
      {"echoed request opcode", {0, 0, 0, 0, 0, 0, 1, 0, 203, 0, 113, 7}, std::nullopt},
      {"echoed request", {0, 0}, std::nullopt},
      {"empty", {}, std::nullopt},
  };
  for (const AnswerCase& c : cases) {
    const auto answer = ClassifyNatPmpAnswer(c.datagram.data(), c.datagram.size());
    ASSERT_EQ(answer.has_value(), c.status.has_value()) << c.name;
    if (!answer) continue;
    EXPECT_EQ(answer->status, *c.status) << c.name;
    EXPECT_EQ(answer->externalAddress, c.address) << c.name;
  }
}

TEST(NatPmpAnswer, JudgesOnlyTheReceivedLengthOfALargerBuffer) {
  // The probe's buffer holds 128 bytes; what lies past the datagram must not count.
  const Bytes buffer = {0, 128, 0, 0, 0, 0, 1, 0, 203, 0, 113, 7};
  EXPECT_FALSE(ClassifyNatPmpAnswer(buffer.data(), 8).has_value());
  EXPECT_FALSE(ClassifyNatPmpAnswer(buffer.data(), 11).has_value());
  EXPECT_TRUE(ClassifyNatPmpAnswer(buffer.data(), 12).has_value());
}

}  // namespace
}  // namespace talvo
