// Node handles share their records by reference counting; the builders keep
// the document order consistent and the arrays' rooms as stated. Leaks and
// double releases show up under the sanitizers.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "xml_dump.h"

namespace epub::xml {
namespace {

using test::dump;

// Copies count a reference and moves hand theirs over; assigning a handle
// to itself or the record it holds changes nothing; a child's count includes
// its parent's entry; the null handle counts nothing and builds nothing.
TEST(TreeRefcount, HandleCounts) {
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
TEST(TreeRefcount, AnyReleaseOrder) {
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

std::string rooms(const XmlRoomView& r) {
  return std::to_string(r.children) + " " + std::to_string(r.texts) + " " +
         std::to_string(r.clears) + " " + std::to_string(r.attributes) + " " +
         std::to_string(r.order);
}

// Removing a clear section closes the gap in the order and renumbers the
// later clear sections only; out-of-range indexes are ignored. Arrays grow
// by 50 entries (the order by 150) when an addition would fill them, and
// shrink to their counts.
TEST(TreeRefcount, Builders) {
  const CXmlNode doc = CXmlNode::makeDocumentNode();
  for (const char16_t* text : {u"one", u"two"}) {
    doc.addText(text);
    doc.addClear(text + 1, u"<!--", u"-->");
  }
  doc.addChild(u"e", false).addAttribute(u"k", nullptr);
  for (const int32_t index : {0, 1, -1}) doc.removeClear(index);
  EXPECT_EQ(dump(doc), "#doc(\"one\" \"two\" <!--wo--> e{k})");
  EXPECT_TRUE(doc.orderAt(2) == orderEntry(kOrderClear, 0) && doc.orderAt(4) == -1);
  const CXmlNode grown = CXmlNode::makeDocumentNode();
  for (int i = 0; i < 49; ++i) grown.addChild(u"c", false);
  EXPECT_EQ(rooms(grown.room()), "50 0 0 0 150");
  grown.addChild(u"c", false);
  for (int i = 0; i < 100; ++i) grown.addText(u"t");
  EXPECT_EQ(rooms(grown.room()), "100 150 0 0 300");
  grown.shrink();
  EXPECT_EQ(rooms(grown.room()), "50 100 0 0 150");
}

// The rooms of parsed elements: children, texts, clear sections, attributes
// and order entries.
TEST(TreeRefcount, Room) {
  std::u16string fifty;
  for (int i = 0; i < 50; ++i) fifty += u"<b/>";
  const struct {
    std::u16string text;
    const char16_t* element;  // a child of the document's top node, or it
    const char* rooms;
  } rows[] = {
      // Closed by "/>" or by its own end tag (read in its own content,
      // whatever its name): exactly their counts.
      {u"<a x=\"1\" y=\"2\"/>", nullptr, "0 0 0 2 0"},
      {u"<a x=\"1\"><b/>t</a>", nullptr, "1 1 0 1 2"},
      {u"<a>" + fifty + u"</a>", nullptr, "50 0 0 0 50"},
      {u"<a><b>t</a>", u"b", "0 1 0 0 1"},
      {u"<r><a><b/></r>", u"a", "1 0 0 0 1"},
      // Closed by a child's end tag or the end of the text: the room each
      // array grew to, 50 entries (the order 150) at a time.
      {u"<a><b></a>", nullptr, "50 0 0 0 150"},
      {u"<a x=\"1\"><b/>t", nullptr, "50 50 0 50 150"},
      {u"<a><b>", u"b", "0 0 0 0 0"},
      {u"<r><a x=\"1\"><b></r>", u"a", "50 0 0 50 150"},
      {u"<a>" + fifty + fifty + fifty, nullptr, "200 0 0 0 300"},
      // A comment between two texts goes when the second joins the first;
      // the room it took stays when the element is left open.
      {u"<a>x<!-- c -->y", nullptr, "0 50 50 0 150"},
      {u"<a>x<!-- c -->y</a>", nullptr, "0 1 0 0 1"},
      {u"<a><!-- c --></a>", nullptr, "0 0 1 0 1"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(test::narrow(row.text));
    CXmlNode node = CXmlNode::parseDocument(row.text.c_str(), nullptr);
    EXPECT_EQ(rooms((row.element ? node.findChild(row.element) : node).room()), row.rooms);
  }
}

// Trees large enough to take several of the arena's largest chunks, built
// and released in an interleaved order: memory a released tree gives back
// is reused by later trees, never while a handle still reaches it. Each
// tree's values name the tree, so a chunk shared by two live trees shows.
TEST(TreeRefcount, LargeTreesReuseReleasedMemory) {
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
