#include "gif.h"

#include <algorithm>
#include <optional>
#include <string_view>

namespace pendrel_mupdf {

uint64_t gifDecodedPixels(std::string_view gif, uint64_t limit) {
  const auto* b = reinterpret_cast<const unsigned char*>(gif.data());
  const size_t n = gif.size();
  auto u16 = [b](size_t at) { return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8; };
  // Past the data sub-blocks starting at `at` (each a length byte and its
  // bytes, up to an empty one); nullopt when they run past the end.
  auto subBlocks = [b, n](size_t at) -> std::optional<size_t> {
    while (at < n) {
      const size_t length = b[at++];
      if (length == 0) return at;
      if (n - at < length) break;
      at += length;
    }
    return std::nullopt;
  };
  // Header, logical screen descriptor and global colour table.
  if (n < 13 || gif.substr(0, 3) != "GIF" ||
      (gif.substr(3, 3) != "87a" && gif.substr(3, 3) != "89a"))
    return 0;
  const bool gif89a = gif[4] == '9';
  const uint32_t width = u16(6), height = u16(8);
  size_t at = 13;
  if (b[10] & 0x80) at += size_t(3) << ((b[10] & 7) + 1);
  uint64_t pixels = 0;
  while (at < n && b[at] != 0x3b && pixels <= limit) {
    const size_t left = n - at;
    std::optional<size_t> next;
    if (b[at] == 0x21 && left >= 2 && gif89a) {
      // Extensions: plain text, graphic control (fixed size: the decoder
      // takes its terminator unread), comment, application.
      const unsigned char label = b[at + 1];
      if (label == 0x01 && left >= 15 && b[at + 2] == 12) {
        next = subBlocks(at + 15);
      } else if (label == 0xf9 && left >= 8 && b[at + 2] == 4) {
        next = at + 8;
      } else if (label == 0xfe) {
        next = subBlocks(at + 2);
      } else if (label == 0xff && left >= 14 && b[at + 2] == 11) {
        next = subBlocks(at + 14);
        if (!next && gif.substr(at + 3, 11) == "ICCRGBG1012") return UINT64_MAX;
      }
    } else if (b[at] == 0x2c && left >= 10) {
      // An image descriptor, its local colour table, the LZW minimum code
      // size and the compressed data.
      const uint32_t x = u16(at + 1), y = u16(at + 3), w = u16(at + 5), h = u16(at + 7);
      const size_t table = b[at + 9] & 0x80 ? size_t(3) << ((b[at + 9] & 7) + 1) : 0;
      if (left - 10 > table) {
        next = subBlocks(at + 10 + table + 1);
        if (next && x < width && y < height) pixels += uint64_t(std::max<uint32_t>(w, 1)) * h;
      }
    }
    if (!next) break;
    at = *next;
  }
  return pixels;
}

}  // namespace pendrel_mupdf
