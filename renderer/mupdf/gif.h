// The cost of decoding a GIF, weighed from its block headers before MuPDF
// decodes it: MuPDF 1.21's decoder paints every frame at its own size, so a
// small picture can cost gigabytes.
#pragma once

#include <cstdint>
#include <string_view>

namespace pendrel_mupdf {

// The pixels MuPDF 1.21's GIF decoder fills when decoding `gif`, read from
// the block headers alone. The decoder paints every frame in turn: each
// one reaching into the logical screen costs its width times its height
// however small the screen (a row without pixels still costs one); a frame
// wholly outside the screen is skipped unread. Counting ends where the
// decoder ends: at the trailer, or at a block it cannot read (it then
// fails), and as soon as the count passes `limit`. An ICC profile whose
// data runs past the end counts as UINT64_MAX: a decoder built without ICC
// support (Debian's) fails there, one with it reads on from inside the
// profile, which costs it quadratic time over such profiles in a row.
uint64_t gifDecodedPixels(std::string_view gif, uint64_t limit);

}  // namespace pendrel_mupdf
