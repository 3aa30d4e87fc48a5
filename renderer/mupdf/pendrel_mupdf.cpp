// The MuPDF renderer: lays XHTML content documents out with MuPDF's HTML
// engine, numbers the words of each document as its objects, and draws
// pages into host bitmaps with scraps and the current search hit blended in.
//
// A loaded document keeps its bytes, its layout and its page count. Its
// MuPDF layout lives in a small cache of recently used documents and is made
// again when a query needs it; its objects are read from the layout the first
// time a query asks for them. Resources reach MuPDF through an archive backed
// by the host's read trampoline. Documents using what MuPDF 1.21 lacks
// (object images, @import in <style>, background images) have their markup
// prepared first (prepare.h); the background images are drawn here.
//
// Every MuPDF call runs inside fz_try; no C++ object is constructed inside
// a try block, so an exception unwinding by longjmp never skips a
// destructor. Failures answer with the function's failure value.
#include "pendrel_mupdf.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "mupdf_html.h"
#include "pdf_output.h"
#include "pendrel.h"
#include "prepare.h"
#include "resources.h"
#include "utf.h"

namespace {

constexpr float kDefaultWidth = 400;
constexpr float kDefaultHeight = 600;
constexpr float kDefaultEm = 12;
constexpr int32_t kMaxBitmapSide = 16384;
// Laid-out documents kept at once: the one being read and its neighbours.
constexpr size_t kCachedLayouts = 3;

// Why a resource was reported through renderer callback 2.
enum : intptr_t { kResourceMissing = 1, kResourceUnreadable = 2 };

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
  std::vector<std::string> reported;  // resources already reported
  // Encodings the document's <link charset> attributes declare, by path.
  std::vector<std::pair<std::string, std::string>> charsets;
  // Whether its markup is prepared before MuPDF parses it (see prepare.h).
  bool prepare = false;
  std::vector<Scrap> scraps;
  fz_matrix lastDraw = fz_identity;
  bool drawn = false;

  bool hasPage(int32_t page) const { return page >= 0 && page < pages; }
};

// A background MuPDF leaves out, drawn under the page's content: a block
// box's colour and image, or the page's colour (the root box's).
struct Paint {
  fz_html_box* box;
  fz_css_color colour;  // alpha 0: none
  fz_image* image;      // null: none
  unsigned repeat;
  pendrel_mupdf::BackgroundSize size;
  pendrel_mupdf::Offset x, y;
};

// A layout and the backgrounds drawn under it.
struct Laid {
  fz_html* html = nullptr;
  std::vector<Paint> paints;
};

struct Cached {
  const Document* doc;
  Laid laid;
};

struct Hit {
  uint32_t first, last;  // object indexes
};

}  // namespace

struct ZaveVevode {
  fz_context* ctx = nullptr;
  ZaveVevodeOptions options{};
  Layout current;
  Layout pending;
  bool hasPending = false;
  std::unordered_map<std::u16string, std::unique_ptr<Document>> documents;
  std::list<Cached> cache;  // most recently used first
  // Texts handed to the host stay alive until the next call that returns text.
  std::u16string returned;
  // Search state: the needle as code points (folded unless matching case),
  // the hits per document and the hit to mark.
  std::u32string needle;
  bool matchCase = false;
  std::unordered_map<std::u16string, std::vector<Hit>> hits;
  std::u16string drawHitPath;
  intptr_t drawHit = -1;
  // Overrides applied to documents loaded later: text colour 0xRRGGBB
  // (negative: the document's own), alignment code, embedded fonts on/off.
  intptr_t textColour = -1, textAlign = 0, embeddedFont = 1;
  intptr_t font[3] = {0, 0, 0};
  // The host's default face (a font file's bytes), or null.
  fz_buffer* hostFont = nullptr;
  std::shared_ptr<FontSet> fonts;
  // Images already checked by a full decode: true when they decode.
  std::unordered_map<std::string, bool> imageChecked;
  // While MuPDF parses a document: the document whose resources are
  // reported (null: report nothing) and the last resource served, which
  // MuPDF's next warning may declare unusable.
  Document* parsing = nullptr;
  std::string lastServed;
  // While MuPDF parses a document: the folder it joins references to, and
  // the SVG files served so far, whose own references MuPDF joins to that
  // folder too.
  std::string parsingBase;
  std::vector<std::string> svgServed;
  // Style sheets (by path) known to set background images or not.
  std::unordered_map<std::string, bool> sheetBackgrounds;
  // Raster background images by path, shared by the documents' layouts, so
  // MuPDF's store keeps one decoded copy of each.
  std::unordered_map<std::string, fz_image*> backgroundImages;
  // The host's user style sheet (setting 9), copied.
  std::string userSheet;
};

namespace {

void quiet(void*, const char*) {}

using epub::utf::toUtf8;
using pendrel_mupdf::endsWithNoCase;

// Decodes UTF-8 (as produced by MuPDF or resolved from hrefs) to code points.
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
  for (char32_t c : toCodePoints(s)) epub::utf::appendUtf16(out, c);
}

bool isSpace(int c) {
  return c <= 0x20 || c == 0xA0 || c == 0x3000 || (c >= 0x2000 && c <= 0x200B);
}

bool isFontFile(std::string_view path) {
  for (std::string_view ext : {".ttf", ".otf", ".ttc", ".woff", ".woff2", ".cff", ".pfb", ".pfa"})
    if (endsWithNoCase(path, ext)) return true;
  return false;
}

// ---- Resources ----

// Fetches a file of the publication through the host's read trampoline.
std::optional<std::string_view> readHost(ZaveVevode* r, const std::string& path) {
  if (!r->options.read || path.empty()) return std::nullopt;
  std::u16string wide;
  appendUtf16(wide, path);
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  if (!r->options.read(r->options.context, wide.c_str(), &data, &size) || !data)
    return std::nullopt;
  return std::string_view(reinterpret_cast<const char*>(data), size);
}

// Tells the host, once per document and resource, that a resource is
// missing or unusable: renderer callback 2 with the document's path, the
// resource's full path (both UTF-16) and the reason.
void report(ZaveVevode* r, const std::string& resource, intptr_t reason) {
  Document* d = r->parsing;
  if (!d || std::find(d->reported.begin(), d->reported.end(), resource) != d->reported.end())
    return;
  d->reported.push_back(resource);
  if (!r->options.callback2) return;
  std::u16string wide;
  appendUtf16(wide, resource);
  r->options.callback2(r->options.context, reinterpret_cast<intptr_t>(d->path.c_str()),
                       reinterpret_cast<intptr_t>(wide.c_str()), reason);
}

// 64 megapixels (8192 x 8192): larger pictures are reported as unusable.
constexpr int64_t kMaxImagePixels = int64_t(1) << 26;

