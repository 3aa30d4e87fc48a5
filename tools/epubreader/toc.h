// The publication's table of contents as a tree: the engine's NCX list when
// the publication has one, otherwise the EPUB 3 navigation document (the
// manifest item with properties="nav"), which the host reads itself.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "book.h"

namespace epubreader {

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
};

// "NCX", "navigation document" or "none".
const char* sourceName(Toc::Source source);

Toc readToc(Book& book, EpubReader* reader);

// Joins the folder of `base` and a relative href (its fragment dropped,
// percent escapes decoded, "." and ".." resolved).
std::string resolveHref(const std::string& base, std::string_view href);

}  // namespace epubreader
