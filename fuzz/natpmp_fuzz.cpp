// Properties of the NAT-PMP answer classifier over arbitrary datagrams. The input is copied into
// a buffer of exactly its length, so AddressSanitizer stops any read past the received bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "net/natpmp_pcp/natpmp.h"
#include "fuzz_support.h"

using talvo::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using talvo::NatPmpStatus;
  const std::vector<std::uint8_t> datagram(data, data + size);
  const auto answer = talvo::ClassifyNatPmpAnswer(datagram.data(), datagram.size());
  if (!answer) {
    // Ignored: so never a full success with a real address, nor any refusal.
    const bool header = size >= 8 && data[0] == 0 && data[1] == 128;
    Require(!header || (data[2] == 0 && data[3] == 0));
    if (header && size >= 12) {
      std::uint32_t address = 0;
      std::memcpy(&address, data + 8, 4);
      Require(address == 0);
    }
    return 0;
  }
  Require(size >= 8 && data[0] == 0 && data[1] == 128);
  if (answer->status == NatPmpStatus::RouterRefused) {
    Require(data[2] != 0 || data[3] != 0);
    Require(answer->externalAddress == 0);
  } else {
    Require(answer->status == NatPmpStatus::AddressReceived);
    Require(size >= 12 && data[2] == 0 && data[3] == 0);
    Require(answer->externalAddress != 0);
    Require(std::memcmp(&answer->externalAddress, data + 8, 4) == 0);
  }
  // Bytes past the 12 that matter never change the verdict.
  if (size > 12) {
    const auto head = talvo::ClassifyNatPmpAnswer(datagram.data(), 12);
    Require(head && head->status == answer->status &&
            head->externalAddress == answer->externalAddress);
  }
  return 0;
}
