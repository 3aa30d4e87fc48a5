// What tree, or which error, each document gives: one row per document, each
// parsed with the parser's shortcuts and token by token (xml_dump.h).
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "xml_dump.h"

namespace epub::xml {
namespace {

using test::Row;

TEST(Parse, Structure) {
  test::expectTrees(std::vector<Row>{
      // Double, single, unquoted and no values; duplicates stay, in document order.
      {u"<a x=\"1\" y='2' z=3 w/>", 0, "a{x=1 y=2 z=3 w}"},
      {u"<a b c=\"1\" x = \"2\" v=\"\" k=1 K=2></a>", 0, "a{b c=1 x=2 v= k=1 K=2}"},
      // An unquoted value ends at ">" and before "/>", not at a lone "/".
      {u"<a x=1>t</a>", 0, "a{x=1}(\"t\")"},
      {u"<a href=a/b.html/>", 0, "a{href=a/b.html}"},
      // A quoted value may hold ">" and "="; one not closed before "<" is a word.
      {u"<a x=\"1>2=3\"/>", 0, "a{x=1>2=3}"},
      {u"<a x=\"1>t</a>", 0, "a{x=\"1}(\"t\")"},
      // Values are entity-decoded, names (prefixes included) taken as written,
      // and whitespace after "<" is skipped before the name.
      {u"<opf:p t=\"x &amp; y\" &amp;=1 o:x=u/>", 0, "opf:p{t=x & y &amp;=1 o:x=u}"},
      {u"<a&amp; x&lt;=\"&lt;\"/>< a/>", 0, "#doc(a&amp;{x&lt;=<} a)"},
      // Texts are trimmed of space, tab, CR and LF only; whitespace alone is none.
      {u"<a>  Hello   world  </a>", 0, "a(\"Hello   world\")"},
      {u"<a>x\r\n\ty</a><b> \t\r\n </b><c>\u00A0x\u3000</c>", 0,
       "#doc(a(\"x\\u000D\\u000A\\u0009y\") b c(\"\\u00A0x\\u3000\"))"},
      // Items keep their order; stray ">", "=", "/>" and quotes stay in a text;
      // text beside the root keeps the document node.
      {u"<a>x<b/>y<c>z</c></a>", 0, "a(\"x\" b \"y\" c(\"z\"))"},
      {u"<a>1 > 0 = true /> \"q\" 'r</a>", 0, "a(\"1 > 0 = true /> \"q\" 'r\")"},
      {u"head<a>t</a>tail", 0, "#doc(\"head\" a(\"t\") \"tail\")"},
      // References decode wherever a run starts or ends, after the trimming.
      {u"<a>&amp;x<b/>&lt;<c>y</c> &gt; </a>", 0, "a(\"&x\" b \"<\" c(\"y\") \">\")"},
      {u"<a><b>1 &amp; 2</b>tail &#65;<c> &#32;x&#x20; </c></a>", 0,
       "a(b(\"1 & 2\") \"tail A\" c(\" x \"))"},
      // End tags match in any letter case, with whitespace, closing every
      // element up to the one they name.
      {u"<Abc><b></ B\n></aBC\t>", 0, "Abc(b)"},
      {u"<a><b><c>x</a>", 1, "a(b(c(\"x\")))"},
      {u"<r><a><b></a><c/></r>", 1, "r(a(b) c)"},
      {u"<a><ab></a>", 1, "a(ab)"},
      // What was read when the text ends stays, but a name waiting for "=".
      {u"<a><b>text", 1, "a(b(\"text\"))"},
      {u"<r><a x=\"1\"/><b x=\"2\">", 1, "r(a{x=1} b{x=2})"},
      {u"<r><a/><b x=\"1\" y", 1, "r(a b{x=1})"},
      {u"<a", 1, "a"},
      // A stray end tag in the document node's content ends the parse; "<"
      // not followed by markup starts an element all the same.
      {u"<a/></x>more<b/>", 1, "a"},
      {u"<a>x < y > z</a>", 1, "a(\"x\" y(\"z\"))"},
  });
}

// Documents that fail give no tree, whatever they held before; one with no
// element gives the document node alone.
TEST(Parse, ErrorCodes) {
  const struct {
    int32_t error;
    std::vector<std::u16string> texts;
  } groups[] = {
      // No element: it overrides any earlier code.
      {kXmlNoElement, {u"", u"text &nbsp;", u"<!-- open"}},
      // "<" or "<?" in content not followed by a word.
      {kXmlBadTagOpen,
       {u"<a>< ></a>", u"<a><=b/></a>", u"<a><\"b\"/></a>", u"<a><?></a>", u"<a><"}},
      // "</" not followed by a word and ">".
      {kXmlBadEndTag, {u"<a></>", u"<a></a", u"<a></a b>", u"<a></\"a\">", u"<a></a/>"}},
      // An end tag that matches no open element.
      {kXmlStrayEndTag, {u"<a></c></a>", u"<a><b></c></b></a>", u"<a></ab>"}},
      // A stray token in a start tag, in each of its states.
      {kXmlBadTagToken,
       {u"<a \"x\">", u"<a <b>", u"<a </b>", u"<a =x>", u"<a <?x>", u"<a <!-- c -->>",
        u"<a b \"c\">", u"<a b <c>", u"<a b <![CDATA[x]]>>", u"<a b=>", u"<a b=/>", u"<a b==c>",
        u"<a b=<c>", u"<a>x < y</a>", u"<a v=\"qq<b\">"}},
      // A clear section without its close string before the end of the text.
      {kXmlUnclosedClear,
       {u"<a><!-- x --", u"<a><![CDATA[x]]", u"<a><PRE>x</pre></a>", u"<a><!DOCTYPE x",
        u"<a><!DOCTYPE x [ <b/> ]", u"<a/><!-- open"}},
      // A reference that cannot be decoded, however the value is written,
      // and anywhere in a text, even after a complete root.
      {kXmlBadEntity,
       {u"<a x=\"&\"/>", u"<a v = \"x&nbsp;\"/>", u"<a v=x&nbsp;/>", u"<a v='&#1x;'/>",
        u"<a><b/>x &bad; y</a>", u"<a>ok</a>&bogus;"}},
  };
  for (const auto& group : groups) {
    for (const std::u16string& text : group.texts) {
      test::expectTree({text, group.error, group.error == kXmlNoElement ? "#doc" : "null"});
    }
  }
}

TEST(Parse, ClearSections) {
  test::expectTrees(std::vector<Row>{
      // Kept as written, undecoded and untrimmed; an empty one is none; open
      // strings match in their own letter case only.
      {u"<a><![CDATA[ x < y & z ]]><!-- &nbsp; -> -- --></a>", 0,
       "a(<![CDATA[ x < y & z ]]> <!-- &nbsp; -> -- -->)"},
      {u"<a><PRE>x <b> &nbsp;</PRE><pre>x</pre><Pre/></a>", 0,
       "a(<PRE>x <b> &nbsp;</PRE> pre(\"x\") Pre)"},
      {u"<a><![CDATA[]]><!----><PRE></PRE></a>", 0, "a"},
      // A DOCTYPE ends at its first ">", or at "]>" when a "<" comes first.
      {u"<!DOCTYPE html PUBLIC \"-//W3C//EN\" \"x.dtd\"><html/>", 0,
       "#doc(<!DOCTYPE html PUBLIC \"-//W3C//EN\" \"x.dtd\"> html)"},
      {u"<!DOCTYPE x [<!ENTITY e \"v\">]><x/>", 0, "#doc(<!DOCTYPE x [<!ENTITY e \"v\">]> x)"},
      // In lower case it is a start tag, and a quoted identifier a stray token.
      {u"<!doctype html PUBLIC \"x\"><html/>", 8, "null"},
      {u"<!doctype html><html/>", 1, "!doctype{html}(html)"},
      // A comment between two texts goes, and the texts join directly.
      {u"<a>One <!-- x --> Two<!--y-->Three</a><b>A &amp;<!--x-->&lt; B</b>", 0,
       "#doc(a(\"OneTwoThree\") b(\"A &< B\"))"},
      // Nothing to join, another section or an element between: sections stay.
      {u"<a><!--x-->Two</a><b>One<!--x-->  <c/></b>", 0,
       "#doc(a(<!--x--> \"Two\") b(\"One\" <!--x--> c))"},
      {u"<a>One<!--x--><!--y-->Two</a>", 0, "a(\"One\" <!--x--> <!--y--> \"Two\")"},
      {u"<a>One<![CDATA[x]]>Two<!---->3</a>", 0, "a(\"One\" <![CDATA[x]]> \"Two\" \"3\")"},
      {u"<a>One<b/><!--x-->Two</a>", 0, "a(\"One\" b <!--x--> \"Two\")"},
  });
}

TEST(Parse, RootSelection) {
  test::expectTrees(std::vector<Row>{
      // A top-level declaration is not closed by its "?>": it holds the rest
      // of the document, and the root element is found one level down.
      {u"<?xml version=\"1.0\"?><container><rootfiles/></container>", 0, "container(rootfiles)",
       u"container"},
      {u"<?xml version=\"1.0\" encoding='UTF-8' standalone=yes ?>\n<r/>", 0,
       "?xml{version=1.0 encoding=UTF-8 standalone=yes}(r)"},
      // An unquoted last value loses the "?" that ends the declaration.
      {u"<?xml version=1.0?><r/>", 0, "?xml{version=1.0}(r)", u""},
      {u"<?xml version=\"1.0\"?>", 0, "null", u"package"},
      // Below, "?>" closes an instruction, but after an unquoted value or the name.
      {u"<r><?pi data?>t<?pi a=\"1\"?></r>", 0, "r(?pi{data} \"t\" ?pi{a=1})"},
      {u"<r><?pi a=1?>text</r>", 1, "r(?pi{a=1}(\"text\"))"},
      {u"<r><?pi?>text</r>", 1, "r(?pi?(\"text\"))"},
      // Names compare whole in any letter case, one level below the top, no further.
      {u"<container/>", 0, "container", u"CONTAINER"},
      {u"<opf:package/>", 0, "null", u"package"},
      {u"<opf:package/>", 0, "opf:package", u"OPF:Package"},
      {u"<x><package/></x>", 0, "package", u"package"},
      {u"<x><y><package/></y></x>", 0, "null", u"package"},
      {u"<a/><b/>", 0, "b", u"b"},
      {u"<a/><b/>", 0, "#doc(a b)"},
      // A comment or a byte-order mark beside the root keeps the document node.
      {u"<!-- c --><package/>", 0, "#doc(<!-- c --> package)"},
      {u"<!-- c --><package/>", 0, "package", u"package"},
      {u"\uFEFF<a/>", 0, "#doc(\"\\uFEFF\" a)"},
      // A stray end tag in the declaration fails; with no element, a root named
      // is not found.
      {u"<?xml version=\"1.0\"?><a/></x>", 6, "null", u"a"},
      {u"", 2, "null", u"container"},
      {u"just text", 2, "#doc(\"just text\")"},
  });
  // The returned element has no parent: the nodes above it went.
  for (const char16_t* text : {u"<?xml version=\"1.0\"?><package/>", u"<x><package/></x>"}) {
    const CXmlNode root = CXmlNode::parseDocument(text, u"package");
    EXPECT_TRUE(!root.isNull() && !root.hasParent() && root.referenceCount() == 1);
  }
  int32_t error = -1;
  EXPECT_TRUE(CXmlNode::parseDocument(nullptr, u"container", &error).isNull());
  EXPECT_EQ(error, 0);
}

// Each reference, in a text and in an attribute value: the decoded string,
// or no tree and error 12.
TEST(Parse, References) {
  auto expect = [](const std::u16string& content, const char* decoded) {
    const int32_t error = decoded ? kXmlOk : kXmlBadEntity;
    const std::string text = decoded ? decoded : "";
    test::expectTree({u"<a>" + content + u"</a>", error, decoded ? "a(\"" + text + "\")" : "null"});
    test::expectTree(
        {u"<a v=\"" + content + u"\"/>", error, decoded ? "a{v=" + text + "}" : "null"});
  };
  const std::pair<const char16_t*, const char*> rows[] = {
      // The five named entities in any letter case; decimal and hexadecimal
      // references, leading zeros allowed; text around them stays.
      {u"&amp;&lt;&gt;&quot;&apos;&AMP;&Lt;&gT;&QUOT;&Apos;", "&<>\"'&<>\"'"},
      {u"&#65;&#x41;&#X41;&#0065;&#x0041;&#9;", "AAAAA\\u0009"},
      {u"a&amp;b &lt; c&#xAbC;", "a&b < c\\u0ABC"},
      // Only the low 16 bits are kept: no surrogate pairs.
      {u"&#x1F600;&#65601;&#4294967361;", "\\uF600AA"},
      // An empty reference is the code unit 0, which ends the string.
      {u"x&#;y", "x"},
      {u"x&#x;y", "x"}};
  for (const auto& [content, decoded] : rows) expect(content, decoded);
  // Anything else fails the whole parse.
  for (const char16_t* content : {u"&nbsp;", u"&#", u"&#x", u"a & b", u"&amp", u"&am;", u"&#65",
                                  u"&#12a;", u"&#xG;", u"&#x-41;", u"&#-65;", u"&# 65;"}) {
    expect(content, nullptr);
  }
  // The empty reference stores a real code unit 0 inside the text.
  const CXmlNode a = CXmlNode::parseDocument(u"<a>x&#;y</a>", u"a");
  EXPECT_EQ(std::u16string(a.firstText(), 4), std::u16string(u"x\0y\0", 4));
}

// The scans look at eight code units at a time and stop short of the text's
// end: delimiters, references and string ends at every position around
// those blocks and at the very end of the text read the same.
TEST(Parse, ScanEdges) {
  // Puts `a` for each "@" and `b` for each "*" of a row.
  auto fill = [](Row row, const std::u16string& a, const std::u16string& b) {
    for (size_t at; (at = row.text.find_first_of(u"@*")) != std::u16string::npos;) {
      row.text.replace(at, 1, row.text[at] == u'@' ? a : b);
    }
    for (size_t at; (at = row.tree.find_first_of("@*")) != std::string::npos;) {
      row.tree.replace(at, 1, test::narrow(row.tree[at] == '@' ? a : b));
    }
    return row;
  };
  // Attribute values: "@" holds "&amp;" somewhere, "*" is it decoded.
  const Row shapes[] = {{u"<a v=\"@\" w='@' x = \"@\" />", 0, "a{v=* w=* x=*}"},
                        {u"<a\tv=\"@\"\n/><b x y=\"@\">t</b>", 0, "#doc(a{v=*} b{x y=*}(\"t\"))"}};
  for (size_t length = 0; length <= 40; ++length) {
    for (size_t at = 0; at <= length; ++at) {
      std::u16string value;
      for (size_t i = 0; i < length; ++i) value += char16_t(u'a' + i % 26);
      const std::u16string decoded = value.substr(0, at) + u"&" + value.substr(at);
      value.insert(at, u"&amp;");
      for (const Row& shape : shapes) test::expectTree(fill(shape, value, decoded));
    }
  }
  const Row runs[] = {
      // Strings ending with the text ("*" is a run of n letters), names of
      // every length ("@") and runs between delimiters.
      {u"<a v=\"*", 1, "a{v=\"*}"},
      {u"<a v='*", 1, "a{v='*}"},
      {u"<a v=*", 1, "a{v=*}"},
      {u"<a>*", 1, "a(\"*\")"},
      {u"<a>&lt;*", 1, "a(\"<*\")"},
      {u"<a><!--*-", 7, "null"},
      {u"<@>*<@/>*<@ v=\"1\"/><!--*--><![CDATA[*]]></@>", 0,
       "@(\"*\" @ \"*\" @{v=1} <!--*--> <![CDATA[*]]>)"},
  };
  for (size_t n = 1; n <= 24; ++n) {
    for (const Row& row : runs) {
      test::expectTree(fill(row, u"a" + std::u16string(n - 1, u'b'), std::u16string(n, u'q')));
    }
  }
  // An end tag shorter than the element it may close, at the very end of a
  // buffer of exactly the text's size, borrowed or handed over: the name is
  // compared without reading past the text.
  const std::u16string name = u"abcdefghijklmnopqrst";
  for (size_t length = 1; length <= name.size(); ++length) {
    for (size_t k = 1; k <= length; ++k) {
      const std::u16string text = u"<" + name.substr(0, length) + u"></" + name.substr(0, k) + u">";
      auto exact = [&] {
        auto buffer = std::make_unique<char16_t[]>(text.size() + 1);
        std::copy(text.begin(), text.end(), buffer.get());
        return buffer;
      };
      int32_t borrowed = -1, handedOver = -1;
      CXmlNode::parseDocument(exact().get(), nullptr, &borrowed);
      CXmlNode::parseDocument(XmlText(exact(), text.size()), nullptr, &handedOver);
      const int32_t expected = k == length ? kXmlOk : kXmlStrayEndTag;
      EXPECT_TRUE(borrowed == expected && handedOver == expected) << test::narrow(text);
    }
  }
}

}  // namespace
}  // namespace epub::xml
