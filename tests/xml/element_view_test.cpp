// Element views: a view of a record answers what a handle to it answers,
// over every record of parsed trees, and reading a tree through views takes
// no reference.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "xml/xml_element.h"
#include "xml/xml_node.h"
#include "xml_dump.h"

namespace epub::xml {
namespace {

using test::narrow;

// Compares the view with the handle of the same record, then every child
// pair in turn, depth first; `visited` counts the records compared.
void expectSameAnswers(const CXmlNode& node, XmlElement view, int& visited) {
  ++visited;
  ASSERT_EQ(view.isNull(), node.isNull());
  EXPECT_EQ(view.name(), node.name());
  EXPECT_EQ(view.firstText(), node.firstText());
  ASSERT_EQ(view.attributeCount(), node.attributeCount());
  for (int32_t i = 0; i < view.attributeCount(); ++i) {
    EXPECT_EQ(view.attributeAt(i).name, node.attributeAt(i).name);
    EXPECT_EQ(view.attributeAt(i).value, node.attributeAt(i).value);
  }
  ASSERT_EQ(view.childCount(), node.childCount());
  for (int32_t i = 0; i < view.childCount(); ++i) {
    // The hints change nothing that is read afterwards.
    view.childAt(i).prefetchArrays();
    view.childAt(i).prefetchChildren();
    SCOPED_TRACE("child " + std::to_string(i) + " " + narrow(node.childNameAt(i)));
    expectSameAnswers(node.childAt(i), view.childAt(i), visited);
  }
}

// Every record gets a reference count; the view walk must leave them all.
void collectCounts(const CXmlNode& node, std::vector<int32_t>& counts) {
  counts.push_back(node.referenceCount());
  for (int32_t i = 0; i < node.childCount(); ++i) collectCounts(node.childAt(i), counts);
}

int countThroughViews(XmlElement view) {
  int count = 1;
  for (int32_t i = 0; i < view.childCount(); ++i) count += countThroughViews(view.childAt(i));
  return count;
}

TEST(ElementView, AnswersWhatTheHandleAnswers) {
  struct Row {
    std::u16string text;
    int records;  // records from the returned node down, itself included
  };
  const Row rows[] = {
      // Attributes with and without values, texts, empty and nested elements.
      {u"<r a=\"1\" b c='x'><p>one<q/>two</p><p/>tail</r>", 4},
      // A declaration, a comment and CDATA around and among the elements.
      {u"<?xml version=\"1.0\"?><!-- c --><r><![CDATA[d]]><s t=\"&amp;\">&lt;</s></r>", 3},
      // A navigation map's shape, with names in other letter cases.
      {u"<navMap><navPoint id=\"a\" playOrder=\"1\"><navLabel><text>A</text></navLabel>"
       u"<content src=\"a.xhtml\"/><NavPoint ID=\"b\"/></navPoint></navMap>",
       6},
      // A document with no element: the top node alone.
      {u"just text", 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(narrow(row.text.c_str()));
    const CXmlNode top = CXmlNode::parseDocument(row.text.c_str(), nullptr);
    ASSERT_FALSE(top.isNull());
    std::vector<int32_t> before;
    collectCounts(top, before);
    EXPECT_EQ(countThroughViews(XmlElement(top)), row.records);
    int visited = 0;
    expectSameAnswers(top, XmlElement(top), visited);
    EXPECT_EQ(visited, row.records);
    std::vector<int32_t> after;
    collectCounts(top, after);
    EXPECT_EQ(after, before);
  }
}

// The null view answers like the null handle: no name, text, children or
// attributes.
TEST(ElementView, NullViewAnswersNothing) {
  const XmlElement none;
  EXPECT_TRUE(none.isNull());
  EXPECT_EQ(none.name(), nullptr);
  EXPECT_EQ(none.firstText(), nullptr);
  EXPECT_EQ(none.childCount(), 0);
  EXPECT_EQ(none.attributeCount(), 0);
  none.prefetchArrays();
  none.prefetchChildren();
  const XmlElement ofNull(CXmlNode::null());
  EXPECT_TRUE(ofNull.isNull());
  EXPECT_EQ(ofNull.childCount(), 0);
}

}  // namespace
}  // namespace epub::xml
