// What is drawn into the host's bitmaps: the page as MuPDF draws it, the
// backgrounds MuPDF leaves out (found in the layout's boxes, drawn under
// the page), and the scraps, the current search hit and the selection box
// blended over it.
#pragma once

#include <vector>

#include "archive.h"
#include "renderer.h"

namespace pendrel_mupdf {

// Finds the boxes of the elements with background images and lists in
// `laid` what is drawn under the page: each such box's colour and image,
// and the colours of the boxes around them (MuPDF would otherwise paint
// those over the images), which MuPDF then leaves out.
void findPaints(Parse& parse, fz_archive* archive, Laid& laid,
                const std::vector<Background>& backgrounds);

// A background image drawn on a page, in page coordinates: the part of it
// drawn there and the top of its element's padding box.
struct BackgroundBox {
  fz_rect box;
  float top;
};

// The background images `paints` draw that start on `page`.
std::vector<BackgroundBox> backgroundImageBoxes(const fz_html* html, int page,
                                                const std::vector<Paint>& paints);

// ZaveVevode_draw: the page into a PendrelBitmap (`target`), zoomed in
// hundredths (0 fits the page), the zoomed page's (x, y) at the bitmap's
// origin, with scraps and the current search hit blended in.
void drawPage(ZaveVevode& r, Document& d, int32_t page, intptr_t target, intptr_t x, intptr_t y,
              intptr_t zoom);
// ZaveVevode_drawSelectionBox: objects start to end of `page` blended into
// `target` where the last drawing put them.
void drawSelection(ZaveVevode& r, Document& d, intptr_t target, intptr_t page, uint32_t start,
                   uint32_t end, intptr_t colour);

}  // namespace pendrel_mupdf
