#include "net/network_bytes.h"

namespace talvo {

std::u16string UnitsFromNetworkBytes(std::string_view bytes) {
  std::u16string units;
  units.reserve(bytes.size());
  for (const char byte : bytes) units.push_back(static_cast<unsigned char>(byte));
  return units;
}

}  // namespace talvo
