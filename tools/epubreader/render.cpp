// render and highlight: pages drawn into PNG files.
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>

#include "commands.h"
#include "draw.h"
#include "png_writer.h"
#include "utf.h"
#include "workers.h"

namespace epubreader {

using epub::utf::toUtf8;

const char kRenderHelp[] =
    "usage: epubreader render [BOOK] (--page N | --pages LIST | --all) [-o DIR]\n"
    "                         [layout options] [--zoom Z | -r DPI]\n"
    "\n"
    "Draws pages into PNG files DIR/page-NNN.png and prints each file's path.\n"
    "NNN is the page number with leading zeros to three digits, or to as many\n"
    "as the page count has, so that the names sort in page order. Documents\n"
    "are laid out only as far as the pages asked for, so with --page or\n"
    "--pages that is the count of the pages laid out.\n"
    "Once a command has laid out the whole book without damage, its page\n"
    "counts are kept in $XDG_CACHE_HOME/epubreader/pages (else\n"
    "~/.cache/epubreader/pages) for that book file and layout, and --page and\n"
    "--pages then lay out only the documents of the pages asked for; the\n"
    "files are the same either way.\n"
    "Pages are counted from 1: the first page of the book is page 1.\n"
    "A progress bar is shown on stderr when it is a terminal.\n"
    "\n"
    "  --page N        one page (N alone is the last page)\n"
    "  --pages LIST    pages such as 1,3,5-9,N: single pages and ranges A-B\n"
    "                  (both included), N the last page\n"
    "  --all           every page\n"
    "  -o DIR          folder for the files, created if missing (default .)\n"
    "  --jobs N        with --all: workers, each laying out and drawing its\n"
    "                  share of the documents (default: the number of cores);\n"
    "                  the files are the same for every N\n";

const char kHighlightHelp[] =
    "usage: epubreader highlight [BOOK] --from POS --to POS [-o FILE]\n"
    "                            [layout options] [--zoom Z | -r DPI]\n"
    "\n"
    "Adds a highlight (a scrap) over markable positions POS to POS, both\n"
    "included (as 'search' prints them), prints its text and draws the page\n"
    "that holds its start into FILE (default highlight.png).\n"
    "\n"
    "  --from POS      first markable position\n"
    "  --to POS        last markable position\n"
    "  -o FILE         the PNG file to write\n";

Canvas::Canvas(const Layout& layout) {
  bitmap.width = layout.width * layout.zoom / 100;
  bitmap.height = layout.height * layout.zoom / 100;
  bitmap.stride = bitmap.width * 4;
  pixels.resize(size_t(bitmap.stride) * size_t(bitmap.height));
  bitmap.pixels = pixels.data();
}

namespace {

// A page drawn a band of rows at a time while the PNG writer takes its rows:
// only one band's pixels are held, not the whole page's. Each band is drawn
// at its place in the zoomed page, and the renderer gives it exactly those
// rows of the whole page's drawing (it records the page's display list at
// the first band and replays it for every band).
class BandedPage {
 public:
  // A band of 600-pixel rows is under 200 KB, where the whole page at that
  // width is over 1.9 MB; the whole book draws as fast in bands as whole.
  static constexpr int32_t kBandRows = 80;

  // Draws `page` of the publication, or of document `doc` when `doc` is set.
  BandedPage(Session& session, std::optional<size_t> doc, int32_t page)
      : session_(session), doc_(doc), page_(page) {
    const Layout& layout = session.layout();
    width_ = layout.width * layout.zoom / 100;
    height_ = layout.height * layout.zoom / 100;
    band_.width = width_;
    band_.height = std::min(height_, kBandRows);
    band_.stride = width_ * 4;
    pixels_.resize(size_t(band_.stride) * size_t(band_.height));
    band_.pixels = pixels_.data();
  }

  PageRows rows() { return {width_, height_, rowOf, this}; }

 private:
  // Called from libpng's frames: the export calls throw nothing.
  static const uint8_t* rowOf(void* context, int32_t y) noexcept {
    auto& self = *static_cast<BandedPage*>(context);
    if (self.top_ < 0 || y >= self.top_ + self.band_.height) self.drawFrom(y);
    return self.band_.pixels + size_t(y - self.top_) * size_t(self.band_.stride);
  }

