#pragma once
// The SOAP 1.1 GetExternalIPAddress request, exactly as it goes to the router.
#include <string>
#include <string_view>

namespace talvo {

// Content-Type and SOAPAction lines, each ending in CR LF: 78 UTF-16 units plus the service
// type.
std::u16string BuildGetExternalIpHeaders(std::u16string_view serviceType);

// The envelope, ASCII without a line break: 211 bytes plus the service type. The caller has
// made sure every unit of `serviceType` is ASCII.
std::string BuildGetExternalIpBody(std::u16string_view serviceType);

}  // namespace talvo
