// Small helpers shared by the package readers for turning the XML reader's
// answers (null for "nothing") into the readers' own strings.
#pragma once

#include <string>
#include <string_view>

#include "xml/xml_node.h"

namespace epub::package {

// A missing attribute or text reads as the empty string.
inline std::u16string valueOrEmpty(const char16_t* value) {
  return value ? std::u16string(value) : std::u16string();
}

inline std::u16string attributeOrEmpty(const xml::CXmlNode& node, std::u16string_view name) {
  return valueOrEmpty(node.attribute(name));
}

// A name compared exactly, letter case included; no name (the document
// node's) matches nothing.
inline bool isExactly(const char16_t* actual, std::u16string_view name) {
  if (actual == nullptr) return false;
  // Compared as it is read: the wanted names hold no NUL, so a shorter
  // name stops at its own.
  for (const char16_t c : name) {
    if (*actual++ != c) return false;
  }
  return *actual == u'\0';
}

inline bool hasExactName(const xml::CXmlNode& node, std::u16string_view name) {
  return isExactly(node.name(), name);
}

}  // namespace epub::package