// Whether an image file decodes completely. MuPDF decodes images only when
// drawing them, and a failure there would end the page's drawing; a broken
// image is refused here instead, so MuPDF stands its alternative in.
bool imageDecodes(ZaveVevode* r, const std::string& path, std::string_view data) {
  auto known = r->imageChecked.find(path);
  if (known != r->imageChecked.end()) return known->second;
  fz_context* ctx = r->ctx;
  unsigned char magic[8] = {};
  std::memcpy(magic, data.data(), std::min<size_t>(8, data.size()));
  volatile bool ok = true;
  fz_buffer* buf = nullptr;
  fz_image* image = nullptr;
  fz_pixmap* pixmap = nullptr;
  fz_var(buf);
  fz_var(image);
  fz_var(pixmap);
  fz_try(ctx) {
    const int format = fz_recognize_image_format(ctx, magic);
    if (format != FZ_IMAGE_UNKNOWN) {
      buf = fz_new_buffer_from_copied_data(ctx, reinterpret_cast<const unsigned char*>(data.data()),
                                           data.size());
      image = fz_new_image_from_buffer(ctx, buf);
      // A picture whose header claims more pixels than any page can show
      // would cost gigabytes to decode (here and again when drawn): it is
      // unusable, like a corrupt one. A GIF's frames are decoded each at
      // its own size, whatever the picture's: their pixels count too.
      if (static_cast<int64_t>(image->w) * image->h > kMaxImagePixels)
        fz_throw(ctx, FZ_ERROR_GENERIC, "image too large");
      if (format == FZ_IMAGE_GIF &&
          pendrel_mupdf::gifDecodedPixels(data, kMaxImagePixels) > uint64_t(kMaxImagePixels))
        fz_throw(ctx, FZ_ERROR_GENERIC, "GIF frames too large");
      // Decoded for a small target: formats that can (JPEG) decode at a
      // fraction of their size, so a large picture costs no large bitmap.
      fz_matrix small = fz_scale(128, 128);
      int w = 0, h = 0;
      pixmap = fz_get_pixmap_from_image(ctx, image, nullptr, &small, &w, &h);
    }
  }
  fz_always(ctx) {
    fz_drop_pixmap(ctx, pixmap);
    fz_drop_image(ctx, image);
    fz_drop_buffer(ctx, buf);
  }
  fz_catch(ctx) { ok = false; }
  r->imageChecked.emplace(path, ok);
  return ok;
}

// A style sheet as UTF-8 with its imports in place (missing imports
// reported), or nullopt when the host lacks it.
std::optional<std::string> sheetText(ZaveVevode* r, const std::string& path,
                                     std::optional<std::string_view> data = std::nullopt) {
  if (!data) data = readHost(r, path);
  if (!data) return std::nullopt;
  auto read = [r](const std::string& imported) -> std::optional<std::string> {
    std::optional<std::string_view> bytes = readHost(r, imported);
    if (!bytes) {
      report(r, imported, kResourceMissing);
      return std::nullopt;
    }
    return pendrel_mupdf::cssToUtf8(*bytes);
  };
  std::string_view declared;
  if (r->parsing)
    for (const auto& [sheetPath, charset] : r->parsing->charsets)
      if (sheetPath == path) declared = charset;
  return pendrel_mupdf::expandImports(pendrel_mupdf::cssToUtf8(*data, declared), path, read);
}

// MuPDF joins the references inside an SVG file to the document's folder:
// a name the host lacks is looked for beside the SVG files served for the
// document, the latest first.
std::optional<std::string> besideSvg(ZaveVevode* r, std::string_view name) {
  std::string prefix = r->parsingBase + "/";
  if (r->svgServed.empty() || name.substr(0, prefix.size()) != prefix) return std::nullopt;
  std::string_view href = name.substr(prefix.size());
  for (auto svg = r->svgServed.rbegin(); svg != r->svgServed.rend(); ++svg) {
    std::string path = pendrel_mupdf::resolveHref(*svg, href);
    if (!path.empty() && readHost(r, path)) return path;
  }
  return std::nullopt;
}

// The bytes MuPDF gets for an archive entry, or null (reported when the
// host lacks the file or it is unusable). Style sheets come as UTF-8 with
// their imports in place.
fz_buffer* serve(ZaveVevode* r, const char* name) {
  std::string path = pendrel_mupdf::resolveHref("", name);
  r->lastServed.clear();
  if (path.empty()) return nullptr;
  bool embeddedFonts = !r->parsing || !r->parsing->fonts || r->parsing->fonts->embedded;
  if (isFontFile(path) && !embeddedFonts) return nullptr;
  std::optional<std::string_view> data = readHost(r, path);
  if (!data) {
    if (std::optional<std::string> beside = besideSvg(r, name)) {
      path = std::move(*beside);
      data = readHost(r, path);
    }
  }
  if (!data) {
    report(r, path, kResourceMissing);
    return nullptr;
  }
  std::optional<std::string> sheet;
  if (endsWithNoCase(path, ".css")) {
    sheet = sheetText(r, path, data);
    r->sheetBackgrounds[path] = pendrel_mupdf::setsBackgroundImage(*sheet);
    data = *sheet;
  } else if (endsWithNoCase(path, ".svg")) {
    r->svgServed.push_back(path);
  } else if (!isFontFile(path) && !imageDecodes(r, path, *data)) {
    report(r, path, kResourceUnreadable);
    return nullptr;
  }
  fz_buffer* buf = nullptr;
  fz_var(buf);
  fz_try(r->ctx) {
    buf = fz_new_buffer_from_copied_data(
        r->ctx, reinterpret_cast<const unsigned char*>(data->data()), data->size());
  }
  fz_catch(r->ctx) { buf = nullptr; }
  if (buf) r->lastServed = path;
  return buf;
}

// An fz_archive over the publication: every entry is fetched through the
// host's read trampoline. It claims to hold every name, so MuPDF never turns
// to the file system; a name the host lacks fails when read.
struct HostArchive {
  fz_archive super;
  ZaveVevode* renderer;
};

int archiveHas(fz_context*, fz_archive*, const char*) { return 1; }

fz_buffer* archiveRead(fz_context* ctx, fz_archive* arch, const char* name) {
  ZaveVevode* r = reinterpret_cast<HostArchive*>(arch)->renderer;
  // A distinct warning before each entry, so MuPDF's warning about this
  // entry is never folded into an identical earlier one.
  fz_warn(ctx, "pendrel: reading %s", name);
  fz_buffer* buf = serve(r, name);
  if (!buf) fz_throw(ctx, FZ_ERROR_GENERIC, "cannot read %s", name);
  return buf;
}

fz_stream* archiveOpen(fz_context* ctx, fz_archive* arch, const char* name) {
  fz_buffer* buf = archiveRead(ctx, arch, name);
  fz_stream* stream = nullptr;
  fz_try(ctx) { stream = fz_open_buffer(ctx, buf); }
  fz_always(ctx) { fz_drop_buffer(ctx, buf); }
  fz_catch(ctx) { fz_rethrow(ctx); }
  return stream;
}

