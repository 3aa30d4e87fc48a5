// Bounded randomized tests: mutated package documents and random UTF-16
// parse without crashing, hanging or leaking; any tree that comes back is
// consistent; and every way of parsing a text agrees.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "xml/xml_element.h"
#include "xml_dump.h"

namespace epub::xml {
namespace {

#ifdef EPUB_SANITIZED
constexpr int kIterations = 3000;
#else
constexpr int kIterations = 6000;
#endif

// Seeds in the shapes of a package document, an NCX and a content document.
const char16_t* const kDocuments[] = {
    uR"(<?xml version='1.0' encoding='utf-8'?>
<package xmlns="http://www.idpf.org/2007/opf" unique-identifier="BookId" version="2.0">
  <metadata><dc:title>Tom &amp; Jerry &#x2014;</dc:title><dc:creator opf:role="aut">Doe</dc:creator>
    <dc:description><![CDATA[A <b>bold</b> tale.]]></dc:description> <!-- generated --></metadata>
  <manifest><item id="ch1" href="Text/chapter%201.xhtml" media-type="application/xhtml+xml"/>
    <item id="ch2" href='Text/chapter2.xhtml' media-type=application/xhtml+xml /></manifest>
  <spine toc="ncx"><itemref idref="ch1"/><itemref idref="ch2" linear="no"/></spine></package>)",
    uR"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE ncx PUBLIC "-//NISO//DTD ncx 2005-1//EN" "http://www.daisy.org/z3986/2005/ncx-2005-1.dtd">
<ncx version="2005-1"><head><meta name="dtb:uid" content="978-0-00-000000-0"/></head>
  <docTitle><text>Tom &amp; Jerry</text></docTitle><navMap><navPoint id="np1" playOrder="1">
    <navLabel><text>Part &#49;.1</text></navLabel><content src="Text/chapter%201.xhtml#p1"/>
  </navPoint></navMap></ncx>)",
    uR"(<?xml version="1.0" encoding="utf-8"?><!DOCTYPE html [ <!ENTITY nbsp "&#160;"> ]>
<html><head><title>Chapter 1</title><style>p > em { color: red }</style></head>
<body><h1 class="title">Chapter <em>One</em></h1><p>A dark &amp; stormy night;<br/>
  Second<!-- soft break -->line.</p><PRE>  keep   this &amp; that  </PRE>
  <p lang=en dir='ltr' hidden>Quotes " and ' stay.</p><img alt="Cover &lt;image&gt;" />
</body></html>)",
};

const char16_t kLoneSurrogate[] = {char16_t(0xD800), u'\0'};

// Fragments that steer mutations towards the parser's decisions.
// clang-format off
const char16_t* const kFragments[] = {
    u"<", u"</", u">", u"/>", u"<?", u"?>", u"<!--", u"-->", u"<![CDATA[", u"]]>", u"<!DOCTYPE",
    u"]>", u"<PRE>", u"</PRE>", u"&amp;", u"&#x", u"&#", u";", u"&", u"\"", u"'", u"=", u" ", u"\n",
    u"?", u"<a>", u"</a>", u"&#x1F600;", u"&nbsp;", u"\uFEFF", u"<?xml version=\"1.0\"?>",
    kLoneSurrogate};
// clang-format on

const char16_t* const kRootNames[] = {nullptr, u"", u"container", u"package", u"ncx", u"html"};

// Walks a tree without recursion and checks what every record must satisfy.
void checkTree(const CXmlNode& top) {
  for (std::vector<CXmlNode> stack{top}; !stack.empty();) {
    const CXmlNode node = stack.back();
    stack.pop_back();
    ASSERT_GE(node.referenceCount(), 1);
    ASSERT_EQ(node.orderCount(), node.childCount() + node.textCount() + node.clearCount());
    // Each kind appears in the order exactly once per item, in index order.
    int32_t next[4] = {0, 0, 0, 0};
    for (int32_t i = 0; i < node.orderCount(); ++i) {
      const int32_t entry = node.orderAt(i);
      ASSERT_TRUE(orderKind(entry) != 1 && orderIndex(entry) == next[orderKind(entry)]++);
    }
    for (int32_t i = 0; i < node.textCount(); ++i) ASSERT_NE(node.textAt(i), nullptr);
    for (int32_t i = 0; i < node.clearCount(); ++i) {
      const XmlClearView c = node.clearAt(i);
      ASSERT_TRUE(c.value && c.value[0] != u'\0' && c.open && c.close);  // never empty
    }
    // A view of the record answers what the handle answers.
    const XmlElement view(node);
    ASSERT_TRUE(view.name() == node.name() && view.firstText() == node.firstText());
    ASSERT_TRUE(view.attributeCount() == node.attributeCount() &&
                view.childCount() == node.childCount());
    for (int32_t i = 0; i < node.attributeCount(); ++i) {
      // Asked by its own name, the element answers with the first attribute
      // of that name in any letter case.
      const XmlAttributeView a = node.attributeAt(i);
      int32_t first = 0;
      while (!namesEqual(node.attributeAt(first).name, a.name)) ++first;
      ASSERT_EQ(node.attribute(a.name), node.attributeAt(first).value);
      ASSERT_TRUE(view.attributeAt(i).name == a.name && view.attributeAt(i).value == a.value);
    }
    for (int32_t i = 0; i < node.childCount(); ++i) {
      const CXmlNode child = node.childAt(i);
      ASSERT_TRUE(child.hasParent() && child.name() && child.name()[0] != u'\0');
      // Reading through views takes no reference.
      const int32_t references = child.referenceCount();
      ASSERT_TRUE(view.childAt(i).name() == child.name() &&
                  view.childAt(i).parent().name() == node.name());
      ASSERT_EQ(child.referenceCount(), references);
      stack.push_back(child);
    }
  }
}

