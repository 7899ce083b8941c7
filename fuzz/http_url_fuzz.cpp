// URLs reach the client from the router's answers: the target built from any text is either
// refused or names a host and an object path that starts at "/" and carries no fragment, no
// blank or control unit, and no user information.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "net/http/http_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  }
  for (const talvo::HttpProfile* profile : {&talvo::PublicEchoGet, &talvo::GatewayControlPost}) {
    talvo::HttpTarget target;
    if (talvo::BuildHttpTarget(*profile, text, target)) {
      if (target.host.empty() || target.port == 0 || target.objectPath.empty() ||
          target.objectPath.front() != u'/' ||
          target.objectPath.find(u'#') != std::u16string::npos ||
          target.secure != profile->requireHttps) {
        std::abort();
      }
      // Nothing that could end or split the request line or the Host header, and no user
      // information left in the host.
      for (char16_t unit : target.host + target.objectPath) {
        if (unit <= 0x20 || unit == 0x7F) std::abort();
      }
      if (target.host.find_first_of(u"@/?#") != std::u16string::npos) std::abort();
    }
  }
  std::vector<std::string> lines;
  if (talvo::SplitHeaderLines(text, lines)) {
    for (const std::string& line : lines) {
      for (char c : line) {
        if (c == '\r' || c == '\n' || c == '\0') std::abort();
      }
    }
  }
  return 0;
}
