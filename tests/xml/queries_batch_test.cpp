// The handle-free queries the package readers use on hot paths answer
// exactly what the single queries answer.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "xml/xml_node.h"
#include "xml_dump.h"

namespace epub::xml {
namespace {

using test::narrow;

std::string shown(const char16_t* value) { return value ? narrow(value) : "(null)"; }

TEST(QueriesBatch, AttributesAnswerAsAttribute) {
  const std::u16string_view names[] = {u"id", u"class", u"playOrder", u"src", u"ID"};
  const char16_t* const elements[] = {
      // All present, in another order.
      u"<p playOrder=\"3\" class=\"c\" id=\"x\"/>",
      // The first of duplicates wins, whatever its letter case.
      u"<p Id=\"first\" id=\"second\" PLAYORDER=\"7\"/>",
      // Written without a value: null, and a later valued duplicate is not
      // looked at.
      u"<p id class=\"c\" id=\"later\"/>",
      // None of them, or no attributes at all.
      u"<p other=\"1\"/>",
      u"<p/>",
      // Names that only begin or end like a wanted one.
      u"<p identity=\"1\" i=\"2\" xid=\"3\"/>",
  };
  for (const char16_t* text : elements) {
    SCOPED_TRACE(narrow(text));
    const CXmlNode p = CXmlNode::parseDocument(text, u"p");
    ASSERT_FALSE(p.isNull());
    const char16_t* values[5];
    p.attributes(names, values, 5);
    for (int k = 0; k < 5; ++k) {
      EXPECT_EQ(shown(values[k]), shown(p.attribute(names[k]))) << narrow(names[k].data());
    }
    // A shorter list answers the same for its names.
    const char16_t* one = u"unset";
    p.attributes(names + 2, &one, 1);
    EXPECT_EQ(shown(one), shown(p.attribute(names[2])));
  }
  // The null handle answers null for every name.
  const char16_t* values[2] = {u"unset", u"unset"};
  CXmlNode().attributes(names, values, 2);
  EXPECT_EQ(values[0], nullptr);
  EXPECT_EQ(values[1], nullptr);
}

TEST(QueriesBatch, ChildNameAtAnswersAsChildAt) {
  const CXmlNode r =
      CXmlNode::parseDocument(u"<r><a/>text<B x=\"1\"/><!-- c --><c><d/></c></r>", u"r");
  ASSERT_EQ(r.childCount(), 3);
  // Every position, and positions out of range on both sides.
  for (int32_t i = -2; i <= 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(shown(r.childNameAt(i)), shown(r.childAt(i).name()));
  }
  EXPECT_EQ(shown(r.childNameAt(2)), "c");
  EXPECT_EQ(CXmlNode().childNameAt(0), nullptr);
}

}  // namespace
}  // namespace epub::xml
