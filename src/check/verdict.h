#pragma once
#include <cstdint>

#include "check/check_result.h"

namespace talvo {

enum class EvidenceLevel : int { Low = 0, Medium = 1, High = 2 };

// Index of a reason sentence in the text catalogue.
using ReasonId = int;
constexpr int kReasonCount = 13;

struct Verdict {
  int score = 0;
  EvidenceLevel level = EvidenceLevel::Low;
  ReasonId reason = 0;
};

inline bool operator==(const Verdict& a, const Verdict& b) {
  return a.score == b.score && a.level == b.level && a.reason == b.reason;
}

// Score, evidence and reason for a finished check (checkError false).
Verdict DecideVerdict(const CheckResult& result);

}  // namespace talvo
