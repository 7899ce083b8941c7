// ProbePcpAnnounce against a scripted router on loopback.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "net/natpmp_pcp/pcp.h"
#include "net/natpmp_pcp/udp_responder.h"
#include "os/clock.h"

namespace talvo {
namespace {

using test::Bytes;
using test::Loopback;
using test::ReceivedDatagram;
using test::ResponderScript;
using test::UdpResponder;

Bytes Answer(std::uint8_t resultCode, std::size_t length = 24) {
  Bytes datagram(length, 0);
  datagram[0] = 2;
  datagram[1] = 0x80;
  if (length > 3) datagram[3] = resultCode;
  return datagram;
}

ResponderScript AnswerFirst(std::vector<Bytes> replies) {
  ResponderScript script;
  script.replies.push_back(std::move(replies));
  return script;
}

struct ProbeRun {
  PcpStatus status = PcpStatus::Unknown;
  std::vector<ReceivedDatagram> received;
  std::uint64_t elapsedMs = 0;
};

ProbeRun ProbeAgainst(ResponderScript script, const CancelFlag* cancel) {
  UdpResponder responder(std::move(script));
  EXPECT_TRUE(responder.ok());
  ProbeRun run;
  const std::uint64_t start = MonotonicMs();
  run.status = ProbePcpAnnounce(Loopback(), responder.endpoint(), cancel);
  run.elapsedMs = MonotonicMs() - start;
  run.received = responder.Stop();
  return run;
}

TEST(PcpProbe, SendsOneAnnounceCarryingTheLocalAddress) {
  CancelFlag cancel{false};
  const ProbeRun run = ProbeAgainst(AnswerFirst({Answer(0)}), &cancel);
  EXPECT_EQ(run.status, PcpStatus::Supported);
  ASSERT_EQ(run.received.size(), 1u);
  const Bytes expected = {2, 0, 0, 0,  0, 0, 0, 0,  // version, ANNOUNCE, reserved, lifetime 0
                          0, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0xFF, 0xFF, 127, 0, 0, 1};
  EXPECT_EQ(run.received[0].bytes, expected);
  EXPECT_EQ(run.received[0].senderAddress, Loopback());
}

TEST(PcpProbe, MapsEveryResultCode) {
  const struct {
    std::uint8_t code;
    PcpStatus status;
  } cases[] = {{0, PcpStatus::Supported},   {1, PcpStatus::Unsupported}, {2, PcpStatus::Denied},
               {3, PcpStatus::Unknown},     {4, PcpStatus::Unsupported}, {5, PcpStatus::Unknown},
               {8, PcpStatus::Unknown},     {13, PcpStatus::Unknown},    {255, PcpStatus::Unknown}};
  for (const auto& c : cases) {
    CancelFlag cancel{false};
    const ProbeRun run = ProbeAgainst(AnswerFirst({Answer(c.code)}), &cancel);
    EXPECT_EQ(run.status, c.status) << int(c.code);
    EXPECT_EQ(run.received.size(), 1u) << int(c.code);
    EXPECT_LT(run.elapsedMs, 1000u) << int(c.code);
  }
}

TEST(PcpProbe, SilenceGivesOneRequestAndNoResponseAfterTheWindow) {
  CancelFlag cancel{false};
  const ProbeRun run = ProbeAgainst({}, &cancel);
  EXPECT_EQ(run.status, PcpStatus::NoResponse);
  EXPECT_EQ(run.received.size(), 1u);
  EXPECT_GE(run.elapsedMs, 1190u);
  EXPECT_LT(run.elapsedMs, 4000u);
}

TEST(PcpProbe, ClosedRouterPortIsSilence) {
  const sockaddr_in closed = test::ClosedLoopbackEndpoint();
  ASSERT_NE(closed.sin_port, 0);
  CancelFlag cancel{false};
  const std::uint64_t start = MonotonicMs();
  EXPECT_EQ(ProbePcpAnnounce(Loopback(), closed, &cancel), PcpStatus::NoResponse);
  EXPECT_LT(MonotonicMs() - start, 4000u);
}

TEST(PcpProbe, IgnoresNatPmpShortAndReservedByteAnswersAndKeepsWaiting) {
  Bytes reservedSet = Answer(0);
  reservedSet[2] = 1;
  Bytes oversized = Answer(0, 300);
  const std::vector<Bytes> junk = {
      {0, 0x80, 0, 1, 0, 0, 1, 0},  // a NAT-PMP-only router's "unsupported version"
      Answer(0, 20),
      reservedSet,
      oversized,
  };
  CancelFlag cancel{false};
  const ProbeRun ignored = ProbeAgainst(AnswerFirst(junk), &cancel);
  EXPECT_EQ(ignored.status, PcpStatus::NoResponse);
  EXPECT_GE(ignored.elapsedMs, 1190u);

  std::vector<Bytes> junkThenDenied = junk;
  junkThenDenied.push_back(Answer(2));
  EXPECT_EQ(ProbeAgainst(AnswerFirst(junkThenDenied), &cancel).status, PcpStatus::Denied);
}

TEST(PcpProbe, FlagSetBeforehandCancelsWithoutARequest) {
  CancelFlag cancel{true};
  const ProbeRun run = ProbeAgainst(AnswerFirst({Answer(0)}), &cancel);
  EXPECT_EQ(run.status, PcpStatus::Cancelled);
  EXPECT_TRUE(run.received.empty());
}

TEST(PcpProbe, FlagSetWhileWaitingCancelsEvenWhenASuccessArrived) {
  CancelFlag cancel{false};
  ResponderScript script = AnswerFirst({Answer(0)});
  script.onDatagram = [&cancel](std::size_t) { cancel.store(true); };
  const ProbeRun run = ProbeAgainst(std::move(script), &cancel);
  EXPECT_EQ(run.status, PcpStatus::Cancelled);
  EXPECT_EQ(run.received.size(), 1u);
  EXPECT_LT(run.elapsedMs, 1000u);
}

TEST(PcpProbe, FlagSetWhileSilentEndsTheWaitWithinAboutOneSlice) {
  CancelFlag cancel{false};
  ResponderScript script;
  script.onDatagram = [&cancel](std::size_t) { cancel.store(true); };
  const ProbeRun run = ProbeAgainst(std::move(script), &cancel);
  EXPECT_EQ(run.status, PcpStatus::Cancelled);
  EXPECT_LT(run.elapsedMs, 1000u);
}

TEST(PcpProbe, FlagIsReadAgainAfterASocketFailure) {
  // 192.0.2.1 is held by no interface here: the bind fails, and the set flag still decides.
  if (!test::BindFailsFor(Ipv4FromParts(192, 0, 2, 1))) {
    GTEST_SKIP() << "bind() accepts 192.0.2.1 on this system (Wine 8 does)";
  }
  UdpResponder responder({});
  ASSERT_TRUE(responder.ok());
  CancelFlag cancel{false};
  EXPECT_EQ(ProbePcpAnnounce(Ipv4FromParts(192, 0, 2, 1), responder.endpoint(), &cancel),
            PcpStatus::Unknown);
  cancel.store(true);
  EXPECT_EQ(ProbePcpAnnounce(Ipv4FromParts(192, 0, 2, 1), responder.endpoint(), &cancel),
            PcpStatus::Cancelled);
  EXPECT_TRUE(responder.Stop().empty());
}

TEST(PcpProbe, NullFlagPointerIsTreatedAsClear) {
  EXPECT_EQ(ProbeAgainst(AnswerFirst({Answer(2)}), nullptr).status, PcpStatus::Denied);
}

TEST(PcpProbe, UnusableArgumentsGiveUnknownWithoutTraffic) {
  UdpResponder responder(AnswerFirst({Answer(0)}));
  ASSERT_TRUE(responder.ok());
  CancelFlag cancel{true};  // unusable arguments end the probe before the flag is read
  sockaddr_in otherFamily = responder.endpoint();
  otherFamily.sin_family = AF_INET6;
  sockaddr_in noPort = responder.endpoint();
  noPort.sin_port = 0;
  EXPECT_EQ(ProbePcpAnnounce(0, responder.endpoint(), &cancel), PcpStatus::Unknown);
  EXPECT_EQ(ProbePcpAnnounce(Loopback(), otherFamily, &cancel), PcpStatus::Unknown);
  EXPECT_EQ(ProbePcpAnnounce(Loopback(), noPort, &cancel), PcpStatus::Unknown);
  EXPECT_TRUE(responder.Stop().empty());
}

TEST(PcpProbe, JunkFloodCannotStretchTheWindow) {
  CancelFlag cancel{false};
  ResponderScript script;
  script.floodWith = Answer(0, 20);
  const ProbeRun run = ProbeAgainst(std::move(script), &cancel);
  EXPECT_EQ(run.status, PcpStatus::NoResponse);
  EXPECT_EQ(run.received.size(), 1u);
  EXPECT_LT(run.elapsedMs, 4000u);
}

}  // namespace
}  // namespace talvo
