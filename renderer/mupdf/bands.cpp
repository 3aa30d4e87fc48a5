#include "bands.h"

#include <algorithm>
#include <atomic>

#include "boxes.h"

extern "C" {
// MuPDF's own choice of the part of an image to decode (not in its public
// headers).
void fz_default_image_decode(void* arg, int w, int h, int l2factor, fz_irect* subarea);
}

namespace pendrel_mupdf {

namespace {

// MuPDF's one kind of scalable image (a display list's) and how it renders.
std::atomic<fz_image_get_pixmap_fn*> scalablePixmap{nullptr};

fz_pixmap* wholeScalablePixmap(fz_context* ctx, fz_image* image, fz_irect*, int w, int h,
                               int* l2factor) {
  return scalablePixmap.load(std::memory_order_relaxed)(ctx, image, nullptr, w, h, l2factor);
}

// A device that only notes where images are painted, outside tiles (a
// tile's images are drawn into the tile's own pixmap, whatever the clip).
struct ImageFinder {
  fz_device super;
  std::vector<fz_irect>* boxes;
  int tiles;
};

void note(fz_device* dev, fz_matrix ctm) {
  auto* finder = reinterpret_cast<ImageFinder*>(dev);
  if (finder->tiles == 0)
    finder->boxes->push_back(fz_irect_from_rect(fz_transform_rect(fz_unit_rect, ctm)));
}
void noteImage(fz_context*, fz_device* dev, fz_image*, fz_matrix ctm, float, fz_color_params) {
  note(dev, ctm);
}
void noteImageMask(fz_context*, fz_device* dev, fz_image*, fz_matrix ctm, fz_colorspace*,
                   const float*, float, fz_color_params) {
  note(dev, ctm);
}
void noteClipImageMask(fz_context*, fz_device* dev, fz_image*, fz_matrix ctm, fz_rect) {
  note(dev, ctm);
}
int enterTile(fz_context*, fz_device* dev, fz_rect, fz_rect, float, float, fz_matrix, int) {
  ++reinterpret_cast<ImageFinder*>(dev)->tiles;
  return 0;
}
void leaveTile(fz_context*, fz_device* dev) { --reinterpret_cast<ImageFinder*>(dev)->tiles; }

}  // namespace

void drawWholeWhenClipped(fz_image* image) {
  if (!image || !image->scalable || image->get_pixmap == wholeScalablePixmap) return;
  scalablePixmap.store(image->get_pixmap, std::memory_order_relaxed);
  image->get_pixmap = wholeScalablePixmap;
}

void drawWholeWhenClipped(fz_html* html) {
  if (!html) return;
  for (fz_html_box* box = html->tree.root; box; box = nextBox(box)) {
    if (view(box).type != BOX_FLOW) continue;
    for (fz_html_flow* p = flowHead(box); p;) {
      const fz_html_flow f = loadAt<fz_html_flow>(p);
      // An image item's image follows the item's common part.
      if ((f.bits & 7) == FLOW_IMAGE)
        drawWholeWhenClipped(loadAt<fz_image*>(reinterpret_cast<char*>(p) + sizeof f));
      p = f.next;
    }
  }
}

void decodeWholeImages(void* arg, int w, int h, int l2factor, fz_irect* subarea) {
  constexpr int64_t kMostPixels = int64_t{1} << 24;
  if (int64_t{w} * h > kMostPixels) return fz_default_image_decode(arg, w, h, l2factor, subarea);
  *subarea = fz_make_irect(0, 0, w, h);
}

bool inPlace(intptr_t x, intptr_t y) {
  constexpr intptr_t kFar = intptr_t{1} << 24;
  return x > -kFar && x < kFar && y > -kFar && y < kFar;
}

void dropPageList(fz_context* ctx, PageList& kept) {
  fz_drop_display_list(ctx, kept.list);
  kept = {};
}

fz_display_list* pageList(fz_context* ctx, PageList& kept, const fz_html* html, int32_t page,
                          fz_matrix m, DrawOnto drawOnto, void* context) {
  const bool same = kept.list && kept.html == html && kept.page == page && kept.m.a == m.a &&
                    kept.m.b == m.b && kept.m.c == m.c && kept.m.d == m.d && kept.m.e == m.e &&
                    kept.m.f == m.f;
  if (same) return kept.list;
  dropPageList(ctx, kept);
  fz_display_list* list = nullptr;
  fz_device* dev = nullptr;
  fz_var(list);
  fz_var(dev);
  fz_try(ctx) {
    list = fz_new_display_list(ctx, fz_infinite_rect);
    dev = fz_new_list_device(ctx, list);
    drawOnto(ctx, dev, context);
    fz_close_device(ctx, dev);
    fz_drop_device(ctx, dev);
    dev = nullptr;
    // Where the list paints images.
    dev = fz_new_device_of_size(ctx, sizeof(ImageFinder));
    auto* finder = reinterpret_cast<ImageFinder*>(dev);
    finder->boxes = &kept.images;
    finder->tiles = 0;
    dev->fill_image = noteImage;
    dev->fill_image_mask = noteImageMask;
    dev->clip_image_mask = noteClipImageMask;
    dev->begin_tile = enterTile;
    dev->end_tile = leaveTile;
    fz_run_display_list(ctx, list, dev, fz_identity, fz_infinite_rect, nullptr);
    fz_close_device(ctx, dev);
  }
  fz_always(ctx) { fz_drop_device(ctx, dev); }
  fz_catch(ctx) {
    fz_drop_display_list(ctx, list);
    kept.images.clear();
    return nullptr;
  }
  kept.html = html;
  kept.page = page;
  kept.m = m;
  kept.list = list;
  return list;
}

fz_irect areaToDraw(const PageList& kept, fz_irect area) {
  // Each image the area cuts at its top or left edge moves that edge to
  // where the whole drawing steps from: the image's corner, within the
  // page's pixels. A grown area may cut further images.
  for (bool grown = true; grown;) {
    grown = false;
    for (const fz_irect& b : kept.images) {
      if (b.x1 <= area.x0 || b.x0 >= area.x1 || b.y1 <= area.y0 || b.y0 >= area.y1) continue;
      const int top = std::max(b.y0, 0), left = std::max(b.x0, 0);
      if (top < area.y0) area.y0 = top, grown = true;
      if (left < area.x0) area.x0 = left, grown = true;
    }
  }
  return area;
}

}  // namespace pendrel_mupdf
