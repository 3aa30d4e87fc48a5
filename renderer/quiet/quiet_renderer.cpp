// The quiet renderer. Unlike the recording test renderer it keeps no log, so
// a fuzzer or a soak run can drive it for hours in bounded memory: it holds
// one small record per loaded document (erased by deleteXhtml) and nothing
// else. Its answers are deterministic functions of the document's bytes and
// the arguments, so page and object arithmetic in the engine gets real
// numbers to work on.
//
// Every string and byte range it is handed is read in full, so that a bad
// pointer or length from the engine shows up under AddressSanitizer here,
// where the renderer would have read it.
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "pendrel.h"

namespace {

struct Document {
  int32_t pages = 0;
  uint32_t objectsPerPage = 0;
};

// A page holds this many bytes of a document, and an object stands for
// this many bytes.
constexpr uint32_t kPageBytes = 256;
constexpr uint32_t kObjectBytes = 16;
constexpr int32_t kMaxPages = 64;

uint32_t touch(const uint8_t* bytes, uint32_t length) {
  uint32_t sum = 0;
  if (bytes)
    for (uint32_t i = 0; i < length; ++i) sum += bytes[i];
  return sum;
}

std::u16string pathText(const char16_t* path) { return path ? std::u16string(path) : u""; }

}  // namespace

struct ZaveVevode {
  ZaveVevodeOptions options{};
  std::mutex mutex;
  std::map<std::u16string, Document> documents;
  int32_t pageScale = 1;  // grows and shrinks with changeFont / calcPageSize
  uint32_t checksum = 0;

  Document find(const char16_t* path) {
    std::lock_guard lock(mutex);
    auto it = documents.find(pathText(path));
    return it == documents.end() ? Document{} : it->second;
  }
};

namespace {

const char16_t kText[] = u"quiet";

// Object index of the first object of `page`; the object count for
// page == pages; 0 out of range.
uint32_t firstObject(const Document& d, int32_t page) {
  if (page < 0 || page > d.pages) return 0;
  return static_cast<uint32_t>(page) * d.objectsPerPage;
}

uint32_t objectsOn(const Document& d, int32_t page) {
  return page >= 0 && page < d.pages ? d.objectsPerPage : 0;
}

}  // namespace

