#include "session.h"

#include <cctype>
#include <set>

#include "opf.h"
#include "package_check.h"
#include "page_memory.h"
#include "utf.h"

extern "C" const unsigned char epubreader_sample[];
extern "C" const size_t epubreader_sample_size;

namespace epubreader {

using epub::utf::toUtf8;

namespace {
const char kSampleName[] = "(built-in sample)";

// The package's dc:language as a hyphenation tag: letters, digits, '-'
// and '_' only (it goes into a style sheet), else "".
std::string languageTag(EpubReader* reader) {
  const EpubReaderPublicationMetadata* m = EpubReader_getPublicationMetadata(reader);
  std::string tag = m && m->language ? toUtf8(m->language) : "";
  for (const char c : tag)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') return "";
  return tag.size() > 35 ? "" : tag;
}
}  // namespace

Session::Session(const std::optional<std::string>& path, const Layout& layout, bool quiet)
    : layout_(layout) {
  std::string error;
  book_ = path ? Book::openFile(*path, error)
               : Book::openMemory(epubreader_sample, epubreader_sample_size, kSampleName, error);
  if (!book_) throw Failure{error};
  // Hyphenation needs the package's language in the host's sheet, which
  // the renderer reads when it starts: a first, quiet opening learns it.
  if (layout_.hyphenate != 0 && layout_.language.empty()) {
    book_->quiet = true;
    if (EpubReader* probe = book_->open(layout_.settings(layout_.css), error)) {
      layout_.language = languageTag(probe);
      EpubReader_free(&probe);
    }
  }
  book_->quiet = quiet;
  const std::string sheet = layout_.sheet();
  reader_ = book_->open(layout_.settings(sheet), error);
  if (!reader_) throw Failure{error};
  memoryKey_ = memory::keyFor(path, layout_);
  const EpubReaderSpineList* spine = EpubReader_getSpine(reader_);
  std::set<std::u16string> seen;
  for (const EpubReaderSpineNode* n = spine ? spine->first : nullptr; n; n = n->next) {
    const std::u16string href = n->item->href ? n->item->href : u"";
    repeats_ = repeats_ || !seen.insert(href).second;
    spine_.push_back({href, joinPath(book_->packagePath(), toUtf8(href)), toUtf8(n->item->id),
                      toUtf8(n->item->mediaType)});
  }
  if (spine_.empty())
    if (auto opf = book_->read(book_->packagePath()))
      if (auto problem = packageProblem(*opf))
        book_->damage(book_->packagePath() + ", " + *problem + "; the book opens empty");
}

int32_t Session::load() {
  if (!complete()) {
    LoadProgress progress;
    progress.book = book_.get();
    progress.documents = static_cast<uint32_t>(spine_.size());
    EpubReader_loadAll(reader_, LoadProgress::callback, &progress);
    progress.bar.finish();
    book_->settle();
    const size_t from = loaded_;
    loaded_ = spine_.size();
    for (size_t d = from; d < spine_.size(); ++d) measure(d);
    for (size_t d = from; d < spine_.size(); ++d) checkLaidOut(spine_[d]);
    if (onLoaded)
      for (size_t d = from; d < spine_.size(); ++d) onLoaded(d);
    pages_ = EpubReader_getPageCount(reader_);
  }
  return pages_;
}

void Session::loadNext() {
  if (complete()) return;
  if (repeats_) {
    load();
    return;
  }
  const size_t d = loaded_++;
  EpubReader_loadContent(reader_, spine_[d].href.c_str(), nullptr, nullptr);
  book_->settle();
  measure(d);
  checkLaidOut(spine_[d]);
  if (onLoaded) onLoaded(d);
  // Once all are laid out, loadAll reads nothing again: it only sums the
  // page counts into the engine's total, which its page-wide forms use.
  if (complete()) {
    EpubReader_loadAll(reader_, nullptr, nullptr);
    pages_ = EpubReader_getPageCount(reader_);
  }
}

void Session::measure(size_t d) {
  SpineDoc& doc = spine_[d];
  const char16_t* href = doc.href.c_str();
  doc.pages = EpubReader_getContentPageCount(reader_, href);
  // Counting objects has the renderer read each page's words: only for
  // the commands that use markable positions.
  doc.objects = countObjects && doc.pages > 0
                    ? EpubReader_getContentMarkablePosition(reader_, href, doc.pages - 1) +
                          EpubReader_getContentObjectCount(reader_, href, doc.pages - 1)
                    : 0;
  place(d);
}

void Session::place(size_t d) {
  SpineDoc& doc = spine_[d];
  doc.firstPage = d ? spine_[d - 1].firstPage + spine_[d - 1].pages : 0;
  doc.firstObject = d ? spine_[d - 1].firstObject + spine_[d - 1].objects : 0;
}

void Session::checkLaidOut(const SpineDoc& doc) {
  if (!warnLeftOut || doc.pages > 0 || book_->wasDamaged(doc.path)) return;
  book_->damage(doc.path + (book_->missing(doc.path)
                                ? " is in the reading order but not in the archive: left out"
                                : " could not be laid out by the renderer: left out"));
}

void Session::adopt(const std::vector<SpineDoc>& measured) {
  for (size_t d = 0; d < spine_.size(); ++d) {
    spine_[d].pages = measured[d].pages;
    spine_[d].objects = measured[d].objects;
    place(d);
  }
  loaded_ = spine_.size();
  pages_ = pagesKnown();
}

void Session::layOutAlone(size_t d, const std::function<void()>& whileHeld) {
  EpubReader_loadContent(reader_, spine_[d].href.c_str(), nullptr, nullptr);
  measure(d);
  if (whileHeld) whileHeld();
  book_->settle();
}

bool Session::loadUntil(const std::function<bool()>& enough) {
  while (!enough() && !complete()) loadNext();
  return enough();
}

bool Session::reachPage(int32_t page) {
  return page >= 0 && loadUntil([&] { return page < pagesKnown(); });
}

bool Session::reachPosition(uint32_t position) {
  countObjects = true;
  return loadUntil([&] { return position < objectsKnown(); });
}

bool Session::reachDocument(size_t doc) {
  return loadUntil([&] { return loaded_ > doc; });
}

int32_t Session::pagesKnown() const {
  return loaded_ == 0 ? 0 : spine_[loaded_ - 1].firstPage + spine_[loaded_ - 1].pages;
}

uint32_t Session::objectsKnown() const {
  return loaded_ == 0 ? 0 : spine_[loaded_ - 1].firstObject + spine_[loaded_ - 1].objects;
}

int Session::docOfPage(int32_t page) const {
  for (size_t d = 0; d < loaded_; ++d)
    if (page >= spine_[d].firstPage && page < spine_[d].firstPage + spine_[d].pages) return int(d);
  return -1;
}

int Session::docOfPosition(uint32_t position) const {
  for (size_t d = 0; d < loaded_; ++d)
    if (position >= spine_[d].firstObject && position - spine_[d].firstObject < spine_[d].objects)
      return int(d);
  return -1;
}

void Session::restart() {
  loaded_ = 0;
  pages_ = 0;
  for (auto& doc : spine_) doc.pages = doc.firstPage = 0, doc.objects = doc.firstObject = 0;
}

std::string Session::describePages() const {
  return pages_ == 0 ? std::string("this book has no pages")
                     : "pages run from 1 to " + std::to_string(pages_) + " at " +
                           std::to_string(layout_.width) + " x " + std::to_string(layout_.height) +
                           " points";
}

namespace {

// The highest page of a list of plain page numbers (1-based), -1 for a
// list with "N" or a word that is not a page.
int32_t highestPlainPage(const std::string& text) {
  int32_t highest = 0;
  for (size_t at = 0; at <= text.size() && highest >= 0;) {
    size_t end = text.find_first_of(",-", at + 1);
    if (end == std::string::npos) end = text.size();
    const auto page = parseNumber(std::string_view(text).substr(at, end - at));
    highest = page && *page >= 1 && *page <= INT32_MAX ? std::max(highest, int32_t(*page)) : -1;
    at = end + 1;
  }
  return highest;
}

}  // namespace

bool Session::recallPages() {
  if (repeats_ || !memoryKey_ || loaded_ > 0) return false;
  const auto pages = memory::recall(*memoryKey_, spine_.size());
  if (!pages) return false;
  for (size_t d = 0; d < spine_.size(); ++d) {
    spine_[d].pages = (*pages)[d];
    place(d);
  }
  loaded_ = spine_.size();
  pages_ = pagesKnown();
  remembered_ = true;
  return true;
}

void Session::forgetPages() {
  if (memoryKey_) memory::forget(*memoryKey_);
  restart();
  remembered_ = false;
}

int32_t Session::pagesReachedFor(const std::string& text) const {
  if (!remembered_) return pagesKnown();
  const int32_t highest = highestPlainPage(text);
  const int d = highest > 0 ? docOfPage(highest - 1) : -1;
  return d < 0 ? pages_ : spine_[size_t(d)].firstPage + spine_[size_t(d)].pages;
}

std::vector<int32_t> Session::pageList(const std::string& option, const std::string& text) {
  // A list of plain page numbers needs the book laid out only as far as its
  // highest page; "N", a word that is not a page and a page past the end
  // need the page count.
  if (!complete()) {
    const int32_t highest = highestPlainPage(text);
    // A list that is wrong all the same is told against the whole book.
    if (highest > 0 && reachPage(highest - 1)) try {
        return parsePageList(option, text, pagesKnown(), describePages());
      } catch (const UsageError&) {
      }
    load();
  }
  if (pages_ == 0) throw noPages();
  return parsePageList(option, text, pages_, describePages());
}

Failure Session::noPages() const {
  return {book_->name() + ": " + describePages(), book_->damaged() ? kDamaged : kFailed};
}

int Session::finish(int status) const {
  finishOutput();
  // A book laid out whole without damage is remembered for the next
  // command that draws some of its pages.
  if (complete() && !remembered_ && !repeats_ && memoryKey_ && !book_->damaged()) {
    std::vector<int32_t> pages;
    for (const SpineDoc& doc : spine_) pages.push_back(doc.pages);
    memory::remember(*memoryKey_, pages);
  }
  if (status == kDone && book_->damaged()) {
    std::fprintf(stderr, "epubreader: %s is damaged: %zu problem%s, each named above\n",
                 book_->name().c_str(), book_->damaged(), book_->damaged() == 1 ? "" : "s");
    return kDamaged;
  }
  return status;
}

}  // namespace epubreader
