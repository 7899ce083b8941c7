#pragma once
#include <fstream>
#include <iterator>
#include <string>


// The router documents kept beside the tests, read as the bytes a router would send.
inline std::string ReadFixture(const std::string& name) {
  std::ifstream file(std::string(TALVO_UPNP_FIXTURES) + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}
