// Helpers for the encoding tests: fixtures in any charset (built with ICU
// from UTF-16 text, or from hex), ICU's own reading of bytes, and the
// reading engine's calling sequence.
#ifndef VOROZO_TESTS_ENCODING_SUPPORT_H
#define VOROZO_TESTS_ENCODING_SUPPORT_H

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

#include <cctype>
#include <stdexcept>
#include <string>
#include <string_view>

#include "vorozovorevare.h"

namespace vorozo_test {

// "93 FA 96 7B" -> the bytes; spaces are ignored.
inline std::string hex(std::string_view digits) {
  std::string out, pair;
  for (char c : digits) {
    if (std::isxdigit(static_cast<unsigned char>(c))) pair += c;
    if (pair.size() == 2) out += static_cast<char>(std::stoi(pair, nullptr, 16)), pair.clear();
  }
  return out;
}

inline const uint8_t* raw(const std::string& bytes) {
  return reinterpret_cast<const uint8_t*>(bytes.data());
}

// The text in `charset`, without a byte-order mark (ICU's UTF-16LE/BE and
// UTF-32LE/BE converters write none); with `fitsOnly`, what the charset
// cannot write is left out.
inline std::string encode(const char* charset, std::u16string_view text, bool fitsOnly = false) {
  UErrorCode err = U_ZERO_ERROR;
  UConverter* cnv = ucnv_open(charset, &err);
  if (fitsOnly)
    ucnv_setFromUCallBack(cnv, UCNV_FROM_U_CALLBACK_SKIP, nullptr, nullptr, nullptr, &err);
  std::string out(text.size() * 8 + 16, '\0');
  const int32_t n = ucnv_fromUChars(cnv, out.data(), int32_t(out.size()), text.data(),
                                    int32_t(text.size()), &err);
  ucnv_close(cnv);
  if (U_FAILURE(err)) throw std::runtime_error(std::string("cannot encode in ") + charset);
  return out.substr(0, size_t(n));
}

inline void U_CALLCONV writeFffd(const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
                                 UConverterCallbackReason reason, UErrorCode* err) {
  if (reason > UCNV_IRREGULAR) return;  // reset, close, clone
  *err = U_ZERO_ERROR;
  ucnv_cbToUWriteUChars(args, u"\uFFFD", 1, 0, err);
}

// ICU's reading of the bytes in `charset`, U+FFFD for every illegal,
// irregular or unmapped sequence; "?" when ICU has no such converter.
inline std::u16string icuDecode(const char* charset, const std::string& bytes) {
  UErrorCode err = U_ZERO_ERROR;
  UConverter* cnv = ucnv_open(charset, &err);
  if (U_FAILURE(err)) return u"?";
  ucnv_setToUCallBack(cnv, writeFffd, nullptr, nullptr, nullptr, &err);
  std::u16string out(bytes.size() * 2 + 16, u'\0');
  const int32_t n = ucnv_toUChars(cnv, out.data(), int32_t(out.size()), bytes.data(),
                                  int32_t(bytes.size()), &err);
  ucnv_close(cnv);
  return U_FAILURE(err) ? u"?" : out.substr(0, size_t(n));
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
  KWT::CVorozoVorevare decoder(raw(bytes), size, strict);
  o.constructed = o.used = decoder.encoding;
  if (o.used == 1) {
    const int found = KWT::CVorozoVorevare::findEncodingXhtml(raw(bytes), size);
    if (found != 1) decoder.setEncoding(o.used = found);
  }
  if (o.used >= 1 && o.used <= 3) {
    const uint32_t n = decoder.getUCS2LELength();
    o.text.assign(n + 1, u'\xA5A5');
    decoder.toUCS2LE(o.text.data(), n);
    o.overran = o.text[n] != u'\xA5A5';
    o.text.resize(n);
  } else {
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      const auto unit = char16_t(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8);
      if (unit == 0) break;
      o.text.push_back(unit);
    }
  }
  return o;
}

}  // namespace vorozo_test

#endif
