#pragma once
// A forward-only pull reader over one XML document in memory, strict and namespace-aware, the
// same code on every platform. The acceptance rules of the router's documents are written once
// against its node stream.
//
// Depth: the root element is at depth 0, and an end tag reports the depth of its own start
// tag. An empty-element tag (<a/>) is an ElementStart followed at once by its ElementEnd: an
// element written that way has ended, and a rule that waits for its end must see it.
//
// Text: a run of character data and references between two pieces of markup is one Text node,
// its references replaced and its line ends read as "\n"; a CDATA section is a Text node of its
// own. A run of blanks alone is an Other node, not Text.
//
// Acceptance: a document reads to End only when it is well-formed XML with well-formed
// namespaces, in an accepted encoding: UTF-8 (with or without a byte-order mark), UTF-16 with
// its byte-order mark, or ISO-8859-1 or US-ASCII when the XML declaration names them; a
// declared encoding must agree with the byte-order mark. Refused, as an Error: a document type
// declaration, any entity other than the five predefined ones, a character XML does not allow,
// more than kMaxXmlDepth nested elements and an over-long text node. Nodes read before an
// Error belong to a document that was refused.
//
// Safety: the reader never touches the network or the file system and reads no document type
// declaration. Every node but an empty element's end consumes input, so a document of n
// characters gives at most 2n + 1 nodes before its End or Error.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace talvo {

enum class XmlNodeKind : int {
  ElementStart,
  ElementEnd,
  Text,   // character data or CDATA, in `value`
  Other,  // declaration, comment, processing instruction, blanks between elements
  End,    // the document ended cleanly, its root element closed
  Error,  // malformed, a document type declaration, an over-long text node
};

struct XmlNode {
  XmlNodeKind kind = XmlNodeKind::Other;
  std::u16string localName;  // element start and end only; the namespace prefix is dropped
  std::uint32_t depth = 0;   // element start and end only
  std::u16string value;      // text only
};

// The deepest nesting read; deeper documents are hostile rather than descriptive.
constexpr unsigned kMaxXmlDepth = 256;

class XmlPullReader {
 public:
  // Reads from its own decoded copy of `document`. A text or CDATA node longer than
  // `maxTextUnits` UTF-16 units is an Error.
  XmlPullReader(std::string_view document, std::size_t maxTextUnits);
  ~XmlPullReader();
  XmlPullReader(const XmlPullReader&) = delete;
  XmlPullReader& operator=(const XmlPullReader&) = delete;

  // Fills `node` with the next node and returns its kind. After End or Error it keeps
  // returning the same kind.
  XmlNodeKind Next(XmlNode& node);

 private:
  class Parser;
  std::unique_ptr<Parser> parser_;
};

}  // namespace talvo
