// Shared by the content operations: Content lookup by path, the Page mapping
// and the object count of a document. Internal to content/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "content/content.h"

namespace epub::content {

// Counts come from the renderer unchecked; sums and differences of them
// wrap as 32-bit values instead of overflowing.
inline int32_t wrappingAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int32_t wrappingSubtract(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

// The host's path resolved against the OPF directory; a null path is empty.
std::u16string resolveHostPath(const Session& s, Path path);

// Content lookup by path: the resolved path, and the index of the first item
// whose full path equals it exactly (none when no item does).
struct Lookup {
  std::u16string path;
  std::optional<size_t> index;
};
Lookup lookupContent(const Session& s, Path path);

// The renderer's object index one past the document's last page.
uint32_t objectCount(const Session& s, const ContentItem& item);

// A publication page as a Content item and a page within it.
struct PageLocation {
  size_t index;
  int32_t page;
};

// The Page mapping: the first item with more pages than the remainder holds
// the page (signed, so a negative page lands on item 0 and items without
// pages are passed over). `passed` sees every item passed over, in order,
// before the scan moves on; callers use it to sum what lies before the page.
template <class Passed>
std::optional<PageLocation> mapPage(const Session& s, int32_t page, Passed&& passed) {
  int32_t remainder = page;
  for (size_t i = 0; i < s.contents.size(); ++i) {
    const ContentItem& item = s.contents[i];
    if (item.pageCount > remainder) return PageLocation{i, remainder};
    passed(item);
    remainder = wrappingSubtract(remainder, item.pageCount);
  }
  return std::nullopt;
}

inline std::optional<PageLocation> mapPage(const Session& s, int32_t page) {
  return mapPage(s, page, [](const ContentItem&) {});
}

// The Content forms' common checks: a negative page, a path that names no
// item or a page not below the item's page count give `failure`; otherwise
// ask(item, page) answers.
template <class Result, class Ask>
Result askContentPage(const Session& s, Path path, int32_t page, Result failure, Ask&& ask) {
  if (page < 0) return failure;
  const Lookup found = lookupContent(s, path);
  if (!found.index) return failure;
  const ContentItem& item = s.contents[*found.index];
  if (page >= item.pageCount) return failure;
  return ask(item, page);
}

}  // namespace epub::content
