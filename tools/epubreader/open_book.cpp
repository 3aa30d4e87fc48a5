#include "open_book.h"

#include <EpubReader/pendrel_mupdf.h>

#include <cctype>
#include <chrono>
#include <filesystem>

#include "opf.h"
#include "png_writer.h"
#include "utf.h"

namespace epubreader {

using epub::utf::fromUtf8;
using epub::utf::toUtf8;

namespace {

// Scrap colours (multiplied over the page): highlights, and the search hit
// the reader was sent to.
const intptr_t kHighlightColour = 0xFFE45C;
const intptr_t kMarkColour = 0xFFA54F;

// Pixel buffers kept from one page to the next: in fresh memory, the page
// faults of a page's size cost more than drawing it.
class PixelPool {
 public:
  std::vector<uint8_t> take(size_t size) {
    std::vector<uint8_t> pixels;
    {
      std::lock_guard lock(mutex_);
      if (!free_.empty()) {
        pixels = std::move(free_.back());
        free_.pop_back();
      }
    }
    if (pixels.size() < size) pixels.resize(size);
    return pixels;
  }
  void give(std::vector<uint8_t> pixels) {
    std::lock_guard lock(mutex_);
    if (free_.size() < 4) free_.push_back(std::move(pixels));
  }

 private:
  std::mutex mutex_;
  std::vector<std::vector<uint8_t>> free_;
};

PixelPool& pixelPool() {
  static PixelPool pool;
  return pool;
}

// A bitmap for the renderer to fill.
struct Canvas {
  std::vector<uint8_t> pixels;
  PendrelBitmap bitmap{};

  Canvas(int width, int height) : pixels(pixelPool().take(size_t(width) * size_t(height) * 4)) {
    bitmap = {pixels.data(), width, height, width * 4};
  }
  ~Canvas() { pixelPool().give(std::move(pixels)); }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
  intptr_t target() { return reinterpret_cast<intptr_t>(&bitmap); }
};

// "http:", "mailto:" and the like: a link out of the book.
bool hasScheme(const std::string& href) {
  size_t i = 0;
  while (i < href.size() && (std::isalpha(static_cast<unsigned char>(href[i])) ||
                             (i > 0 && (std::isdigit(static_cast<unsigned char>(href[i])) ||
                                        href[i] == '+' || href[i] == '-' || href[i] == '.'))))
    ++i;
  return i > 0 && i < href.size() && href[i] == ':';
}

}  // namespace

OpenBook::OpenBook(const std::optional<std::string>& path, const std::string& highlightFile)
    : highlights_(highlightFile) {
  Layout layout;
  layout.width = view_.width;
  layout.height = view_.height;
  layout.fontSize = view_.fontSize;
  try {
    session_ = std::make_unique<Session>(path, layout);
  } catch (const Failure& failure) {
    error_ = failure.message;
    return;
  }
  EpubReader* r = session_->reader();
  if (const EpubReaderPublicationMetadata* m = EpubReader_getPublicationMetadata(r)) {
    title_ = toUtf8(m->title);
    author_ = toUtf8(m->creator);
  }
  if (title_.empty()) title_ = toUtf8(EpubReader_getNcxDocTitle(r));
  if (author_.empty()) author_ = toUtf8(EpubReader_getNcxDocAuthor(r));
  if (title_.empty()) title_ = std::filesystem::path(session_->book().name()).stem().string();

  const std::string& package = session_->book().packagePath();
  const std::string folder = package.substr(0, package.rfind('/') + 1);
  for (const auto& doc : session_->spine()) fullPaths_.push_back(folder + toUtf8(doc.href));
  // The session's lazy layout, with the highlights put on each document as
  // it is laid out; the damage list is the book's own.
  session_->warnLeftOut = false;
  session_->countObjects = true;
  session_->onLoaded = [this](size_t d) { applyHighlights(d); };

  toc_ = readToc(session_->book(), r);
  const std::string base = toc_.path.empty() ? package : toc_.path;
  std::function<void(const std::vector<TocEntry>&)> flatten = [&](const auto& entries) {
    for (const auto& e : entries) {
      tocTargets_.push_back(target(base, -1, e.href));
      flatten(e.children);
    }
  };
  flatten(toc_.entries);
  tocPages_.assign(tocTargets_.size(), -2);
}

OpenBook::~OpenBook() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  work_.notify_all();
  if (loader_.joinable()) loader_.join();
}

std::unique_lock<std::mutex> OpenBook::take() {
  ++waiting_;
  std::unique_lock lock(mutex_);
  --waiting_;
  return lock;
}

