// Charset names, guessing and conversion on Windows, without ICU: declared
// labels map to Windows code pages and MultiByteToWideChar converts. UTF-16
// and UTF-32, which MultiByteToWideChar does not read, are decoded here.
// The class above only tells "UTF-8" and the UTF-16/32 names of sniff.h
// apart; other names are this file's own and mostly follow ICU's.
#include <windows.h>

#include <algorithm>
#include <climits>

#include "charsets.h"
#include "codepages.h"
#include "sniff.h"
#include "wide.h"

namespace vorozo {

namespace {

// Converts one piece with MultiByteToWideChar, appending to `out`. Without
// MB_ERR_INVALID_CHARS invalid input becomes U+FFFD (UTF-8) or the code
// page's default character instead of failing the call.
void appendCodePage(std::u16string& out, UINT codePage, const uint8_t* b, int n) {
  if (n <= 0) return;
  const char* source = reinterpret_cast<const char*>(b);
  const int needed = MultiByteToWideChar(codePage, 0, source, n, nullptr, 0);
  if (needed <= 0) return;
  const size_t used = out.size();
  out.resize(used + static_cast<size_t>(needed));
  static_assert(sizeof(WCHAR) == sizeof(char16_t));
  const int written = MultiByteToWideChar(codePage, 0, source, n,
                                          reinterpret_cast<LPWSTR>(out.data() + used), needed);
  out.resize(used + static_cast<size_t>(std::max(written, 0)));
}

}  // namespace

std::string resolveDeclaredLabel(std::string_view label) {
  while (!label.empty() && (label.front() == ' ' || label.front() == '\t')) label.remove_prefix(1);
  while (!label.empty() && (label.back() == ' ' || label.back() == '\t')) label.remove_suffix(1);
  for (const CodePageLabel& l : codePageLabels())
    if (l.label == label) return std::string(l.name);
  return {};
}

bool isUtf8Name(const std::string& icuName) { return icuName == "UTF-8"; }

std::string guessCharset(const uint8_t* bytes, uint32_t length) {
  // Legacy text seldom forms valid multi-byte UTF-8 by chance, so text that
  // mostly does is UTF-8 with a few damaged bytes. Windows has no charset
  // detector: anything else is read as windows-1252, which maps every byte.
  Utf8Census census = countUtf8(bytes, length);
  if (census.invalid == 0 || census.sequences > 10 * census.invalid) return "UTF-8";
  return "windows-1252";
}

std::u16string convertToUtf16(const uint8_t* bytes, uint32_t length, const std::string& icuName) {
  if (!bytes) return {};
  const uint32_t skip = markLength(icuName, bytes, length);
  const uint8_t* b = bytes + skip;
  const uint32_t n = length - skip;
  if (icuName == "UTF-16LE") return decodeUtf16(b, n, false);
  if (icuName == "UTF-16BE") return decodeUtf16(b, n, true);
  if (icuName == "UTF-32LE") return decodeUtf32(b, n, false);
  if (icuName == "UTF-32BE") return decodeUtf32(b, n, true);

  std::u16string out;
  const UINT codePage = codePageOf(icuName);
  if (codePage == 0) return out;
  // MultiByteToWideChar takes at most INT_MAX bytes a call. Bigger input is
  // cut after a line feed, which ends a character in every code page here
  // (ISO-2022-JP returns to ASCII before it), or at the limit when a long
  // stretch has none.
  constexpr uint32_t kPiece = INT_MAX;
  constexpr uint32_t kLookBack = 1 << 16;
  uint32_t at = 0;
  while (n - at > kPiece) {
    uint32_t end = at + kPiece;
    for (uint32_t i = end; i > end - kLookBack; --i)
      if (b[i - 1] == '\n') {
        end = i;
        break;
      }
    appendCodePage(out, codePage, b + at, static_cast<int>(end - at));
    at = end;
  }
  appendCodePage(out, codePage, b + at, static_cast<int>(n - at));
  return out;
}

}  // namespace vorozo
