// ProbeNatPmp against a scripted router on loopback.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "net/natpmp_pcp/natpmp.h"
#include "net/natpmp_pcp/udp_responder.h"
#include "os/clock.h"

namespace talvo {
namespace {

using test::Bytes;
using test::Loopback;
using test::ReceivedDatagram;
using test::ResponderScript;
using test::UdpResponder;

Bytes Success(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
  return {0, 128, 0, 0, 0, 0, 0x12, 0x34, a, b, c, d};
}

// replies[i] answer the i-th request.
ResponderScript Replies(std::vector<std::vector<Bytes>> replies) {
  ResponderScript script;
  script.replies = std::move(replies);
  return script;
}

struct ProbeRun {
  NatPmpResult result;
  std::vector<ReceivedDatagram> received;
  std::uint64_t startMs = 0;
  std::uint64_t elapsedMs = 0;
};

ProbeRun ProbeAgainst(ResponderScript script, const CancelFlag* cancel) {
  UdpResponder responder(std::move(script));
  EXPECT_TRUE(responder.ok());
  ProbeRun run;
  run.startMs = MonotonicMs();
  run.result = ProbeNatPmp(Loopback(), responder.endpoint(), cancel);
  run.elapsedMs = MonotonicMs() - run.startMs;
  run.received = responder.Stop();
  return run;
}

TEST(NatPmpProbe, SendsExactlyTheTwoByteRequestFromTheLocalAddress) {
  CancelFlag cancel{false};
  const ProbeRun run = ProbeAgainst(Replies({{Success(198, 51, 100, 9)}}), &cancel);
  EXPECT_EQ(run.result.status, NatPmpStatus::AddressReceived);
  EXPECT_EQ(run.result.externalAddress, Ipv4FromParts(198, 51, 100, 9));
  ASSERT_EQ(run.received.size(), 1u);
  EXPECT_EQ(run.received[0].bytes, (Bytes{0, 0}));
  EXPECT_EQ(run.received[0].senderAddress, Loopback());
}

TEST(NatPmpProbe, SilenceGivesThreeRequestsAtAbout0And250And750MsThenNoResponse) {
  CancelFlag cancel{false};
  const ProbeRun run = ProbeAgainst({}, &cancel);
  EXPECT_EQ(run.result.status, NatPmpStatus::NoResponse);
  EXPECT_EQ(run.result.externalAddress, 0u);
  EXPECT_GE(run.elapsedMs, 990u);
  EXPECT_LT(run.elapsedMs, 3000u);
  ASSERT_EQ(run.received.size(), 3u);
  const std::uint64_t first = run.received[0].atMs;
  EXPECT_LT(first - run.startMs, 200u);
  const std::uint64_t second = run.received[1].atMs - first;
  const std::uint64_t third = run.received[2].atMs - first;
  EXPECT_GE(second, 200u);
  EXPECT_LT(second, 600u);
  EXPECT_GE(third, 700u);
  EXPECT_LT(third, 1100u);
  for (const ReceivedDatagram& datagram : run.received) EXPECT_EQ(datagram.bytes, (Bytes{0, 0}));
}

TEST(NatPmpProbe, ClosedRouterPortIsSilenceNotFailure) {
  const sockaddr_in closed = test::ClosedLoopbackEndpoint();
  ASSERT_NE(closed.sin_port, 0);
  CancelFlag cancel{false};
  const std::uint64_t start = MonotonicMs();
  EXPECT_EQ(ProbeNatPmp(Loopback(), closed, &cancel).status, NatPmpStatus::NoResponse);
  EXPECT_LT(MonotonicMs() - start, 3000u);
}

TEST(NatPmpProbe, RefusalEndsTheProbeAtOnceWithoutAnotherRequest) {
  CancelFlag cancel{false};
  const Bytes notAuthorized = {0, 128, 0, 2, 0, 0, 1, 0, 198, 51, 100, 9};
  const ProbeRun run = ProbeAgainst(Replies({{notAuthorized}}), &cancel);
  EXPECT_EQ(run.result.status, NatPmpStatus::RouterRefused);
  EXPECT_EQ(run.result.externalAddress, 0u);
  EXPECT_EQ(run.received.size(), 1u);
  EXPECT_LT(run.elapsedMs, 800u);
}

TEST(NatPmpProbe, EightByteRefusalCounts) {
  CancelFlag cancel{false};
  const ProbeRun run = ProbeAgainst(Replies({{{0, 128, 0, 3, 0, 0, 0, 0}}}), &cancel);
  EXPECT_EQ(run.result.status, NatPmpStatus::RouterRefused);
  EXPECT_EQ(run.received.size(), 1u);
}

TEST(NatPmpProbe, ZeroAddressIsIgnoredAndALaterRealOneCounts) {
  CancelFlag cancel{false};
  const ProbeRun run =
      ProbeAgainst(Replies({{Success(0, 0, 0, 0)}, {Success(198, 51, 100, 9)}}), &cancel);
  EXPECT_EQ(run.result.status, NatPmpStatus::AddressReceived);
  EXPECT_EQ(run.result.externalAddress, Ipv4FromParts(198, 51, 100, 9));
  EXPECT_EQ(run.received.size(), 2u);
}

TEST(NatPmpProbe, IgnoresOtherVersionsOpcodesShortSuccessAndOversizedDatagrams) {
  // Each ignored datagram would carry a different address if it were taken. The short success
  // follows a full datagram, so bytes left over from it must not complete the short one.
  Bytes oversized = Success(192, 0, 2, 4);
  oversized.resize(200, 0);
  const std::vector<Bytes> junk = {
      {1, 128, 0, 0, 0, 0, 1, 0, 192, 0, 2, 1},  // version 1
      {0, 129, 0, 0, 0, 0, 1, 0, 192, 0, 2, 2},  // opcode 129
      {1, 128, 0, 2, 0, 0, 1, 0},                // a refusal of another version
      {0, 129, 0, 2, 0, 0, 1, 0},                // a refusal of another opcode
      {0, 128, 0, 0, 0, 0, 1, 0},                // success without the address
      oversized,
  };
  CancelFlag cancel{false};
  const ProbeRun run = ProbeAgainst(Replies({junk, {Success(198, 51, 100, 9)}}), &cancel);
  EXPECT_EQ(run.result.status, NatPmpStatus::AddressReceived);
  EXPECT_EQ(run.result.externalAddress, Ipv4FromParts(198, 51, 100, 9));
  EXPECT_EQ(run.received.size(), 2u);
}

TEST(NatPmpProbe, OnlyEightByteSuccessesRunTheFullWindow) {
  CancelFlag cancel{false};
  const Bytes shortSuccess = {0, 128, 0, 0, 0, 0, 1, 0};
  const ProbeRun run =
      ProbeAgainst(Replies({{shortSuccess}, {shortSuccess}, {shortSuccess}}), &cancel);
  EXPECT_EQ(run.result.status, NatPmpStatus::NoResponse);
  EXPECT_EQ(run.received.size(), 3u);
}

TEST(NatPmpProbe, FlagSetBeforehandCancelsWithoutARequest) {
  CancelFlag cancel{true};
  const ProbeRun run = ProbeAgainst(Replies({{Success(198, 51, 100, 9)}}), &cancel);
  EXPECT_EQ(run.result.status, NatPmpStatus::Cancelled);
  EXPECT_EQ(run.result.externalAddress, 0u);
  EXPECT_TRUE(run.received.empty());
}

TEST(NatPmpProbe, FlagIsFirstReadAfterTheSocketIsSetUp) {
  // 192.0.2.1 is held by no interface here, so the bind fails before the flag is looked at.
  if (!test::BindFailsFor(Ipv4FromParts(192, 0, 2, 1))) {
    GTEST_SKIP() << "bind() accepts 192.0.2.1 on this system (Wine 8 does)";
  }
  UdpResponder responder({});
  ASSERT_TRUE(responder.ok());
  CancelFlag cancel{true};
  EXPECT_EQ(ProbeNatPmp(Ipv4FromParts(192, 0, 2, 1), responder.endpoint(), &cancel).status,
            NatPmpStatus::Failed);
  EXPECT_TRUE(responder.Stop().empty());
}

TEST(NatPmpProbe, FlagSetWhileWaitingEndsTheProbeWithinAboutOneSlice) {
  CancelFlag cancel{false};
  ResponderScript script;
  script.onDatagram = [&cancel](std::size_t) { cancel.store(true); };
  const ProbeRun run = ProbeAgainst(std::move(script), &cancel);
  EXPECT_EQ(run.result.status, NatPmpStatus::Cancelled);
  EXPECT_EQ(run.received.size(), 1u);
  EXPECT_LT(run.elapsedMs, 900u);
}

TEST(NatPmpProbe, NullFlagPointerRunsTheFullCourse) {
  const ProbeRun silent = ProbeAgainst({}, nullptr);
  EXPECT_EQ(silent.result.status, NatPmpStatus::NoResponse);
  EXPECT_EQ(silent.received.size(), 3u);
  const ProbeRun answered = ProbeAgainst(Replies({{}, {Success(198, 51, 100, 9)}}), nullptr);
  EXPECT_EQ(answered.result.status, NatPmpStatus::AddressReceived);
  EXPECT_EQ(answered.result.externalAddress, Ipv4FromParts(198, 51, 100, 9));
}

TEST(NatPmpProbe, UnusableArgumentsFailWithoutTraffic) {
  UdpResponder responder(Replies({{Success(198, 51, 100, 9)}}));
  ASSERT_TRUE(responder.ok());
  CancelFlag cancel{true};  // arguments are judged before the flag
  sockaddr_in otherFamily = responder.endpoint();
  otherFamily.sin_family = AF_INET6;
  sockaddr_in noPort = responder.endpoint();
  noPort.sin_port = 0;
  const CancelFlag* const flags[] = {nullptr, &cancel};
  for (const CancelFlag* flag : flags) {
    const NatPmpResult noLocal = ProbeNatPmp(0, responder.endpoint(), flag);
    EXPECT_EQ(noLocal.status, NatPmpStatus::Failed);
    EXPECT_EQ(noLocal.externalAddress, 0u);
    EXPECT_EQ(ProbeNatPmp(Loopback(), otherFamily, flag).status, NatPmpStatus::Failed);
    EXPECT_EQ(ProbeNatPmp(Loopback(), noPort, flag).status, NatPmpStatus::Failed);
  }
  EXPECT_TRUE(responder.Stop().empty());
}

TEST(NatPmpProbe, JunkFloodCannotStretchTheWindow) {
  CancelFlag cancel{false};
  ResponderScript script;
  script.floodWith = {1, 128, 0, 0, 0, 0, 1, 0, 192, 0, 2, 1};
  const ProbeRun run = ProbeAgainst(std::move(script), &cancel);
  EXPECT_EQ(run.result.status, NatPmpStatus::NoResponse);
  EXPECT_GE(run.received.size(), 1u);
  EXPECT_LT(run.elapsedMs, 3000u);
}

}  // namespace
}  // namespace talvo
