#include "net/upnp/xml_reader.h"

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace talvo {
namespace {

constexpr std::u32string_view kXmlNamespace = U"http://www.w3.org/XML/1998/namespace";
constexpr std::u32string_view kXmlnsNamespace = U"http://www.w3.org/2000/xmlns/";

bool IsXmlChar(char32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

bool IsSpace(char32_t c) { return c == 0x20 || c == 0x9 || c == 0xD || c == 0xA; }
bool IsDigit(char32_t c) { return c >= U'0' && c <= U'9'; }
bool IsHexDigit(char32_t c) {
  return IsDigit(c) || (c >= U'a' && c <= U'f') || (c >= U'A' && c <= U'F');
}
bool IsAsciiLetter(char32_t c) { return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z'); }

bool IsNameStartChar(char32_t c) {
  return IsAsciiLetter(c) || c == U':' || c == U'_' || (c >= 0xC0 && c <= 0xD6) ||
         (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) || (c >= 0x370 && c <= 0x37D) ||
         (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) ||
         (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) ||
         (c >= 0x3001 && c <= 0xD7FF) || (c >= 0xF900 && c <= 0xFDCF) ||
         (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

bool IsNameChar(char32_t c) {
  return IsNameStartChar(c) || IsDigit(c) || c == U'-' || c == U'.' || c == 0xB7 ||
         (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

std::u32string Lower(std::u32string_view text) {
  std::u32string lower(text);
  for (char32_t& c : lower) {
    if (c >= U'A' && c <= U'Z') c = c - U'A' + U'a';
  }
  return lower;
}

// ---- Bytes to characters, every one of them a character XML allows ----

bool DecodeUtf8(std::string_view bytes, std::u32string& out) {
  for (std::size_t i = 0; i < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    char32_t c = 0;
    std::size_t length = 0;
    if (lead < 0x80) {
      c = lead;
      length = 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      c = lead & 0x1Fu;
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      c = lead & 0x0Fu;
      length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      c = lead & 0x07u;
      length = 4;
    } else {
      return false;
    }
    if (length > bytes.size() - i) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0u) != 0x80u) return false;
      c = (c << 6) | (next & 0x3Fu);
    }
    // Overlong forms and surrogates are not UTF-8 at all.
    if ((length == 3 && c < 0x800) || (length == 4 && c < 0x10000) ||
        (c >= 0xD800 && c <= 0xDFFF) || !IsXmlChar(c)) {
      return false;
    }
    out.push_back(c);
    i += length;
  }
  return true;
}

bool DecodeUtf16(std::string_view bytes, bool littleEndian, std::u32string& out) {
  if (bytes.size() % 2 != 0) return false;
  const auto unitAt = [bytes, littleEndian](std::size_t i) {
    const auto first = static_cast<unsigned char>(bytes[i]);
    const auto second = static_cast<unsigned char>(bytes[i + 1]);
    return static_cast<char32_t>(littleEndian ? first | (second << 8) : (first << 8) | second);
  };
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    char32_t c = unitAt(i);
    if (c >= 0xDC00 && c <= 0xDFFF) return false;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (bytes.size() - i < 4) return false;
      const char32_t low = unitAt(i + 2);
      if (low < 0xDC00 || low > 0xDFFF) return false;
      c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    }
    if (!IsXmlChar(c)) return false;
    out.push_back(c);
  }
  return true;
}

bool DecodeSingleByte(std::string_view bytes, bool asciiOnly, std::u32string& out) {
  for (char byte : bytes) {
    const char32_t c = static_cast<unsigned char>(byte);
    if ((asciiOnly && c >= 0x80) || !IsXmlChar(c)) return false;
    out.push_back(c);
  }
  return true;
}

// Before anything else, "\r\n" and a lone "\r" are read as "\n".
void NormaliseLineEnds(std::u32string& text) {
  std::size_t out = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == U'\r' && i + 1 < text.size() && text[i + 1] == U'\n') continue;
    text[out++] = text[i] == U'\r' ? U'\n' : text[i];
  }
  text.resize(out);
}

void AppendUtf16(char32_t c, std::u16string& out) {
  if (c < 0x10000) {
    out.push_back(static_cast<char16_t>(c));
  } else {
    out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
  }
}

std::u16string Utf16(std::u32string_view text) {
  std::u16string out;
  for (char32_t c : text) AppendUtf16(c, out);
  return out;
}

std::u32string_view LocalPart(std::u32string_view qualifiedName) {
  const std::size_t colon = qualifiedName.find(U':');
  return colon == std::u32string_view::npos ? qualifiedName : qualifiedName.substr(colon + 1);
}

}  // namespace

