// A book open on the engine: the host (book.h), the Reader handle, the
// reading order with each document's pages, and the page numbers the
// command line takes.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "book.h"
#include "cli.h"

namespace epubreader {

// The engine's loadAll reports (documents, done) after each document; the
// renderer reports its own page counts through the same callback while it
// lays a document out. The bar follows the documents only.
struct LoadProgress {
  Progress bar{"loading"};
  uint32_t documents = 0;
  uint32_t done = 0;

  static void callback(void* context, uint32_t count, uint32_t done) {
    auto* self = static_cast<LoadProgress*>(context);
    if (count != self->documents || done < self->done) return;
    self->done = done;
    self->bar.show(done, count);
  }
};

struct SpineDoc {
  std::u16string href;  // relative to the package folder: the Content forms' path
  std::string id, mediaType;
  int32_t pages = 0;
  int32_t firstPage = 0;
};

// A book open on the engine, freed in the right order: the handle before
// the buffers it points into.
class Session {
 public:
  // Opens the book at `path`, or the built-in sample; Failure says why not.
  Session(const std::optional<std::string>& path, const Layout& layout);
  ~Session() { EpubReader_free(&reader_); }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  Book& book() { return *book_; }
  EpubReader* reader() { return reader_; }
  std::vector<SpineDoc>& spine() { return spine_; }
  const Layout& layout() const { return layout_; }

  // Loads every document into the renderer; returns the page count.
  int32_t load();
  int32_t pages() const { return pages_; }

  // "pages run from 1 to N at W x H points", or that there are none.
  std::string describePages() const;
  // A command-line page (from 1) checked against the book: 0-based.
  int32_t page(const std::string& option, const std::string& text) const;
  // The exit status: kDamaged instead of kDone when entries could not be read.
  int finish(int status) const;

 private:
  Layout layout_;
  std::unique_ptr<Book> book_;
  EpubReader* reader_ = nullptr;
  std::vector<SpineDoc> spine_;
  int32_t pages_ = 0;
};

}  // namespace epubreader
