#pragma once
// The names of the catalogue's languages and rows, and the verdict's reason sentences: the
// screens pick rows by these names, and the catalogue is indexed by them.
#include "check/reason.h"

namespace talvo {

// In the order of the language menu: the menu number is the value plus one.
enum class LanguageId : int {
  English,
  Korean,
  Japanese,
  SimplifiedChinese,
  TraditionalChinese,
  Spanish,
  French,
  German,
  Italian,
  BrazilianPortuguese,
  Indonesian,
  Thai,
  Vietnamese,
  Turkish,
  Hindi,
  Polish,
  Russian,
};
constexpr int kLanguageCount = static_cast<int>(LanguageId::Russian) + 1;

// The user-interface rows, by their use on the screens.
enum class TextId : int {
  Intro,
  NoChanges,
  LookupNotice,
  StartPrompt,
  LanguageKey,
  Checking,
  CancelledHeading,
  ErrorHeading,
  CompatibleHeading,
  LowHeading,
  ScoreLabel,
  EvidenceLabel,
  EvidenceHigh,
  EvidenceMedium,
  EvidenceLow,
  ReasonLabel,
  CheckRequirements,
  EstimateOnly,
  ProductInfoLabel,
  ResultPrompt,
  MenuPrompt,
  InvalidSelection,
};
constexpr int kTextRowCount = static_cast<int>(TextId::InvalidSelection) + 1;

constexpr int Index(LanguageId id) { return static_cast<int>(id); }
constexpr int Index(TextId id) { return static_cast<int>(id); }

}  // namespace talvo
