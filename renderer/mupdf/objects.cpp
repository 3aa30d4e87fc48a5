#include "objects.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "layout.h"
#include "paint.h"
#include "utf.h"

namespace pendrel_mupdf {
namespace {

// A word a line break at a soft hyphen left in pieces: the last object,
// its text without the '-' MuPDF drew, waiting for the next line's first
// word (on this page or the next).
struct Joining {
  const HyphenatedWords* words = nullptr;
  bool pending = false;
  size_t object = 0;
  std::string piece;
};

// A word ending a line, drawn with a '-' after letters of a hyphenated
// word: the start of one that goes on.
bool startsPiece(const Joining& j, std::string_view word) {
  return word.size() > 1 && word.back() == '-' &&
         startsHyphenatedWord(*j.words, word.substr(0, word.size() - 1));
}

// fz_union_rect(a, fz_rect_from_quad(q)) as MuPDF computes it, inline:
// it runs for every character of the book.
fz_rect uniteQuad(fz_rect a, const fz_quad& q) {
  fz_rect b;
  b.x0 = fz_min(fz_min(q.ll.x, q.lr.x), fz_min(q.ul.x, q.ur.x));
  b.y0 = fz_min(fz_min(q.ll.y, q.lr.y), fz_min(q.ul.y, q.ur.y));
  b.x1 = fz_max(fz_max(q.ll.x, q.lr.x), fz_max(q.ul.x, q.ur.x));
  b.y1 = fz_max(fz_max(q.ll.y, q.lr.y), fz_max(q.ul.y, q.ur.y));
  if (!fz_is_valid_rect(b)) return a;
  if (!fz_is_valid_rect(a)) return b;
  if (fz_is_infinite_rect(a)) return a;
  if (fz_is_infinite_rect(b)) return b;
  if (a.x0 > b.x0) a.x0 = b.x0;
  if (a.y0 > b.y0) a.y0 = b.y0;
  if (a.x1 < b.x1) a.x1 = b.x1;
  if (a.y1 < b.y1) a.y1 = b.y1;
  return a;
}

// Splits one page into objects: images and words, a word ending at white
// space or at the end of a line. In a hyphenated document the pieces of a
// word broken at a soft hyphen are one object: the text of the word as
// written, the box of its first piece.
void collect(fz_stext_page* text, fz_link* links, const std::vector<BackgroundBox>& backgrounds,
             Objects& o, Joining& j) {
  size_t firstLink = o.links.size();
  for (fz_link* l = links; l; l = l->next) o.links.push_back({l->rect, l->uri ? l->uri : ""});
  size_t firstObject = o.size();
  bool haveLine = false;
  std::string whole;
  char buf[FZ_UTFMAX];
  auto push = [&](fz_rect box, uint8_t type) {
    o.end.push_back(static_cast<uint32_t>(o.text.size()));
    o.box.push_back(box);
    o.link.push_back(-1);
    o.type.push_back(type);
  };
  // A word ends at `start` in the text: an object of its own, or the next
  // piece of the word the pending one starts.
  auto word = [&](fz_rect box, size_t start, bool lineStart, bool lineEnd) {
    std::string_view w = std::string_view(o.text).substr(start);
    if (j.pending && lineStart && j.object + 1 == o.size()) {
      std::string joined = j.piece + std::string(w);
      bool goesOn = lineEnd && startsPiece(j, joined);
      if (goesOn || j.words->count(joined)) {
        o.text.erase(start - 1, 1);
        o.end.back() = static_cast<uint32_t>(o.text.size());
        j.pending = goesOn;
        if (goesOn) j.piece = joined.substr(0, joined.size() - 1);
        return;
      }
    }
    j.pending = false;
    push(box, PENDREL_OBJECT_WORD);
    if (j.words && lineEnd && startsPiece(j, w)) {
      j.pending = true;
      j.object = o.size() - 1;
      j.piece = std::string(w.substr(0, w.size() - 1));
    }
  };
  for (fz_stext_block* block = text->first_block; block; block = block->next) {
    if (block->type == FZ_STEXT_BLOCK_IMAGE) {
      push(block->bbox, PENDREL_OBJECT_IMAGE);
      continue;
    }
    if (block->type != FZ_STEXT_BLOCK_TEXT) continue;
    for (fz_stext_line* line = block->u.t.first_line; line; line = line->next) {
      fz_rect box = fz_empty_rect;
      bool inWord = false, lineStart = true;
      size_t start = 0;
      whole.clear();
      for (fz_stext_char* ch = line->first_char; ch; ch = ch->next) {
        std::string_view utf8(buf, static_cast<size_t>(fz_runetochar(buf, ch->c)));
        if (!haveLine) whole += utf8;
        if (isSpace(ch->c)) {
          if (inWord) word(box, start, lineStart, false);
          inWord = lineStart = false;
          box = fz_empty_rect;
          continue;
        }
        if (!inWord) start = o.text.size();
        o.text += utf8;
        box = uniteQuad(box, ch->quad);
        inWord = true;
      }
      if (inWord) word(box, start, lineStart, true);
      if (!haveLine) {
        size_t b = whole.find_first_not_of(' '), e = whole.find_last_not_of(' ');
        if (b != std::string::npos) {
          o.lines.append(whole, b, e - b + 1);
          haveLine = true;
        }
      }
    }
  }
  o.lineEnd.push_back(static_cast<uint32_t>(o.lines.size()));
  // A background image comes before the content of its box: the first
  // object at or below the box's top.
  for (const BackgroundBox& image : backgrounds) {
    size_t at = firstObject;
    while (at < o.size() && o.box[at].y0 < image.top - 0.5f) ++at;
    const auto pos = static_cast<std::ptrdiff_t>(at);
    o.end.insert(o.end.begin() + pos, at > 0 ? o.end[at - 1] : 0);
    o.box.insert(o.box.begin() + pos, image.box);
    o.link.insert(o.link.begin() + pos, -1);
    o.type.insert(o.type.begin() + pos, PENDREL_OBJECT_IMAGE);
    if (j.pending && at <= j.object) ++j.object;
  }
  // Links are matched to objects by the centre of the object's box.
  for (size_t i = firstObject; i < o.size(); ++i) {
    fz_point centre = {(o.box[i].x0 + o.box[i].x1) / 2, (o.box[i].y0 + o.box[i].y1) / 2};
    for (size_t k = firstLink; k < o.links.size(); ++k)
      if (fz_is_point_inside_rect(centre, o.links[k].rect)) {
        o.link[i] = static_cast<int32_t>(k);
        break;
      }
  }
}

// The document index of object `object` of the page, or nullopt; the
// objects are read only for a page and an index that may hold one.
std::optional<size_t> objectOn(ZaveVevode& r, Document& d, int32_t page, intptr_t object,
                               const Objects** objects) {
  if (!d.hasPage(page) || object < 0) return std::nullopt;
  const Objects& o = objectsOf(r, d);
  uint32_t first = o.pageFirst[static_cast<size_t>(page)];
  uint32_t stop = o.pageFirst[static_cast<size_t>(page) + 1];
  if (static_cast<uintptr_t>(object) >= stop - first) return std::nullopt;
  *objects = &o;
  return first + static_cast<size_t>(object);
}

}  // namespace

bool extract(fz_context* ctx, fz_html* html, int32_t pages, const Layout& layout, Objects& out,
             const HyphenatedWords* hyphenated, const std::vector<Paint>* paints) {
  out = Objects{};
  Joining joining;
  if (hyphenated && !hyphenated->empty()) joining.words = hyphenated;
  fz_rect bounds = {0, 0, layout.width, layout.height};
  for (int32_t page = 0; page < pages; ++page) {
    out.pageFirst.push_back(static_cast<uint32_t>(out.size()));
    fz_stext_page* text = nullptr;
    fz_device* device = nullptr;
    fz_link* links = nullptr;
    fz_var(text);
    fz_var(device);
    fz_var(links);
    fz_stext_options options{};
    options.flags = FZ_STEXT_PRESERVE_IMAGES;
    volatile bool ok = true, memory = false;
    fz_try(ctx) {
      text = fz_new_stext_page(ctx, bounds);
      device = fz_new_stext_device(ctx, text, &options);
      fz_draw_html(ctx, device, fz_identity, html, page);
      fz_close_device(ctx, device);
      links = fz_load_html_links(ctx, html, page, "");
    }
    fz_catch(ctx) {
      ok = false;
      memory = fz_caught(ctx) == FZ_ERROR_MEMORY;
    }
    const auto drop = [&] {
      fz_drop_link(ctx, links);
      fz_drop_device(ctx, device);
      fz_drop_stext_page(ctx, text);
    };
    try {
      if (ok) {
        std::vector<BackgroundBox> backgrounds;
        if (paints) backgrounds = backgroundImageBoxes(html, page, *paints);
        collect(text, links, backgrounds, out, joining);
      }
    } catch (...) {
      drop();
      throw;
    }
    drop();
    if (memory) throw std::bad_alloc();
    if (!ok) return false;
  }
  out.pageFirst.push_back(static_cast<uint32_t>(out.size()));
  out.complete = true;
  // Kept for as long as the document is loaded: no spare capacity.
  out.text.shrink_to_fit();
  out.end.shrink_to_fit();
  out.box.shrink_to_fit();
  out.link.shrink_to_fit();
  out.type.shrink_to_fit();
  out.links.shrink_to_fit();
  out.lines.shrink_to_fit();
  return true;
}

const Objects& objectsOf(ZaveVevode& r, Document& d) {
  if (d.objects) return *d.objects;
  auto objects = std::make_unique<Objects>();
  const Laid* laid = laidOf(r, d);
  r.allocationFailed = false;
  const bool extracted = laid && extract(r.ctx, laid->html, d.pages, d.layout, *objects,
                                         &laid->hyphenated, &laid->paints);
  // Out of memory keeps nothing, so that the next call extracts again.
  if (r.allocationFailed) throw std::bad_alloc();
  if (!extracted) {
    *objects = Objects{};
    objects->pageFirst.assign(static_cast<size_t>(d.pages) + 1, 0);
    objects->lineEnd.assign(static_cast<size_t>(d.pages), 0);
  }
  d.objects = std::move(objects);
  return *d.objects;
}

const char16_t* firstLine(ZaveVevode& r, Document& d, int32_t page) {
  if (!d.hasPage(page)) return nullptr;
  return hand(r, objectsOf(r, d).line(static_cast<size_t>(page)));
}

uint32_t indexOfPage(ZaveVevode& r, Document& d, int32_t page, bool utf8) {
  if (page < 0 || page > d.pages) return 0;
  const Objects& o = objectsOf(r, d);
  uint32_t first = o.pageFirst[static_cast<size_t>(page)];
  return utf8 ? o.utf8(first) : first;
}

uint32_t countOnPage(ZaveVevode& r, Document& d, int32_t page, bool utf8) {
  if (!d.hasPage(page)) return 0;
  const Objects& o = objectsOf(r, d);
  const auto at = static_cast<size_t>(page);
  uint32_t first = o.pageFirst[at], stop = o.pageFirst[at + 1];
  return utf8 ? o.utf8(stop) - o.utf8(first) : stop - first;
}

intptr_t objectType(ZaveVevode& r, Document& d, int32_t page, intptr_t object) {
  const Objects* o = nullptr;
  std::optional<size_t> i = objectOn(r, d, page, object, &o);
  return i ? static_cast<intptr_t>(o->type[*i]) : static_cast<intptr_t>(PENDREL_OBJECT_NONE);
}

const char16_t* objectHref(ZaveVevode& r, Document& d, int32_t page, intptr_t object) {
  const Objects* o = nullptr;
  std::optional<size_t> i = objectOn(r, d, page, object, &o);
  if (!i || o->link[*i] < 0) return nullptr;
  return hand(r, o->links[static_cast<size_t>(o->link[*i])].uri);
}

bool isAnchor(ZaveVevode& r, Document& d, int32_t page, intptr_t object) {
  const Objects* o = nullptr;
  std::optional<size_t> i = objectOn(r, d, page, object, &o);
  return i && o->link[*i] >= 0;
}

bool objectInfo(ZaveVevode& r, Document& d, int32_t page, intptr_t object, void* record) {
  const Objects* o = nullptr;
  std::optional<size_t> i = objectOn(r, d, page, object, &o);
  if (!i || !record) return false;
  auto* info = static_cast<PendrelObjectInfo*>(record);
  const fz_rect& box = o->box[*i];
  info->x = static_cast<int32_t>(std::floor(box.x0));
  info->y = static_cast<int32_t>(std::floor(box.y0));
  info->firstIndex = static_cast<int32_t>(*i);
  info->lastIndex = static_cast<int32_t>(*i);
  info->width = static_cast<int32_t>(std::ceil(box.x1 - box.x0));
  info->height = static_cast<int32_t>(std::ceil(box.y1 - box.y0));
  info->type = o->type[*i];
  info->utf8Start = static_cast<int32_t>(o->utf8(*i));
  return true;
}

int32_t linkPage(ZaveVevode& r, Document& d, const char16_t* href) {
  if (!href) return -1;
  std::string target = epub::utf::toUtf8(href);
  size_t hash = target.find('#');
  if (hash == std::string::npos || hash + 1 >= target.size()) return d.pages > 0 ? 0 : -1;
  target.erase(0, hash + 1);
  fz_html* html = htmlOf(r, d);
  if (!html) return -1;
  volatile float y = -1;
  fz_try(r.ctx) { y = fz_find_html_target(r.ctx, html, target.c_str()); }
  fz_catch(r.ctx) { y = -1; }
  if (y < 0 || html->page_h <= 0) return -1;
  auto page = static_cast<int32_t>(y / html->page_h);
  return page >= 0 && page < d.pages ? page : -1;
}

void addScrap(Document& d, uint32_t start, uint32_t end, intptr_t colour, intptr_t style) {
  if (start > end) return;
  for (Scrap& s : d.scraps)
    if (s.start == start && s.end == end) {
      s.colour = colour;
      s.style = style;
      return;
    }
  d.scraps.push_back({start, end, colour, style});
}

void modifyScrap(Document& d, uint32_t start, uint32_t end, intptr_t colour, intptr_t style) {
  for (Scrap& s : d.scraps)
    if (s.start == start && s.end == end) {
      s.colour = colour;
      s.style = style;
    }
}

void removeScrap(Document& d, uint32_t start, uint32_t end) {
  std::erase_if(d.scraps, [&](const Scrap& s) { return s.start == start && s.end == end; });
}

void clearScraps(Document& d) { d.scraps.clear(); }

const char16_t* scrapText(ZaveVevode& r, Document& d, uint32_t start, uint32_t end) {
  if (start > end) return nullptr;
  const Objects& o = objectsOf(r, d);
  if (start >= o.size()) return nullptr;
  size_t last = std::min<size_t>(end, o.size() - 1);
  std::string text;
  for (size_t i = start; i <= last; ++i) {
    if (o.word(i).empty()) continue;
    if (!text.empty()) text += ' ';
    text += o.word(i);
  }
  return hand(r, text);
}

}  // namespace pendrel_mupdf
