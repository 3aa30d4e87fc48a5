// Elements, attributes, text runs and end tags: what tree a document gives.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "xml/xml_node.h"
#include "xml_dump.h"

namespace epub::xml {
namespace {

TEST(ParseStructure, AttributeForms) {
  const test::TreeRow rows[] = {
      // Double, single and unquoted values; a name without "=" has no value.
      {u"<a x=\"1\" y='2' z=3 w/>", 0, "a{x=1 y=2 z=3 w}"},
      {u"<a b c=\"1\"></a>", 0, "a{b c=1}"},
      {u"<a x = \"1\" />", 0, "a{x=1}"},
      {u"<a v=\"\"/>", 0, "a{v=}"},
      // Duplicates stay, in document order, whatever their letter case.
      {u"<a k=\"1\" K=\"2\" k=\"3\"/>", 0, "a{k=1 K=2 k=3}"},
      // An unquoted value ends at ">" and before "/>", not at a lone "/".
      {u"<a x=1>t</a>", 0, "a{x=1}(\"t\")"},
      {u"<a x=1/>", 0, "a{x=1}"},
      {u"<a href=a/b.html/>", 0, "a{href=a/b.html}"},
      // A quoted value may hold ">" and "=", but a quote not closed before
      // the next "<" is only the first character of a word.
      {u"<a x=\"1>2=3\"/>", 0, "a{x=1>2=3}"},
      {u"<a x=\"1>t</a>", 0, "a{x=\"1}(\"t\")"},
      // Values are entity-decoded, names are taken as written.
      {u"<a t=\"x &amp; y\" &amp;=1/>", 0, "a{t=x & y &amp;=1}"},
      // Prefixes are part of the names.
      {u"<opf:package xmlns:opf=\"u\"/>", 0, "opf:package{xmlns:opf=u}"},
      // Whitespace after "<" is skipped before the name.
      {u"< a/>", 0, "a"},
  };
  test::expectTrees(rows);
}

TEST(ParseStructure, TextRuns) {
  const test::TreeRow rows[] = {
      // Leading and trailing whitespace goes, inner whitespace stays.
      {u"<a>  Hello   world  </a>", 0, "a(\"Hello   world\")"},
      {u"<a>x\r\n\ty</a>", 0, "a(\"x\\u000D\\u000A\\u0009y\")"},
      // A run of whitespace alone adds no text item.
      {u"<a> \t\r\n </a>", 0, "a"},
      // Only space, tab, CR and LF are whitespace.
      {u"<a>\u00A0x\u3000</a>", 0, "a(\"\\u00A0x\\u3000\")"},
      // Texts and elements keep their document order.
      {u"<a>x<b/>y<c>z</c></a>", 0, "a(\"x\" b \"y\" c(\"z\"))"},
      // Stray ">", "=", "/>" and quotes in content stay in the text.
      {u"<a>1 > 0 = true /> \"q\" 'r</a>", 0, "a(\"1 > 0 = true /> \"q\" 'r\")"},
      // Text beside the root element keeps the document node.
      {u"<a>t</a>tail", 0, "#doc(a(\"t\") \"tail\")"},
      {u"head<a/>", 0, "#doc(\"head\" a)"},
      // References are decoded wherever a run starts or ends: right after
      // a start tag, an empty element or an end tag, and before a tag.
      {u"<a>&amp;x<b/>&lt;<c>y</c> &gt; </a>", 0, "a(\"&x\" b \"<\" c(\"y\") \">\")"},
      {u"<a><b>1 &amp; 2</b>tail &#65;</a>", 0, "a(b(\"1 & 2\") \"tail A\")"},
      // A run after a comment joins the text before it, references decoded.
      {u"<a>x<!-- c -->&amp;y</a>", 0, "a(\"x&y\")"},
      // A run holding a bad reference fails wherever it stands.
      {u"<a><b/>x &bad; y</a>", kXmlBadEntity, "null"},
  };
  test::expectTrees(rows);
}

TEST(ParseStructure, EndTags) {
  const test::TreeRow rows[] = {
      // End tags match case-insensitively and may carry whitespace.
      {u"<Abc></aBC>", 0, "Abc"},
      {u"<a></a >", 0, "a"},
      {u"<a></ a>", 0, "a"},
      // An end tag for an enclosing element closes everything up to it.
      {u"<a><b></a>", 1, "a(b)"},
      {u"<a><b><c>x</a>", 1, "a(b(c(\"x\")))"},
      {u"<r><a><b></a><c/></r>", 1, "r(a(b) c)"},
      // A name that only starts like the element's is another name.
      {u"<a><ab></a>", 1, "a(ab)"},
      // The text may end inside elements: what was read is kept.
      {u"<a><b>text", 1, "a(b(\"text\"))"},
      {u"<a", 1, "a"},
      {u"<a x=\"1\"", 1, "a{x=1}"},
      {u"<r><a/><b x=\"1\"", 1, "r(a b{x=1})"},
      {u"<r><a x=\"1\"/><b x=\"2\">", 1, "r(a{x=1} b{x=2})"},
      // A last name without a value is not yet an attribute.
      {u"<r><a x=\"1\" y", 1, "r(a{x=1})"},
      // A stray end tag in the document node's own content ends the parse.
      {u"<a/></x>more<b/>", 1, "a"},
      // "<" not followed by markup starts an element all the same.
      {u"<a>x < y > z</a>", 1, "a(\"x\" y(\"z\"))"},
  };
  test::expectTrees(rows);
}

// Start tags with many attributes of every form, in every kind of element,
// after enough other records that the attributes cross from one block of
// the tree's memory into the next; in a borrowed text copied into the tree's
// memory and in one large enough for a copy of its own.
TEST(ParseStructure, ManyAttributes) {
  struct Shape {
    const char* what;
    std::u16string before, after;  // around "<a" and its attributes
    bool exact;                    // arrays of exactly their entries' number
  };
  auto number = [](int32_t n) {
    const std::string digits = std::to_string(n);
    return std::u16string(digits.begin(), digits.end());
  };
  const Shape shapes[] = {
      {"empty element", u"", u"/>", true},          {"closed by its end tag", u"", u"></a>", true},
      {"with content", u"", u"><b/>t</a>", true},   {"left open", u"<r>", u">", false},
      {"text ends in the tag", u"<r>", u"", false},
  };
  for (const size_t padding : {size_t(0), size_t(300000)}) {
    for (const int32_t count : {1, 3, 49, 50, 51, 300, 2000}) {
      for (const int32_t records : {0, 100, 137}) {
        for (const Shape& shape : shapes) {
          SCOPED_TRACE(std::string(shape.what) + ", " + std::to_string(count) +
                       " attributes after " + std::to_string(records) + " records, " +
                       std::to_string(padding) + " spaces first");
          std::u16string text = shape.before.empty() ? u"<r>" : shape.before;
          text.append(padding, u' ');
          for (int32_t i = 0; i < records; ++i) text += u"<p q=\"1\"/>";
          text += u"<a";
          std::vector<std::pair<std::u16string, std::u16string>> expected;
          for (int32_t i = 0; i < count; ++i) {
            const std::u16string name = u"k" + number(i);
            const std::u16string value = u"v" + number(i);
            // The last attribute is quoted: a name without a value is not an
            // attribute until its tag ends.
            switch (i + 1 == count ? 0 : i % 5) {
              case 0:
                text += u" " + name + u"=\"" + value + u"\"";
                break;
              case 1:
                text += u" " + name + u"='" + value + u"'";
                break;
              case 2:
                text += u" " + name + u"=" + value;
                break;
              case 3:
                text += u" " + name;
                break;
              case 4:
                text += u" " + name + u"=\"" + value + u"&amp;\"";
                break;
            }
            expected.emplace_back(name, i + 1 != count && i % 5 == 3   ? u"(none)"
                                        : i + 1 != count && i % 5 == 4 ? value + u"&"
                                                                       : value);
          }
          text += shape.after;
          if (shape.before.empty()) text += u"</r>";
          const CXmlNode top = CXmlNode::parseDocument(text.c_str(), u"r");
          ASSERT_FALSE(top.isNull());
          const CXmlNode a = top.childAt(records);
          ASSERT_EQ(test::narrow(a.name()), "a");
          ASSERT_EQ(a.attributeCount(), count);
          for (int32_t i = 0; i < count; ++i) {
            const XmlAttributeView attribute = a.attributeAt(i);
            ASSERT_EQ(std::u16string(attribute.name), expected[size_t(i)].first) << i;
            ASSERT_EQ(attribute.value ? std::u16string(attribute.value) : u"(none)",
                      expected[size_t(i)].second)
                << i;
          }
          EXPECT_EQ(a.room().attributes, shape.exact ? count : (count / 50 + 1) * 50);
        }
      }
    }
  }
}

}  // namespace
}  // namespace epub::xml
