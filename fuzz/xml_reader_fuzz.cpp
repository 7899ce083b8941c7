// The portable well-formedness check against libxml2 on any bytes: it never crashes or spins,
// gives the same answer twice, and never accepts a document that libxml2 refuses (libxml2's
// doubts about a namespace name as a URI aside, which the Linux reader does not count either).
// It may refuse more: it is the stricter of the two answers on every platform.
#include <libxml/xmlerror.h>
#include <libxml/xmlreader.h>

#include <cstdint>
#include <string_view>

#include "net/upnp/xml_syntax.h"
#include "fuzz_support.h"

using talvo::fuzz::Require;

namespace {

void DropMessage(void*, const char*, ...) {}

void KeepError(void* context, xmlErrorPtr error) {
  if (error == nullptr || error->level < XML_ERR_ERROR) return;
  if (error->domain == XML_FROM_NAMESPACE &&
      (error->code == XML_WAR_NS_URI || error->code == XML_WAR_NS_URI_RELATIVE)) {
    return;
  }
  *static_cast<bool*>(context) = true;
}

bool LibxmlReadsToTheEnd(std::string_view document) {
  xmlSetGenericErrorFunc(nullptr, DropMessage);
  xmlTextReaderPtr reader =
      xmlReaderForMemory(document.data(), static_cast<int>(document.size()), nullptr, nullptr,
                         XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (reader == nullptr) return false;
  bool error = false;
  xmlTextReaderSetStructuredErrorHandler(reader, KeepError, &error);
  int status = 1;
  while (!error && (status = xmlTextReaderRead(reader)) == 1) {
  }
  xmlFreeTextReader(reader);
  return !error && status == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 65536) return 0;
  const std::string_view document(reinterpret_cast<const char*>(data), size);
  const bool accepted = talvo::IsWellFormedXml(document);
  Require(accepted == talvo::IsWellFormedXml(document));
  if (accepted) Require(LibxmlReadsToTheEnd(document));
  return 0;
}
