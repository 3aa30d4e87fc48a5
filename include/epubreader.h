/*
 * EpubReader: a reading engine for EPUB publications.
 *
 * The host hands the library the bytes of the container's mimetype file and
 * of META-INF/container.xml, and a read callback through which the library
 * fetches every other file of the publication by its full path inside the
 * container. Content documents are laid out and drawn by a separate renderer
 * library (libPendrel), to which most exports forward.
 *
 * Conventions:
 *  - All text is UTF-16 (char16_t), zero-terminated.
 *  - Pages are int32_t, markable positions and object indexes uint32_t.
 *  - Every value that only the renderer interprets is intptr_t, so a 64-bit
 *    host can pass pointers; on a 32-bit build it is the plain 32-bit value.
 *  - No export reports an error code: a null handle and every other failure
 *    give the export's failure value (0, false, null or -1).
 *  - Memory the library returns belongs to the library and stays valid until
 *    EpubReader_free, unless an export says otherwise.
 *
 * Threads: sixteen exports hold the handle's recursive lock for the whole
 * call (loadFont, readMimeType, readContainer, getNcxDocTitle,
 * getNcxDocAuthor, getSpine, getNavMap, loadAll, loadContent, deleteContent,
 * the five layout changes and draw). The others take no lock: a host that
 * uses one handle from several threads serialises those calls itself.
 *
 * Opening twice: a second EpubReader_readContainer on a handle that already
 * holds an open publication is refused (it returns null and changes nothing),
 * so records already handed to the host never dangle and never mix two
 * publications. To open another publication, free the handle and create a
 * new one. A failed open leaves the handle free to try again.
 */
#ifndef EPUBREADER_H
#define EPUBREADER_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#include <cstdint>
typedef char16_t epub_char16;
#else
#include <uchar.h>
typedef char16_t epub_char16;
#endif

#if defined(_WIN32)
#if defined(EPUBREADER_BUILDING)
#define EPUBREADER_API __declspec(dllexport)
#else
#define EPUBREADER_API __declspec(dllimport)
#endif
#else
#define EPUBREADER_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct EpubReader EpubReader;

/* Reads one file of the publication by its full container path. Sets *bytes
 * and *length and returns true when the file was read. The bytes stay the
 * host's: the library never frees or copies them. */
typedef bool (*EpubReaderReadCallback)(void* userData, const epub_char16* path,
                                       const uint8_t** bytes, uint32_t* length);
/* Called only by the renderer; their values are the renderer's. */
typedef bool (*EpubReaderRendererCallback1)(void* userData, intptr_t a, intptr_t b);
typedef bool (*EpubReaderRendererCallback2)(void* userData, intptr_t a, intptr_t b, intptr_t c);
/* Reports that a content document left the renderer. */
typedef void (*EpubReaderReleaseCallback)(void* userData, const epub_char16* path);
/* Reports loading progress: count documents in all, done of them finished. */
typedef void (*EpubReaderProgressCallback)(void* context, uint32_t count, uint32_t done);

/* The thirteen renderer settings. The library never interprets them; it
 * copies them, each with its width, into the renderer's options. */
typedef struct EpubReaderRendererSettings {
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
} EpubReaderRendererSettings;

/* Passed to EpubReader_new; read during that call only. */
typedef struct EpubReaderHostOptions {
  EpubReaderReadCallback read;
  EpubReaderRendererCallback1 rendererCallback1;
  EpubReaderRendererCallback2 rendererCallback2;
  EpubReaderReleaseCallback release;
  void* userData;
  EpubReaderRendererSettings settings;
} EpubReaderHostOptions;

/* Fifteen Dublin Core strings. An element absent from the package document
 * gives an empty string; date is always null. */
typedef struct EpubReaderPublicationMetadata {
  const epub_char16* title;
  const epub_char16* creator;
  const epub_char16* subject;
  const epub_char16* description;
  const epub_char16* publisher;
  const epub_char16* contributor;
  const epub_char16* date;
  const epub_char16* type;
  const epub_char16* format;
  const epub_char16* identifier; /* the identifier that is not the unique one */
  const epub_char16* source;
  const epub_char16* language;
  const epub_char16* relation;
  const epub_char16* coverage;
  const epub_char16* rights;
} EpubReaderPublicationMetadata;

