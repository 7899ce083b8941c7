#pragma once
// How bytes that came from the network reach the rules that read UTF-16 text.
#include <string>
#include <string_view>

namespace talvo {

// No character set is decoded: each byte becomes the one unit of the same value, 0x00 to 0xFF,
// so a byte outside ASCII stays outside it for the rule that refuses it.
std::u16string UnitsFromNetworkBytes(std::string_view bytes);

}  // namespace talvo
