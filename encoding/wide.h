// UTF-16 and UTF-32 in either byte order to UTF-16, for the Windows backend
// (MultiByteToWideChar reads neither). Portable, so the tests check it
// against ICU.
#ifndef VOROZO_WIDE_H
#define VOROZO_WIDE_H

#include <cstdint>
#include <string>

namespace vorozo {

// Unpaired surrogates and a trailing odd byte become U+FFFD (one for a high
// surrogate followed by the odd byte).
std::u16string decodeUtf16(const uint8_t* bytes, uint32_t length, bool bigEndian);

// Surrogates, values past U+10FFFF and a trailing partial unit become U+FFFD.
std::u16string decodeUtf32(const uint8_t* bytes, uint32_t length, bool bigEndian);

}  // namespace vorozo

#endif
