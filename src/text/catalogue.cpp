#include "text/catalogue.h"

#include "os/utf.h"
#include "text/translations.h"

namespace talvo {
namespace {

struct LanguageEntry {
  std::string_view code;
  std::u16string_view nativeName;
};

// In LanguageId order; the menu number is the index plus one.
constexpr LanguageEntry kLanguages[kLanguageCount] = {
    {"en", u"English"},
    {"ko", u"한국어"},
    {"ja", u"日本語"},
    {"zh-CN", u"简体中文"},
    {"zh-TW", u"繁體中文"},
    {"es", u"Español"},
    {"fr", u"Français"},
    {"de", u"Deutsch"},
    {"it", u"Italiano"},
    {"pt-BR", u"Português (Brasil)"},
    {"id", u"Bahasa Indonesia"},
    {"th", u"ไทย"},
    {"vi", u"Tiếng Việt"},
    {"tr", u"Türkçe"},
    {"hi", u"हिन्दी"},
    {"pl", u"Polski"},
    {"ru", u"Русский"},
};

constexpr std::u16string_view kEnglishRows[kTextRowCount] = {
    u"Estimates compatibility with direct HTTPS sharing.",
    u"No files are shared and router settings are not changed.",
    u"The public IP lookup service receives a request from this network.",
    u"Press any key to start | L: language",
    u"L: language",
    u"Checking network... (Esc: cancel)",
    u"[ CHECK CANCELLED ]",
    u"[ CHECK ERROR ] Please retry.",
    u"[ LIKELY COMPATIBLE ]",
    u"[ LOW COMPATIBILITY ESTIMATE ]",
    u"Estimated compatibility score",
    u"Evidence",
    u"HIGH",
    u"MEDIUM",
    u"LOW",
    u"Reason",
    u"Check network requirements and retry if needed.",
    u"Estimate only: not a connection probability or guarantee.",
    u"Product information",
    u"R: retry | L: language | any other key: exit",
    u"Choose language (1-17); Esc: cancel",
    u"Invalid selection.",
};

constexpr std::u16string_view kKoreanRows[kTextRowCount] = {
    u"직접 HTTPS 공유의 네트워크 호환성을 추정합니다.",
    u"파일을 공유하거나 공유기 설정을 변경하지 않습니다.",
    u"공인 IP 조회 서비스에 이 네트워크의 요청이 전달됩니다.",
    u"아무 키: 검사 시작 | L: 언어 변경",
    u"L: 언어 변경",
    u"네트워크 검사 중... (Esc: 취소)",
    u"[ 검사 취소 ]",
    u"[ 검사 오류 ] 다시 시도하세요.",
    u"[ 호환 가능성 높음 ]",
    u"[ 호환도 추정 낮음 ]",
    u"호환도 추정 지수",
    u"근거 수준",
    u"높음",
    u"보통",
    u"낮음",
    u"이유",
    u"네트워크 요구사항을 확인하고 필요하면 다시 검사하세요.",
    u"추정치이며 실제 연결 성공 확률이나 작동 보장이 아닙니다.",
    u"제품 정보",
    u"R: 다시 검사 | L: 언어 변경 | 다른 키: 종료",
    u"언어 선택 (1-17), Esc: 취소",
    u"잘못된 선택입니다.",
};

// Pure ASCII, kept as UTF-8 and converted when shown.
constexpr std::string_view kEnglishReasons[kReasonCount] = {
    "No active network route is available.",
    "A blocking policy was confirmed for all relevant routes.",
    "Some inbound-network requirements could not be checked.",
    "A public IPv4 address is assigned directly to this PC.",
    "A public IPv4 address is assigned locally; external matching was not confirmed.",
    "A public IPv6 route is available. Recipients may also need IPv6.",
    "Your router's UPnP WAN address matches the observed public address.",
    "Your router's NAT-PMP address matches the observed address.",
    "Your router responded to PCP and its address matches.",
    "The router address matches; automatic mapping is unconfirmed.",
    "A router service was found; its external address is unconfirmed.",
    "Carrier-grade NAT is indicated; alternative routes are unconfirmed.",
    "Possible double NAT; upstream forwarding is unconfirmed.",
};

constexpr std::u16string_view kKoreanReasons[kReasonCount] = {
    u"활성 네트워크 경로가 없습니다.",
    u"관련된 모든 경로에 차단 정책이 확인됐습니다.",
    u"직접 공유에 필요한 일부 조건을 확인하지 못했습니다.",
    u"이 PC에 공인 IPv4 주소가 직접 할당돼 있습니다.",
    u"공인 IPv4가 할당됐으나 외부 주소 일치는 확인되지 않았습니다.",
    u"공인 IPv6 경로를 확인했습니다. 받는 쪽에도 IPv6가 필요할 수 있습니다.",
    u"공유기의 UPnP WAN 주소와 외부에서 관측한 공인 주소가 일치합니다.",
    u"공유기의 NAT-PMP 주소와 외부에서 관측한 주소가 일치합니다.",
    u"공유기가 PCP에 응답했고 주소가 일치합니다.",
    u"공유기 주소는 일치하지만 자동 포트 설정은 확인되지 않았습니다.",
    u"공유기 서비스를 찾았지만 외부 주소는 확인되지 않았습니다.",
    u"통신사 NAT가 감지됐으며 대체 경로는 확인되지 않았습니다.",
    u"이중 NAT 가능성이 있으며 상위 포트 전달은 확인되지 않았습니다.",
};

bool IsListed(LanguageId language) { return Index(language) >= 0 && Index(language) < kLanguageCount; }

bool IsTranslated(LanguageId language) {
  return Index(language) > Index(LanguageId::Korean) && Index(language) < kLanguageCount;
}

// The translations start with Japanese.
const LanguageTexts& Translation(LanguageId language) {
  return kTranslations[Index(language) - Index(LanguageId::Japanese)];
}

}  // namespace

std::string_view LanguageCode(LanguageId language) {
  if (!IsListed(language)) return {};
  return kLanguages[Index(language)].code;
}

std::u16string_view NativeName(LanguageId language) {
  if (!IsListed(language)) return {};
  return kLanguages[Index(language)].nativeName;
}

std::u16string TextFor(LanguageId language, TextId id) {
  const int row = Index(id);
  if (row < 0 || row >= kTextRowCount) return {};
  if (language == LanguageId::Korean) return std::u16string(kKoreanRows[row]);
  if (IsTranslated(language)) {
    const std::u16string_view translated = Translation(language).rows[row];
    if (!translated.empty()) return std::u16string(translated);
  }
  return std::u16string(kEnglishRows[row]);
}

std::u16string ReasonFor(LanguageId language, ReasonId id) {
  const int sentence = Index(id);
  if (sentence < 0 || sentence >= kReasonCount) return {};
  if (language == LanguageId::Korean) return std::u16string(kKoreanReasons[sentence]);
  if (IsTranslated(language)) {
    // Every translation is complete; an empty sentence would still be better shown in English
    // than as a blank reason line.
    const std::u16string_view translated = Translation(language).reasons[sentence];
    if (!translated.empty()) return std::u16string(translated);
  }
  return Utf8ToUtf16(kEnglishReasons[sentence]);
}

void WriteRow(const TextSink& write, LanguageId language, TextId id) {
  write(TextFor(language, id) + u"\n");
}

}  // namespace talvo
