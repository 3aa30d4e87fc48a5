// The node tree: handles share their records by reference counting, the
// builders keep the document order and the arrays' rooms as stated, and the
// questions package readers ask a handle answer by their case rules, also
// for a missing node. Leaks and double releases show under the sanitizers.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "xml_dump.h"

namespace epub::xml {
namespace {

using test::dump;

std::string shown(const char16_t* text) { return test::narrow(text); }
std::string shown(int32_t number) { return std::to_string(number); }
std::string shown(const CXmlNode& node) { return dump(node); }
std::string shown(const XmlRoomView& r) {  // children, texts, clears, attributes, order
  return std::to_string(r.children) + " " + std::to_string(r.texts) + " " +
         std::to_string(r.clears) + " " + std::to_string(r.attributes) + " " +
         std::to_string(r.order);
}
// What attributes() answers for the names, one answer after the other.
std::string shown(const CXmlNode& node, std::vector<std::u16string_view> names) {
  std::vector<const char16_t*> values(names.size(), u"unset");
  node.attributes(names.data(), values.data(), int32_t(names.size()));
  std::string out;
  for (const char16_t* value : values) out += (out.empty() ? "" : " ") + test::narrow(value);
  return out;
}
// A row: the query asked, as written, its answer and the answer expected.
#define QUERY(expected, ...) \
  std::array<std::string, 3> { #__VA_ARGS__, shown(__VA_ARGS__), expected }

// Copies count a reference and moves hand theirs over; assigning a handle
// to itself or the record it holds changes nothing; a child's count includes
// its parent's entry; the null handle counts nothing and builds nothing.
TEST(Tree, HandleCounts) {
  CXmlNode root = CXmlNode::parseDocument(u"<a><b><c>t</c></b></a>", u"a");
  CXmlNode& alias = root;
  root = alias;
  CXmlNode copy = root;
  copy = root;
  EXPECT_EQ(root.referenceCount(), 2);
  CXmlNode moved = std::move(copy);
  EXPECT_TRUE(copy.isNull() && root.referenceCount() == 2);  // NOLINT(bugprone-use-after-move)
  moved = CXmlNode();
  const CXmlNode b = root.childAt(0);
  CXmlNode b2 = root.findChild(u"b");
  EXPECT_TRUE(root.referenceCount() == 1 && b.referenceCount() == 3);
  b2 = root;
  EXPECT_TRUE(root.referenceCount() == 2 && b.referenceCount() == 2);
  const CXmlNode& null = CXmlNode::null();
  EXPECT_TRUE(null.isNull() && CXmlNode(null).isNull() && null.addChild(u"a", false).isNull());
  null.addText(u"x");
  null.removeClear(0);
  EXPECT_EQ(null.referenceCount() + null.orderCount(), 0);
}

// Handles dropped in any order: each one left reads its subtree whole, and
// a record whose ancestors all went has no parent.
TEST(Tree, AnyReleaseOrder) {
  const char* const dumps[3] = {"r(a(b c(\"x\")) d(e) \"tail\" <!--z-->)", "c(\"x\")", "d(e)"};
  const int drops[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
  for (const auto& drop : drops) {
    CXmlNode handles[3];
    handles[0] =
        CXmlNode::parseDocument(u"<r><a><b/><c>x</c></a><d><e/></d>tail<!--z--></r>", u"r");
    handles[1] = handles[0].childAt(0).childAt(1);
    handles[2] = handles[0].findChild(u"d");
    bool rootGone = false;
    for (int i : drop) {
      handles[i] = CXmlNode();
      rootGone = rootGone || i == 0;
      for (int k = 0; k < 3; ++k) {
        if (handles[k].isNull()) continue;
        SCOPED_TRACE(std::to_string(drop[0]) + std::to_string(drop[1]) + " left " + dumps[k]);
        EXPECT_EQ(dump(handles[k]), dumps[k]);
        EXPECT_EQ(handles[k].hasParent(), k != 0 && !rootGone);
        EXPECT_EQ(handles[k].referenceCount(), k != 0 && !rootGone ? 2 : 1);
      }
    }
  }
}

TEST(Tree, Answers) {
  const CXmlNode doc = CXmlNode::makeDocumentNode(), grown = CXmlNode::makeDocumentNode();
  for (const char16_t* text : {u"one", u"two"}) {
    doc.addText(text);
    doc.addClear(text + 1, u"<!--", u"-->");
  }
  doc.addChild(u"e", false).addAttribute(u"k", nullptr);
  for (const int32_t index : {0, 1, -1}) doc.removeClear(index);
  for (int i = 0; i < 100; ++i) grown.addText(u"t");
  for (int i = 0; i < 49; ++i) grown.addChild(u"c", false);
  const CXmlNode r = CXmlNode::parseDocument(
      u"<r><a i=\"1\"/>t<b i=\"2\"/><!--c--><A i=\"3\"/><ROOTFILES/><opf:item/><\u00E9/><ab/>"
      u"<f full-path=\"a.opf\" Media-Type='x' media-type=\"y\" flag/>"
      u"<g identity=\"1\" i=\"2\" xid=\"3\"/><h id class=\"c\" id=\"later\"/></r>",
      u"r");
  const CXmlNode f = r.findChild(u"f"), none = r.findChild(u"x").findChild(u"y");
  auto top = [](const std::u16string& text) {
    return CXmlNode::parseDocument(text.c_str(), nullptr);
  };
  std::u16string fifty;
  for (int i = 0; i < 50; ++i) fifty += u"<b/>";
  int32_t cursor = 0, far = 10, negative = -5, kept = 7;
  // Each row asks one question of a tree built above; rows are asked in order.
  // clang-format off
  for (const auto& [query, answer, expected] : {
      // Removing a clear section closes the gap in the order and renumbers the
      // later clear sections only; out-of-range indexes are ignored.
      QUERY("#doc(\"one\" \"two\" <!--wo--> e{k})", doc),
      QUERY(shown(orderEntry(kOrderClear, 0)), doc.orderAt(2)), QUERY("-1", doc.orderAt(4)),
      // Arrays grow by 50 entries (the order by 150) when an addition would fill
      // them, and shrink to their counts.
      QUERY("50 150 0 0 150", grown.room()),
      QUERY("100 150 0 0 300", (grown.addChild(u"c", false), grown.room())),
      QUERY("50 100 0 0 150", (grown.shrink(), grown.room())),
      // Parsed elements closed by "/>" or their own end tag (read in their own
      // content, whatever its name) take exactly their counts.
      QUERY("0 0 0 2 0", top(u"<a x=\"1\" y=\"2\"/>").room()),
      QUERY("1 1 0 1 2", top(u"<a x=\"1\"><b/>t</a>").room()),
      QUERY("50 0 0 0 50", top(u"<a>" + fifty + u"</a>").room()),
      QUERY("0 1 0 0 1", top(u"<a><b>t</a>").findChild(u"b").room()),
      QUERY("1 0 0 0 1", top(u"<r><a><b/></r>").findChild(u"a").room()),
      // Closed by a child's end tag or the end of the text: the room each array
      // grew to; a comment a text joined over keeps its room then.
      QUERY("50 0 0 0 150", top(u"<a><b></a>").room()),
      QUERY("50 50 0 50 150", top(u"<a x=\"1\"><b/>t").room()),
      QUERY("0 0 0 0 0", top(u"<a><b>").findChild(u"b").room()),
      QUERY("50 0 0 50 150", top(u"<r><a x=\"1\"><b></r>").findChild(u"a").room()),
      QUERY("200 0 0 0 300", top(u"<a>" + fifty + fifty + fifty).room()),
      QUERY("0 50 50 0 150", top(u"<a>x<!-- c -->y").room()),
      QUERY("0 1 0 0 1", top(u"<a>x<!-- c -->y</a>").room()),
      QUERY("0 0 1 0 1", top(u"<a><!-- c --></a>").room()),
      // k >= 0 counts among the children of that name; k < 0 takes the last.
      QUERY("1", r.nthChild(u"a", 0).attribute(u"i")), QUERY("null", r.nthChild(u"a", 2)),
      QUERY("3", r.nthChild(u"a", 1).attribute(u"i")), QUERY("null", r.nthChild(u"c", 0)),
      QUERY("3", r.nthChild(u"a", -1).attribute(u"i")), QUERY("2", r.countChildren(u"A")),
      QUERY("2", r.nthChild(u"B", -1).attribute(u"i")), QUERY("0", r.countChildren(u"c")),
      QUERY("null", r.nthChild(u"c", -1)),
      // A cursor resumes after the last match, is left alone when nothing more
      // matches, and one below 0 searches from the start.
      QUERY("1", r.findChild(u"a", &cursor).attribute(u"i")), QUERY("1", cursor),
      QUERY("3", r.findChild(u"A", &cursor).attribute(u"i")), QUERY("3", cursor),
      QUERY("null", r.findChild(u"a", &cursor)), QUERY("3", cursor),
      QUERY("null", r.findChild(u"a", &far)), QUERY("10", far),
      QUERY("b{i=2}", r.findChild(u"b", &negative)), QUERY("2", negative),
      // Names compare whole, prefixes included, folding A-Z only; a NUL in the
      // name asked for matches no shorter name.
      QUERY("ROOTFILES", r.findChild(u"RootFiles")), QUERY("null", r.findChild(u"rootfile")),
      QUERY("opf:item", r.findChild(u"OPF:ITEM")), QUERY("null", r.findChild(u"item")),
      QUERY("\\u00E9", r.findChild(u"\u00E9")), QUERY("null", r.findChild(u"\u00C9")),
      QUERY("null", r.findChild(u"abc")), QUERY("null", r.findChild(u"")),
      QUERY("null", r.findChild(std::u16string_view(u"ab\0x", 4))),
      QUERY("null", r.findChild(std::u16string_view(u"ab\0", 3))),
      // Attribute names fold too, and the first of duplicates wins; one
      // missing or written without a value is null. A list of names asked in
      // one pass answers the same, names that only begin or end alike too.
      QUERY("a.opf", f.attribute(u"FULL-PATH")), QUERY("x", f.attribute(u"media-type")),
      QUERY("(null)", f.attribute(u"flag")), QUERY("(null)", f.attribute(u"full")),
      QUERY("x (null) a.opf (null)", f, {u"MEDIA-type", u"flag", u"full-path", u"full"}),
      QUERY("(null) 2", r.findChild(u"g"), {u"id", u"I"}),
      QUERY("(null) c", r.findChild(u"h"), {u"ID", u"class"}), QUERY("(null)", none, {u"id"}),
      // Positions count child elements only, texts and sections aside; the
      // document node has no name.
      QUERY("b{i=2}", r.childAt(1)), QUERY("null", r.childAt(10)), QUERY("null", r.childAt(-1)),
      QUERY("b", r.childNameAt(1)), QUERY("(null)", r.childNameAt(10)), QUERY("10", r.childCount()),
      QUERY("(null)", r.childNameAt(-1)), QUERY("(null)", top(u"<a/>t").name()),
      // The first text item, wherever it sits among the children, trimmed and
      // decoded; whitespace alone and clear sections are no text.
      QUERY("A & B", top(u"<a> A &amp; B </a>").firstText()),
      QUERY("(null)", top(u"<a/>").firstText()),
      QUERY("after", top(u"<a><b>in b</b> after </a>").firstText()),
      QUERY("one", top(u"<a>one<b/>two</a>").firstText()),
      QUERY("(null)", top(u"<a>  \n <![CDATA[x]]></a>").firstText()),
      // Every query answers "nothing" on the null handle, so chains need no checks.
      QUERY("(null)", none.name()), QUERY("(null)", none.firstText()),
      QUERY("(null)", none.attribute(u"a")), QUERY("0", none.childCount()),
      QUERY("0", none.countChildren(u"a")), QUERY("null", none.childAt(0)),
      QUERY("null", none.nthChild(u"a", -1)), QUERY("null", none.findChild(u"a", &kept)),
      QUERY("7", kept), QUERY("(null)", none.childNameAt(0)),
  }) {
    // clang-format on
    SCOPED_TRACE(query);
    EXPECT_EQ(answer, expected);
  }
}

// Trees large enough to take several of the arena's largest chunks, built
// and released in an interleaved order: memory a released tree gives back
// is reused by later trees, never while a handle still reaches it. Each
// tree's values name the tree, so a chunk shared by two live trees shows.
TEST(Tree, LargeTreesReuseReleasedMemory) {
  constexpr int kItems = 40000;  // about 4 MB of records per tree
  auto parse = [](char16_t tag) {
    std::u16string text = u"<r>";
    for (int i = 0; i < kItems; ++i) text += u"<i a=\"" + std::u16string(1, tag) + u"\">t</i>";
    return CXmlNode::parseDocument((text + u"</r>").c_str(), u"r");
  };
  auto intact = [](const CXmlNode& root, char16_t tag) {
    bool same = root.childCount() == kItems;
    for (int i = 0; i < kItems; i += 997) same = same && root.childAt(i).attribute(u"a")[0] == tag;
    return same;
  };
  CXmlNode a = parse(u'a'), b = parse(u'b');
  const CXmlNode aItem = a.childAt(kItems - 1);  // keeps its released root's memory
  a = CXmlNode();
  CXmlNode c = parse(u'c');
  b = CXmlNode();
  const CXmlNode d = parse(u'd');
  EXPECT_TRUE(aItem.attribute(u"a")[0] == u'a' && intact(c, u'c') && intact(d, u'd'));
  c = CXmlNode();
  const CXmlNode e = parse(u'e');
  EXPECT_TRUE(intact(d, u'd') && intact(e, u'e'));
}

}  // namespace
}  // namespace epub::xml
