// The steps of package text decoding, written once over the encoding class
// so that tests can run them against a scripted encoding object that records
// its calls. decodePackageText instantiates them with KWT::CVorozoVorevare.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>

#include "package/package_text.h"

namespace epub::package {

// Encoding codes converted by the encoding library; every other code means
// UTF-16LE bytes behind a 2-byte byte-order mark.
inline bool isConvertedEncoding(int code) { return code >= 1 && code <= 3; }

// True for an encoding class whose toUCS2LE is known to write every unit
// that getUCS2LELength announced. The text of any other is zero-filled first,
// so units a converter leaves unwritten read as NUL.
template <class Encoding>
inline constexpr bool kConverterFillsText = false;

template <class Encoding>
void decodePackageTextWith(PackageText& out, const uint8_t* bytes, uint32_t length) {
  out.text.reset();
  out.hasText = false;
  out.length = 0;
  if (bytes == nullptr) length = 0;  // no buffer: read as an empty file
  out.bytes = bytes;
  out.byteLength = length;

  // One encoding object per file; it lives only for this step.
  Encoding encoding(bytes, length, false);
  int code = encoding.encoding;
  // Code 1 means the first detection found nothing firm: look once more for
  // a charset declared inside the document.
  if (code == 1) {
    const int declared = Encoding::findEncodingXhtml(bytes, length);
    if (declared != 1) {
      encoding.setEncoding(declared);
      code = declared;
    }
  }

  if (isConvertedEncoding(code)) {
    const uint32_t units = encoding.getUCS2LELength();
    out.text = kConverterFillsText<Encoding> ? uninitialisedText(size_t{units} + 1)
                                             : zeroedText(size_t{units} + 1);
    encoding.toUCS2LE(out.text.get(), units);
    out.text[units] = 0;
    out.length = static_cast<int32_t>(units);
  } else {
    // UTF-16LE after a byte-order mark: the mark is skipped, an odd last
    // byte is dropped, and fewer than two bytes give the empty text. The
    // copy ends at a NUL unit; the rest of the buffer is zero.
    const uint32_t units = length >= 2 ? length / 2 - 1 : 0;
    out.text = uninitialisedText(size_t{units} + 1);
    uint32_t i = 0;
    for (; i < units; ++i) {
      const uint8_t* p = bytes + 2 + size_t{i} * 2;
      const char16_t unit = static_cast<char16_t>(p[0] | (p[1] << 8));
      if (unit == 0) break;
      out.text[i] = unit;
    }
    std::fill(out.text.get() + i, out.text.get() + units + 1, u'\0');
    out.length = static_cast<int32_t>(units);
  }
  out.hasText = true;
}

}  // namespace epub::package
