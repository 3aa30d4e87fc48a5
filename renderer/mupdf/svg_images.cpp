#include "svg_images.h"

#include <algorithm>
#include <charconv>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "budgets.h"
#include "css_text.h"
#include "dom_walk.h"

namespace pendrel_mupdf {
namespace {

// A rectangle in user units.
struct Box {
  float x = 0, y = 0, w = 0, h = 0;
};

// A length in user units: a number, in px or pt; 0 when absent or in
// units that need a reference (percentages, ems).
float lengthOf(const char* text) {
  if (!text) return 0;
  char* end = nullptr;
  float value = fz_strtof(text, &end);
  std::string_view unit(end ? end : "");
  if (unit.empty() || unit == "px") return value;
  return unit == "pt" ? value * 4 / 3 : 0;
}

// A viewBox: four numbers apart by white space or commas, with a size.
std::optional<Box> viewBoxOf(const char* text) {
  if (!text) return std::nullopt;
  float v[4];
  const char* p = text;
  for (float& number : v) {
    while (*p == ' ' || *p == ',' || *p == '\t' || *p == '\n' || *p == '\r') ++p;
    char* end = nullptr;
    number = fz_strtof(p, &end);
    if (!end || end == p) return std::nullopt;
    p = end;
  }
  if (!(v[2] > 0 && v[3] > 0)) return std::nullopt;
  return Box{v[0], v[1], v[2], v[3]};
}

// preserveAspectRatio: stretched ("none"), or scaled uniformly to fit
// ("meet", the default) or to fill ("slice"), aligned by fractions of the
// room left.
struct Aspect {
  bool none = false, slice = false;
  float x = 0.5f, y = 0.5f;
};

Aspect aspectOf(const char* text) {
  Aspect a;
  std::string_view s(text ? text : "");
  auto has = [&](std::string_view word) { return s.find(word) != std::string_view::npos; };
  a.none = has("none");
  a.slice = has("slice");
  if (has("xMin")) a.x = 0;
  if (has("xMax")) a.x = 1;
  if (has("YMin")) a.y = 0;
  if (has("YMax")) a.y = 1;
  return a;
}

void appendNumber(std::string& out, float value) {
  char buf[32];
  auto [end, error] = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, error == std::errc() ? end : buf);
}

// The transform drawing `content` (the file's box) in `viewport`. MuPDF
// 1.21's SVG reader clips nothing, so a slice overflows its box: only the
// image the inline <svg> becomes cuts it.
std::string placement(const Box& content, const Box& viewport, const Aspect& a) {
  float sx = viewport.w / content.w, sy = viewport.h / content.h;
  if (!a.none) sx = sy = a.slice ? std::max(sx, sy) : std::min(sx, sy);
  const float tx = viewport.x + a.x * (viewport.w - content.w * sx) - content.x * sx;
  const float ty = viewport.y + a.y * (viewport.h - content.h * sy) - content.y * sy;
  std::string out = "matrix(";
  for (float v : {sx, 0.f, 0.f, sy, tx, ty}) {
    appendNumber(out, v);
    out += ' ';
  }
  out.back() = ')';
  return out;
}

const char* hrefOf(fz_xml* element) {
  const char* href = fz_xml_att(element, "xlink:href");
  return href ? href : fz_xml_att(element, "href");
}

bool namesSvgFile(std::string_view href) {
  if (href.substr(0, 5) == "data:") return false;
  return endsWithNoCase(href.substr(0, std::min(href.find('?'), href.find('#'))), ".svg");
}

// Elements above `node`, and whether one of them is an <svg>.
size_t depthOf(fz_xml* node, bool* inSvg) {
  size_t depth = 0;
  for (fz_xml* up = fz_xml_up(node); up; up = fz_xml_up(up), ++depth)
    *inSvg = *inSvg || fz_xml_is_tag(up, "svg");
  return depth;
}

struct DropXml {
  fz_context* ctx;
  void operator()(fz_xml* xml) const { fz_drop_xml(ctx, xml); }
};
using XmlPtr = std::unique_ptr<fz_xml, DropXml>;

// An SVG file as MuPDF's SVG reader parses it, with its box and cost.
struct Drawing {
  XmlPtr xml;  // null: unusable
  Box box;
  size_t bytes = 0;
  uint64_t elements = 0;
};

Drawing load(fz_context* ctx, const SvgReader& read, const std::string& file) {
  Drawing d{XmlPtr(nullptr, DropXml{ctx}), {}, 0, 0};
  std::optional<std::string> text = read(file);
  if (!text) return d;
  d.bytes = text->size();
  d.elements = svgElements(*text);
  fz_buffer* buf = nullptr;
  fz_xml* volatile xml = nullptr;
  fz_var(buf);
  fz_try(ctx) {
    buf = fz_new_buffer_from_copied_data(ctx, reinterpret_cast<const unsigned char*>(text->data()),
                                         text->size());
    xml = fz_parse_xml(ctx, buf, 0);
  }
  fz_always(ctx) { fz_drop_buffer(ctx, buf); }
  fz_catch(ctx) { xml = nullptr; }
  d.xml.reset(xml);
  fz_xml* root = xml ? fz_xml_root(xml) : nullptr;
  if (!fz_xml_is_tag(root, "svg")) {
    d.xml.reset();
    return d;
  }
  if (std::optional<Box> box = viewBoxOf(fz_xml_att(root, "viewBox")))
    d.box = *box;
  else
    d.box = {0, 0, lengthOf(fz_xml_att(root, "width")), lengthOf(fz_xml_att(root, "height"))};
  return d;
}

// Builds nodes in the document's DOM, each step inside MuPDF's frames.
struct Builder {
  fz_context* ctx;
  fz_xml* dom;
  std::string file, folder;  // the drawing's path; the document's folder ("" = root)
  std::string prefix;        // the drawing's ids, made unique in the document