  void drawFrom(int32_t top) noexcept {
    top_ = top;
    PendrelBitmap band = band_;
    band.height = std::min(band_.height, height_ - top);
    const auto target = reinterpret_cast<intptr_t>(&band);
    const intptr_t zoom = session_.layout().zoom;
    if (doc_)
      EpubReader_drawContent(session_.reader(), session_.spine()[*doc_].href.c_str(), page_, target,
                             0, top, zoom);
    else
      EpubReader_draw(session_.reader(), page_, target, 0, top, zoom);
  }

  Session& session_;
  std::optional<size_t> doc_;
  int32_t page_;
  int32_t width_ = 0, height_ = 0;
  int32_t top_ = -1;
  std::vector<uint8_t> pixels_;
  PendrelBitmap band_{};
};

void writeBanded(Session& session, std::optional<size_t> doc, int32_t page,
                 const std::string& file) {
  BandedPage drawn(session, doc, page);
  std::string error;
  const bool written = writePng(file, drawn.rows(), error);
  session.settle();
  if (!written) throw Failure{error};
}

}  // namespace

void drawPng(Session& session, int32_t page, const std::string& file) {
  writeBanded(session, std::nullopt, page, file);
}

void drawDocumentPng(Session& session, size_t doc, int32_t page, const std::string& file) {
  writeBanded(session, doc, page, file);
}

namespace {

uint32_t parsePosition(const Arguments& args, const std::string& option, uint32_t objects) {
  const auto v = args.value(option);
  if (!v) throw UsageError{"highlight needs " + option + " POS"};
  const std::string range = objects == 0 ? std::string("this book has no markable positions")
                                         : "positions run from 0 to " + std::to_string(objects - 1);
  const auto value = parseNumber(*v);
  if (!value) throw UsageError{option + " '" + *v + "' is not a number: " + range};
  if (*value < 0 || *value >= objects)
    throw UsageError{option + " " + *v + " is out of range: " + range};
  return static_cast<uint32_t>(*value);
}

}  // namespace

std::vector<int32_t> selectedPages(Session& session, const Arguments& args) {
  for (const char* option : {"--page", "--pages"})
    if (auto v = args.value(option)) return session.pageList(option, *v);
  if (session.load() == 0) throw session.noPages();
  std::vector<int32_t> all(static_cast<size_t>(session.pages()));
  for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int32_t>(i);
  return all;
}

namespace {

// page-NNN.png in the folder, NNN with at least `digits` digits.
std::string pageFile(const std::string& folder, int32_t page, int digits) {
  std::string number = std::to_string(page + 1);
  number.insert(0, size_t(std::max<int>(0, digits - int(number.size()))), '0');
  return (std::filesystem::path(folder) / ("page-" + number + ".png")).string();
}

void makeFolder(const std::string& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (!std::filesystem::is_directory(folder))
    throw Failure{"cannot create the folder " + folder + (ec ? ": " + ec.message() : "")};
}

int digitsFor(int32_t pages) { return std::max<int>(3, int(std::to_string(pages).size())); }

// Lays out the documents holding the pages, which a session with remembered
// page counts holds none of; false, with none of them left in the
// renderer, when one has other pages than remembered.
bool layOutRemembered(Session& session, const std::vector<int32_t>& pages) {
  std::set<size_t> docs;
  for (int32_t page : pages) docs.insert(size_t(session.docOfPage(page)));
  bool same = true;
  for (size_t d : docs) {
    const char16_t* href = session.spine()[d].href.c_str();
    EpubReader_loadContent(session.reader(), href, nullptr, nullptr);
    session.settle();
    same =
        same && EpubReader_getContentPageCount(session.reader(), href) == session.spine()[d].pages;
  }
  if (!same)
    for (size_t d : docs)
      EpubReader_deleteContent(session.reader(), session.spine()[d].href.c_str());
  return same;
}

// Every page, each worker drawing the pages of its documents; the paths are
// printed in page order as the pages before them are done.
int renderAll(const Arguments& args, Session& session, unsigned jobs, const std::string& folder) {
  Workers workers(bookArgument(args, 1), session, jobs);
  const int32_t pages = workers.layOut();
  if (pages == 0) throw session.noPages();
  makeFolder(folder);
  const int digits = digitsFor(pages);
  std::mutex mutex;
  std::vector<bool> done(size_t(pages), false);
  size_t printed = 0;
  std::atomic<bool> failed{false};
  Progress bar("drawing");
  workers.forEachDocument([&](Session& worker, size_t d) {
    const SpineDoc& doc = session.spine()[d];
    for (int32_t p = 0; p < doc.pages && !failed; ++p) {
      const int32_t page = doc.firstPage + p;
      try {
        drawDocumentPng(worker, d, p, pageFile(folder, page, digits));
      } catch (...) {
        failed = true;
        throw;
      }
      std::lock_guard lock(mutex);
      done[size_t(page)] = true;
      if (printed < done.size() && done[printed]) {
        bar.finish();
        for (; printed < done.size() && done[printed]; ++printed)
          printUtf8(pageFile(folder, int32_t(printed), digits) + "\n");
        bar.show(uint32_t(printed), uint32_t(pages));
      }
    }
  });
  return session.finish(kDone);
}

}  // namespace

int runRender(const Arguments& args) {
  Layout layout;
  layout.read(args);
  const int chosen = args.has("--page") + args.has("--pages") + args.has("--all");
  if (chosen != 1) throw UsageError{"render needs exactly one of --page N, --pages LIST, --all"};
  const std::string folder = args.value("-o").value_or(".");
  Session session(bookArgument(args, 1), layout);
  const unsigned jobs = jobsOption(args, session);
  if (args.has("--all") && jobs > 1) return renderAll(args, session, jobs, folder);
  // A page list on a book laid out before lays out only the documents of
  // its pages (page_memory.h), once they prove to have the pages
  // remembered.
  if (!args.has("--all")) session.recallPages();
  std::vector<int32_t> list = selectedPages(session, args);
  if (session.remembered() && !layOutRemembered(session, list)) {
    session.forgetPages();
    list = selectedPages(session, args);
  }
  makeFolder(folder);

  const std::string text = args.value("--page").value_or(args.value("--pages").value_or(""));
  const int digits = digitsFor(session.pagesReachedFor(text));
  Progress bar("drawing");
  for (size_t k = 0; k < list.size(); ++k) {
    const std::string path = pageFile(folder, list[k], digits);
    if (session.remembered()) {
      const size_t d = size_t(session.docOfPage(list[k]));
      drawDocumentPng(session, d, list[k] - session.spine()[d].firstPage, path);
    } else {
      drawPng(session, list[k], path);
    }
    bar.finish();
    printUtf8(path + "\n");
    bar.show(uint32_t(k + 1), uint32_t(list.size()));
  }
  return session.finish(kDone);
}

int runHighlight(const Arguments& args) {
  Layout layout;
  layout.read(args);
  if (!args.has("--from") || !args.has("--to"))
    throw UsageError{"highlight needs --from POS and --to POS"};
  const std::string file = args.value("-o").value_or("highlight.png");
  Session session(bookArgument(args, 1), layout);
  // Laid out as far as both positions; anything else is told against the
  // whole book.
  const auto from = parseNumber(*args.value("--from")), to = parseNumber(*args.value("--to"));
  if (!from || !to || *from < 0 || *to < 0 || std::max(*from, *to) > UINT32_MAX ||
      !session.reachPosition(uint32_t(std::max(*from, *to))))
    session.load();
  EpubReader* r = session.reader();
  const uint32_t objects = session.complete() ? EpubReader_getMarkablePosition(r, session.load())
                                              : session.objectsKnown();
  const uint32_t first = parsePosition(args, "--from", objects);
  const uint32_t last = parsePosition(args, "--to", objects);
  if (first > last) throw UsageError{"--from " + std::to_string(first) + " is after --to"};

  EpubReader_addScrap(r, first, last, 0, 0);
  const std::string text = toUtf8(EpubReader_getScrapText(r, first, last));
  const int32_t page = EpubReader_getPageMarkPosition(r, first);
  drawPng(session, page, file);
  printUtf8("page " + std::to_string(page + 1) + ": " + text + "\n" + file + "\n");
  return session.finish(kDone);
}

}  // namespace epubreader
