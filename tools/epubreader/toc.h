// The publication's table of contents as a tree: the engine's NCX list when
// the publication has one, otherwise the EPUB 3 navigation document (the
// manifest item with properties="nav"), which the host reads itself, as it
// reads the navigation document's landmarks and page list.
//
// Both are walked without recursion, and the tree is kept at most
// kMaxTocDepth levels deep: deeper entries are listed, in order, at the
// deepest level, so no book makes printing it deep or long.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "book.h"

namespace epubreader {

constexpr size_t kMaxTocDepth = 32;

struct TocEntry {
  std::string label;
  std::string href;  // as written in its source, not resolved
  std::vector<TocEntry> children;
};

struct Toc {
  enum class Source { None, Ncx, Nav };
  Source source = Source::None;
  std::string path;  // full path of the NCX or navigation document, when known
  std::vector<TocEntry> entries;
  // From the navigation document, when it has them (flat lists).
  std::vector<TocEntry> landmarks, pageList;
  std::string navPath;  // the navigation document's full path
  bool capped = false;  // entries deeper than kMaxTocDepth were moved up
};

// Calls visit(entry, depth) for every entry in pre-order, depth 1 at the
// top, without recursion.
template <class Visit>
void forEachTocEntry(const std::vector<TocEntry>& entries, Visit&& visit) {
  std::vector<std::pair<const std::vector<TocEntry>*, size_t>> open{{&entries, 0}};
  while (!open.empty()) {
    auto& [list, next] = open.back();
    if (next == list->size()) {
      open.pop_back();
      continue;
    }
    const TocEntry& entry = (*list)[next++];
    visit(entry, open.size());
    if (!entry.children.empty()) open.push_back({&entry.children, 0});
  }
}

// "NCX", "navigation document" or "none".
const char* sourceName(Toc::Source source);

// Reads the contents; an NCX the engine could not read is explained as
// damage on the book.
Toc readToc(Book& book, EpubReader* reader);

// The entry's full target: `href` joined to the folder of the file it was
// written in, its fragment kept.
std::string tocTarget(const Toc& toc, const TocEntry& entry);

}  // namespace epubreader
