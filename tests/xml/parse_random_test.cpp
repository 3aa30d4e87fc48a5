// Bounded randomized test: mutated and truncated package documents and
// random UTF-16 must parse without crashing, hanging or leaking, and any
// tree that comes back must be consistent.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "xml/xml_document.h"
#include "xml/xml_node.h"
#include "xml_dump.h"

namespace epub::xml {
namespace {

#ifdef EPUB_SANITIZED
constexpr int kIterations = 3000;
#else
constexpr int kIterations = 6000;
#endif

const char16_t* const kDocuments[] = {
    uR"(<?xml version="1.0" encoding="UTF-8"?>
<container version="1.0" xmlns="urn:oasis:names:tc:opendocument:xmlns:container">
  <rootfiles>
    <rootfile full-path="OEBPS/content.opf" media-type="application/oebps-package+xml"/>
  </rootfiles>
</container>
)",
    uR"(<?xml version='1.0' encoding='utf-8'?>
<package xmlns="http://www.idpf.org/2007/opf" unique-identifier="BookId" version="2.0">
  <metadata xmlns:dc="http://purl.org/dc/elements/1.1/" xmlns:opf="http://www.idpf.org/2007/opf">
    <dc:title>Tom &amp; Jerry &#x2014; A Story</dc:title>
    <dc:creator opf:role="aut" opf:file-as="Doe, Jane">Jane Doe</dc:creator>
    <dc:language>en</dc:language>
    <dc:identifier id="BookId" opf:scheme="ISBN">978-0-00-000000-0</dc:identifier>
    <dc:description><![CDATA[A <b>bold</b> tale.]]></dc:description>
    <meta name="cover" content="cover-image"/>
    <!-- generated -->
  </metadata>
  <manifest>
    <item id="ncx" href="toc.ncx" media-type="application/x-dtbncx+xml"/>
    <item id="cover-image" href="images/cover.jpg" media-type="image/jpeg"/>
    <item id="ch1" href="Text/chapter%201.xhtml" media-type="application/xhtml+xml"/>
    <item id="ch2" href='Text/chapter2.xhtml' media-type=application/xhtml+xml />
  </manifest>
  <spine toc="ncx">
    <itemref idref="ch1"/>
    <itemref idref="ch2" linear="no"/>
  </spine>
  <guide>
    <reference type="cover" title="Cover" href="Text/chapter%201.xhtml#top"/>
  </guide>
</package>
)",
    uR"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE ncx PUBLIC "-//NISO//DTD ncx 2005-1//EN" "http://www.daisy.org/z3986/2005/ncx-2005-1.dtd">
<ncx xmlns="http://www.daisy.org/z3986/2005/ncx/" version="2005-1">
  <head>
    <meta name="dtb:uid" content="978-0-00-000000-0"/>
    <meta name="dtb:depth" content="2"/>
  </head>
  <docTitle><text>Tom &amp; Jerry</text></docTitle>
  <docAuthor><text>Jane Doe</text></docAuthor>
  <navMap>
    <navPoint id="np1" playOrder="1">
      <navLabel><text>Chapter 1</text></navLabel>
      <content src="Text/chapter%201.xhtml"/>
      <navPoint id="np1.1" playOrder="2">
        <navLabel><text>Part &#49;.1</text></navLabel>
        <content src="Text/chapter%201.xhtml#p1"/>
      </navPoint>
    </navPoint>
  </navMap>
</ncx>
)",
    uR"(<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE html [
  <!ENTITY nbsp "&#160;">
]>
<html xmlns="http://www.w3.org/1999/xhtml">
<head><title>Chapter 1</title>
<style type="text/css">p > em { color: red }</style></head>
<body>
  <h1 class="title">Chapter <em>One</em></h1>
  <p>It was a dark &amp; stormy night; <a href="#n1">1</a> the rain fell.<br/>
  Second line<!-- soft break -->continues.</p>
  <PRE>  keep   this &amp; that  </PRE>
  <p lang=en dir='ltr' hidden>Quotes " and ' stay.</p>
  <img src="../images/cover.jpg" alt="Cover &lt;image&gt;" />
</body>
</html>
)",
};

const char16_t kLoneSurrogate[] = {char16_t(0xD800), u'\0'};

// Fragments that steer mutations towards the parser's decisions.
const char16_t* const kFragments[] = {
    u"<",      u"</",          u">",         u"/>",        u"<?",        u"?>",
    u"<!--",   u"-->",         u"<![CDATA[", u"]]>",       u"<!DOCTYPE", u"]>",
    u"<PRE>",  u"</PRE>",      u"&amp;",     u"&#x",       u"&#",        u";",
    u"&",      u"\"",          u"'",         u"=",         u" ",         u"\n",
    u"?",      u"<a>",         u"</a>",      u"&#x1F600;", u"&nbsp;",    u"<?xml version=\"1.0\"?>",
    u"\uFEFF", kLoneSurrogate,
};

