#pragma once
// The reason sentences a verdict can name. The verdict rules decide them; the catalogue only
// translates them, by these numbers.

namespace talvo {

enum class ReasonId : int {
  NoActiveRoute,
  BlockingPolicyConfirmed,  // no verdict rule picks it
  RequirementsUnchecked,
  DirectPublicIpv4,
  LocalPublicIpv4Unconfirmed,
  PublicIpv6Route,
  UpnpAddressMatches,
  NatPmpAddressMatches,
  PcpAddressMatches,
  RouterAddressMatchesUnmapped,
  RouterServiceFound,
  CarrierGradeNat,
  DoubleNat,
};
constexpr int kReasonCount = static_cast<int>(ReasonId::DoubleNat) + 1;

constexpr int Index(ReasonId id) { return static_cast<int>(id); }

}  // namespace talvo
