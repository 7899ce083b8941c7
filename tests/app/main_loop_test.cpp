#include "app/main_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "fake_front_end.h"

namespace talvo {
namespace {

using test::FakeFrontEnd;
using test::NoActiveRouteProbes;
using test::ScriptedProbes;
using test::WaitFor;

const std::vector<std::u16string> kEnglishStartScreen = {
    u"TALVO LINK - NETWORK CHECK\n\n",
    u"Estimates compatibility with direct HTTPS sharing.\n",
    u"No files are shared and router settings are not changed.\n",
    u"The public IP lookup service receives a request from this network.\n",
    u"Press any key to start | L: language\n",
    u"F: English fallback (if text is unreadable)\n",
};

const std::u16string kProductLine =
    u"\nProduct information: https://apps.microsoft.com/detail/9NTLVLNKCHK1\n";
const std::u16string kResultPrompt = u"R: retry | L: language | any other key: exit\n";
const std::u16string kFallback = u"F: English fallback (if text is unreadable)\n";

std::vector<std::u16string> Slice(const std::vector<std::u16string>& all, std::size_t from,
                                  std::size_t count) {
  if (from > all.size()) return {};
  return std::vector<std::u16string>(all.begin() + static_cast<std::ptrdiff_t>(from),
                                     all.begin() + static_cast<std::ptrdiff_t>(
                                                       std::min(all.size(), from + count)));
}

std::size_t Count(const std::vector<std::u16string>& all, std::u16string_view piece) {
  std::size_t n = 0;
  for (const auto& p : all) n += (p == piece) ? 1 : 0;
  return n;
}

bool Has(const std::u16string& text, std::u16string_view part) {
  return text.find(part) != std::u16string::npos;
}

// The worker's probes wait here until the main loop sets the cancel flag (bounded).
void WaitForCancel(const CancelFlag& cancel) {
  EXPECT_TRUE(WaitFor([&cancel] { return cancel.load(); })) << "the check was never cancelled";
}

// A check whose worker finishes in polling pass `pass`, before that pass's key test; `checks`
// counts the checks that ran.
ProbeOperations EndingInPass(FakeFrontEnd& fake, int pass, std::atomic<int>* checks = nullptr) {
  struct Gate {
    std::atomic<bool> release{false};
    std::atomic<bool> returned{false};
  };
  const auto gate = std::make_shared<Gate>();
  fake.onPass = [gate, pass](int now) {
    if (now != pass) return;
    gate->release = true;
    EXPECT_TRUE(WaitFor([&] { return gate->returned.load(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the worker sets done
  };
  return ScriptedProbes(true, [gate, checks](const CancelFlag&) {
    if (checks != nullptr) ++*checks;
    EXPECT_TRUE(WaitFor([&] { return gate->release.load(); }));
    gate->returned = true;
  });
}

TEST(RunProgram, RedirectedOutputShowsTheScreensWithoutStatusLinesOrColours) {
  FakeFrontEnd fake;
  fake.screenKeys = {'x', 'q'};
  EXPECT_EQ(RunProgram(NoActiveRouteProbes(), fake.Bind(), LanguageId::English), kExitNormal);
  const std::vector<std::u16string> expected = {
      kEnglishStartScreen[0],
      kEnglishStartScreen[1],
      kEnglishStartScreen[2],
      kEnglishStartScreen[3],
      kEnglishStartScreen[4],
      kEnglishStartScreen[5],
      u"[ LOW COMPATIBILITY ESTIMATE ]\n",
      u"Estimated compatibility score: 3 / 100\n",
      u"Evidence: HIGH\n",
      u"Reason: No active network route is available.\n",
      u"Check network requirements and retry if needed.\n",
      u"Estimate only: not a connection probability or guarantee.\n",
      kProductLine,
      kResultPrompt,
      kFallback,
  };
  EXPECT_EQ(fake.output, expected);
}

TEST(RunProgram, ConsoleShowsStatusLinesAndColoursOnlyTheHeading) {
  FakeFrontEnd fake;
  fake.isConsole = true;
  fake.screenKeys = {kKeyEnter, kKeyEsc};
  const auto release = std::make_shared<std::atomic<bool>>(false);
  fake.onPass = [release](int pass) {
    if (pass == 5) release->store(true);
  };
  const ProbeOperations probes = ScriptedProbes(true, [release](const CancelFlag&) {
    EXPECT_TRUE(WaitFor([&] { return release->load(); }));
  });
  EXPECT_EQ(RunProgram(probes, fake.Bind(), LanguageId::English), kExitNormal);

  const auto& out = fake.output;
  ASSERT_GT(out.size(), 7u);
  EXPECT_EQ(Slice(out, 0, 6), kEnglishStartScreen);
  // One status line per pass until done is seen, the spinner turning once per line.
  EXPECT_EQ(out[6], u"\rChecking network... (Esc: cancel) | 0s   ");
  EXPECT_EQ(out[7], u"\rChecking network... (Esc: cancel) / 0s   ");
  EXPECT_EQ(out[8], u"\rChecking network... (Esc: cancel) - 0s   ");
  EXPECT_EQ(out[9], u"\rChecking network... (Esc: cancel) \\ 0s   ");
  EXPECT_EQ(out[10], u"\rChecking network... (Esc: cancel) | 1s   ");
  std::size_t i = 6;
  while (i < out.size() && !out[i].empty() && out[i][0] == u'\r') ++i;
  EXPECT_EQ(i - 6, static_cast<std::size_t>(fake.passes));
  EXPECT_GE(fake.passes, 6);
  const std::vector<std::u16string> result = {
      u"\n",
      u"<attr 10>",
      u"[ LIKELY COMPATIBLE ]\n",
      u"<attr 31>",
      u"Estimated compatibility score: 80 / 100\n",
      u"Evidence: HIGH\n",
      u"Reason: A public IPv6 route is available. Recipients may also need IPv6.\n",
      u"Check network requirements and retry if needed.\n",
      u"Estimate only: not a connection probability or guarantee.\n",
      kProductLine,
      kResultPrompt,
      kFallback,
  };
  EXPECT_EQ(Slice(out, i, 100), result);
}

TEST(RunProgram, StartScreenKeysChangeTheLanguageAndOtherKeysStartTheCheck) {
  FakeFrontEnd fake;
  // l opens the menu (Korean chosen), F returns to English, L and Esc leave the menu, then an
  // arrow key (two codes) starts the check; its second code goes with the check.
  fake.screenKeys = {'l', '2', kKeyEnter, 'F', 'L', kKeyEsc, 224, 'q'};
  fake.passKeys = {{0, {72}}};
  EXPECT_EQ(RunProgram(NoActiveRouteProbes(), fake.Bind(), LanguageId::English), kExitNormal);
  const auto& out = fake.output;
  EXPECT_EQ(Slice(out, 0, 6), kEnglishStartScreen);
  // After the menu: prompt, 17 names, "2", "\n"; then the start screen in Korean.
  const std::size_t korean = 6 + 1 + 17 + 2;
  EXPECT_EQ(out[korean], u"TALVO LINK - NETWORK CHECK\n\n");
  EXPECT_EQ(out[korean + 1], u"직접 HTTPS 공유의 네트워크 호환성을 추정합니다.\n");
  EXPECT_EQ(out[korean + 4], u"아무 키: 검사 시작 | L: 언어 변경\n");
  EXPECT_EQ(out[korean + 5], kFallback);
  EXPECT_EQ(Slice(out, korean + 6, 6), kEnglishStartScreen);
  // L and Esc: the menu, then the start screen again unchanged.
  const std::size_t afterMenu = korean + 12 + 1 + 17 + 1;
  EXPECT_EQ(Slice(out, afterMenu, 6), kEnglishStartScreen);
  EXPECT_EQ(out[afterMenu + 6], u"[ LOW COMPATIBILITY ESTIMATE ]\n");
  EXPECT_EQ(Count(out, u"TALVO LINK - NETWORK CHECK\n\n"), 4u);
}

TEST(RunProgram, EndOfInputOnTheStartScreenRunsNoCheck) {
  FakeFrontEnd fake;
  fake.screenKeys = {kKeyEndOfInput};
  int checks = 0;
  ProbeOperations probes = NoActiveRouteProbes();
  probes.countPreferredAddresses = [&checks](std::uint32_t&, std::uint32_t&) {
    ++checks;
    return true;
  };
  EXPECT_EQ(RunProgram(probes, fake.Bind(), LanguageId::English), kExitNormal);
  EXPECT_EQ(checks, 0);
  EXPECT_EQ(fake.output, kEnglishStartScreen);
}

// A screen acts only on keys typed after it was written; each script below would end or steer
// the run differently if a key typed ahead were read. The check ends in pass 2.
TEST(RunProgram, KeysTypedBeforeAScreenWasWrittenDoNotActOnIt) {
  struct Case {
    const char* name;
    std::map<std::size_t, std::vector<int>> typedBeforeWrite;
    std::map<int, std::vector<int>> passKeys;
    std::deque<int> screenKeys;
    int checks;
    std::size_t screens;  // start and result screens written
    std::u16string shown;
  };
  const Case cases[] = {
      {"Enter typed while the start screen is written", {{3, {kKeyEnter}}}, {}, {'f', 'x', 'q'}, 1,
       3, kResultPrompt},
      {"Esc twice, the second after the check ended", {}, {{2, {kKeyEsc, kKeyEsc}}}, {'x', 'f', 'q'}, 1,
       3, u"[ CHECK CANCELLED ]\n"},
      {"Insert (224 82) at the check's end is no R", {}, {{2, {224, 82}}}, {'x', 'q'}, 1, 2,
       u"[ LIKELY COMPATIBLE ]\n"},
      {"a choice typed while the menu list is written", {{12, {'3', kKeyEnter}}}, {},
       {'l', '2', kKeyEnter, 'x', 'q'}, 1, 3, u"아무 키: 검사 시작 | L: 언어 변경\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeFrontEnd fake;
    fake.typedBeforeWrite = c.typedBeforeWrite;
    fake.passKeys = c.passKeys;
    fake.screenKeys = c.screenKeys;
    std::atomic<int> checks{0};
    const ProbeOperations probes = EndingInPass(fake, 2, &checks);
    EXPECT_EQ(RunProgram(probes, fake.Bind(), LanguageId::English), kExitNormal);
    EXPECT_EQ(checks.load(), c.checks);
    EXPECT_EQ(Count(fake.output, kFallback), c.screens);
    EXPECT_GE(Count(fake.output, c.shown), 1u);
    EXPECT_TRUE(fake.screenKeys.empty()) << "the run ended before its last key";
  }
}

// Ctrl+C ends the process wherever a key is read; a check is cancelled first, so that the
// worker starts nothing more, and its result is never shown.
TEST(RunProgram, CtrlCEndsTheProgramOnEveryScreenAndDuringACheck) {
  struct Case {
    const char* name;
    std::deque<int> screenKeys;
    std::map<int, std::vector<int>> passKeys;
    int checks;
    std::u16string lastWritten;
  };
  const Case cases[] = {
      {"start screen", {kKeyInterrupt}, {}, 0, kFallback},
      {"menu from the start screen", {'l', '1', kKeyInterrupt}, {}, 0, u"1"},
      {"during a check", {'x'}, {{3, {kKeyInterrupt}}}, 1,
       u"\rChecking network... (Esc: cancel) \\ 0s   "},
      {"result screen", {'x', kKeyInterrupt}, {}, 1, kFallback},
      {"menu from the result screen", {'x', 'L', kKeyInterrupt}, {}, 1, u"17. Русский\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeFrontEnd fake;
    fake.isConsole = true;
    fake.screenKeys = c.screenKeys;
    fake.passKeys = c.passKeys;
    std::atomic<int> checks{0};
    std::atomic<const CancelFlag*> running{nullptr};
    bool cancelledAtTheEnd = false;
    fake.onInterrupt = [&] {
      const CancelFlag* cancel = running.load();
      cancelledAtTheEnd = cancel == nullptr || cancel->load();
    };
    const bool hold = !c.passKeys.empty();
    const ProbeOperations probes = ScriptedProbes(true, [&](const CancelFlag& cancel) {
      if (hold) running = &cancel;
      ++checks;
      if (hold) WaitForCancel(cancel);
    });
    if (hold) fake.onPass = [&](int) { EXPECT_TRUE(WaitFor([&] { return checks.load() > 0; })); };
    EXPECT_THROW(RunProgram(probes, fake.Bind(), LanguageId::English), test::EndedByInterrupt);
    EXPECT_EQ(checks.load(), c.checks);
    EXPECT_TRUE(cancelledAtTheEnd);
    ASSERT_FALSE(fake.output.empty());
    EXPECT_EQ(fake.output.back(), c.lastWritten);
    EXPECT_TRUE(fake.screenKeys.empty());
  }
}

TEST(RunProgram, EscDuringACheckShowsTheCancelledScreen) {
  FakeFrontEnd fake;
  fake.isConsole = true;
  // Other keys and arrow codes are consumed without effect; Esc twice is Esc once.
  fake.passKeys = {{1, {'a'}}, {2, {224}}, {3, {72}}, {4, {kKeyEsc}}, {5, {kKeyEsc}}};
  fake.screenKeys = {'x', 'x'};
  std::atomic<bool> sawCancel{false};
  std::atomic<bool> release{false};
  // The flag is set in the pass that reads Esc (pass 4), not before.
  std::atomic<bool> entered{false};
  fake.onPass = [&](int pass) {
    // The worker must be in its probe before any key or limit can cancel it.
    if (pass == 0) {
      EXPECT_TRUE(WaitFor([&] { return entered.load(); }));
    }
    if (pass == 4) {
      EXPECT_FALSE(sawCancel.load());
    }
    if (pass == 5) {
      EXPECT_TRUE(WaitFor([&] { return sawCancel.load(); }));
      release = true;
    }
  };
  const ProbeOperations probes = ScriptedProbes(true, [&](const CancelFlag& cancel) {
    entered = true;
    WaitForCancel(cancel);
    sawCancel = true;
    EXPECT_TRUE(WaitFor([&] { return release.load(); }));
  });
  EXPECT_EQ(RunProgram(probes, fake.Bind(), LanguageId::English), kExitNormal);
  const std::u16string text = fake.Text();
  EXPECT_TRUE(Has(text, u"\n[ CHECK CANCELLED ]\n" + kProductLine + kResultPrompt + kFallback));
  EXPECT_FALSE(Has(text, u"score"));
  EXPECT_FALSE(Has(text, u"<attr"));
}

TEST(RunProgram, EscInThePassWhereTheWorkerEndsStillCancels) {
  FakeFrontEnd fake;
  fake.screenKeys = {'x', 'x'};
  // In pass 2 the worker finishes a complete record before Esc is read.
  fake.passKeys = {{2, {kKeyEsc}}};
  const ProbeOperations probes = EndingInPass(fake, 2);
  EXPECT_EQ(RunProgram(probes, fake.Bind(), LanguageId::English), kExitNormal);
  EXPECT_EQ(fake.passes, 3);  // done was seen right after the Esc pass
  EXPECT_TRUE(Has(fake.Text(), u"[ CHECK CANCELLED ]\n"));
  EXPECT_FALSE(Has(fake.Text(), u"LIKELY COMPATIBLE"));
}

TEST(RunProgram, TheTimeLimitFailsTheCheckWithoutWaitingRealTime) {
  FakeFrontEnd fake;
  fake.isConsole = true;
  fake.screenKeys = {'x', 'x'};
  std::atomic<bool> sawCancel{false};
  std::atomic<bool> release{false};
  // Pass n runs at n * 250 ms: pass 180 is the first at 45 s, so the flag must be clear when
  // its key test runs and set by the next pass.
  std::atomic<bool> entered{false};
  fake.onPass = [&](int pass) {
    // The worker must be in its probe before any key or limit can cancel it.
    if (pass == 0) {
      EXPECT_TRUE(WaitFor([&] { return entered.load(); }));
    }
    if (pass == 180) {
      EXPECT_FALSE(sawCancel.load());
    }
    if (pass == 181) {
      EXPECT_TRUE(WaitFor([&] { return sawCancel.load(); }));
      release = true;
    }
  };
  const auto started = std::chrono::steady_clock::now();
  const ProbeOperations probes = ScriptedProbes(true, [&](const CancelFlag& cancel) {
    entered = true;
    WaitForCancel(cancel);
    sawCancel = true;
    EXPECT_TRUE(WaitFor([&] { return release.load(); }));
  });
  EXPECT_EQ(RunProgram(probes, fake.Bind(), LanguageId::English), kExitNormal);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
  EXPECT_GE(fake.passes, 182);
  const std::u16string text = fake.Text();
  EXPECT_TRUE(Has(text, u"\r" + TextFor(LanguageId::English, TextId::Checking) + u" | 45s   "));
  EXPECT_TRUE(Has(text, u"\n[ CHECK ERROR ] Please retry.\n" + kProductLine));
}

TEST(RunProgram, EscAfterTheTimeLimitStaysAnError) {
  FakeFrontEnd fake;
  fake.screenKeys = {'x', 'x'};
  std::atomic<bool> release{false};
  std::atomic<bool> entered{false};
  fake.onPass = [&](int pass) {
    // The worker must be in its probe before any key or limit can cancel it.
    if (pass == 0) {
      EXPECT_TRUE(WaitFor([&] { return entered.load(); }));
    }
    if (pass == 185) release = true;
  };
  fake.passKeys = {{182, {kKeyEsc}}};
  const ProbeOperations probes = ScriptedProbes(true, [&](const CancelFlag& cancel) {
    entered = true;
    WaitForCancel(cancel);
    // Keeps running past the limit, as a probe in its own wait would.
    EXPECT_TRUE(WaitFor([&] { return release.load(); }));
  });
  EXPECT_EQ(RunProgram(probes, fake.Bind(), LanguageId::English), kExitNormal);
  EXPECT_GE(fake.passes, 186);
  EXPECT_TRUE(Has(fake.Text(), u"[ CHECK ERROR ] Please retry.\n"));
  EXPECT_FALSE(Has(fake.Text(), u"CANCELLED"));
}

TEST(RunProgram, AWorkerDoneJustBeforeTheLimitButSeenAfterItFails) {
  FakeFrontEnd fake;
  fake.screenKeys = {'x', 'x'};
  const ProbeOperations probes = EndingInPass(fake, 180);
  EXPECT_EQ(RunProgram(probes, fake.Bind(), LanguageId::English), kExitNormal);
  EXPECT_EQ(fake.passes, 181);
  EXPECT_TRUE(Has(fake.Text(), u"[ CHECK ERROR ] Please retry.\n"));
  EXPECT_FALSE(Has(fake.Text(), u"LIKELY COMPATIBLE"));
}

TEST(RunProgram, AnExceptionInTheProbesFailsTheCheck) {
  FakeFrontEnd fake;
  fake.screenKeys = {'x', 'x'};
  const ProbeOperations probes =
      ScriptedProbes(true, [](const CancelFlag&) { throw std::runtime_error("probe broke"); });
  EXPECT_EQ(RunProgram(probes, fake.Bind(), LanguageId::English), kExitNormal);
  EXPECT_TRUE(Has(fake.Text(), u"\n[ CHECK ERROR ] Please retry.\n" + kProductLine));
}

TEST(RunProgram, AnUnreadableAdapterListFailsTheCheck) {
  FakeFrontEnd fake;
  fake.screenKeys = {'x', 'x'};
  ProbeOperations probes = NoActiveRouteProbes();
  probes.countPreferredAddresses = [](std::uint32_t&, std::uint32_t&) { return false; };
  EXPECT_EQ(RunProgram(probes, fake.Bind(), LanguageId::English), kExitNormal);
  EXPECT_TRUE(Has(fake.Text(), u"[ CHECK ERROR ] Please retry.\n"));
}

TEST(RunProgram, LanguageKeysRedrawTheSameVerdictWithoutANewCheck) {
  FakeFrontEnd fake;
  // Result screen: l, Korean chosen; F back to English; L and Esc; then leave.
  fake.screenKeys = {'x', 'l', '2', kKeyEnter, 'f', 'L', kKeyEsc, 'q'};
  std::atomic<int> checks{0};
  const ProbeOperations probes = ScriptedProbes(true, [&](const CancelFlag&) { ++checks; });
  EXPECT_EQ(RunProgram(probes, fake.Bind(), LanguageId::English), kExitNormal);
  EXPECT_EQ(checks.load(), 1);
  const std::u16string english = u"Estimated compatibility score: 80 / 100\n";
  const std::u16string korean = u"호환도 추정 지수: 80 / 100\n";
  EXPECT_EQ(Count(fake.output, english), 3u);
  EXPECT_EQ(Count(fake.output, korean), 1u);
  EXPECT_EQ(Count(fake.output, u"근거 수준: 높음\n"), 1u);
  EXPECT_EQ(Count(fake.output,
                  u"이유: 공인 IPv6 경로를 확인했습니다. 받는 쪽에도 IPv6가 필요할 수 있습니다.\n"),
            1u);
  EXPECT_EQ(Count(fake.output, u"\n제품 정보: https://apps.microsoft.com/detail/9NTLVLNKCHK1\n"), 1u);
  EXPECT_EQ(Count(fake.output, u"R: 다시 검사 | L: 언어 변경 | 다른 키: 종료\n"), 1u);
  // Each result screen ends with the English fallback line, four screens in all.
  EXPECT_EQ(Count(fake.output, kFallback), 1u + 4u);
}

TEST(RunProgram, RetryRunsAFreshCheckWithANewLimitAndSpinner) {
  FakeFrontEnd fake;
  fake.isConsole = true;
  fake.screenKeys = {'x', 'r', 'q'};
  fake.passKeys = {{6, {kKeyEsc}}};
  std::atomic<int> checks{0};
  std::atomic<bool> cancelAtSecondStart{true};
  std::atomic<bool> secondCheckPolled{false};
  const ProbeOperations probes = ScriptedProbes(true, [&](const CancelFlag& cancel) {
    if (++checks == 1) {
      WaitForCancel(cancel);
      return;
    }
    cancelAtSecondStart = cancel.load();
    // Held until the main loop has polled once in this check, so it draws a status line.
    EXPECT_TRUE(WaitFor([&] { return secondCheckPolled.load(); }));
  });
  // The first check is cancelled; by the time R is pressed the clock is far past 45 s of the
  // first start, which must not fail the second check.
  fake.onPass = [&](int pass) {
    if (checks.load() >= 2) secondCheckPolled = true;
    if (pass != 6) return;
    EXPECT_TRUE(WaitFor([&] { return checks.load() >= 1; }));
    fake.clock += 60000;
  };
  EXPECT_EQ(RunProgram(probes, fake.Bind(), LanguageId::English), kExitNormal);
  EXPECT_EQ(checks.load(), 2);
  EXPECT_FALSE(cancelAtSecondStart.load());
  const auto& out = fake.output;
  // The second check's status lines start again at the vertical line and 0 s.
  std::size_t cancelled = 0;
  while (cancelled < out.size() && out[cancelled] != u"[ CHECK CANCELLED ]\n") ++cancelled;
  ASSERT_LT(cancelled, out.size());
  std::size_t second = cancelled;
  while (second < out.size() && (out[second].empty() || out[second][0] != u'\r')) ++second;
  ASSERT_LT(second, out.size());
  EXPECT_EQ(out[second], u"\rChecking network... (Esc: cancel) | 0s   ");
  EXPECT_TRUE(Has(fake.Text(), u"[ LIKELY COMPATIBLE ]\n"));
  EXPECT_EQ(Count(out, u"TALVO LINK - NETWORK CHECK\n\n"), 1u);  // no start screen for R
}

TEST(RunProgram, AWorkerThatCannotStartEndsTheProgramWithoutAResult) {
  FakeFrontEnd fake;
  fake.threadsStart = false;
  fake.isConsole = true;
  fake.screenKeys = {'x'};
  EXPECT_EQ(RunProgram(NoActiveRouteProbes(), fake.Bind(), LanguageId::English), kExitNoWorker);
  EXPECT_EQ(fake.output, kEnglishStartScreen);
  EXPECT_EQ(fake.passes, 0);
}

TEST(RunCheck, AnExceptionOnTheMainThreadCancelsAndJoinsTheWorker) {
  FakeFrontEnd fake;
  fake.isConsole = true;
  FrontEnd io = fake.Bind();
  io.write = [](std::u16string_view text) {
    if (!text.empty() && text[0] == u'\r') throw std::runtime_error("console gone");
  };
  const ProbeOperations probes = ScriptedProbes(true, [](const CancelFlag& cancel) {
    // Without the cancel this would hold the join for its whole 10 s bound.
    WaitForCancel(cancel);
  });
  CheckSlot slot;
  ConsoleState console;
  const auto started = std::chrono::steady_clock::now();
  EXPECT_THROW(RunCheck(probes, io, LanguageId::English, slot, console), std::runtime_error);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  EXPECT_TRUE(slot.cancel.load());
  EXPECT_TRUE(slot.done.load());  // the worker ended before RunCheck let go of the slot
}

TEST(WriteResultScreen, Score49IsRedAndScore50IsGreen) {
  struct Case {
    int score;
    std::u16string attribute;
    std::u16string heading;
  };
  const Case cases[] = {
      {49, u"<attr 12>", u"[ LOW COMPATIBILITY ESTIMATE ]\n"},
      {50, u"<attr 10>", u"[ LIKELY COMPATIBLE ]\n"},
      {0, u"<attr 12>", u"[ LOW COMPATIBILITY ESTIMATE ]\n"},
      {100, u"<attr 10>", u"[ LIKELY COMPATIBLE ]\n"},
  };
  for (const Case& c : cases) {
    FakeFrontEnd fake;
    ConsoleState console;
    console.isConsole = true;
    console.savedAttributes = 0x70;
    CheckReport report;
    report.outcome = CheckOutcome::Finished;
    report.verdict = Verdict{c.score, EvidenceLevel::Medium, ReasonId::CarrierGradeNat};
    WriteResultScreen(fake.Bind(), console, LanguageId::English, report);
    ASSERT_GE(fake.output.size(), 4u);
    EXPECT_EQ(fake.output[0], c.attribute);
    EXPECT_EQ(fake.output[1], c.heading);
    EXPECT_EQ(fake.output[2], u"<attr 112>");  // the saved word, background included
    EXPECT_EQ(fake.output[3], u"Estimated compatibility score: " + FormatDecimal(c.score) +
                                  u" / 100\n");
    EXPECT_EQ(fake.output[4], u"Evidence: MEDIUM\n");
  }
}

TEST(WriteResultScreen, CancelledAndErrorHeadingsAreNeverColoured) {
  for (CheckOutcome outcome : {CheckOutcome::Cancelled, CheckOutcome::Failed}) {
    FakeFrontEnd fake;
    ConsoleState console;
    console.isConsole = true;
    CheckReport report;
    report.outcome = outcome;
    WriteResultScreen(fake.Bind(), console, LanguageId::Korean, report);
    const std::vector<std::u16string> expected = {
        outcome == CheckOutcome::Cancelled ? u"[ 검사 취소 ]\n" : u"[ 검사 오류 ] 다시 시도하세요.\n",
        u"\n제품 정보: https://apps.microsoft.com/detail/9NTLVLNKCHK1\n",
        u"R: 다시 검사 | L: 언어 변경 | 다른 키: 종료\n",
        kFallback,
    };
    EXPECT_EQ(fake.output, expected);
  }
}

TEST(ClassifyCheck, EscCancelsTheLimitFailsAndOnlyACleanRecordFinishes) {
  struct Case {
    bool cancelled;
    bool timedOut;
    bool checkError;
    CheckOutcome outcome;
    bool errorAfter;
  };
  const Case cases[] = {
      {false, false, false, CheckOutcome::Finished, false},
      {false, false, true, CheckOutcome::Failed, true},
      {true, false, false, CheckOutcome::Cancelled, false},
      {true, false, true, CheckOutcome::Cancelled, true},
      {true, true, false, CheckOutcome::Failed, true},
      {true, true, true, CheckOutcome::Failed, true},
  };
  for (const Case& c : cases) {
    CheckResult result;
    result.checkError = c.checkError;
    result.publicIpv6Route = true;
    EXPECT_EQ(ClassifyCheck(c.cancelled, c.timedOut, result), c.outcome)
        << c.cancelled << c.timedOut << c.checkError;
    EXPECT_EQ(result.checkError, c.errorAfter);
  }
}

TEST(StatusLine, TurnsTheSpinnerEveryLine) {
  EXPECT_EQ(StatusLine(LanguageId::English, 0, 0), u"\rChecking network... (Esc: cancel) | 0s   ");
  EXPECT_EQ(StatusLine(LanguageId::English, 12, 1), u"\rChecking network... (Esc: cancel) / 12s   ");
  EXPECT_EQ(StatusLine(LanguageId::English, 44, 2), u"\rChecking network... (Esc: cancel) - 44s   ");
  EXPECT_EQ(StatusLine(LanguageId::English, 45, 3), u"\rChecking network... (Esc: cancel) \\ 45s   ");
  EXPECT_EQ(StatusLine(LanguageId::Korean, 3, 4), u"\r네트워크 검사 중... (Esc: 취소) | 3s   ");
}

}  // namespace
}  // namespace talvo
