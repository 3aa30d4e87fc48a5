// Helpers for the encoding tests: fixtures in any charset (built with ICU
// from UTF-16 text, or from hex), ICU's own reading, the engine's calls.
#pragma once

#include <unicode/ucnv.h>

#include <stdexcept>
#include <string>
#include <string_view>

#include "vorozovorevare.h"

namespace vorozo_test {

// "93 FA 96 7B" -> the bytes; spaces are ignored.
inline std::string hex(std::string_view digits) {
  std::string out;
  for (size_t i = 0; i + 1 < digits.size(); i += digits[i] == ' ' ? 1 : 2)
    if (digits[i] != ' ') out += char(std::stoi(std::string(digits.substr(i, 2)), nullptr, 16));
  return out;
}

inline const uint8_t* raw(const std::string& bytes) {
  return reinterpret_cast<const uint8_t*>(bytes.data());
}

// The text in `charset`, no byte-order mark written; with `fitsOnly`, what
// the charset cannot write left out.
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

// ICU's reading of the bytes in `charset` (U+FFFD for what is not UTF
// text); "?" when ICU has no such converter.
inline std::u16string icuDecode(const char* charset, const std::string& bytes) {
  UErrorCode err = U_ZERO_ERROR;
  UConverter* cnv = ucnv_open(charset, &err);
  if (U_FAILURE(err)) return u"?";
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
    o.text.resize(decoder.getUCS2LELength());
    decoder.toUCS2LE(o.text.data(), uint32_t(o.text.size()));
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
