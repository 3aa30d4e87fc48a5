#include "paint.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "boxes.h"
#include "layout.h"
#include "objects.h"
#include "pdf_output.h"
#include "utf.h"

namespace pendrel_mupdf {
namespace {

// Highlight colours, 0xRRGGBB, multiplied into the page: a scrap without a
// colour of its own is a yellow highlighter, the current search hit orange
// (so it stands out from scraps), a selection box without a colour light
// blue.
constexpr uint32_t kScrapColour = 0xFFF080;
constexpr uint32_t kSearchHitColour = 0xFFA040;
constexpr uint32_t kSelectionColour = 0xA0C8FF;
// The largest bitmap side accepted, in pixels: a page at eight times
// 2048 points; larger records are taken as garbage.
constexpr int32_t kMaxBitmapSide = 16384;
// Zooms in hundredths: up to a thousand times the page.
constexpr intptr_t kMaxZoom = 100000;
// Points per CSS pixel: images are 96 pixels to the inch, pages 72 points.
constexpr float kPointsPerPixel = 72.0f / 96.0f;

// Draws an image inside the clip just pushed, as a tiling pattern over
// `tile` (null: once), and pops the clip; the device's clip and tile stacks
// stay balanced when drawing fails.
void fillImage(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix placed, fz_matrix origin,
               const fz_rect* tile, float w, float h) {
  fz_try(ctx) {
    if (tile) {
      fz_begin_tile(ctx, dev, *tile, fz_make_rect(0, 0, w, h), w, h, origin);
      fz_try(ctx) { fz_fill_image(ctx, dev, image, placed, 1, fz_default_color_params); }
      fz_always(ctx) { fz_end_tile(ctx, dev); }
      fz_catch(ctx) { fz_rethrow(ctx); }
    } else {
      fz_fill_image(ctx, dev, image, placed, 1, fz_default_color_params);
    }
  }
  fz_always(ctx) { fz_pop_clip(ctx, dev); }
  fz_catch(ctx) {}
}

// Where a background's image lies in `area`: its size (at its own size or
// scaled to cover or fit), its offset from the area's corner, the part a
// tiling pattern fills (from the image's origin) and the band it is clipped
// to (the area and, along an axis it does not repeat on, the image).
struct Placement {
  float w, h, ox, oy;
  fz_rect fill, band;
};

std::optional<Placement> place(const Paint& p, fz_rect area) {
  float w = static_cast<float>(p.image->w) * kPointsPerPixel;
  float h = static_cast<float>(p.image->h) * kPointsPerPixel;
  float boxW = area.x1 - area.x0, boxH = area.y1 - area.y0;
  if (!(w > 0 && h > 0 && boxW > 0)) return std::nullopt;
  if (p.size != BackgroundSize::Auto) {
    float sx = boxW / w, sy = boxH / h;
    float scale = p.size == BackgroundSize::Cover ? std::max(sx, sy) : std::min(sx, sy);
    w *= scale;
    h *= scale;
  }
  float ox = p.x.fraction * (boxW - w) + p.x.points;
  float oy = p.y.fraction * (boxH - h) + p.y.points;
  bool alongX = p.repeat & kRepeatX, alongY = p.repeat & kRepeatY;
  fz_rect fill = {alongX ? -ox : 0, alongY ? -oy : 0, alongX ? boxW - ox : w,
                  alongY ? boxH - oy : h};
  fz_rect band =
      fz_intersect_rect(area, fz_make_rect(area.x0 + ox + fill.x0, area.y0 + oy + fill.y0,
                                           area.x0 + ox + fill.x1, area.y0 + oy + fill.y1));
  return Placement{w, h, ox, oy, fill, band};
}

// Draws a background's image over `area` (in the coordinates of `m`) as
// placed, repeated as a tiling pattern (so a small image over a large box
// costs one tile), clipped to its band.
void drawImage(fz_context* ctx, fz_device* dev, fz_matrix m, const Paint& p, fz_rect area,
               fz_path* clip) {
  std::optional<Placement> at = place(p, area);
  if (!at) return;
  fz_matrix origin = fz_pre_translate(m, area.x0 + at->ox, area.y0 + at->oy);
  fz_matrix placed = fz_concat(fz_make_matrix(at->w, 0, 0, at->h, 0, 0), origin);
  fz_rectto(ctx, clip, at->band.x0, at->band.y0, at->band.x1, at->band.y1);
  fz_clip_path(ctx, dev, clip, 0, m, fz_infinite_rect);
  fillImage(ctx, dev, p.image, placed, origin, p.repeat ? &at->fill : nullptr, at->w, at->h);
}

// The whole page with its margins, in the coordinates MuPDF draws it in.
fz_rect wholePage(const fz_html* html) {
  const float* margin = html->page_margin;
  return {0, 0, html->page_w + margin[BOX_L] + margin[BOX_R],
          html->page_h + margin[BOX_T] + margin[BOX_B]};
}

// A paint's padding box on `page` (the root's: the whole page) and the
// transform it is drawn with; false when it is not on the page.
bool areaOn(const fz_html* html, int page, fz_matrix ctm, const Paint& p, fz_rect& area,
            fz_matrix& m) {
  float pageTop = static_cast<float>(page) * html->page_h;
  float pageBottom = pageTop + html->page_h;
  const float* margin = html->page_margin;
  if (p.box == html->tree.root) {
    area = wholePage(html);
    m = ctm;
  } else {
    BoxView v = view(p.box);
    area = {v.x - v.padding[BOX_L], v.y - v.padding[BOX_T], v.x + v.w + v.padding[BOX_R],
            v.b + v.padding[BOX_B]};
    if (area.y0 > pageBottom || area.y1 < pageTop || !(area.y1 > area.y0)) return false;
    area.y0 -= pageTop;
    area.y1 -= pageTop;
    m = fz_pre_translate(ctm, margin[BOX_L], margin[BOX_T]);
  }
  return loadAt<fz_css_style>(view(p.box).style).visibility == V_VISIBLE;
}

// Draws the page's backgrounds as MuPDF draws background colours: a box's
// padding box, then its image clipped to it.
void drawPaints(fz_context* ctx, fz_device* dev, fz_matrix ctm, const fz_html* html, int page,
                const std::vector<Paint>& paints) {
  for (const Paint& p : paints) {
    fz_rect area;
    fz_matrix m;
    if (!areaOn(html, page, ctm, p, area, m)) continue;
    fz_path* path = nullptr;
    fz_path* clip = nullptr;
    fz_var(path);
    fz_var(clip);
    fz_try(ctx) {
      path = fz_new_path(ctx);
      fz_rectto(ctx, path, area.x0, area.y0, area.x1, area.y1);
      if (p.colour.a > 0) {
        float rgb[3] = {p.colour.r / 255.0f, p.colour.g / 255.0f, p.colour.b / 255.0f};
        fz_fill_path(ctx, dev, path, 0, m, fz_device_rgb(ctx), rgb, p.colour.a / 255.0f,
                     fz_default_color_params);
      }
      if (p.image) {
        clip = fz_new_path(ctx);
        drawImage(ctx, dev, m, p, area, clip);
      }
    }
    fz_always(ctx) {
      fz_drop_path(ctx, clip);
      fz_drop_path(ctx, path);
    }
    fz_catch(ctx) {}
  }
}

const PendrelBitmap* validBitmap(intptr_t value) {
  auto* b = reinterpret_cast<const PendrelBitmap*>(value);
  if (!b || !b->pixels || b->width <= 0 || b->height <= 0 || b->width > kMaxBitmapSide ||
      b->height > kMaxBitmapSide || b->stride < b->width * 4)
    return nullptr;
  return b;
}

// The page-to-bitmap transform: zoom in hundredths (0 fits the page), then
// the bitmap's origin moved to (x, y) of the zoomed page.
fz_matrix transformFor(const Document& d, const PendrelBitmap& b, intptr_t x, intptr_t y,
                       intptr_t zoom) {
  float scale;
  if (zoom > 0 && zoom <= kMaxZoom) {
    scale = static_cast<float>(zoom) / 100.0f;
  } else {
    scale = std::min(static_cast<float>(b.width) / d.layout.width,
                     static_cast<float>(b.height) / d.layout.height);
  }
  return fz_concat(fz_scale(scale, scale),
                   fz_translate(-static_cast<float>(x), -static_cast<float>(y)));
}

// Multiplies the pixels under the box by an RGB colour (a highlighter).
void blend(const PendrelBitmap& b, fz_rect box, fz_matrix m, uint32_t rgb) {
  fz_irect area = fz_round_rect(fz_transform_rect(box, m));
  int x0 = std::max(area.x0, 0), y0 = std::max(area.y0, 0);
  int x1 = std::min(area.x1, b.width), y1 = std::min(area.y1, b.height);
  const uint32_t c[3] = {(rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF};
  for (int y = y0; y < y1; ++y) {
    uint8_t* row = b.pixels + static_cast<size_t>(y) * static_cast<size_t>(b.stride);
    for (int x = x0; x < x1; ++x)
      for (int k = 0; k < 3; ++k)
        row[x * 4 + k] = static_cast<uint8_t>(row[x * 4 + k] * c[k] / 255);
  }
}

// Blends every object of the page within [start, end].
void blendRange(const Objects& o, int32_t page, const PendrelBitmap& b, fz_matrix m, uint32_t start,
                uint32_t end, uint32_t rgb) {
  uint32_t first = o.pageFirst[static_cast<size_t>(page)];
  uint32_t stop = o.pageFirst[static_cast<size_t>(page) + 1];
  if (end < first || start >= stop) return;
  for (uint32_t i = std::max(start, first); i < stop && i <= end; ++i) blend(b, o.box[i], m, rgb);
}

uint32_t colourOr(intptr_t value, uint32_t fallback) {
  return value > 0 && value <= kMaxColour ? static_cast<uint32_t>(value) : fallback;
}

// The search hit marked in the document, or null.
const Hit* markedHit(const ZaveVevode& r, const Document& d) {
  const SearchState& s = r.search;
  if (s.drawHit < 0 || s.drawHitPath != d.path) return nullptr;
  auto it = s.hits.find(d.path);
  if (it == s.hits.end() || static_cast<size_t>(s.drawHit) >= it->second.size()) return nullptr;
  return &it->second[static_cast<size_t>(s.drawHit)];
}

// Adds the page to the PendrelPdf record at `target` (pdf_output.h).
void drawIntoPdf(ZaveVevode& r, Document& d, int32_t page, intptr_t target) {
  const Laid* laid = laidOf(r, d);
  PdfPageSource source;
  source.ctx = r.ctx;
  source.path = epub::utf::toUtf8(d.path);
  source.page = page;
  source.width = d.layout.width;
  source.height = d.layout.height;
  source.html = laid ? laid->html : nullptr;
  source.underlay = [&r, laid, page](fz_device* dev) {
    drawPaints(r.ctx, dev, fz_identity, laid->html, page, laid->paints);
  };
  source.layoutOf = [&r](const std::string& path) -> fz_html* {
    std::u16string wide;
    appendUtf16(wide, path);
    Document* other = findDocument(r, wide.c_str());
    return other ? htmlOf(r, *other) : nullptr;
  };
  addPdfPage(target, source);
}

}  // namespace

std::vector<BackgroundBox> backgroundImageBoxes(const fz_html* html, int page,
                                                const std::vector<Paint>& paints) {
  std::vector<BackgroundBox> boxes;
  for (const Paint& p : paints) {
    fz_rect area;
    fz_matrix m;
    bool root = p.box == html->tree.root;
    if (!p.image || (root && page > 0) || !areaOn(html, page, fz_identity, p, area, m)) continue;
    // Reported on the page its band starts on, as far as it is drawn there.
    float bottom = root ? area.y1 : html->page_h;
    std::optional<Placement> at = place(p, area);
    if (!at || at->band.y0 < 0 || at->band.y0 >= bottom || fz_is_empty_rect(at->band)) continue;
    fz_rect band = at->band;
    band.y1 = std::min(band.y1, bottom);
    boxes.push_back({fz_transform_rect(band, m), fz_transform_point_xy(0, area.y0, m).y});
  }
  return boxes;
}

void findPaints(Parse& parse, fz_archive* archive, Laid& laid,
                const std::vector<Background>& backgrounds) {
  fz_context* ctx = parse.r.ctx;
  fz_html_box* root = laid.html->tree.root;
  std::unordered_map<std::string_view, const Background*> byId;
  for (const auto& b : backgrounds) byId.emplace(b.id, &b);
  std::unordered_map<fz_html_box*, const Background*> imaged;
  std::unordered_set<fz_html_box*> painted;
  for (fz_html_box* box = root; box; box = nextBox(box)) {
    BoxView v = view(box);
    if (!v.id || !isBlockType(v.type)) continue;
    auto it = byId.find(v.id);
    if (it == byId.end()) continue;
    imaged.emplace(box, it->second);
    for (fz_html_box* up = box; up && painted.insert(up).second;) up = view(up).up;
  }
  for (fz_html_box* box = root; box; box = nextBox(box)) {
    if (!painted.count(box)) continue;
    fz_css_style style = loadAt<fz_css_style>(view(box).style);
    Paint paint{box, style.background_color, nullptr, 0, {}, {}, {}};
    auto it = imaged.find(box);
    if (it != imaged.end()) {
      const Background& b = *it->second;
      paint.image = backgroundImage(parse, archive, b.image);
      paint.repeat = b.repeat;
      paint.size = b.size;
      paint.x = b.x;
      paint.y = b.y;
    }
    if (paint.colour.a == 0 && !paint.image) continue;
    if (paint.colour.a > 0) {
      void* copy = newStyle(ctx, laid.html->tree.pool);
      if (copy) {
        style.background_color.a = 0;
        std::memcpy(copy, &style, sizeof style);
        setStyle(box, static_cast<const fz_css_style*>(copy));
      } else {
        paint.colour.a = 0;
      }
    }
    try {
      laid.paints.push_back(paint);
    } catch (...) {
      fz_drop_image(ctx, paint.image);
      throw;
    }
  }
}

namespace {

struct PageDrawing {
  const Laid* laid;
  int32_t page;
  fz_matrix m;
};

void drawOnto(fz_context* ctx, fz_device* dev, void* context) {
  const auto* p = static_cast<const PageDrawing*>(context);
  drawPaints(ctx, dev, p->m, p->laid->html, p->page, p->laid->paints);
  fz_draw_html(ctx, dev, p->m, p->laid->html, p->page);
}

// Draws the laid-out page into the bitmap (white already), the zoomed
// page's (x, y) at its origin: `m` moves the page there, `still` is the
// zoom alone. Where MuPDF can place the bitmap among the page's pixels it
// draws with `still`; a bitmap holding only part of the page replays the
// page's display list, through a larger pixmap when the bitmap cuts an
// image at its top or left edge (bands.h).
void drawLaid(fz_context* ctx, const Laid& laid, int32_t page, const PendrelBitmap& bitmap,
              fz_matrix m, intptr_t x, intptr_t y, fz_matrix still) {
  const bool placed = inPlace(x, y);
  PageDrawing drawing{&laid, page, placed ? still : m};
  fz_irect area = fz_make_irect(0, 0, bitmap.width, bitmap.height);
  fz_display_list* list = nullptr;
  if (placed) {
    area = fz_translate_irect(area, static_cast<int>(x), static_cast<int>(y));
    const fz_irect whole = fz_irect_from_rect(fz_transform_rect(wholePage(laid.html), still));
    if (!fz_contains_rect(fz_rect_from_irect(area), fz_rect_from_irect(whole))) {
      list = pageList(ctx, laid.parts, laid.html, page, still, drawOnto, &drawing);
      if (list) area = areaToDraw(laid.parts, area);
    }
  }
  const bool larger = area.x1 - area.x0 != bitmap.width || area.y1 - area.y0 != bitmap.height;
  fz_pixmap* pixmap = nullptr;
  fz_device* device = nullptr;
  fz_var(pixmap);
  fz_var(device);
  fz_try(ctx) {
    if (larger) {
      pixmap = fz_new_pixmap_with_bbox(ctx, fz_device_rgb(ctx), area, nullptr, 1);
      fz_clear_pixmap_with_value(ctx, pixmap, 0xFF);
    } else {
      pixmap = fz_new_pixmap_with_data(ctx, fz_device_rgb(ctx), bitmap.width, bitmap.height,
                                       nullptr, 1, bitmap.stride, bitmap.pixels);
      pixmap->x = area.x0;
      pixmap->y = area.y0;
    }
    device = fz_new_draw_device(ctx, fz_identity, pixmap);
    if (list)
      fz_run_display_list(ctx, list, device, fz_identity, fz_rect_from_irect(area), nullptr);
    else
      drawOnto(ctx, device, &drawing);
    fz_close_device(ctx, device);
    if (larger) {
      // The bitmap is the bottom-right part of the area drawn.
      const size_t skip = static_cast<size_t>(pixmap->h - bitmap.height) * pixmap->stride +
                          static_cast<size_t>(pixmap->w - bitmap.width) * 4;
      for (int32_t row = 0; row < bitmap.height; ++row)
        std::memcpy(bitmap.pixels + static_cast<size_t>(row) * static_cast<size_t>(bitmap.stride),
                    pixmap->samples + skip + static_cast<size_t>(row) * pixmap->stride,
                    static_cast<size_t>(bitmap.width) * 4);
    }
  }
  fz_always(ctx) {
    fz_drop_device(ctx, device);
    fz_drop_pixmap(ctx, pixmap);
  }
  fz_catch(ctx) {}
}

}  // namespace

void drawPage(ZaveVevode& r, Document& d, int32_t page, intptr_t target, intptr_t x, intptr_t y,
              intptr_t zoom) {
  if (d.hasPage(page) && isPdfTarget(target)) return drawIntoPdf(r, d, page, target);
  const PendrelBitmap* bitmap = validBitmap(target);
  if (!bitmap || !d.hasPage(page)) return;
  for (int32_t row = 0; row < bitmap->height; ++row)
    std::fill_n(bitmap->pixels + static_cast<size_t>(row) * static_cast<size_t>(bitmap->stride),
                static_cast<size_t>(bitmap->width) * 4, uint8_t{0xFF});
  fz_matrix m = transformFor(d, *bitmap, x, y, zoom);
  const Laid* laid = laidOf(r, d);
  if (laid) drawLaid(r.ctx, *laid, page, *bitmap, m, x, y, transformFor(d, *bitmap, 0, 0, zoom));
  d.lastDraw = m;
  d.drawn = true;
  const Hit* hit = markedHit(r, d);
  if (d.scraps.empty() && !hit) return;
  const Objects& o = objectsOf(r, d);
  for (const Scrap& s : d.scraps)
    blendRange(o, page, *bitmap, m, s.start, s.end, colourOr(s.colour, kScrapColour));
  if (hit) blendRange(o, page, *bitmap, m, hit->first, hit->last, kSearchHitColour);
}

void drawSelection(ZaveVevode& r, Document& d, intptr_t target, intptr_t page, uint32_t start,
                   uint32_t end, intptr_t colour) {
  const PendrelBitmap* bitmap = validBitmap(target);
  if (!bitmap || page < INT32_MIN || page > INT32_MAX || !d.hasPage(static_cast<int32_t>(page)))
    return;
  fz_matrix m = d.drawn ? d.lastDraw : transformFor(d, *bitmap, 0, 0, 0);
  blendRange(objectsOf(r, d), static_cast<int32_t>(page), *bitmap, m, start, end,
             colourOr(colour, kSelectionColour));
}

}  // namespace pendrel_mupdf