  fz_xml* element(const char* tag, fz_xml* parent) {
    fz_xml* volatile e = nullptr;
    fz_try(ctx) {
      e = fz_dom_create_element(ctx, dom, tag);
      if (e && parent) fz_dom_append_child(ctx, parent, e);
    }
    fz_catch(ctx) { e = nullptr; }
    return e;
  }
  bool text(const char* t, fz_xml* parent) {
    fz_try(ctx) { fz_dom_append_child(ctx, parent, fz_dom_create_text_node(ctx, dom, t)); }
    fz_catch(ctx) { return false; }
    return true;
  }
  // The DOM reads entities in the values it is given: '&' goes in as one.
  bool attribute(fz_xml* e, const char* name, std::string_view value) {
    std::string escaped;
    for (char c : value) escaped += c == '&' ? std::string_view("&amp;") : std::string_view(&c, 1);
    fz_try(ctx) { fz_dom_add_attribute(ctx, e, name, escaped.c_str()); }
    fz_catch(ctx) { return false; }
    return true;
  }

  // An attribute of the drawing as the document reads it: ids and
  // references to them take the prefix; hrefs to files are written for the
  // document's folder.
  std::string rewritten(std::string_view name, std::string_view value) const {
    if (name == "id") return prefix + std::string(value);
    if (name != "href" && name != "xlink:href") return std::string(value);
    if (value.substr(0, 1) == "#") return "#" + prefix + std::string(value.substr(1));
    std::string full = resolveHref(file, value);
    return full.empty() ? std::string(value) : relativePath(folder, full);
  }

  // Copies `from`'s attributes to `to` but those `skip` names.
  bool attributes(fz_xml* from, fz_xml* to, bool (*skip)(std::string_view)) {
    for (int i = 0;; ++i) {
      const char* name = nullptr;
      const char* value = fz_dom_get_attribute(ctx, from, i, &name);
      if (!name) return true;
      if (!skip(name) && !attribute(to, name, rewritten(name, value ? value : ""))) return false;
    }
  }

