// Bringing content documents into the renderer and taking them out again.
// Host callbacks run in the middle of these operations and may call back
// into the library (the lock is recursive), so items are found again by
// index after each of them; the table itself never grows once open.
#include "table.h"

namespace epub::content {

bool loadAll(Session& s, ZaveVevodeProgressCallback progress, void* context) {
  if (!s.isOpen()) return false;
  const size_t n = s.contents.size();
  s.totalPageCount = 0;
  for (size_t i = 0; i < n; ++i) {
    if (!s.contents[i].loaded) {
      const uint8_t* bytes;
      uint32_t length;
      const std::u16string& path = s.contents[i].path;
      // A document that cannot be read keeps whatever count it had.
      if (s.readFile(path, &bytes, &length)) {
        ZaveVevode_xhtml(s.renderer, path.c_str(), bytes, length, progress, context);
        s.contents[i].pageCount = ZaveVevode_getPageLength(s.renderer, path.c_str());
        s.contents[i].loaded = true;
      }
    }
    // Every item counts, loaded now, before, or not at all: a count kept
    // from before a delete still holds the document's pages.
    s.totalPageCount = wrappingAdd(s.totalPageCount, s.contents[i].pageCount);
    if (progress) progress(context, static_cast<uint32_t>(n), static_cast<uint32_t>(i + 1));
  }
  return true;
}

bool loadContent(Session& s, Path path, ZaveVevodeProgressCallback progress, void* context) {
  if (!s.isOpen()) return false;
  const Lookup found = lookupContent(s, path);
  if (!found.index || s.contents[*found.index].loaded) return false;
  const uint8_t* bytes;
  uint32_t length;
  if (!s.readFile(found.path, &bytes, &length)) return false;
  ZaveVevode_xhtml(s.renderer, found.path.c_str(), bytes, length, progress, context);
  ContentItem& item = s.contents[*found.index];
  item.pageCount = ZaveVevode_getPageLength(s.renderer, found.path.c_str());
  item.loaded = true;
  // The total page count stays as the last loadAll left it.
  return true;
}

void deleteContent(Session& s, Path path) {
  if (!s.isOpen()) return;
  const Lookup found = lookupContent(s, path);
  if (!found.index) return;
  // Loaded or not, the renderer and the host both hear of it. The page count
  // is kept: publication pages go on counting the document.
  ContentItem& item = s.contents[*found.index];
  item.loaded = false;
  ZaveVevode_deleteXhtml(s.renderer, item.path.c_str());
  s.releaseFile(found.path);
}

}  // namespace epub::content
