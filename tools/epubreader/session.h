// A book open on the engine: the host (book.h), the Reader handle, the
// reading order with each document's pages, and the page numbers the
// command line takes.
#pragma once

#include <functional>
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
  uint32_t objects = 0;      // markable positions, once laid out and counted
  uint32_t firstObject = 0;  // the publication's position of the first
};

// A book open on the engine, freed in the right order: the handle before
// the buffers it points into.
class Session {
 public:
  // Opens the book at `path` ("-": standard input), or the built-in
  // sample; Failure says why not. A package document that opens empty is
  // explained in a warning (damage).
  Session(const std::optional<std::string>& path, const Layout& layout, bool quiet = false);
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
  // The book's page count, 0 until every document is laid out.
  int32_t pages() const { return pages_; }

  // Lazy layout: documents are loaded one by one in reading order, so the
  // engine's page mapping (which passes over documents without pages) sees
  // a prefix of the book; the reached* calls load as far as they need and
  // say whether the book holds that page or position. A document named
  // twice in the reading order is one document to the renderer and two
  // entries to the engine, and only loadAll lays both out: such a book is
  // laid out whole at the first need.
  bool reachPage(int32_t page);
  bool reachPosition(uint32_t position);
  bool reachDocument(size_t doc);
  // Lays out the next document (or, when documents repeat, all).
  void loadNext();
  bool repeats() const { return repeats_; }
  bool complete() const { return loaded_ == spine_.size(); }
  size_t loaded() const { return loaded_; }
  int32_t pagesKnown() const;
  uint32_t objectsKnown() const;
  // The laid-out document holding a page or position, -1 for none.
  int docOfPage(int32_t page) const;
  int docOfPosition(uint32_t position) const;
  // After a change of page or font size with every document taken out of
  // the renderer: nothing is laid out.
  void restart();
  // Takes the page and object counts of documents laid out by other
  // sessions on the same book (workers.h): the reading order is complete
  // without this handle holding any document.
  void adopt(const std::vector<SpineDoc>& measured);
  // Loads one document and counts its pages and objects, for adopt().
  // `whileHeld` runs after that, while the book still holds the document's
  // bytes: a search reads them again.
  void layOutAlone(size_t doc, const std::function<void()>& whileHeld = {});
  // Called with each document's index once it is laid out.
  std::function<void(size_t)> onLoaded;
  // Whether documents' markable positions are counted as they are laid
  // out (SpineDoc::objects and firstObject; reachPosition sets it).
  bool countObjects = false;
  // Whether a document without pages is warned about as damage.
  bool warnLeftOut = true;

  // The page counts of an earlier command on the same book and layout
  // (page_memory.h), taken before anything is laid out: the reading order
  // is complete, and no document is in the renderer. False when there are
  // none, or the book names a document twice.
  bool recallPages();
  bool remembered() const { return remembered_; }
  // Drops remembered page counts that proved wrong: nothing is laid out.
  void forgetPages();
  // The pages the lazy layout of a page list knows once it reaches the
  // list's pages: the end of the document holding the highest, or the
  // whole book for a list that names N or is wrong.
  int32_t pagesReachedFor(const std::string& text) const;

  // "pages run from 1 to N at W x H points", or that there are none.
  std::string describePages() const;
  // A command-line page list (see parsePageList): 0-based pages, laid out
  // at least as far as the highest. A book without pages fails, the same
  // way for every command.
  std::vector<int32_t> pageList(const std::string& option, const std::string& text);
  // The Failure of a command that needs pages, for a book without any.
  Failure noPages() const;
  // The exit status: kDamaged instead of kDone when the book is damaged,
  // after a line that says so; output that could not be written fails.
  int finish(int status) const;

 private:
  bool loadUntil(const std::function<bool()>& enough);
  void measure(size_t doc);
  // Sets the document's first page and first position after the one
  // before it.
  void place(size_t doc);
  void checkLaidOut(const SpineDoc& doc);

  Layout layout_;
  std::optional<std::string> memoryKey_;  // page_memory.h; none for standard input
  bool remembered_ = false;
  std::unique_ptr<Book> book_;
  EpubReader* reader_ = nullptr;
  std::vector<SpineDoc> spine_;
  size_t loaded_ = 0;     // documents laid out: a prefix of the reading order
  bool repeats_ = false;  // a document recurs in the reading order
  int32_t pages_ = 0;
};

}  // namespace epubreader
