// Drawing part of a page (a band of its rows, a view scrolled along it)
// with exactly the pixels of the whole page's drawing, so that a host may
// hold one band of a page at a time. MuPDF 1.21 makes a clip that cuts the
// page change what it draws in four ways, each undone here:
// - a scalable (SVG) image is rendered by its visible part, stretched over
//   the whole image's place;
// - a raster image is decoded and scaled by its visible part, which rounds
//   differently from the whole;
// - paths are rasterised where they fall, so the page must not be moved:
//   MuPDF draws in the page's own pixels, the bitmap placed at (x, y);
// - an image painted by stepping through its pixels (one not drawn smaller
//   on both axes) steps from the clipped area's top-left corner, so the
//   area drawn grows up and left to where the whole drawing starts.
#pragma once

#include <cstdint>
#include <vector>

#include "mupdf_html.h"

namespace pendrel_mupdf {

// Renders a scalable image whole whenever it is drawn clipped: the image's
// own, or each image of a parsed document.
void drawWholeWhenClipped(fz_image* image);
void drawWholeWhenClipped(fz_html* html);

// MuPDF's image decoding choice (set on each context): whole images, but
// past 16 million pixels MuPDF's own choice, so that a view of part of a
// huge image need not decode all of it.
void decodeWholeImages(void* arg, int w, int h, int l2factor, fz_irect* subarea);

// Whether MuPDF can place the bitmap at (x, y) among the page's pixels:
// offsets past any zoomed page's size stay in the matrix, clear of its
// integer pixel arithmetic.
bool inPlace(intptr_t x, intptr_t y);

// Draws the page onto a device.
using DrawOnto = void (*)(fz_context* ctx, fz_device* dev, void* context);

// A page drawn in parts is recorded once, for the matrix it is drawn with,
// as a display list that each part replays (MuPDF shapes a page's text
// again on every drawing), with where it paints images, in device pixels.
// The last page drawn in parts is kept by its layout.
struct PageList {
  const fz_html* html = nullptr;
  int32_t page = -1;
  fz_matrix m = fz_identity;
  fz_display_list* list = nullptr;
  std::vector<fz_irect> images;
};

// The list of `page` drawn with `m`, recorded through `drawOnto` unless it
// is the one kept; null when recording fails.
fz_display_list* pageList(fz_context* ctx, PageList& kept, const fz_html* html, int32_t page,
                          fz_matrix m, DrawOnto drawOnto, void* context);
void dropPageList(fz_context* ctx, PageList& kept);

// The page pixels to draw so that those of `area` come out as in the
// drawing of the whole page from (0, 0): `area` grown up and left over the
// images of the kept list it cuts at those edges.
fz_irect areaToDraw(const PageList& kept, fz_irect area);

}  // namespace pendrel_mupdf