// ---- The document, one forward pass with an explicit stack of open elements ----

class XmlPullReader::Parser {
 public:
  Parser(std::u32string text, std::size_t maxTextUnits)
      : text_(std::move(text)), maxTextUnits_(maxTextUnits) {}

  // Decodes the bytes and reads the XML declaration; a document that fails here reads as an
  // Error from its first node.
  static std::unique_ptr<Parser> Open(std::string_view document, std::size_t maxTextUnits) {
    std::u32string text;
    std::u32string bytesEncoding;
    const bool decoded = Decode(document, text, bytesEncoding);
    auto parser = std::make_unique<Parser>(std::move(text), maxTextUnits);
    if (!decoded || !parser->Declaration() ||
        (!parser->encoding_.empty() && parser->encoding_ != bytesEncoding)) {
      parser->final_ = XmlNodeKind::Error;
    }
    return parser;
  }

  XmlNodeKind Next(XmlNode& node) {
    node = XmlNode{};
    XmlNodeKind kind = final_;
    if (kind != XmlNodeKind::End && kind != XmlNodeKind::Error) {
      if (pendingEnd_) {
        pendingEnd_ = false;
        node.localName = std::move(pendingName_);
        node.depth = static_cast<std::uint32_t>(open_.size());
        kind = XmlNodeKind::ElementEnd;
      } else if (!open_.empty()) {
        kind = Content(node);
      } else {
        kind = rootSeen_ ? AfterRoot() : BeforeRoot(node);
      }
    }
    if (kind == XmlNodeKind::End || kind == XmlNodeKind::Error) {
      final_ = kind;
      node = XmlNode{};
    }
    node.kind = kind;
    return kind;
  }

 private:
  struct Binding {
    std::u32string_view prefix;
    std::u32string uri;
  };
  struct OpenElement {
    std::u32string_view qualifiedName;
    std::size_t bindings;  // the bindings in force outside this element
  };
  struct Attribute {
    std::u32string_view qualifiedName;
    std::u32string value;
  };

  // Bytes to characters: a byte-order mark names the encoding, else the declaration, read in
  // ASCII, does; `bytesEncoding` is the name a declaration may give alongside.
  static bool Decode(std::string_view document, std::u32string& text,
                     std::u32string& bytesEncoding) {
    bool decoded = false;
    if (document.substr(0, 3) == "\xEF\xBB\xBF") {
      decoded = DecodeUtf8(document.substr(3), text);
      bytesEncoding = U"utf-8";
    } else if (document.substr(0, 2) == "\xFF\xFE" || document.substr(0, 2) == "\xFE\xFF") {
      decoded = DecodeUtf16(document.substr(2), document[0] == '\xFF', text);
      bytesEncoding = U"utf-16";
    } else {
      std::u32string head;
      if (document.substr(0, 5) == "<?xml") {
        const std::size_t end = document.find("?>");
        if (end == std::string_view::npos ||
            !DecodeSingleByte(document.substr(0, end + 2), false, head)) {
          return false;
        }
      }
      Parser declaration(std::move(head), 0);
      if (!declaration.Declaration()) return false;
      bytesEncoding = declaration.encoding_;
      if (bytesEncoding.empty() || bytesEncoding == U"utf-8") {
        decoded = DecodeUtf8(document, text);
      } else if (bytesEncoding == U"iso-8859-1") {
        decoded = DecodeSingleByte(document, false, text);
      } else if (bytesEncoding == U"us-ascii") {
        decoded = DecodeSingleByte(document, true, text);
      }
    }
    if (decoded) NormaliseLineEnds(text);
    return decoded;
  }