/* One manifest item of the reading order; href is relative to the package
 * document's folder, percent-decoded. */
typedef struct EpubReaderSpineItem {
  const epub_char16* id;
  const epub_char16* href;
  const epub_char16* mediaType;
} EpubReaderSpineItem;

typedef struct EpubReaderSpineNode {
  EpubReaderSpineItem* item;
  struct EpubReaderSpineNode* next;
} EpubReaderSpineNode;

typedef struct EpubReaderSpineList {
  uint32_t count;
  EpubReaderSpineNode* first; /* null when count is 0 */
} EpubReaderSpineList;

/* One table-of-contents entry. */
typedef struct EpubReaderNavEntry {
  const epub_char16* id;
  const epub_char16* playOrder; /* the attribute text as written */
  const epub_char16* reserved;  /* always null */
  const epub_char16* label;     /* first label's text; null without a label */
  const epub_char16* src;       /* as written in the NCX, not resolved */
} EpubReaderNavEntry;

typedef struct EpubReaderNavNode {
  int32_t depth; /* 1 for a top-level entry */
  EpubReaderNavEntry* entry;
  struct EpubReaderNavNode* next;
} EpubReaderNavNode;

/* The navigation map flattened in depth-first pre-order. */
typedef struct EpubReaderNavList {
  uint32_t reserved; /* always 0 */
  int32_t count;     /* entries at all depths */
  EpubReaderNavNode* first;
} EpubReaderNavList;

/* ---- Handle and forwarding ---- */
EPUBREADER_API EpubReader* EpubReader_new(const EpubReaderHostOptions* options);
EPUBREADER_API void EpubReader_free(EpubReader** reader);
EPUBREADER_API void EpubReader_loadFont(EpubReader* reader, intptr_t a, intptr_t b, intptr_t c);
EPUBREADER_API intptr_t EpubReader_setDrawOnlyThisColor(EpubReader* reader, intptr_t color);
EPUBREADER_API intptr_t EpubReader_setUseOnlyThisTextAlign(EpubReader* reader, intptr_t align);
EPUBREADER_API intptr_t EpubReader_setUseEpubEmbeddedFont(EpubReader* reader, intptr_t use);
EPUBREADER_API intptr_t EpubReader_setSearchContext(EpubReader* reader, const epub_char16* text,
                                                    intptr_t flags);
EPUBREADER_API intptr_t EpubReader_clearSearchDatas(EpubReader* reader);
EPUBREADER_API int32_t EpubReader_getPageCount(EpubReader* reader);

/* ---- Opening ----
 * readMimeType stores the mimetype file's text, read as Windows-1252 (the
 * 8-bit code page used where the system has none); it accepts any bytes.
 * readContainer reads the package document and the NCX through the read
 * callback and returns the package document's path (owned by the library),
 * or null when the container names no package document or it cannot be
 * read. */
EPUBREADER_API bool EpubReader_readMimeType(EpubReader* reader, const uint8_t* bytes,
                                            int32_t length);
EPUBREADER_API const epub_char16* EpubReader_readContainer(EpubReader* reader, const uint8_t* bytes,
                                                           uint32_t length);

/* ---- Records for the host ---- */
EPUBREADER_API const EpubReaderPublicationMetadata* EpubReader_getPublicationMetadata(
    EpubReader* reader);
EPUBREADER_API const epub_char16* EpubReader_getNcxDocTitle(EpubReader* reader);
EPUBREADER_API const epub_char16* EpubReader_getNcxDocAuthor(EpubReader* reader);
EPUBREADER_API const EpubReaderSpineList* EpubReader_getSpine(EpubReader* reader);
EPUBREADER_API const EpubReaderNavList* EpubReader_getNavMap(EpubReader* reader);

/* ---- Loading ---- */
EPUBREADER_API bool EpubReader_loadAll(EpubReader* reader, EpubReaderProgressCallback progress,
                                       void* context);
