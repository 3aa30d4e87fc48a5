// Small helpers shared by the package readers for turning the XML reader's
// answers (null for "nothing") into the readers' own strings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>

#include "xml/xml_node.h"

namespace epub::package {

// A missing attribute or text reads as the empty string.
inline std::u16string valueOrEmpty(const char16_t* value) {
  return value ? std::u16string(value) : std::u16string();
}

// A tree's text as a view, found eight units at a time; null gives "".
inline std::u16string_view viewOf(const char16_t* value) {
  return value ? std::u16string_view(value, xml::unitsBeforeNul(value)) : std::u16string_view();
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

// The same against a name written as a literal, unit by unit without a
// loop: each unit is read only after the ones before it matched, and the
// literal's own NUL must meet the end of the actual name.
template <size_t N>
inline bool isExactly(const char16_t* actual, const char16_t (&name)[N]) {
  if (actual == nullptr) return false;
  return [&]<size_t... I>(std::index_sequence<I...>) { return ((actual[I] == name[I]) && ...); }
  (std::make_index_sequence<N>{});
}

// A name compared as the XML reader's queries compare names: without regard
// to the letter case of A-Z. `lower` is a literal in lower case.
template <size_t N>
inline bool isFolded(const char16_t* actual, const char16_t (&lower)[N]) {
  if (actual == nullptr) return false;
  // Setting bit 5 turns A-Z into a-z and meets a lower-case letter only from
  // its own capital; other units compare exactly.
  auto same = [](char16_t a, char16_t l) {
    return l >= u'a' && l <= u'z' ? char16_t(a | 0x20) == l : a == l;
  };
  return [&]<size_t... I>(std::index_sequence<I...>) { return (same(actual[I], lower[I]) && ...); }
  (std::make_index_sequence<N>{});
}

// The values of an element's first attributes named like `names` (literals
// in lower case, compared as isFolded compares), in one pass: what
// attribute() answers for each, null when absent or written without a value.
// `Element` is a CXmlNode or an XmlElement view.
template <class Element, size_t... N>
__attribute__((always_inline)) inline void attributesOf(const Element& element,
                                                        const char16_t** values,
                                                        const char16_t (&... names)[N]) {
  constexpr size_t kNames = sizeof...(N);
  const auto wanted = std::tie(names...);
  bool found[kNames] = {};
  for (size_t k = 0; k < kNames; ++k) values[k] = nullptr;
  const int32_t count = element.attributeCount();
  for (int32_t i = 0; i < count; ++i) {
    const xml::XmlAttributeView a = element.attributeAt(i);
    // Each name found is not looked for again, and an attribute matches
    // one name at most: the others are not tried on it.
    [&]<size_t... K>(std::index_sequence<K...>) {
      ((!found[K] && isFolded(a.name, std::get<K>(wanted)) &&
        (values[K] = a.value, found[K] = true)) ||
       ...);
    }
    (std::make_index_sequence<kNames>{});
  }
}

inline bool hasExactName(const xml::CXmlNode& node, std::u16string_view name) {
  return isExactly(node.name(), name);
}

}  // namespace epub::package
