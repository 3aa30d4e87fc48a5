// Search: the renderer searches the bytes the host supplies; the library
// fetches them and adds up the answers. The bytes read here are neither
// kept nor released back to the host.
#include "table.h"

namespace epub::content {

int32_t search(Session& s, intptr_t searchValue1, intptr_t searchValue2, intptr_t searchValue3) {
  // Every document, loaded or not; one that cannot be read is skipped.
  int32_t total = 0;
  for (const ContentItem& item : s.contents) {
    const uint8_t* bytes;
    uint32_t length;
    if (!s.readFile(item.path, &bytes, &length)) continue;
    total = wrappingAdd(total, ZaveVevode_search(s.renderer, item.path.c_str(), bytes, length,
                                                 searchValue1, searchValue2, searchValue3));
  }
  return total;
}

int32_t searchContent(Session& s, Path path, intptr_t searchValue1, intptr_t searchValue2,
                      intptr_t searchValue3) {
  // Any path the host can supply is searched, whether or not an item has it.
  const std::u16string resolved = resolveHostPath(s, path);
  const uint8_t* bytes;
  uint32_t length;
  if (!s.readFile(resolved, &bytes, &length)) return -1;
  return ZaveVevode_search(s.renderer, resolved.c_str(), bytes, length, searchValue1, searchValue2,
                           searchValue3);
}

void setSearchDrawItem(Session& s, Path path, intptr_t hit, intptr_t hitValue) {
  ZaveVevode_setSearchDrawItem(s.renderer, resolveHostPath(s, path).c_str(), hit, hitValue);
}

}  // namespace epub::content
