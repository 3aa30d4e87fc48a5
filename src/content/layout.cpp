// Font and client-size changes. The renderer always hears of the change
// first. A publication-wide change then asks it for every document's new
// page count; a per-document change takes the one document out and loads it
// again from the host's bytes, leaving the total page count as it was.
#include "table.h"

namespace epub::content {
namespace {

constexpr int32_t kAllDocuments = 1;
constexpr int32_t kOneDocument = 0;

void recount(Session& s) {
  // Nothing is read: documents that are not loaded are counted by whatever
  // the renderer answers for them.
  s.totalPageCount = 0;
  for (ContentItem& item : s.contents) {
    item.pageCount = ZaveVevode_getPageLength(s.renderer, item.path.c_str());
    s.totalPageCount = wrappingAdd(s.totalPageCount, item.pageCount);
  }
}

void reload(Session& s, Path path) {
  const Lookup found = lookupContent(s, path);
  if (!found.index) return;
  const size_t i = *found.index;
  if (s.contents[i].loaded) {
    // Out of the renderer without telling the host: its bytes are read
    // again at once.
    ZaveVevode_deleteXhtml(s.renderer, s.contents[i].path.c_str());
    s.contents[i].pageCount = 0;
    s.contents[i].loaded = false;
  }
  const uint8_t* bytes;
  uint32_t length;
  if (!s.readFile(found.path, &bytes, &length)) return;
  ZaveVevode_xhtml(s.renderer, found.path.c_str(), bytes, length, nullptr, nullptr);
  s.contents[i].pageCount = ZaveVevode_getPageLength(s.renderer, s.contents[i].path.c_str());
  s.contents[i].loaded = true;
}

}  // namespace

void changeFont(Session& s, intptr_t fontSize, intptr_t fontValue2, intptr_t fontValue3,
                uint8_t fontFlag) {
  ZaveVevode_changeFont(s.renderer, fontSize, fontValue2, fontValue3, fontFlag, kAllDocuments);
  recount(s);
}

void changeClientSize(Session& s, intptr_t clientSize) {
  ZaveVevode_calcPageSize(s.renderer, clientSize, kAllDocuments);
  recount(s);
}

void changeContentFont(Session& s, Path path, intptr_t fontSize, intptr_t fontValue2,
                       intptr_t fontValue3, uint8_t fontFlag) {
  ZaveVevode_changeFont(s.renderer, fontSize, fontValue2, fontValue3, fontFlag, kOneDocument);
  reload(s, path);
}

void changeContentClientSize(Session& s, Path path, intptr_t clientSize) {
  ZaveVevode_calcPageSize(s.renderer, clientSize, kOneDocument);
  reload(s, path);
}

void changeContentFontAndClientSize(Session& s, Path path, intptr_t fontSize, intptr_t fontValue2,
                                    intptr_t fontValue3, uint8_t fontFlag, intptr_t clientSize) {
  ZaveVevode_changeFont(s.renderer, fontSize, fontValue2, fontValue3, fontFlag, kOneDocument);
  ZaveVevode_calcPageSize(s.renderer, clientSize, kOneDocument);
  reload(s, path);
}

}  // namespace epub::content
