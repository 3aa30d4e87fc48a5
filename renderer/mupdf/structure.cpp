#include "structure.h"

#include <cstring>

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

}  // namespace

bool mayNeedRestructuring(std::string_view xhtml) {
  size_t html = xhtml.find("<html");
  if (html == std::string_view::npos) return false;
  std::string_view tag = xhtml.substr(html, xhtml.find('>', html) - html);
  return tag.find("dir") != std::string_view::npos;
}

bool restructure(fz_context* ctx, fz_xml* root) {
  return carryRootDirection(ctx, fz_xml_find(root, "html"));
}

}  // namespace pendrel_mupdf
