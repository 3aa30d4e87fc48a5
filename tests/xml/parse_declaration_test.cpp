// The XML declaration and how parseDocument picks the element it returns.
#include <gtest/gtest.h>

#include "xml/xml_node.h"
#include "xml_dump.h"

namespace epub::xml {
namespace {

using test::narrow;
using test::parse;

struct Row {
  const char16_t* text;
  const char16_t* root;
  int32_t error;
  const char* tree;
};

TEST(ParseDeclaration, RootSelection) {
  const Row rows[] = {
      // A top-level declaration is not closed by its "?>": it holds the rest
      // of the document, and the root element is found one level down.
      {u"<?xml version=\"1.0\"?><container><rootfiles/></container>", u"container", 0,
       "container(rootfiles)"},
      {u"<?xml version=\"1.0\"?><container><rootfiles/></container>", nullptr, 0,
       "?xml{version=1.0}(container(rootfiles))"},
      {u"<?xml version=\"1.0\" encoding='UTF-8' standalone=yes ?>\n<r/>", nullptr, 0,
       "?xml{version=1.0 encoding=UTF-8 standalone=yes}(r)"},
      // An unquoted last value loses the "?" that ends the declaration.
      {u"<?xml version=1.0?><r/>", nullptr, 0, "?xml{version=1.0}(r)"},
      {u"<?xml version=\"1.0\"?>", u"", 0, "?xml{version=1.0}"},
      {u"<?xml version=\"1.0\"?>", u"package", 0, "null"},
      // Without a declaration the single element replaces the document node.
      {u"<container><rootfiles/></container>", u"container", 0, "container(rootfiles)"},
      {u"<container/>", u"CONTAINER", 0, "container"},
      // Names compare whole: a prefixed element is another name.
      {u"<opf:package/>", u"package", 0, "null"},
      {u"<opf:package/>", u"OPF:Package", 0, "opf:package"},
      // The search goes one level below the top node, no further.
      {u"<x><package/></x>", u"package", 0, "package"},
      {u"<x><y><package/></y></x>", u"package", 0, "null"},
      {u"<a/><b/>", u"b", 0, "b"},
      {u"<a/><b/>", nullptr, 0, "#doc(a b)"},
      // A comment or a byte-order mark beside the root keeps the document node.
      {u"<!-- c --><package/>", nullptr, 0, "#doc(<!-- c --> package)"},
      {u"<!-- c --><package/>", u"package", 0, "package"},
      {u"\uFEFF<a/>", nullptr, 0, "#doc(\"\\uFEFF\" a)"},
      {u"\uFEFF<a/>", u"a", 0, "a"},
      // A stray end tag after a root inside the open declaration reaches the
      // document node and fails the parse.
      {u"<?xml version=\"1.0\"?><a/></x>", u"a", 6, "null"},
      // No element at all: the document node, or nothing when a root is named.
      {u"", nullptr, 2, "#doc"},
      {u"", u"container", 2, "null"},
      {u"just text", nullptr, 2, "#doc(\"just text\")"},
      {u" \r\n", nullptr, 2, "#doc"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(narrow(row.text) + " / " + narrow(row.root));
    const test::Parsed parsed = parse(row.text, row.root);
    EXPECT_EQ(parsed.error, row.error);
    EXPECT_EQ(parsed.tree, row.tree);
  }
}

TEST(ParseDeclaration, ProcessingInstructionsBelowTheTop) {
  const Row rows[] = {
      // Below the top level "?>" closes the instruction as an empty element.
      {u"<r><?pi data?>text</r>", nullptr, 0, "r(?pi{data} \"text\")"},
      {u"<r><?pi a=\"1\"?>text</r>", nullptr, 0, "r(?pi{a=1} \"text\")"},
      // But a "?" that ends an unquoted value, or the name itself, leaves the
      // instruction open until an end tag closes it.
      {u"<r><?pi a=1?>text</r>", nullptr, 1, "r(?pi{a=1}(\"text\"))"},
      {u"<r><?pi?>text</r>", nullptr, 1, "r(?pi?(\"text\"))"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(narrow(row.text));
    const test::Parsed parsed = parse(row.text, row.root);
    EXPECT_EQ(parsed.error, row.error);
    EXPECT_EQ(parsed.tree, row.tree);
  }
}

// The returned element no longer belongs to a tree: the nodes above it went.
TEST(ParseDeclaration, ReturnedRootHasNoParent) {
  const char16_t* texts[] = {
      u"<?xml version=\"1.0\"?><package/>",
      u"<package/>",
      u"<!-- c --><package/>",
      u"<x><package/></x>",
  };
  for (const char16_t* text : texts) {
    SCOPED_TRACE(narrow(text));
    const CXmlNode root = CXmlNode::parseDocument(text, u"package");
    ASSERT_FALSE(root.isNull());
    EXPECT_FALSE(root.hasParent());
    EXPECT_EQ(root.referenceCount(), 1);
  }
}

TEST(ParseDeclaration, NullText) {
  int32_t error = -1;
  EXPECT_TRUE(CXmlNode::parseDocument(nullptr, nullptr, &error).isNull());
  EXPECT_EQ(error, 0);
  EXPECT_TRUE(CXmlNode::parseDocument(nullptr, u"container").isNull());
}

}  // namespace
}  // namespace epub::xml
