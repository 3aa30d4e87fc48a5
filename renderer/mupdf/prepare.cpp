#include "prepare.h"

#include <cstring>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "css_text.h"
#include "dom_walk.h"
#include "mupdf_html.h"
#include "structure.h"
#include "svg_images.h"
#include "tables.h"

namespace pendrel_mupdf {
namespace {

bool equalsNoCase(const char* a, const char* b) { return a && fz_strcasecmp(a, b) == 0; }

// Whether an <object> shows an image: its type says so, or (untyped) its
// data names an image file.
bool isImageObject(const char* data, const char* type) {
  if (!data || !*data) return false;
  if (type) return fz_strncasecmp(type, "image/", 6) == 0;
  std::string_view name(data);
  name = name.substr(0, std::min(name.find('?'), name.find('#')));
  for (std::string_view ext : {".png", ".jpg", ".jpeg", ".gif", ".svg", ".bmp", ".tif", ".tiff",
                               ".jxr", ".jp2", ".pnm", ".ppm"})
    if (endsWithNoCase(name, ext)) return true;
  return false;
}

// Whether a name parses back as an XML name (the HTML5 parser accepts more).
bool isXmlName(const char* name) {
  if (!name || !*name) return false;
  auto c0 = static_cast<unsigned char>(name[0]);
  if (c0 == '-' || c0 == '.' || (c0 >= '0' && c0 <= '9')) return false;
  for (const char* p = name; *p; ++p) {
    auto c = static_cast<unsigned char>(*p);
    if (!(c >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
          c == '_' || c == ':' || c == '-' || c == '.'))
      return false;
  }
  return true;
}

void escape(std::string& out, const char* text, bool attribute) {
  for (const char* p = text; *p; ++p) {
    switch (*p) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        if (attribute) {
          out += "&quot;";
          break;
        }
        [[fallthrough]];
      default:
        out += *p;
    }
  }
}

// The concatenated text children of an element.
std::string textOf(fz_xml* element) {
  std::string text;
  for (fz_xml* child = fz_xml_down(element); child; child = fz_xml_next(child))
    if (const char* t = fz_xml_text(child)) text += t;
  return text;
}

struct Edits {
  std::unordered_set<fz_xml*> objects;              // written as <img src=data>
  std::unordered_map<fz_xml*, std::string> styles;  // <style> text replaced
  std::unordered_map<fz_xml*, std::string> ids;     // id attribute added
  std::unordered_map<fz_xml*, std::string> texts;   // text replaced
  std::unordered_map<fz_xml*, size_t> cells;        // table cell: content wrapped
  std::unordered_set<fz_xml*> omitted;              // left out, with their content
  bool checkNames = false;                          // drop names XML refuses
};

// Attributes an element may have for the document to be prepared: MuPDF
// lists them by walking from the first each time, so more would cost time
// quadratic in their number.
constexpr int kMaxAttributes = 256;

// The attributes of an element in the order the parser read them (it keeps
// them last first), so writing them out and parsing again gives the same
// list; nullopt past kMaxAttributes.
std::optional<std::vector<std::pair<const char*, const char*>>> attributesOf(fz_context* ctx,
                                                                             fz_xml* element) {
  std::vector<std::pair<const char*, const char*>> list;
  for (int i = 0;; ++i) {
    const char* name = nullptr;
    const char* value = fz_dom_get_attribute(ctx, element, i, &name);
    if (!name) break;
    if (i == kMaxAttributes) return std::nullopt;
    list.emplace_back(name, value ? value : "");
  }
  return std::vector<std::pair<const char*, const char*>>(list.rbegin(), list.rend());
}

// Writes the start tag; returns whether the element's children follow, or
// nullopt when the element has too many attributes.
std::optional<bool> open(fz_context* ctx, fz_xml* element, const Edits& edits, std::string& out) {
  const char* tag = fz_xml_tag(element);
  bool object = edits.objects.count(element) > 0;
  auto attributes = attributesOf(ctx, element);
  if (!attributes) return std::nullopt;
  out += '<';
  out += object ? "img" : tag;
  for (const auto& [name, value] : *attributes) {
    if (object && (std::strcmp(name, "data") == 0 || std::strcmp(name, "type") == 0)) continue;
    if (edits.checkNames && !isXmlName(name)) continue;
    out += ' ';
    out += name;
    out += "=\"";
    escape(out, value, true);
    out += '"';
  }
  if (object) {
    out += " src=\"";
    escape(out, fz_xml_att(element, "data"), true);
    out += '"';
  }
  if (auto id = edits.ids.find(element); id != edits.ids.end()) {
    out += " id=\"";
    out += id->second;
    out += '"';
  }
  if (object) {
    out += "/>";
    return false;
  }
  if (auto style = edits.styles.find(element); style != edits.styles.end()) {
    out += '>';
    escape(out, style->second.c_str(), false);
    out += "</";
    out += tag;
    out += '>';
    return false;
  }
  auto cell = edits.cells.find(element);
  if (!fz_xml_down(element) && cell == edits.cells.end()) {
    out += "/>";
    return false;
  }
  out += '>';
  if (cell != edits.cells.end()) out += cellStart(cell->second);
  if (fz_xml_down(element)) return true;
  out += kCellEnd;
  out += "</";
  out += tag;
  out += '>';
  return false;
}

// The DOM as well-formed XHTML, with the edits applied (an element whose
// name would not parse back gives way to its content); nullopt when an
// element has too many attributes.
std::optional<std::string> serialize(fz_context* ctx, fz_xml* root, const Edits& edits,
                                     size_t reserve) {
  std::string out;
  out.reserve(reserve + reserve / 8);
  fz_xml* node = root;
  while (node) {
    const char* tag = fz_xml_tag(node);
    bool descend = false;
    if (const char* text = fz_xml_text(node)) {
      auto replaced = edits.texts.find(node);
      escape(out, replaced == edits.texts.end() ? text : replaced->second.c_str(), false);
    } else if (edits.omitted.count(node)) {
      descend = false;
    } else if (tag && (!edits.checkNames || isXmlName(tag))) {
      std::optional<bool> children = open(ctx, node, edits, out);
      if (!children) return std::nullopt;
      descend = *children;
    } else {
      // An element without a name (or one XML refuses): its content only.
      descend = fz_xml_down(node) != nullptr;
    }
    if (descend) {
      node = fz_xml_down(node);
      continue;
    }
    while (node && !fz_xml_next(node)) {
      node = fz_xml_up(node);
      const char* name = node ? fz_xml_tag(node) : nullptr;
      if (name && (!edits.checkNames || isXmlName(name))) {
        if (edits.cells.count(node)) out += kCellEnd;
        out += "</";
        out += name;
        out += '>';
      }
    }
    node = node ? fz_xml_next(node) : nullptr;
  }
  return out;
}

fz_xml* parseDom(fz_context* ctx, std::string_view xhtml, bool* html5) {
  fz_buffer* buf = nullptr;
  fz_xml* volatile dom = nullptr;
  volatile bool lenient = false;
  fz_var(buf);
  fz_try(ctx) {
    buf = fz_new_buffer_from_copied_data(ctx, reinterpret_cast<const unsigned char*>(xhtml.data()),
                                         xhtml.size());
    fz_try(ctx) { dom = fz_parse_xml(ctx, buf, 1); }
    fz_catch(ctx) {
      if (fz_caught(ctx) != FZ_ERROR_SYNTAX) fz_rethrow(ctx);
      lenient = true;
      dom = fz_parse_xml_from_html5(ctx, buf);
    }
  }
  fz_always(ctx) { fz_drop_buffer(ctx, buf); }
  fz_catch(ctx) { dom = nullptr; }
  *html5 = lenient;
  return dom;
}

// Adds a sheet's background rules to `css` (made on first use); a sheet
// MuPDF's parser rejects adds nothing, as it styles nothing either.
void addRules(fz_context* ctx, fz_css** css, const std::string& rules) {
  fz_try(ctx) {
    if (!*css) *css = fz_new_css(ctx);
    fz_parse_css(ctx, *css, rules.c_str(), "<background>");
  }
  fz_catch(ctx) {}
}

// MuPDF's pools pack objects without aligning them: values are read by
// copying their bytes.
fz_css_value valueAt(const fz_css_value* p) {
  fz_css_value value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

// Whether the first layer of a value list (up to a comma) holds a keyword.
bool hasKeyword(const fz_css_value* p, const char* word) {
  for (; p; p = valueAt(p).next) {
    fz_css_value value = valueAt(p);
    if (value.type == ',') break;
    if (value.type == CSS_KEYWORD && equalsNoCase(value.data, word)) return true;
  }
  return false;
}

// A position keyword's fraction and axis ('x', 'y', or 0 for center).
bool positionKeyword(const char* word, float* fraction, char* axis) {
  static const struct {
    const char* word;
    float fraction;
    char axis;
  } keywords[] = {{"left", 0, 'x'},
                  {"right", 1, 'x'},
                  {"top", 0, 'y'},
                  {"bottom", 1, 'y'},
                  {"center", 0.5f, 0}};
  for (const auto& k : keywords)
    if (equalsNoCase(word, k.word)) {
      *fraction = k.fraction;
      *axis = k.axis;
      return true;
    }
  return false;
}

// Background-position from the first layer of a value list, up to a comma
// or the '/' before a size: one or two keywords, percentages or lengths
// (px, pt, or a bare 0).
void readPosition(const fz_css_value* p, Background& b) {
  struct Item {
    Offset offset;
    char axis;
  };
  Item items[2];
  int count = 0;
  for (; p && count < 2; p = valueAt(p).next) {
    fz_css_value v = valueAt(p);
    if (v.type == ',' || v.type == '/') break;
    Item item{{}, 0};
    float fraction = 0;
    if (v.type == CSS_KEYWORD && positionKeyword(v.data, &fraction, &item.axis)) {
      item.offset.fraction = fraction;
    } else if (v.type == CSS_PERCENT && v.data) {
      item.offset.fraction = fz_atof(v.data) / 100;
    } else if ((v.type == CSS_LENGTH || v.type == CSS_NUMBER) && v.data) {
      float number = fz_atof(v.data);
      std::string_view unit(v.data);
      unit.remove_prefix(std::min(unit.find_first_not_of("+-.0123456789"), unit.size()));
      if (unit == "px")
        item.offset.points = number * 72 / 96;
      else if (unit == "pt" || number == 0)
        item.offset.points = number;
      else
        continue;
    } else {
      continue;
    }
    items[count++] = item;
  }
  if (count == 0) return;
  Offset center{0.5f, 0};
  if (count == 1) {
    b.x = items[0].axis == 'y' ? center : items[0].offset;
    b.y = items[0].axis == 'y' ? items[0].offset : center;
    return;
  }
  bool swapped = items[0].axis == 'y' || items[1].axis == 'x';
  b.x = items[swapped ? 1 : 0].offset;
  b.y = items[swapped ? 0 : 1].offset;
}

// The background an element's matched rules give it, if any.
std::optional<Background> backgroundOf(const fz_css_match& match) {
  const fz_css_value* value = match.value[PRO_SRC];
  const char* uri = nullptr;
  for (const fz_css_value* p = value; p && !uri; p = valueAt(p).next) {
    fz_css_value v = valueAt(p);
    if (v.type == CSS_URI && v.data && v.data[0] == '/') uri = v.data;
  }
  if (!uri) return std::nullopt;
  Background b;
  b.image = resolveHref("", uri);
  if (b.image.empty()) return std::nullopt;
  const fz_css_value* repeat =
      match.value[PRO_WIDOWS] && match.spec[PRO_WIDOWS] >= match.spec[PRO_SRC]
          ? match.value[PRO_WIDOWS]
          : value;
  if (hasKeyword(repeat, "no-repeat")) b.repeat = 0;
  if (hasKeyword(repeat, "repeat-x")) b.repeat = kRepeatX;
  if (hasKeyword(repeat, "repeat-y")) b.repeat = kRepeatY;
  const fz_css_value* size =
      match.value[PRO_ORPHANS] && match.spec[PRO_ORPHANS] >= match.spec[PRO_SRC]
          ? match.value[PRO_ORPHANS]
          : value;
  if (hasKeyword(size, "cover")) b.size = BackgroundSize::Cover;
  if (hasKeyword(size, "contain")) b.size = BackgroundSize::Contain;
  readPosition(match.value[PRO_QUOTES] && match.spec[PRO_QUOTES] >= match.spec[PRO_SRC]
                   ? match.value[PRO_QUOTES]
                   : value,
               b);
  return b;
}

// Replaces an attribute's value (the DOM reads entities in values it is
// given, so '&' goes in as a reference).
void setAttribute(fz_context* ctx, fz_xml* element, const char* name, const std::string& value) {
  std::string escaped;
  escape(escaped, value.c_str(), false);
  fz_try(ctx) {
    fz_dom_remove_attribute(ctx, element, name);
    fz_dom_add_attribute(ctx, element, name, escaped.c_str());
  }
  fz_catch(ctx) {}
}

bool match(fz_context* ctx, fz_css* css, fz_xml* element, fz_css_match* out) {
  fz_try(ctx) { fz_match_css(ctx, out, nullptr, css, element); }
  fz_catch(ctx) { return false; }
  return true;
}

}  // namespace

std::optional<Prepared> prepare(fz_context* ctx, std::string_view xhtml, const std::string& path,
                                const PrepareHost& host) {
  bool html5 = false;
  fz_xml* dom = parseDom(ctx, xhtml, &html5);
  if (!dom) return std::nullopt;
  // The DOM and the background rules are MuPDF's: given back however this
  // ends, std::bad_alloc included.
  fz_css* css = nullptr;
  struct Drop {
    fz_context* ctx;
    fz_xml* dom;
    fz_css*& css;
    ~Drop() {
      fz_drop_css(ctx, css);
      fz_drop_xml(ctx, dom);
    }
  } drop{ctx, dom, css};
  Edits edits;
  edits.checkNames = html5;
  Prepared prepared;
  bool styled = false;  // some style attribute sets a background image
  const size_t inlined = host.svg ? inlineSvgImages(ctx, dom, path, host.svg) : 0;
  fz_xml* root = fz_xml_root(dom);
  bool restructured = restructure(ctx, dom);

  // The head's style sheets, in the order MuPDF reads them: their imports
  // followed, their background rules collected, their text kept for
  // hyphenation.
  const bool hyphenating = host.hyphenation.mode != Hyphenation::Off;
  std::vector<std::string> sheets;
  fz_xml* head = fz_xml_find_down(fz_xml_find(root, "html"), "head");
  for (fz_xml* node = fz_xml_down(head); node; node = fz_xml_next(node)) {
    if (fz_xml_is_tag(node, "link")) {
      const char* type = fz_xml_att(node, "type");
      const char* href = fz_xml_att(node, "href");
      if (!equalsNoCase(fz_xml_att(node, "rel"), "stylesheet") || !href ||
          (type && std::strcmp(type, "text/css") != 0))
        continue;
      std::string sheetPath = resolveHref(path, href);
      std::optional<std::string> text;
      if (!sheetPath.empty()) text = host.sheet(sheetPath);
      if (text && hyphenating) sheets.push_back(*text);
      if (text && collapsesBorders(*text)) prepared.tables.collapse = true;
      if (text && setsBackgroundImage(*text))
        addRules(ctx, &css, backgroundRules(*text, sheetPath));
    } else if (fz_xml_is_tag(node, "style")) {
      std::string text = textOf(node);
      if (text.find("@import") != std::string::npos) {
        text = expandImports(text, path, host.sheet);
        edits.styles[node] = text;
      }
      if (collapsesBorders(text)) prepared.tables.collapse = true;
      if (setsBackgroundImage(text)) addRules(ctx, &css, backgroundRules(text, path));
      if (hyphenating) sheets.push_back(std::move(text));
    }
  }
  TableMarkup tables = findTableCells(root, prepared.tables);
  for (size_t n = 0; n < tables.cells.size(); ++n) edits.cells.emplace(tables.cells[n], n);
  for (auto& [element, hints] : tables.hints) {
    const char* own = fz_xml_att(element, "style");
    setAttribute(ctx, element, "style", hints + (own ? own : ""));
  }
  edits.texts = hyphenateDocument(root, host.hyphenation, sheets, prepared.hyphenated);

  // Image objects the host has; style attributes with background images.
  for (fz_xml* node = root; node; node = nextInTree(node)) {
    if (!fz_xml_tag(node)) continue;
    if (fz_xml_is_tag(node, "object")) {
      const char* data = fz_xml_att(node, "data");
      if (isImageObject(data, fz_xml_att(node, "type"))) {
        std::string image = resolveHref(path, data);
        if (!image.empty() && host.has(image)) edits.objects.insert(node);
      }
    }
    const char* style = fz_xml_att(node, "style");
    if (style && setsBackgroundImage(style)) {
      setAttribute(ctx, node, "style", backgroundRules(style, path));
      styled = true;
    }
  }

  // Every element the background rules match gets an id to find its box by.
  if (styled && !css) addRules(ctx, &css, "");
  if (css) {
    size_t given = 0;
    for (fz_xml* node = root; node; node = nextInTree(node)) {
      if (!fz_xml_tag(node) || edits.objects.count(node)) continue;
      fz_css_match m;
      if (!match(ctx, css, node, &m)) continue;
      std::optional<Background> background = backgroundOf(m);
      if (!background) continue;
      const char* id = fz_xml_att(node, "id");
      if (id && *id) {
        background->id = id;
      } else {
        background->id = kIdPrefix + std::to_string(given++);
        edits.ids[node] = background->id;
      }
      prepared.backgrounds.push_back(std::move(*background));
    }
  }

  // Markup that needed the HTML5 parser is written back even unedited: as
  // well-formed XHTML it spares MuPDF that parse, and elements the parser
  // left without a name (which MuPDF's box builder cannot take) give way to
  // their content.
  std::optional<std::string> text;
  if (html5 || inlined || restructured || !edits.objects.empty() || !edits.styles.empty() ||
      !edits.texts.empty() || !edits.cells.empty() || !prepared.backgrounds.empty())
    text = serialize(ctx, root, edits, xhtml.size());
  if (!text) return std::nullopt;
  prepared.xhtml = std::move(*text);
  // The markup its tables are measured in: the body's content without
  // what holds no table.
  if (!tables.cells.empty() && host.measureTables) {
    edits.omitted = outsideTables(root, tables.tables);
    std::optional<std::string> measuring = serialize(ctx, root, edits, prepared.xhtml.size());
    if (measuring) prepared.measuring = std::move(*measuring);
  }
  return prepared;
}

}  // namespace pendrel_mupdf
