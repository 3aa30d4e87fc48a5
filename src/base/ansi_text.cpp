#include "base/ansi_text.h"

#include "base/win32_api.h"

namespace epub::base {

#ifdef _WIN32
// The mimetype bytes are 8-bit text in the system's ANSI code page:
// MultiByteToWideChar counts the wide characters, converts into a buffer one
// longer and the text ends at its first NUL. A failed conversion (a byte
// count of 0 or below -1 among them) counts 0 characters: empty text.
std::u16string ansiText(const uint8_t* bytes, int32_t length) {
  const auto* source = reinterpret_cast<const char*>(bytes);
  const int n = bytes ? systemToUtf16(CP_ACP, 0, source, length, nullptr, 0) : 0;
  std::u16string text(static_cast<size_t>(n > 0 ? n : 0) + 1, u'\0');
  if (n > 0) systemToUtf16(CP_ACP, 0, source, length, text.data(), n);
  text.resize(text.find(u'\0'));
  return text;
}
#else
// The mimetype bytes are 8-bit text in the system's ANSI code page. There is
// none here, so they are read as Windows-1252: Latin-1 with the printable
// characters of 0x80-0x9F; its five unassigned bytes map to the C1 controls
// of the same value.
namespace {

constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t windows1252(uint8_t byte) {
  return byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : char16_t(byte);
}

}  // namespace

std::u16string ansiText(const uint8_t* bytes, int32_t length) {
  std::u16string text;
  if (bytes && length == -1) {
    // -1 asks for a NUL-terminated string, as with the system converter.
    for (const uint8_t* b = bytes; *b != 0; ++b) text.push_back(windows1252(*b));
  } else if (bytes && length > 0) {
    text.reserve(static_cast<size_t>(length));
    // The stored text ends at the first NUL, as a C string would.
    for (int32_t i = 0; i < length && bytes[i] != 0; ++i) text.push_back(windows1252(bytes[i]));
  }
  return text;
}
#endif

}  // namespace epub::base
