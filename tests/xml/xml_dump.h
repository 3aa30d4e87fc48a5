// Helpers for the XML reader's tests: a compact rendering of a tree, so that
// a table row can state the whole expected tree in one string.
//
//   element   name{attr=value valueless}(item item ...)   "?" before a declaration
//   document  #doc
//   text      "text"        (code units outside printable ASCII as \uXXXX)
//   clear     the open string, the value and the close string, as written
//   null      null
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "xml/xml_node.h"

namespace epub::xml::test {

inline std::string narrow(const char16_t* s) {
  if (s == nullptr) return "(null)";
  std::string out;
  for (; *s != u'\0'; ++s) {
    if (*s >= 0x20 && *s < 0x7F) {
      out += char(*s);
    } else {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04X", unsigned(*s));
      out += buffer;
    }
  }
  return out;
}

inline std::string dump(const CXmlNode& node) {
  if (node.isNull()) return "null";
  std::string out = node.isDeclaration() ? "?" : "";
  out += node.name() ? narrow(node.name()) : "#doc";
  if (node.attributeCount() > 0) {
    out += '{';
    for (int32_t i = 0; i < node.attributeCount(); ++i) {
      const XmlAttributeView a = node.attributeAt(i);
      if (i > 0) out += ' ';
      out += narrow(a.name);
      if (a.value) out += '=' + narrow(a.value);
    }
    out += '}';
  }
  if (node.orderCount() > 0) {
    out += '(';
    for (int32_t i = 0; i < node.orderCount(); ++i) {
      const int32_t entry = node.orderAt(i);
      if (i > 0) out += ' ';
      switch (orderKind(entry)) {
        case kOrderChild:
          out += dump(node.childAt(orderIndex(entry)));
          break;
        case kOrderText:
          out += '"' + narrow(node.textAt(orderIndex(entry))) + '"';
          break;
        case kOrderClear: {
          const XmlClearView c = node.clearAt(orderIndex(entry));
          out += narrow(c.open) + narrow(c.value) + narrow(c.close);
          break;
        }
        default:
          out += "<bad order entry>";
      }
    }
    out += ')';
  }
  return out;
}

// One parse as a table row sees it.
struct Parsed {
  int32_t error;
  std::string tree;
};

inline Parsed parse(const char16_t* text, const char16_t* rootName = nullptr) {
  int32_t error = -1;
  const CXmlNode node = CXmlNode::parseDocument(text, rootName, &error);
  return {error, dump(node)};
}

// A table row: a document, the error code its parse reports and the dump of
// the node returned without a root name.
struct TreeRow {
  const char16_t* text;
  int32_t error;
  const char* tree;
};

template <size_t N>
void expectTrees(const TreeRow (&rows)[N]) {
  for (const TreeRow& row : rows) {
    SCOPED_TRACE(narrow(row.text));
    const Parsed parsed = parse(row.text);
    EXPECT_EQ(parsed.error, row.error);
    EXPECT_EQ(parsed.tree, row.tree);
  }
}

}  // namespace epub::xml::test
