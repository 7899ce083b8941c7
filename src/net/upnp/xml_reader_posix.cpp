// libxml2's xmlTextReader, set up to match XmlLite with DTD processing prohibited: no
// network, no entity substitution, no DTD loading, and a document type declaration fails
// the read.
#include <libxml/xmlerror.h>
#include <libxml/xmlreader.h>

#include <cstdint>
#include <memory>
#include <string>

#include "net/upnp/xml_reader.h"
#include "os/utf.h"

namespace talvo {

struct XmlPullReader::Platform {
  std::string bytes;  // libxml2 reads the memory in place, so it must outlive the reader
  xmlTextReaderPtr reader = nullptr;
  bool errorReported = false;

  Platform() = default;
  Platform(const Platform&) = delete;
  Platform& operator=(const Platform&) = delete;
  ~Platform() {
    if (reader != nullptr) xmlFreeTextReader(reader);
  }
};

namespace {

// libxml2 prints its diagnostics to stderr unless a handler takes them; the program shows
// nothing but its screens. Recoverable errors (an undeclared namespace prefix, for one)
// still count, except libxml2's doubts about a namespace name as a URI: a namespace name is
// only compared, never resolved, and a well-formed document with a blank after its device
// namespace is still a router's description.
void KeepError(void* context, xmlErrorPtr error) {
  if (error == nullptr || error->level < XML_ERR_ERROR) return;
  if (error->domain == XML_FROM_NAMESPACE &&
      (error->code == XML_WAR_NS_URI || error->code == XML_WAR_NS_URI_RELATIVE)) {
    return;
  }
  *static_cast<bool*>(context) = true;
}

// Some failures never reach the reader's handler: a byte sequence the declared encoding
// cannot convert is reported through libxml2's generic channel, which prints to stderr. The
// read still fails on its own, so the message is simply dropped.
void DropMessage(void*, const char*, ...) {}

std::u16string Text(const xmlChar* utf8) {
  if (utf8 == nullptr) return {};
  return Utf8ToUtf16(reinterpret_cast<const char*>(utf8));
}

}  // namespace

void XmlPullReader::PlatformDeleter::operator()(Platform* platform) const { delete platform; }

XmlPullReader::Platform* XmlPullReader::OpenPlatform(std::string_view document) {
  if (document.size() > static_cast<std::size_t>(INT32_MAX)) return nullptr;
  xmlInitParser();  // idempotent; libxml2 asks for it before use from a worker thread
  xmlSetGenericErrorFunc(nullptr, DropMessage);  // per thread in libxml2: set on every open
  std::unique_ptr<Platform, PlatformDeleter> platform(new Platform);
  platform->bytes.assign(document);
  constexpr int kOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
  platform->reader = xmlReaderForMemory(platform->bytes.data(),
                                        static_cast<int>(platform->bytes.size()), nullptr,
                                        nullptr, kOptions);
  if (platform->reader == nullptr) return nullptr;
  xmlTextReaderSetStructuredErrorHandler(platform->reader, KeepError,
                                         &platform->errorReported);
  return platform.release();
}

XmlNodeKind XmlPullReader::ReadPlatformNode(Platform& platform, XmlNode& node,
                                            bool& emptyElement) {
  const int status = xmlTextReaderRead(platform.reader);
  if (status < 0 || platform.errorReported) return XmlNodeKind::Error;
  if (status == 0) return XmlNodeKind::End;
  switch (xmlTextReaderNodeType(platform.reader)) {
    case XML_READER_TYPE_ELEMENT: {
      const int empty = xmlTextReaderIsEmptyElement(platform.reader);
      const xmlChar* name = xmlTextReaderConstLocalName(platform.reader);
      if (empty < 0 || name == nullptr) return XmlNodeKind::Error;
      emptyElement = empty == 1;
      node.localName = Text(name);
      return XmlNodeKind::ElementStart;
    }
    case XML_READER_TYPE_END_ELEMENT: {
      const xmlChar* name = xmlTextReaderConstLocalName(platform.reader);
      if (name == nullptr) return XmlNodeKind::Error;
      node.localName = Text(name);
      return XmlNodeKind::ElementEnd;
    }
    case XML_READER_TYPE_TEXT:
    case XML_READER_TYPE_CDATA: {
      const xmlChar* value = xmlTextReaderConstValue(platform.reader);
      if (value == nullptr) return XmlNodeKind::Error;
      node.value = Text(value);
      return XmlNodeKind::Text;
    }
    // Anything a document type declaration brings along fails the document.
    case XML_READER_TYPE_DOCUMENT_TYPE:
    case XML_READER_TYPE_ENTITY_REFERENCE:
    case XML_READER_TYPE_ENTITY:
    case XML_READER_TYPE_NOTATION:
    case XML_READER_TYPE_END_ENTITY:
      return XmlNodeKind::Error;
    default:
      return XmlNodeKind::Other;
  }
}

}  // namespace talvo