// Whether MuPDF's warning names the resource just served: the reference it
// quotes (after the failure text, maybe in quotes) resolves to a path with
// the same file name. A data: URI or another scheme names no file.
bool namesServed(std::string_view message, const std::string& served) {
  size_t quote = message.find('\'');
  std::string_view ref = message;
  if (quote != std::string_view::npos) {
    ref = message.substr(quote + 1);
    ref = ref.substr(0, ref.find('\''));
  } else {
    size_t space = message.rfind(' ');
    ref = space == std::string_view::npos ? message : message.substr(space + 1);
  }
  // Resolved below a deep enough folder that "../" never leaves it: only
  // the file name counts.
  std::string path = pendrel_mupdf::resolveHref("0/1/2/3/4/5/6/7/8/9/a/b/c/d/e/f/x", ref);
  if (path.empty()) return false;
  std::string_view name = std::string_view(path).substr(path.rfind('/') + 1);
  return served.size() >= name.size() &&
         served.compare(served.size() - name.size(), name.size(), name) == 0;
}

// MuPDF's warnings while it parses: one saying the resource just served
// could not be used reports that resource.
void onWarning(void* user, const char* message) {
  auto* r = static_cast<ZaveVevode*>(user);
  if (!r->parsing || r->lastServed.empty()) return;
  static const char* const failures[] = {"html: cannot load image", "cannot load font-face",
                                         "ignoring stylesheet", "svg: ignoring external image"};
  for (const char* failure : failures)
    if (std::strncmp(message, failure, std::strlen(failure)) == 0 &&
        namesServed(message + std::strlen(failure), r->lastServed)) {
      std::string resource = std::move(r->lastServed);
      r->lastServed.clear();
      report(r, resource, kResourceUnreadable);
      return;
    }
}

// ---- Fonts ----

// Makes the host's font the default (serif) face of a font set, in four
// styles faked from the one file.
bool addHostStyle(fz_context* ctx, fz_html_font_set* set, fz_buffer* data, int bold, int italic) {
  fz_font* font = nullptr;
  fz_var(font);
  fz_try(ctx) {
    font = fz_new_font_from_buffer(ctx, nullptr, data, 0, 0);
    fz_font_flags(font)->fake_bold = bold;
    fz_font_flags(font)->fake_italic = italic;
    for (int smallCaps = 0; smallCaps < 2; ++smallCaps)
      fz_add_html_font_face(ctx, set, "serif", bold, italic, smallCaps, "<host>", font);
  }
  fz_always(ctx) { fz_drop_font(ctx, font); }
  fz_catch(ctx) { return false; }
  return true;
}

void addHostFace(fz_context* ctx, fz_html_font_set* set, fz_buffer* data) {
  for (int style = 0; style < 4; ++style)
    if (!addHostStyle(ctx, set, data, style & 1, (style & 2) >> 1)) return;
}

// Registers MuPDF's own faces for a generic family under that name. MuPDF
// looks a family up among registered faces first and, failing an exact
// match, searches its whole table of built-in fonts by name (which never
// holds the generic names) for every element it styles; the faces found
// are the same, found at once.
void addGenericFaces(fz_context* ctx, fz_html_font_set* set, const char* family) {
  // All four styles are looked up before any is registered: a registered
  // face would otherwise stand in for the styles looked up after it.
  fz_font* fonts[4] = {};
  fz_try(ctx) {
    for (int style = 0; style < 4; ++style)
      fonts[style] = fz_load_html_font(ctx, set, family, style & 1, (style & 2) >> 1, 0);
    for (int style = 0; style < 4; ++style)
      for (int smallCaps = 0; fonts[style] && smallCaps < 2; ++smallCaps)
        fz_add_html_font_face(ctx, set, family, style & 1, (style & 2) >> 1, smallCaps, "<builtin>",
                              fonts[style]);
  }
  fz_catch(ctx) {}
}

// The font set for documents loaded now, made on first use after the font
// choices changed.
std::shared_ptr<FontSet> currentFonts(ZaveVevode* r) {
  if (r->fonts) return r->fonts;
  auto fonts = std::make_shared<FontSet>();
  fonts->ctx = r->ctx;
  fonts->embedded = r->embeddedFont != 0;
  fz_try(r->ctx) { fonts->set = fz_new_html_font_set(r->ctx); }
  fz_catch(r->ctx) { return nullptr; }
  if (r->hostFont) addHostFace(r->ctx, fonts->set, r->hostFont);
  for (const char* family : {"serif", "sans-serif", "monospace"})
    if (!r->hostFont || std::strcmp(family, "serif") != 0)
      addGenericFaces(r->ctx, fonts->set, family);
  r->fonts = fonts;
  return fonts;
}

// The user style sheet carrying the host's overrides and the renderer
// settings: colour and alignment win over the document's style sheets; the
// settings' margins, justification and line height are defaults the
// document's own rules may change.
std::string userCss(const ZaveVevode& r) {
  std::string css;
  const ZaveVevodeSettings& s = r.options.settings;
  char buf[160];
  auto points = [](intptr_t v) { return v > 0 && v <= 1000 ? static_cast<int>(v) : 0; };
  int sides = points(s.setting4), ends = points(s.setting6);
  if (sides) {
    std::snprintf(buf, sizeof buf, "@page { margin-left: %dpt; margin-right: %dpt; }\n", sides,
                  sides);
    css += buf;
  }
  if (ends) {
    std::snprintf(buf, sizeof buf, "@page { margin-top: %dpt; margin-bottom: %dpt; }\n", ends,
                  ends);
    css += buf;
  }
  if (s.setting5 == 1) css += "body { text-align: justify; }\n";
  if (s.setting8 >= 50 && s.setting8 <= 400) {
    std::snprintf(buf, sizeof buf, "body { line-height: %g; }\n",
                  static_cast<double>(s.setting8) / 100.0);
    css += buf;
  }
  css += r.userSheet;
  if (r.textColour >= 0 && r.textColour <= 0xFFFFFF) {
    std::snprintf(buf, sizeof buf, "* { color: #%06x !important; }\n",
                  static_cast<unsigned>(r.textColour));
    css += buf;
  }
  static const char* const aligns[] = {nullptr, "left", "right", "center", "justify"};
  if (r.textAlign >= 1 && r.textAlign <= 4)
    css += std::string("* { text-align: ") + aligns[r.textAlign] + " !important; }\n";
  return css;
}

// ---- Layout ----

// Whether a document's markup needs preparing (see prepare.h): its own text
// may, or a style sheet it links sets background images (known once MuPDF
// has read the sheet, so no sheet is read for this alone).
bool needsPreparing(ZaveVevode* r, const Document& d, const std::string& path,
                    std::optional<std::string_view> text = std::nullopt) {
  std::string_view bytes = text ? *text : std::string_view(d.bytes);
  if (pendrel_mupdf::mayNeedPreparing(bytes)) return true;
  for (const std::string& href : pendrel_mupdf::linkHrefs(bytes)) {
    std::string sheet = pendrel_mupdf::resolveHref(path, href);
    if (sheet.empty()) continue;
    auto known = r->sheetBackgrounds.find(sheet);
    if (known != r->sheetBackgrounds.end() && known->second) return true;
  }
  return false;
}

