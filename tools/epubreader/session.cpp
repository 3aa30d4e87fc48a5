#include "session.h"

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
  for (const EpubReaderSpineNode* n = spine ? spine->first : nullptr; n; n = n->next)
    spine_.push_back(
        {n->item->href ? n->item->href : u"", toUtf8(n->item->id), toUtf8(n->item->mediaType)});
}

int32_t Session::load() {
  LoadProgress progress;
  progress.documents = static_cast<uint32_t>(spine_.size());
  EpubReader_loadAll(reader_, LoadProgress::callback, &progress);
  int32_t first = 0;
  for (auto& doc : spine_) {
    doc.pages = EpubReader_getContentPageCount(reader_, doc.href.c_str());
    doc.firstPage = first;
    first += doc.pages;
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

int32_t Session::page(const std::string& option, const std::string& text) const {
  const auto value = parseNumber(text);
  if (!value) throw UsageError{option + " '" + text + "' is not a number: " + describePages()};
  if (*value < 1 || *value > pages_)
    throw UsageError{option + " " + text + " is out of range: " + describePages()};
  return static_cast<int32_t>(*value - 1);
}

int Session::finish(int status) const {
  if (status == kDone && !book_->damaged().empty()) {
    std::fprintf(stderr, "epubreader: %s is damaged: %zu entr%s could not be read\n",
                 book_->name().c_str(), book_->damaged().size(),
                 book_->damaged().size() == 1 ? "y" : "ies");
    return kDamaged;
  }
  return status;
}

}  // namespace epubreader
