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
// lays a document out. The bar follows the documents only, and after each
// one the buffers it was served are given back.
struct LoadProgress {
  Progress bar{"loading"};
  Book* book = nullptr;
  uint32_t documents = 0;
  uint32_t done = 0;

  static void callback(void* context, uint32_t count, uint32_t done) {
    auto* self = static_cast<LoadProgress*>(context);
    if (count != self->documents || done < self->done) return;
    self->done = done;
    self->book->settle();
    self->bar.show(done, count);
  }
};

struct SpineDoc {
  std::u16string href;  // relative to the package folder: the Content forms' path
  std::string path;     // the full container path
  std::string id, mediaType;
  int32_t pages = 0;
  int32_t firstPage = 0;
};

// A book open on the engine, freed in the right order: the handle before
// the buffers it points into.
class Session {
 public:
  // Opens the book at `path` ("-": standard input), or the built-in
  // sample; Failure says why not. A package document that opens empty is
  // explained in a warning (damage).
  Session(const std::optional<std::string>& path, const Layout& layout);
  ~Session() { EpubReader_free(&reader_); }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  Book& book() { return *book_; }
  EpubReader* reader() { return reader_; }
  std::vector<SpineDoc>& spine() { return spine_; }
  const Layout& layout() const { return layout_; }

  // Loads every document into the renderer; returns the page count. A
  // document that is missing or could not be laid out is damage.
  int32_t load();
  // Gives back the buffers served since the last export call.
  void settle() { book_->settle(); }
  int32_t pages() const { return pages_; }

  // "pages run from 1 to N at W x H points", or that there are none.
  std::string describePages() const;
  // A command-line page list (see parsePageList): 0-based pages. A book
  // without pages fails, the same way for every command.
  std::vector<int32_t> pageList(const std::string& option, const std::string& text) const;
  // The Failure of a command that needs pages, for a book without any.
  Failure noPages() const;
  // The exit status: kDamaged instead of kDone when the book is damaged,
  // after a line that says so; output that could not be written fails.
  int finish(int status) const;

 private:
  Layout layout_;
  std::unique_ptr<Book> book_;
  EpubReader* reader_ = nullptr;
  std::vector<SpineDoc> spine_;
  int32_t pages_ = 0;
};

}  // namespace epubreader