const char16_t* const kRootNames[] = {nullptr, u"", u"container", u"package", u"ncx", u"html"};

// Walks a tree without recursion and checks what every record must satisfy.
void checkTree(const CXmlNode& top) {
  std::vector<CXmlNode> stack{top};
  while (!stack.empty()) {
    const CXmlNode node = stack.back();
    stack.pop_back();
    ASSERT_GE(node.referenceCount(), 1);
    const int32_t total = node.orderCount();
    ASSERT_EQ(total, node.childCount() + node.textCount() + node.clearCount());
    // Each kind appears in the order exactly once per item, in index order.
    int32_t next[4] = {0, 0, 0, 0};
    for (int32_t i = 0; i < total; ++i) {
      const int32_t entry = node.orderAt(i);
      const int32_t kind = orderKind(entry);
      ASSERT_NE(kind, 1);
      ASSERT_EQ(orderIndex(entry), next[kind]++);
    }
    for (int32_t i = 0; i < node.textCount(); ++i) ASSERT_NE(node.textAt(i), nullptr);
    for (int32_t i = 0; i < node.clearCount(); ++i) {
      const XmlClearView c = node.clearAt(i);
      ASSERT_NE(c.value, nullptr);
      ASSERT_NE(c.value[0], u'\0');  // empty sections are not stored
      ASSERT_NE(c.open, nullptr);
      ASSERT_NE(c.close, nullptr);
    }
    for (int32_t i = 0; i < node.attributeCount(); ++i) {
      const char16_t* name = node.attributeAt(i).name;
      ASSERT_NE(name, nullptr);
      // Asked by its own name, the element answers with the first attribute
      // of that name in any letter case.
      int32_t first = 0;
      while (!namesEqual(node.attributeAt(first).name, name)) ++first;
      ASSERT_EQ(node.attribute(name), node.attributeAt(first).value);
    }
    for (int32_t i = 0; i < node.childCount(); ++i) {
      const CXmlNode child = node.childAt(i);
      ASSERT_TRUE(child.hasParent());
      ASSERT_NE(child.name(), nullptr);
      ASSERT_NE(child.name()[0], u'\0');
      stack.push_back(child);
    }
  }
}

std::u16string mutate(std::u16string text, std::mt19937& random) {
  auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n)(random); };
  const int operations = 1 + int(pick(3));
  for (int op = 0; op < operations; ++op) {
    const size_t at = pick(text.size());
    switch (pick(6)) {
      case 0:  // truncate
        text.resize(at);
        break;
      case 1:  // delete a stretch
        text.erase(at, pick(16));
        break;
      case 2:  // insert a fragment
        text.insert(at, kFragments[pick(std::size(kFragments) - 1)]);
        break;
      case 3:  // replace one code unit by anything but NUL
        if (at < text.size()) text[at] = char16_t(1 + pick(0xFFFE));
        break;
      case 4: {  // duplicate a stretch elsewhere
        const std::u16string piece = text.substr(at, pick(64));
        text.insert(pick(text.size()), piece);
        break;
      }
      case 5:  // swap two code units
        if (!text.empty()) std::swap(text[at % text.size()], text[pick(text.size() - 1)]);
        break;
      default:  // flip the case of a letter
        if (at < text.size() && text[at] >= u'a' && text[at] <= u'z') text[at] -= 32;
        break;
    }
  }
  return text;
}

std::u16string randomText(std::mt19937& random) {
  static const char16_t kAlphabet[] = u"<>/?!=&;#\"' -[]xaAbB\t\r\nPREDOCTYPCDATA";
  auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n)(random); };
  std::u16string text(pick(200), u' ');
  for (char16_t& c : text) {
    c = pick(3) == 0 ? char16_t(1 + pick(0xFFFE)) : kAlphabet[pick(std::size(kAlphabet) - 2)];
  }
  return text;
}

TEST(ParseRandom, MutatedDocumentsAndNoise) {
  std::mt19937 random(20240611u);
  int trees = 0;
  for (int iteration = 0; iteration < kIterations; ++iteration) {
    const bool noise = iteration % 5 == 4;
    const std::u16string text =
        noise ? randomText(random) : mutate(kDocuments[iteration % std::size(kDocuments)], random);
    const char16_t* root = kRootNames[random() % std::size(kRootNames)];

    int32_t error = -1;
    CXmlNode node = CXmlNode::parseDocument(text.c_str(), root, &error);
    ASSERT_TRUE(error == 0 || error == 1 || error == 2 || error == 4 || error == 5 || error == 6 ||
                error == 7 || error == 8 || error == 12)
        << error;
    if (error > 2) {
      ASSERT_TRUE(node.isNull());
      continue;
    }
    if (node.isNull()) continue;
    ++trees;
    ASSERT_FALSE(node.hasParent());
    checkTree(node);
    // Keep a grandchild, drop the root first, then read the survivor.
    if (CXmlNode kept = node.childAt(0).childAt(0); !kept.isNull()) {
      node = CXmlNode();
      ASSERT_FALSE(kept.hasParent());
      checkTree(kept);
    }
  }
  // Enough inputs got through to a tree for the checks above to mean
  // something (many fail on purpose, or name a root they do not hold).
  EXPECT_GT(trees, kIterations / 8);
}

