// Properties of the PCP answer classifier over arbitrary datagrams. The input is copied into a
// buffer of exactly its length, so AddressSanitizer stops any read past the received bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "net/natpmp_pcp/pcp.h"
#include "fuzz_support.h"

using talvo::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using talvo::PcpStatus;
  const std::vector<std::uint8_t> datagram(data, data + size);
  const auto status = talvo::ClassifyPcpAnswer(datagram.data(), datagram.size());
  const bool acceptable = size >= 24 && data[0] == 2 && data[1] == 0x80 && data[2] == 0;
  Require(status.has_value() == acceptable);
  if (!status) return 0;
  // Only the result code decides, and an answer never reads as silence or cancellation.
  Require(*status == talvo::PcpStatusForResultCode(data[3]));
  Require(*status != PcpStatus::NoResponse && *status != PcpStatus::Cancelled);
  Require((*status == PcpStatus::Supported) == (data[3] == 0));
  Require((*status == PcpStatus::Denied) == (data[3] == 2));
  Require((*status == PcpStatus::Unsupported) == (data[3] == 1 || data[3] == 4));
  // The 24-byte header is all that counts.
  const auto head = talvo::ClassifyPcpAnswer(datagram.data(), 24);
  Require(head == status);
  return 0;
}
