// The NAT-PMP probe: its timing and answers on a scripted router and clock, its wire and its
// socket against a gateway on loopback.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "net/natpmp_pcp/natpmp.h"
#include "os/clock.h"
#include "support/loopback_router.h"
#include "support/scripted_router.h"

namespace talvo {
namespace {

using test::Bytes;
using test::Loopback;
using test::ScriptedRouter;

Bytes Success(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
  return {0, 128, 0, 0, 0, 0, 0x12, 0x34, a, b, c, d};
}

struct Exchange {
  NatPmpResult result;
  std::vector<std::uint64_t> requestsAt;  // after the first request
  std::uint64_t endMs = 0;
};

Exchange RunExchange(ScriptedRouter& router, const CancelFlag& cancel) {
  Exchange run;
  const std::uint64_t start = router.now();
  run.result = ExchangeNatPmp(router.Port(), cancel);
  for (std::uint64_t at : router.requestTimes()) run.requestsAt.push_back(at - start);
  run.endMs = router.now() - start;
  for (const std::string& request : router.requests()) {
    EXPECT_EQ(request, std::string("\0\0", 2));
  }
  return run;
}

TEST(NatPmpExchange, SilenceGivesThreeRequestsWithinTheWindowThenNoResponse) {
  ScriptedRouter router;
  const CancelFlag cancel{false};
  const Exchange run = RunExchange(router, cancel);
  EXPECT_EQ(run.result.status, NatPmpStatus::NoResponse);
  EXPECT_EQ(run.result.externalAddress, 0u);
  // Resent at the first pass after 250 ms, then 500 ms after that; 100 ms waits throughout.
  EXPECT_EQ(run.requestsAt, (std::vector<std::uint64_t>{0, 300, 800}));
  EXPECT_EQ(run.endMs, 1000u);
}

TEST(NatPmpExchange, AnswersEndTheProbeAtTheirFirstVerdict) {
  struct Answer {
    std::size_t request;
    Bytes bytes;
    std::uint64_t afterMs = 5;
  };
  struct Case {
    const char* label;
    std::vector<Answer> answers;
    NatPmpStatus status;
    std::uint32_t address;
    std::size_t requests;
    std::uint64_t endMs;
  };
  const std::uint32_t real = Ipv4FromParts(198, 51, 100, 9);
  Bytes oversized = Success(192, 0, 2, 4);  // its first 128 bytes would be an answer
  oversized.resize(200, 0);
  const Case cases[] = {
      {"an address", {{0, Success(198, 51, 100, 9)}}, NatPmpStatus::AddressReceived, real, 1, 5},
      {"a refusal, no further request",
       {{0, {0, 128, 0, 2, 0, 0, 1, 0, 198, 51, 100, 9}}}, NatPmpStatus::RouterRefused, 0, 1, 5},
      {"an 8-byte refusal", {{0, {0, 128, 0, 3, 0, 0, 0, 0}}}, NatPmpStatus::RouterRefused, 0, 1, 5},
      {"0.0.0.0 is ignored, a later real address counts",
       {{0, Success(0, 0, 0, 0)}, {1, Success(198, 51, 100, 9)}}, NatPmpStatus::AddressReceived,
       real, 2, 310},
      {"a late answer to an earlier request counts",
       {{0, Success(198, 51, 100, 9), 400}}, NatPmpStatus::AddressReceived, real, 2, 400},
      {"other versions, opcodes, short successes and oversized datagrams are ignored",
       {{0, {1, 128, 0, 0, 0, 0, 1, 0, 192, 0, 2, 1}},
        {0, {0, 129, 0, 0, 0, 0, 1, 0, 192, 0, 2, 2}},
        {0, {1, 128, 0, 2, 0, 0, 1, 0}},
        {0, {0, 129, 0, 2, 0, 0, 1, 0}},
        {0, {0, 128, 0, 0, 0, 0, 1, 0}},
        {0, oversized},
        {1, Success(198, 51, 100, 9)}},
       NatPmpStatus::AddressReceived, real, 2, 310},
      {"only 8-byte successes run the whole window",
       {{0, {0, 128, 0, 0, 0, 0, 1, 0}}, {1, {0, 128, 0, 0, 0, 0, 1, 0}},
        {2, {0, 128, 0, 0, 0, 0, 1, 0}}},
       NatPmpStatus::NoResponse, 0, 3, 1015},
  };
  // A wait resumes whole after each datagram, so an ignored answer moves the resends and the end
  // by its own time: the last wait may run up to one slice past the window.
  for (const Case& c : cases) {
    ScriptedRouter router;
    for (const Answer& answer : c.answers) router.Answer(answer.request, answer.bytes, answer.afterMs);
    const CancelFlag cancel{false};
    const Exchange run = RunExchange(router, cancel);
    EXPECT_EQ(run.result.status, c.status) << c.label;
    EXPECT_EQ(run.result.externalAddress, c.address) << c.label;
    EXPECT_EQ(run.requestsAt.size(), c.requests) << c.label;
    EXPECT_EQ(run.endMs, c.endMs) << c.label;
  }
}

TEST(NatPmpExchange, CancellationFailuresAndAFloodEndItInTime) {
  {
    ScriptedRouter router;
    router.Answer(0, Success(198, 51, 100, 9));
    const CancelFlag cancel{true};
    const Exchange run = RunExchange(router, cancel);
    EXPECT_EQ(run.result.status, NatPmpStatus::Cancelled) << "set beforehand";
    EXPECT_EQ(run.result.externalAddress, 0u);
    EXPECT_TRUE(run.requestsAt.empty()) << "set beforehand: no request";
  }
  {
    ScriptedRouter router;
    CancelFlag cancel{false};
    router.CancelAt(cancel, 150);
    const Exchange run = RunExchange(router, cancel);
    EXPECT_EQ(run.result.status, NatPmpStatus::Cancelled) << "set while waiting";
    EXPECT_EQ(run.endMs, 200u) << "seen after the slice in progress";
  }
  {
    ScriptedRouter router;
    router.FailWaitsFrom(250);
    const CancelFlag cancel{false};
    const Exchange run = RunExchange(router, cancel);
    EXPECT_EQ(run.result.status, NatPmpStatus::Failed) << "a failed wait";
    EXPECT_EQ(run.endMs, 300u);
  }
  {
    ScriptedRouter router;
    router.FailSends();
    const CancelFlag cancel{false};
    EXPECT_EQ(RunExchange(router, cancel).result.status, NatPmpStatus::Failed) << "a failed send";
  }
  {
    ScriptedRouter router;
    router.Flood({1, 128, 0, 0, 0, 0, 1, 0, 192, 0, 2, 1}, 1, 1);
    const CancelFlag cancel{false};
    const Exchange run = RunExchange(router, cancel);
    EXPECT_EQ(run.result.status, NatPmpStatus::NoResponse) << "a flood of junk";
    EXPECT_EQ(run.endMs, 1000u) << "a flood cannot stretch the window";
  }
}

// ---- The probe on a real socket, against a gateway on loopback ----

test::RouterScript Replies(std::vector<std::vector<Bytes>> replies) {
  test::RouterScript script;
  for (auto& datagrams : replies) {
    script.replies.emplace_back();
    for (Bytes& bytes : datagrams) script.replies.back().push_back({std::move(bytes)});
  }
  return script;
}

TEST(NatPmpProbe, SendsTheTwoByteRequestFromTheLocalAddressAndReadsTheAnswer) {
  test::LoopbackRouter gateway(Replies({{Success(198, 51, 100, 9)}}));
  ASSERT_TRUE(gateway.ok());
  const CancelFlag cancel{false};
  const NatPmpResult result = ProbeNatPmp(Loopback(), gateway.endpoint(), cancel);
  EXPECT_EQ(result.status, NatPmpStatus::AddressReceived);
  EXPECT_EQ(result.externalAddress, Ipv4FromParts(198, 51, 100, 9));
  const auto received = gateway.Stop();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].bytes, (Bytes{0, 0}));
  EXPECT_EQ(received[0].senderAddress, Loopback());
}

