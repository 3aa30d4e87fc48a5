// Node handles share their records by reference counting; the builders keep
// the document order consistent. Leaks show up under LeakSanitizer.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>

#include "xml/xml_node.h"
#include "xml_dump.h"

namespace epub::xml {
namespace {

using test::dump;
using test::narrow;

TEST(TreeRefcount, HandleCounts) {
  CXmlNode root = CXmlNode::parseDocument(u"<a><b><c>t</c></b></a>", u"a");
  ASSERT_EQ(root.referenceCount(), 1);

  // Assigning a handle to itself changes nothing.
  CXmlNode& alias = root;
  root = alias;
  EXPECT_EQ(root.referenceCount(), 1);

  // A copy adds a reference and assigning the same record again does not.
  CXmlNode copy = root;
  EXPECT_EQ(root.referenceCount(), 2);
  copy = root;
  EXPECT_EQ(root.referenceCount(), 2);

  // A moved-from handle is null and the count does not change.
  CXmlNode moved = std::move(copy);
  EXPECT_TRUE(copy.isNull());  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(root.referenceCount(), 2);
  moved = CXmlNode();
  EXPECT_EQ(root.referenceCount(), 1);

  // A child's count includes its parent's entry.
  CXmlNode b = root.childAt(0);
  EXPECT_EQ(b.referenceCount(), 2);
  CXmlNode b2 = root.findChild(u"b");
  EXPECT_EQ(b.referenceCount(), 3);
  b2 = root;  // re-assigning drops the reference to b
  EXPECT_EQ(b.referenceCount(), 2);
  EXPECT_EQ(root.referenceCount(), 2);
}

// A handle to a child keeps its subtree alive after the root handle goes;
// the child is then a root without a parent.
TEST(TreeRefcount, ChildOutlivesRoot) {
  CXmlNode root = CXmlNode::parseDocument(u"<a><b x=\"1\"><c>t</c></b><d/></a>", u"a");
  CXmlNode b = root.childAt(0);
  CXmlNode c = b.childAt(0);
  EXPECT_TRUE(b.hasParent());
  root = CXmlNode();

  EXPECT_FALSE(b.hasParent());
  EXPECT_EQ(b.referenceCount(), 1);
  EXPECT_TRUE(c.hasParent());
  EXPECT_EQ(c.referenceCount(), 2);
  EXPECT_EQ(dump(b), "b{x=1}(c(\"t\"))");

  // Dropping the detached root leaves c alone and parentless too.
  b = CXmlNode();
  EXPECT_FALSE(c.hasParent());
  EXPECT_EQ(narrow(c.firstText()), "t");
}

// Handles dropped in any order release every record exactly once.
TEST(TreeRefcount, AnyReleaseOrder) {
  const char16_t* text = u"<r><a><b/><c>x</c></a><d><e/></d>tail<!--z--></r>";
  for (int order = 0; order < 6; ++order) {
    CXmlNode handles[3];
    handles[0] = CXmlNode::parseDocument(text, u"r");
    handles[1] = handles[0].childAt(0).childAt(1);  // c
    handles[2] = handles[0].findChild(u"d");
    const int drop[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    for (int i : drop[order]) handles[i] = CXmlNode();
  }
}

TEST(TreeRefcount, NullHandle) {
  const CXmlNode& null = CXmlNode::null();
  EXPECT_TRUE(null.isNull());
  EXPECT_EQ(null.referenceCount(), 0);
  CXmlNode copy = null;
  EXPECT_TRUE(copy.isNull());
  // Builders on the null handle do nothing.
  EXPECT_TRUE(null.addChild(u"a", false).isNull());
  null.addText(u"x");
  null.removeClear(0);
  EXPECT_EQ(null.orderCount(), 0);
}

// Removing a clear section closes the gap in the order and renumbers the
// later clear sections only.
TEST(TreeRefcount, RemoveClearKeepsOrder) {
  static const char16_t kOpen[] = u"<!--";
  static const char16_t kClose[] = u"-->";
  const CXmlNode doc = CXmlNode::makeDocumentNode();
  doc.addText(u"one");
  doc.addClear(u"x", kOpen, kClose);
  doc.addText(u"two");
  doc.addClear(u"y", kOpen, kClose);
  doc.addChild(u"e", false);
  ASSERT_EQ(dump(doc), "#doc(\"one\" <!--x--> \"two\" <!--y--> e)");

  doc.removeClear(0);
  EXPECT_EQ(dump(doc), "#doc(\"one\" \"two\" <!--y--> e)");
  const int32_t order[] = {orderEntry(kOrderText, 0), orderEntry(kOrderText, 1),
                           orderEntry(kOrderClear, 0), orderEntry(kOrderChild, 0)};
  ASSERT_EQ(doc.orderCount(), 4);
  for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(doc.orderAt(i), order[i]) << i;

  // Out-of-range indexes are ignored.
  doc.removeClear(1);
  doc.removeClear(-1);
  EXPECT_EQ(doc.clearCount(), 1);
}

TEST(TreeRefcount, Room) {
  std::u16string fifty;
  for (int i = 0; i < 50; ++i) fifty += u"<b/>";
  const struct {
    std::u16string text;
    const char16_t* element;  // a child of the document's top node, or it
    XmlRoomView room;         // children, texts, clears, attributes, order
  } rows[] = {
      // Closing with "/>" or the element's own end tag shrinks to exact sizes.
      {u"<a/>", nullptr, {0, 0, 0, 0, 0}},
      {u"<a x=\"1\" y=\"2\"/>", nullptr, {0, 0, 0, 2, 0}},
      {u"<a x=\"1\"><b/>t</a>", nullptr, {1, 1, 0, 1, 2}},
      {u"<a>" + fifty + u"</a>", nullptr, {50, 0, 0, 0, 50}},
      // An end tag read in the element's own content shrinks it, whatever
      // name it carries.
      {u"<a><b>t</a>", u"b", {0, 1, 0, 0, 1}},
      {u"<r><a><b/></r>", u"a", {1, 0, 0, 0, 1}},
      // Closed by a child's end tag or by the end of the text: each array
      // keeps the room it grew to, 50 entries (the order 150) at a time.
      {u"<a><b></a>", nullptr, {50, 0, 0, 0, 150}},
      {u"<a><b/>t", nullptr, {50, 50, 0, 0, 150}},
      {u"<a x=\"1\"><b/>t", nullptr, {50, 50, 0, 50, 150}},
      {u"<a><b>", u"b", {0, 0, 0, 0, 0}},
      {u"<r><a><b/></r>", nullptr, {50, 0, 0, 0, 150}},
      {u"<r><a x=\"1\"><b></r>", u"a", {50, 0, 0, 50, 150}},
      {u"<a>" + fifty, nullptr, {100, 0, 0, 0, 150}},
      {u"<a>" + fifty + fifty + fifty, nullptr, {200, 0, 0, 0, 300}},
      // A comment between two texts goes when the second joins the first;
      // the room it took stays when the element is left open.
      {u"<a>x<!-- c -->y", nullptr, {0, 50, 50, 0, 150}},
      {u"<a>x<!-- c -->y</a>", nullptr, {0, 1, 0, 0, 1}},
      {u"<a><!-- c --></a>", nullptr, {0, 0, 1, 0, 1}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(narrow(row.text.c_str()));
    CXmlNode node = CXmlNode::parseDocument(row.text.c_str(), nullptr);
    if (row.element) node = node.findChild(row.element);
    ASSERT_FALSE(node.isNull());
    const XmlRoomView room = node.room();
    EXPECT_EQ(room.children, row.room.children);
    EXPECT_EQ(room.texts, row.room.texts);
    EXPECT_EQ(room.clears, row.room.clears);
    EXPECT_EQ(room.attributes, row.room.attributes);
    EXPECT_EQ(room.order, row.room.order);
  }
}

// Arrays grow by 50 entries (the order by 150) when an addition would fill
// them.
TEST(TreeRefcount, Growth) {
  const CXmlNode doc = CXmlNode::makeDocumentNode();
  for (int i = 0; i < 49; ++i) doc.addChild(u"c", false);
  EXPECT_EQ(doc.room().children, 50);
  doc.addChild(u"c", false);
  EXPECT_EQ(doc.room().children, 100);
  for (int i = 0; i < 99; ++i) doc.addText(u"t");
  EXPECT_EQ(doc.room().order, 150);
  doc.addText(u"t");
  EXPECT_EQ(doc.room().order, 300);
  doc.shrink();
  EXPECT_EQ(doc.room().children, 50);
  EXPECT_EQ(doc.room().texts, 100);
  EXPECT_EQ(doc.room().order, 150);
}

// Trees large enough to take several of the arena's largest chunks, built
// and released in an interleaved order: memory a released tree gives back
// is reused by later trees, never while a handle still reaches it. Each
// tree's texts name the tree, so a chunk shared by two live trees shows.
TEST(TreeRefcount, LargeTreesReuseReleasedMemory) {
  constexpr int kItems = 40000;  // about 4 MB of records per tree
  auto document = [](char16_t tag) {
    std::u16string text = u"<r>";
    for (int i = 0; i < kItems; ++i)
      text += std::u16string(u"<i a=\"") + tag + u"\">" + tag + u"</i>";
    return text + u"</r>";
  };
  auto intact = [](const CXmlNode& root, char16_t tag) {
    if (root.childCount() != kItems) return false;
    for (int i = 0; i < kItems; i += 997) {
      const CXmlNode item = root.childAt(i);
      if (std::u16string_view(item.firstText()) != std::u16string_view(&tag, 1)) return false;
      if (std::u16string_view(item.attribute(u"a")) != std::u16string_view(&tag, 1)) return false;
    }
    return true;
  };
  // Held while the next ones are built.
  CXmlNode a = CXmlNode::parseDocument(document(u'a').c_str(), u"r");
  CXmlNode b = CXmlNode::parseDocument(document(u'b').c_str(), u"r");
  // A child handle keeps its released root's memory.
  const CXmlNode aItem = a.childAt(kItems - 1);
  a = CXmlNode();
  CXmlNode c = CXmlNode::parseDocument(document(u'c').c_str(), u"r");
  b = CXmlNode();
  const CXmlNode d = CXmlNode::parseDocument(document(u'd').c_str(), u"r");
  EXPECT_EQ(std::u16string_view(aItem.firstText()), u"a");
  EXPECT_TRUE(intact(c, u'c'));
  EXPECT_TRUE(intact(d, u'd'));
  c = CXmlNode();
  const CXmlNode e = CXmlNode::parseDocument(document(u'e').c_str(), u"r");
  EXPECT_TRUE(intact(d, u'd'));
  EXPECT_TRUE(intact(e, u'e'));
}

}  // namespace
}  // namespace epub::xml
