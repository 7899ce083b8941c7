#include "net/upnp/xml_reader.h"

#include "net/upnp/xml_test_support.h"
#include "support/answers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace talvo {
namespace {

// The node stream without the Other nodes, which no rule reads, as one line per node.
std::vector<std::string> Nodes(const std::string& document, std::size_t maxText = 2048) {
  XmlPullReader reader(document, maxText);
  std::vector<std::string> lines;
  XmlNode node;
  for (int guard = 0; guard < 10000; ++guard) {
    const XmlNodeKind kind = reader.Next(node);
    std::string line;
    const std::string name(node.localName.begin(), node.localName.end());
    switch (kind) {
      case XmlNodeKind::ElementStart:
        line = "<" + name + " " + std::to_string(node.depth);
        break;
      case XmlNodeKind::ElementEnd:
        line = "/" + name + " " + std::to_string(node.depth);
        break;
      case XmlNodeKind::Text:
        line = "'";
        for (char16_t unit : node.value) line.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
        break;
      case XmlNodeKind::Other:
        continue;
      case XmlNodeKind::End:
        lines.push_back("end");
        return lines;
      case XmlNodeKind::Error:
        lines.push_back("error");
        return lines;
    }
    lines.push_back(line);
  }
  lines.push_back("runaway");
  return lines;
}

using Lines = std::vector<std::string>;

TEST(XmlPullReader, EndTagsReportTheDepthOfTheirStartTag) {
  EXPECT_EQ(Nodes("<?xml version=\"1.0\"?><a><b><c>x</c></b><d>y</d></a>"),
            (Lines{"<a 0", "<b 1", "<c 2", "'x", "/c 2", "/b 1", "<d 1", "'y", "/d 1", "/a 0",
                   "end"}));
}

// An empty-element tag has ended: its end follows at once.
TEST(XmlPullReader, EmptyElementTagsEndAtOnce) {
  EXPECT_EQ(Nodes("<a><b/><c></c><d /></a>"),
            (Lines{"<a 0", "<b 1", "/b 1", "<c 1", "/c 1", "<d 1", "/d 1", "/a 0", "end"}));
  EXPECT_EQ(Nodes("<a/>"), (Lines{"<a 0", "/a 0", "end"}));
}

TEST(XmlPullReader, DropsNamespacePrefixesButKeepsCase) {
  EXPECT_EQ(Nodes("<s:Envelope xmlns:s=\"urn:x\"><s:Body><U:Service xmlns:U=\"urn:y\"/>"
                  "</s:Body></s:Envelope>"),
            (Lines{"<Envelope 0", "<Body 1", "<Service 2", "/Service 2", "/Body 1", "/Envelope 0",
                   "end"}));
}

TEST(XmlPullReader, TextAndCdataComeInDocumentOrderAroundComments) {
  EXPECT_EQ(Nodes("<a>one<!-- c --><![CDATA[<two>]]><?pi x?>three&amp;&#52;</a>"),
            (Lines{"<a 0", "'one", "'<two>", "'three&4", "/a 0", "end"}));
}

TEST(XmlPullReader, WhitespaceBetweenElementsIsNotText) {
  EXPECT_EQ(Nodes("<a>\r\n  <b> </b>\t<c> x\r\ny\r</c>\n</a>"),
            (Lines{"<a 0", "<b 1", "/b 1", "<c 1", "' x\ny\n", "/c 1", "/a 0", "end"}));
}

TEST(XmlPullReader, TextIsDeliveredAsUtf16) {
  XmlPullReader reader("<a>gr\xC3\xBC\xC3\x9F \xF0\x9F\x98\x80</a>", 2048);
  XmlNode node;
  XmlNodeKind kind = reader.Next(node);
  while (kind == XmlNodeKind::Other) kind = reader.Next(node);
  ASSERT_EQ(kind, XmlNodeKind::ElementStart);
  ASSERT_EQ(reader.Next(node), XmlNodeKind::Text);
  EXPECT_EQ(node.value, u"gr\u00FC\u00DF \U0001F600");
}

TEST(XmlPullReader, TextBoundCountsUtf16Units) {
  const std::string exact(2048, 'x');
  EXPECT_EQ(Nodes("<a>" + exact + "</a>").back(), "end");
  EXPECT_EQ(Nodes("<a>" + exact + "x</a>").back(), "error");
  EXPECT_EQ(Nodes("<a><![CDATA[" + exact + "x]]></a>").back(), "error");
  // 1024 characters outside the basic plane are 2048 units; one more is too many.
  std::string astral;
  for (int i = 0; i < 1024; ++i) astral += "\xF0\x9F\x98\x80";
  EXPECT_EQ(Nodes("<a>" + astral + "</a>").back(), "end");
  EXPECT_EQ(Nodes("<a>" + astral + "x</a>").back(), "error");
  // A long text node spanning the readers' internal buffers is still one node.
  EXPECT_EQ(Nodes("<a>" + std::string(5000, 'y') + "</a>", 5000)[1].size(), 5001u);
}

TEST(XmlPullReader, NestingBoundIsExact) {
  const auto nested = [](unsigned depth) {
    std::string document;
    for (unsigned i = 0; i < depth; ++i) document += "<a>";
    for (unsigned i = 0; i < depth; ++i) document += "</a>";
    return document;
  };
  EXPECT_EQ(Nodes(nested(kMaxXmlDepth)).back(), "end");
  EXPECT_EQ(Nodes(nested(kMaxXmlDepth + 1)).back(), "error");
}

TEST(XmlPullReader, StaysAtTheEndOnceReached) {
  XmlPullReader reader("<a/>", 2048);
  XmlNode node;
  int ends = 0;
  for (int i = 0; i < 6; ++i) ends += reader.Next(node) == XmlNodeKind::End ? 1 : 0;
  EXPECT_GE(ends, 3);
  EXPECT_EQ(reader.Next(node), XmlNodeKind::End);
}

// Documents that must not read to a clean end.
TEST(XmlPullReader, RefusesMalformedAndDeclaredDocuments) {
  const std::vector<std::string> documents = {
      "",
      "<a>",
      "<a><b></a>",
      "<a><b></c></a>",
      "<a></a><b></b>",
      "not xml at all",
      "<!-- only a comment -->",
      "<a>x",
      "<a><b>x</b>",
      "<a><!-- unterminated </a>",
      "<a><!-- a -- b --></a>",
      "<!DOCTYPE a><a/>",
      "<!DOCTYPE a [<!ELEMENT a (#PCDATA)>]><a>x</a>",
      "<!DOCTYPE a SYSTEM \"http://127.0.0.1:1/a.dtd\"><a/>",
      "<!DOCTYPE a [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><a>&x;</a>",
      "<!DOCTYPE lolz [<!ENTITY lol \"lol\"><!ENTITY lol2 \"&lol;&lol;&lol;&lol;&lol;\">"
      "<!ENTITY lol3 \"&lol2;&lol2;&lol2;&lol2;&lol2;\">]><lolz>&lol3;</lolz>",
      "<a>&undeclared;</a>",
      "<a>AT&T</a>",
      "<a b='AT&T'/>",
      "<a>&#0;</a>",
      "<a>&#xD800;</a>",
      "<a>&#x100000041;</a>",
      "<a>&#4294967361;</a>",
      "<a>]]></a>",
      "<a x='1' x='2'/>",
      "<a xmlns:p='u' xmlns:q='u' p:x='1' q:x='2'/>",
      "<a b='1'c='2'/>",
      "<1a/>",
      "<a>\x01</a>",
      "<a>\xff</a>",
      "<a>\xE0\x80\xAF</a>",
      "<a>\xF0\x80\x80\xAF</a>",
      // A lone UTF-16 surrogate, either byte order; a declared encoding the reader does not take.
      std::string("\xff\xfe<\x00a\x00>\x00\x00\xd8\x00\x00\x00\x00", 13),
      std::string("\xfe\xff\x00<\x00a\x00>\xd8\x00\x00\x00\x00\x00", 14),
      "<?xml version=\"1.0\" encoding=\"EUC-JP\"?><a>" + std::string("\x8f\x00\x00\x00\x00\x00", 6) +
          "</a>",
      "<p:a><b/></p:a>",
      "<a><p:b/></a>",
      "<a p:x='1'/>",
      "<a xmlns:p=''/>",
      "<a/>trailing",
      std::string("<a/>\0", 5),
      "<?xml version=\"1.0\"?>",
      "<?xml version=\"9\"?><a/>",
      "<?xml version=\"1.0\" encoding=\"EBCDIC-US\"?><a/>",
      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a/>",
      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-16\"?><a/>",
      " <?xml version=\"1.0\"?><a/>",
  };
  test::AnswerLog answers;
  for (const std::string& document : documents) {
    const std::string last = Nodes(document).back();
    EXPECT_EQ(last, "error") << document;
    answers.Record(test::Printable(document), last);
  }
}

TEST(XmlPullReader, DocumentTypeFailsBeforeAnyElement) {
  const Lines nodes = Nodes("<!DOCTYPE root [<!ENTITY e \"x\">]><root><service/></root>");
  EXPECT_EQ(nodes, Lines{"error"});
}

}  // namespace
}  // namespace talvo
