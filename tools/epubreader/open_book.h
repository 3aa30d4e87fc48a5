// One book open for the web reader: a Reader handle on the engine, used
// behind its own mutex for every call (the engine locks only some of its
// exports, and calls on one handle must not overlap), with the documents
// laid out lazily in reading order: as far as a request needs, and the
// rest by a background thread that gives way to requests.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "highlights.h"
#include "search.h"
#include "session.h"
#include "toc.h"

namespace epubreader {

// How a reader lays pages out: page size and font size in points.
struct View {
  int width = 600;
  int height = 800;
  int fontSize = 16;
  bool operator==(const View&) const = default;
};

// An object of a page, in points of the page.
struct PageObject {
  int32_t x, y, width, height;
  uint32_t position;  // markable position
  bool anchor;        // the word lies in a link
};

struct PageObjects {
  uint32_t first = 0;  // markable position of the page's first object
  std::vector<PageObject> objects;
};

struct ContentsEntry {
  std::string label;
  int32_t page;  // -1 while its document is not laid out, or when it leads nowhere
  std::vector<ContentsEntry> children;
};

struct BookStatus {
  int32_t pages;  // laid out so far
  bool complete;  // every document is laid out: `pages` is the book's count
  bool current;   // false: the book is laid out in another size, and nothing is known
  std::vector<ContentsEntry> contents;
  std::vector<std::string> damaged;
};

class OpenBook {
 public:
  // Opens the book at `path` (the built-in sample without one); a book that
  // cannot be opened keeps the reason in error(). Highlights are kept in
  // `highlightFile` (in memory only when it is empty).
  OpenBook(const std::optional<std::string>& path, const std::string& highlightFile);
  ~OpenBook();
  OpenBook(const OpenBook&) = delete;
  OpenBook& operator=(const OpenBook&) = delete;

  const std::string& error() const { return error_; }
  const std::string& title() const { return title_; }
  const std::string& author() const { return author_; }

  BookStatus status(const View& view);
  // The page drawn at `zoom` hundredths as PNG, with the markable positions
  // `mark` (a search hit) marked; false when there is no such page.
  bool drawPage(const View& view, int32_t page, int zoom,
                std::optional<std::pair<uint32_t, uint32_t>> mark, std::vector<uint8_t>& png);
  // The first page fitted into width x height pixels.
  bool drawCover(int width, int height, std::vector<uint8_t>& png);
  std::optional<PageObjects> objects(const View& view, int32_t page);
  // Where the link under the object at a markable position of the page
  // leads inside the book: a page, or nothing (no link, a link out of the
  // book, a target that is not there).
  std::optional<int32_t> follow(const View& view, int32_t page, uint32_t position);
  // The page holding a markable position; nothing past the book's end.
  std::optional<int32_t> locate(const View& view, uint32_t position);
  SearchResult search(const View& view, const std::u16string& needle, bool matchCase);

  std::vector<Highlight> highlights();
  // Adds or replaces a highlight; returns why it cannot be, or nothing.
  std::string addHighlight(uint32_t from, uint32_t to, Highlight& added);
  bool removeHighlight(uint32_t from, uint32_t to);

 private:
  struct Target {
    int doc = -1;
    std::u16string fragment;  // with its '#', or empty
  };

  // The mutex, taken ahead of the background loader.
  std::unique_lock<std::mutex> take();
  void apply(const View& view);
  void loaderMain();
  void applyHighlights(size_t doc);
  // A laid-out publication page as its document sees it.
  struct DocPage {
    int doc;               // index in the reading order
    const char16_t* href;  // the document's path, as the engine knows it
    int32_t local;         // the page in the document
    uint32_t firstObject;  // the publication's index of the page's first object
  };
  DocPage docPage(int32_t page) const;
  Target target(const std::string& base, int fromDoc, const std::string& href) const;
  int32_t pageOf(const Target& target);
  std::vector<ContentsEntry> contents(const std::vector<TocEntry>& entries, size_t& next);

  std::unique_ptr<Session> session_;
  std::string error_, title_, author_;
  std::vector<std::string> fullPaths_;  // of the reading order's documents
  std::vector<Target> tocTargets_;      // the contents entries in pre-order
  std::vector<int32_t> tocPages_;       // their pages once known, else -2
  Toc toc_;
  View view_;
  HighlightStore highlights_;
  std::mutex mutex_;
  std::condition_variable work_;
  std::atomic<int> waiting_{0};
  bool stopping_ = false;
  std::thread loader_;
};

}  // namespace epubreader
