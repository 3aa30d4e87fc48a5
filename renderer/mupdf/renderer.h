// The MuPDF renderer's state. A handle holds one MuPDF context and a few
// named parts: the host's callbacks and settings, the loaded documents, the
// layout cache, the font choices, the search state and the resource caches.
// Each part is changed by the module that owns it: archive (resources),
// fonts, layout (documents and the cache), objects, paint, search.
//
// Every MuPDF call runs inside fz_try; no C++ object is constructed inside
// a try block, so an exception unwinding by longjmp never skips a
// destructor, and no C++ exception crosses a MuPDF frame. Failures answer
// with the function's failure value.
#pragma once

#include <EpubReader/pendrel_mupdf.h>

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "bands.h"
#include "mupdf_html.h"
#include "pendrel.h"
#include "prepare.h"

namespace pendrel_mupdf {

// The page a document is laid out on when the host's settings give none:
// MuPDF's own default page and font size.
constexpr float kDefaultWidth = 400;
constexpr float kDefaultHeight = 600;
constexpr float kDefaultEm = 12;
// Page sides and font sizes the host may ask for, in points: a page side is
// 16 bits in PENDREL_PAGE_SIZE; larger fonts make one word a page.
constexpr intptr_t kMaxPageSide = 0xFFFF;
constexpr intptr_t kMaxEm = 400;
// Colours the host gives are 0xRRGGBB; a larger value is no colour.
constexpr intptr_t kMaxColour = 0xFFFFFF;

// Page geometry in points, and the em size.
struct Layout {
  float width = kDefaultWidth;
  float height = kDefaultHeight;
  float em = kDefaultEm;
};

struct Link {
  fz_rect rect{};
  std::string uri;
};

// A document's objects in reading order, kept flat: object i's UTF-8 text is
// text[end[i-1], end[i]) (empty for an image), its UTF-8 position
// end[i-1] + i (each object counts one separator).
struct Objects {
  std::string text;
  std::vector<uint32_t> end;
  std::vector<fz_rect> box;
  std::vector<int32_t> link;  // index into links, -1 for none
  std::vector<uint8_t> type;
  std::vector<Link> links;
  std::vector<uint32_t> pageFirst;  // first object of each page, plus the total
  std::string lines;                // each page's first line, back to back
  std::vector<uint32_t> lineEnd;
  bool complete = false;  // false when MuPDF failed to give every page's objects

  size_t size() const { return end.size(); }
  uint32_t start(size_t i) const { return i ? end[i - 1] : 0; }
  std::string_view word(size_t i) const {
    return std::string_view(text).substr(start(i), end[i] - start(i));
  }
  uint32_t utf8(size_t i) const {
    return (i < size() ? start(i) : static_cast<uint32_t>(text.size())) + static_cast<uint32_t>(i);
  }
  std::string_view line(size_t page) const {
    uint32_t b = page ? lineEnd[page - 1] : 0;
    return std::string_view(lines).substr(b, lineEnd[page] - b);
  }
};

// An HTML font set shared by the documents laid out with the same font
// choices, so fonts and their glyph caches are made once.
struct FontSet {
  fz_context* ctx = nullptr;
  fz_html_font_set* set = nullptr;
  bool embedded = true;
  FontSet() = default;
  FontSet(const FontSet&) = delete;
  FontSet& operator=(const FontSet&) = delete;
  ~FontSet() { fz_drop_html_font_set(ctx, set); }
};

struct Scrap {
  uint32_t start, end;
  intptr_t colour, style;
};

struct Document {
  std::u16string path;
  std::string base;   // the document's folder as MuPDF joins hrefs to it
  std::string bytes;  // the XHTML as the host gave it
  std::string css;    // the user style sheet it was loaded with
  std::shared_ptr<FontSet> fonts;
  Layout layout;
  int32_t pages = 0;
  std::unique_ptr<Objects> objects;
  std::unordered_set<std::string> reported;  // resources (and budgets) already reported
  // Encodings the document's <link charset> attributes declare, by path.
  std::vector<std::pair<std::string, std::string>> charsets;
  // Whether its markup is prepared before MuPDF parses it (see prepare.h).
  bool prepare = false;
  std::vector<Scrap> scraps;
  fz_matrix lastDraw = fz_identity;
  bool drawn = false;
  // Where its tables' cells went in its last layout with tables (see
  // tables.h), kept so that laying it out again alike needs no measuring;
  // `key` tells the markup, sheet, fonts and layout it holds for.
  struct TablesMemo {
    size_t key = 0;
    TablePlan plan;
  };
  mutable std::unique_ptr<TablesMemo> tables;

  bool hasPage(int32_t page) const { return page >= 0 && page < pages; }
};

// A background MuPDF leaves out, drawn under the page's content: a block
// box's colour and image, or the page's colour (the root box's).
struct Paint {
  fz_html_box* box;
  fz_css_color colour;  // alpha 0: none
  fz_image* image;      // null: none
  unsigned repeat;
  BackgroundSize size;
  Offset x, y;
};

// A layout and the backgrounds drawn under it, owned: dropped with the
// object, so that out of memory between laying out and keeping (a C++
// exception) gives MuPDF's boxes and images back.
struct Laid {
  fz_context* ctx = nullptr;
  fz_html* html = nullptr;
  std::vector<Paint> paints;
  // The words given soft hyphens before the layout (see hyphenate.h).
  HyphenatedWords hyphenated;
  // The last page drawn in parts (see bands.h).
  mutable PageList parts;

