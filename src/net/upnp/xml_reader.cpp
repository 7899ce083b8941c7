#include "net/upnp/xml_reader.h"

#include "net/upnp/xml_syntax.h"

namespace talvo {

XmlPullReader::XmlPullReader(std::string_view document, std::size_t maxTextUnits)
    : platform_(OpenPlatform(document)),
      maxTextUnits_(maxTextUnits),
      wellFormed_(IsWellFormedXml(document)),
      // Every node a reader reports consumes at least one byte of input; a reader that keeps
      // reporting nodes past that has stopped advancing (Wine's XmlLite does so on an
      // unterminated comment), and the scan must not spin on it.
      nodesLeft_(document.size() + 8) {}

XmlPullReader::~XmlPullReader() = default;

XmlNodeKind XmlPullReader::Next(XmlNode& node) {
  node = XmlNode{};
  if (final_ == XmlNodeKind::End || final_ == XmlNodeKind::Error) {
    node.kind = final_;
    return final_;
  }
  if (endPending_) {
    endPending_ = false;
    node = std::move(pendingEnd_);
    return node.kind;
  }
  bool emptyElement = false;
  XmlNodeKind kind = XmlNodeKind::Error;
  if (wellFormed_ && platform_ && nodesLeft_ > 0) {
    --nodesLeft_;
    kind = ReadPlatformNode(*platform_, node, emptyElement);
  }
  // The platform readers disagree on the depth of an end tag (XmlLite puts it one level
  // below its start tag), so depth is counted here from the node stream itself.
  switch (kind) {
    case XmlNodeKind::ElementStart:
      anyElement_ = true;
      node.depth = openElements_;
      if (emptyElement) {
        endPending_ = true;
        pendingEnd_ = XmlNode{XmlNodeKind::ElementEnd, node.localName, node.depth, {}};
      } else {
        ++openElements_;
      }
      break;
    case XmlNodeKind::ElementEnd:
      if (openElements_ == 0) {
        kind = XmlNodeKind::Error;
        break;
      }
      node.depth = --openElements_;
      break;
    case XmlNodeKind::Text:
      if (node.value.size() > maxTextUnits_) kind = XmlNodeKind::Error;
      break;
    case XmlNodeKind::Other:
      break;
    case XmlNodeKind::End:
      // A clean end needs a root element, and all of it: some readers report the end of
      // input as a normal end even with elements still open or none seen at all.
      if (!anyElement_ || openElements_ != 0) kind = XmlNodeKind::Error;
      final_ = kind;
      break;
    case XmlNodeKind::Error:
      final_ = kind;
      break;
  }
  if (kind == XmlNodeKind::Error) {
    final_ = kind;
    node = XmlNode{};
  }
  node.kind = kind;
  return kind;
}

}  // namespace talvo
