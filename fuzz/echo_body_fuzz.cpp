// Address-echo answers come from servers on the internet: any bytes at all.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "net/address_rules.h"
#include "net/http/echo_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  std::uint32_t address = 0x01020304u;
  const bool accepted = talvo::ParseEchoBody(body, address);
  if (!accepted) {
    if (address != 0x01020304u) std::abort();  // written only on success
    return 0;
  }
  if (size == 0 || size > talvo::kMaxEchoBodyBytes || !talvo::IsPublicIpv4(address)) std::abort();
  // What was accepted is exactly the dotted form of the address, then only CR, LF or space.
  unsigned char bytes[4];
  std::memcpy(bytes, &address, sizeof bytes);
  std::string dotted;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) dotted.push_back('.');
    dotted += std::to_string(bytes[i]);
  }
  if (body.substr(0, dotted.size()) != dotted) std::abort();
  for (char rest : body.substr(dotted.size())) {
    if (rest != '\r' && rest != '\n' && rest != ' ') std::abort();
  }
  return 0;
}
