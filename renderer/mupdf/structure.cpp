#include "structure.h"

#include <cstring>

#include "dom_walk.h"
#include "tables.h"

namespace pendrel_mupdf {
namespace {

// Whether MuPDF would read a `dir` value as other than its default, left to
// right: its comparison is exact, so "RTL" means left to right to it too.
bool changesDirection(const char* dir) {
  return dir && (std::strcmp(dir, "rtl") == 0 || std::strcmp(dir, "auto") == 0);
}

// Gives <body> the root's direction unless it states its own.
bool carryRootDirection(fz_context* ctx, fz_xml* html) {
  const char* dir = fz_xml_att(html, "dir");
  fz_xml* body = fz_xml_find_down(html, "body");
  if (!changesDirection(dir) || !body || fz_xml_att(body, "dir")) return false;
  bool added = false;
  fz_try(ctx) {
    fz_dom_add_attribute(ctx, body, "dir", dir);
    added = true;
  }
  fz_catch(ctx) {}
  return added;
}

constexpr std::string_view kElements[] = {"article", "aside",  "details", "figcaption",
                                          "figure",  "footer", "header",  "hgroup",
                                          "main",    "nav",    "section", "summary"};

// Browsers' default rules for the elements MuPDF's own sheet leaves inline.
constexpr const char* kDefaults =
    "article,aside,details,figcaption,footer,header,hgroup,main,nav,section,summary"
    "{display:block}figure{display:block;margin:1em 40px}";

bool isElement(const char* tag) {
  for (std::string_view name : kElements)
    if (tag && name == tag) return true;
  return false;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if ((text[i] | 0x20) != prefix[i]) return false;
  return true;
}

// Whether `top` or an element under it is one of the elements.
bool holdsElement(fz_xml* top) {
  for (fz_xml* node = top; node; node = nextInTree(node, top))
    if (isElement(fz_xml_tag(node))) return true;
  return false;
}

// Whether markup may hold one of the elements (tags in any case, as the
// HTML5 parser lowercases them).
bool mayHoldHtml5Blocks(std::string_view xhtml) {
  for (size_t at = xhtml.find('<'); at != std::string_view::npos; at = xhtml.find('<', at + 1)) {
    std::string_view rest = xhtml.substr(at + 1);
    for (std::string_view name : kElements) {
      if (!startsWithNoCase(rest, name)) continue;
      // The whole name: <navbar> is no <nav>.
      if (rest.size() == name.size() ||
          std::string_view(" \t\r\n/>").find(rest[name.size()]) != std::string_view::npos)
        return true;
    }
  }
  return false;
}

// When the document holds one of the elements, gives it browsers' default
// rules for them as a <style> element first in its head (made when
// missing), so that its own style sheets still override them.
bool addHtml5Defaults(fz_context* ctx, fz_xml* dom) {
  fz_xml* root = fz_xml_root(dom);
  fz_xml* html = fz_xml_find(root, "html");
  if (!html || !holdsElement(html)) return false;
  volatile bool added = false;
  fz_try(ctx) {
    fz_xml* head = fz_xml_find_down(html, "head");
    if (!head) {
      head = fz_dom_create_element(ctx, dom, "head");
      if (fz_xml_down(html))
        fz_dom_insert_before(ctx, fz_xml_down(html), head);
      else
        fz_dom_append_child(ctx, html, head);
    }
    fz_xml* style = fz_dom_create_element(ctx, dom, "style");
    fz_dom_append_child(ctx, style, fz_dom_create_text_node(ctx, dom, kDefaults));
    if (fz_xml_down(head))
      fz_dom_insert_before(ctx, fz_xml_down(head), style);
    else
      fz_dom_append_child(ctx, head, style);
    added = true;
  }
  fz_catch(ctx) {}
  return added;
}

// fz_dom_insert_before, false when MuPDF fails.
bool insertBefore(fz_context* ctx, fz_xml* existing, fz_xml* node) {
  fz_try(ctx) { fz_dom_insert_before(ctx, existing, node); }
  fz_catch(ctx) { return false; }
  return true;
}

// Moves each table's <caption> to just before the table: MuPDF's box
// builder hangs it on the block around the table, after the table's rows,
// where browsers set it above them.
bool raiseCaptions(fz_context* ctx, fz_xml* top) {
  bool moved = false;
  for (fz_xml* node = top; node; node = nextInTree(node, top)) {
    fz_xml* caption = fz_xml_is_tag(node, "table") ? fz_xml_find_down(node, "caption") : nullptr;
    if (caption && insertBefore(ctx, node, caption)) moved = true;
  }
  return moved;
}

}  // namespace

bool mayNeedRestructuring(std::string_view xhtml) {
  size_t html = xhtml.find("<html");
  if (xhtml.find("<caption") != std::string_view::npos || mayHoldTables(xhtml)) return true;
  if (html == std::string_view::npos) return mayHoldHtml5Blocks(xhtml);
  std::string_view tag = xhtml.substr(html, xhtml.find('>', html) - html);
  return tag.find("dir") != std::string_view::npos || mayHoldHtml5Blocks(xhtml);
}

bool restructure(fz_context* ctx, fz_xml* dom) {
  fz_xml* html = fz_xml_find(fz_xml_root(dom), "html");
  const bool carried = carryRootDirection(ctx, html);
  const bool raised = html && raiseCaptions(ctx, html);
  return addHtml5Defaults(ctx, dom) || carried || raised;
}

}  // namespace pendrel_mupdf