// A new page or font size: the documents are taken out of the renderer
// before the change, so that the change itself lays nothing out; they are
// laid out again at the new size as they are needed, as at the start.
void OpenBook::apply(const View& view) {
  EpubReader* r = session_->reader();
  if (!(view == view_)) {
    for (size_t d = 0; d < session_->loaded(); ++d)
      EpubReader_deleteContent(r, session_->spine()[d].href.c_str());
    if (view.fontSize != view_.fontSize) EpubReader_changeFont(r, view.fontSize, 0, 0, 0);
    if (view.width != view_.width || view.height != view_.height)
      EpubReader_changeClientSize(r, PENDREL_PAGE_SIZE(view.width, view.height));
    view_ = view;
    session_->restart();
    tocPages_.assign(tocPages_.size(), -2);
  }
  if (session_->repeats() && session_->loaded() == 0) session_->load();
  if (!loader_.joinable())
    loader_ = std::thread(&OpenBook::loaderMain, this);
  else
    work_.notify_one();
}

// Lays out the next document whenever no request waits for the handle.
void OpenBook::loaderMain() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    if (session_->complete()) {
      work_.wait(lock);
    } else if (waiting_ > 0) {
      lock.unlock();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      lock.lock();
    } else {
      session_->loadNext();
    }
  }
}

void OpenBook::applyHighlights(size_t d) {
  const SpineDoc& span = session_->spine()[d];
  for (const auto& h : highlights_.all())
    if (h.from >= span.firstObject && h.from - span.firstObject < span.objects)
      EpubReader_addScrap(session_->reader(), h.from, h.to, kHighlightColour, 0);
}

// An href as written in the document `base` (the document `fromDoc` of the
// reading order, or -1): the document it names and its fragment.
OpenBook::Target OpenBook::target(const std::string& base, int fromDoc,
                                  const std::string& href) const {
  Target t;
  if (hasScheme(href)) return t;
  const size_t hash = href.find('#');
  if (hash != std::string::npos) t.fragment = fromUtf8(href.substr(hash));
  if (hash == 0) {
    t.doc = fromDoc;
    return t;
  }
  const std::string full = joinPath(base, href, true);
  for (size_t d = 0; d < fullPaths_.size() && t.doc < 0; ++d)
    if (fullPaths_[d] == full) t.doc = int(d);
  return t;
}

int32_t OpenBook::pageOf(const Target& t) {
  if (t.doc < 0 || !session_->reachDocument(size_t(t.doc))) return -1;
  const SpineDoc& doc = session_->spine()[size_t(t.doc)];
  if (doc.pages == 0) return -1;
  int32_t page = 0;
  if (!t.fragment.empty())
    page = EpubReader_getContentLink(session_->reader(), doc.href.c_str(),
                                     reinterpret_cast<intptr_t>(t.fragment.c_str()));
  return doc.firstPage + std::clamp(page, 0, doc.pages - 1);
}

std::vector<ContentsEntry> OpenBook::contents(const std::vector<TocEntry>& entries, size_t& next) {
  std::vector<ContentsEntry> out;
  for (const auto& e : entries) {
    const size_t i = next++;
    const Target& t = tocTargets_[i];
    if (tocPages_[i] == -2 && (t.doc < 0 || size_t(t.doc) < session_->loaded()))
      tocPages_[i] = pageOf(t);
    out.push_back({e.label, std::max(tocPages_[i], -1), contents(e.children, next)});
  }
  return out;
}

// Asking how far the book is laid out changes no layout that is in use:
// a reader polling in one size must not keep another's from completing.
BookStatus OpenBook::status(const View& view) {
  auto lock = take();
  if (!(view == view_) && loader_.joinable())
    return {0, false, false, {}, session_->book().damages()};
  apply(view);
  size_t next = 0;
  return {session_->pagesKnown(), session_->complete(), true, contents(toc_.entries, next),
          session_->book().damages()};
}

bool OpenBook::drawPage(const View& view, int32_t page, int zoom,
                        std::optional<std::pair<uint32_t, uint32_t>> mark,
                        std::vector<uint8_t>& png) {
  Canvas canvas(view.width * zoom / 100, view.height * zoom / 100);
  {
    auto lock = take();
    apply(view);
    if (!session_->reachPage(page)) return false;
    EpubReader* r = session_->reader();
    if (mark) EpubReader_addScrap(r, mark->first, mark->second, kMarkColour, 0);
    EpubReader_draw(r, page, canvas.target(), 0, 0, zoom);
    if (mark) {
      EpubReader_removeScrap(r, mark->first, mark->second);
      if (highlights_.find(mark->first, mark->second))
        EpubReader_addScrap(r, mark->first, mark->second, kHighlightColour, 0);
    }
  }
  std::string error;
  return encodePng(canvas.bitmap, png, error);
}

