// Counting UTF-8 sequences: plain byte scanning, shared by both backends.
#include "charsets.h"

namespace vorozo {

Utf8Census countUtf8(const uint8_t* b, uint32_t n) {
  Utf8Census census;
  uint32_t i = 0;
  while (i < n) {
    uint8_t c = b[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    uint32_t extra = 0;
    uint8_t lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      if (c == 0xE0) lo = 0xA0;  // overlong
      if (c == 0xED) hi = 0x9F;  // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      if (c == 0xF0) lo = 0x90;  // overlong
      if (c == 0xF4) hi = 0x8F;  // above U+10FFFF
    }
    bool ok = extra > 0 && n - i > extra && b[i + 1] >= lo && b[i + 1] <= hi;
    for (uint32_t k = 2; ok && k <= extra; ++k) ok = (b[i + k] & 0xC0) == 0x80;
    if (ok) {
      ++census.sequences;
      i += extra + 1;
    } else {
      ++census.invalid;
      ++i;
    }
  }
  return census;
}

}  // namespace vorozo