EPUBREADER_API bool EpubReader_loadContent(EpubReader* reader, const epub_char16* path,
                                           EpubReaderProgressCallback progress, void* context);
EPUBREADER_API void EpubReader_deleteContent(EpubReader* reader, const epub_char16* path);

/* ---- Page and position addressing ---- */
EPUBREADER_API int32_t EpubReader_getContentPageCount(EpubReader* reader, const epub_char16* path);
EPUBREADER_API int32_t EpubReader_getTotalPageBeforeContent(EpubReader* reader,
                                                            const epub_char16* path);
EPUBREADER_API const epub_char16* EpubReader_getFileName(EpubReader* reader, int32_t page);
EPUBREADER_API const epub_char16* EpubReader_getContentByPage(EpubReader* reader, int32_t page);
EPUBREADER_API uint32_t EpubReader_getMarkablePosition(EpubReader* reader, int32_t page);
EPUBREADER_API uint32_t EpubReader_getContentMarkablePosition(EpubReader* reader,
                                                              const epub_char16* path,
                                                              int32_t page);
EPUBREADER_API int32_t EpubReader_getPageMarkPosition(EpubReader* reader, uint32_t position);
EPUBREADER_API int32_t EpubReader_getContentPageMarkPosition(EpubReader* reader,
                                                             const epub_char16* path,
                                                             uint32_t objectIndex);
EPUBREADER_API int32_t EpubReader_getContentPageAtPosUTF8(EpubReader* reader,
                                                          const epub_char16* path,
                                                          uint32_t position);
EPUBREADER_API uint32_t EpubReader_getContentObjectIndexUTF8(EpubReader* reader,
                                                             const epub_char16* path, int32_t page);
EPUBREADER_API uint32_t EpubReader_getContentObjectCountUTF8(EpubReader* reader,
                                                             const epub_char16* path, int32_t page);

/* ---- Drawing and object queries ---- */
EPUBREADER_API void EpubReader_draw(EpubReader* reader, int32_t page, intptr_t a, intptr_t b,
                                    intptr_t c, intptr_t d);
EPUBREADER_API void EpubReader_drawContent(EpubReader* reader, const epub_char16* path,
                                           int32_t page, intptr_t a, intptr_t b, intptr_t c,
                                           intptr_t d);
EPUBREADER_API int32_t EpubReader_getLink(EpubReader* reader, const epub_char16* path,
                                          intptr_t value);
EPUBREADER_API int32_t EpubReader_getContentLink(EpubReader* reader, const epub_char16* path,
                                                 intptr_t value);
EPUBREADER_API intptr_t EpubReader_getObjectType(EpubReader* reader, int32_t page, intptr_t value);
EPUBREADER_API intptr_t EpubReader_getContentObjectType(EpubReader* reader, const epub_char16* path,
                                                        int32_t page, intptr_t value);
EPUBREADER_API bool EpubReader_isAnchor(EpubReader* reader, int32_t page, intptr_t value);
EPUBREADER_API bool EpubReader_isContentAnchor(EpubReader* reader, const epub_char16* path,
                                               int32_t page, intptr_t value);
EPUBREADER_API const epub_char16* EpubReader_getHref(EpubReader* reader, int32_t page,
                                                     intptr_t value);
EPUBREADER_API const epub_char16* EpubReader_getContentHref(EpubReader* reader,
                                                            const epub_char16* path, int32_t page,
                                                            intptr_t value);
EPUBREADER_API intptr_t EpubReader_getImage(EpubReader* reader, int32_t page, intptr_t value);
EPUBREADER_API intptr_t EpubReader_getContentImage(EpubReader* reader, const epub_char16* path,
                                                   int32_t page, intptr_t value);
EPUBREADER_API const epub_char16* EpubReader_getMarkableString(EpubReader* reader, int32_t page);
EPUBREADER_API const epub_char16* EpubReader_getContentMarkableString(EpubReader* reader,
                                                                      const epub_char16* path,
                                                                      int32_t page);
EPUBREADER_API uint32_t EpubReader_getObjectCount(EpubReader* reader, int32_t page);
EPUBREADER_API uint32_t EpubReader_getContentObjectCount(EpubReader* reader,
                                                         const epub_char16* path, int32_t page);
