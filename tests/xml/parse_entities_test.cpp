// Entity and character references in texts and attribute values.
#include <gtest/gtest.h>

#include <string>

#include "xml/xml_node.h"
#include "xml_dump.h"

namespace epub::xml {
namespace {

using test::narrow;

struct Row {
  const char16_t* content;  // placed in a text and in an attribute value
  const char* decoded;      // null: the parse fails with error 12
};

TEST(ParseEntities, Decoding) {
  const Row rows[] = {
      // The five named entities, in any letter case.
      {u"&amp;&lt;&gt;&quot;&apos;", "&<>\"'"},
      {u"&AMP;&Lt;&gT;&QUOT;&Apos;", "&<>\"'"},
      // Decimal and hexadecimal references, leading zeros allowed.
      {u"&#65;&#x41;&#X41;&#0065;&#x0041;", "AAAAA"},
      {u"&#xAbC;", "\\u0ABC"},
      // Only the low 16 bits are kept: no surrogate pairs.
      {u"&#x1F600;", "\\uF600"},
      {u"&#65601;", "A"},
      {u"&#4294967361;", "A"},
      // An empty reference is the code unit 0, which ends the string.
      {u"x&#;y", "x"},
      {u"x&#x;y", "x"},
      // Text around references stays as it is.
      {u"a&amp;b &lt; c", "a&b < c"},
      // Anything else fails the whole parse.
      {u"&nbsp;", nullptr},
      {u"a & b", nullptr},
      {u"&", nullptr},
      {u"&amp", nullptr},
      {u"&am;", nullptr},
      {u"&#65", nullptr},
      {u"&#", nullptr},
      {u"&#x", nullptr},
      {u"&#12a;", nullptr},
      {u"&#xG;", nullptr},
      {u"&#x-41;", nullptr},
      {u"&#-65;", nullptr},
      {u"&# 65;", nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(narrow(row.content));
    const std::u16string content = row.content;

    int32_t error = -1;
    const std::u16string inText = u"<a>" + content + u"</a>";
    const CXmlNode text = CXmlNode::parseDocument(inText.c_str(), u"a", &error);
    const std::u16string inValue = u"<a v=\"" + content + u"\"/>";
    int32_t valueError = -1;
    const CXmlNode value = CXmlNode::parseDocument(inValue.c_str(), u"a", &valueError);

    if (row.decoded == nullptr) {
      EXPECT_TRUE(text.isNull());
      EXPECT_EQ(error, kXmlBadEntity);
      EXPECT_TRUE(value.isNull());
      EXPECT_EQ(valueError, kXmlBadEntity);
    } else {
      EXPECT_EQ(error, 0);
      EXPECT_EQ(narrow(text.firstText()), row.decoded);
      EXPECT_EQ(valueError, 0);
      EXPECT_EQ(narrow(value.attribute(u"v")), row.decoded);
    }
  }
}

TEST(ParseEntities, TrimmingComesFirst) {
  const struct {
    const char16_t* text;
    const char* firstText;
  } rows[] = {
      // Whitespace is trimmed before decoding, so encoded spaces survive.
      {u"<a> A &amp; B </a>", "A & B"},
      {u"<a>&#32;x&#x20;</a>", " x "},
      {u"<a>&#9;</a>", "\\u0009"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(narrow(row.text));
    EXPECT_EQ(narrow(CXmlNode::parseDocument(row.text, u"a").firstText()), row.firstText);
  }
}

// The empty reference gives a real code unit 0 inside the stored text.
TEST(ParseEntities, EmptyReferenceStoresZero) {
  const CXmlNode a = CXmlNode::parseDocument(u"<a>x&#;y</a>", u"a");
  ASSERT_EQ(a.textCount(), 1);
  const char16_t* text = a.firstText();
  EXPECT_EQ(text[0], u'x');
  EXPECT_EQ(text[1], u'\0');
  EXPECT_EQ(text[2], u'y');
  EXPECT_EQ(text[3], u'\0');
}

// Element and attribute names are taken as written, references included.
TEST(ParseEntities, NamesAreNotDecoded) {
  const CXmlNode a = CXmlNode::parseDocument(u"<a&amp; x&lt;=\"&lt;\"/>", nullptr);
  EXPECT_EQ(test::dump(a), "a&amp;{x&lt;=<}");
}

}  // namespace
}  // namespace epub::xml