  // Copies the children of `from` under `to`, `depth` elements deep in the
  // document; false past the nesting budget or when MuPDF fails.
  bool children(fz_xml* from, fz_xml* to, size_t depth) {
    if (depth > kMaxNesting) return false;
    for (fz_xml* child = fz_xml_down(from); child; child = fz_xml_next(child)) {
      if (const char* t = fz_xml_text(child)) {
        if (!text(t, to)) return false;
      } else if (const char* tag = fz_xml_tag(child)) {
        fz_xml* copy = element(tag, to);
        if (!copy || !attributes(child, copy, [](std::string_view) { return false; }) ||
            !children(child, copy, depth + 1))
          return false;
      }
    }
    return true;
  }
};

// What the <image> gives its group: all but its box and reference (the
// transform is joined with the placement).
bool imageOnly(std::string_view name) {
  for (std::string_view own :
       {"x", "y", "width", "height", "href", "xlink:href", "preserveAspectRatio", "transform"})
    if (name == own) return true;
  return false;
}

// What the drawing's root gives its group: all but what makes it a viewport
// and its namespaces.
bool rootOnly(std::string_view name) {
  for (std::string_view own :
       {"x", "y", "width", "height", "viewBox", "preserveAspectRatio", "version", "baseProfile"})
    if (name == own) return true;
  return name == "xmlns" || name.substr(0, 6) == "xmlns:";
}

// The <image> replaced by a group placing the drawing, under which a group
// with the root's attributes holds the drawing's content.
bool replace(Builder& b, fz_xml* image, const Drawing& d, size_t depth) {
  Box viewport{lengthOf(fz_xml_att(image, "x")), lengthOf(fz_xml_att(image, "y")),
               lengthOf(fz_xml_att(image, "width")), lengthOf(fz_xml_att(image, "height"))};
  if (viewport.w <= 0) viewport.w = d.box.w;
  if (viewport.h <= 0) viewport.h = d.box.h;
  if (!(viewport.w > 0 && viewport.h > 0 && d.box.w > 0 && d.box.h > 0)) return false;
  const char* own = fz_xml_att(image, "transform");
  std::string transform = own ? std::string(own) + " " : std::string();
  transform += placement(d.box, viewport, aspectOf(fz_xml_att(image, "preserveAspectRatio")));
  fz_xml* root = fz_xml_root(d.xml.get());
  fz_xml* outer = b.element("g", nullptr);
  fz_xml* inner = outer ? b.element("g", outer) : nullptr;
  if (!inner || !b.attributes(image, outer, imageOnly) ||
      !b.attribute(outer, "transform", transform) || !b.attributes(root, inner, rootOnly) ||
      !b.children(root, inner, depth + 2))
    return false;
  fz_try(b.ctx) {
    fz_dom_insert_before(b.ctx, image, outer);
    fz_dom_remove(b.ctx, image);
  }
  fz_catch(b.ctx) { return false; }
  return true;
}

}  // namespace

bool mayHoldSvgImages(std::string_view xhtml) {
  for (size_t at = xhtml.find("image"); at != std::string_view::npos;
       at = xhtml.find("image", at + 5)) {
    if (at == 0 || (xhtml[at - 1] != '<' && xhtml[at - 1] != ':')) continue;
    std::string_view tag = xhtml.substr(at, xhtml.find('>', at) - at);
    if (tag.find(".svg") != std::string_view::npos || tag.find(".SVG") != std::string_view::npos)
      return true;
  }
  return false;
}

size_t inlineSvgImages(fz_context* ctx, fz_xml* dom, const std::string& path,
                       const SvgReader& read) {
  struct Target {
    fz_xml* image;
    std::string file;
    size_t depth;
  };
  std::vector<Target> targets;
  for (fz_xml* node = fz_xml_root(dom); node; node = nextInTree(node)) {
    const char* href = fz_xml_is_tag(node, "image") ? hrefOf(node) : nullptr;
    if (!href || !namesSvgFile(href)) continue;
    bool inSvg = false;
    size_t depth = depthOf(node, &inSvg);
    std::string file = resolveHref(path, href);
    if (inSvg && !file.empty()) targets.push_back({node, std::move(file), depth});
  }
  if (targets.empty()) return 0;
  std::string folder = folderOf(path);
  Builder b{ctx, dom, {}, folder == "." ? std::string() : folder, {}};
  std::unordered_map<std::string, Drawing> drawings;
  size_t bytes = 0, inlined = 0;
  uint64_t elements = 0;
  for (const Target& t : targets) {
    auto known = drawings.find(t.file);
    if (known == drawings.end()) known = drawings.emplace(t.file, load(ctx, read, t.file)).first;
    const Drawing& d = known->second;
    if (!d.xml || bytes + d.bytes > kMaxSvgBytes || elements + d.elements > kMaxSvgElements)
      continue;
    b.file = t.file;
    b.prefix = "pendrel-svg-" + std::to_string(inlined) + "-";
    if (!replace(b, t.image, d, t.depth)) continue;
    bytes += d.bytes;
    elements += d.elements;
    ++inlined;
  }
  return inlined;
}

}  // namespace pendrel_mupdf
