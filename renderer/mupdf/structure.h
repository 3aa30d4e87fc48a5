// Structural edits to a content document's DOM before MuPDF 1.21 builds its
// boxes, for markup that engine reads in the wrong place. MuPDF takes the
// base direction from the `dir` attribute of each element it makes a box
// for, but never makes one for the root <html> element, so a direction set
// there is lost: it is carried to <body>.
#pragma once

#include <string_view>

extern "C" {
#include <mupdf/fitz.h>
}

namespace pendrel_mupdf {

// Whether the markup may hold something restructure() edits (a cheap scan,
// true more often than needed).
bool mayNeedRestructuring(std::string_view xhtml);

// Edits the DOM whose root element is `root`; returns whether it changed.
bool restructure(fz_context* ctx, fz_xml* root);

}  // namespace pendrel_mupdf
