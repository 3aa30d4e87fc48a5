// The MuPDF renderer: lays XHTML content documents out with MuPDF's HTML
// handler, numbers the words of each document as its objects, and draws
// pages into host bitmaps with scraps and the current search hit blended in.
//
// Every MuPDF call runs inside fz_try; no C++ object is constructed inside
// a try block, so an exception unwinding by longjmp never skips a
// destructor. Failures answer with the function's failure value.
#include "pendrel_mupdf.h"

#include "pendrel.h"
#include "resources.h"

extern "C" {
#include <mupdf/fitz.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

constexpr float kDefaultWidth = 400;
constexpr float kDefaultHeight = 600;
constexpr float kDefaultEm = 12;
constexpr int32_t kMaxBitmapSide = 16384;

struct Layout {
  float width = kDefaultWidth;
  float height = kDefaultHeight;
  float em = kDefaultEm;
};

struct Word {
  std::string text;  // UTF-8; empty for an image
  fz_rect box{};
  int32_t link = -1;  // index into the page's links
  int32_t type = PENDREL_OBJECT_WORD;
  uint32_t utf8Start = 0;
};

struct Link {
  fz_rect rect{};
  std::string uri;
};

struct Page {
  uint32_t first = 0;  // document index of the page's first object
  uint32_t utf8First = 0;
  std::string firstLine;
  std::vector<Link> links;
};

struct Scrap {
  uint32_t start, end;
  intptr_t colour, style;
};

// What one layout of a document yields: the objects in reading order and
// where each page begins. pages has one extra entry closing the last page.
struct Extract {
  std::vector<Page> pages;
  std::vector<Word> words;
};

struct Document {
  fz_context* ctx = nullptr;
  fz_document* doc = nullptr;
  Layout layout;
  Extract text;
  std::vector<Scrap> scraps;
  fz_matrix lastDraw = fz_identity;
  bool drawn = false;

  Document() = default;
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;
  ~Document() { fz_drop_document(ctx, doc); }
  int32_t pageCount() const { return static_cast<int32_t>(text.pages.size()) - 1; }
  bool hasPage(int32_t page) const { return page >= 0 && page < pageCount(); }
};

struct Hit {
  uint32_t first, last;  // word indexes
};

}  // namespace

struct ZaveVevode {
  fz_context* ctx = nullptr;
  ZaveVevodeOptions options{};
  Layout current;
  Layout pending;
  bool hasPending = false;
  std::unordered_map<std::u16string, std::unique_ptr<Document>> documents;
  // Texts handed to the host stay alive until the next call that returns text.
  std::u16string returned;
  // Search state: the needle as code points (folded unless matching case),
  // the hits per document and the hit to mark.
  std::u32string needle;
  bool matchCase = false;
  std::unordered_map<std::u16string, std::vector<Hit>> hits;
  std::u16string drawHitPath;
  intptr_t drawHit = -1;
  // Overrides applied as a user style sheet to documents opened later:
  // text colour 0xRRGGBB (negative: the document's own) and alignment code.
  intptr_t textColour = -1, textAlign = 0, embeddedFont = 1;
  intptr_t font[3] = {0, 0, 0};
};

