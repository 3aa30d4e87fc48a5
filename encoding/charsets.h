// Charset names, guessing and conversion. Two backends implement this:
// charsets.cpp on ICU (Linux) and charsets_win32.cpp on the Windows code
// pages. Charset names are ICU's, which both understand; the byte-order mark
// and layout names of sniff.h are among them.
#ifndef VOROZO_CHARSETS_H
#define VOROZO_CHARSETS_H

#include <cstdint>
#include <string>
#include <string_view>

namespace vorozo {

// The ICU converter name for a label declared inside ASCII-compatible bytes,
// or empty when ICU does not know the label or the charset cannot be true of
// such bytes (UTF-16/32, EBCDIC). Labels of charsets that documents use for a
// superset give the superset: ISO-8859-1 and US-ASCII give windows-1252,
// GB2312 and GBK give GB18030, EUC-KR gives windows-949.
std::string resolveDeclaredLabel(std::string_view label);

bool isUtf8Name(const std::string& icuName);

// How much of the bytes reads as UTF-8: well-formed multi-byte sequences,
// and bytes that start no well-formed sequence.
struct Utf8Census {
  uint64_t sequences = 0;
  uint64_t invalid = 0;
};
Utf8Census countUtf8(const uint8_t* bytes, uint32_t length);

// For bytes that are well-formed UTF-8 throughout (pure ASCII included):
// the number of UTF-16 units they decode to, the first `limit` of which are
// written to `out` unless it is null. kIllFormed at the first ill-formed
// sequence. Well-formed input decodes the same way in every converter, so
// this spares the converter, and its buffer, in the common case.
constexpr size_t kIllFormed = static_cast<size_t>(-1);
size_t wellFormedUtf8(const uint8_t* bytes, uint32_t length, char16_t* out, size_t limit);

// The best guess for undeclared text: UTF-8 when the bytes are valid UTF-8
// (pure ASCII included) or nearly so, else the first confident and usable
// answer of ICU's charset detector, else windows-1252.
std::string guessCharset(const uint8_t* bytes, uint32_t length);

// Converts the bytes to UTF-16 with the named ICU converter, skipping a
// leading byte-order mark of that charset. Invalid and unmapped input becomes
// U+FFFD. An unknown name gives an empty text.
std::u16string convertToUtf16(const uint8_t* bytes, uint32_t length, const std::string& icuName);

}  // namespace vorozo

#endif
