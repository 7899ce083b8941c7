#pragma once
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "app/main_loop.h"
#include "console/key_decoder.h"
#include "os/utf.h"
#include "scripted_probes.h"

namespace talvo::test {

// What the fake's endByInterrupt throws: the process would have ended there.
struct EndedByInterrupt {};

// A scripted console and a clock that moves only when the main loop sleeps.
class FakeFrontEnd {
 public:
  // One entry of the output: a text, or an attribute change written as "<attr N>".
  std::vector<std::u16string> output;
  // Keys typed while the program waits for a screen's or the menu's key.
  std::deque<int> screenKeys;
  // Keys typed during checks, by polling pass (counted over the whole run, from 0). Like every
  // key typed ahead they wait in the console until read or dropped.
  std::map<int, std::vector<int>> passKeys;
  // Keys typed just before the output piece with this index is written.
  std::map<std::size_t, std::vector<int>> typedBeforeWrite;
  // Called when the program ends by Ctrl+C, before the fake throws EndedByInterrupt.
  std::function<void()> onInterrupt;
  // Called at the start of each polling pass's key test, before any key is taken.
  std::function<void(int pass)> onPass;
  bool isConsole = false;
  bool checkRunning = false;  // between the check's start and its end
  std::uint16_t savedAttributes = 0x1F;
  bool threadsStart = true;
  std::uint64_t clock = 5000000;
  int passes = 0;
  int sleeps = 0;

  FrontEnd Bind() {
    FrontEnd io;
    io.keyWaiting = [this] {
      const int pass = passes++;
      if (onPass) onPass(pass);
      Type(passKeys[pass]);
      return !pending_.empty();
    };
    io.readKey = [this] {
      if (!pending_.empty()) {
        const int key = pending_.front();
        pending_.pop_front();
        return key;
      }
      if (screenKeys.empty()) {
        ADD_FAILURE() << "the program asked for more keys than the script has";
        return kKeyEndOfInput;
      }
      const int key = screenKeys.front();
      screenKeys.pop_front();
      return key;
    };
    io.discardKeys = [this] { pending_.clear(); };
    io.endByInterrupt = [this] {
      if (onInterrupt) onInterrupt();
      throw EndedByInterrupt{};
    };
    io.checkRunning = [this](bool running) {
      EXPECT_NE(running, checkRunning) << "told twice";
      checkRunning = running;
    };
    io.write = [this](std::u16string_view text) {
      // While a check runs the program writes status lines only.
      EXPECT_TRUE(!checkRunning || text.rfind(u'\r', 0) == 0) << Utf16ToUtf8(text);
      Type(typedBeforeWrite[output.size()]);
      output.emplace_back(text);
    };
    io.probeConsole = [this] {
      ConsoleState state;
      state.isConsole = isConsole;
      state.savedAttributes = isConsole ? savedAttributes : 0;
      return state;
    };
    io.setAttributes = [this](const ConsoleState& state, std::uint16_t attributes) {
      EXPECT_TRUE(state.isConsole);
      output.push_back(u"<attr " + FormatDecimal(static_cast<unsigned>(attributes)) + u">");
    };
    io.now = [this] { return clock; };
    io.sleep = [this](std::uint32_t ms) {
      EXPECT_EQ(ms, kPollIntervalMs);
      ++sleeps;
      clock += ms;
      // Hands the processor to the worker; the fake clock keeps the test from waiting 45 s.
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    io.startThread = [this](std::thread& thread, std::function<void()> body) {
      if (!threadsStart) return false;
      return StartThread(thread, std::move(body));
    };
    return io;
  }

  // The whole output as one text, status lines and attribute marks included.
  std::u16string Text() const {
    std::u16string all;
    for (const auto& piece : output) all += piece;
    return all;
  }

 private:
  void Type(const std::vector<int>& keys) { pending_.insert(pending_.end(), keys.begin(), keys.end()); }

  std::deque<int> pending_;  // typed ahead, not yet read
};

// Waits, bounded, until `condition` holds; false when it never did.
inline bool WaitFor(const std::function<bool()>& condition, int limitMs = 10000) {
  for (int waited = 0; waited < limitMs; ++waited) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return condition();
}

}  // namespace talvo::test
