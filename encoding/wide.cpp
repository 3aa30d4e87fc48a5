#include "wide.h"

#include "utf.h"

namespace vorozo {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

void appendCodePoint(std::u16string& out, uint32_t cp) {
  if (cp >= 0xD800 && cp <= 0xDFFF) cp = kReplacement;
  if (cp > 0x10FFFF) cp = kReplacement;
  epub::utf::appendUtf16(out, cp);
}

}  // namespace

std::u16string decodeUtf16(const uint8_t* b, uint32_t n, bool bigEndian) {
  std::u16string out;
  out.reserve(n / 2 + 1);
  auto unit = [&](uint32_t i) -> char16_t {
    return bigEndian ? static_cast<char16_t>(b[i] << 8 | b[i + 1])
                     : static_cast<char16_t>(b[i + 1] << 8 | b[i]);
  };
  uint32_t i = 0;
  while (n - i >= 2) {
    const char16_t u = unit(i);
    i += 2;
    if (u >= 0xD800 && u <= 0xDBFF && n - i >= 2) {
      const char16_t low = unit(i);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        out.push_back(u);
        out.push_back(low);
        i += 2;
        continue;
      }
    }
    out.push_back(u >= 0xD800 && u <= 0xDFFF ? kReplacement : u);
    // A high surrogate cut off by the end, with half of what might have been
    // its low one, is one truncated character: one U+FFFD, as ICU gives.
    if (u >= 0xD800 && u <= 0xDBFF && n - i == 1) return out;
  }
  if (i < n) out.push_back(kReplacement);
  return out;
}

std::u16string decodeUtf32(const uint8_t* b, uint32_t n, bool bigEndian) {
  std::u16string out;
  out.reserve(n / 4 + 1);
  uint32_t i = 0;
  for (; n - i >= 4; i += 4) {
    const uint32_t cp =
        bigEndian
            ? uint32_t{b[i]} << 24 | uint32_t{b[i + 1]} << 16 | uint32_t{b[i + 2]} << 8 | b[i + 3]
            : uint32_t{b[i + 3]} << 24 | uint32_t{b[i + 2]} << 16 | uint32_t{b[i + 1]} << 8 | b[i];
    appendCodePoint(out, cp);
  }
  if (i < n) out.push_back(kReplacement);
  return out;
}

}  // namespace vorozo
