// Helpers for the XML reader's tests. A compact rendering of a tree, so that
// a table row states the whole expected tree in one string:
//   element name{attr=value valueless}(item item ...), "?" before a declaration;
//   document #doc; text "text"; clear section: open string, value and close
//   string as written; null handle: null. Code units outside printable ASCII
//   show as \uXXXX, a null string as (null).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "xml/xml_document.h"
#include "xml/xml_node.h"

namespace epub::xml::test {

inline std::string narrow(std::u16string_view s) {
  std::string out;
  for (const char16_t c : s) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\u%04X", unsigned(c));
    out += c >= 0x20 && c < 0x7F ? std::string(1, char(c)) : buffer;
  }
  return out;
}
inline std::string narrow(const char16_t* s) {
  return s ? narrow(std::u16string_view(s)) : "(null)";
}

inline std::string dump(const CXmlNode& node) {
  if (node.isNull()) return "null";
  std::string out =
      (node.isDeclaration() ? "?" : "") + (node.name() ? narrow(node.name()) : "#doc");
  for (int32_t i = 0; i < node.attributeCount(); ++i) {
    const XmlAttributeView a = node.attributeAt(i);
    out += (i > 0 ? " " : "{") + narrow(a.name) + (a.value ? "=" + narrow(a.value) : "");
  }
  out += node.attributeCount() > 0 ? "}" : "";
  for (int32_t i = 0; i < node.orderCount(); ++i) {
    const int32_t entry = node.orderAt(i), index = orderIndex(entry);
    const XmlClearView c = node.clearAt(index);
    out += i > 0 ? " " : "(";
    if (orderKind(entry) == kOrderChild) out += dump(node.childAt(index));
    if (orderKind(entry) == kOrderText) out += '"' + narrow(node.textAt(index)) + '"';
    if (orderKind(entry) == kOrderClear) out += narrow(c.open) + narrow(c.value) + narrow(c.close);
  }
  return out + (node.orderCount() > 0 ? ")" : "");
}

// A buffer of exactly the text and its NUL, to hand over to a parse.
inline std::unique_ptr<char16_t[]> copyOf(const std::u16string& text) {
  auto copy = std::make_unique<char16_t[]>(text.size() + 1);
  std::copy(text.begin(), text.end(), copy.get());
  return copy;
}

// A table row: a document, the error code its parse reports, the dump of the
// node it returns and the root name asked for (none by default).
struct Row {
  std::u16string text;
  int32_t error;
  std::string tree;
  const char16_t* root = nullptr;
};

// Parses the row with the parser's shortcuts and token by token: both must
// give the row's outcome.
inline void expectTree(const Row& row) {
  SCOPED_TRACE(narrow(row.text) + (row.root ? " / root " + narrow(row.root) : ""));
  for (const bool shortcuts : {true, false}) {
    int32_t error = -1;
    const CXmlNode node = shortcuts ? CXmlNode::parseDocument(row.text.c_str(), row.root, &error)
                                    : parseDocumentTokenByToken(row.text.c_str(), row.root, &error);
    EXPECT_EQ(error, row.error) << (shortcuts ? "with shortcuts" : "token by token");
    EXPECT_EQ(dump(node), row.tree) << (shortcuts ? "with shortcuts" : "token by token");
  }
}
template <class Rows>
void expectTrees(const Rows& rows) {
  for (const Row& row : rows) expectTree(row);
}

}  // namespace epub::xml::test
