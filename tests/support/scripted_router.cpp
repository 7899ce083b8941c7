#include "support/scripted_router.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace talvo::test {

ScriptedRouter& ScriptedRouter::Answer(std::size_t request, Bytes bytes, std::uint64_t afterMs,
                                       std::uint32_t from) {
  answers_.push_back({request, std::move(bytes), afterMs, from});
  return *this;
}

ScriptedRouter& ScriptedRouter::Flood(Bytes bytes, std::uint64_t fromMs, std::uint64_t everyMs) {
  floodBytes_ = std::move(bytes);
  floodNextMs_ = now_ + fromMs;
  floodEveryMs_ = everyMs;
  return *this;
}

ScriptedRouter& ScriptedRouter::CancelAt(CancelFlag& flag, std::uint64_t atMs) {
  cancel_ = &flag;
  cancelAtMs_ = now_ + atMs;
  AdvanceTo(now_);
  return *this;
}

ScriptedRouter& ScriptedRouter::FailWaitsFrom(std::uint64_t atMs) {
  waitsFail_ = true;
  waitsFailFromMs_ = now_ + atMs;
  return *this;
}

ScriptedRouter& ScriptedRouter::FailSends() {
  sendsFail_ = true;
  return *this;
}

void ScriptedRouter::AdvanceTo(std::uint64_t ms) {
  now_ = std::max(now_, ms);
  if (cancel_ != nullptr && now_ >= cancelAtMs_) cancel_->store(true);
}

const ScriptedRouter::Arrival* ScriptedRouter::Earliest() const {
  const Arrival* earliest = nullptr;
  for (const Arrival& arrival : queue_) {
    if (earliest == nullptr || arrival.atMs < earliest->atMs) earliest = &arrival;
  }
  return earliest;
}

DatagramPort ScriptedRouter::Port() {
  DatagramPort port;
  port.now = [this] { return now_; };
  port.send = [this](std::string_view datagram) {
    if (sendsFail_) return false;
    const std::size_t index = requests_.size();
    requests_.emplace_back(datagram);
    requestTimes_.push_back(now_);
    for (const Scheduled& answer : answers_) {
      if (answer.request == index) queue_.push_back({now_ + answer.afterMs, answer.bytes, answer.from});
    }
    return true;
  };
  port.waitReadable = [this](std::uint32_t timeoutMs) {
    waits_.push_back(timeoutMs);
    if (waitsFail_ && now_ >= waitsFailFromMs_) return WaitResult::Error;
    for (; floodEveryMs_ != 0 && floodNextMs_ <= now_ + timeoutMs; floodNextMs_ += floodEveryMs_) {
      queue_.push_back({floodNextMs_, floodBytes_, Address()});
    }
    const Arrival* next = Earliest();
    if (next != nullptr && next->atMs <= now_ + timeoutMs) {
      AdvanceTo(next->atMs);
      return WaitResult::Ready;
    }
    AdvanceTo(now_ + timeoutMs);
    return WaitResult::TimedOut;
  };
  port.receive = [this](std::uint8_t* buffer, std::size_t capacity, std::uint32_t& sender) {
    const Arrival* next = Earliest();
    if (next == nullptr || next->atMs > now_) return -1L;
    const Arrival arrival = *next;
    queue_.erase(queue_.begin() + (next - queue_.data()));
    if (arrival.bytes.size() > capacity) return -1L;  // dropped whole, as the socket layer does
    if (!arrival.bytes.empty()) std::memcpy(buffer, arrival.bytes.data(), arrival.bytes.size());
    sender = arrival.from;
    return static_cast<long>(arrival.bytes.size());
  };
  return port;
}

}  // namespace talvo::test