  // The XML declaration at the very start, if any; `encoding_` holds its encoding name.
  bool Declaration() {
    if (!At(U"<?xml") || text_.size() < 6 || !IsSpace(text_[5])) return true;
    position_ = 5;
    std::u32string_view value;
    if (!Space() || !Skip(U"version") || !Equals() || !Quoted(value)) return false;
    if (value.size() < 3 || value.substr(0, 2) != U"1." ||
        !std::all_of(value.begin() + 2, value.end(), IsDigit)) {
      return false;
    }
    bool space = Space();
    if (space && Skip(U"encoding")) {
      if (!Equals() || !Quoted(value) || value.empty() || !IsAsciiLetter(value[0])) return false;
      for (char32_t c : value) {
        if (!IsAsciiLetter(c) && !IsDigit(c) && c != U'.' && c != U'_' && c != U'-') return false;
      }
      encoding_ = Lower(value);
      space = Space();
    }
    if (space && Skip(U"standalone")) {
      if (!Equals() || !Quoted(value) || (value != U"yes" && value != U"no")) return false;
      Space();
    }
    return Skip(U"?>");
  }

  // Comments, processing instructions and blanks before the root element, then its start.
  XmlNodeKind BeforeRoot(XmlNode& node) {
    Space();
    if (At(U"<!--")) return Comment() ? XmlNodeKind::Other : XmlNodeKind::Error;
    if (At(U"<?")) return ProcessingInstruction() ? XmlNodeKind::Other : XmlNodeKind::Error;
    // A document type declaration is never read: it could declare entities or a DTD.
    if (!At(U"<") || At(U"<!")) return XmlNodeKind::Error;
    return StartTag(node);
  }

  // Only comments, processing instructions and blanks may follow the root element.
  XmlNodeKind AfterRoot() {
    Space();
    if (position_ == text_.size()) return XmlNodeKind::End;
    if (At(U"<!--")) return Comment() ? XmlNodeKind::Other : XmlNodeKind::Error;
    if (At(U"<?")) return ProcessingInstruction() ? XmlNodeKind::Other : XmlNodeKind::Error;
    return XmlNodeKind::Error;
  }

  // Inside the root element: one piece of markup or one run of text.
  XmlNodeKind Content(XmlNode& node) {
    if (position_ >= text_.size()) return XmlNodeKind::Error;
    if (text_[position_] != U'<') return CharacterData(node);
    if (At(U"</")) return EndTag(node);
    if (At(U"<!--")) return Comment() ? XmlNodeKind::Other : XmlNodeKind::Error;
    if (Skip(U"<![CDATA[")) {
      const std::size_t end = text_.find(U"]]>", position_);
      if (end == std::u32string_view::npos) return XmlNodeKind::Error;
      node.value = Utf16(std::u32string_view(text_).substr(position_, end - position_));
      position_ = end + 3;
      return node.value.size() > maxTextUnits_ ? XmlNodeKind::Error : XmlNodeKind::Text;
    }
    if (At(U"<?")) return ProcessingInstruction() ? XmlNodeKind::Other : XmlNodeKind::Error;
    if (At(U"<!")) return XmlNodeKind::Error;
    return StartTag(node);
  }

  // Character data and references up to the next markup, in which "]]>" may not appear.
  XmlNodeKind CharacterData(XmlNode& node) {
    bool blank = true;
    while (position_ < text_.size() && text_[position_] != U'<') {
      char32_t c = text_[position_];
      if (c == U'&') {
        if (!Reference(c)) return XmlNodeKind::Error;
      } else {
        if (c == U']' && At(U"]]>")) return XmlNodeKind::Error;
        ++position_;
      }
      blank = blank && IsSpace(c);
      AppendUtf16(c, node.value);
    }
    if (blank) {
      node.value.clear();
      return XmlNodeKind::Other;
    }
    return node.value.size() > maxTextUnits_ ? XmlNodeKind::Error : XmlNodeKind::Text;
  }

  bool At(std::u32string_view token) const {
    return std::u32string_view(text_).substr(position_, token.size()) == token;
  }
  bool Skip(std::u32string_view token) {
    if (!At(token)) return false;
    position_ += token.size();
    return true;
  }
  bool Space() {
    const std::size_t start = position_;
    while (position_ < text_.size() && IsSpace(text_[position_])) ++position_;
    return position_ > start;
  }
  bool Equals() {
    Space();
    if (!Skip(U"=")) return false;
    Space();
    return true;
  }
  bool Quoted(std::u32string_view& value) {
    if (position_ >= text_.size() || (text_[position_] != U'"' && text_[position_] != U'\'')) {
      return false;
    }
    const char32_t quote = text_[position_++];
    const std::size_t end = text_.find(quote, position_);
    if (end == std::u32string_view::npos) return false;
    value = std::u32string_view(text_).substr(position_, end - position_);
    position_ = end + 1;
    return true;
  }

