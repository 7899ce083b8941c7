#pragma once
#include <cstdlib>

namespace talvo::fuzz {

// A broken property must stop the fuzzer with the input that broke it, in every build type.
inline void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace talvo::fuzz
