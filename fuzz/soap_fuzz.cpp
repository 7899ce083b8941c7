// Properties of the SOAP answer parser on any bytes: it never crashes or spins, a refusal
// leaves the address 0, an accepted address is never 0.0.0.0, nothing over 256 KiB is read, and the same bytes give the
// same answer.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "net/http/http_client.h"
#include "net/upnp/external_address.h"
#include "fuzz_support.h"

using talvo::fuzz::Require;

namespace {

constexpr std::size_t kCapBytes = talvo::kMaxRouterBodyBytes;


}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace talvo;
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  std::uint32_t address = 0xFFFFFFFFu;
  const bool accepted = ParseExternalAddressResponse(body, address);
  // One byte over the cap, padded with blanks after what may be a whole answer: refused.
  if (size > 0 && data[size - 1] == ' ') {
    std::string padded(body);
    padded.resize(kCapBytes + 1, ' ');
    std::uint32_t over = 0xFFFFFFFFu;
    Require(!ParseExternalAddressResponse(padded, over) && over == 0);
  }
  if (!accepted) {
    Require(address == 0);
    return 0;
  }
  Require(address != 0);
  Require(size >= 1 && size <= kCapBytes);
  std::uint32_t again = 0;
  Require(ParseExternalAddressResponse(body, again) && again == address);
  return 0;
}
