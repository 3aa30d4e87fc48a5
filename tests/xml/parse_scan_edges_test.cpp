// The parser's scans look at eight code units at a time and stop short of
// the text's end: delimiters, references and string ends at every position
// around those blocks and at the very end of the text must read the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "xml/xml_node.h"
#include "xml_dump.h"

namespace epub::xml {
namespace {

using test::narrow;

std::u16string run(size_t n, char16_t c) { return std::u16string(n, c); }

struct Parsed {
  CXmlNode node;
  int32_t error = -1;
};

Parsed parse(const std::u16string& text) {
  Parsed parsed;
  parsed.node = CXmlNode::parseDocument(text.c_str(), u"a", &parsed.error);
  return parsed;
}

std::u16string valueOf(const CXmlNode& node, const char16_t* name) {
  const char16_t* value = node.attribute(name);
  return value ? value : u"(none)";
}

TEST(ParseScanEdges, AttributeValuesOfEveryLength) {
  // Each way of writing an attribute gives the same value, whatever its
  // length and wherever a reference sits in it.
  const char16_t* const forms[] = {
      u"<a v=\"{}\"/>",      // name, "=" and quoted value back to back
      u"<a v='{}'/>",        // single quotes
      u"<a v = \"{}\" />",   // whitespace around "="
      u"<a\tv=\"{}\"\n/>",   // other whitespace
      u"<a x v=\"{}\"/>",    // after an attribute without value
      u"<a v=\"{}\">t</a>",  // an element with content
  };
  for (size_t length = 0; length <= 40; ++length) {
    for (size_t at = 0; at <= length; ++at) {
      // `length` letters with "&amp;" inserted at `at`.
      std::u16string value;
      for (size_t i = 0; i < length; ++i) value += char16_t(u'a' + i % 26);
      const std::u16string expected = value.substr(0, at) + u"&" + value.substr(at);
      value.insert(at, u"&amp;");
      for (const char16_t* form : forms) {
        std::u16string text = form;
        text.replace(text.find(u"{}"), 2, value);
        SCOPED_TRACE(narrow(text.c_str()));
        const Parsed parsed = parse(text);
        ASSERT_EQ(parsed.error, kXmlOk);
        EXPECT_EQ(valueOf(parsed.node, u"v"), expected);
      }
    }
  }
}

TEST(ParseScanEdges, StringsEndingWithTheText) {
  struct Row {
    const char16_t* before;  // then n copies of `fill`, then the text ends
    char16_t fill;
    int32_t error;
    const char16_t* attribute;  // asked of the returned element
    const char16_t* prefix;     // the attribute value or first text: prefix + fill run
  };
  const Row rows[] = {
      // A quote never closed: the value is a word from the quote to the end.
      {u"<a v=\"", u'x', kXmlMismatchedEnd, u"v", u"\""},
      {u"<a v='", u'y', kXmlMismatchedEnd, u"v", u"'"},
      // An unquoted value running to the end.
      {u"<a v=", u'z', kXmlMismatchedEnd, u"v", u""},
      // A text running to the end of an open element.
      {u"<a>", u'w', kXmlMismatchedEnd, nullptr, u""},
      {u"<a>&lt;", u'w', kXmlMismatchedEnd, nullptr, u"<"},
  };
  for (const Row& row : rows) {
    for (size_t n = 1; n <= 24; ++n) {
      const std::u16string text = row.before + run(n, row.fill);
      SCOPED_TRACE(narrow(text.c_str()));
      const Parsed parsed = parse(text);
      ASSERT_EQ(parsed.error, row.error);
      ASSERT_FALSE(parsed.node.isNull());
      const std::u16string expected = row.prefix + run(n, row.fill);
      if (row.attribute) {
        EXPECT_EQ(valueOf(parsed.node, row.attribute), expected);
      } else {
        ASSERT_NE(parsed.node.firstText(), nullptr);
        EXPECT_EQ(std::u16string(parsed.node.firstText()), expected);
      }
    }
  }
}

// An end tag shorter than the element it may close, at the very end of a
// buffer of exactly the text's size, borrowed or handed over: the name is
// compared without reading past the text.
TEST(ParseScanEdges, EndTagsShorterThanTheirElementAtTheEnd) {
  const std::u16string name = u"abcdefghijklmnopqrst";
  for (size_t length = 1; length <= name.size(); ++length) {
    for (size_t k = 1; k <= length; ++k) {
      const std::u16string text = u"<" + name.substr(0, length) + u"></" + name.substr(0, k) + u">";
      SCOPED_TRACE(narrow(text.c_str()));
      auto exact = [&] {
        auto buffer = std::make_unique<char16_t[]>(text.size() + 1);
        std::copy(text.begin(), text.end(), buffer.get());
        return buffer;
      };
      // The whole name closes the element; a shorter word reaches the
      // document node and fails the parse.
      const int32_t expected = k == length ? kXmlOk : kXmlStrayEndTag;
      int32_t error = -1;
      const auto borrowed = exact();
      CXmlNode::parseDocument(borrowed.get(), nullptr, &error);
      EXPECT_EQ(error, expected);
      CXmlNode::parseDocument(XmlText(exact(), text.size()), nullptr, &error);
      EXPECT_EQ(error, expected);
    }
  }
}

TEST(ParseScanEdges, DelimitersAtEveryOffset) {
  for (size_t n = 1; n <= 24; ++n) {
    const std::u16string name = u"a" + run(n - 1, u'b');
    const std::u16string word = run(n, u'q');
    SCOPED_TRACE(n);
    // Element names of every length, closed by ">", "/>" or whitespace.
    for (const std::u16string& text : {u"<" + name + u">" + word + u"</" + name + u">",
                                       u"<" + name + u"/>", u"<" + name + u" v=\"1\"/>"}) {
      int32_t error = -1;
      const CXmlNode node = CXmlNode::parseDocument(text.c_str(), name.c_str(), &error);
      EXPECT_EQ(error, kXmlOk) << narrow(text.c_str());
      EXPECT_FALSE(node.isNull()) << narrow(text.c_str());
    }
    // A quote closed only after a "<" is no quoted string: in a start tag
    // the "<" then fails the parse.
    const Parsed broken = parse(u"<a v=\"" + word + u"<b\">");
    EXPECT_EQ(broken.error, kXmlBadTagToken);
    EXPECT_TRUE(broken.node.isNull());
    // A "<" inside a text run, however far in, starts markup.
    const Parsed text = parse(u"<a>" + word + u"<b/>" + word + u"</a>");
    ASSERT_EQ(text.error, kXmlOk);
    EXPECT_EQ(text.node.childCount(), 1);
    EXPECT_EQ(text.node.textCount(), 2);
    // Clear sections whose close string falls anywhere, and one never closed.
    const Parsed clear = parse(u"<a><!--" + word + u"--><![CDATA[" + word + u"]]></a>");
    ASSERT_EQ(clear.error, kXmlOk);
    ASSERT_EQ(clear.node.clearCount(), 2);
    EXPECT_EQ(std::u16string(clear.node.clearAt(0).value), word);
    EXPECT_EQ(std::u16string(clear.node.clearAt(1).value), word);
    const Parsed unclosed = parse(u"<a><!--" + word + u"-");
    EXPECT_EQ(unclosed.error, kXmlUnclosedClear);
    EXPECT_TRUE(unclosed.node.isNull());
  }
}

TEST(ParseScanEdges, TagForms) {
  struct Row {
    const char16_t* text;
    int32_t error;
    const char* tree;  // the returned node's children by name, "-" for the null handle
  };
  const Row rows[] = {
      // End tags with and without whitespace around their name.
      {u"<a><b></b ></a>", kXmlOk, "b"},
      {u"<a><b></b\n></a\t>", kXmlOk, "b"},
      {u"<a><b></b></a>", kXmlOk, "b"},
      {u"<a><b></ b></a>", kXmlOk, "b"},
      // An end tag naming another element closes up to the match.
      {u"<a><b><c></b><d/></a>", kXmlMismatchedEnd, "b d"},
      {u"<a><b></B></a>", kXmlOk, "b"},
      // "</" not followed by a word and ">" fails, however it is written.
      {u"<a></a", kXmlBadEndTag, "-"},
      {u"<a></>", kXmlBadEndTag, "-"},
      {u"<a></a/>", kXmlBadEndTag, "-"},
      // "<" followed by whitespace or a quote opens no element.
      {u"<a>< b/></a>", kXmlOk, "b"},
      {u"<a><\"q\"/></a>", kXmlBadTagOpen, "-"},
      // "<PRE>" is a clear section, "<Pre>" an element.
      {u"<a><PRE><x></PRE><Pre/></a>", kXmlOk, "Pre"},
  };
  for (const Row& row : rows) {
    const std::u16string text = row.text;
    SCOPED_TRACE(narrow(text.c_str()));
    const Parsed parsed = parse(text);
    EXPECT_EQ(parsed.error, row.error);
    std::string tree = parsed.node.isNull() ? "-" : "";
    for (int32_t i = 0; i < parsed.node.childCount(); ++i) {
      if (i > 0) tree += " ";
      tree += narrow(parsed.node.childAt(i).name());
    }
    EXPECT_EQ(tree, row.tree);
  }
}

TEST(ParseScanEdges, BadReferencesInEveryForm) {
  // A reference that cannot be decoded fails the parse however the value is
  // written.
  for (const char16_t* text : {u"<a v=\"x&nbsp;\"/>", u"<a v = \"x&nbsp;\"/>", u"<a v=x&nbsp;/>",
                               u"<a v=\"&#1x;\"/>", u"<a v='&'/>", u"<a>x&nbsp;</a>"}) {
    SCOPED_TRACE(narrow(text));
    const Parsed parsed = parse(text);
    EXPECT_EQ(parsed.error, kXmlBadEntity);
    EXPECT_TRUE(parsed.node.isNull());
  }
}

}  // namespace
}  // namespace epub::xml