// The document's markup prepared, for a document that needs it (see
// prepare.h); style sheets and object images it reads are reported missing.
std::optional<pendrel_mupdf::Prepared> prepareMarkup(ZaveVevode* r, const std::string& path,
                                                     std::string_view bytes) {
  pendrel_mupdf::PrepareHost host;
  host.sheet = [r](const std::string& sheet) {
    std::optional<std::string> text = sheetText(r, sheet);
    if (!text) report(r, sheet, kResourceMissing);
    return text;
  };
  host.has = [r](const std::string& image) {
    if (readHost(r, image)) return true;
    report(r, image, kResourceMissing);
    return false;
  };
  return pendrel_mupdf::prepare(r->ctx, bytes, path, host);
}

// A background image by full container path (an SVG file's references
// resolved beside it), or null, reported, when missing or unusable.
fz_image* backgroundImage(ZaveVevode* r, fz_archive* archive, const std::string& path) {
  std::string name = path;  // serve() takes names as the archive gets them
  fz_buffer* buf = serve(r, name.c_str());
  if (!buf) return nullptr;
  std::string folder = path.substr(0, path.rfind('/') == std::string::npos ? 0 : path.rfind('/'));
  if (folder.empty()) folder = ".";
  fz_context* ctx = r->ctx;
  fz_image* volatile image = nullptr;
  volatile bool svg = endsWithNoCase(path, ".svg");
  fz_try(ctx) {
    image = svg ? fz_new_image_from_svg(ctx, buf, folder.c_str(), archive)
                : fz_new_image_from_buffer(ctx, buf);
  }
  fz_always(ctx) { fz_drop_buffer(ctx, buf); }
  fz_catch(ctx) { image = nullptr; }
  if (!image) report(r, path, kResourceUnreadable);
  return image;
}

