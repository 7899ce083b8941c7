// The XML reader against libxml2's xmlTextReader (no DTD loading, no network, no entity
// substitution) on any bytes: it never crashes or spins, reads at most 2n + 1 nodes from n
// bytes, never accepts a document that libxml2 refuses (libxml2's doubts about a namespace
// name as a URI aside), and where both accept, both report the same elements with the same
// local names and depths, and the same texts between them.
//
// Texts are compared as the rules read them: every text and CDATA node between two element
// events joined into one, empty joins dropped. Blank-only runs are not text to either side
// (libxml2 reports them as whitespace nodes, the reader as Other nodes), so they are left out
// of both. Line ends: the reader reads "\r\n" and a lone "\r" as "\n" everywhere, as XML asks
// of every processor before parsing; libxml2 2.9 leaves them as written inside a CDATA section,
// so its CDATA values are folded the same way before the comparison. The reader may refuse more
// than libxml2: it is the stricter of the two.
#include <libxml/xmlerror.h>
#include <libxml/xmlreader.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "net/upnp/xml_reader.h"
#include "os/utf.h"
#include "fuzz_support.h"

using talvo::fuzz::Require;

namespace {

// One line per element start or end ("<" or "/", the depth, the local name), one per joined
// text ("'" and the text).
class Events {
 public:
  void Element(bool start, std::uint32_t depth, std::u16string_view name) {
    Flush();
    std::u16string line(start ? u"<" : u"/");
    for (char digit : std::to_string(depth)) line.push_back(static_cast<char16_t>(digit));
    line.push_back(u' ');
    line.append(name);
    lines_.push_back(std::move(line));
  }
  void Text(std::u16string_view text) { text_.append(text); }
  std::vector<std::u16string> Done() {
    Flush();
    return std::move(lines_);
  }

 private:
  void Flush() {
    if (!text_.empty()) lines_.push_back(u"'" + text_);
    text_.clear();
  }
  std::vector<std::u16string> lines_;
  std::u16string text_;
};

void DropMessage(void*, const char*, ...) {}

void KeepError(void* context, xmlErrorPtr error) {
  if (error == nullptr || error->level < XML_ERR_ERROR) return;
  if (error->domain == XML_FROM_NAMESPACE &&
      (error->code == XML_WAR_NS_URI || error->code == XML_WAR_NS_URI_RELATIVE)) {
    return;
  }
  *static_cast<bool*>(context) = true;
}

std::u16string FromLibxml(const xmlChar* utf8) {
  return utf8 == nullptr ? std::u16string() : talvo::Utf8ToUtf16(reinterpret_cast<const char*>(utf8));
}

std::u16string FoldLineEnds(std::u16string_view text) {
  std::u16string folded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;
    folded.push_back(text[i] == u'\r' ? u'\n' : text[i]);
  }
  return folded;
}

bool LibxmlReads(std::string_view document, std::vector<std::u16string>& lines) {
  xmlSetGenericErrorFunc(nullptr, DropMessage);
  xmlTextReaderPtr reader =
      xmlReaderForMemory(document.data(), static_cast<int>(document.size()), nullptr, nullptr,
                         XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (reader == nullptr) return false;
  bool error = false;
  xmlTextReaderSetStructuredErrorHandler(reader, KeepError, &error);
  Events events;
  int status = 1;
  while (!error && (status = xmlTextReaderRead(reader)) == 1) {
    const auto depth = static_cast<std::uint32_t>(xmlTextReaderDepth(reader));
    switch (xmlTextReaderNodeType(reader)) {
      case XML_READER_TYPE_ELEMENT: {
        const std::u16string name = FromLibxml(xmlTextReaderConstLocalName(reader));
        events.Element(true, depth, name);
        if (xmlTextReaderIsEmptyElement(reader) == 1) events.Element(false, depth, name);
        break;
      }
      case XML_READER_TYPE_END_ELEMENT:
        events.Element(false, depth, FromLibxml(xmlTextReaderConstLocalName(reader)));
        break;
      case XML_READER_TYPE_TEXT:
        events.Text(FromLibxml(xmlTextReaderConstValue(reader)));
        break;
      case XML_READER_TYPE_CDATA:
        events.Text(FoldLineEnds(FromLibxml(xmlTextReaderConstValue(reader))));
        break;
      default:
        break;
    }
  }
  xmlFreeTextReader(reader);
  lines = events.Done();
  return !error && status == 0;
}

bool ReaderReads(std::string_view document, std::vector<std::u16string>& lines) {
  talvo::XmlPullReader reader(document, static_cast<std::size_t>(-1));
  talvo::XmlNode node;
  Events events;
  const std::size_t bound = 2 * document.size() + 1;
  for (std::size_t read = 0; read <= bound; ++read) {
    switch (reader.Next(node)) {
      case talvo::XmlNodeKind::ElementStart:
        events.Element(true, node.depth, node.localName);
        break;
      case talvo::XmlNodeKind::ElementEnd:
        events.Element(false, node.depth, node.localName);
        break;
      case talvo::XmlNodeKind::Text:
        events.Text(node.value);
        break;
      case talvo::XmlNodeKind::Other:
        break;
      case talvo::XmlNodeKind::End:
        lines = events.Done();
        return true;
      case talvo::XmlNodeKind::Error:
        return false;
    }
  }
  Require(false);  // more nodes than the input can hold
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 65536) return 0;
  const std::string_view document(reinterpret_cast<const char*>(data), size);
  std::vector<std::u16string> ours;
  if (!ReaderReads(document, ours)) return 0;
  std::vector<std::u16string> theirs;
  Require(LibxmlReads(document, theirs));
  Require(ours == theirs);
  return 0;
}
