// Entity and character references: the five named entities and decimal or
// hexadecimal character references, decoded in two passes.
#include "xml_entities.h"

#include <cstdint>

#include "xml/xml_names.h"

namespace epub::xml::detail {

namespace {

// Named entities, matched case-insensitively ("&AMP;" is "&"). Names are
// written in lower case so that only the text side needs folding.
struct Entity {
  const char16_t* text;
  size_t length;
  char16_t value;
};
constexpr Entity kEntities[] = {
    {u"&amp;", 5, u'&'},  {u"&lt;", 4, u'<'},    {u"&gt;", 4, u'>'},
    {u"&quot;", 6, u'"'}, {u"&apos;", 6, u'\''},
};

const Entity* matchEntity(const char16_t* p, size_t remaining) noexcept {
  for (const Entity& entity : kEntities) {
    if (remaining < entity.length) continue;
    size_t k = 0;
    while (k < entity.length && foldLetter(p[k]) == entity.text[k]) ++k;
    if (k == entity.length) return &entity;
  }
  return nullptr;
}

bool isNumericReference(const char16_t* p, size_t remaining) noexcept {
  return remaining >= 3 && p[1] == u'#';
}

// Index of the first `;` of a numeric reference at p, or kUndecodable when
// the text or a NUL comes first.
size_t numericReferenceEnd(const char16_t* p, size_t remaining) noexcept {
  size_t j = 2;  // past "&#"
  if (j < remaining && (p[j] == u'x' || p[j] == u'X')) ++j;
  while (j < remaining && p[j] != u';' && p[j] != u'\0') ++j;
  return j < remaining && p[j] == u';' ? j : kUndecodable;
}

int digitValue(char16_t c, bool hex) noexcept {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (hex && c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (hex && c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

}  // namespace

size_t decodedLength(const char16_t* p, size_t& n) noexcept {
  size_t count = 0;
  for (size_t i = 0; i < n; ++count) {
    if (p[i] == u'\0') {
      n = i;
      break;
    }
    if (p[i] != u'&') {
      ++i;
    } else if (isNumericReference(p + i, n - i)) {
      const size_t end = numericReferenceEnd(p + i, n - i);
      if (end == kUndecodable) return kUndecodable;
      i += end + 1;
    } else {
      const Entity* entity = matchEntity(p + i, n - i);
      if (entity == nullptr) return kUndecodable;  // a bare "&" or "&nbsp;" fails the parse
      i += entity->length;
    }
  }
  return count;
}

bool writeDecoded(const char16_t* p, size_t n, char16_t* out) noexcept {
  for (size_t i = 0; i < n;) {
    if (p[i] != u'&') {
      *out++ = p[i++];
    } else if (isNumericReference(p + i, n - i)) {
      size_t j = i + 2;
      const bool hex = p[j] == u'x' || p[j] == u'X';
      if (hex) ++j;
      uint32_t number = 0;  // wraps harmlessly: only the low 16 bits are kept
      for (; j < n && p[j] != u';'; ++j) {
        const int digit = digitValue(p[j], hex);
        if (digit < 0) return false;
        number = number * (hex ? 16u : 10u) + uint32_t(digit);
      }
      *out++ = char16_t(number & 0xFFFFu);
      i = j + 1;
    } else {
      const Entity* entity = matchEntity(p + i, n - i);
      *out++ = entity->value;
      i += entity->length;
    }
  }
  return true;
}

}  // namespace epub::xml::detail