// A text handed over to the parse (parsed where it lies), or borrowed with
// its buffer's bound, gives the same tree and error as the same text
// borrowed alone, also when its buffer goes on past the first NUL (that NUL
// ends the text) and when it is large enough for a copy of its own.
TEST(ParseRandom, HandedOverTextsParseAsBorrowedOnes) {
  std::mt19937 random(20261207u);
  for (int iteration = 0; iteration < kIterations / 4; ++iteration) {
    std::u16string text = iteration % 5 == 4
                              ? randomText(random)
                              : mutate(kDocuments[iteration % std::size(kDocuments)], random);
    // Now and then a text too large for the tree's own memory: borrowed, it
    // is copied into a buffer of its own.
    if (iteration % 25 == 3) text.append(300000, u' ');
    const char16_t* root = kRootNames[random() % std::size(kRootNames)];
    // After the text: a NUL, then markup the parse must not read, then the
    // buffer's own NUL at the bound.
    const std::u16string tail = iteration % 2 ? u"" : u"<x a='1'>y</x>";
    const std::u16string buffer = text + u'\0' + tail;
    auto owned = std::make_unique<char16_t[]>(buffer.size() + 1);
    std::copy(buffer.begin(), buffer.end(), owned.get());
    owned[buffer.size()] = u'\0';

    int32_t borrowedError = -1;
    int32_t ownedError = -1;
    int32_t boundedError = -1;
    const CXmlNode borrowed = CXmlNode::parseDocument(text.c_str(), root, &borrowedError);
    const CXmlNode handedOver =
        CXmlNode::parseDocument(XmlText(std::move(owned), buffer.size()), root, &ownedError);
    const CXmlNode bounded =
        CXmlNode::parseDocument(XmlText(buffer.c_str(), buffer.size()), root, &boundedError);
    ASSERT_EQ(ownedError, borrowedError) << iteration;
    ASSERT_EQ(test::dump(handedOver), test::dump(borrowed)) << iteration;
    ASSERT_EQ(boundedError, borrowedError) << iteration;
    ASSERT_EQ(test::dump(bounded), test::dump(borrowed)) << iteration;
  }
}

// The parser's shortcuts for the usual shapes of markup read every text as
// the token reader does: the same tree, or the same failure, either way.
TEST(ParseRandom, ShortcutsReadAsTheTokens) {
  std::mt19937 random(20250301u);
  for (int iteration = 0; iteration < kIterations; ++iteration) {
    const std::u16string text = iteration % 5 == 4
                                    ? randomText(random)
                                    : mutate(kDocuments[iteration % std::size(kDocuments)], random);
    int32_t fastError = -1;
    int32_t tokenError = -1;
    const CXmlNode fast = CXmlNode::parseDocument(text.c_str(), nullptr, &fastError);
    const CXmlNode tokens = parseDocumentTokenByToken(text.c_str(), nullptr, &tokenError);
    ASSERT_EQ(fastError, tokenError) << test::narrow(text.c_str());
    ASSERT_EQ(test::dump(fast), test::dump(tokens)) << test::narrow(text.c_str());
  }
}

// The documents the mutations start from are read as intended.
TEST(ParseRandom, SeedDocumentsParse) {
  const char16_t* roots[] = {u"container", u"package", u"ncx", u"html"};
  for (size_t i = 0; i < std::size(kDocuments); ++i) {
    int32_t error = -1;
    const CXmlNode root = CXmlNode::parseDocument(kDocuments[i], roots[i], &error);
    EXPECT_EQ(error, 0) << i;
    EXPECT_FALSE(root.isNull()) << i;
  }
  const CXmlNode title = CXmlNode::parseDocument(kDocuments[1], u"package")
                             .findChild(u"metadata")
                             .findChild(u"dc:title");
  EXPECT_EQ(std::u16string(title.firstText()), u"Tom & Jerry \u2014 A Story");
}

// Every prefix of each document parses: the parser never reads past the end.
TEST(ParseRandom, EveryTruncation) {
  for (const char16_t* document : kDocuments) {
    const std::u16string full = document;
    const size_t step = full.size() / 300 + 1;
    for (size_t length = 0; length <= full.size(); length += step) {
      const std::u16string prefix = full.substr(0, length);
      const CXmlNode node = CXmlNode::parseDocument(prefix.c_str(), nullptr);
      if (!node.isNull()) checkTree(node);
    }
  }
}

}  // namespace
}  // namespace epub::xml
