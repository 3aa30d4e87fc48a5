// Large documents: many children and deep nesting parse, and nesting depth
// costs no stack: deep documents parse and release in loops, not recursion.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "xml/xml_node.h"

namespace epub::xml {
namespace {

std::u16string widen(const std::string& s) { return std::u16string(s.begin(), s.end()); }

std::string number(int i) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%06d", i);
  return buffer;
}

// An OPF whose manifest holds `items` entries, all children of one element.
std::u16string opf(int items) {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"2.0\">\n"
      "<metadata><dc:title>Big &amp; long</dc:title></metadata>\n<manifest>\n";
  for (int i = 0; i < items; ++i) {
    text +=
        "<item id=\"i" + number(i) + "\" href=\"x/" + number(i) + ".htm\" media-type=\"a/b\"/>\n";
  }
  text += "</manifest>\n</package>\n";
  return widen(text);
}

std::u16string nested(int depth) {
  std::u16string text;
  text.reserve(size_t(depth) * 7);
  for (int i = 0; i < depth; ++i) text += u"<d>";
  for (int i = 0; i < depth; ++i) text += u"</d>";
  return text;
}

TEST(ParseScaling, ManifestWithTwoHundredThousandChildren) {
  const std::u16string text = opf(200000);
  const CXmlNode manifest =
      CXmlNode::parseDocument(text.c_str(), u"package").findChild(u"manifest");
  ASSERT_EQ(manifest.childCount(), 200000);
  EXPECT_EQ(std::u16string(manifest.nthChild(u"item", -1).attribute(u"id")), u"i199999");
  EXPECT_EQ(std::u16string(manifest.childAt(123456).attribute(u"href")), u"x/123456.htm");
}

constexpr int kDepth = 100000;

// Walks down the first children; returns how many levels lie below `node`.
int depthBelow(CXmlNode node) {
  int depth = 0;
  for (CXmlNode child = node.childAt(0); !child.isNull(); child = child.childAt(0)) ++depth;
  return depth;
}

TEST(ParseScaling, DeepNestingParsesAndReleases) {
  const std::u16string closed = nested(kDepth);
  const std::u16string open(closed, 0, size_t(kDepth) * 3);
  const std::u16string closedByRoot = u"<r>" + open + u"</r>";
  const std::u16string stray = open + u"</x>";
  const struct {
    const std::u16string* text;
    int32_t error;
    int depth;  // levels below the returned element, -1 for the null handle
  } rows[] = {
      // Every level closed by its own end tag.
      {&closed, 0, kDepth - 1},
      // The text ends with every level open.
      {&open, 1, kDepth - 1},
      // One end tag closes a hundred thousand levels on its way up.
      {&closedByRoot, 1, kDepth},
      // A stray end tag climbs every level and fails: the whole tree goes.
      {&stray, kXmlStrayEndTag, -1},
  };
  for (const auto& row : rows) {
    int32_t error = -1;
    const CXmlNode top = CXmlNode::parseDocument(row.text->c_str(), nullptr, &error);
    EXPECT_EQ(error, row.error);
    EXPECT_EQ(top.isNull() ? -1 : depthBelow(top), row.depth);
  }
}

// The deepest element, still held, outlives the release of everything above.
TEST(ParseScaling, DeepestElementOutlivesItsAncestors) {
  const std::u16string text = nested(kDepth);
  CXmlNode top = CXmlNode::parseDocument(text.c_str(), u"d");
  CXmlNode deepest = top;
  while (deepest.childCount() > 0) deepest = deepest.childAt(0);
  top = CXmlNode();
  EXPECT_FALSE(deepest.hasParent());
  EXPECT_EQ(deepest.referenceCount(), 1);
}

}  // namespace
}  // namespace epub::xml
