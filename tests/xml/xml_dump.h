// Helpers for the XML reader's tests: a compact rendering of a tree, so that
// a table row states the whole expected tree in one string.
//   element name{attr=value valueless}(item item ...), "?" before a declaration;
//   document #doc; text "text" (code units outside printable ASCII as \uXXXX);
//   clear section: open string, value and close string as written; null handle: null.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "xml/xml_node.h"
#include "xml/xml_parser.h"

namespace epub::xml::test {

inline std::string narrow(const char16_t* s) {
  if (s == nullptr) return "(null)";
  std::string out;
  for (; *s != u'\0'; ++s) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\u%04X", unsigned(*s));
    out += *s >= 0x20 && *s < 0x7F ? std::string(1, char(*s)) : buffer;
  }
  return out;
}
inline std::string narrow(const std::u16string& s) { return narrow(s.c_str()); }

inline std::string dump(const CXmlNode& node) {
  if (node.isNull()) return "null";
  std::string out = std::string(node.isDeclaration() ? "?" : "") +
                    (node.name() ? narrow(node.name()) : "#doc") +
                    (node.attributeCount() > 0 ? "{" : "");
  for (int32_t i = 0; i < node.attributeCount(); ++i) {
    const XmlAttributeView a = node.attributeAt(i);
    out += (i > 0 ? " " : "") + narrow(a.name) + (a.value ? "=" + narrow(a.value) : "");
  }
  out += node.attributeCount() > 0 ? "}" : "";
  for (int32_t i = 0; i < node.orderCount(); ++i) {
    const int32_t entry = node.orderAt(i), index = orderIndex(entry);
    out += i > 0 ? " " : "(";
    if (orderKind(entry) == kOrderChild) {
      out += dump(node.childAt(index));
    } else if (orderKind(entry) == kOrderText) {
      out += '"' + narrow(node.textAt(index)) + '"';
    } else if (orderKind(entry) == kOrderClear) {
      const XmlClearView c = node.clearAt(index);
      out += narrow(c.open) + narrow(c.value) + narrow(c.close);
    } else {
      out += "<bad order entry>";
    }
  }
  return out + (node.orderCount() > 0 ? ")" : "");
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
