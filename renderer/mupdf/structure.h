// Structural edits to a content document's DOM before MuPDF 1.21 builds its
// boxes, for markup that engine reads in the wrong place.
// - Direction: MuPDF takes the base direction from the `dir` attribute of
//   each element it makes a box for, but never makes one for the root
//   <html> element, so a direction set there is lost: it is carried to
//   <body>.
// - HTML5's sectioning and grouping elements: MuPDF 1.21's default style
//   sheet predates them, so they are inline boxes there; its box builder
//   appends the inline content of an inline element to that element's own
//   box, which sits in the flow before any block child, so
//   `<section><h1/><figure><img/></figure></section>` draws the image above
//   the heading. Browsers' defaults for these elements put them back in
//   order.
// - Table captions: MuPDF's box builder sets a table's <caption> after its
//   rows; it is moved to just before the table.
#pragma once

#include <string_view>

extern "C" {
#include <mupdf/fitz.h>
}

namespace pendrel_mupdf {

// Whether the markup may hold something restructure() edits (a cheap scan,
// true more often than needed).
bool mayNeedRestructuring(std::string_view xhtml);

// Edits the parsed document `dom`; returns whether it changed.
bool restructure(fz_context* ctx, fz_xml* dom);

}  // namespace pendrel_mupdf
