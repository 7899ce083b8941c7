// The PCP probe: its timing and answers on a scripted router and clock, its wire and its
// socket against a gateway on loopback.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "net/natpmp_pcp/pcp.h"
#include "support/loopback_router.h"
#include "support/scripted_router.h"

namespace talvo {
namespace {

using test::Bytes;
using test::Loopback;
using test::ScriptedRouter;

Bytes Answer(std::uint8_t resultCode, std::size_t length = 24) {
  Bytes datagram(length, 0);
  datagram[0] = 2;
  datagram[1] = 0x80;
  if (length > 3) datagram[3] = resultCode;
  return datagram;
}

struct Exchange {
  PcpStatus status = PcpStatus::Unknown;
  std::size_t requests = 0;
  std::uint64_t endMs = 0;  // after the request
};

Exchange RunExchange(ScriptedRouter& router, const CancelFlag& cancel) {
  Exchange run;
  const std::uint64_t start = router.now();
  run.status = ExchangePcpAnnounce(router.Port(), Loopback(), cancel);
  run.requests = router.requests().size();
  run.endMs = router.now() - start;
  return run;
}

TEST(PcpExchange, MapsEveryResultCodeOfTheOneAnswer) {
  const struct {
    std::uint8_t code;
    PcpStatus status;
  } cases[] = {{0, PcpStatus::Supported},   {1, PcpStatus::Unsupported}, {2, PcpStatus::Denied},
               {3, PcpStatus::Unknown},     {4, PcpStatus::Unsupported}, {5, PcpStatus::Unknown},
               {8, PcpStatus::Unknown},     {13, PcpStatus::Unknown},    {255, PcpStatus::Unknown}};
  for (const auto& c : cases) {
    ScriptedRouter router;
    router.Answer(0, Answer(c.code), 20);
    const CancelFlag cancel{false};
    const Exchange run = RunExchange(router, cancel);
    EXPECT_EQ(run.status, c.status) << int(c.code);
    EXPECT_EQ(run.requests, 1u) << int(c.code);
    EXPECT_EQ(run.endMs, 20u) << int(c.code);
  }
}

TEST(PcpExchange, SilenceOrIgnoredAnswersGiveOneRequestAndNoResponseAtTheWindowsEnd) {
  Bytes reservedSet = Answer(0);
  reservedSet[2] = 1;
  const std::vector<Bytes> ignored = {
      {0, 0x80, 0, 1, 0, 0, 1, 0},  // a NAT-PMP-only router's "unsupported version"
      Answer(0, 20),
      reservedSet,
      Answer(0, 300),  // larger than any answer to ANNOUNCE: dropped whole
  };
  for (std::size_t n = 0; n <= ignored.size(); ++n) {
    ScriptedRouter router;
    for (std::size_t i = 0; i < n; ++i) router.Answer(0, ignored[i], 10 * (i + 1));
    const CancelFlag cancel{false};
    const Exchange run = RunExchange(router, cancel);
    EXPECT_EQ(run.status, PcpStatus::NoResponse) << n;
    EXPECT_EQ(run.requests, 1u) << n;
    // Each wait resumes whole after an ignored datagram: the end moves with the last one.
    EXPECT_EQ(run.endMs, 1200u + 10 * n) << n;
  }
  ScriptedRouter router;
  for (std::size_t i = 0; i < ignored.size(); ++i) router.Answer(0, ignored[i], 10 * (i + 1));
  router.Answer(0, Answer(2), 500);
  const CancelFlag cancel{false};
  EXPECT_EQ(RunExchange(router, cancel).status, PcpStatus::Denied) << "junk, then an answer";
}

TEST(PcpExchange, ACancelledCheckReportsCancelledWhateverArrived) {
  {
    ScriptedRouter router;
    router.Answer(0, Answer(0));
    const CancelFlag cancel{true};
    const Exchange run = RunExchange(router, cancel);
    EXPECT_EQ(run.status, PcpStatus::Cancelled) << "set beforehand";
    EXPECT_EQ(run.requests, 0u) << "set beforehand: no request";
  }
  {
    ScriptedRouter router;
    CancelFlag cancel{false};
    // The success arrives in the pass in which the flag is set, before it is read again.
    router.Answer(0, Answer(0), 50);
    router.CancelAt(cancel, 50);
    EXPECT_EQ(RunExchange(router, cancel).status, PcpStatus::Cancelled) << "with a success";
  }
  {
    ScriptedRouter router;
    CancelFlag cancel{false};
    router.CancelAt(cancel, 130);
    const Exchange run = RunExchange(router, cancel);
    EXPECT_EQ(run.status, PcpStatus::Cancelled) << "while silent";
    EXPECT_EQ(run.endMs, 200u) << "seen after the slice in progress";
  }
}

TEST(PcpExchange, AFailedWaitOrSendEndsTheProbeAtOnce) {
  ScriptedRouter waits;
  waits.FailWaitsFrom(0);
  const CancelFlag cancel{false};
  const Exchange run = RunExchange(waits, cancel);
  EXPECT_EQ(run.status, PcpStatus::Unknown);
  EXPECT_EQ(run.endMs, 0u);  // it used to go round until the window's end
  ScriptedRouter sends;
  sends.FailSends();
  EXPECT_EQ(RunExchange(sends, cancel).status, PcpStatus::Unknown);
}

TEST(PcpExchange, AFloodCannotStretchTheWindow) {
  ScriptedRouter router;
  router.Flood(Answer(0, 20), 1, 1);
  const CancelFlag cancel{false};
  const Exchange run = RunExchange(router, cancel);
  EXPECT_EQ(run.status, PcpStatus::NoResponse);
  EXPECT_EQ(run.endMs, 1200u);
}

// ---- The probe on a real socket, against a gateway on loopback ----

test::RouterScript AnswerFirst(std::vector<Bytes> replies) {
  test::RouterScript script;
  script.replies.emplace_back();
  for (Bytes& bytes : replies) script.replies[0].push_back({std::move(bytes)});
  return script;
}

TEST(PcpProbe, SendsOneAnnounceCarryingTheLocalAddress) {
  test::LoopbackRouter gateway(AnswerFirst({Answer(0)}));
  ASSERT_TRUE(gateway.ok());
  const CancelFlag cancel{false};
  EXPECT_EQ(ProbePcpAnnounce(Loopback(), gateway.endpoint(), cancel), PcpStatus::Supported);
  const auto received = gateway.Stop();
  ASSERT_EQ(received.size(), 1u);
  const Bytes expected = {2, 0, 0, 0,  0, 0, 0, 0,  // version, ANNOUNCE, reserved, lifetime 0
                          0, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0xFF, 0xFF, 127, 0, 0, 1};
  EXPECT_EQ(received[0].bytes, expected);
  EXPECT_EQ(received[0].senderAddress, Loopback());
}

TEST(PcpProbe, FlagIsReadAgainAfterASocketFailure) {
  // 192.0.2.1 is held by no interface here: the bind fails, and the set flag still decides.
  if (!test::BindFailsFor(Ipv4FromParts(192, 0, 2, 1))) {
    GTEST_SKIP() << "bind() accepts 192.0.2.1 on this system (Wine 8 does)";
  }
  test::LoopbackRouter gateway(test::RouterScript{});
  ASSERT_TRUE(gateway.ok());
  CancelFlag cancel{false};
  EXPECT_EQ(ProbePcpAnnounce(Ipv4FromParts(192, 0, 2, 1), gateway.endpoint(), cancel),
            PcpStatus::Unknown);
  cancel.store(true);
  EXPECT_EQ(ProbePcpAnnounce(Ipv4FromParts(192, 0, 2, 1), gateway.endpoint(), cancel),
            PcpStatus::Cancelled);
  EXPECT_TRUE(gateway.Stop().empty());
}

TEST(PcpProbe, UnusableArgumentsGiveUnknownWithoutTraffic) {
  test::LoopbackRouter gateway(AnswerFirst({Answer(0)}));
  ASSERT_TRUE(gateway.ok());
  const CancelFlag cancel{true};  // unusable arguments end the probe before the flag is read
  Ipv4Endpoint noPort = gateway.endpoint();
  noPort.port = 0;
  EXPECT_EQ(ProbePcpAnnounce(0, gateway.endpoint(), cancel), PcpStatus::Unknown);
  EXPECT_EQ(ProbePcpAnnounce(Loopback(), noPort, cancel), PcpStatus::Unknown);
  EXPECT_TRUE(gateway.Stop().empty());
}

}  // namespace
}  // namespace talvo