  bool Name(std::u32string_view& name) {
    const std::size_t start = position_;
    if (position_ >= text_.size() || !IsNameStartChar(text_[position_])) return false;
    ++position_;
    while (position_ < text_.size() && IsNameChar(text_[position_])) ++position_;
    name = std::u32string_view(text_).substr(start, position_ - start);
    return true;
  }

  // A name with at most one colon, and a name on both sides of it.
  bool QualifiedName(std::u32string_view& name) {
    if (!Name(name)) return false;
    const std::size_t colon = name.find(U':');
    if (colon == std::u32string_view::npos) return true;
    return colon != 0 && colon + 1 != name.size() && IsNameStartChar(name[colon + 1]) &&
           name.find(U':', colon + 1) == std::u32string_view::npos;
  }

  // One of the five predefined entities or a character reference to a character XML allows,
  // read into `c`. Digits stop being added once the value is past any character, so a long
  // reference cannot wrap around to an allowed one.
  bool Reference(char32_t& c) {
    ++position_;  // '&'
    c = 0;
    if (Skip(U"#x")) {
      const std::size_t start = position_;
      while (position_ < text_.size() && IsHexDigit(text_[position_]) && c <= 0x10FFFF) {
        const char32_t digit = text_[position_++];
        c = c * 16 + (IsDigit(digit) ? digit - U'0' : (digit | 0x20) - U'a' + 10);
      }
      if (position_ == start) return false;
    } else if (Skip(U"#")) {
      const std::size_t start = position_;
      while (position_ < text_.size() && IsDigit(text_[position_]) && c <= 0x10FFFF) {
        c = c * 10 + (text_[position_++] - U'0');
      }
      if (position_ == start) return false;
    } else {
      std::u32string_view name;
      if (!Name(name)) return false;
      if (name == U"lt") {
        c = U'<';
      } else if (name == U"gt") {
        c = U'>';
      } else if (name == U"amp") {
        c = U'&';
      } else if (name == U"apos") {
        c = U'\'';
      } else if (name == U"quot") {
        c = U'"';
      } else {
        return false;  // no entity is declared without a document type declaration
      }
    }
    return IsXmlChar(c) && Skip(U";");
  }

  bool Comment() {
    position_ += 4;  // "<!--"
    const std::size_t dashes = text_.find(U"--", position_);
    if (dashes == std::u32string_view::npos) return false;
    position_ = dashes + 2;
    return Skip(U">");  // "--" may only end a comment
  }

  bool ProcessingInstruction() {
    position_ += 2;  // "<?"
    std::u32string_view target;
    if (!Name(target) || Lower(target) == U"xml" || target.find(U':') != std::u32string_view::npos) {
      return false;
    }
    if (Skip(U"?>")) return true;
    if (!Space()) return false;
    const std::size_t end = text_.find(U"?>", position_);
    if (end == std::u32string_view::npos) return false;
    position_ = end + 2;
    return true;
  }

  const std::u32string* Lookup(std::u32string_view prefix) const {
    static const std::u32string xml(kXmlNamespace);
    if (prefix == U"xml") return &xml;
    for (auto binding = bindings_.rbegin(); binding != bindings_.rend(); ++binding) {
      if (binding->prefix == prefix) return &binding->uri;
    }
    return nullptr;
  }

  bool AttributeValue(std::u32string& value) {
    if (position_ >= text_.size() || (text_[position_] != U'"' && text_[position_] != U'\'')) {
      return false;
    }
    const char32_t quote = text_[position_++];
    while (position_ < text_.size() && text_[position_] != quote) {
      char32_t c = text_[position_];
      if (c == U'<') return false;
      if (c == U'&') {
        if (!Reference(c)) return false;
        value.push_back(c);
      } else {
        value.push_back(IsSpace(c) ? U' ' : c);
        ++position_;
      }
    }
    return Skip(std::u32string_view(&quote, 1));
  }

