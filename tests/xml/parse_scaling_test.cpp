// Large documents: many children, many attributes, long merge chains and deep
// nesting parse, and nesting depth costs no stack: deep documents parse and
// release in loops, not recursion.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "xml_dump.h"

namespace epub::xml {
namespace {

// `text` with each "@" replaced by the digits of i.
template <class String>
String numbered(String text, int i) {
  const std::string digits = std::to_string(i);
  for (size_t at; (at = text.find('@')) != String::npos;) {
    text.replace(at, 1, String(digits.begin(), digits.end()));
  }
  return text;
}

TEST(ParseScaling, ManyChildrenAndAMergeChain) {
  std::u16string text = u"<package><manifest>\n";
  for (int i = 0; i < 200000; ++i) text += numbered(std::u16string(u"<item id=\"i@\"/>\n"), i);
  const CXmlNode manifest =
      CXmlNode::parseDocument((text + u"</manifest></package>").c_str(), u"package").childAt(0);
  ASSERT_EQ(manifest.childCount(), 200000);
  EXPECT_EQ(std::u16string(manifest.nthChild(u"item", -1).attribute(u"id")), u"i199999");
  EXPECT_EQ(std::u16string(manifest.childAt(123456).attribute(u"id")), u"i123456");
  // Many merges into one text stay linear and keep every piece.
  std::u16string merged = u"<a>", expected;
  for (int i = 0; i < 20000; ++i) {
    merged += char16_t(u'a' + i % 26) + std::u16string(u"<!--c-->");
    expected += char16_t(u'a' + i % 26);
  }
  const CXmlNode a = CXmlNode::parseDocument((merged + u"z</a>").c_str(), u"a");
  EXPECT_TRUE(a.textCount() == 1 && a.clearCount() == 0);
  EXPECT_EQ(std::u16string(a.firstText()), expected + u"z");
}

// Start tags with many attributes of every form, after enough other records
// that the attributes cross from one block of the tree's memory into the
// next, in a borrowed text copied into the tree's memory and in one large
// enough for a copy of its own. Closed by its tag or its own end tag, the
// element's attributes take exactly their room, else the room they grew to.
TEST(ParseScaling, ManyAttributes) {
  // The attribute forms, cycled, and their dumps; the last attribute always
  // takes the first.
  const char16_t* const forms[] = {u" k@=\"v@\"", u" k@='v@'", u" k@=v@", u" k@",
                                   u" k@=\"v@&amp;\""};
  const char* const dumps[] = {" k@=v@", " k@=v@", " k@=v@", " k@", " k@=v@&"};
  // What follows the attributes, a's content, and whether its attributes
  // take exactly their room.
  const std::tuple<const char16_t*, const char*, bool> ends[] = {
      {u"/></r>", "", true},
      {u"><b/>t</a></r>", "(b \"t\")", true},
      {u">", "", false},
      {u"", "", false}};
  for (const size_t padding : {size_t(0), size_t(300000)})
    for (const int32_t count : {1, 3, 49, 50, 51, 300, 2000})
      for (const int32_t records : {0, 100, 137})
        for (const auto& [after, content, exact] : ends) {
          std::u16string text = u"<r>" + std::u16string(padding, u' ');
          for (int32_t i = 0; i < records; ++i) text += u"<p q=\"1\"/>";
          std::string expected = "a{";
          text += u"<a";
          for (int32_t i = 0; i < count; ++i) {
            const int form = i + 1 == count ? 0 : i % 5;
            text += numbered(std::u16string(forms[form]), i);
            expected += numbered(std::string(dumps[form] + (i == 0 ? 1 : 0)), i);
          }
          const CXmlNode a = CXmlNode::parseDocument((text + after).c_str(), u"r").childAt(records);
          ASSERT_EQ(test::dump(a), expected + "}" + content) << count << " after " << records;
          EXPECT_EQ(a.room().attributes, exact ? count : (count / 50 + 1) * 50);
        }
}

// A hundred thousand levels: every one closed by its own end tag, the text
// ending with every level open, one end tag closing them all on its way up,
// or a stray one climbing every level and failing, when the whole tree goes.
TEST(ParseScaling, DeepNestingParsesAndReleases) {
  constexpr int kDepth = 100000;
  std::u16string open, closed;
  for (int i = 0; i < kDepth; ++i) open += u"<d>", closed += u"</d>";
  closed = open + closed;
  const std::tuple<std::u16string, int32_t, int> rows[] = {{closed, 0, kDepth},
                                                           {open, 1, kDepth},
                                                           {u"<r>" + open + u"</r>", 1, kDepth + 1},
                                                           {open + u"</x>", kXmlStrayEndTag, 0}};
  for (const auto& [text, code, levels] : rows) {
    int32_t error = -1;
    const CXmlNode top = CXmlNode::parseDocument(text.c_str(), nullptr, &error);
    int depth = 0;  // levels from the returned element down, along the first children
    for (CXmlNode node = top; !node.isNull(); node = node.childAt(0)) ++depth;
    EXPECT_TRUE(error == code && depth == levels) << error << " " << depth;
  }
  // The deepest element, still held, outlives the release of all above it.
  CXmlNode top = CXmlNode::parseDocument(closed.c_str(), u"d"), deepest = top;
  while (deepest.childCount() > 0) deepest = deepest.childAt(0);
  top = CXmlNode();
  EXPECT_TRUE(!deepest.hasParent() && deepest.referenceCount() == 1);
}

}  // namespace
}  // namespace epub::xml