// Every fifth text random UTF-16, the others a seed document cut, pieces of
// it deleted or duplicated, fragments inserted, code units replaced or
// their letter case flipped.
std::u16string randomDocument(std::mt19937& random, int iteration) {
  auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n)(random); };
  if (iteration % 5 == 4) {
    static const char16_t kAlphabet[] = u"<>/?!=&;#\"' -[]xaAbB\t\r\nPREDOCTYPCDATA";
    std::u16string text(pick(200), u' ');
    for (char16_t& c : text) {
      c = pick(3) == 0 ? char16_t(1 + pick(0xFFFE)) : kAlphabet[pick(std::size(kAlphabet) - 2)];
    }
    return text;
  }
  std::u16string text = kDocuments[iteration % std::size(kDocuments)];
  for (int op = 0, operations = 1 + int(pick(3)); op < operations; ++op) {
    const size_t at = pick(text.size()), kind = pick(5);
    if (kind == 0) text.resize(at);
    if (kind == 1) text.erase(at, pick(16));
    if (kind == 2) text.insert(at, kFragments[pick(std::size(kFragments) - 1)]);
    if (kind == 3 && at < text.size()) text[at] = char16_t(1 + pick(0xFFFE));  // never NUL
    if (kind == 4) text.insert(pick(text.size()), text.substr(at, pick(64)));
    if (kind == 5 && at < text.size() && text[at] >= u'a' && text[at] <= u'z') text[at] -= 32;
  }
  return text;
}

// Every tree that comes back is consistent, also read through a grandchild
// kept after its root went. Every way of parsing a text gives the same tree,
// or the same failure: with the parser's shortcuts for the usual shapes of
// markup and with the token reader alone; and a text handed over to the
// parse (parsed where it lies) or borrowed with its buffer's bound, as the
// same text borrowed alone, also when its buffer goes on past the first NUL
// (that NUL ends the text) and when it is large enough for a copy of its own.
TEST(ParseRandom, TreesAreConsistentAndEveryWayOfParsingAgrees) {
  std::mt19937 random(20240611u);
  int trees = 0;
  for (int iteration = 0; iteration < 2 * kIterations; ++iteration) {
    std::u16string text = randomDocument(random, iteration);
    if (iteration % 200 == 8) text.append(300000, u' ');
    const char16_t* root = kRootNames[random() % std::size(kRootNames)];
    SCOPED_TRACE(test::narrow(text.substr(0, 400)));
    int32_t error = -1;
    CXmlNode node = CXmlNode::parseDocument(text.c_str(), root, &error);
    ASSERT_TRUE(error <= 2 || (error >= 4 && error <= 8) || error == 12) << error;
    ASSERT_TRUE(error <= 2 || node.isNull());
    // The error code and the tree.
    const std::string expected = std::to_string(error) + " " + test::dump(node);
    auto outcome = [&](XmlText input, bool shortcuts) {
      int32_t error = -1;
      const CXmlNode node = shortcuts ? CXmlNode::parseDocument(std::move(input), root, &error)
                                      : parseDocumentTokenByToken(std::move(input), root, &error);
      return std::to_string(error) + " " + test::dump(node);
    };
    ASSERT_EQ(outcome(text.c_str(), false), expected) << "token by token";
    if (iteration % 8 == 0) {
      // After the text: a NUL, markup the parse must not read, then the
      // buffer's own NUL at the bound.
      const std::u16string buffer = text + u'\0' + (iteration % 16 ? u"" : u"<x a='1'>y</x>");
      ASSERT_EQ(outcome(XmlText(test::copyOf(buffer), buffer.size()), true), expected);
      ASSERT_EQ(outcome(XmlText(buffer.c_str(), buffer.size()), true), expected) << "bounded";
    }
    if (node.isNull()) continue;
    ++trees;
    ASSERT_FALSE(node.hasParent());
    checkTree(node);
    if (CXmlNode kept = node.childAt(0).childAt(0); !kept.isNull()) {
      node = CXmlNode();
      ASSERT_FALSE(kept.hasParent());
      checkTree(kept);
    }
  }
  // Enough inputs got through to a tree for the checks to mean something,
  // and the seeds themselves parse cleanly.
  EXPECT_GT(trees, kIterations / 4);
  for (const char16_t* document : kDocuments) {
    int32_t error = -1;
    EXPECT_TRUE(!CXmlNode::parseDocument(document, u"", &error).isNull() && error == 0);
  }
}

}  // namespace
}  // namespace epub::xml
