// Scraps (highlights) and the selection box. The Content forms hand the
// renderer the resolved path as it is; the plain forms find the document
// holding the start position and shift both positions into it.
#include "table.h"

namespace epub::content {
namespace {

struct Located {
  const ContentItem* item;
  uint32_t start;
  uint32_t end;
};

// Only the start decides the document. The end moves by the same amount,
// unchecked and unsigned, so a span may run past its document's end.
std::optional<Located> locate(const Session& s, uint32_t start, uint32_t end) {
  for (const ContentItem& item : s.contents) {
    const uint32_t objects = objectCount(s, item);
    if (start < objects) return Located{&item, start, end};
    start -= objects;
    end -= objects;
  }
  return std::nullopt;
}

}  // namespace

void addScrap(Session& s, uint32_t start, uint32_t end, intptr_t color, intptr_t style) {
  if (const auto at = locate(s, start, end)) {
    ZaveVevode_addScrap(s.renderer, at->item->path.c_str(), at->start, at->end, color, style);
  }
}

void modifyScrap(Session& s, uint32_t start, uint32_t end, intptr_t color, intptr_t style) {
  if (const auto at = locate(s, start, end)) {
    ZaveVevode_modifyScrap(s.renderer, at->item->path.c_str(), at->start, at->end, color, style);
  }
}

void removeScrap(Session& s, uint32_t start, uint32_t end) {
  if (const auto at = locate(s, start, end)) {
    ZaveVevode_removeScrap(s.renderer, at->item->path.c_str(), at->start, at->end);
  }
}

const char16_t* getScrapText(Session& s, uint32_t start, uint32_t end) {
  const auto at = locate(s, start, end);
  if (!at) return nullptr;
  return ZaveVevode_getScrapText(s.renderer, at->item->path.c_str(), at->start, at->end);
}

void clearScrap(Session& s) {
  // Every document, loaded or not.
  for (const ContentItem& item : s.contents) {
    ZaveVevode_clearScrap(s.renderer, item.path.c_str());
  }
}

void drawSelectionBox(Session& s, intptr_t target, intptr_t targetPage, uint32_t start,
                      uint32_t end, intptr_t color, intptr_t style) {
  if (const auto at = locate(s, start, end)) {
    ZaveVevode_drawSelectionBox(s.renderer, at->item->path.c_str(), target, targetPage, at->start,
                                at->end, color, style);
  }
}

// The Content forms do not consult the table: neither an empty table nor a
// path naming no item stops the call.

void addContentScrap(Session& s, Path path, uint32_t start, uint32_t end, intptr_t color,
                     intptr_t style) {
  ZaveVevode_addScrap(s.renderer, resolveHostPath(s, path).c_str(), start, end, color, style);
}

void modifyContentScrap(Session& s, Path path, uint32_t start, uint32_t end, intptr_t color,
                        intptr_t style) {
  ZaveVevode_modifyScrap(s.renderer, resolveHostPath(s, path).c_str(), start, end, color, style);
}

void removeContentScrap(Session& s, Path path, uint32_t start, uint32_t end) {
  ZaveVevode_removeScrap(s.renderer, resolveHostPath(s, path).c_str(), start, end);
}

const char16_t* getContentScrapText(Session& s, Path path, uint32_t start, uint32_t end) {
  return ZaveVevode_getScrapText(s.renderer, resolveHostPath(s, path).c_str(), start, end);
}

void clearContentScrap(Session& s, Path path) {
  ZaveVevode_clearScrap(s.renderer, resolveHostPath(s, path).c_str());
}

void drawContentSelectionBox(Session& s, Path path, intptr_t target, intptr_t targetPage,
                             uint32_t start, uint32_t end, intptr_t color, intptr_t style) {
  ZaveVevode_drawSelectionBox(s.renderer, resolveHostPath(s, path).c_str(), target, targetPage,
                              start, end, color, style);
}

}  // namespace epub::content
