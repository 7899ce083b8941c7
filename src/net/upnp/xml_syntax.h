#pragma once
// Whether a router's document is well-formed XML with well-formed namespaces, decided on its
// bytes. The platform readers disagree at the edges: Wine's XmlLite passes an unescaped '&',
// unknown entity references, control characters, undeclared prefixes, repeated attributes and
// a document cut off inside its root, while libxml2 refuses them. Every document passes this
// check as well as its platform reader, so both platforms refuse the same documents.
#include <string_view>

namespace talvo {

// Accepted encodings: UTF-8 (with or without a byte-order mark), UTF-16 with its byte-order
// mark, and ISO-8859-1 or US-ASCII when the XML declaration names them. A document type
// declaration, any character reference or entity other than the five predefined ones, a
// character XML does not allow, and more than kMaxXmlDepth nested elements are refused.
bool IsWellFormedXml(std::string_view document);

// The deepest nesting read; deeper documents are hostile rather than descriptive.
constexpr unsigned kMaxXmlDepth = 256;

}  // namespace talvo
