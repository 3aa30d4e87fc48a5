// Every error code the parser raises, and which of them still give a tree.
#include <gtest/gtest.h>

#include "xml/xml_node.h"
#include "xml_dump.h"

namespace epub::xml {
namespace {

TEST(ParseErrors, Codes) {
  const test::TreeRow rows[] = {
      // 0: a well-formed document.
      {u"<a x=\"1\">t<b/></a>", kXmlOk, "a{x=1}(\"t\" b)"},
      // 1 (tolerated): an end tag for another element, or the text ending
      // inside an element.
      {u"<a><b></a>", kXmlMismatchedEnd, "a(b)"},
      {u"<a><b>", kXmlMismatchedEnd, "a(b)"},
      // 2 (tolerated): no element in the document; it overrides any earlier
      // code, fatal ones included.
      {u"", kXmlNoElement, "#doc"},
      {u"text &nbsp;", kXmlNoElement, "#doc"},
      {u"<!-- open", kXmlNoElement, "#doc"},
      // 4: "<" or "<?" in content not followed by a word.
      {u"<a>< ></a>", kXmlBadTagOpen, "null"},
      {u"<a><=b/></a>", kXmlBadTagOpen, "null"},
      {u"<a><\"b\"/></a>", kXmlBadTagOpen, "null"},
      {u"<a><?></a>", kXmlBadTagOpen, "null"},
      {u"<a><</a>", kXmlBadTagOpen, "null"},
      {u"<a><", kXmlBadTagOpen, "null"},
      // 5: "</" not followed by a word and ">".
      {u"<a></>", kXmlBadEndTag, "null"},
      {u"<a></a", kXmlBadEndTag, "null"},
      {u"<a></a b>", kXmlBadEndTag, "null"},
      {u"<a></\"a\">", kXmlBadEndTag, "null"},
      {u"<a></a/>", kXmlBadEndTag, "null"},
      // 6: an end tag that matches no open element.
      {u"<a></c></a>", kXmlStrayEndTag, "null"},
      {u"<a><b></c></b></a>", kXmlStrayEndTag, "null"},
      {u"<a></ab>", kXmlStrayEndTag, "null"},
      // 7: a clear section without its close string.
      {u"<a><!-- x -", kXmlUnclosedClear, "null"},
      {u"<a><![CDATA[", kXmlUnclosedClear, "null"},
      // 8: a stray token in a start tag, in each of its states.
      {u"<a \"x\">", kXmlBadTagToken, "null"},
      {u"<a <b>", kXmlBadTagToken, "null"},
      {u"<a </b>", kXmlBadTagToken, "null"},
      {u"<a =x>", kXmlBadTagToken, "null"},
      {u"<a <?x>", kXmlBadTagToken, "null"},
      {u"<a b \"c\">", kXmlBadTagToken, "null"},
      {u"<a b <c>", kXmlBadTagToken, "null"},
      {u"<a b <![CDATA[x]]>>", kXmlBadTagToken, "null"},
      {u"<a b=>", kXmlBadTagToken, "null"},
      {u"<a b=/>", kXmlBadTagToken, "null"},
      {u"<a b==c>", kXmlBadTagToken, "null"},
      {u"<a b=<c>", kXmlBadTagToken, "null"},
      {u"<a>x < y</a>", kXmlBadTagToken, "null"},
      // 12: a reference that cannot be decoded, in a text or a value.
      {u"<a>&nbsp;</a>", kXmlBadEntity, "null"},
      {u"<a x=\"&\"/>", kXmlBadEntity, "null"},
      {u"<a>ok</a>&bogus;", kXmlBadEntity, "null"},
  };
  test::expectTrees(rows);
}

// A fatal error anywhere releases the whole tree, even after a complete root.
TEST(ParseErrors, FailureAfterRootGivesNothing) {
  int32_t error = -1;
  const CXmlNode node =
      CXmlNode::parseDocument(u"<package><metadata/></package><!-- open", u"package", &error);
  EXPECT_TRUE(node.isNull());
  EXPECT_EQ(error, kXmlUnclosedClear);
}

}  // namespace
}  // namespace epub::xml
