#include "pdf_output.h"

#include <EpubReader/pendrel_mupdf.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "css_text.h"

extern "C" {
#include <mupdf/pdf.h>
}

namespace pendrel_mupdf {

namespace {

// A place in the host's pages: a page (-1: none) and a height from its top.
struct Destination {
  int32_t page = -1;
  float y = 0;
};

struct PendingLink {
  int pdfPage;
  float pageHeight;
  fz_rect rect;
  std::string uri;  // an external link's, else empty
  Destination to;
};

// What a PDF being written keeps between draws; the record's `state`.
struct PdfOutput {
  fz_context* ctx = nullptr;
  pdf_document* doc = nullptr;
  std::unordered_map<int32_t, int> pdfPageOf;  // host page -> PDF page
  std::vector<float> pageHeights;              // per PDF page
  std::vector<PendingLink> links;
};

void forget(PendrelPdf& pdf) {
  auto* out = static_cast<PdfOutput*>(pdf.state);
  if (out) pdf_drop_document(out->ctx, out->doc);
  delete out;
  pdf.state = nullptr;
}

void fail(PendrelPdf& pdf, const char* why) {
  std::snprintf(pdf.error, sizeof pdf.error, "%s", why);
  pdf.status = PENDREL_PDF_FAILED;
  forget(pdf);
}

// The height of the element with this id from the layout's top, or -1.
float targetY(fz_context* ctx, fz_html* html, const char* id) {
  volatile float y = -1;
  fz_try(ctx) { y = fz_find_html_target(ctx, html, id); }
  fz_catch(ctx) { y = -1; }
  return y;
}

// Where a full container path with an optional #fragment lies in the
// host's pages: the page holding the element of that id, else the
// document's first page; none for a document the record does not list.
Destination locate(const PendrelPdf& pdf, const PdfPageSource& source, std::string_view target) {
  const size_t hash = target.find('#');
  const std::string_view path = target.substr(0, hash);
  const PendrelPdfDocument* doc = nullptr;
  for (int32_t i = 0; i < pdf.documentCount && !doc; ++i)
    if (pdf.documents[i].path && path == pdf.documents[i].path) doc = &pdf.documents[i];
  if (!doc) return {};
  Destination start{doc->firstPage, 0};
  if (hash == std::string_view::npos || hash + 1 >= target.size()) return start;
  const std::string id = percentDecoded(target.substr(hash + 1));
  fz_html* html = source.layoutOf(std::string(path));
  if (!html || html->page_h <= 0) return start;
  const float y = targetY(source.ctx, html, id.c_str());
  if (!(y >= 0)) return start;
  const float page = std::floor(y / html->page_h);
  if (page > 1e6f) return start;
  return {doc->firstPage + static_cast<int32_t>(page),
          y - page * html->page_h + html->page_margin[BOX_T]};
}

// The target of a link as MuPDF gives it for a page of the document at
// `path`: external (kept as a URI), else a full container path and fragment.
std::string linkTarget(fz_context* ctx, const std::string& path, const char* uri, bool& external) {
  external = fz_is_external_link(ctx, uri) != 0;
  if (external) return uri;
  std::string_view href(uri);
  const size_t hash = href.find('#');
  std::string fragment = hash == std::string_view::npos ? "" : std::string(href.substr(hash));
  std::string file = hash == 0 ? path : resolveHref(path, href.substr(0, hash));
  return file.empty() ? "" : file + fragment;
}

pdf_obj* destinationArray(fz_context* ctx, pdf_document* doc, int pdfPage, float pageHeight,
                          float y) {
  pdf_obj* dest = pdf_new_array(ctx, doc, 5);
  fz_try(ctx) {
    pdf_array_push(ctx, dest, pdf_lookup_page_obj(ctx, doc, pdfPage));
    pdf_array_push(ctx, dest, PDF_NAME(XYZ));
    pdf_array_push_int(ctx, dest, 0);
    pdf_array_push_real(ctx, dest, pageHeight - y);
    pdf_array_push(ctx, dest, PDF_NULL);
  }
  fz_catch(ctx) {
    pdf_drop_obj(ctx, dest);
    fz_rethrow(ctx);
  }
  return dest;
}

// One link annotation on its page: a URI action for an external link,
// else a destination on PDF page `toPage`.
void addLink(fz_context* ctx, PdfOutput& out, const PendingLink& link, int toPage) {
  pdf_obj* annot = nullptr;
  fz_var(annot);
  fz_try(ctx) {
    pdf_obj* page = pdf_lookup_page_obj(ctx, out.doc, link.pdfPage);
    annot = pdf_add_new_dict(ctx, out.doc, 5);
    pdf_dict_put(ctx, annot, PDF_NAME(Type), PDF_NAME(Annot));
    pdf_dict_put(ctx, annot, PDF_NAME(Subtype), PDF_NAME(Link));
    pdf_obj* rect = pdf_dict_put_array(ctx, annot, PDF_NAME(Rect), 4);
    pdf_array_push_real(ctx, rect, link.rect.x0);
    pdf_array_push_real(ctx, rect, link.pageHeight - link.rect.y1);
    pdf_array_push_real(ctx, rect, link.rect.x1);
    pdf_array_push_real(ctx, rect, link.pageHeight - link.rect.y0);
    pdf_obj* border = pdf_dict_put_array(ctx, annot, PDF_NAME(Border), 3);
    for (int k = 0; k < 3; ++k) pdf_array_push_int(ctx, border, 0);
    if (!link.uri.empty()) {
      pdf_obj* action = pdf_dict_put_dict(ctx, annot, PDF_NAME(A), 2);
      pdf_dict_put(ctx, action, PDF_NAME(S), PDF_NAME(URI));
      pdf_dict_put_text_string(ctx, action, PDF_NAME(URI), link.uri.c_str());
    } else {
      pdf_dict_put_drop(ctx, annot, PDF_NAME(Dest),
                        destinationArray(ctx, out.doc, toPage,
                                         out.pageHeights[static_cast<size_t>(toPage)], link.to.y));
    }
    pdf_obj* annots = pdf_dict_get(ctx, page, PDF_NAME(Annots));
    if (!pdf_is_array(ctx, annots)) annots = pdf_dict_put_array(ctx, page, PDF_NAME(Annots), 4);
    pdf_array_push(ctx, annots, annot);
  }
  fz_always(ctx) { pdf_drop_obj(ctx, annot); }
  fz_catch(ctx) { fz_rethrow(ctx); }
}

// Link annotations: URI actions for external links, destinations for links
// into pages the PDF holds; others are left out.
void writeLinks(fz_context* ctx, PdfOutput& out) {
  for (const PendingLink& link : out.links) {
    auto to = out.pdfPageOf.find(link.to.page);
    if (link.uri.empty() && to == out.pdfPageOf.end()) continue;
    addLink(ctx, out, link, link.uri.empty() ? to->second : 0);
  }
}

// The outline as PDF outline items: the tree comes from the entries'
// depths (an entry's parent is the nearest earlier entry less deep), built
// without recursion; items start closed. Entries whose target the PDF does
// not hold keep their title without a destination.
void writeOutline(fz_context* ctx, PdfOutput& out, const std::vector<Destination>& to,
                  const PendrelPdf& pdf) {
  const size_t n = to.size();
  if (n == 0) return;
  // Index n stands for the outline's root.
  std::vector<size_t> parent(n, n), prev(n + 1, n + 1), first(n + 1, n + 1), last(n + 1, n + 1);
  std::vector<int64_t> children(n + 1, 0);
  std::vector<size_t> open;
  for (size_t i = 0; i < n; ++i) {
    while (!open.empty() && pdf.outline[open.back()].depth >= pdf.outline[i].depth) open.pop_back();
    const size_t up = open.empty() ? n : open.back();
    prev[i] = last[up];
    if (first[up] > n) first[up] = i;
    last[up] = i;
    ++children[up];
    parent[i] = up;
    open.push_back(i);
  }
  std::vector<pdf_obj*> items(n + 1, nullptr);
  fz_try(ctx) {
    for (size_t i = 0; i <= n; ++i) items[i] = pdf_add_new_dict(ctx, out.doc, 8);
    pdf_dict_put(ctx, items[n], PDF_NAME(Type), PDF_NAME(Outlines));
    pdf_dict_put(ctx, items[n], PDF_NAME(First), items[first[n]]);
    pdf_dict_put(ctx, items[n], PDF_NAME(Last), items[last[n]]);
    pdf_dict_put_int(ctx, items[n], PDF_NAME(Count), children[n]);
    for (size_t i = 0; i < n; ++i) {
      pdf_obj* it = items[i];
      const char* title = pdf.outline[i].title;
      pdf_dict_put_text_string(ctx, it, PDF_NAME(Title), title ? title : "");
      pdf_dict_put(ctx, it, PDF_NAME(Parent), items[parent[i]]);
      if (prev[i] < n) {
        pdf_dict_put(ctx, it, PDF_NAME(Prev), items[prev[i]]);
        pdf_dict_put(ctx, items[prev[i]], PDF_NAME(Next), it);
      }
      if (first[i] < n) {
        pdf_dict_put(ctx, it, PDF_NAME(First), items[first[i]]);
        pdf_dict_put(ctx, it, PDF_NAME(Last), items[last[i]]);
        pdf_dict_put_int(ctx, it, PDF_NAME(Count), -children[i]);
      }
      auto page = out.pdfPageOf.find(to[i].page);
      if (page != out.pdfPageOf.end())
        pdf_dict_put_drop(
            ctx, it, PDF_NAME(Dest),
            destinationArray(ctx, out.doc, page->second,
                             out.pageHeights[static_cast<size_t>(page->second)], to[i].y));
    }
    pdf_obj* catalog = pdf_dict_get(ctx, pdf_trailer(ctx, out.doc), PDF_NAME(Root));
    pdf_dict_put(ctx, catalog, PDF_NAME(Outlines), items[n]);
  }
  fz_always(ctx) {
    for (pdf_obj* it : items) pdf_drop_obj(ctx, it);
  }
  fz_catch(ctx) { fz_rethrow(ctx); }
}

// Adds the links, the outline and the title, and saves the file.
void write(PendrelPdf& pdf, const PdfPageSource& source, PdfOutput& out) {
  fz_context* ctx = out.ctx;
  std::vector<Destination> to;
  for (int32_t i = 0; i < pdf.outlineCount; ++i)
    to.push_back(pdf.outline[i].target ? locate(pdf, source, pdf.outline[i].target)
                                       : Destination{});
  volatile bool ok = true;
  fz_try(ctx) {
    writeLinks(ctx, out);
    writeOutline(ctx, out, to, pdf);
    if (pdf.title) {
      pdf_obj* info = pdf_dict_put_dict(ctx, pdf_trailer(ctx, out.doc), PDF_NAME(Info), 2);
      pdf_dict_put_text_string(ctx, info, PDF_NAME(Title), pdf.title);
    }
    pdf_write_options options = pdf_default_write_options;
    options.do_compress = 1;
    options.do_compress_fonts = 1;
    options.do_garbage = 1;
    pdf_save_document(ctx, out.doc, pdf.file, &options);
  }
  fz_catch(ctx) {
    ok = false;
    fail(pdf, fz_caught_message(ctx));
  }
  if (!ok) return;
  forget(pdf);
  pdf.status = PENDREL_PDF_WRITTEN;
}

}  // namespace

bool isPdfTarget(intptr_t target) {
  // Both records begin with a pointer and a 32-bit value: read just those.
  const auto* bytes = reinterpret_cast<const unsigned char*>(target);
  if (!bytes) return false;
  void* none;
  int32_t marker;
  std::memcpy(&none, bytes + offsetof(PendrelPdf, none), sizeof none);
  std::memcpy(&marker, bytes + offsetof(PendrelPdf, marker), sizeof marker);
  return !none && marker == PENDREL_PDF_MARKER;
}

void addPdfPage(intptr_t target, const PdfPageSource& source) {
  PendrelPdf& pdf = *reinterpret_cast<PendrelPdf*>(target);
  if (pdf.finish < 0) {
    forget(pdf);
    pdf.status = PENDREL_PDF_ADDING;
    pdf.pages = 0;
    return;
  }
  if (!pdf.state) {
    if (pdf.status != PENDREL_PDF_ADDING && pdf.status != PENDREL_PDF_WRITTEN) return;
    pdf.status = PENDREL_PDF_ADDING;
    pdf.pages = 0;
    pdf.error[0] = 0;
    auto* out = new PdfOutput;
    out->ctx = source.ctx;
    pdf.state = out;
    pdf_document* volatile doc = nullptr;
    fz_try(source.ctx) { doc = pdf_create_document(source.ctx); }
    fz_catch(source.ctx) { doc = nullptr; }
    if (!doc) return fail(pdf, "MuPDF could not start a PDF");
    out->doc = doc;
  }
  if (pdf.status != PENDREL_PDF_ADDING) return;
  auto& out = *static_cast<PdfOutput*>(pdf.state);
  if (out.ctx != source.ctx) return fail(pdf, "the pages come from two renderers");
  if (!pdf.file || !source.html) return fail(pdf, !pdf.file ? "no file named" : "no layout");
  fz_context* ctx = source.ctx;
  const fz_rect box = {0, 0, source.width, source.height};
  pdf_obj* resources = nullptr;
  pdf_obj* page = nullptr;
  fz_buffer* contents = nullptr;
  fz_device* device = nullptr;
  fz_link* links = nullptr;
  fz_var(resources);
  fz_var(page);
  fz_var(contents);
  fz_var(device);
  fz_var(links);
  volatile bool ok = true;
  fz_try(ctx) {
    device = pdf_page_write(ctx, out.doc, box, &resources, &contents);
    source.underlay(device);
    fz_draw_html(ctx, device, fz_identity, source.html, source.page);
    fz_close_device(ctx, device);
    page = pdf_add_page(ctx, out.doc, box, 0, resources, contents);
    pdf_insert_page(ctx, out.doc, -1, page);
    links = fz_load_html_links(ctx, source.html, source.page, "");
  }
  fz_always(ctx) {
    fz_drop_device(ctx, device);
    pdf_drop_obj(ctx, page);
    pdf_drop_obj(ctx, resources);
    fz_drop_buffer(ctx, contents);
  }
  fz_catch(ctx) { ok = false; }
  if (!ok) return fail(pdf, fz_caught_message(ctx));
  const int pdfPage = static_cast<int>(out.pageHeights.size());
  out.pageHeights.push_back(source.height);
  out.pdfPageOf[pdf.page] = pdfPage;
  ++pdf.pages;
  // The page's own layout is done with: resolving targets may lay other
  // documents out and drop it.
  std::vector<std::pair<fz_rect, std::string>> found;
  for (fz_link* l = links; l; l = l->next)
    if (l->uri) found.emplace_back(l->rect, l->uri);
  fz_drop_link(ctx, links);
  for (const auto& [rect, uri] : found) {
    bool external = false;
    const std::string target = linkTarget(ctx, source.path, uri.c_str(), external);
    if (target.empty()) continue;
    out.links.push_back({pdfPage, source.height, rect, external ? target : std::string(),
                         external ? Destination{} : locate(pdf, source, target)});
  }
  if (pdf.finish == 1) write(pdf, source, out);
}

}  // namespace pendrel_mupdf
