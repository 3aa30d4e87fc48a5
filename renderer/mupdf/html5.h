// HTML5's sectioning and grouping elements laid out in document order.
// MuPDF 1.21's default style sheet predates them, so they are inline boxes
// there; its box builder appends the inline content of an inline element to
// that element's own box, which sits in the flow before any block child, so
// `<section><h1/><figure><img/></figure></section>` draws the image above
// the heading. Browsers' defaults for these elements put them back in order.
#pragma once

#include <string_view>

extern "C" {
#include <mupdf/fitz.h>
}

namespace pendrel_mupdf {

// Whether markup may hold one of the elements (a look at its text, before
// it is parsed; tags in any case, as the HTML5 parser lowercases them).
bool mayHoldHtml5Blocks(std::string_view xhtml);

// When the parsed document `dom` holds one of the elements, gives it
// browsers' default rules for them as a <style> element first in its head
// (made when missing), so the document's own style sheets still override
// them; returns whether it did.
bool addHtml5Defaults(fz_context* ctx, fz_xml* dom);

}  // namespace pendrel_mupdf
