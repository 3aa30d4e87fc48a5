// The questions package readers ask a handle: case rules, cursors, and what
// each answers for a missing node.
#include <gtest/gtest.h>

#include <string_view>

#include "xml/xml_node.h"
#include "xml_dump.h"

namespace epub::xml {
namespace {

using test::dump;
using test::narrow;

TEST(Queries, ChildrenByName) {
  const CXmlNode r = CXmlNode::parseDocument(u"<r><a i=\"1\"/><b i=\"2\"/><A i=\"3\"/></r>", u"r");
  ASSERT_EQ(r.childCount(), 3);
  const struct {
    const char16_t* name;
    int32_t k;
    const char* i;  // the found child's i attribute, or "(null)"
  } rows[] = {
      // k >= 0 counts among the children of that name; k < 0 takes the last.
      {u"a", 0, "1"},  {u"a", 1, "3"}, {u"a", 2, "(null)"},  {u"a", -1, "3"},
      {u"b", -1, "2"}, {u"B", 0, "2"}, {u"c", -1, "(null)"}, {u"c", 0, "(null)"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(narrow(row.name) + " " + std::to_string(row.k));
    EXPECT_EQ(narrow(r.nthChild(row.name, row.k).attribute(u"i")), row.i);
  }
  EXPECT_EQ(r.countChildren(u"A"), 2);
  EXPECT_EQ(r.countChildren(u"b"), 1);
  EXPECT_EQ(r.countChildren(u"c"), 0);
}

// A cursor resumes the search after the last match and is left alone when
// nothing more matches.
TEST(Queries, FindChildCursor) {
  const CXmlNode r = CXmlNode::parseDocument(u"<r><a i=\"1\"/><b/><a i=\"3\"/></r>", u"r");
  int32_t cursor = 0;
  EXPECT_EQ(narrow(r.findChild(u"a", &cursor).attribute(u"i")), "1");
  EXPECT_EQ(cursor, 1);
  EXPECT_EQ(narrow(r.findChild(u"A", &cursor).attribute(u"i")), "3");
  EXPECT_EQ(cursor, 3);
  EXPECT_TRUE(r.findChild(u"a", &cursor).isNull());
  EXPECT_EQ(cursor, 3);

  int32_t far = 10;
  EXPECT_TRUE(r.findChild(u"a", &far).isNull());
  EXPECT_EQ(far, 10);
  int32_t negative = -5;  // searches from the start
  EXPECT_EQ(narrow(r.findChild(u"b", &negative).name()), "b");
  EXPECT_EQ(negative, 2);
  EXPECT_EQ(narrow(r.findChild(u"a").attribute(u"i")), "1");
}

// Names compare whole, prefixes included, folding A-Z only.
TEST(Queries, NameMatching) {
  const CXmlNode c = CXmlNode::parseDocument(
      u"<container><ROOTFILES/><opf:rootfile/><\u00E9/><ab/></container>", u"container");
  const struct {
    const char16_t* name;
    bool found;
  } rows[] = {
      {u"rootfiles", true},    {u"RootFiles", true}, {u"rootfile", false},
      {u"OPF:ROOTFILE", true}, {u"\u00E9", true},    {u"\u00C9", false},
      {u"a", false},           {u"abc", false},      {u"", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(narrow(row.name));
    EXPECT_EQ(!c.findChild(row.name).isNull(), row.found);
  }
  // A NUL inside the searched name never matches a shorter stored name.
  EXPECT_TRUE(c.findChild(std::u16string_view(u"ab\0x", 4)).isNull());
  EXPECT_TRUE(c.findChild(std::u16string_view(u"ab\0", 3)).isNull());
}

TEST(Queries, Attributes) {
  const CXmlNode e = CXmlNode::parseDocument(
      u"<rootfile full-path=\"OPS/a.opf\" Media-Type='x' media-type=\"y\" flag/>", u"rootfile");
  const struct {
    const char16_t* name;
    const char* value;
  } rows[] = {
      // Case-insensitive names; the first of duplicates wins.
      {u"FULL-PATH", "OPS/a.opf"},
      {u"media-type", "x"},
      // Missing, and written without a value: both null.
      {u"flag", "(null)"},
      {u"missing", "(null)"},
      {u"full", "(null)"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(narrow(row.name));
    EXPECT_EQ(narrow(e.attribute(row.name)), row.value);
  }
}

TEST(Queries, FirstText) {
  const struct {
    const char16_t* text;
    const char* first;
  } rows[] = {
      // Already trimmed and decoded; whitespace alone is no text.
      {u"<a> A &amp; B </a>", "A & B"},
      {u"<a>  \n </a>", "(null)"},
      {u"<a/>", "(null)"},
      // The first text item, wherever it sits among the children.
      {u"<a><b>in b</b> after </a>", "after"},
      {u"<a>one<b/>two</a>", "one"},
      // Clear sections are no text.
      {u"<a><![CDATA[x]]></a>", "(null)"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(narrow(row.text));
    EXPECT_EQ(narrow(CXmlNode::parseDocument(row.text, u"a").firstText()), row.first);
  }
}

// Every query answers "nothing" on the null handle, so chains need no checks.
TEST(Queries, NullChains) {
  const CXmlNode r = CXmlNode::parseDocument(u"<r><a/></r>", u"r");
  const CXmlNode missing = r.findChild(u"x").findChild(u"y");
  EXPECT_TRUE(missing.isNull());
  EXPECT_EQ(missing.firstText(), nullptr);
  EXPECT_EQ(missing.attribute(u"a"), nullptr);
  EXPECT_EQ(missing.name(), nullptr);
  EXPECT_EQ(missing.childCount(), 0);
  EXPECT_EQ(missing.countChildren(u"a"), 0);
  EXPECT_TRUE(missing.childAt(0).isNull());
  EXPECT_TRUE(missing.nthChild(u"a", 0).isNull());
  EXPECT_TRUE(missing.nthChild(u"a", -1).isNull());
  int32_t cursor = 7;
  EXPECT_TRUE(missing.findChild(u"a", &cursor).isNull());
  EXPECT_EQ(cursor, 7);
  EXPECT_EQ(r.childAt(0).childAt(0).childAt(0).firstText(), nullptr);
}

TEST(Queries, Positions) {
  const CXmlNode doc = CXmlNode::parseDocument(u"<a/>text<b/>", nullptr);
  EXPECT_EQ(doc.name(), nullptr);  // the document node has no name
  ASSERT_EQ(doc.childCount(), 2);
  // Positions count child elements only, texts and sections aside.
  EXPECT_EQ(narrow(doc.childAt(1).name()), "b");
  EXPECT_TRUE(doc.childAt(2).isNull());
  EXPECT_TRUE(doc.childAt(-1).isNull());
  EXPECT_EQ(dump(doc), "#doc(a \"text\" b)");
}

}  // namespace
}  // namespace epub::xml
