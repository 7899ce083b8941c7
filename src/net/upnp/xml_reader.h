#pragma once
// A forward-only pull reader over one XML document in memory, the same node stream on every
// platform (XmlLite on Windows, libxml2's xmlTextReader elsewhere). The acceptance rules of
// the router's documents are written once against this stream.
//
// Depth: the root element is at depth 0, and an end tag reports the depth of its own start
// tag. An empty-element tag (<a/>) is an ElementStart followed at once by its ElementEnd,
// although neither platform reader reports an end for it: an element written that way has
// ended, and a rule that waits for its end must see it.
//
// Acceptance: a document reads to End only when it is well-formed (IsWellFormedXml) and the
// platform reader, too, read it to its end; either one's refusal is an Error.
//
// Safety: the reader never touches the network or the file system, substitutes no entities
// of its own, and fails on any document type declaration.
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
  Other,  // declaration, comment, processing instruction, whitespace between elements
  End,    // the document ended cleanly, its root element closed
  Error,  // malformed, a document type declaration, an over-long text node, a reader failure
};

struct XmlNode {
  XmlNodeKind kind = XmlNodeKind::Other;
  std::u16string localName;  // element start and end only; the namespace prefix is dropped
  std::uint32_t depth = 0;   // element start and end only
  std::u16string value;      // text only
};

class XmlPullReader {
 public:
  // Reads from its own copy of `document`. A text or CDATA node longer than `maxTextUnits`
  // UTF-16 units is an Error. A reader that could not be set up reports Error on its first
  // Next().
  XmlPullReader(std::string_view document, std::size_t maxTextUnits);
  ~XmlPullReader();
  XmlPullReader(const XmlPullReader&) = delete;
  XmlPullReader& operator=(const XmlPullReader&) = delete;

  // Fills `node` with the next node and returns its kind. After End or Error it keeps
  // returning the same kind.
  XmlNodeKind Next(XmlNode& node);

 private:
  // The platform file's part: open the platform reader over a copy of the bytes (null on
  // failure), and translate its next node. Element starts say whether they were written as
  // an empty-element tag; depth and the text bound are applied here, the same on every
  // platform.
  struct Platform;
  struct PlatformDeleter {
    void operator()(Platform* platform) const;
  };
  static Platform* OpenPlatform(std::string_view document);
  static XmlNodeKind ReadPlatformNode(Platform& platform, XmlNode& node, bool& emptyElement);

  std::unique_ptr<Platform, PlatformDeleter> platform_;
  std::size_t maxTextUnits_;
  bool wellFormed_;
  bool endPending_ = false;  // the end of the empty-element tag just reported
  XmlNode pendingEnd_;
  std::uint32_t openElements_ = 0;
  bool anyElement_ = false;
  std::size_t nodesLeft_;
  XmlNodeKind final_ = XmlNodeKind::Other;  // End or Error once reached
};

}  // namespace talvo
