// The questions package readers ask a handle: case rules, cursors, what each
// answers for a missing node, and the handle-free queries of the hot paths.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "xml_dump.h"

namespace epub::xml {
namespace {

using test::narrow;

std::string shown(const char16_t* text) { return narrow(text); }
std::string shown(int32_t number) { return std::to_string(number); }
std::string shown(const CXmlNode& node) { return test::dump(node); }

struct Query {
  const char* expression;
  std::string answer;
  const char* expected;
};
// A row names the query it asks; rows are asked in order.
#define QUERY(expression, expected) \
  Query { #expression, shown(expression), expected }

TEST(Queries, Answers) {
  const CXmlNode r = CXmlNode::parseDocument(
      u"<r><a i=\"1\"/>t<b i=\"2\"/><!--c--><A i=\"3\"/><ROOTFILES/><opf:item/><\u00E9/><ab/>"
      u"<f full-path=\"a.opf\" Media-Type='x' media-type=\"y\" flag/></r>",
      u"r");
  const CXmlNode f = r.findChild(u"f");
  const CXmlNode none = r.findChild(u"x").findChild(u"y");
  auto a = [](const char16_t* text) { return CXmlNode::parseDocument(text, u"a"); };
  int32_t cursor = 0, far = 10, negative = -5, kept = 7;
  // clang-format off
  for (const Query& row : std::vector<Query>{
      // k >= 0 counts among the children of that name; k < 0 takes the last.
      QUERY(r.nthChild(u"a", 0).attribute(u"i"), "1"), QUERY(r.nthChild(u"a", 2), "null"),
      QUERY(r.nthChild(u"a", 1).attribute(u"i"), "3"), QUERY(r.nthChild(u"c", 0), "null"),
      QUERY(r.nthChild(u"a", -1).attribute(u"i"), "3"), QUERY(r.countChildren(u"A"), "2"),
      QUERY(r.nthChild(u"B", -1).attribute(u"i"), "2"), QUERY(r.countChildren(u"c"), "0"),
      // A cursor resumes after the last match, is left alone when nothing
      // more matches, and one below 0 searches from the start.
      QUERY(r.findChild(u"a", &cursor).attribute(u"i"), "1"), QUERY(cursor, "1"),
      QUERY(r.findChild(u"A", &cursor).attribute(u"i"), "3"), QUERY(cursor, "3"),
      QUERY(r.findChild(u"a", &cursor), "null"), QUERY(cursor, "3"),
      QUERY(r.findChild(u"a", &far), "null"), QUERY(far, "10"),
      QUERY(r.findChild(u"b", &negative), "b{i=2}"), QUERY(negative, "2"),
      // Names compare whole, prefixes included, folding A-Z only; a NUL in the name
      // asked for matches no shorter name.
      QUERY(r.findChild(u"RootFiles"), "ROOTFILES"), QUERY(r.findChild(u"rootfile"), "null"),
      QUERY(r.findChild(u"OPF:ITEM"), "opf:item"), QUERY(r.findChild(u"item"), "null"),
      QUERY(r.findChild(u"\u00E9"), "\\u00E9"), QUERY(r.findChild(u"\u00C9"), "null"),
      QUERY(r.findChild(u"abc"), "null"), QUERY(r.findChild(u""), "null"),
      QUERY(r.findChild(std::u16string_view(u"ab\0x", 4)), "null"),
      QUERY(r.findChild(std::u16string_view(u"ab\0", 3)), "null"),
      // Attribute names fold too, and the first of duplicates wins; one
      // missing or written without a value is null.
      QUERY(f.attribute(u"FULL-PATH"), "a.opf"), QUERY(f.attribute(u"media-type"), "x"),
      QUERY(f.attribute(u"flag"), "(null)"), QUERY(f.attribute(u"full"), "(null)"),
      // Positions count child elements only, texts and sections aside;
      // the document node has no name.
      QUERY(r.childAt(1), "b{i=2}"), QUERY(r.childAt(8), "null"), QUERY(r.childAt(-1), "null"),
      QUERY(r.childCount(), "8"), QUERY(CXmlNode::parseDocument(u"<a/>t", nullptr).name(), "(null)"),
      // The first text item, wherever it sits among the children, trimmed and decoded;
      // whitespace alone and clear sections are no text.
      QUERY(a(u"<a> A &amp; B </a>").firstText(), "A & B"), QUERY(a(u"<a/>").firstText(), "(null)"),
      QUERY(a(u"<a><b>in b</b> after </a>").firstText(), "after"),
      QUERY(a(u"<a>one<b/>two</a>").firstText(), "one"),
      QUERY(a(u"<a>  \n <![CDATA[x]]></a>").firstText(), "(null)"),
      // Every query answers "nothing" on the null handle, so chains need no checks.
      QUERY(none.name(), "(null)"), QUERY(none.firstText(), "(null)"),
      QUERY(none.attribute(u"a"), "(null)"), QUERY(none.childCount(), "0"),
      QUERY(none.countChildren(u"a"), "0"), QUERY(none.childAt(0), "null"),
      QUERY(none.nthChild(u"a", -1), "null"), QUERY(none.findChild(u"a", &kept), "null"),
      QUERY(kept, "7"), QUERY(none.childNameAt(0), "(null)"),
  }) {
    // clang-format on
    SCOPED_TRACE(row.expression);
    EXPECT_EQ(row.answer, row.expected);
  }
}

// The handle-free queries answer exactly what the single queries answer:
// attributes for a list of names, childNameAt for every position.
TEST(Queries, BatchesAnswerAsSingleQueries) {
  const std::u16string_view names[] = {u"id", u"class", u"playOrder", u"src", u"ID"};
  for (const char16_t* text :
       {// All present; duplicates in other letter cases; one without a
        // value before a valued duplicate; none; names that only begin or
        // end like a wanted one.
        u"<p playOrder=\"3\" class=\"c\" id=\"x\"/>",
        u"<p Id=\"first\" id=\"second\" PLAYORDER=\"7\"/>", u"<p id class=\"c\" id=\"later\"/>",
        u"<p/>", u"<p identity=\"1\" i=\"2\" xid=\"3\"/>", u""}) {
    const CXmlNode p = CXmlNode::parseDocument(text, u"p");
    for (const int32_t count : {5, 1}) {
      const char16_t* values[5] = {u"unset", u"unset", u"unset", u"unset", u"unset"};
      p.attributes(names + 5 - count, values, count);
      for (int k = 0; k < count; ++k) {
        EXPECT_EQ(values[k], p.attribute(names[5 - count + k])) << narrow(text) << " " << k;
      }
    }
  }
  const CXmlNode r =
      CXmlNode::parseDocument(u"<r><a/>text<B x=\"1\"/><!-- c --><c><d/></c></r>", u"r");
  for (int32_t i = -2; i <= 4; ++i) EXPECT_EQ(r.childNameAt(i), r.childAt(i).name()) << i;
}

}  // namespace
}  // namespace epub::xml
