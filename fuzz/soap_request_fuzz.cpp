// Properties of the SOAP request builder for any service type a description could name: the
// headers are exactly the two fixed lines around the type (78 units plus the type, two CR LF
// ends and nothing else that could end a header), and the envelope is exactly 211 bytes plus
// the type, with the type written unchanged between the fixed halves.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "net/upnp/description.h"
#include "net/upnp/soap.h"
#include "fuzz_support.h"

using talvo::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace talvo;
  // The caller hands only ASCII types over, as the description parser guarantees.
  std::u16string type;
  for (std::size_t i = 0; i < size; ++i) type.push_back(static_cast<char16_t>(data[i] & 0x7F));

  const std::u16string headers = BuildGetExternalIpHeaders(type);
  Require(headers.size() == 78 + type.size());
  const std::u16string_view before = u"Content-Type: text/xml; charset=\"utf-8\"\r\nSOAPAction: \"";
  const std::u16string_view after = u"#GetExternalIPAddress\"\r\n";
  Require(std::u16string_view(headers).substr(0, before.size()) == before);
  Require(std::u16string_view(headers).substr(before.size(), type.size()) == type);
  Require(std::u16string_view(headers).substr(before.size() + type.size()) == after);

  const std::string body = BuildGetExternalIpBody(type);
  Require(body.size() == 211 + type.size());
  for (std::size_t i = 0; i < type.size(); ++i) {
    Require(static_cast<unsigned char>(body[186 + i]) == type[i]);
  }
  Require(body.compare(0, 5, "<?xml") == 0);
  Require(body.compare(body.size() - 25, 25, "\"/></s:Body></s:Envelope>") == 0);

  // A type the description parser would choose carries no byte that ends a line or the
  // attribute it sits in, so both outputs keep their shape.
  if (WanServicePreference(type) < kNotWanService) {
    std::size_t lineEnds = 0;
    for (char16_t unit : headers) lineEnds += unit == u'\n' ? 1 : 0;
    Require(lineEnds == 2);
    Require(body.find('\n') == std::string::npos);
    Require(body.find('"', 186) == 186 + type.size());
  }
  return 0;
}
