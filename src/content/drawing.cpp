// Drawing a page and the questions about objects on it, in plain forms
// (publication page, through the Page mapping) and Content forms (a path and
// a page within the document).
#include <cstring>

#include "table.h"

namespace epub::content {
namespace {

// The plain page queries answer only for pages below the total page count,
// which is 0 until loadAll or a publication-wide layout change has run.
template <class Result, class Ask>
Result askPage(const Session& s, int32_t page, Result failure, Ask&& ask) {
  if (page < 0 || page >= s.totalPageCount) return failure;
  const auto at = mapPage(s, page);
  if (!at) return failure;
  return ask(s.contents[at->index], at->page);
}

// Adds `shift` to the unsigned 32-bit field at `offset` of the renderer's
// record, whose alignment the library does not know.
void shiftField(void* record, size_t offset, uint32_t shift) {
  auto* field = static_cast<unsigned char*>(record) + offset;
  uint32_t value;
  std::memcpy(&value, field, sizeof value);
  value += shift;
  std::memcpy(field, &value, sizeof value);
}

}  // namespace

void draw(Session& s, int32_t page, intptr_t target, intptr_t x, intptr_t y, intptr_t zoom) {
  // No range check and no loaded test: target negative page reaches the renderer
  // on the first document.
  const auto at = mapPage(s, page);
  if (!at) return;
  ZaveVevode_draw(s.renderer, s.contents[at->index].path.c_str(), at->page, target, x, y, zoom);
}

void drawContent(Session& s, Path path, int32_t page, intptr_t target, intptr_t x, intptr_t y,
                 intptr_t zoom) {
  if (s.contents.empty()) return;
  // Only resolved, not looked up: the renderer decides what it can draw.
  const std::u16string resolved = resolveHostPath(s, path);
  ZaveVevode_draw(s.renderer, resolved.c_str(), page, target, x, y, zoom);
}

int32_t getLink(Session& s, Path path, intptr_t link) {
  if (s.contents.empty()) return -1;
  const std::u16string resolved = resolveHostPath(s, path);
  int32_t before = 0;
  for (const ContentItem& item : s.contents) {
    if (item.path == resolved) {
      return wrappingAdd(ZaveVevode_getLink(s.renderer, resolved.c_str(), link), before);
    }
    before = wrappingAdd(before, item.pageCount);
  }
  return -1;
}

int32_t getContentLink(Session& s, Path path, intptr_t link) {
  if (s.contents.empty()) return -1;
  const Lookup found = lookupContent(s, path);
  if (!found.index) return -1;
  return ZaveVevode_getLink(s.renderer, found.path.c_str(), link);
}

intptr_t getObjectType(Session& s, int32_t page, intptr_t object) {
  return askPage(s, page, intptr_t{0}, [&](const ContentItem& item, int32_t p) {
    return ZaveVevode_getObjectType(s.renderer, item.path.c_str(), p, object);
  });
}

intptr_t getContentObjectType(Session& s, Path path, int32_t page, intptr_t object) {
  return askContentPage(s, path, page, intptr_t{0}, [&](const ContentItem& item, int32_t p) {
    return ZaveVevode_getObjectType(s.renderer, item.path.c_str(), p, object);
  });
}

bool isAnchor(Session& s, int32_t page, intptr_t object) {
  return askPage(s, page, false, [&](const ContentItem& item, int32_t p) {
    return ZaveVevode_isAnchor(s.renderer, item.path.c_str(), p, object);
  });
}

bool isContentAnchor(Session& s, Path path, int32_t page, intptr_t object) {
  return askContentPage(s, path, page, false, [&](const ContentItem& item, int32_t p) {
    return ZaveVevode_isAnchor(s.renderer, item.path.c_str(), p, object);
  });
}

const char16_t* getHref(Session& s, int32_t page, intptr_t object) {
  return askPage(s, page, static_cast<const char16_t*>(nullptr),
                 [&](const ContentItem& item, int32_t p) {
                   return ZaveVevode_getHref(s.renderer, item.path.c_str(), p, object);
                 });
}

const char16_t* getContentHref(Session& s, Path path, int32_t page, intptr_t object) {
  return askContentPage(s, path, page, static_cast<const char16_t*>(nullptr),
                        [&](const ContentItem& item, int32_t p) {
                          return ZaveVevode_getHref(s.renderer, item.path.c_str(), p, object);
                        });
}

intptr_t getImage(Session& s, int32_t page, intptr_t object) {
  return askPage(s, page, intptr_t{0}, [&](const ContentItem& item, int32_t p) {
    return ZaveVevode_getImage(s.renderer, item.path.c_str(), p, object);
  });
}

intptr_t getContentImage(Session& s, Path path, int32_t page, intptr_t object) {
  return askContentPage(s, path, page, intptr_t{0}, [&](const ContentItem& item, int32_t p) {
    return ZaveVevode_getImage(s.renderer, item.path.c_str(), p, object);
  });
}

const char16_t* getMarkableString(Session& s, int32_t page) {
  // Unlike the other plain queries, a page equal to the total passes the
  // check; it then maps nowhere.
  if (page < 0 || page > s.totalPageCount) return nullptr;
  const auto at = mapPage(s, page);
  if (!at) return nullptr;
  return ZaveVevode_getFirstStringPage(s.renderer, s.contents[at->index].path.c_str(), at->page);
}

const char16_t* getContentMarkableString(Session& s, Path path, int32_t page) {
  return askContentPage(s, path, page, static_cast<const char16_t*>(nullptr),
                        [&](const ContentItem& item, int32_t p) {
                          return ZaveVevode_getFirstStringPage(s.renderer, item.path.c_str(), p);
                        });
}

uint32_t getObjectCount(Session& s, int32_t page) {
  if (page < 0 || page > s.totalPageCount) return 0;
  // The markable-position scan with the renderer's object counts: each
  // earlier document adds its count at its page count.
  uint32_t before = 0;
  const auto at = mapPage(s, page, [&](const ContentItem& item) {
    before += ZaveVevode_getObjectCount(s.renderer, item.path.c_str(), item.pageCount);
  });
  if (!at) return before;
  return before +
         ZaveVevode_getObjectCount(s.renderer, s.contents[at->index].path.c_str(), at->page);
}

uint32_t getContentObjectCount(Session& s, Path path, int32_t page) {
  return askContentPage(s, path, page, uint32_t{0}, [&](const ContentItem& item, int32_t p) {
    return ZaveVevode_getObjectCount(s.renderer, item.path.c_str(), p);
  });
}

bool getObjectInfo(Session& s, int32_t page, intptr_t object, void* record, intptr_t flags) {
  if (page < 0 || page >= s.totalPageCount) return false;
  uint32_t shift = 0;
  const auto at = mapPage(s, page, [&](const ContentItem& item) { shift += objectCount(s, item); });
  if (!at) return false;
  const ContentItem& item = s.contents[at->index];
  if (!ZaveVevode_getObjectInfo(s.renderer, item.path.c_str(), at->page, object, record, flags)) {
    return false;
  }
  // The third and fourth 32-bit fields hold object indexes within the
  // document; the host reads them as markable positions.
  if (record) {
    shiftField(record, 8, shift);
    shiftField(record, 12, shift);
  }
  return true;
}

bool getContentObjectInfo(Session& s, Path path, int32_t page, intptr_t object, void* record,
                          intptr_t flags) {
  return askContentPage(s, path, page, false, [&](const ContentItem& item, int32_t p) {
    return ZaveVevode_getObjectInfo(s.renderer, item.path.c_str(), p, object, record, flags);
  });
}

}  // namespace epub::content
