// convert: the pages as one PDF, written by the renderer with MuPDF's PDF
// writer (the PendrelPdf draw target of pendrel_mupdf.h).
#include <deque>

#include "commands.h"
#include "draw.h"
#include "toc.h"
#include "utf.h"

namespace epubreader {

const char kConvertHelp[] =
    "usage: epubreader convert [BOOK] -o FILE [--pages LIST] [layout options]\n"
    "\n"
    "Writes the pages into one PDF file with MuPDF's PDF writer, each page at\n"
    "the page size in points (--width, --height): text stays text that can be\n"
    "selected and searched, the table of contents becomes the PDF outline,\n"
    "links between pages stay live and links out of the book keep their\n"
    "address. Highlights and search marks are not drawn.\n"
    "\n"
    "  -o FILE         the PDF file to write\n"
    "  --pages LIST    only these pages, such as 1,3,5-9,N (default: all)\n";

namespace {

// Forgets a PDF the renderer holds if the command stops before the last page.
class PdfGuard {
 public:
  PdfGuard(Session& session, PendrelPdf& pdf) : session_(session), pdf_(pdf) {}
  ~PdfGuard() {
    if (!pdf_.state) return;
    pdf_.finish = -1;
    EpubReader_draw(session_.reader(), pdf_.page, reinterpret_cast<intptr_t>(&pdf_), 0, 0, 100);
  }
  PdfGuard(const PdfGuard&) = delete;
  PdfGuard& operator=(const PdfGuard&) = delete;

 private:
  Session& session_;
  PendrelPdf& pdf_;
};

}  // namespace

int runConvert(const Arguments& args) {
  Layout layout;
  layout.read(args);
  const auto file = args.value("-o");
  if (!file) throw UsageError{"convert needs -o FILE, the PDF to write"};
  Session session(bookArgument(args, 1), layout);
  session.load();
  const std::vector<int32_t> pages = selectedPages(session, args);
  const Toc toc = readToc(session.book(), session.reader());

  std::vector<PendrelPdfDocument> documents;
  for (const auto& doc : session.spine()) documents.push_back({doc.path.c_str(), doc.firstPage});
  // The outline in pre-order with depths; the strings live in a deque so
  // that the records' pointers stay valid.
  std::deque<std::string> texts;
  std::vector<PendrelPdfOutline> outline;
  forEachTocEntry(toc.entries, [&](const TocEntry& e, size_t depth) {
    const char* title = texts.emplace_back(e.label).c_str();
    outline.push_back(
        {title, texts.emplace_back(tocTarget(toc, e)).c_str(), static_cast<int32_t>(depth)});
  });
  const EpubReaderPublicationMetadata* m = EpubReader_getPublicationMetadata(session.reader());
  const std::string title = m && m->title ? epub::utf::toUtf8(m->title) : "";

  PendrelPdf pdf{};
  pdf.marker = PENDREL_PDF_MARKER;
  pdf.file = file->c_str();
  pdf.title = title.empty() ? nullptr : title.c_str();
  pdf.documents = documents.data();
  pdf.documentCount = static_cast<int32_t>(documents.size());
  pdf.outline = outline.data();
  pdf.outlineCount = static_cast<int32_t>(outline.size());
  PdfGuard guard(session, pdf);
  Progress bar("writing");
  for (size_t k = 0; k < pages.size() && pdf.status == PENDREL_PDF_ADDING; ++k) {
    pdf.page = pages[k];
    pdf.finish = k + 1 == pages.size() ? 1 : 0;
    EpubReader_draw(session.reader(), pages[k], reinterpret_cast<intptr_t>(&pdf), 0, 0, 100);
    session.settle();
    bar.show(uint32_t(k + 1), uint32_t(pages.size()));
  }
  bar.finish();
  if (pdf.status == PENDREL_PDF_FAILED) throw Failure{"cannot write " + *file + ": " + pdf.error};
  if (pdf.status != PENDREL_PDF_WRITTEN)
    throw Failure{"cannot write " + *file + ": the renderer does not write PDF"};
  printUtf8(*file + "\n");
  return session.finish(kDone);
}

}  // namespace epubreader