namespace {

void quiet(void*, const char*) {}

std::string toUtf8(const char16_t* s) {
  std::string out;
  if (!s) return out;
  char buf[FZ_UTFMAX];
  for (; *s; ++s) {
    uint32_t c = *s;
    if (c >= 0xD800 && c < 0xDC00 && s[1] >= 0xDC00 && s[1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[1] - 0xDC00u);
      ++s;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    out.append(buf, static_cast<size_t>(fz_runetochar(buf, static_cast<int>(c))));
  }
  return out;
}

// Decodes UTF-8 (as produced by MuPDF) to code points.
std::u32string toCodePoints(std::string_view s) {
  std::u32string out;
  std::string padded(s);  // fz_chartorune reads a terminated string
  const char* p = padded.c_str();
  const char* end = p + padded.size();
  while (p < end) {
    int rune = 0;
    p += fz_chartorune(&rune, p);
    out.push_back(static_cast<char32_t>(rune));
  }
  return out;
}

void appendUtf16(std::u16string& out, std::string_view s) {
  for (char32_t c : toCodePoints(s)) {
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
}

bool isSpace(int c) {
  return c <= 0x20 || c == 0xA0 || c == 0x3000 || (c >= 0x2000 && c <= 0x200B);
}

// Splits one structured-text page into objects: images and words, a word
// ending at white space or at the end of a line.
void collect(fz_stext_page* text, fz_link* links, Page& page, std::vector<Word>& words) {
  for (fz_link* l = links; l; l = l->next) page.links.push_back({l->rect, l->uri ? l->uri : ""});
  char buf[FZ_UTFMAX];
  for (fz_stext_block* block = text->first_block; block; block = block->next) {
    if (block->type == FZ_STEXT_BLOCK_IMAGE) {
      Word image;
      image.box = block->bbox;
      image.type = PENDREL_OBJECT_IMAGE;
      words.push_back(std::move(image));
      continue;
    }
    if (block->type != FZ_STEXT_BLOCK_TEXT) continue;
    for (fz_stext_line* line = block->u.t.first_line; line; line = line->next) {
      Word word;
      word.box = fz_empty_rect;
      std::string whole;
      auto flush = [&] {
        if (!word.text.empty()) words.push_back(std::move(word));
        word = Word{};
        word.box = fz_empty_rect;
      };
      for (fz_stext_char* ch = line->first_char; ch; ch = ch->next) {
        std::string_view utf8(buf, static_cast<size_t>(fz_runetochar(buf, ch->c)));
        if (page.firstLine.empty()) whole += utf8;
        if (isSpace(ch->c)) {
          flush();
          continue;
        }
        word.text += utf8;
        word.box = fz_union_rect(word.box, fz_rect_from_quad(ch->quad));
      }
      flush();
      if (page.firstLine.empty()) {
        size_t b = whole.find_first_not_of(' '), e = whole.find_last_not_of(' ');
        if (b != std::string::npos) page.firstLine = whole.substr(b, e - b + 1);
      }
    }
  }
}

// Reads the objects of one page; false when MuPDF fails on it.
bool extractPage(fz_context* ctx, fz_document* doc, int number, Page& page,
                 std::vector<Word>& words) {
  fz_page* p = nullptr;
  fz_stext_page* text = nullptr;
  fz_link* links = nullptr;
  fz_var(p);
  fz_var(text);
  fz_var(links);
  fz_stext_options options{};
  options.flags = FZ_STEXT_PRESERVE_IMAGES;
  bool ok = true;
  fz_try(ctx) {
    p = fz_load_page(ctx, doc, number);
    text = fz_new_stext_page_from_page(ctx, p, &options);
    links = fz_load_links(ctx, p);
  }
  fz_catch(ctx) { ok = false; }
  size_t firstNew = words.size();
  if (ok) collect(text, links, page, words);
  // Links are matched to words by the centre of the word's box.
  for (size_t i = firstNew; i < words.size(); ++i) {
    fz_point centre = {(words[i].box.x0 + words[i].box.x1) / 2,
                       (words[i].box.y0 + words[i].box.y1) / 2};
    for (size_t k = 0; k < page.links.size(); ++k)
      if (fz_is_point_inside_rect(centre, page.links[k].rect)) {
        words[i].link = static_cast<int32_t>(k);
        break;
      }
  }
  fz_drop_link(ctx, links);
  fz_drop_stext_page(ctx, text);
  fz_drop_page(ctx, p);
  return ok;
}

// Lays the document out and reads every page's objects.
bool extract(fz_context* ctx, fz_document* doc, const Layout& layout, Extract& out,
             ZaveVevodeProgressCallback progress, void* context) {
  volatile int count = 0;
  fz_try(ctx) {
    fz_layout_document(ctx, doc, layout.width, layout.height, layout.em);
    count = fz_count_pages(ctx, doc);
  }
  fz_catch(ctx) { return false; }
  out.pages.clear();
  out.words.clear();
  uint32_t utf8 = 0;
  for (int i = 0; i < count; ++i) {
    Page page;
    page.first = static_cast<uint32_t>(out.words.size());
    page.utf8First = utf8;
    size_t before = out.words.size();
    if (!extractPage(ctx, doc, i, page, out.words)) return false;
    for (size_t k = before; k < out.words.size(); ++k) {
      out.words[k].utf8Start = utf8;
      utf8 += static_cast<uint32_t>(out.words[k].text.size()) + 1;
    }
    out.pages.push_back(std::move(page));
    if (progress) progress(context, static_cast<uint32_t>(count), static_cast<uint32_t>(i + 1));
  }
  Page closing;
  closing.first = static_cast<uint32_t>(out.words.size());
  closing.utf8First = utf8;
  out.pages.push_back(std::move(closing));
  return true;
}

// Opens XHTML bytes with MuPDF's HTML handler. The handler reads the whole
// stream into its own buffer while opening, so `data` is not referenced
// after the call.
fz_document* openXhtml(fz_context* ctx, const uint8_t* data, size_t length) {
  fz_stream* stream = nullptr;
  fz_document* doc = nullptr;
  fz_var(stream);
  fz_var(doc);
  fz_try(ctx) {
    stream = fz_open_memory(ctx, data, length);
    doc = fz_open_document_with_stream(ctx, "application/xhtml+xml", stream);
  }
  fz_always(ctx) { fz_drop_stream(ctx, stream); }
  fz_catch(ctx) {
    fz_drop_document(ctx, doc);
    doc = nullptr;
  }
  return doc;
}

// The document's images and style sheets, fetched through the host's read
// trampoline and inlined; nullopt when it has none the host can give.
std::optional<std::string> withResources(ZaveVevode* r, const char16_t* path, const uint8_t* bytes,
                                         uint32_t length) {
  if (!r->options.read) return std::nullopt;
  std::u16string wide;
  auto read = [&](const std::string& resource) -> std::optional<std::string_view> {
    wide.clear();
    appendUtf16(wide, resource);
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    if (!r->options.read(r->options.context, wide.c_str(), &data, &size) || !data)
      return std::nullopt;
    return std::string_view(reinterpret_cast<const char*>(data), size);
  };
  return pendrel_mupdf::inlineResources(
      std::string_view(reinterpret_cast<const char*>(bytes), length), toUtf8(path), read);
}

// The user style sheet carrying the host's colour and alignment overrides.
std::string userCss(const ZaveVevode& r) {
  std::string css;
  if (r.textColour >= 0 && r.textColour <= 0xFFFFFF) {
    char colour[8];
    std::snprintf(colour, sizeof colour, "%06x", static_cast<unsigned>(r.textColour));
    css += "* { color: #" + std::string(colour) + " !important; }\n";
  }
  static const char* const aligns[] = {nullptr, "left", "right", "center", "justify"};
  if (r.textAlign >= 1 && r.textAlign <= 4)
    css += std::string("* { text-align: ") + aligns[r.textAlign] + " !important; }\n";
  return css;
}

// Opens a document as the host gave it, with its resources inlined and the
// host's overrides applied.
fz_document* openWithResources(ZaveVevode* r, const char16_t* path, const uint8_t* bytes,
                               uint32_t length) {
  std::string css = userCss(*r);
  fz_try(r->ctx) { fz_set_user_css(r->ctx, css.c_str()); }
  fz_catch(r->ctx) { return nullptr; }
  std::optional<std::string> inlined = withResources(r, path, bytes, length);
  if (inlined)
    return openXhtml(r->ctx, reinterpret_cast<const uint8_t*>(inlined->data()), inlined->size());
  return openXhtml(r->ctx, bytes, length);
}

Document* find(ZaveVevode* r, const char16_t* path) {
  if (!r || !path) return nullptr;
  auto it = r->documents.find(path);
  return it == r->documents.end() ? nullptr : it->second.get();
}

const char16_t* hand(ZaveVevode* r, std::string_view utf8) {
  r->returned.clear();
  appendUtf16(r->returned, utf8);
  return r->returned.c_str();
}

void relayout(ZaveVevode* r, Document& d, const Layout& layout) {
  d.layout = layout;
  d.drawn = false;
  if (!extract(r->ctx, d.doc, layout, d.text, nullptr, nullptr)) {
    d.text = Extract{};
    d.text.pages.push_back(Page{});
  }
}

float clampSide(intptr_t v, float fallback) {
  return v > 0 && v <= 0xFFFF ? static_cast<float>(v) : fallback;
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
  if (zoom > 0 && zoom <= 100000) {
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
void blendRange(const Document& d, int32_t page, const PendrelBitmap& b, fz_matrix m,
                uint32_t start, uint32_t end, uint32_t rgb) {
  uint32_t first = d.text.pages[static_cast<size_t>(page)].first;
  uint32_t stop = d.text.pages[static_cast<size_t>(page) + 1].first;
  if (end < first || start >= stop) return;
  for (uint32_t i = std::max(start, first); i < stop && i <= end; ++i)
    blend(b, d.text.words[i].box, m, rgb);
}

uint32_t colourOr(intptr_t value, uint32_t fallback) {
  return value > 0 && value <= 0xFFFFFF ? static_cast<uint32_t>(value) : fallback;
}

// Finds the needle in the document's words joined by single spaces; a hit
// covers the words it touches.
std::vector<Hit> findHits(const ZaveVevode& r, const Extract& text) {
  std::vector<Hit> found;
  if (r.needle.empty()) return found;
  std::u32string joined;
  std::vector<uint32_t> owner;  // word index of each code point of `joined`
  for (size_t i = 0; i < text.words.size(); ++i) {
    if (text.words[i].type != PENDREL_OBJECT_WORD) continue;
    if (!joined.empty()) {
      joined.push_back(U' ');
      owner.push_back(static_cast<uint32_t>(i));
    }
    for (char32_t c : toCodePoints(text.words[i].text)) {
      joined.push_back(r.matchCase ? c : static_cast<char32_t>(fz_tolower(static_cast<int>(c))));
      owner.push_back(static_cast<uint32_t>(i));
    }
  }
  std::boyer_moore_horspool_searcher searcher(r.needle.begin(), r.needle.end());
  auto at = joined.begin();
  while (true) {
    auto [b, e] = searcher(at, joined.end());
    if (b == joined.end()) break;
    found.push_back({owner[static_cast<size_t>(b - joined.begin())],
                     owner[static_cast<size_t>(e - joined.begin()) - 1]});
    at = e;
  }
  return found;
}

}  // namespace

extern "C" {

PENDREL_API ZaveVevode* ZaveVevode_new(const ZaveVevodeOptions* options) {
  fz_context* ctx = fz_new_context(nullptr, nullptr, FZ_STORE_DEFAULT);
  if (!ctx) return nullptr;
  fz_set_warning_callback(ctx, quiet, nullptr);
  fz_set_error_callback(ctx, quiet, nullptr);
  bool ok = true;
  fz_try(ctx) { fz_register_document_handlers(ctx); }
  fz_catch(ctx) { ok = false; }
  if (!ok) {
    fz_drop_context(ctx);
    return nullptr;
  }
  auto* r = new ZaveVevode;
  r->ctx = ctx;
  if (options) {
    r->options = *options;
    const ZaveVevodeSettings& s = options->settings;
    r->current.width = clampSide(s.setting1, kDefaultWidth);
    r->current.height = clampSide(s.setting2, kDefaultHeight);
    r->current.em =
        s.setting3 > 0 && s.setting3 <= 400 ? static_cast<float>(s.setting3) : kDefaultEm;
  }
  return r;
}

PENDREL_API void ZaveVevode_free(ZaveVevode** renderer) {
  if (!renderer || !*renderer) return;
  ZaveVevode* r = *renderer;
  r->documents.clear();
  fz_drop_context(r->ctx);
  delete r;
  *renderer = nullptr;
}

PENDREL_API bool ZaveVevode_xhtml(ZaveVevode* r, const pendrel_char16* path, const uint8_t* bytes,
                                  uint32_t length, ZaveVevodeProgressCallback progress,
                                  void* context) {
  if (!r || !path) return false;
  Layout layout = r->hasPending ? r->pending : r->current;
  r->hasPending = false;
  r->documents.erase(path);
  if (!bytes || length == 0) return false;
  auto d = std::make_unique<Document>();
  d->ctx = r->ctx;
  d->doc = openWithResources(r, path, bytes, length);
  if (!d->doc) return false;
  d->layout = layout;
  if (!extract(r->ctx, d->doc, layout, d->text, progress, context)) return false;
  r->documents.emplace(path, std::move(d));
  return true;
}

PENDREL_API int32_t ZaveVevode_getPageLength(ZaveVevode* r, const pendrel_char16* path) {
  Document* d = find(r, path);
  return d ? d->pageCount() : 0;
}

PENDREL_API void ZaveVevode_deleteXhtml(ZaveVevode* r, const pendrel_char16* path) {
  if (!r || !path) return;
  r->documents.erase(path);
}

PENDREL_API void ZaveVevode_changeFont(ZaveVevode* r, intptr_t a, intptr_t b, intptr_t c, uint8_t d,
                                       int32_t allDocuments) {
  if (!r) return;
  (void)d;
  r->font[0] = a;
  r->font[1] = b;
  r->font[2] = c;
  if (a <= 0 || a > 400) return;
  if (allDocuments) {
    r->current.em = static_cast<float>(a);
    for (auto& [path, doc] : r->documents) relayout(r, *doc, r->current);
  } else {
    if (!r->hasPending) r->pending = r->current;
    r->pending.em = static_cast<float>(a);
    r->hasPending = true;
  }
}

PENDREL_API void ZaveVevode_calcPageSize(ZaveVevode* r, intptr_t size, int32_t allDocuments) {
  if (!r) return;
  intptr_t w = (size >> 16) & 0xFFFF, h = size & 0xFFFF;
  if (w == 0 || h == 0) return;
  if (allDocuments) {
    r->current.width = static_cast<float>(w);
    r->current.height = static_cast<float>(h);
    for (auto& [path, doc] : r->documents) relayout(r, *doc, r->current);
  } else {
    if (!r->hasPending) r->pending = r->current;
    r->pending.width = static_cast<float>(w);
    r->pending.height = static_cast<float>(h);
    r->hasPending = true;
  }
}

PENDREL_API void ZaveVevode_loadFont(ZaveVevode* r, intptr_t a, intptr_t b, intptr_t c) {
  if (!r) return;
  (void)a;
  (void)b;
  (void)c;
}

PENDREL_API void ZaveVevode_draw(ZaveVevode* r, const pendrel_char16* path, int32_t page,
                                 intptr_t a, intptr_t b, intptr_t c, intptr_t d) {
  Document* doc = find(r, path);
  const PendrelBitmap* bitmap = validBitmap(a);
  if (!doc || !bitmap || !doc->hasPage(page)) return;
  for (int32_t y = 0; y < bitmap->height; ++y)
    std::fill_n(bitmap->pixels + static_cast<size_t>(y) * static_cast<size_t>(bitmap->stride),
                static_cast<size_t>(bitmap->width) * 4, uint8_t{0xFF});
  fz_matrix m = transformFor(*doc, *bitmap, b, c, d);
  fz_context* ctx = r->ctx;
  fz_pixmap* pixmap = nullptr;
  fz_page* p = nullptr;
  fz_device* device = nullptr;
  fz_var(pixmap);
  fz_var(p);
  fz_var(device);
  fz_try(ctx) {
    pixmap = fz_new_pixmap_with_data(ctx, fz_device_rgb(ctx), bitmap->width, bitmap->height,
                                     nullptr, 1, bitmap->stride, bitmap->pixels);
    p = fz_load_page(ctx, doc->doc, page);
    device = fz_new_draw_device(ctx, fz_identity, pixmap);
    fz_run_page(ctx, p, device, m, nullptr);
    fz_close_device(ctx, device);
  }
  fz_always(ctx) {
    fz_drop_device(ctx, device);
    fz_drop_page(ctx, p);
    fz_drop_pixmap(ctx, pixmap);
  }
  fz_catch(ctx) {}
  doc->lastDraw = m;
  doc->drawn = true;
  for (const Scrap& s : doc->scraps)
    blendRange(*doc, page, *bitmap, m, s.start, s.end, colourOr(s.colour, 0xFFF080));
  if (r->drawHit >= 0 && r->drawHitPath == path) {
    auto it = r->hits.find(path);
    if (it != r->hits.end() && static_cast<size_t>(r->drawHit) < it->second.size()) {
      const Hit& h = it->second[static_cast<size_t>(r->drawHit)];
      blendRange(*doc, page, *bitmap, m, h.first, h.last, 0xFFA040);
    }
  }
}

PENDREL_API int32_t ZaveVevode_getLink(ZaveVevode* r, const pendrel_char16* path, intptr_t value) {
  Document* d = find(r, path);
  auto* href = reinterpret_cast<const char16_t*>(value);
  if (!d || !href) return -1;
  std::string target = toUtf8(href);
  size_t hash = target.find('#');
  if (hash == std::string::npos) return d->pageCount() > 0 ? 0 : -1;
  target = target.substr(hash);
  if (target.size() < 2) return d->pageCount() > 0 ? 0 : -1;
  volatile int page = -1;
  fz_context* ctx = r->ctx;
  fz_try(ctx) {
    fz_location loc = fz_resolve_link(ctx, d->doc, target.c_str(), nullptr, nullptr);
    if (loc.page >= 0) page = fz_page_number_from_location(ctx, d->doc, loc);
  }
  fz_catch(ctx) { page = -1; }
  return page >= 0 && page < d->pageCount() ? page : -1;
}

PENDREL_API const pendrel_char16* ZaveVevode_getFirstStringPage(ZaveVevode* r,
                                                                const pendrel_char16* path,
                                                                int32_t page) {
  Document* d = find(r, path);
  if (!d || !d->hasPage(page)) return nullptr;
  return hand(r, d->text.pages[static_cast<size_t>(page)].firstLine);
}

extern "C++" {
namespace {
// A page's first object (or UTF-8 position), and how many the page holds;
// for page == page count the index is the document's total.
template <class Field>
uint32_t indexOfPage(ZaveVevode* r, const pendrel_char16* path, int32_t page, Field field) {
  Document* d = find(r, path);
  if (!d || page < 0 || page > d->pageCount()) return 0;
  return d->text.pages[static_cast<size_t>(page)].*field;
}

template <class Field>
uint32_t countOnPage(ZaveVevode* r, const pendrel_char16* path, int32_t page, Field field) {
  Document* d = find(r, path);
  if (!d || !d->hasPage(page)) return 0;
  const auto at = static_cast<size_t>(page);
  return d->text.pages[at + 1].*field - d->text.pages[at].*field;
}
}  // namespace
}  // extern "C++"

PENDREL_API uint32_t ZaveVevode_getObjectIndex(ZaveVevode* r, const pendrel_char16* path,
                                               int32_t page) {
  return indexOfPage(r, path, page, &Page::first);
}

PENDREL_API uint32_t ZaveVevode_getObjectCount(ZaveVevode* r, const pendrel_char16* path,
                                               int32_t page) {
  return countOnPage(r, path, page, &Page::first);
}

PENDREL_API uint32_t ZaveVevode_getObjectIndexUTF8(ZaveVevode* r, const pendrel_char16* path,
                                                   int32_t page) {
  return indexOfPage(r, path, page, &Page::utf8First);
}

PENDREL_API uint32_t ZaveVevode_getObjectCountUTF8(ZaveVevode* r, const pendrel_char16* path,
                                                   int32_t page) {
  return countOnPage(r, path, page, &Page::utf8First);
}

namespace {
// The object `value` of the page (counted from the page's first object).
const Word* objectOn(ZaveVevode* r, const char16_t* path, int32_t page, intptr_t value,
                     Document** doc = nullptr) {
  Document* d = find(r, path);
  if (!d || !d->hasPage(page) || value < 0) return nullptr;
  uint32_t first = d->text.pages[static_cast<size_t>(page)].first;
  uint32_t stop = d->text.pages[static_cast<size_t>(page) + 1].first;
  if (static_cast<uintptr_t>(value) >= stop - first) return nullptr;
  if (doc) *doc = d;
  return &d->text.words[first + static_cast<size_t>(value)];
}
}  // namespace

PENDREL_API intptr_t ZaveVevode_getObjectType(ZaveVevode* r, const pendrel_char16* path,
                                              int32_t page, intptr_t value) {
  const Word* w = objectOn(r, path, page, value);
  return w ? w->type : PENDREL_OBJECT_NONE;
}

PENDREL_API const pendrel_char16* ZaveVevode_getHref(ZaveVevode* r, const pendrel_char16* path,
                                                     int32_t page, intptr_t value) {
  Document* d = nullptr;
  const Word* w = objectOn(r, path, page, value, &d);
  if (!w || w->link < 0) return nullptr;
  return hand(r, d->text.pages[static_cast<size_t>(page)].links[static_cast<size_t>(w->link)].uri);
}

PENDREL_API intptr_t ZaveVevode_getImage(ZaveVevode* r, const pendrel_char16* path, int32_t page,
                                         intptr_t value) {
  (void)r;
  (void)path;
  (void)page;
  (void)value;
  return 0;
}

PENDREL_API bool ZaveVevode_isAnchor(ZaveVevode* r, const pendrel_char16* path, int32_t page,
                                     intptr_t value) {
  const Word* w = objectOn(r, path, page, value);
  return w && w->link >= 0;
}

PENDREL_API bool ZaveVevode_getObjectInfo(ZaveVevode* r, const pendrel_char16* path, int32_t page,
                                          intptr_t a, void* record, intptr_t b) {
  (void)b;
  Document* d = nullptr;
  const Word* w = objectOn(r, path, page, a, &d);
  if (!w || !record) return false;
  auto* info = static_cast<PendrelObjectInfo*>(record);
  int32_t index = static_cast<int32_t>(d->text.pages[static_cast<size_t>(page)].first + a);
  info->x = static_cast<int32_t>(std::floor(w->box.x0));
  info->y = static_cast<int32_t>(std::floor(w->box.y0));
  info->firstIndex = index;
  info->lastIndex = index;
  info->width = static_cast<int32_t>(std::ceil(w->box.x1 - w->box.x0));
  info->height = static_cast<int32_t>(std::ceil(w->box.y1 - w->box.y0));
  info->type = w->type;
  info->utf8Start = static_cast<int32_t>(w->utf8Start);
  return true;
}

PENDREL_API void ZaveVevode_addScrap(ZaveVevode* r, const pendrel_char16* path, uint32_t start,
                                     uint32_t end, intptr_t a, intptr_t b) {
  Document* d = find(r, path);
  if (!d || start > end) return;
  for (Scrap& s : d->scraps)
    if (s.start == start && s.end == end) {
      s.colour = a;
      s.style = b;
      return;
    }
  d->scraps.push_back({start, end, a, b});
}

PENDREL_API void ZaveVevode_modifyScrap(ZaveVevode* r, const pendrel_char16* path, uint32_t start,
                                        uint32_t end, intptr_t a, intptr_t b) {
  Document* d = find(r, path);
  if (!d) return;
  for (Scrap& s : d->scraps)
    if (s.start == start && s.end == end) {
      s.colour = a;
      s.style = b;
    }
}

PENDREL_API void ZaveVevode_removeScrap(ZaveVevode* r, const pendrel_char16* path, uint32_t start,
                                        uint32_t end) {
  Document* d = find(r, path);
  if (!d) return;
  std::erase_if(d->scraps, [&](const Scrap& s) { return s.start == start && s.end == end; });
}

PENDREL_API const pendrel_char16* ZaveVevode_getScrapText(ZaveVevode* r, const pendrel_char16* path,
                                                          uint32_t start, uint32_t end) {
  Document* d = find(r, path);
  if (!d || start > end || start >= d->text.words.size()) return nullptr;
  size_t last = std::min<size_t>(end, d->text.words.size() - 1);
  std::string text;
  for (size_t i = start; i <= last; ++i) {
    if (d->text.words[i].text.empty()) continue;
    if (!text.empty()) text += ' ';
    text += d->text.words[i].text;
  }
  return hand(r, text);
}

PENDREL_API void ZaveVevode_clearScrap(ZaveVevode* r, const pendrel_char16* path) {
  Document* d = find(r, path);
  if (d) d->scraps.clear();
}

PENDREL_API void ZaveVevode_drawSelectionBox(ZaveVevode* r, const pendrel_char16* path, intptr_t a,
                                             intptr_t b, uint32_t start, uint32_t end, intptr_t c,
                                             intptr_t d) {
  (void)d;
  Document* doc = find(r, path);
  const PendrelBitmap* bitmap = validBitmap(a);
  if (!doc || !bitmap || b < INT32_MIN || b > INT32_MAX || !doc->hasPage(static_cast<int32_t>(b)))
    return;
  fz_matrix m = doc->drawn ? doc->lastDraw : transformFor(*doc, *bitmap, 0, 0, 0);
  blendRange(*doc, static_cast<int32_t>(b), *bitmap, m, start, end, colourOr(c, 0xA0C8FF));
}

PENDREL_API int32_t ZaveVevode_search(ZaveVevode* r, const pendrel_char16* path,
                                      const uint8_t* bytes, uint32_t length, intptr_t a, intptr_t b,
                                      intptr_t c) {
  (void)a;
  (void)b;
  (void)c;
  if (!r || !path || !bytes || length == 0 || r->needle.empty()) return 0;
  Document* loaded = find(r, path);
  Layout layout = loaded ? loaded->layout : r->current;
  fz_document* doc = openWithResources(r, path, bytes, length);
  if (!doc) return 0;
  Extract text;
  bool ok = extract(r->ctx, doc, layout, text, nullptr, nullptr);
  fz_drop_document(r->ctx, doc);
  if (!ok) return 0;
  std::vector<Hit> found = findHits(*r, text);
  auto count = static_cast<int32_t>(found.size());
  r->hits[path] = std::move(found);
  return count;
}

PENDREL_API void ZaveVevode_setSearchDrawItem(ZaveVevode* r, const pendrel_char16* path, intptr_t a,
                                              intptr_t b) {
  (void)b;
  if (!r || !path) return;
  r->drawHitPath = path;
  r->drawHit = a;
}

PENDREL_API intptr_t ZaveVevode_setDrawOnlyThisColor(ZaveVevode* r, intptr_t color) {
  if (!r) return 0;
  r->textColour = color;
  return 1;
}

PENDREL_API intptr_t ZaveVevode_setUseOnlyThisTextAlign(ZaveVevode* r, intptr_t align) {
  if (!r) return 0;
  r->textAlign = align;
  return 1;
}

PENDREL_API intptr_t ZaveVevode_setUseEpubEmbeddedFont(ZaveVevode* r, intptr_t use) {
  if (!r) return 0;
  r->embeddedFont = use;
  return 1;
}

PENDREL_API intptr_t ZaveVevode_setSearchContext(ZaveVevode* r, const pendrel_char16* text,
                                                 intptr_t flags) {
  if (!r) return 0;
  r->matchCase = (flags & 1) != 0;
  r->needle.clear();
  // White space in the needle collapses to the single space between words.
  for (char32_t c : toCodePoints(toUtf8(text))) {
    if (isSpace(static_cast<int>(c))) {
      if (!r->needle.empty() && r->needle.back() != U' ') r->needle.push_back(U' ');
      continue;
    }
    r->needle.push_back(r->matchCase ? c : static_cast<char32_t>(fz_tolower(static_cast<int>(c))));
  }
  while (!r->needle.empty() && r->needle.back() == U' ') r->needle.pop_back();
  return 1;
}

PENDREL_API intptr_t ZaveVevode_clearSearchDatas(ZaveVevode* r) {
  if (!r) return 0;
  r->needle.clear();
  r->hits.clear();
  r->drawHitPath.clear();
  r->drawHit = -1;
  return 1;
}

}  // extern "C"