  // The namespace declarations of one start tag take effect for the tag itself.
  bool Declare(const std::vector<Attribute>& attributes) {
    for (const Attribute& attribute : attributes) {
      const std::u32string_view name = attribute.qualifiedName;
      if (name == U"xmlns") {
        if (attribute.value == kXmlNamespace || attribute.value == kXmlnsNamespace) return false;
        continue;
      }
      if (name.substr(0, 6) != U"xmlns:") continue;
      const std::u32string_view prefix = name.substr(6);
      // A prefix cannot be undeclared, "xmlns" cannot be bound, and the two reserved names
      // belong to their own prefixes only.
      if (attribute.value.empty() || prefix == U"xmlns" ||
          (prefix == U"xml") != (attribute.value == kXmlNamespace) ||
          attribute.value == kXmlnsNamespace) {
        return false;
      }
      bindings_.push_back(Binding{prefix, attribute.value});
    }
    return true;
  }

  XmlNodeKind StartTag(XmlNode& node) {
    ++position_;  // '<'
    std::u32string_view name;
    if (!QualifiedName(name)) return XmlNodeKind::Error;
    std::vector<Attribute> attributes;
    bool empty = false;
    for (;;) {
      const bool space = Space();
      if (Skip(U"/>")) {
        empty = true;
        break;
      }
      if (Skip(U">")) break;
      Attribute attribute;
      if (!space || !QualifiedName(attribute.qualifiedName) || !Equals() ||
          !AttributeValue(attribute.value)) {
        return XmlNodeKind::Error;
      }
      attributes.push_back(std::move(attribute));
    }
    const std::size_t outer = bindings_.size();
    if (!Declare(attributes)) return XmlNodeKind::Error;

    const std::size_t colon = name.find(U':');
    if (colon != std::u32string_view::npos &&
        (name.substr(0, colon) == U"xmlns" || Lookup(name.substr(0, colon)) == nullptr)) {
      return XmlNodeKind::Error;
    }
    // No attribute twice, by name or by namespace and local name.
    std::vector<std::u32string_view> names;
    std::vector<std::pair<std::u32string, std::u32string_view>> expanded;
    for (const Attribute& attribute : attributes) {
      names.push_back(attribute.qualifiedName);
      const std::size_t split = attribute.qualifiedName.find(U':');
      if (split == std::u32string_view::npos) continue;
      const std::u32string_view prefix = attribute.qualifiedName.substr(0, split);
      if (prefix == U"xmlns") continue;
      const std::u32string* uri = Lookup(prefix);
      if (uri == nullptr) return XmlNodeKind::Error;
      expanded.emplace_back(*uri, attribute.qualifiedName.substr(split + 1));
    }
    std::sort(names.begin(), names.end());
    std::sort(expanded.begin(), expanded.end());
    if (std::adjacent_find(names.begin(), names.end()) != names.end() ||
        std::adjacent_find(expanded.begin(), expanded.end()) != expanded.end()) {
      return XmlNodeKind::Error;
    }

    if (open_.size() + 1 > kMaxXmlDepth) return XmlNodeKind::Error;
    rootSeen_ = true;
    node.localName = Utf16(LocalPart(name));
    node.depth = static_cast<std::uint32_t>(open_.size());
    if (empty) {
      bindings_.resize(outer);
      pendingEnd_ = true;
      pendingName_ = node.localName;
    } else {
      open_.push_back(OpenElement{name, outer});
    }
    return XmlNodeKind::ElementStart;
  }

  XmlNodeKind EndTag(XmlNode& node) {
    position_ += 2;  // "</"
    std::u32string_view name;
    if (!QualifiedName(name)) return XmlNodeKind::Error;
    Space();
    if (!Skip(U">") || name != open_.back().qualifiedName) return XmlNodeKind::Error;
    bindings_.resize(open_.back().bindings);
    open_.pop_back();
    node.localName = Utf16(LocalPart(name));
    node.depth = static_cast<std::uint32_t>(open_.size());
    return XmlNodeKind::ElementEnd;
  }

  const std::u32string text_;
  const std::size_t maxTextUnits_;
  std::size_t position_ = 0;
  std::u32string encoding_;
  std::vector<Binding> bindings_;
  std::vector<OpenElement> open_;
  bool rootSeen_ = false;
  bool pendingEnd_ = false;  // the end of the empty-element tag just reported
  std::u16string pendingName_;
  XmlNodeKind final_ = XmlNodeKind::Other;  // End or Error once reached
};

XmlPullReader::XmlPullReader(std::string_view document, std::size_t maxTextUnits)
    : parser_(Parser::Open(document, maxTextUnits)) {}

XmlPullReader::~XmlPullReader() = default;

XmlNodeKind XmlPullReader::Next(XmlNode& node) { return parser_->Next(node); }

}  // namespace talvo