  Laid() = default;
  explicit Laid(fz_context* context) : ctx(context) {}
  Laid(Laid&& other) noexcept
      : ctx(other.ctx),
        html(std::exchange(other.html, nullptr)),
        paints(std::move(other.paints)),
        hyphenated(std::move(other.hyphenated)),
        parts(std::exchange(other.parts, {})) {
    other.paints.clear();
    other.hyphenated.clear();
  }
  Laid& operator=(Laid&& other) noexcept {
    if (this != &other) {
      reset();
      ctx = other.ctx;
      html = std::exchange(other.html, nullptr);
      paints = std::move(other.paints);
      hyphenated = std::move(other.hyphenated);
      parts = std::exchange(other.parts, {});
      other.paints.clear();
      other.hyphenated.clear();
    }
    return *this;
  }
  Laid(const Laid&) = delete;
  Laid& operator=(const Laid&) = delete;
  ~Laid() { reset(); }
  // Drops the boxes and the paints' images.
  void reset() noexcept;
};

struct Hit {
  uint32_t first, last;  // object indexes
};

// The host's side: its trampolines and the settings it gave at creation.
struct HostCallbacks {
  ZaveVevodeReadTrampoline read = nullptr;
  ZaveVevodeCallback2Trampoline report = nullptr;  // renderer callback 2
  void* context = nullptr;
  ZaveVevodeSettings settings{};
  // The host's user style sheet (setting 9, UTF-8), copied.
  std::string userSheet;
};

// Overrides applied to documents loaded later: text colour 0xRRGGBB
// (negative: the document's own), alignment code, embedded fonts on/off.
struct Overrides {
  intptr_t textColour = -1, textAlign = 0, embeddedFont = 1;
};

// The font choices: the host's default face (a font file's bytes, or null)
// and the font set made from them, shared until they change.
struct Fonts {
  fz_buffer* hostFont = nullptr;
  std::shared_ptr<FontSet> current;
};

// The loaded documents and the laid-out form of those used last.
struct LayoutCache {
  struct Entry {
    const Document* doc;
    Laid laid;
  };
  Layout current;
  Layout pending;  // for the next document loaded, when hasPending
  bool hasPending = false;
  std::unordered_map<std::u16string, std::unique_ptr<Document>> documents;
  std::list<Entry> entries;  // most recently used first
};

// The needle as code points (folded unless matching case), the hits per
// document and the hit to mark.
struct SearchState {
  std::u32string needle;
  bool matchCase = false;
  std::unordered_map<std::u16string, std::vector<Hit>> hits;
  std::u16string drawHitPath;
  intptr_t drawHit = -1;
};

// What the renderer learnt about the publication's files, across documents.
struct ResourceCache {
  // Images already checked by a full decode: their pixels, 0 when they do
  // not decode.
  std::unordered_map<std::string, uint64_t> imageChecked;
  // Style sheets (by path) known to set background images or not.
  std::unordered_map<std::string, bool> sheetBackgrounds;
  // Raster background images by path, shared by the documents' layouts, so
  // MuPDF's store keeps one decoded copy of each.
  std::unordered_map<std::string, fz_image*> backgroundImages;
};

}  // namespace pendrel_mupdf

struct ZaveVevode {
  // MuPDF's allocator for this handle's context: the C library's, noting
  // when memory runs out. FreeType, which MuPDF hands the allocator, drops
  // a module it had no memory for without a word (see currentFonts).
  fz_alloc_context allocator{};
  bool allocationFailed = false;
  fz_context* ctx = nullptr;
  pendrel_mupdf::HostCallbacks host;
  pendrel_mupdf::Overrides overrides;
  pendrel_mupdf::Fonts fonts;
  pendrel_mupdf::LayoutCache layouts;
  pendrel_mupdf::SearchState search;
  pendrel_mupdf::ResourceCache resources;
  // Texts handed to the host stay alive until the next call that returns text.
  std::u16string returned;
};

namespace pendrel_mupdf {

// UTF-8 (as produced by MuPDF or resolved from hrefs) as code points.
std::u32string toCodePoints(std::string_view s);
void appendUtf16(std::u16string& out, std::string_view utf8);
// White space between words: controls, spaces, no-break and ideographic
// spaces, the typographic spaces up to the zero-width one.
bool isSpace(int c);

// The loaded document at `path`, or null.
Document* findDocument(ZaveVevode& r, const char16_t* path);
// A text handed to the host, alive until the next text handed out.
const char16_t* hand(ZaveVevode& r, std::string_view utf8);

// The host's overrides for documents loaded later.
intptr_t setTextColour(ZaveVevode& r, intptr_t colour);
intptr_t setTextAlign(ZaveVevode& r, intptr_t align);

}  // namespace pendrel_mupdf
