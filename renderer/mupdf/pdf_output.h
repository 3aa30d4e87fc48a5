// Pages drawn into a PDF (the PendrelPdf record of pendrel_mupdf.h) with
// MuPDF's PDF writer: each page's text and graphics as MuPDF draws them,
// its links as link annotations, and on the last page the outline, all
// written to the host's file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "mupdf_html.h"

namespace pendrel_mupdf {

// Whether a draw target is a PendrelPdf record rather than a bitmap.
bool isPdfTarget(intptr_t target);

// What adding one page needs of the renderer.
struct PdfPageSource {
  fz_context* ctx = nullptr;
  std::string path;  // the document's full container path
  int32_t page = 0;  // the page within the document
  float width = 0, height = 0;
  // The document's layout; valid until `layoutOf` is first called.
  fz_html* html = nullptr;
  // Draws what MuPDF leaves out under the page (backgrounds); never throws.
  std::function<void(fz_device*)> underlay;
  // A loaded document's layout by full container path, or null.
  std::function<fz_html*(const std::string& path)> layoutOf;
};

// Adds the page to the PDF of the record at `target`, writes the file when
// the record says it is the last, or forgets the pages (see PendrelPdf).
void addPdfPage(intptr_t target, const PdfPageSource& source);

}  // namespace pendrel_mupdf