// MuPDF's pools pack objects without aligning them, so its boxes and styles
// are read and written by copying bytes.
template <class T>
T loadAt(const void* p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

bool isBlockType(unsigned type) {
  return type == BOX_BLOCK || type == BOX_TABLE || type == BOX_TABLE_ROW || type == BOX_TABLE_CELL;
}

// What the renderer reads of a box.
struct BoxView {
  unsigned type;
  fz_html_box *up, *down, *next;
  const char* id;
  const fz_css_style* style;
  float x, y, w, b;
  float padding[4];
};

BoxView view(const fz_html_box* box) {
  const char* at = reinterpret_cast<const char*>(box);
  fz_html_box head;
  std::memcpy(static_cast<void*>(&head), at, offsetof(fz_html_box, u));
  BoxView v{head.bits & 7,   head.up,         head.down,       head.next,
            head.id,         head.style,      head.s.layout.x, head.s.layout.y,
            head.s.layout.w, head.s.layout.b, {0, 0, 0, 0}};
  if (isBlockType(v.type))
    std::memcpy(v.padding, at + offsetof(fz_html_box, u.block.padding), sizeof v.padding);
  return v;
}

void setStyle(fz_html_box* box, const fz_css_style* style) {
  std::memcpy(reinterpret_cast<char*>(box) + offsetof(fz_html_box, style), &style, sizeof style);
}

// The box after `box` in tree order (children first).
fz_html_box* nextBox(fz_html_box* box) {
  BoxView v = view(box);
  if (v.down) return v.down;
  while (box && !v.next) {
    box = v.up;
    if (box) v = view(box);
  }
  return box ? v.next : nullptr;
}

void dropImages(fz_context* ctx, std::unordered_map<std::string, fz_image*>& images) {
  for (auto& [path, image] : images) fz_drop_image(ctx, image);
  images.clear();
}

void dropPaints(fz_context* ctx, std::vector<Paint>& paints) {
  for (Paint& p : paints) fz_drop_image(ctx, p.image);
  paints.clear();
}

void release(fz_context* ctx, Laid& laid) {
  dropPaints(ctx, laid.paints);
  fz_drop_html(ctx, laid.html);
  laid.html = nullptr;
}

fz_css_style* newStyle(fz_context* ctx, fz_pool* pool) {
  fz_css_style* volatile style = nullptr;
  fz_try(ctx) {
    style = static_cast<fz_css_style*>(fz_pool_alloc(ctx, pool, sizeof(fz_css_style)));
  }
  fz_catch(ctx) { style = nullptr; }
  return style;
}

// Finds the boxes of the elements with background images and lists what is
// drawn under the page: each such box's colour and image, and the colours
// of the boxes around them (MuPDF would otherwise paint those over the
// images), which MuPDF then leaves out.
void findPaints(ZaveVevode* r, fz_archive* archive, Laid& laid,
                const std::vector<pendrel_mupdf::Background>& backgrounds) {
  fz_context* ctx = r->ctx;
  fz_html_box* root = laid.html->tree.root;
  std::unordered_map<std::string_view, const pendrel_mupdf::Background*> byId;
  for (const auto& b : backgrounds) byId.emplace(b.id, &b);
  std::unordered_map<fz_html_box*, const pendrel_mupdf::Background*> imaged;
  std::unordered_set<fz_html_box*> painted;
  for (fz_html_box* box = root; box; box = nextBox(box)) {
    BoxView v = view(box);
    if (!v.id || !isBlockType(v.type)) continue;
    auto it = byId.find(v.id);
    if (it == byId.end()) continue;
    imaged.emplace(box, it->second);
    for (fz_html_box* up = box; up && painted.insert(up).second;) up = view(up).up;
  }
  // Backgrounds kept at once; past that the cache starts again.
  constexpr size_t kKeptImages = 64;
  auto& images = r->backgroundImages;
  for (fz_html_box* box = root; box; box = nextBox(box)) {
    if (!painted.count(box)) continue;
    fz_css_style style = loadAt<fz_css_style>(view(box).style);
    Paint paint{box, style.background_color, nullptr, 0, {}, {}, {}};
    auto it = imaged.find(box);
    if (it != imaged.end()) {
      const pendrel_mupdf::Background& b = *it->second;
      auto known = images.find(b.image);
      if (known != images.end()) {
        paint.image = fz_keep_image(ctx, known->second);
      } else {
        paint.image = backgroundImage(r, archive, b.image);
        // Raster images that load are shared; a failure is tried (and
        // reported) again for each document, as is an SVG file with its
        // own references.
        if (paint.image && !endsWithNoCase(b.image, ".svg")) {
          if (images.size() >= kKeptImages) dropImages(ctx, images);
          images.emplace(b.image, fz_keep_image(ctx, paint.image));
        }
      }
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
    laid.paints.push_back(paint);
  }
}

HostArchive* newArchive(ZaveVevode* r) {
  HostArchive* volatile archive = nullptr;
  fz_try(r->ctx) {
    archive = reinterpret_cast<HostArchive*>(
        fz_new_archive_of_size(r->ctx, nullptr, static_cast<int>(sizeof(HostArchive))));
    archive->super.format = "publication";
    archive->super.has_entry = archiveHas;
    archive->super.read_entry = archiveRead;
    archive->super.open_entry = archiveOpen;
    archive->renderer = r;
  }
  fz_catch(r->ctx) { archive = nullptr; }
  return archive;
}

fz_html* parseAndLayOut(fz_context* ctx, const Document& d, fz_archive* archive,
                        std::string_view source, const Layout& layout) {
  fz_buffer* buf = nullptr;
  fz_html* html = nullptr;
  fz_var(buf);
  fz_var(html);
  fz_try(ctx) {
    buf = fz_new_buffer_from_copied_data(ctx, reinterpret_cast<const unsigned char*>(source.data()),
                                         source.size());
    html = fz_parse_xhtml(ctx, d.fonts->set, archive, d.base.c_str(), buf, d.css.c_str());
    fz_layout_html(ctx, html, layout.width, layout.height, layout.em);
  }
  fz_always(ctx) {
    fz_drop_buffer(ctx, buf);
    fz_flush_warnings(ctx);
  }
  fz_catch(ctx) {
    fz_drop_html(ctx, html);
    html = nullptr;
  }
  return html;
}

// Parses and lays out XHTML with the document's style sheet, fonts and
// folder; resources are reported for `report` (null: not reported). A
// document that needs it is prepared first (and laid out as given if the
// prepared markup fails); its backgrounds go to `laid`.
Laid layOut(ZaveVevode* r, const Document& d, std::string_view bytes, const Layout& layout,
            Document* reportFor) {
  Laid laid;
  if (!d.fonts) return laid;
  fz_context* ctx = r->ctx;
  r->parsing = reportFor;
  r->lastServed.clear();
  r->parsingBase = d.base;
  r->svgServed.clear();
  std::optional<pendrel_mupdf::Prepared> prepared;
  if (d.prepare) prepared = prepareMarkup(r, toUtf8(d.path), bytes);
  std::string_view source = prepared ? std::string_view(prepared->xhtml) : bytes;
  HostArchive* archive = newArchive(r);
  for (int attempt = 0; archive && attempt < (prepared ? 2 : 1) && !laid.html; ++attempt) {
    laid.html = parseAndLayOut(ctx, d, &archive->super, attempt == 0 ? source : bytes, layout);
    if (laid.html && attempt == 0 && prepared && !prepared->backgrounds.empty())
      findPaints(r, &archive->super, laid, prepared->backgrounds);
  }
  fz_drop_archive(ctx, archive ? &archive->super : nullptr);
  r->parsing = nullptr;
  r->lastServed.clear();
  r->svgServed.clear();
  return laid;
}

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

// Draws the page's backgrounds as MuPDF draws background colours: a box's
// padding box (the root's: the whole page), then its image clipped to it,
// at its own size or scaled to cover or fit, tiled unless it does not repeat.
void drawPaints(fz_context* ctx, fz_device* dev, fz_matrix ctm, const fz_html* html, int page,
                const std::vector<Paint>& paints) {
  float pageTop = static_cast<float>(page) * html->page_h;
  float pageBottom = pageTop + html->page_h;
  const float* margin = html->page_margin;
  fz_matrix inner = fz_pre_translate(ctm, margin[BOX_L], margin[BOX_T]);
  for (const Paint& p : paints) {
    fz_rect area;
    fz_matrix m = inner;
    if (p.box == html->tree.root) {
      area = {0, 0, html->page_w + margin[BOX_L] + margin[BOX_R],
              html->page_h + margin[BOX_T] + margin[BOX_B]};
      m = ctm;
    } else {
      BoxView v = view(p.box);
      area = {v.x - v.padding[BOX_L], v.y - v.padding[BOX_T], v.x + v.w + v.padding[BOX_R],
              v.b + v.padding[BOX_B]};
      if (area.y0 > pageBottom || area.y1 < pageTop || !(area.y1 > area.y0)) continue;
      area.y0 -= pageTop;
      area.y1 -= pageTop;
    }
    if (loadAt<fz_css_style>(view(p.box).style).visibility != V_VISIBLE) continue;
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
      float w = static_cast<float>(p.image ? p.image->w : 0) * 72 / 96;
      float h = static_cast<float>(p.image ? p.image->h : 0) * 72 / 96;
      float boxW = area.x1 - area.x0, boxH = area.y1 - area.y0;
      if (p.image && w > 0 && h > 0 && boxW > 0) {
        if (p.size != pendrel_mupdf::BackgroundSize::Auto) {
          float sx = boxW / w, sy = boxH / h;
          float scale =
              p.size == pendrel_mupdf::BackgroundSize::Cover ? std::max(sx, sy) : std::min(sx, sy);
          w *= scale;
          h *= scale;
        }
        // At its position in the box; repeated as a tiling pattern (so a
        // small image over a large box costs one tile) over the box.
        float ox = p.x.fraction * (boxW - w) + p.x.points;
        float oy = p.y.fraction * (boxH - h) + p.y.points;
        fz_matrix origin = fz_pre_translate(m, area.x0 + ox, area.y0 + oy);
        fz_matrix placed = fz_concat(fz_make_matrix(w, 0, 0, h, 0, 0), origin);
        bool alongX = p.repeat & pendrel_mupdf::kRepeatX,
             alongY = p.repeat & pendrel_mupdf::kRepeatY;
        fz_rect fill = {alongX ? -ox : 0, alongY ? -oy : 0, alongX ? boxW - ox : w,
                        alongY ? boxH - oy : h};
        // Clipped to the box and, along an axis it does not repeat on, to
        // the image (a pattern may run a little past its area).
        fz_rect band =
            fz_intersect_rect(area, fz_make_rect(area.x0 + ox + fill.x0, area.y0 + oy + fill.y0,
                                                 area.x0 + ox + fill.x1, area.y0 + oy + fill.y1));
        clip = fz_new_path(ctx);
        fz_rectto(ctx, clip, band.x0, band.y0, band.x1, band.y1);
        fz_clip_path(ctx, dev, clip, 0, m, fz_infinite_rect);
        fillImage(ctx, dev, p.image, placed, origin, p.repeat ? &fill : nullptr, w, h);
      }
    }
    fz_always(ctx) {
      fz_drop_path(ctx, clip);
      fz_drop_path(ctx, path);
    }
    fz_catch(ctx) {}
  }
}

int32_t pagesOf(const fz_html* html) {
  const fz_html_box* root = html->tree.root;
  if (!root || html->page_h <= 0 || !(root->s.layout.b > 0)) return 1;
  float pages = std::ceil(root->s.layout.b / html->page_h);
  return pages < 1 ? 1 : pages > 1e6f ? 1000000 : static_cast<int32_t>(pages);
}

void forget(ZaveVevode* r, const Document* d) {
  for (auto it = r->cache.begin(); it != r->cache.end();) {
    if (it->doc == d) {
      release(r->ctx, it->laid);
      it = r->cache.erase(it);
    } else {
      ++it;
    }
  }
}

const Laid* keep(ZaveVevode* r, const Document* d, Laid&& laid) {
  r->cache.push_front({d, std::move(laid)});
  while (r->cache.size() > kCachedLayouts) {
    release(r->ctx, r->cache.back().laid);
    r->cache.pop_back();
  }
  return &r->cache.front().laid;
}

// The document's layout and backgrounds, from the cache or made again
// (null when it fails).
const Laid* laidOf(ZaveVevode* r, Document& d) {
  for (auto it = r->cache.begin(); it != r->cache.end(); ++it)
    if (it->doc == &d) {
      r->cache.splice(r->cache.begin(), r->cache, it);
      return &it->laid;
    }
  Laid laid = layOut(r, d, d.bytes, d.layout, &d);
  if (!laid.html) return nullptr;
  return keep(r, &d, std::move(laid));
}

fz_html* htmlOf(ZaveVevode* r, Document& d) {
  const Laid* laid = laidOf(r, d);
  return laid ? laid->html : nullptr;
}

// Splits one page into objects: images and words, a word ending at white
// space or at the end of a line.
void collect(fz_stext_page* text, fz_link* links, Objects& o) {
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
  for (fz_stext_block* block = text->first_block; block; block = block->next) {
    if (block->type == FZ_STEXT_BLOCK_IMAGE) {
      push(block->bbox, PENDREL_OBJECT_IMAGE);
      continue;
    }
    if (block->type != FZ_STEXT_BLOCK_TEXT) continue;
    for (fz_stext_line* line = block->u.t.first_line; line; line = line->next) {
      fz_rect box = fz_empty_rect;
      bool inWord = false;
      whole.clear();
      for (fz_stext_char* ch = line->first_char; ch; ch = ch->next) {
        std::string_view utf8(buf, static_cast<size_t>(fz_runetochar(buf, ch->c)));
        if (!haveLine) whole += utf8;
        if (isSpace(ch->c)) {
          if (inWord) push(box, PENDREL_OBJECT_WORD);
          inWord = false;
          box = fz_empty_rect;
          continue;
        }
        o.text += utf8;
        box = fz_union_rect(box, fz_rect_from_quad(ch->quad));
        inWord = true;
      }
      if (inWord) push(box, PENDREL_OBJECT_WORD);
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

// Reads the objects of every page of a layout.
bool extract(fz_context* ctx, fz_html* html, int32_t pages, const Layout& layout, Objects& out) {
  out = Objects{};
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
    volatile bool ok = true;
    fz_try(ctx) {
      text = fz_new_stext_page(ctx, bounds);
      device = fz_new_stext_device(ctx, text, &options);
      fz_draw_html(ctx, device, fz_identity, html, page);
      fz_close_device(ctx, device);
      links = fz_load_html_links(ctx, html, page, "");
    }
    fz_catch(ctx) { ok = false; }
    if (ok) collect(text, links, out);
    fz_drop_link(ctx, links);
    fz_drop_device(ctx, device);
    fz_drop_stext_page(ctx, text);
    if (!ok) return false;
  }
  out.pageFirst.push_back(static_cast<uint32_t>(out.size()));
  return true;
}

// The document's objects, read on first use.
const Objects* objectsOf(ZaveVevode* r, Document& d) {
  if (d.objects) return d.objects.get();
  auto objects = std::make_unique<Objects>();
  fz_html* html = htmlOf(r, d);
  if (!html || !extract(r->ctx, html, d.pages, d.layout, *objects)) {
    *objects = Objects{};
    objects->pageFirst.assign(static_cast<size_t>(d.pages) + 1, 0);
    objects->lineEnd.assign(static_cast<size_t>(d.pages), 0);
  }
  d.objects = std::move(objects);
  return d.objects.get();
}

// Lays the document out again with `layout` and counts its pages.
void relayout(ZaveVevode* r, Document& d, const Layout& layout) {
  forget(r, &d);
  d.layout = layout;
  d.objects.reset();
  d.drawn = false;
  fz_html* html = htmlOf(r, d);
  d.pages = html ? pagesOf(html) : 0;
}

Document* find(ZaveVevode* r, const char16_t* path) {
  if (!r || !path) return nullptr;
  auto it = r->documents.find(path);
  return it == r->documents.end() ? nullptr : it->second.get();
}

void erase(ZaveVevode* r, const char16_t* path) {
  auto it = r->documents.find(path);
  if (it == r->documents.end()) return;
  forget(r, it->second.get());
  r->documents.erase(it);
}

const char16_t* hand(ZaveVevode* r, std::string_view utf8) {
  r->returned.clear();
  appendUtf16(r->returned, utf8);
  return r->returned.c_str();
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
void blendRange(const Objects& o, int32_t page, const PendrelBitmap& b, fz_matrix m, uint32_t start,
                uint32_t end, uint32_t rgb) {
  uint32_t first = o.pageFirst[static_cast<size_t>(page)];
  uint32_t stop = o.pageFirst[static_cast<size_t>(page) + 1];
  if (end < first || start >= stop) return;
  for (uint32_t i = std::max(start, first); i < stop && i <= end; ++i) blend(b, o.box[i], m, rgb);
}

uint32_t colourOr(intptr_t value, uint32_t fallback) {
  return value > 0 && value <= 0xFFFFFF ? static_cast<uint32_t>(value) : fallback;
}

// Finds the needle in the document's words joined by single spaces; a hit
// covers the words it touches.
std::vector<Hit> findHits(const ZaveVevode& r, const Objects& o) {
  std::vector<Hit> found;
  if (r.needle.empty()) return found;
  std::u32string joined;
  std::vector<uint32_t> owner;  // object index of each code point of `joined`
  for (size_t i = 0; i < o.size(); ++i) {
    if (o.type[i] != PENDREL_OBJECT_WORD) continue;
    if (!joined.empty()) {
      joined.push_back(U' ');
      owner.push_back(static_cast<uint32_t>(i));
    }
    for (char32_t c : toCodePoints(o.word(i))) {
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

// The folder MuPDF joins a document's hrefs to ("." for the container root).
std::string folderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos || slash == 0 ? "." : path.substr(0, slash);
}

// ---- PDF output ----

// Adds a page of the document to the PDF record at `target` (pdf_output.h).
void drawIntoPdf(ZaveVevode* r, Document& doc, int32_t page, intptr_t target) {
  const Laid* laid = laidOf(r, doc);
  pendrel_mupdf::PdfPageSource source;
  source.ctx = r->ctx;
  source.path = toUtf8(doc.path);
  source.page = page;
  source.width = doc.layout.width;
  source.height = doc.layout.height;
  source.html = laid ? laid->html : nullptr;
  source.underlay = [r, laid, page](fz_device* dev) {
    drawPaints(r->ctx, dev, fz_identity, laid->html, page, laid->paints);
  };
  source.layoutOf = [r](const std::string& path) -> fz_html* {
    std::u16string wide;
    appendUtf16(wide, path);
    Document* d = find(r, wide.c_str());
    return d ? htmlOf(r, *d) : nullptr;
  };
  pendrel_mupdf::addPdfPage(target, source);
}

}  // namespace

extern "C" {

PENDREL_API ZaveVevode* ZaveVevode_new(const ZaveVevodeOptions* options) {
  fz_context* ctx = fz_new_context(nullptr, nullptr, FZ_STORE_DEFAULT);
  if (!ctx) return nullptr;
  auto* r = new ZaveVevode;
  r->ctx = ctx;
  fz_set_warning_callback(ctx, onWarning, r);
  fz_set_error_callback(ctx, quiet, nullptr);
  if (options) {
    r->options = *options;
    const ZaveVevodeSettings& s = options->settings;
    r->current.width = clampSide(s.setting1, kDefaultWidth);
    r->current.height = clampSide(s.setting2, kDefaultHeight);
    r->current.em =
        s.setting3 > 0 && s.setting3 <= 400 ? static_cast<float>(s.setting3) : kDefaultEm;
    if (s.setting9) r->userSheet = reinterpret_cast<const char*>(s.setting9);
  }
  return r;
}

PENDREL_API void ZaveVevode_free(ZaveVevode** renderer) {
  if (!renderer || !*renderer) return;
  ZaveVevode* r = *renderer;
  for (Cached& c : r->cache) release(r->ctx, c.laid);
  r->cache.clear();
  r->documents.clear();
  r->fonts.reset();
  dropImages(r->ctx, r->backgroundImages);
  fz_drop_buffer(r->ctx, r->hostFont);
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
  erase(r, path);
  if (!bytes || length == 0) return false;
  auto d = std::make_unique<Document>();
  d->path = path;
  std::string utf8Path = toUtf8(path);
  d->base = folderOf(utf8Path);
  for (auto& [href, charset] : pendrel_mupdf::linkCharsets(
           std::string_view(reinterpret_cast<const char*>(bytes), length))) {
    std::string sheetPath = pendrel_mupdf::resolveHref(utf8Path, href);
    if (!sheetPath.empty()) d->charsets.emplace_back(std::move(sheetPath), std::move(charset));
  }
  d->bytes.assign(reinterpret_cast<const char*>(bytes), length);
  d->css = userCss(*r);
  d->fonts = currentFonts(r);
  d->layout = layout;
  d->prepare = needsPreparing(r, *d, utf8Path);
  Laid laid = layOut(r, *d, d->bytes, layout, d.get());
  if (laid.html && !d->prepare && needsPreparing(r, *d, utf8Path)) {
    // A sheet read for the first time sets background images.
    release(r->ctx, laid);
    d->prepare = true;
    laid = layOut(r, *d, d->bytes, layout, d.get());
  }
  if (!laid.html) return false;
  d->pages = pagesOf(laid.html);
  keep(r, d.get(), std::move(laid));
  if (progress)
    for (int32_t i = 0; i < d->pages; ++i)
      progress(context, static_cast<uint32_t>(d->pages), static_cast<uint32_t>(i + 1));
  r->documents.emplace(path, std::move(d));
  return true;
}

PENDREL_API int32_t ZaveVevode_getPageLength(ZaveVevode* r, const pendrel_char16* path) {
  Document* d = find(r, path);
  return d ? d->pages : 0;
}

PENDREL_API void ZaveVevode_deleteXhtml(ZaveVevode* r, const pendrel_char16* path) {
  if (!r || !path) return;
  erase(r, path);
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
  (void)b;
  (void)c;
  auto* path = reinterpret_cast<const char16_t*>(a);
  fz_buffer* font = nullptr;
  if (path) {
    std::optional<std::string_view> data = readHost(r, toUtf8(path));
    if (!data) return;
    fz_font* probe = nullptr;
    fz_var(font);
    fz_var(probe);
    // Only a file MuPDF can use as a font replaces the default face.
    fz_try(r->ctx) {
      font = fz_new_buffer_from_copied_data(
          r->ctx, reinterpret_cast<const unsigned char*>(data->data()), data->size());
      probe = fz_new_font_from_buffer(r->ctx, nullptr, font, 0, 0);
    }
    fz_always(r->ctx) { fz_drop_font(r->ctx, probe); }
    fz_catch(r->ctx) {
      fz_drop_buffer(r->ctx, font);
      return;
    }
  }
  fz_drop_buffer(r->ctx, r->hostFont);
  r->hostFont = font;
  r->fonts.reset();
}

PENDREL_API void ZaveVevode_draw(ZaveVevode* r, const pendrel_char16* path, int32_t page,
                                 intptr_t a, intptr_t b, intptr_t c, intptr_t d) {
  Document* doc = find(r, path);
  if (doc && doc->hasPage(page) && pendrel_mupdf::isPdfTarget(a))
    return drawIntoPdf(r, *doc, page, a);
  const PendrelBitmap* bitmap = validBitmap(a);
  if (!doc || !bitmap || !doc->hasPage(page)) return;
  for (int32_t y = 0; y < bitmap->height; ++y)
    std::fill_n(bitmap->pixels + static_cast<size_t>(y) * static_cast<size_t>(bitmap->stride),
                static_cast<size_t>(bitmap->width) * 4, uint8_t{0xFF});
  fz_matrix m = transformFor(*doc, *bitmap, b, c, d);
  const Laid* laid = laidOf(r, *doc);
  if (laid) {
    fz_html* html = laid->html;
    fz_context* ctx = r->ctx;
    fz_pixmap* pixmap = nullptr;
    fz_device* device = nullptr;
    fz_var(pixmap);
    fz_var(device);
    fz_try(ctx) {
      pixmap = fz_new_pixmap_with_data(ctx, fz_device_rgb(ctx), bitmap->width, bitmap->height,
                                       nullptr, 1, bitmap->stride, bitmap->pixels);
      device = fz_new_draw_device(ctx, fz_identity, pixmap);
      drawPaints(ctx, device, m, html, page, laid->paints);
      fz_draw_html(ctx, device, m, html, page);
      fz_close_device(ctx, device);
    }
    fz_always(ctx) {
      fz_drop_device(ctx, device);
      fz_drop_pixmap(ctx, pixmap);
    }
    fz_catch(ctx) {}
  }
  doc->lastDraw = m;
  doc->drawn = true;
  const Hit* hit = nullptr;
  if (r->drawHit >= 0 && r->drawHitPath == path) {
    auto it = r->hits.find(path);
    if (it != r->hits.end() && static_cast<size_t>(r->drawHit) < it->second.size())
      hit = &it->second[static_cast<size_t>(r->drawHit)];
  }
  if (doc->scraps.empty() && !hit) return;
  const Objects& o = *objectsOf(r, *doc);
  for (const Scrap& s : doc->scraps)
    blendRange(o, page, *bitmap, m, s.start, s.end, colourOr(s.colour, 0xFFF080));
  if (hit) blendRange(o, page, *bitmap, m, hit->first, hit->last, 0xFFA040);
}

PENDREL_API int32_t ZaveVevode_getLink(ZaveVevode* r, const pendrel_char16* path, intptr_t value) {
  Document* d = find(r, path);
  auto* href = reinterpret_cast<const char16_t*>(value);
  if (!d || !href) return -1;
  std::string target = toUtf8(href);
  size_t hash = target.find('#');
  if (hash == std::string::npos || hash + 1 >= target.size()) return d->pages > 0 ? 0 : -1;
  target.erase(0, hash + 1);
  fz_html* html = htmlOf(r, *d);
  if (!html) return -1;
  volatile float y = -1;
  fz_try(r->ctx) { y = fz_find_html_target(r->ctx, html, target.c_str()); }
  fz_catch(r->ctx) { y = -1; }
  if (y < 0 || html->page_h <= 0) return -1;
  auto page = static_cast<int32_t>(y / html->page_h);
  return page >= 0 && page < d->pages ? page : -1;
}

PENDREL_API const pendrel_char16* ZaveVevode_getFirstStringPage(ZaveVevode* r,
                                                                const pendrel_char16* path,
                                                                int32_t page) {
  Document* d = find(r, path);
  if (!d || !d->hasPage(page)) return nullptr;
  return hand(r, objectsOf(r, *d)->line(static_cast<size_t>(page)));
}

extern "C++" {
namespace {
// A page's first object (or UTF-8 position), and how many the page holds;
// for page == page count the index is the document's total.
uint32_t indexOfPage(ZaveVevode* r, const pendrel_char16* path, int32_t page, bool utf8) {
  Document* d = find(r, path);
  if (!d || page < 0 || page > d->pages) return 0;
  const Objects& o = *objectsOf(r, *d);
  uint32_t first = o.pageFirst[static_cast<size_t>(page)];
  return utf8 ? o.utf8(first) : first;
}

uint32_t countOnPage(ZaveVevode* r, const pendrel_char16* path, int32_t page, bool utf8) {
  Document* d = find(r, path);
  if (!d || !d->hasPage(page)) return 0;
  const Objects& o = *objectsOf(r, *d);
  const auto at = static_cast<size_t>(page);
  uint32_t first = o.pageFirst[at], stop = o.pageFirst[at + 1];
  return utf8 ? o.utf8(stop) - o.utf8(first) : stop - first;
}
}  // namespace
}  // extern "C++"

PENDREL_API uint32_t ZaveVevode_getObjectIndex(ZaveVevode* r, const pendrel_char16* path,
                                               int32_t page) {
  return indexOfPage(r, path, page, false);
}

PENDREL_API uint32_t ZaveVevode_getObjectCount(ZaveVevode* r, const pendrel_char16* path,
                                               int32_t page) {
  return countOnPage(r, path, page, false);
}

PENDREL_API uint32_t ZaveVevode_getObjectIndexUTF8(ZaveVevode* r, const pendrel_char16* path,
                                                   int32_t page) {
  return indexOfPage(r, path, page, true);
}

PENDREL_API uint32_t ZaveVevode_getObjectCountUTF8(ZaveVevode* r, const pendrel_char16* path,
                                                   int32_t page) {
  return countOnPage(r, path, page, true);
}

extern "C++" {
namespace {
// The document index of object `value` of the page (counted from the page's
// first object), or nullopt.
std::optional<size_t> objectOn(ZaveVevode* r, const char16_t* path, int32_t page, intptr_t value,
                               Document** doc, const Objects** objects) {
  Document* d = find(r, path);
  if (!d || !d->hasPage(page) || value < 0) return std::nullopt;
  const Objects& o = *objectsOf(r, *d);
  uint32_t first = o.pageFirst[static_cast<size_t>(page)];
  uint32_t stop = o.pageFirst[static_cast<size_t>(page) + 1];
  if (static_cast<uintptr_t>(value) >= stop - first) return std::nullopt;
  *doc = d;
  *objects = &o;
  return first + static_cast<size_t>(value);
}
}  // namespace
}  // extern "C++"

PENDREL_API intptr_t ZaveVevode_getObjectType(ZaveVevode* r, const pendrel_char16* path,
                                              int32_t page, intptr_t value) {
  Document* d = nullptr;
  const Objects* o = nullptr;
  std::optional<size_t> i = objectOn(r, path, page, value, &d, &o);
  return i ? static_cast<intptr_t>(o->type[*i]) : static_cast<intptr_t>(PENDREL_OBJECT_NONE);
}

PENDREL_API const pendrel_char16* ZaveVevode_getHref(ZaveVevode* r, const pendrel_char16* path,
                                                     int32_t page, intptr_t value) {
  Document* d = nullptr;
  const Objects* o = nullptr;
  std::optional<size_t> i = objectOn(r, path, page, value, &d, &o);
  if (!i || o->link[*i] < 0) return nullptr;
  return hand(r, o->links[static_cast<size_t>(o->link[*i])].uri);
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
  Document* d = nullptr;
  const Objects* o = nullptr;
  std::optional<size_t> i = objectOn(r, path, page, value, &d, &o);
  return i && o->link[*i] >= 0;
}

PENDREL_API bool ZaveVevode_getObjectInfo(ZaveVevode* r, const pendrel_char16* path, int32_t page,
                                          intptr_t a, void* record, intptr_t b) {
  (void)b;
  Document* d = nullptr;
  const Objects* o = nullptr;
  std::optional<size_t> i = objectOn(r, path, page, a, &d, &o);
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
  if (!d || start > end) return nullptr;
  const Objects& o = *objectsOf(r, *d);
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
  blendRange(*objectsOf(r, *doc), static_cast<int32_t>(b), *bitmap, m, start, end,
             colourOr(c, 0xA0C8FF));
}

PENDREL_API int32_t ZaveVevode_search(ZaveVevode* r, const pendrel_char16* path,
                                      const uint8_t* bytes, uint32_t length, intptr_t a, intptr_t b,
                                      intptr_t c) {
  (void)a;
  (void)b;
  (void)c;
  if (!r || !path || !bytes || length == 0 || r->needle.empty()) return 0;
  // The bytes are laid out as the loaded document is, else as a document
  // loaded now would be, and not kept.
  Document scratch;
  Document* loaded = find(r, path);
  scratch.path = path;
  scratch.base = folderOf(toUtf8(path));
  scratch.css = loaded ? loaded->css : userCss(*r);
  scratch.fonts = loaded ? loaded->fonts : currentFonts(r);
  scratch.layout = loaded ? loaded->layout : r->current;
  std::string_view markup(reinterpret_cast<const char*>(bytes), length);
  scratch.prepare = loaded ? loaded->prepare : needsPreparing(r, scratch, toUtf8(path), markup);
  Laid laid = layOut(r, scratch, markup, scratch.layout, nullptr);
  fz_html* html = laid.html;
  if (!html) return 0;
  Objects text;
  bool ok = extract(r->ctx, html, pagesOf(html), scratch.layout, text);
  release(r->ctx, laid);
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
  if ((use != 0) != (r->embeddedFont != 0)) r->fonts.reset();
  r->embeddedFont = use != 0;
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