extern "C" {

PENDREL_API ZaveVevode* ZaveVevode_new(const ZaveVevodeOptions* options) {
  auto* r = new ZaveVevode;
  if (options) r->options = *options;
  return r;
}

PENDREL_API void ZaveVevode_free(ZaveVevode** renderer) {
  if (!renderer) return;
  delete *renderer;
  *renderer = nullptr;
}

PENDREL_API bool ZaveVevode_xhtml(ZaveVevode* r, const char16_t* path, const uint8_t* bytes,
                                  uint32_t length, ZaveVevodeProgressCallback progress,
                                  void* context) {
  if (!r || !path) return false;
  Document d;
  d.pages = static_cast<int32_t>(std::min<uint32_t>(length / kPageBytes + 1, kMaxPages));
  d.pages = std::max(1, std::min(kMaxPages, d.pages * r->pageScale));
  d.objectsPerPage = kPageBytes / kObjectBytes;
  {
    std::lock_guard lock(r->mutex);
    r->checksum += touch(bytes, length);
    r->documents[path] = d;
  }
  if (progress)
    for (int32_t p = 0; p < d.pages; ++p)
      progress(context, static_cast<uint32_t>(d.pages), static_cast<uint32_t>(p + 1));
  return true;
}

PENDREL_API int32_t ZaveVevode_getPageLength(ZaveVevode* r, const char16_t* path) {
  return r ? r->find(path).pages : 0;
}

PENDREL_API void ZaveVevode_deleteXhtml(ZaveVevode* r, const char16_t* path) {
  if (!r) return;
  std::lock_guard lock(r->mutex);
  r->documents.erase(pathText(path));
}

// A bigger font (or smaller page) doubles every document's pages, a smaller
// one halves them, so layout changes really move page counts.
static void relayout(ZaveVevode* r, bool grow, int32_t allDocuments) {
  if (!r || !allDocuments) return;
  std::lock_guard lock(r->mutex);
  r->pageScale = grow ? 2 : 1;
  for (auto& [path, d] : r->documents)
    d.pages = std::max(1, std::min(kMaxPages, grow ? d.pages * 2 : (d.pages + 1) / 2));
}

PENDREL_API void ZaveVevode_changeFont(ZaveVevode* r, intptr_t a, intptr_t, intptr_t, uint8_t,
                                       int32_t allDocuments) {
  relayout(r, (a & 1) != 0, allDocuments);
}

PENDREL_API void ZaveVevode_calcPageSize(ZaveVevode* r, intptr_t size, int32_t allDocuments) {
  relayout(r, (size & 1) != 0, allDocuments);
}

PENDREL_API void ZaveVevode_loadFont(ZaveVevode*, intptr_t, intptr_t, intptr_t) {}

PENDREL_API void ZaveVevode_draw(ZaveVevode* r, const char16_t* path, int32_t, intptr_t, intptr_t,
                                 intptr_t, intptr_t) {
  if (r) r->find(path);
}

PENDREL_API int32_t ZaveVevode_getLink(ZaveVevode* r, const char16_t* path, intptr_t value) {
  if (!r) return -1;
  Document d = r->find(path);
  if (d.pages == 0 || value < 0) return -1;
  return static_cast<int32_t>(value % d.pages);
}

PENDREL_API const char16_t* ZaveVevode_getFirstStringPage(ZaveVevode* r, const char16_t* path,
                                                          int32_t page) {
  if (!r) return nullptr;
  return page >= 0 && page < r->find(path).pages ? kText : nullptr;
}

PENDREL_API uint32_t ZaveVevode_getObjectIndex(ZaveVevode* r, const char16_t* path, int32_t page) {
  return r ? firstObject(r->find(path), page) : 0;
}

PENDREL_API uint32_t ZaveVevode_getObjectCount(ZaveVevode* r, const char16_t* path, int32_t page) {
  return r ? objectsOn(r->find(path), page) : 0;
}

PENDREL_API uint32_t ZaveVevode_getObjectIndexUTF8(ZaveVevode* r, const char16_t* path,
                                                   int32_t page) {
  return r ? firstObject(r->find(path), page) * 6 : 0;
}

PENDREL_API uint32_t ZaveVevode_getObjectCountUTF8(ZaveVevode* r, const char16_t* path,
                                                   int32_t page) {
  return r ? objectsOn(r->find(path), page) * 6 : 0;
}

PENDREL_API intptr_t ZaveVevode_getObjectType(ZaveVevode* r, const char16_t* path, int32_t page,
                                              intptr_t value) {
  return r && objectsOn(r->find(path), page) ? (value & 3) : 0;
}

PENDREL_API const char16_t* ZaveVevode_getHref(ZaveVevode* r, const char16_t* path, int32_t page,
                                               intptr_t) {
  return r && objectsOn(r->find(path), page) ? kText : nullptr;
}

PENDREL_API intptr_t ZaveVevode_getImage(ZaveVevode* r, const char16_t* path, int32_t page,
                                         intptr_t value) {
  return r && objectsOn(r->find(path), page) ? value : 0;
}

PENDREL_API bool ZaveVevode_isAnchor(ZaveVevode* r, const char16_t* path, int32_t page,
                                     intptr_t value) {
  return r && objectsOn(r->find(path), page) && (value & 1);
}

// Fills the record's four 32-bit fields: two coordinates, then the first
// and last object index of the object asked for.
PENDREL_API bool ZaveVevode_getObjectInfo(ZaveVevode* r, const char16_t* path, int32_t page,
                                          intptr_t a, void* record, intptr_t) {
  if (!r) return false;
  Document d = r->find(path);
  uint32_t count = objectsOn(d, page);
  if (count == 0 || a < 0 || static_cast<uint64_t>(a) >= count) return false;
  if (record) {
    uint32_t object = firstObject(d, page) + static_cast<uint32_t>(a);
    uint32_t fields[4] = {static_cast<uint32_t>(a), static_cast<uint32_t>(page), object, object};
    std::memcpy(record, fields, sizeof fields);
  }
  return true;
}

PENDREL_API void ZaveVevode_addScrap(ZaveVevode* r, const char16_t* path, uint32_t, uint32_t,
                                     intptr_t, intptr_t) {
  if (r) r->find(path);
}

PENDREL_API void ZaveVevode_modifyScrap(ZaveVevode* r, const char16_t* path, uint32_t, uint32_t,
                                        intptr_t, intptr_t) {
  if (r) r->find(path);
}

PENDREL_API void ZaveVevode_removeScrap(ZaveVevode* r, const char16_t* path, uint32_t, uint32_t) {
  if (r) r->find(path);
}

PENDREL_API const char16_t* ZaveVevode_getScrapText(ZaveVevode* r, const char16_t* path,
                                                    uint32_t start, uint32_t end) {
  return r && r->find(path).pages && start <= end ? kText : nullptr;
}

PENDREL_API void ZaveVevode_clearScrap(ZaveVevode* r, const char16_t* path) {
  if (r) r->find(path);
}

PENDREL_API void ZaveVevode_drawSelectionBox(ZaveVevode* r, const char16_t* path, intptr_t,
                                             intptr_t, uint32_t, uint32_t, intptr_t, intptr_t) {
  if (r) r->find(path);
}

// One hit per 64 bytes that contain the letter 'e'.
PENDREL_API int32_t ZaveVevode_search(ZaveVevode* r, const char16_t* path, const uint8_t* bytes,
                                      uint32_t length, intptr_t, intptr_t, intptr_t) {
  if (!r) return 0;
  r->find(path);
  int32_t hits = 0;
  for (uint32_t i = 0; bytes && i < length; i += 64)
    if (std::memchr(bytes + i, 'e', std::min<uint32_t>(64, length - i))) ++hits;
  return hits;
}

PENDREL_API void ZaveVevode_setSearchDrawItem(ZaveVevode* r, const char16_t* path, intptr_t,
                                              intptr_t) {
  if (r) r->find(path);
}

PENDREL_API intptr_t ZaveVevode_setDrawOnlyThisColor(ZaveVevode*, intptr_t color) { return color; }
PENDREL_API intptr_t ZaveVevode_setUseOnlyThisTextAlign(ZaveVevode*, intptr_t align) {
  return align;
}
PENDREL_API intptr_t ZaveVevode_setUseEpubEmbeddedFont(ZaveVevode*, intptr_t use) { return use; }
PENDREL_API intptr_t ZaveVevode_setSearchContext(ZaveVevode*, const char16_t* text,
                                                 intptr_t flags) {
  return text ? static_cast<intptr_t>(std::char_traits<char16_t>::length(text)) + flags : flags;
}
PENDREL_API intptr_t ZaveVevode_clearSearchDatas(ZaveVevode*) { return 1; }

}  // extern "C"
