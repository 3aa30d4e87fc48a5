// UTF-16 <-> UTF-8 conversion shared by the engine's hosts, renderers and
// tests. Header-only and free of dependencies, so any target may include it.
// Ill-formed input never fails: a lone surrogate, or a bad UTF-8 sequence
// (one per lead byte), becomes U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace epub::utf {

inline void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Reads one code point at text[i] and moves i past it.
inline char32_t nextCodePoint(std::u16string_view text, size_t& i) {
  const char16_t c = text[i++];
  if (c < 0xD800 || c > 0xDFFF) return c;
  if (c <= 0xDBFF && i < text.size() && text[i] >= 0xDC00 && text[i] <= 0xDFFF)
    return 0x10000 + ((char32_t(c) - 0xD800) << 10) + (text[i++] - 0xDC00);
  return 0xFFFD;
}

inline std::string toUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) appendUtf8(out, nextCodePoint(text, i));
  return out;
}

// A null pointer gives the empty string.
inline std::string toUtf8(const char16_t* text) {
  return text ? toUtf8(std::u16string_view(text)) : std::string();
}

inline void appendUtf16(std::u16string& out, char32_t c) {
  if (c >= 0x10000) {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(c));
  }
}

inline std::u16string fromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    const size_t need = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : 1;
    char32_t c = b & (0x3F >> need);
    bool ok = b >= 0xC2 && b <= 0xF4 && i + need < text.size();
    for (size_t k = 1; ok && k <= need; ++k) {
      const auto t = static_cast<unsigned char>(text[i + k]);
      ok = (t & 0xC0) == 0x80;
      c = (c << 6) | (t & 0x3F);
    }
    const char32_t least = need == 1 ? 0x80 : need == 2 ? 0x800 : 0x10000;
    if (!ok || c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    appendUtf16(out, c);
    i += need + 1;
  }
  return out;
}

}  // namespace epub::utf
