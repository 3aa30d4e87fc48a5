// Search: the needle the host set, found in a document's words as a
// layout of its bytes gives them; the hits are kept per document, and one
// of them is marked when the document is drawn.
#pragma once

#include "renderer.h"

namespace pendrel_mupdf {

// Sets the needle (flags bit 0: match case); white space in it matches
// the space between two words.
intptr_t setNeedle(ZaveVevode& r, const char16_t* text, intptr_t flags);
// Counts and keeps the hits in `bytes` (the document at `path`, loaded or
// not), laid out as that document is or would be.
int32_t searchDocument(ZaveVevode& r, const char16_t* path, const uint8_t* bytes, uint32_t length);
void markHit(ZaveVevode& r, const char16_t* path, intptr_t hit);
intptr_t clearSearch(ZaveVevode& r);

}  // namespace pendrel_mupdf
