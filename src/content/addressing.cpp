// Publication pages and markable positions laid over the renderer's
// per-document pages and object indexes. Nothing is cached: every object
// count is asked of the renderer when it is needed, so the answers always
// follow the renderer's current layout.
#include "table.h"

namespace epub::content {
namespace {

// The manifest href (as stored) of the first spine entry whose resolved
// href is the document's path.
const char16_t* manifestHref(const Session& s, const std::u16string& documentPath) {
  const std::optional<size_t> index = s.firstIndexOf(documentPath);
  return index ? s.contents[*index].href : nullptr;
}

// Forward search for the page holding an index: the page before the first
// one whose first index exceeds it. -1 when even page 0 starts after it.
template <class IndexOf>
int32_t pageHolding(Session& s, Path path, uint32_t position, IndexOf indexOf) {
  if (s.contents.empty()) return 0;
  const Lookup found = lookupContent(s, path);
  if (!found.index) return -1;
  const ContentItem& item = s.contents[*found.index];
  for (int32_t page = 0;; ++page) {
    if (page >= item.pageCount) return wrappingSubtract(item.pageCount, 1);
    if (position < indexOf(s.renderer, item.path.c_str(), page)) return page - 1;
  }
}

}  // namespace

int32_t getContentPageCount(Session& s, Path path) {
  const Lookup found = lookupContent(s, path);
  return found.index ? s.contents[*found.index].pageCount : 0;
}

int32_t getTotalPageBeforeContent(Session& s, Path path) {
  const std::u16string resolved = resolveHostPath(s, path);
  // With no matching item the sum runs to the end: the pages of all items.
  int32_t before = 0;
  for (const ContentItem& item : s.contents) {
    if (item.path == resolved) return before;
    before = wrappingAdd(before, item.pageCount);
  }
  return before;
}

const char16_t* getFileName(Session& s, int32_t page) {
  const auto at = mapPage(s, page);
  if (!at) return nullptr;
  const std::u16string& documentPath = s.contents[at->index].path;
  if (documentPath.empty()) return nullptr;
  return manifestHref(s, documentPath);
}

const char16_t* getContentByPage(Session& s, int32_t page) {
  const auto at = mapPage(s, page);
  if (!at) return nullptr;
  return manifestHref(s, s.contents[at->index].path);
}

uint32_t getMarkablePosition(Session& s, int32_t page) {
  // A page equal to the total passes: it maps nowhere and gives the number
  // of objects of the whole publication.
  if (page < 0 || page > s.totalPageCount) return 0;
  uint32_t before = 0;
  const auto at =
      mapPage(s, page, [&](const ContentItem& item) { before += objectCount(s, item); });
  if (!at) return before;
  return before +
         ZaveVevode_getObjectIndex(s.renderer, s.contents[at->index].path.c_str(), at->page);
}

uint32_t getContentMarkablePosition(Session& s, Path path, int32_t page) {
  return askContentPage(s, path, page, uint32_t{0}, [&](const ContentItem& item, int32_t p) {
    return ZaveVevode_getObjectIndex(s.renderer, item.path.c_str(), p);
  });
}

int32_t getPageMarkPosition(Session& s, uint32_t position) {
  int32_t pagesBefore = 0;
  for (const ContentItem& item : s.contents) {
    const uint32_t objects = objectCount(s, item);
    if (position >= objects) {
      position -= objects;
      pagesBefore = wrappingAdd(pagesBefore, item.pageCount);
      // Exactly at the end of a document: the first page of the next one.
      if (position == 0) return pagesBefore;
      continue;
    }
    // Backwards from the last page, for the last page starting at or before
    // the position. A document none of whose pages qualifies is skipped.
    for (int32_t page = wrappingSubtract(item.pageCount, 1); page >= 0; --page) {
      if (ZaveVevode_getObjectIndex(s.renderer, item.path.c_str(), page) <= position) {
        return wrappingAdd(pagesBefore, page);
      }
    }
  }
  return pagesBefore;  // 0 for an empty table, else every page of the publication
}

int32_t getContentPageMarkPosition(Session& s, Path path, uint32_t objectIndex) {
  return pageHolding(s, path, objectIndex, ZaveVevode_getObjectIndex);
}

int32_t getContentPageAtPosUTF8(Session& s, Path path, uint32_t position) {
  return pageHolding(s, path, position, ZaveVevode_getObjectIndexUTF8);
}

uint32_t getContentObjectIndexUTF8(Session& s, Path path, int32_t page) {
  return askContentPage(s, path, page, uint32_t{0}, [&](const ContentItem& item, int32_t p) {
    return ZaveVevode_getObjectIndexUTF8(s.renderer, item.path.c_str(), p);
  });
}

uint32_t getContentObjectCountUTF8(Session& s, Path path, int32_t page) {
  return askContentPage(s, path, page, uint32_t{0}, [&](const ContentItem& item, int32_t p) {
    return ZaveVevode_getObjectCountUTF8(s.renderer, item.path.c_str(), p);
  });
}

}  // namespace epub::content