bool OpenBook::drawCover(int width, int height, std::vector<uint8_t>& png) {
  Canvas canvas(width, height);
  {
    auto lock = take();
    if (!session_->reachPage(0)) return false;
    EpubReader_draw(session_->reader(), 0, canvas.target(), 0, 0, 0);
  }
  std::string error;
  return encodePng(canvas.bitmap, png, error);
}

OpenBook::DocPage OpenBook::docPage(int32_t page) const {
  const int d = session_->docOfPage(page);
  const SpineDoc& doc = session_->spine()[size_t(d)];
  const int32_t local = page - doc.firstPage;
  return {d, doc.href.c_str(), local,
          doc.firstObject +
              EpubReader_getContentMarkablePosition(session_->reader(), doc.href.c_str(), local)};
}

std::optional<PageObjects> OpenBook::objects(const View& view, int32_t page) {
  auto lock = take();
  apply(view);
  if (!session_->reachPage(page)) return std::nullopt;
  EpubReader* r = session_->reader();
  const auto [d, href, local, first] = docPage(page);
  PageObjects out;
  out.first = first;
  const uint32_t count = EpubReader_getContentObjectCount(r, href, local);
  for (uint32_t k = 0; k < count; ++k) {
    PendrelObjectInfo info{};
    if (!EpubReader_getContentObjectInfo(r, href, local, k, &info, 0) ||
        (info.type != PENDREL_OBJECT_WORD && info.type != PENDREL_OBJECT_IMAGE))
      continue;
    out.objects.push_back(
        {info.x, info.y, info.width, info.height,
         session_->spine()[size_t(d)].firstObject + uint32_t(info.firstIndex),
         info.type == PENDREL_OBJECT_WORD && EpubReader_isContentAnchor(r, href, local, k)});
  }
  return out;
}

std::optional<int32_t> OpenBook::follow(const View& view, int32_t page, uint32_t position) {
  auto lock = take();
  apply(view);
  if (!session_->reachPage(page)) return std::nullopt;
  EpubReader* r = session_->reader();
  const auto [d, href, local, first] = docPage(page);
  const uint32_t k = position - first;
  if (position < first || k >= EpubReader_getContentObjectCount(r, href, local) ||
      !EpubReader_isContentAnchor(r, href, local, k))
    return std::nullopt;
  const std::string link = toUtf8(EpubReader_getContentHref(r, href, local, k));
  const int32_t to = pageOf(target(fullPaths_[size_t(d)], d, link));
  return to >= 0 ? std::optional<int32_t>(to) : std::nullopt;
}

std::optional<int32_t> OpenBook::locate(const View& view, uint32_t position) {
  auto lock = take();
  apply(view);
  if (!session_->reachPosition(position)) return std::nullopt;
  const int d = session_->docOfPosition(position);
  const SpineDoc& doc = session_->spine()[size_t(d)];
  const int32_t local = EpubReader_getContentPageMarkPosition(session_->reader(), doc.href.c_str(),
                                                              position - doc.firstObject);
  return doc.firstPage + std::max(local, 0);
}

SearchResult OpenBook::search(const View& view, const std::u16string& needle, bool matchCase) {
  auto lock = take();
  apply(view);
  session_->reachDocument(fullPaths_.size());
  return searchBook(*session_, needle, matchCase);
}

std::vector<Highlight> OpenBook::highlights() {
  auto lock = take();
  return highlights_.all();
}

std::string OpenBook::addHighlight(uint32_t from, uint32_t to, Highlight& added) {
  auto lock = take();
  if (from > to) return "from is after to";
  if (!session_->reachPosition(from)) return "the book has no position " + std::to_string(from);
  const SpineDoc& span = session_->spine()[size_t(session_->docOfPosition(from))];
  if (to - span.firstObject >= span.objects)
    return "a highlight must end in the document it starts in";
  EpubReader* r = session_->reader();
  EpubReader_addScrap(r, from, to, kHighlightColour, 0);
  added = {from, to, toUtf8(EpubReader_getScrapText(r, from, to))};
  if (highlights_.put(added)) return {};
  EpubReader_removeScrap(r, from, to);
  return "the book has as many highlights as it may keep";
}

bool OpenBook::removeHighlight(uint32_t from, uint32_t to) {
  auto lock = take();
  if (!highlights_.remove(from, to)) return false;
  EpubReader_removeScrap(session_->reader(), from, to);
  return true;
}

}  // namespace epubreader
