/*
 * The renderer library (libPendrel): lays out, paginates, draws and queries
 * XHTML content documents. The reading engine reaches it only through these
 * functions; any library that exports them can take the renderer's place.
 *
 * Except for ZaveVevode_new and ZaveVevode_free, the first argument is the
 * renderer handle, and a content document is named by the full container
 * path under which ZaveVevode_xhtml loaded it. Values marked intptr_t belong
 * to the renderer alone: the engine passes them through unchanged. The
 * argument lists are described in docs/renderer-interface.md.
 */
#ifndef PENDREL_H
#define PENDREL_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#include <cstdint>
typedef char16_t pendrel_char16;
#else
#include <uchar.h>
typedef char16_t pendrel_char16;
#endif

#if defined(_WIN32)
#if defined(PENDREL_BUILDING)
#define PENDREL_API __declspec(dllexport)
#else
#define PENDREL_API __declspec(dllimport)
#endif
#else
#define PENDREL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ZaveVevode ZaveVevode;

/* Trampolines back to the host. The renderer passes the context of its
 * options first; a null context makes them return false (or just return). */
typedef bool (*ZaveVevodeReadTrampoline)(void* context, const pendrel_char16* path,
                                         const uint8_t** bytes, uint32_t* length);
typedef bool (*ZaveVevodeCallback1Trampoline)(void* context, intptr_t value1, intptr_t value2);
typedef bool (*ZaveVevodeCallback2Trampoline)(void* context, intptr_t value1, intptr_t value2,
                                              intptr_t value3);
typedef void (*ZaveVevodeReleaseTrampoline)(void* context, const pendrel_char16* path);
typedef void (*ZaveVevodeProgressCallback)(void* context, uint32_t count, uint32_t done);

/* Thirteen settings, laid out as in the host's options. */
typedef struct ZaveVevodeSettings {
  intptr_t setting1;
  intptr_t setting2;
  intptr_t setting3;
  intptr_t setting4;
  uint8_t setting5;
  intptr_t setting6;
  uint8_t setting7;
  intptr_t setting8;
  intptr_t setting9;
  intptr_t setting10;
  uint8_t setting11;
  intptr_t setting12;
  uint8_t setting13;
} ZaveVevodeSettings;

/* Valid only during ZaveVevode_new: the renderer copies what it keeps. */
typedef struct ZaveVevodeOptions {
  ZaveVevodeReadTrampoline read;
  ZaveVevodeCallback1Trampoline callback1;
  ZaveVevodeCallback2Trampoline callback2;
  ZaveVevodeReleaseTrampoline release;
  void* context;
  ZaveVevodeSettings settings;
} ZaveVevodeOptions;

PENDREL_API ZaveVevode* ZaveVevode_new(const ZaveVevodeOptions* options);
PENDREL_API void ZaveVevode_free(ZaveVevode** renderer);

/* Documents. The bytes stay the caller's; see the interface notes. */
PENDREL_API bool ZaveVevode_xhtml(ZaveVevode* r, const pendrel_char16* path, const uint8_t* bytes,
                                  uint32_t length, ZaveVevodeProgressCallback progress,
                                  void* context);
PENDREL_API int32_t ZaveVevode_getPageLength(ZaveVevode* r, const pendrel_char16* path);
PENDREL_API void ZaveVevode_deleteXhtml(ZaveVevode* r, const pendrel_char16* path);

/* Layout: allDocuments is 1 for every document, 0 for the one reloaded next. */
PENDREL_API void ZaveVevode_changeFont(ZaveVevode* r, intptr_t fontSize, intptr_t fontValue2,
                                       intptr_t fontValue3, uint8_t fontFlag, int32_t allDocuments);
PENDREL_API void ZaveVevode_calcPageSize(ZaveVevode* r, intptr_t clientSize, int32_t allDocuments);
PENDREL_API void ZaveVevode_loadFont(ZaveVevode* r, intptr_t fontValue1, intptr_t fontValue2,
                                     intptr_t fontValue3);

/* Drawing and objects, per document and page. */
PENDREL_API void ZaveVevode_draw(ZaveVevode* r, const pendrel_char16* path, int32_t page,
                                 intptr_t target, intptr_t x, intptr_t y, intptr_t zoom);
