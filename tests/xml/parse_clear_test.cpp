// Sections kept verbatim (CDATA, DOCTYPE, comments, <PRE>) and the merge of
// text runs around a comment.
#include <gtest/gtest.h>

#include <string>

#include "xml/xml_node.h"
#include "xml_dump.h"

namespace epub::xml {
namespace {

using test::narrow;

TEST(ParseClear, Sections) {
  const test::TreeRow rows[] = {
      // Contents are kept as written: no entity decoding, no trimming.
      {u"<a><![CDATA[ x < y & z ]]></a>", 0, "a(<![CDATA[ x < y & z ]]>)"},
      {u"<a><!-- &nbsp; -> -- --></a>", 0, "a(<!-- &nbsp; -> -- -->)"},
      {u"<a><PRE>x <b> &nbsp;</PRE></a>", 0, "a(<PRE>x <b> &nbsp;</PRE>)"},
      // An empty section adds nothing.
      {u"<a><![CDATA[]]><!----><PRE></PRE></a>", 0, "a"},
      // Open strings match case-sensitively: <pre> is an ordinary element.
      {u"<a><pre>x</pre></a>", 0, "a(pre(\"x\"))"},
      // A DOCTYPE ends at its first ">" unless a "<" comes first; then it
      // runs to "]>" (an internal subset).
      {u"<!DOCTYPE html><html/>", 0, "#doc(<!DOCTYPE html> html)"},
      {u"<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.1//EN\" \"x.dtd\"><html/>", 0,
       "#doc(<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.1//EN\" \"x.dtd\"> html)"},
      {u"<!DOCTYPE x [<!ENTITY e \"v\">]><x/>", 0, "#doc(<!DOCTYPE x [<!ENTITY e \"v\">]> x)"},
      // In lower case it is a start tag named "!doctype", whose quoted
      // identifier is a stray token; without one it holds the document.
      {u"<!doctype html PUBLIC \"x\"><html/>", 8, "null"},
      {u"<!doctype html><html/>", 1, "!doctype{html}(html)"},
      // A section needs its close string before the end of the text.
      {u"<a><!-- x", 7, "null"},
      {u"<a><!-- x --", 7, "null"},
      {u"<a><![CDATA[x]]", 7, "null"},
      {u"<a><PRE>x</pre></a>", 7, "null"},
      {u"<a><!DOCTYPE x", 7, "null"},
      {u"<a><!DOCTYPE x [ <b/> ]", 7, "null"},
      // A section is no token of a start tag.
      {u"<a <!-- c -->>", 8, "null"},
  };
  test::expectTrees(rows);
}

TEST(ParseClear, CommentMerge) {
  const test::TreeRow rows[] = {
      // A comment between two texts goes, and the texts join directly.
      {u"<a>One <!-- x --> Two</a>", 0, "a(\"OneTwo\")"},
      {u"<a>One<!--x-->Two<!--y-->Three</a>", 0, "a(\"OneTwoThree\")"},
      {u"<a>A &amp;<!--x-->&lt; B</a>", 0, "a(\"A &< B\")"},
      // Nothing to join: the comment stays.
      {u"<a><!--x-->Two</a>", 0, "a(<!--x--> \"Two\")"},
      {u"<a>One<!--x--></a>", 0, "a(\"One\" <!--x-->)"},
      {u"<a>One<!--x-->  <b/></a>", 0, "a(\"One\" <!--x--> b)"},
      {u"<a>One<!--x--><!--y-->Two</a>", 0, "a(\"One\" <!--x--> <!--y--> \"Two\")"},
      // Only comments merge; an empty comment is no section at all.
      {u"<a>One<![CDATA[x]]>Two</a>", 0, "a(\"One\" <![CDATA[x]]> \"Two\")"},
      {u"<a>One<!---->Two</a>", 0, "a(\"One\" \"Two\")"},
      // The merge happens in the element that holds both texts only.
      {u"<a>One<b/><!--x-->Two</a>", 0, "a(\"One\" b <!--x--> \"Two\")"},
  };
  test::expectTrees(rows);
}

// Many merges into one text stay linear and keep every piece.
TEST(ParseClear, LongMergeChain) {
  std::u16string text = u"<a>";
  std::string expected;
  for (int i = 0; i < 20000; ++i) {
    text += char16_t(u'a' + i % 26);
    text += u"<!--c-->";
    expected += char('a' + i % 26);
  }
  text += u"z</a>";
  expected += 'z';
  const CXmlNode a = CXmlNode::parseDocument(text.c_str(), u"a");
  ASSERT_EQ(a.textCount(), 1);
  EXPECT_EQ(a.clearCount(), 0);
  EXPECT_EQ(narrow(a.firstText()), expected);
}

// Clear sections point at the open and close strings they were read with.
TEST(ParseClear, OpenAndCloseStrings) {
  const CXmlNode doc =
      CXmlNode::parseDocument(u"<!DOCTYPE a [<!ENTITY e \"v\">]><!DOCTYPE b><a/>", nullptr);
  ASSERT_EQ(doc.clearCount(), 2);
  EXPECT_EQ(narrow(doc.clearAt(0).open), "<!DOCTYPE");
  EXPECT_EQ(narrow(doc.clearAt(0).close), "]>");
  EXPECT_EQ(narrow(doc.clearAt(0).value), " a [<!ENTITY e \"v\">");
  EXPECT_EQ(narrow(doc.clearAt(1).close), ">");
}

}  // namespace
}  // namespace epub::xml
