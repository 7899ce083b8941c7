// XmlLite over a shell memory stream holding a copy of the bytes, with DTD processing
// prohibited so that a document type declaration fails the read.
#include <windows.h>
#include <objidl.h>
#include <shlwapi.h>
#include <xmllite.h>

#include <climits>
#include <memory>
#include <string>

#include "net/upnp/xml_reader.h"

namespace talvo {
namespace {

// Holds one COM reference and releases it on every path.
template <typename T>
class ComOwner {
 public:
  ComOwner() = default;
  explicit ComOwner(T* object) : object_(object) {}
  ~ComOwner() {
    if (object_ != nullptr) object_->Release();
  }
  ComOwner(const ComOwner&) = delete;
  ComOwner& operator=(const ComOwner&) = delete;
  T* get() const { return object_; }
  T** out() { return &object_; }  // only on an empty owner

 private:
  T* object_ = nullptr;
};

std::u16string Units(const WCHAR* text, UINT length) {
  if (text == nullptr) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

}  // namespace

struct XmlPullReader::Platform {
  ComOwner<IStream> stream;      // released after the reader that reads it
  ComOwner<IXmlReader> reader;
};

void XmlPullReader::PlatformDeleter::operator()(Platform* platform) const { delete platform; }

XmlPullReader::Platform* XmlPullReader::OpenPlatform(std::string_view document) {
  if (document.size() > UINT_MAX) return nullptr;
  std::unique_ptr<Platform, PlatformDeleter> platform(new Platform);
  IStream* stream = SHCreateMemStream(reinterpret_cast<const BYTE*>(document.data()),
                                      static_cast<UINT>(document.size()));
  if (stream == nullptr) return nullptr;
  *platform->stream.out() = stream;
  if (FAILED(CreateXmlReader(__uuidof(IXmlReader),
                             reinterpret_cast<void**>(platform->reader.out()), nullptr)) ||
      platform->reader.get() == nullptr) {
    return nullptr;
  }
  if (FAILED(platform->reader.get()->SetProperty(XmlReaderProperty_DtdProcessing,
                                                 DtdProcessing_Prohibit)) ||
      FAILED(platform->reader.get()->SetInput(platform->stream.get()))) {
    return nullptr;
  }
  return platform.release();
}

XmlNodeKind XmlPullReader::ReadPlatformNode(Platform& platform, XmlNode& node,
                                            bool& emptyElement) {
  IXmlReader* reader = platform.reader.get();
  XmlNodeType type = XmlNodeType_None;
  const HRESULT status = reader->Read(&type);
  if (status == S_FALSE) return XmlNodeKind::End;
  if (status != S_OK) return XmlNodeKind::Error;
  const WCHAR* text = nullptr;
  UINT length = 0;
  switch (type) {
    case XmlNodeType_Element:
      if (FAILED(reader->GetLocalName(&text, &length))) return XmlNodeKind::Error;
      node.localName = Units(text, length);
      emptyElement = reader->IsEmptyElement() != FALSE;
      return XmlNodeKind::ElementStart;
    case XmlNodeType_EndElement:
      if (FAILED(reader->GetLocalName(&text, &length))) return XmlNodeKind::Error;
      node.localName = Units(text, length);
      return XmlNodeKind::ElementEnd;
    case XmlNodeType_Text:
    case XmlNodeType_CDATA:
      if (FAILED(reader->GetValue(&text, &length))) return XmlNodeKind::Error;
      node.value = Units(text, length);
      return XmlNodeKind::Text;
    case XmlNodeType_DocumentType:
      return XmlNodeKind::Error;
    default:
      return XmlNodeKind::Other;
  }
}

}  // namespace talvo