PENDREL_API int32_t ZaveVevode_getLink(ZaveVevode* r, const pendrel_char16* path, intptr_t link);
PENDREL_API const pendrel_char16* ZaveVevode_getFirstStringPage(ZaveVevode* r,
                                                                const pendrel_char16* path,
                                                                int32_t page);
/* Index of the first object of the page; for page == page count, the
 * document's object count. */
PENDREL_API uint32_t ZaveVevode_getObjectIndex(ZaveVevode* r, const pendrel_char16* path,
                                               int32_t page);
PENDREL_API uint32_t ZaveVevode_getObjectCount(ZaveVevode* r, const pendrel_char16* path,
                                               int32_t page);
PENDREL_API uint32_t ZaveVevode_getObjectIndexUTF8(ZaveVevode* r, const pendrel_char16* path,
                                                   int32_t page);
PENDREL_API uint32_t ZaveVevode_getObjectCountUTF8(ZaveVevode* r, const pendrel_char16* path,
                                                   int32_t page);
PENDREL_API intptr_t ZaveVevode_getObjectType(ZaveVevode* r, const pendrel_char16* path,
                                              int32_t page, intptr_t object);
PENDREL_API const pendrel_char16* ZaveVevode_getHref(ZaveVevode* r, const pendrel_char16* path,
                                                     int32_t page, intptr_t object);
PENDREL_API intptr_t ZaveVevode_getImage(ZaveVevode* r, const pendrel_char16* path, int32_t page,
                                         intptr_t object);
PENDREL_API bool ZaveVevode_isAnchor(ZaveVevode* r, const pendrel_char16* path, int32_t page,
                                     intptr_t object);
/* The record's third and fourth 32-bit fields are object indexes. */
PENDREL_API bool ZaveVevode_getObjectInfo(ZaveVevode* r, const pendrel_char16* path, int32_t page,
                                          intptr_t object, void* record, intptr_t flags);

/* Scraps (highlights) and the selection box, in object indexes. */
PENDREL_API void ZaveVevode_addScrap(ZaveVevode* r, const pendrel_char16* path, uint32_t start,
                                     uint32_t end, intptr_t color, intptr_t style);
PENDREL_API void ZaveVevode_modifyScrap(ZaveVevode* r, const pendrel_char16* path, uint32_t start,
                                        uint32_t end, intptr_t color, intptr_t style);
PENDREL_API void ZaveVevode_removeScrap(ZaveVevode* r, const pendrel_char16* path, uint32_t start,
                                        uint32_t end);
PENDREL_API const pendrel_char16* ZaveVevode_getScrapText(ZaveVevode* r, const pendrel_char16* path,
                                                          uint32_t start, uint32_t end);
PENDREL_API void ZaveVevode_clearScrap(ZaveVevode* r, const pendrel_char16* path);
PENDREL_API void ZaveVevode_drawSelectionBox(ZaveVevode* r, const pendrel_char16* path,
                                             intptr_t target, intptr_t targetPage, uint32_t start,
                                             uint32_t end, intptr_t color, intptr_t style);

/* Search over a document's bytes; the answer is summed across documents. */
PENDREL_API int32_t ZaveVevode_search(ZaveVevode* r, const pendrel_char16* path,
                                      const uint8_t* bytes, uint32_t length, intptr_t searchValue1,
                                      intptr_t searchValue2, intptr_t searchValue3);
PENDREL_API void ZaveVevode_setSearchDrawItem(ZaveVevode* r, const pendrel_char16* path,
                                              intptr_t hit, intptr_t hitValue);

/* Settings the host reaches through the engine unchanged. */
PENDREL_API intptr_t ZaveVevode_setDrawOnlyThisColor(ZaveVevode* r, intptr_t color);
PENDREL_API intptr_t ZaveVevode_setUseOnlyThisTextAlign(ZaveVevode* r, intptr_t align);
PENDREL_API intptr_t ZaveVevode_setUseEpubEmbeddedFont(ZaveVevode* r, intptr_t use);
PENDREL_API intptr_t ZaveVevode_setSearchContext(ZaveVevode* r, const pendrel_char16* text,
                                                 intptr_t flags);
PENDREL_API intptr_t ZaveVevode_clearSearchDatas(ZaveVevode* r);

#ifdef __cplusplus
}
#endif

#endif /* PENDREL_H */