TEST(NatPmpProbe, ClosedRouterPortIsSilenceNotFailure) {
  const Ipv4Endpoint closed = test::ClosedLoopbackEndpoint();
  ASSERT_NE(closed.port, 0);
  const CancelFlag cancel{false};
  const std::uint64_t start = MonotonicMs();
  EXPECT_EQ(ProbeNatPmp(Loopback(), closed, cancel).status, NatPmpStatus::NoResponse);
  EXPECT_LT(MonotonicMs() - start, 10000u);  // against a hang only
}

TEST(NatPmpProbe, FlagIsFirstReadAfterTheSocketIsSetUp) {
  // 192.0.2.1 is held by no interface here, so the bind fails before the flag is looked at.
  if (!test::BindFailsFor(Ipv4FromParts(192, 0, 2, 1))) {
    GTEST_SKIP() << "bind() accepts 192.0.2.1 on this system (Wine 8 does)";
  }
  test::LoopbackRouter gateway(test::RouterScript{});
  ASSERT_TRUE(gateway.ok());
  const CancelFlag cancel{true};
  EXPECT_EQ(ProbeNatPmp(Ipv4FromParts(192, 0, 2, 1), gateway.endpoint(), cancel).status,
            NatPmpStatus::Failed);
  EXPECT_TRUE(gateway.Stop().empty());
}

TEST(NatPmpProbe, UnusableArgumentsFailWithoutTraffic) {
  test::LoopbackRouter gateway(Replies({{Success(198, 51, 100, 9)}}));
  ASSERT_TRUE(gateway.ok());
  Ipv4Endpoint noPort = gateway.endpoint();
  noPort.port = 0;
  for (const bool flag : {false, true}) {  // arguments are judged before the flag
    const CancelFlag cancel{flag};
    const NatPmpResult noLocal = ProbeNatPmp(0, gateway.endpoint(), cancel);
    EXPECT_EQ(noLocal.status, NatPmpStatus::Failed);
    EXPECT_EQ(noLocal.externalAddress, 0u);
    EXPECT_EQ(ProbeNatPmp(Loopback(), noPort, cancel).status, NatPmpStatus::Failed);
  }
  EXPECT_TRUE(gateway.Stop().empty());
}

}  // namespace
}  // namespace talvo
