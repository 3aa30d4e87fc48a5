// The fonts documents are laid out with: MuPDF's built-in faces for the
// generic families, the host's default face when it gave one, and the
// publication's embedded fonts unless the host switched them off.
#pragma once

#include <memory>

#include "renderer.h"

namespace pendrel_mupdf {

// The font set for documents loaded now, made on first use after the font
// choices changed; null when MuPDF fails.
std::shared_ptr<FontSet> currentFonts(ZaveVevode& r);

// The host's font file at `path` (read through the host) as the default
// face of documents loaded later; a null path gives the built-in face back.
// A file MuPDF cannot use as a font changes nothing.
void loadHostFont(ZaveVevode& r, const char16_t* path);

// Whether documents loaded later use their embedded fonts.
intptr_t useEmbeddedFonts(ZaveVevode& r, intptr_t use);

}  // namespace pendrel_mupdf
