// Minimal encoding library: UTF-16LE with a byte-order mark is left to the
// caller (code 0); everything else is taken as UTF-8 (code 2).
#include "vorozovorevare.h"

#include <cstring>

namespace KWT {

struct CVorozoVorevare::Impl {
  const uint8_t* bytes;
  uint32_t length;
};

CVorozoVorevare::CVorozoVorevare(const uint8_t* bytes, uint32_t length, bool)
    : encoding(2), impl_(new Impl{bytes, length}) {
  if (length >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) encoding = 0;
}

CVorozoVorevare::~CVorozoVorevare() = default;

int CVorozoVorevare::findEncodingXhtml(const uint8_t*, uint32_t) { return 1; }

void CVorozoVorevare::setEncoding(int code) { encoding = code; }

static uint32_t decodeUtf8(const uint8_t* s, uint32_t n, char16_t* out, uint32_t cap) {
  uint32_t produced = 0;
  auto put = [&](char16_t c) {
    if (out && produced < cap) out[produced] = c;
    ++produced;
  };
  uint32_t i = 0;
  if (n >= 3 && s[0] == 0xEF && s[1] == 0xBB && s[2] == 0xBF) i = 3;
  while (i < n) {
    uint8_t b = s[i];
    uint32_t cp = 0xFFFD, len = 1;
    if (b < 0x80) {
      cp = b;
    } else if ((b & 0xE0) == 0xC0 && i + 1 < n && (s[i + 1] & 0xC0) == 0x80) {
      cp = ((b & 0x1Fu) << 6) | (s[i + 1] & 0x3Fu);
      len = 2;
    } else if ((b & 0xF0) == 0xE0 && i + 2 < n && (s[i + 1] & 0xC0) == 0x80 &&
               (s[i + 2] & 0xC0) == 0x80) {
      cp = ((b & 0x0Fu) << 12) | ((s[i + 1] & 0x3Fu) << 6) | (s[i + 2] & 0x3Fu);
      len = 3;
    } else if ((b & 0xF8) == 0xF0 && i + 3 < n && (s[i + 1] & 0xC0) == 0x80 &&
               (s[i + 2] & 0xC0) == 0x80 && (s[i + 3] & 0xC0) == 0x80) {
      cp = ((b & 0x07u) << 18) | ((s[i + 1] & 0x3Fu) << 12) | ((s[i + 2] & 0x3Fu) << 6) |
           (s[i + 3] & 0x3Fu);
      len = 4;
    }
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      cp -= 0x10000;
      put(static_cast<char16_t>(0xD800 + (cp >> 10)));
      put(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      put(static_cast<char16_t>(cp > 0x10FFFF ? 0xFFFD : cp));
    }
    i += len;
  }
  return produced;
}

uint32_t CVorozoVorevare::getUCS2LELength() {
  return decodeUtf8(impl_->bytes, impl_->length, nullptr, 0);
}

bool CVorozoVorevare::toUCS2LE(char16_t* destination, uint32_t count) {
  decodeUtf8(impl_->bytes, impl_->length, destination, count);
  return true;
}

}  // namespace KWT
