#pragma once
#include <fstream>
#include <iterator>
#include <string>

#include "support/wine.h"

// The router documents kept beside the tests, read as the bytes a router would send.
inline std::string ReadFixture(const std::string& name) {
  std::ifstream file(std::string(TALVO_UPNP_FIXTURES) + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Wine 8's XmlLite reads some malformed documents as if they were whole: it closes the
// elements still open at the end of input and passes undeclared entity references, invalid
// characters and repeated attributes through as they are. Windows' own XmlLite refuses them.
inline bool XmlLiteIsWines() { return talvo::test::UnderWine(); }

#define SKIP_WHERE_XMLLITE_IS_LAX()                                                        \
  if (XmlLiteIsWines()) GTEST_SKIP() << "Wine's IXmlReader::Read accepts this malformed input"
