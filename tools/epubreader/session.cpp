#include "session.h"

#include "opf.h"
#include "package_check.h"
#include "utf.h"

extern "C" const unsigned char epubreader_sample[];
extern "C" const size_t epubreader_sample_size;

namespace epubreader {

using epub::utf::toUtf8;

namespace {
const char kSampleName[] = "(built-in sample)";
}  // namespace

Session::Session(const std::optional<std::string>& path, const Layout& layout) : layout_(layout) {
  std::string error;
  book_ = path ? Book::openFile(*path, error)
               : Book::openMemory(epubreader_sample, epubreader_sample_size, kSampleName, error);
  if (!book_) throw Failure{error};
  reader_ = book_->open(layout.settings(), error);
  if (!reader_) throw Failure{error};
  const EpubReaderSpineList* spine = EpubReader_getSpine(reader_);
  for (const EpubReaderSpineNode* n = spine ? spine->first : nullptr; n; n = n->next) {
    const std::u16string href = n->item->href ? n->item->href : u"";
    spine_.push_back({href, joinPath(book_->packagePath(), toUtf8(href)), toUtf8(n->item->id),
                      toUtf8(n->item->mediaType)});
  }
  if (spine_.empty())
    if (auto opf = book_->read(book_->packagePath()))
      if (auto problem = packageProblem(*opf))
        book_->damage(book_->packagePath() + ", " + *problem + "; the book opens empty");
}

int32_t Session::load() {
  LoadProgress progress;
  progress.book = book_.get();
  progress.documents = static_cast<uint32_t>(spine_.size());
  EpubReader_loadAll(reader_, LoadProgress::callback, &progress);
  progress.bar.finish();
  book_->settle();
  int32_t first = 0;
  for (auto& doc : spine_) {
    doc.pages = EpubReader_getContentPageCount(reader_, doc.href.c_str());
    doc.firstPage = first;
    first += doc.pages;
    if (doc.pages > 0 || book_->wasDamaged(doc.path)) continue;
    book_->damage(doc.path + (book_->missing(doc.path)
                                  ? " is in the reading order but not in the archive: left out"
                                  : " could not be laid out by the renderer: left out"));
  }
  pages_ = EpubReader_getPageCount(reader_);
  return pages_;
}

std::string Session::describePages() const {
  return pages_ == 0 ? std::string("this book has no pages")
                     : "pages run from 1 to " + std::to_string(pages_) + " at " +
                           std::to_string(layout_.width) + " x " + std::to_string(layout_.height) +
                           " points";
}

std::vector<int32_t> Session::pageList(const std::string& option, const std::string& text) const {
  if (pages_ == 0) throw noPages();
  return parsePageList(option, text, pages_, describePages());
}

Failure Session::noPages() const {
  return {book_->name() + ": " + describePages(), book_->damaged() ? kDamaged : kFailed};
}

int Session::finish(int status) const {
  finishOutput();
  if (status == kDone && book_->damaged()) {
    std::fprintf(stderr, "epubreader: %s is damaged: %zu problem%s, each named above\n",
                 book_->name().c_str(), book_->damaged(), book_->damaged() == 1 ? "" : "s");
    return kDamaged;
  }
  return status;
}

}  // namespace epubreader
