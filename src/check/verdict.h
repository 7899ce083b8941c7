#pragma once
#include <cstdint>

#include "check/check_result.h"
#include "check/reason.h"

namespace talvo {

enum class EvidenceLevel : int { Low = 0, Medium = 1, High = 2 };

struct Verdict {
  int score = 0;
  EvidenceLevel level = EvidenceLevel::Low;
  ReasonId reason = ReasonId::NoActiveRoute;
};

inline bool operator==(const Verdict& a, const Verdict& b) {
  return a.score == b.score && a.level == b.level && a.reason == b.reason;
}

// Score, evidence and reason for a finished check (checkError false).
Verdict DecideVerdict(const CheckResult& result);

}  // namespace talvo
