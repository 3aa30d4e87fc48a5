#include "layout.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <optional>

#include "archive.h"
#include "budgets.h"
#include "css_text.h"
#include "fonts.h"
#include "objects.h"
#include "paint.h"
#include "structure.h"
#include "svg_images.h"
#include "utf.h"

namespace pendrel_mupdf {
namespace {

using epub::utf::toUtf8;

// Laid-out documents kept at once: the one being read and its neighbours.
constexpr size_t kCachedLayouts = 3;
// Margins the settings may give, in points: more would leave no page.
constexpr intptr_t kMaxMargin = 1000;
// Line heights the settings may give, in hundredths of the em: half to
// four times the font size, the range readers offer.
constexpr intptr_t kMinLineHeight = 50, kMaxLineHeight = 400;
// Page counts are kept below this, whatever the content's height.
constexpr float kMaxPages = 1e6f;

// The user style sheet carrying the host's overrides and the renderer
// settings: colour and alignment win over the document's style sheets; the
// settings' margins, justification and line height, then the host's own
// sheet (setting 9), are defaults the document's own rules may change.
std::string userCss(const ZaveVevode& r) {
  std::string css;
  const ZaveVevodeSettings& s = r.host.settings;
  char buf[160];
  auto points = [](intptr_t v) { return v > 0 && v <= kMaxMargin ? static_cast<int>(v) : 0; };
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
  if (s.setting8 >= kMinLineHeight && s.setting8 <= kMaxLineHeight) {
    std::snprintf(buf, sizeof buf, "body { line-height: %g; }\n",
                  static_cast<double>(s.setting8) / 100.0);
    css += buf;
  }
  css += r.host.userSheet;
  const Overrides& o = r.overrides;
  if (o.textColour >= 0 && o.textColour <= kMaxColour) {
    std::snprintf(buf, sizeof buf, "* { color: #%06x !important; }\n",
                  static_cast<unsigned>(o.textColour));
    css += buf;
  }
  static const char* const aligns[] = {nullptr, "left", "right", "center", "justify"};
  if (o.textAlign >= 1 && o.textAlign < static_cast<intptr_t>(std::size(aligns)))
    css += std::string("* { text-align: ") + aligns[o.textAlign] + " !important; }\n";
  return css;
}

// Renderer setting 7 and what it needs to know: the language of text
// without a lang (a `-pendrel-language` declaration in the host's sheet,
// as the host knows the package's language) and the alignment the
// settings give.
HyphenationOptions hyphenationOf(const ZaveVevode& r) {
  HyphenationOptions h;
  const ZaveVevodeSettings& s = r.host.settings;
  if (s.setting7 > static_cast<uint8_t>(Hyphenation::All)) return h;
  h.mode = static_cast<Hyphenation>(s.setting7);
  const std::string& sheet = r.host.userSheet;
  constexpr std::string_view kLanguage = "-pendrel-language";
  if (size_t at = sheet.find(kLanguage); at != std::string::npos) {
    size_t stop = sheet.find_first_of(";}", at);
    h.language =
        declaredValue(sheet.substr(at, stop == std::string::npos ? stop : stop - at), kLanguage);
  }
  h.justified = s.setting5 == 1;
  h.sheet = sheet;
  if (r.overrides.textAlign >= 1 && r.overrides.textAlign <= 4)
    h.forcedJustify = r.overrides.textAlign == 4;
  return h;
}

// Whether a document's markup needs preparing (see prepare.h): its text
// is hyphenated, its own text may, or a style sheet it links sets background images (known once
// MuPDF has read the sheet, so no sheet is read for this alone).
bool needsPreparing(const ZaveVevode& r, std::string_view bytes, const std::string& path) {
  if (r.host.settings.setting7 != 0 || mayNeedPreparing(bytes) || mayHoldSvgImages(bytes) ||
      mayNeedRestructuring(bytes))
    return true;
  for (const std::string& href : linkHrefs(bytes)) {
    std::string sheet = resolveHref(path, href);
    if (sheet.empty()) continue;
    auto known = r.resources.sheetBackgrounds.find(sheet);
    if (known != r.resources.sheetBackgrounds.end() && known->second) return true;
  }
  return false;
}

// MuPDF 1.21's box builder leaves part of its state on the stack
// uninitialised, the list item counter among it (only <ol> resets it), so
// whatever earlier calls left there numbers a list's items, and a first
// item numbered 0 draws no mark. The stack below is cleared before each
// parse, so that every parse numbers from zero, whatever ran before it.
[[gnu::noinline]] void clearStackBelow() {
  char room[16 * 1024];
  std::memset(room, 0, sizeof room);
  asm volatile("" : : "r"(room) : "memory");
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
    clearStackBelow();
    html = fz_parse_xhtml(ctx, d.fonts->set, archive, d.base.c_str(), buf, d.css.c_str());
    fz_layout_html(ctx, html, layout.width, layout.height, layout.em);
    drawWholeWhenClipped(html);
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

// Lays out the markup styled for measuring its tables and plans them from
// that layout (see tables.h); the sheets it reads count once.
TablePlan planTablesOf(fz_context* ctx, const Document& d, Parse& parse, fz_archive* archive,
                       std::string_view source, const Layout& layout, const Tables& tables) {
  const size_t sheets = parse.sheets, preparedSheets = parse.preparedSheets;
  fz_html* measured = parseAndLayOut(ctx, d, archive, styleTableCells(source, nullptr), layout);
  parse.sheets = sheets;
  parse.preparedSheets = preparedSheets;
  if (!measured) return {};
  struct Drop {
    fz_context* ctx;
    fz_html* html;
    ~Drop() { fz_drop_html(ctx, html); }
  } drop{ctx, measured};
  return planTables(measured, tables);
}

// What a table plan depends on: the markup, the user sheet, the font set
// and the layout.
size_t tablesKey(const Document& d, std::string_view bytes, const Layout& layout) {
  size_t key = std::hash<std::string_view>()(bytes);
  auto mix = [&key](size_t v) { key ^= v + 0x9e3779b9u + (key << 6) + (key >> 2); };
  mix(std::hash<std::string>()(d.css));
  mix(std::hash<const void*>()(d.fonts.get()));
  for (float v : {layout.width, layout.height, layout.em}) mix(std::hash<float>()(v));
  return key;
}

// MuPDF's warnings go to the parse while it runs, and nowhere after.
struct HearWarnings {
  fz_context* ctx;
  HearWarnings(fz_context* c, Parse& parse) : ctx(c) {
    fz_set_warning_callback(ctx, parseWarnings, &parse);
  }
  HearWarnings(const HearWarnings&) = delete;
  HearWarnings& operator=(const HearWarnings&) = delete;
  ~HearWarnings() { fz_set_warning_callback(ctx, quietWarnings, nullptr); }
};

void forget(ZaveVevode& r, const Document* d) {
  auto& entries = r.layouts.entries;
  for (auto it = entries.begin(); it != entries.end();) {
    if (it->doc == d) {
      release(r.ctx, it->laid);
      it = entries.erase(it);
    } else {
      ++it;
    }
  }
}

// The layout of the document used last stays; older ones go past
// kCachedLayouts, or when the documents kept hold more than
// kMaxCachedLayoutBytes between them.
const Laid* keep(ZaveVevode& r, const Document* d, Laid&& laid) {
  auto& entries = r.layouts.entries;
  entries.push_front({d, std::move(laid)});
  size_t bytes = 0;  // of the documents kept besides this one
  for (auto e = std::next(entries.begin()); e != entries.end(); ++e) bytes += e->doc->bytes.size();
  while (entries.size() > kCachedLayouts || (entries.size() > 1 && bytes > kMaxCachedLayoutBytes)) {
    bytes -= entries.back().doc->bytes.size();
    release(r.ctx, entries.back().laid);
    entries.pop_back();
  }
  return &entries.front().laid;
}

// While a search is set, a document just laid out will be searched: its
// objects are read from this layout rather than from another one later.
void readObjectsForSearch(ZaveVevode& r, Document& d) {
  if (!r.search.needle.empty()) objectsOf(r, d);
}

// Lays the document out again with `layout` and counts its pages.
void relayout(ZaveVevode& r, Document& d, const Layout& layout) {
  forget(r, &d);
  d.layout = layout;
  d.objects.reset();
  d.drawn = false;
  fz_html* html = htmlOf(r, d);
  d.pages = html ? pagesOf(html) : 0;
  if (html) readObjectsForSearch(r, d);
}

// For every document (laid out again) or the next one loaded: `change`
// applied to the renderer's layout.
template <class Change>
void changeLayout(ZaveVevode& r, int32_t allDocuments, Change change) {
  LayoutCache& c = r.layouts;
  if (allDocuments) {
    change(c.current);
    for (auto& [path, doc] : c.documents) relayout(r, *doc, c.current);
  } else {
    if (!c.hasPending) c.pending = c.current;
    change(c.pending);
    c.hasPending = true;
  }
}

}  // namespace

Laid layOut(ZaveVevode& r, const Document& d, std::string_view bytes, const Layout& layout,
            Document* reportFor) {
  Laid laid(r.ctx);
  if (!d.fonts || bytes.size() > kMaxDocumentBytes) return laid;
  fz_context* ctx = r.ctx;
  std::optional<Bounded> bounded = withinBudgets(bytes);
  if (bounded) {
    const std::string self = toUtf8(d.path);
    if (bounded->flattened) report(r, reportFor, self, kOverNesting);
    if (bounded->wordsBroken) report(r, reportFor, self, kOverWordLength);
    if (bounded->usesDropped) report(r, reportFor, self, kOverSvg);
    bytes = bounded->markup;
  }
  Parse parse(r, reportFor, d.base);
  HearWarnings hear(ctx, parse);
  std::optional<Prepared> prepared;
  const size_t tablesAt = d.prepare && d.tables ? tablesKey(d, bytes, layout) : 0;
  const bool tablesKnown = d.tables && d.tables->key == tablesAt;
  if (d.prepare) {
    PrepareHost host = preparingHost(parse);
    host.hyphenation = hyphenationOf(r);
    host.measureTables = !tablesKnown;
    prepared = prepare(ctx, bytes, toUtf8(d.path), host);
  }
  std::string_view source = prepared ? std::string_view(prepared->xhtml) : bytes;
  fz_archive* archive = newArchive(parse);
  try {
    // The plan used: the document's remembered one, else `measured`.
    const TablePlan* plan = nullptr;
    TablePlan measured;
    std::string tabled;
    bool measuredShort = false;  // the tables measured short of memory
    if (archive && prepared && !prepared->tables.cells.empty()) {
      if (tablesKnown) {
        plan = &d.tables->plan;
      } else {
        const size_t key = tablesAt ? tablesAt : tablesKey(d, bytes, layout);
        r.allocationFailed = false;
        measured =
            planTablesOf(ctx, d, parse, archive, prepared->measuring, layout, prepared->tables);
        measuredShort = r.allocationFailed;
        plan = &measured;
        if (!measuredShort) {
          d.tables = std::make_unique<Document::TablesMemo>(
              Document::TablesMemo{key, std::move(measured)});
          plan = &d.tables->plan;
        }
      }
      tabled = styleTableCells(source, plan);
      source = tabled;
    }
    for (int attempt = 0; archive && attempt < (prepared ? 2 : 1) && !laid.html; ++attempt) {
      r.allocationFailed = false;
      laid.html = parseAndLayOut(ctx, d, archive, attempt == 0 ? source : bytes, layout);
      // FreeType, short of memory, answers a glyph's advance with an error
      // MuPDF only warns of, and the lines come out wrong; the face keeps
      // the fault. Such a layout is not kept, as when MuPDF itself ran out,
      // and the next document gets a new font set.
      if (r.allocationFailed || measuredShort) {
        laid.reset();
        if (r.fonts.current == d.fonts) r.fonts.current.reset();
        break;
      }
      if (laid.html && attempt == 0 && prepared) {
        if (plan) finishTables(ctx, laid.html, *plan);
        if (!prepared->backgrounds.empty()) findPaints(parse, archive, laid, prepared->backgrounds);
        laid.hyphenated = std::move(prepared->hyphenated);
      }
    }
  } catch (...) {
    fz_drop_archive(ctx, archive);
    throw;
  }
  fz_drop_archive(ctx, archive);
  return laid;
}

void Laid::reset() noexcept {
  if (!ctx) return;
  for (Paint& p : paints) fz_drop_image(ctx, p.image);
  paints.clear();
  hyphenated.clear();
  dropPageList(ctx, parts);
  fz_drop_html(ctx, html);
  html = nullptr;
}

void release(fz_context*, Laid& laid) { laid.reset(); }

int32_t pagesOf(const fz_html* html) {
  const fz_html_box* root = html->tree.root;
  if (!root || html->page_h <= 0 || !(root->s.layout.b > 0)) return 1;
  float pages = std::ceil(root->s.layout.b / html->page_h);
  return pages < 1           ? 1
         : pages > kMaxPages ? static_cast<int32_t>(kMaxPages)
                             : static_cast<int32_t>(pages);
}

const Laid* laidOf(ZaveVevode& r, Document& d) {
  auto& entries = r.layouts.entries;
  for (auto it = entries.begin(); it != entries.end(); ++it)
    if (it->doc == &d) {
      entries.splice(entries.begin(), entries, it);
      return &it->laid;
    }
  Laid laid = layOut(r, d, d.bytes, d.layout, &d);
  if (!laid.html) return nullptr;
  return keep(r, &d, std::move(laid));
}

fz_html* htmlOf(ZaveVevode& r, Document& d) {
  const Laid* laid = laidOf(r, d);
  return laid ? laid->html : nullptr;
}

Document scratchDocument(ZaveVevode& r, const char16_t* path, std::string_view markup) {
  Document scratch;
  const Document* loaded = findDocument(r, path);
  std::string utf8Path = toUtf8(path);
  scratch.path = path;
  scratch.base = folderOf(utf8Path);
  scratch.css = loaded ? loaded->css : userCss(r);
  scratch.fonts = loaded ? loaded->fonts : currentFonts(r);
  scratch.layout = loaded ? loaded->layout : r.layouts.current;
  scratch.prepare = loaded ? loaded->prepare : needsPreparing(r, markup, utf8Path);
  return scratch;
}

bool loadDocument(ZaveVevode& r, const char16_t* path, const uint8_t* bytes, uint32_t length,
                  ZaveVevodeProgressCallback progress, void* context) {
  LayoutCache& c = r.layouts;
  Layout layout = c.hasPending ? c.pending : c.current;
  c.hasPending = false;
  deleteDocument(r, path);
  if (!bytes || length == 0) return false;
  if (length > kMaxDocumentBytes) {
    if (r.host.report) {
      std::u16string self = path;
      r.host.report(r.host.context, reinterpret_cast<intptr_t>(self.c_str()),
                    reinterpret_cast<intptr_t>(self.c_str()), kOverDocumentSize);
    }
    return false;
  }
  auto d = std::make_unique<Document>();
  d->path = path;
  std::string utf8Path = toUtf8(path);
  d->base = folderOf(utf8Path);
  for (auto& [href, charset] :
       linkCharsets(std::string_view(reinterpret_cast<const char*>(bytes), length))) {
    std::string sheetPath = resolveHref(utf8Path, href);
    if (!sheetPath.empty()) d->charsets.emplace_back(std::move(sheetPath), std::move(charset));
  }
  d->bytes.assign(reinterpret_cast<const char*>(bytes), length);
  d->css = userCss(r);
  d->fonts = currentFonts(r);
  d->layout = layout;
  d->prepare = needsPreparing(r, d->bytes, utf8Path);
  Laid laid = layOut(r, *d, d->bytes, layout, d.get());
  if (laid.html && !d->prepare && needsPreparing(r, d->bytes, utf8Path)) {
    // A sheet read for the first time sets background images.
    release(r.ctx, laid);
    d->prepare = true;
    laid = layOut(r, *d, d->bytes, layout, d.get());
  }
  if (!laid.html) return false;
  d->pages = pagesOf(laid.html);
  const Document* doc = d.get();
  keep(r, doc, std::move(laid));
  // Kept layouts name their document: one that fails to be stored takes
  // its layout with it.
  try {
    readObjectsForSearch(r, *d);
    c.documents.emplace(path, std::move(d));
  } catch (...) {
    forget(r, doc);
    throw;
  }
  if (progress)
    for (int32_t i = 0; i < doc->pages; ++i)
      progress(context, static_cast<uint32_t>(doc->pages), static_cast<uint32_t>(i + 1));
  return true;
}

void deleteDocument(ZaveVevode& r, const char16_t* path) {
  auto it = r.layouts.documents.find(path);
  if (it == r.layouts.documents.end()) return;
  forget(r, it->second.get());
  r.layouts.documents.erase(it);
}

void changeFontSize(ZaveVevode& r, intptr_t fontSize, int32_t allDocuments) {
  if (fontSize <= 0 || fontSize > kMaxEm) return;
  changeLayout(r, allDocuments, [&](Layout& l) { l.em = static_cast<float>(fontSize); });
}

void changePageSize(ZaveVevode& r, intptr_t size, int32_t allDocuments) {
  intptr_t w = (size >> 16) & kMaxPageSide, h = size & kMaxPageSide;
  if (w == 0 || h == 0) return;
  changeLayout(r, allDocuments, [&](Layout& l) {
    l.width = static_cast<float>(w);
    l.height = static_cast<float>(h);
  });
}

void dropLayouts(ZaveVevode& r) {
  for (LayoutCache::Entry& e : r.layouts.entries) release(r.ctx, e.laid);
  r.layouts.entries.clear();
  r.layouts.documents.clear();
}

}  // namespace pendrel_mupdf
