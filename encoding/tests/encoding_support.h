// Helpers for the encoding tests: fixtures in any charset (built with ICU
// from UTF-16 text, or from hex), and the reading engine's calling sequence.
#ifndef VOROZO_TESTS_ENCODING_SUPPORT_H
#define VOROZO_TESTS_ENCODING_SUPPORT_H

#include <unicode/ucnv.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "vorozovorevare.h"

namespace vorozo_test {

// "93 FA 96 7B" -> the bytes; spaces are ignored.
inline std::string hex(std::string_view digits) {
  std::string out;
  int pending = -1;
  for (char c : digits) {
    int v = c >= '0' && c <= '9'   ? c - '0'
            : c >= 'a' && c <= 'f' ? c - 'a' + 10
            : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                   : -1;
    if (v < 0) continue;
    if (pending < 0) {
      pending = v;
    } else {
      out.push_back(static_cast<char>(pending * 16 + v));
      pending = -1;
    }
  }
  return out;
}

// The text in `charset`, without a byte-order mark (ICU's UTF-16LE/BE and
// UTF-32LE/BE converters write none).
inline std::string encode(const char* charset, std::u16string_view text) {
  UErrorCode err = U_ZERO_ERROR;
  UConverter* cnv = ucnv_open(charset, &err);
  if (U_FAILURE(err)) throw std::runtime_error(std::string("no converter ") + charset);
  std::string out(text.size() * 4 + 16, '\0');
  int32_t n = ucnv_fromUChars(cnv, out.data(), static_cast<int32_t>(out.size()), text.data(),
                              static_cast<int32_t>(text.size()), &err);
  ucnv_close(cnv);
  if (U_FAILURE(err)) throw std::runtime_error(std::string("cannot encode in ") + charset);
  out.resize(static_cast<size_t>(n));
  return out;
}

inline const uint8_t* data(const std::string& bytes) {
  return reinterpret_cast<const uint8_t*>(bytes.data());
}

struct Outcome {
  int constructed = -1;  // `encoding` right after construction
  int used = -1;         // the code the text was decoded by
  std::u16string text;
  bool overran = false;  // toUCS2LE wrote past the length it reported
};

// Decodes the way the reading engine does: construct, look for an XHTML
// declaration when the code is 1, convert codes 1 to 3, copy anything else
// as UTF-16LE after a 2-byte mark.
inline Outcome decodeLikeReader(const std::string& bytes, bool strict = false) {
  Outcome o;
  const uint32_t size = static_cast<uint32_t>(bytes.size());
  KWT::CVorozoVorevare decoder(data(bytes), size, strict);
  o.constructed = o.used = decoder.encoding;
  if (o.used == 1) {
    int found = KWT::CVorozoVorevare::findEncodingXhtml(data(bytes), size);
    if (found != 1) {
      decoder.setEncoding(found);
      o.used = found;
    }
  }
  if (o.used >= 1 && o.used <= 3) {
    const uint32_t n = decoder.getUCS2LELength();
    std::u16string buffer(n + 1, u'\xA5A5');
    decoder.toUCS2LE(buffer.data(), n);
    o.overran = buffer[n] != u'\xA5A5';
    buffer.resize(n);
    o.text = std::move(buffer);
  } else {
    const size_t n = size < 2 ? 0 : size / 2 - 1;
    for (size_t i = 0; i < n; ++i) {
      char16_t unit = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 + 2 * i]) |
                                            static_cast<uint8_t>(bytes[3 + 2 * i]) << 8);
      if (unit == 0) break;
      o.text.push_back(unit);
    }
  }
  return o;
}

}  // namespace vorozo_test

#endif
