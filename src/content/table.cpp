#include "table.h"

#include <string_view>

namespace epub::content {

std::u16string resolveHostPath(const Session& s, Path path) {
  return package::resolvePath(s.location.opfDirectory,
                              path ? std::u16string_view(path) : std::u16string_view());
}

Lookup lookupContent(const Session& s, Path path) {
  Lookup found{resolveHostPath(s, path), std::nullopt};
  // Exact, case-sensitive; of two items with one path the first wins.
  found.index = s.firstIndexOf(found.path);
  return found;
}

uint32_t objectCount(const Session& s, const ContentItem& item) {
  return ZaveVevode_getObjectIndex(s.renderer, item.path.c_str(), item.pageCount);
}

}  // namespace epub::content