/* The record's layout is the renderer's; its third and fourth 32-bit fields
 * are object indexes, which the plain form turns into markable positions. */
EPUBREADER_API bool EpubReader_getObjectInfo(EpubReader* reader, int32_t page, intptr_t a,
                                             void* record, intptr_t b);
EPUBREADER_API bool EpubReader_getContentObjectInfo(EpubReader* reader, const epub_char16* path,
                                                    int32_t page, intptr_t a, void* record,
                                                    intptr_t b);

/* ---- Layout changes ---- */
EPUBREADER_API void EpubReader_changeFont(EpubReader* reader, intptr_t a, intptr_t b, intptr_t c,
                                          uint8_t d);
EPUBREADER_API void EpubReader_changeClientSize(EpubReader* reader, intptr_t size);
EPUBREADER_API void EpubReader_changeContentFont(EpubReader* reader, const epub_char16* path,
                                                 intptr_t a, intptr_t b, intptr_t c, uint8_t d);
EPUBREADER_API void EpubReader_changeContentClientSize(EpubReader* reader, const epub_char16* path,
                                                       intptr_t size);
EPUBREADER_API void EpubReader_changeContentFontAndClientSize(EpubReader* reader,
                                                              const epub_char16* path, intptr_t a,
                                                              intptr_t b, intptr_t c, uint8_t d,
                                                              intptr_t size);

/* ---- Scraps and the selection box ---- */
EPUBREADER_API void EpubReader_addScrap(EpubReader* reader, uint32_t start, uint32_t end,
                                        intptr_t a, intptr_t b);
EPUBREADER_API void EpubReader_modifyScrap(EpubReader* reader, uint32_t start, uint32_t end,
                                           intptr_t a, intptr_t b);
EPUBREADER_API void EpubReader_removeScrap(EpubReader* reader, uint32_t start, uint32_t end);
EPUBREADER_API const epub_char16* EpubReader_getScrapText(EpubReader* reader, uint32_t start,
                                                          uint32_t end);
EPUBREADER_API void EpubReader_clearScrap(EpubReader* reader);
EPUBREADER_API void EpubReader_drawSelectionBox(EpubReader* reader, intptr_t a, intptr_t b,
                                                uint32_t start, uint32_t end, intptr_t c,
                                                intptr_t d);
EPUBREADER_API void EpubReader_addContentScrap(EpubReader* reader, const epub_char16* path,
                                               uint32_t start, uint32_t end, intptr_t a,
                                               intptr_t b);
EPUBREADER_API void EpubReader_modifyContentScrap(EpubReader* reader, const epub_char16* path,
                                                  uint32_t start, uint32_t end, intptr_t a,
                                                  intptr_t b);
EPUBREADER_API void EpubReader_removeContentScrap(EpubReader* reader, const epub_char16* path,
                                                  uint32_t start, uint32_t end);
EPUBREADER_API const epub_char16* EpubReader_getContentScrapText(EpubReader* reader,
                                                                 const epub_char16* path,
                                                                 uint32_t start, uint32_t end);
EPUBREADER_API void EpubReader_clearContentScrap(EpubReader* reader, const epub_char16* path);
EPUBREADER_API void EpubReader_drawContentSelectionBox(EpubReader* reader, const epub_char16* path,
                                                       intptr_t a, intptr_t b, uint32_t start,
                                                       uint32_t end, intptr_t c, intptr_t d);

/* ---- Search ---- */
EPUBREADER_API int32_t EpubReader_search(EpubReader* reader, intptr_t a, intptr_t b, intptr_t c);
EPUBREADER_API int32_t EpubReader_searchContent(EpubReader* reader, const epub_char16* path,
                                                intptr_t a, intptr_t b, intptr_t c);
EPUBREADER_API void EpubReader_setSearchDrawItem(EpubReader* reader, const epub_char16* path,
                                                 intptr_t a, intptr_t b);

#ifdef __cplusplus
}
#endif

#endif /* EPUBREADER_H */
