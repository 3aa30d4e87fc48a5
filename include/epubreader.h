/**
 * \file epubreader.h
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
 *  - Pages are int32_t, markable positions and object indexes uint32_t. A
 *    publication page counts the pages of all content documents of the
 *    reading order from 0; a markable position counts their objects (words,
 *    images: whatever the renderer numbers) from 0. The Content forms
 *    (EpubReader_getContent..., EpubReader_drawContent, ...) name one content
 *    document by its path and use the renderer's own page and object numbers
 *    within it.
 *  - A path is a content document's href, resolved against the folder of the
 *    package document (so "Text/ch1.xhtml" and "OEBPS/Text/ch1.xhtml" name
 *    the same document when the package document is OEBPS/content.opf); a
 *    null path is the empty path. Paths compare case-sensitively.
 *  - Every value that only the renderer interprets is intptr_t, so a 64-bit
 *    host can pass pointers; on a 32-bit build it is the plain 32-bit value.
 *    What the MuPDF renderer makes of each is in its documentation
 *    (mupdf-renderer.md, installed beside this reference) and its records in
 *    EpubReader/pendrel_mupdf.h.
 *  - No export reports an error code: a null handle and every other failure
 *    give the export's failure value (0, false, null or -1), silently. Only
 *    running out of memory escapes an export (as std::bad_alloc).
 *  - Memory the library returns belongs to the library and stays valid until
 *    EpubReader_free, unless an export says otherwise. Text the renderer
 *    returns is the renderer's (the MuPDF renderer keeps it until its next
 *    call that returns text).
 *
 * Threads: sixteen exports hold the handle's recursive lock for the whole
 * call (loadFont, readMimeType, readContainer, getNcxDocTitle,
 * getNcxDocAuthor, getSpine, getNavMap, loadAll, loadContent, deleteContent,
 * the five layout changes and draw); EpubReader_free holds it while it frees
 * the records. The others take no lock: a host that uses one handle from
 * several threads serialises those calls itself. Callbacks run on the
 * calling thread and may call the library again on the same handle.
 *
 * Opening twice: a second EpubReader_readContainer on a handle that already
 * holds an open publication is refused (it returns null and changes nothing),
 * so records already handed to the host never dangle and never mix two
 * publications. To open another publication, free the handle and create a
 * new one. A failed open leaves the handle free to try again.
 *
 * Typical use: EpubReader_new, EpubReader_readMimeType,
 * EpubReader_readContainer, the records (EpubReader_getPublicationMetadata,
 * EpubReader_getSpine, EpubReader_getNavMap), EpubReader_loadAll, then
 * EpubReader_getPageCount and EpubReader_draw per page, EpubReader_free.
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
/** A UTF-16 code unit: char16_t in C and C++. */
typedef char16_t epub_char16;
#endif

/** \name Version of this header
 * The library's version; its shared object's SONAME carries the major one
 * (libEpubReader.so.1), which changes only with the ABI.
 * @{ */
#define EPUBREADER_VERSION_MAJOR 1        /**< Major version. */
#define EPUBREADER_VERSION_MINOR 0        /**< Minor version. */
#define EPUBREADER_VERSION_PATCH 0        /**< Patch version. */
#define EPUBREADER_VERSION_STRING "1.0.0" /**< "major.minor.patch". */
/** @} */

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

/** The Reader handle: one open publication. Opaque. */
typedef struct EpubReader EpubReader;

/** Reads one file of the publication by its full container path. Sets *bytes
 * and *length and returns true when the file was read. The bytes stay the
 * host's: the library never frees or copies them, and the renderer may refer
 * to them until the release callback names the path (the MuPDF renderer
 * copies them). The library may ask for the same file again (reloads,
 * search) without a release in between. */
typedef bool (*EpubReaderReadCallback)(void* userData, const epub_char16* path,
                                       const uint8_t** bytes, uint32_t* length);
/** Called only by the renderer, with values of its own (the MuPDF renderer
 * never calls it). */
typedef bool (*EpubReaderRendererCallback1)(void* userData, intptr_t value1, intptr_t value2);
/** Called only by the renderer, with values of its own. The MuPDF renderer
 * calls it once per document and resource that is missing or unusable:
 * value1 the document's full path, value2 the resource's full path (both
 * const epub_char16*, valid during the call), value3 the reason (1 the read
 * callback lacks the file, 2 the file cannot be used); the result is
 * ignored. */
typedef bool (*EpubReaderRendererCallback2)(void* userData, intptr_t value1, intptr_t value2,
                                            intptr_t value3);
/** Reports that a content document left the renderer: its bytes are free. */
typedef void (*EpubReaderReleaseCallback)(void* userData, const epub_char16* path);
/** Reports loading progress: count documents in all, done of them finished.
 * The renderer may call it too, with counts of its own (the MuPDF renderer:
 * pages of the document being laid out). */
typedef void (*EpubReaderProgressCallback)(void* context, uint32_t count, uint32_t done);

/** The thirteen renderer settings. The library never interprets them; it
 * copies them, each with its width, into the renderer's options. What the
 * MuPDF renderer reads of them is in its documentation (setting 9: a user
 * style sheet, UTF-8 CSS text, which it copies). */
typedef struct EpubReaderRendererSettings {
  intptr_t setting1;  /**< MuPDF renderer: page width in points (0: 400). */
  intptr_t setting2;  /**< MuPDF renderer: page height in points (0: 600). */
  intptr_t setting3;  /**< MuPDF renderer: font (em) size in points (0: 12). */
  intptr_t setting4;  /**< Renderer setting 4 (32-bit). */
  uint8_t setting5;   /**< Renderer setting 5 (8-bit). */
  intptr_t setting6;  /**< Renderer setting 6 (32-bit). */
  uint8_t setting7;   /**< Renderer setting 7 (8-bit). */
  intptr_t setting8;  /**< Renderer setting 8 (32-bit). */
  intptr_t setting9;  /**< Renderer setting 9 (32-bit). */
  intptr_t setting10; /**< Renderer setting 10 (32-bit). */
  uint8_t setting11;  /**< Renderer setting 11 (8-bit). */
  intptr_t setting12; /**< Renderer setting 12 (32-bit). */
  uint8_t setting13;  /**< Renderer setting 13 (8-bit). */
} EpubReaderRendererSettings;

/** Passed to EpubReader_new; read during that call only.
 *
 * Standard output: the library's one output besides its results is the
 * line "head count == 0" (without a line end), which the NCX reader writes
 * to the standard output stream while EpubReader_readContainer reads an NCX
 * whose head element is missing or has no child element (or an NCX that
 * does not parse). A host whose standard output carries its own data (JSON,
 * a pipe) redirects it around that call. */
typedef struct EpubReaderHostOptions {
  EpubReaderReadCallback read;                   /**< Reads files; required to open. */
  EpubReaderRendererCallback1 rendererCallback1; /**< For the renderer; may be null. */
  EpubReaderRendererCallback2 rendererCallback2; /**< For the renderer; may be null. */
  EpubReaderReleaseCallback release;             /**< May be null. */
  void* userData;                                /**< First argument of every callback. */
  EpubReaderRendererSettings settings;           /**< Copied to the renderer. */
} EpubReaderHostOptions;

/** Fifteen Dublin Core strings. An element absent from the package document
 * gives an empty string; date is always null. */
typedef struct EpubReaderPublicationMetadata {
  const epub_char16* title;       /**< dc:title. */
  const epub_char16* creator;     /**< dc:creator. */
  const epub_char16* subject;     /**< dc:subject. */
  const epub_char16* description; /**< dc:description. */
  const epub_char16* publisher;   /**< dc:publisher. */
  const epub_char16* contributor; /**< dc:contributor. */
  const epub_char16* date;        /**< Always null. */
  const epub_char16* type;        /**< dc:type. */
  const epub_char16* format;      /**< dc:format. */
  const epub_char16* identifier;  /**< The dc:identifier that is not the unique one. */
  const epub_char16* source;      /**< dc:source. */
  const epub_char16* language;    /**< dc:language. */
  const epub_char16* relation;    /**< dc:relation. */
  const epub_char16* coverage;    /**< dc:coverage. */
  const epub_char16* rights;      /**< dc:rights. */
} EpubReaderPublicationMetadata;

/** One manifest item of the reading order. */
typedef struct EpubReaderSpineItem {
  const epub_char16* id;        /**< The manifest item's id. */
  const epub_char16* href;      /**< Relative to the package document's folder, percent-decoded. */
  const epub_char16* mediaType; /**< As written, e.g. "application/xhtml+xml". */
} EpubReaderSpineItem;

/** A node of the Spine list. */
typedef struct EpubReaderSpineNode {
  EpubReaderSpineItem* item;        /**< The item. */
  struct EpubReaderSpineNode* next; /**< Null in the last node. */
} EpubReaderSpineNode;

/** The reading order: the manifest items the spine names, in spine order. */
typedef struct EpubReaderSpineList {
  uint32_t count;             /**< Number of nodes. */
  EpubReaderSpineNode* first; /**< Null when count is 0. */
} EpubReaderSpineList;

/** One table-of-contents entry. */
typedef struct EpubReaderNavEntry {
  const epub_char16* id;        /**< The navPoint's id. */
  const epub_char16* playOrder; /**< The attribute text as written. */
  const epub_char16* reserved;  /**< Always null. */
  const epub_char16* label;     /**< First label's text; null without a label. */
  const epub_char16* src;       /**< As written in the NCX, not resolved. */
} EpubReaderNavEntry;

/** A node of the Navigation list. */
typedef struct EpubReaderNavNode {
  int32_t depth;                  /**< 1 for a top-level entry, 2 for its children, ... */
  EpubReaderNavEntry* entry;      /**< The entry. */
  struct EpubReaderNavNode* next; /**< Null in the last node. */
} EpubReaderNavNode;

/** The navigation map flattened in depth-first pre-order. */
typedef struct EpubReaderNavList {
  uint32_t reserved;        /**< Always 0. */
  int32_t count;            /**< Entries at all depths (the number of nodes). */
  EpubReaderNavNode* first; /**< The first node. */
} EpubReaderNavList;

/** \defgroup handle Handle and forwarded settings
 * @{ */

/** Creates a Reader handle and its renderer.
 * Lock: none (it creates the lock).
 * \param options The host's callbacks and the renderer settings; read during
 *        the call only. Null is taken as a record of null callbacks and zero
 *        settings.
 * \return A new handle, to be freed with EpubReader_free. */
EPUBREADER_API EpubReader* EpubReader_new(const EpubReaderHostOptions* options);

/** Frees a handle, its records and its renderer, and sets *reader to null.
 * Every string and record the library returned from it becomes invalid.
 * Lock: held while the records are freed.
 * \param reader Address of the host's handle variable; a null address or a
 *        null handle does nothing. */
EPUBREADER_API void EpubReader_free(EpubReader** reader);

/** Passes three font values to the renderer (ZaveVevode_loadFont); the MuPDF
 * renderer accepts and ignores them.
 * Lock: held.
 * \param reader The handle; null: nothing happens.
 * \param fontValue1 First font value, the renderer's.
 * \param fontValue2 Second font value, the renderer's (MuPDF renderer: unused).
 * \param fontValue3 Third font value, the renderer's (MuPDF renderer: unused). */
EPUBREADER_API void EpubReader_loadFont(EpubReader* reader, intptr_t fontValue1,
                                        intptr_t fontValue2, intptr_t fontValue3);

/** Forwards to the renderer's ZaveVevode_setDrawOnlyThisColor (MuPDF
 * renderer: text colour 0xRRGGBB for documents loaded from then on; negative,
 * the documents' own colours).
 * Lock: none.
 * \param reader The handle.
 * \param color The renderer's.
 * \return The renderer's result (MuPDF renderer: 1); null handle: 0. */
EPUBREADER_API intptr_t EpubReader_setDrawOnlyThisColor(EpubReader* reader, intptr_t color);

/** Forwards to the renderer's ZaveVevode_setUseOnlyThisTextAlign (MuPDF
 * renderer: 1 left, 2 right, 3 centre, 4 justify, else the documents' own;
 * for documents loaded from then on).
 * Lock: none.
 * \param reader The handle.
 * \param align The renderer's.
 * \return The renderer's result (MuPDF renderer: 1); null handle: 0. */
EPUBREADER_API intptr_t EpubReader_setUseOnlyThisTextAlign(EpubReader* reader, intptr_t align);

/** Forwards to the renderer's ZaveVevode_setUseEpubEmbeddedFont (MuPDF
 * renderer: stored, no effect).
 * Lock: none.
 * \param reader The handle.
 * \param use The renderer's.
 * \return The renderer's result (MuPDF renderer: 1); null handle: 0. */
EPUBREADER_API intptr_t EpubReader_setUseEpubEmbeddedFont(EpubReader* reader, intptr_t use);

/** Sets the text later searches look for (ZaveVevode_setSearchContext).
 * Lock: none.
 * \param reader The handle.
 * \param text The needle, passed to the renderer unchanged (MuPDF renderer:
 *        runs of white space match one space).
 * \param flags The renderer's (MuPDF renderer: bit 0 matches case).
 * \return The renderer's result (MuPDF renderer: 1); null handle: 0. */
EPUBREADER_API intptr_t EpubReader_setSearchContext(EpubReader* reader, const epub_char16* text,
                                                    intptr_t flags);

/** Makes the renderer forget the search needle and hits
 * (ZaveVevode_clearSearchDatas).
 * Lock: none.
 * \param reader The handle.
 * \return The renderer's result (MuPDF renderer: 1); null handle: 0. */
EPUBREADER_API intptr_t EpubReader_clearSearchDatas(EpubReader* reader);

/** Total pages of the publication, as last computed by EpubReader_loadAll or
 * a publication-wide layout change (EpubReader_changeFont,
 * EpubReader_changeClientSize); 0 before either. EpubReader_loadContent,
 * EpubReader_deleteContent and the per-document layout changes leave it as
 * it was.
 * Lock: none.
 * \param reader The handle.
 * \return The page count; null handle: 0. */
EPUBREADER_API int32_t EpubReader_getPageCount(EpubReader* reader);

/** @} */

/** \defgroup opening Opening a publication
 * @{ */

/** Stores the mimetype file's text, read as Windows-1252; the text is not
 * examined.
 * Lock: held.
 * \param reader The handle.
 * \param bytes The mimetype file's bytes.
 * \param length Their count.
 * \return true; null handle: false. */
EPUBREADER_API bool EpubReader_readMimeType(EpubReader* reader, const uint8_t* bytes,
                                            int32_t length);

/** Opens the publication: reads the container document, then the package
 * document and the NCX through the read callback, and builds the reading
 * order.
 * Lock: held, also while the read callback runs.
 * \param reader The handle; one that already holds an open publication
 *        refuses (null, nothing changed).
 * \param bytes The bytes of META-INF/container.xml; the library does not
 *        keep them.
 * \param length Their count.
 * \return The package document's full container path, owned by the library
 *         until EpubReader_free; null when the container names no package
 *         document or it cannot be read (the handle may then try again);
 *         null handle: null. */
EPUBREADER_API const epub_char16* EpubReader_readContainer(EpubReader* reader, const uint8_t* bytes,
                                                           uint32_t length);

/** @} */

/** \defgroup records Records for the host
 * The records and their strings belong to the library, stay unchanged and
 * valid until EpubReader_free, and are read without any lock.
 * @{ */

/** The publication's Dublin Core metadata.
 * Lock: none.
 * \param reader The handle.
 * \return The record, the library's until EpubReader_free; null before a
 *         successful EpubReader_readContainer; null handle: null. */
EPUBREADER_API const EpubReaderPublicationMetadata* EpubReader_getPublicationMetadata(
    EpubReader* reader);

/** The NCX's document title.
 * Lock: held.
 * \param reader The handle.
 * \return The title, the library's until EpubReader_free; empty when the
 *         NCX is missing or has none; null before a publication is open; null
 *         handle: null. */
EPUBREADER_API const epub_char16* EpubReader_getNcxDocTitle(EpubReader* reader);

/** The NCX's first document author.
 * Lock: held.
 * \param reader The handle.
 * \return The author, the library's until EpubReader_free; null when the
 *         NCX names none or no publication is open; null handle: null. */
EPUBREADER_API const epub_char16* EpubReader_getNcxDocAuthor(EpubReader* reader);

/** The reading order, built on the first call; later calls return the same
 * list.
 * Lock: held.
 * \param reader The handle.
 * \return The Spine list, the library's until EpubReader_free (count 0 when
 *         the spine names no manifest item); null before a publication is
 *         open; null handle: null. */
EPUBREADER_API const EpubReaderSpineList* EpubReader_getSpine(EpubReader* reader);

/** The table of contents, flattened; built on the first call that finds
 * entries, later calls return the same list.
 * Lock: held.
 * \param reader The handle.
 * \return The Navigation list, the library's until EpubReader_free; null
 *         when the NCX has no entries or no publication is open; null handle:
 *         null. */
EPUBREADER_API const EpubReaderNavList* EpubReader_getNavMap(EpubReader* reader);

/** @} */

/** \defgroup loading Loading content documents
 * @{ */

/** Reads every content document of the reading order that the renderer does
 * not hold yet through the read callback, hands it to the renderer to lay
 * out, and sums the page counts into the total (EpubReader_getPageCount). A
 * document that cannot be read is skipped (its old page count still counts).
 * Lock: held, also while the callbacks run.
 * \param reader The handle.
 * \param progress Called after each document with (context, documents,
 *        documents done), and passed to the renderer; may be null.
 * \param context First argument of progress.
 * \return true; false when no publication is open; null handle: false. */
EPUBREADER_API bool EpubReader_loadAll(EpubReader* reader, EpubReaderProgressCallback progress,
                                       void* context);

/** Reads one content document and hands it to the renderer, unless it holds
 * it already. The total page count is not updated.
 * Lock: held.
 * \param reader The handle.
 * \param path The document (see the conventions above).
 * \param progress Passed to the renderer only; may be null.
 * \param context First argument of progress.
 * \return true when the document was read and laid out now; false when it
 *         is unknown, already loaded or cannot be read; null handle: false. */
EPUBREADER_API bool EpubReader_loadContent(EpubReader* reader, const epub_char16* path,
                                           EpubReaderProgressCallback progress, void* context);

/** Takes a content document out of the renderer, then calls the release
 * callback with its path (even when it was not loaded). Its page count keeps
 * counting until it is laid out again.
 * Lock: held, also while the release callback runs.
 * \param reader The handle; null: nothing happens.
 * \param path The document; unknown: nothing happens. */
EPUBREADER_API void EpubReader_deleteContent(EpubReader* reader, const epub_char16* path);

/** @} */

/** \defgroup addressing Page and position addressing
 * None of these takes the lock.
 * @{ */

/** Pages of one content document as last laid out (kept after
 * EpubReader_deleteContent).
 * Lock: none.
 * \param reader The handle.
 * \param path The document.
 * \return The page count; 0 for an unknown document; null handle: 0. */
EPUBREADER_API int32_t EpubReader_getContentPageCount(EpubReader* reader, const epub_char16* path);

/** Pages of the documents before one content document in the reading order:
 * its first page's publication page number.
 * Lock: none.
 * \param reader The handle.
 * \param path The document.
 * \return The page sum; for an unknown document the pages of all documents;
 *         0 when the reading order is empty; null handle: 0. */
EPUBREADER_API int32_t EpubReader_getTotalPageBeforeContent(EpubReader* reader,
                                                            const epub_char16* path);

/** The manifest href of the document holding a publication page.
 * Lock: none.
 * \param reader The handle.
 * \param page The publication page.
 * \return The href as the manifest holds it (relative to the package
 *         document's folder), owned by the library until EpubReader_free;
 *         null when no document holds the page (a negative page counts as
 *         in the first document); null handle: null. */
EPUBREADER_API const epub_char16* EpubReader_getFileName(EpubReader* reader, int32_t page);

/** The same as EpubReader_getFileName.
 * Lock: none.
 * \param reader The handle.
 * \param page The publication page.
 * \return The href, as EpubReader_getFileName; null handle: null. */
EPUBREADER_API const epub_char16* EpubReader_getContentByPage(EpubReader* reader, int32_t page);

/** The markable position of a publication page's first object.
 * Lock: none.
 * \param reader The handle.
 * \param page The publication page, 0 to the total page count (which gives
 *        the publication's object count).
 * \return The position; 0 out of range; null handle: 0. */
EPUBREADER_API uint32_t EpubReader_getMarkablePosition(EpubReader* reader, int32_t page);

/** The renderer's index of the first object of a page of one document.
 * Lock: none.
 * \param reader The handle.
 * \param path The document.
 * \param page The page within it.
 * \return The object index; 0 for an unknown document or a page out of
 *         range; null handle: 0. */
EPUBREADER_API uint32_t EpubReader_getContentMarkablePosition(EpubReader* reader,
                                                              const epub_char16* path,
                                                              int32_t page);

/** The publication page holding a markable position.
 * Lock: none.
 * \param reader The handle.
 * \param position The markable position.
 * \return The publication page; past the last object, the total of all page
 *         counts; 0 when the reading order is empty; null handle: -1. */
EPUBREADER_API int32_t EpubReader_getPageMarkPosition(EpubReader* reader, uint32_t position);

/** The page of one document holding an object.
 * Lock: none.
 * \param reader The handle.
 * \param path The document.
 * \param objectIndex The renderer's object index within the document.
 * \return The page within the document (its last page past its last object);
 *         -1 for an unknown document, a document without pages or an index
 *         before its first page's; 0 when the reading order is empty; null
 *         handle: -1. */
EPUBREADER_API int32_t EpubReader_getContentPageMarkPosition(EpubReader* reader,
                                                             const epub_char16* path,
                                                             uint32_t objectIndex);

/** The page of one document holding a UTF-8 position, as the renderer counts
 * them (ZaveVevode_getObjectIndexUTF8).
 * Lock: none.
 * \param reader The handle.
 * \param path The document.
 * \param position The UTF-8 position within the document.
 * \return The page within the document, as EpubReader_getContentPageMarkPosition;
 *         null handle: -1. */
EPUBREADER_API int32_t EpubReader_getContentPageAtPosUTF8(EpubReader* reader,
                                                          const epub_char16* path,
                                                          uint32_t position);

/** The renderer's UTF-8 position of a page's first object
 * (ZaveVevode_getObjectIndexUTF8).
 * Lock: none.
 * \param reader The handle.
 * \param path The document.
 * \param page The page within it.
 * \return The renderer's value; 0 for an unknown document or a page out of
 *         range; null handle: 0. */
EPUBREADER_API uint32_t EpubReader_getContentObjectIndexUTF8(EpubReader* reader,
                                                             const epub_char16* path, int32_t page);

/** The renderer's UTF-8 length of a page's objects
 * (ZaveVevode_getObjectCountUTF8).
 * Lock: none.
 * \param reader The handle.
 * \param path The document.
 * \param page The page within it.
 * \return The renderer's value; 0 for an unknown document or a page out of
 *         range; null handle: 0. */
EPUBREADER_API uint32_t EpubReader_getContentObjectCountUTF8(EpubReader* reader,
                                                             const epub_char16* path, int32_t page);

/** @} */

/** \defgroup drawing Drawing and object queries
 * The plain forms take a publication page and answer only for pages below
 * the total page count (EpubReader_getPageCount), unless said otherwise. The
 * Content forms take a document and a page within it. The object argument is
 * the renderer's (MuPDF renderer: the object's number within the page, 0 for
 * its first). Only EpubReader_draw takes the lock.
 * @{ */

/** Draws a publication page (ZaveVevode_draw); a page no document holds
 * draws nothing. The page is not checked against the total page count.
 * Lock: held.
 * \param reader The handle; null: nothing happens.
 * \param page The publication page.
 * \param target The renderer's (MuPDF renderer: the PendrelBitmap* to fill,
 *        or a PendrelPdf* that adds the page to a PDF file).
 * \param x The renderer's (MuPDF renderer: x of the zoomed page at the bitmap's origin).
 * \param y The renderer's (MuPDF renderer: y of the zoomed page at the bitmap's origin).
 * \param zoom The renderer's (MuPDF renderer: hundredths, 100 a pixel a point, 0 to fit). */
EPUBREADER_API void EpubReader_draw(EpubReader* reader, int32_t page, intptr_t target, intptr_t x,
                                    intptr_t y, intptr_t zoom);

/** Draws a page of one document (ZaveVevode_draw); the renderer is asked even
 * for a path that names no document of the reading order.
 * Lock: none.
 * \param reader The handle; null: nothing happens.
 * \param path The document.
 * \param page The page within it, not checked.
 * \param target As for EpubReader_draw.
 * \param x As for EpubReader_draw.
 * \param y As for EpubReader_draw.
 * \param zoom As for EpubReader_draw. */
EPUBREADER_API void EpubReader_drawContent(EpubReader* reader, const epub_char16* path,
                                           int32_t page, intptr_t target, intptr_t x, intptr_t y,
                                           intptr_t zoom);

/** The publication page a link leads to (ZaveVevode_getLink on the document,
 * plus the pages before it).
 * Lock: none.
 * \param reader The handle.
 * \param path The document the link leads into.
 * \param link The renderer's (MuPDF renderer: a const char16_t* href whose
 *        fragment names an id).
 * \return The publication page; -1 for an unknown document; null handle: -1. */
EPUBREADER_API int32_t EpubReader_getLink(EpubReader* reader, const epub_char16* path,
                                          intptr_t link);

/** The page of one document a link leads to (ZaveVevode_getLink).
 * Lock: none.
 * \param reader The handle.
 * \param path The document.
 * \param link As for EpubReader_getLink.
 * \return The renderer's page within the document; -1 for an unknown
 *         document; null handle: -1. */
EPUBREADER_API int32_t EpubReader_getContentLink(EpubReader* reader, const epub_char16* path,
                                                 intptr_t link);

/** The type of an object on a publication page (ZaveVevode_getObjectType).
 * Lock: none.
 * \param reader The handle.
 * \param page The publication page.
 * \param object The object on the page.
 * \return The renderer's value (MuPDF renderer: 1 word, 2 image, 0 none); 0
 *         out of range; null handle: 0. */
EPUBREADER_API intptr_t EpubReader_getObjectType(EpubReader* reader, int32_t page, intptr_t object);

/** The type of an object on a page of one document.
 * Lock: none.
 * \param reader The handle.
 * \param path The document.
 * \param page The page within it.
 * \param object The object on the page.
 * \return As EpubReader_getObjectType; null handle: 0. */
EPUBREADER_API intptr_t EpubReader_getContentObjectType(EpubReader* reader, const epub_char16* path,
                                                        int32_t page, intptr_t object);

/** Whether an object on a publication page lies in a link
 * (ZaveVevode_isAnchor).
 * Lock: none.
 * \param reader The handle.
 * \param page The publication page.
 * \param object The object on the page.
 * \return The renderer's answer; false out of range; null handle: false. */
EPUBREADER_API bool EpubReader_isAnchor(EpubReader* reader, int32_t page, intptr_t object);

/** Whether an object on a page of one document lies in a link.
 * Lock: none.
 * \param reader The handle.
 * \param path The document.
 * \param page The page within it.
 * \param object The object on the page.
 * \return As EpubReader_isAnchor; null handle: false. */
EPUBREADER_API bool EpubReader_isContentAnchor(EpubReader* reader, const epub_char16* path,
                                               int32_t page, intptr_t object);

/** The link target of an object on a publication page (ZaveVevode_getHref).
 * Lock: none.
 * \param reader The handle.
 * \param page The publication page.
 * \param object The object on the page.
 * \return The renderer's text (MuPDF renderer: the link's URI, kept until
 *         its next call that returns text); null out of range; null
 *         handle: null. */
EPUBREADER_API const epub_char16* EpubReader_getHref(EpubReader* reader, int32_t page,
                                                     intptr_t object);

/** The link target of an object on a page of one document.
 * Lock: none.
 * \param reader The handle.
 * \param path The document.
 * \param page The page within it.
 * \param object The object on the page.
 * \return As EpubReader_getHref; null handle: null. */
EPUBREADER_API const epub_char16* EpubReader_getContentHref(EpubReader* reader,
                                                            const epub_char16* path, int32_t page,
                                                            intptr_t object);

/** The image of an object on a publication page (ZaveVevode_getImage).
 * Lock: none.
 * \param reader The handle.
 * \param page The publication page.
 * \param object The object on the page.
 * \return The renderer's value (MuPDF renderer: 0); 0 out of range; null
 *         handle: 0. */
EPUBREADER_API intptr_t EpubReader_getImage(EpubReader* reader, int32_t page, intptr_t object);

/** The image of an object on a page of one document.
 * Lock: none.
 * \param reader The handle.
 * \param path The document.
 * \param page The page within it.
 * \param object The object on the page.
 * \return As EpubReader_getImage; null handle: 0. */
EPUBREADER_API intptr_t EpubReader_getContentImage(EpubReader* reader, const epub_char16* path,
                                                   int32_t page, intptr_t object);

/** The first text of a publication page (ZaveVevode_getFirstStringPage).
 * Lock: none.
 * \param reader The handle.
 * \param page The publication page, from 0; checked against the total page
 *        count only from above.
 * \return The renderer's text (MuPDF renderer: the page's first line, kept
 *         until its next call that returns text); null out of range; null
 *         handle: null. */
EPUBREADER_API const epub_char16* EpubReader_getMarkableString(EpubReader* reader, int32_t page);

/** The first text of a page of one document.
 * Lock: none.
 * \param reader The handle.
 * \param path The document.
 * \param page The page within it.
 * \return As EpubReader_getMarkableString; null handle: null. */
EPUBREADER_API const epub_char16* EpubReader_getContentMarkableString(EpubReader* reader,
                                                                      const epub_char16* path,
                                                                      int32_t page);

/** The number of objects on a publication page: ZaveVevode_getObjectCount
 * of the page, plus ZaveVevode_getObjectCount at the page count of each
 * earlier document (0 with the MuPDF renderer, so the result is the page's
 * own count).
 * Lock: none.
 * \param reader The handle.
 * \param page The publication page, from 0; checked against the total page
 *        count only from above.
 * \return The sum; 0 out of range; null handle: 0. */
EPUBREADER_API uint32_t EpubReader_getObjectCount(EpubReader* reader, int32_t page);

/** Objects on a page of one document (ZaveVevode_getObjectCount).
 * Lock: none.
 * \param reader The handle.
 * \param path The document.
 * \param page The page within it.
 * \return The renderer's count; 0 for an unknown document or a page out of
 *         range; null handle: 0. */
EPUBREADER_API uint32_t EpubReader_getContentObjectCount(EpubReader* reader,
                                                         const epub_char16* path, int32_t page);

/** Fills a record describing an object on a publication page
 * (ZaveVevode_getObjectInfo). The record's layout is the renderer's; its
 * third and fourth 32-bit fields are object indexes, which this form turns
 * into markable positions.
 * Lock: none.
 * \param reader The handle.
 * \param page The publication page.
 * \param object The object on the page.
 * \param record The record to fill (MuPDF renderer: a PendrelObjectInfo).
 * \param flags The renderer's (MuPDF renderer: unused).
 * \return The renderer's answer; false out of range; null handle: false. */
EPUBREADER_API bool EpubReader_getObjectInfo(EpubReader* reader, int32_t page, intptr_t object,
                                             void* record, intptr_t flags);

/** Fills a record describing an object on a page of one document, with the
 * renderer's own object indexes.
 * Lock: none.
 * \param reader The handle.
 * \param path The document.
 * \param page The page within it.
 * \param object The object on the page.
 * \param record The record to fill, as for EpubReader_getObjectInfo.
 * \param flags As for EpubReader_getObjectInfo.
 * \return The renderer's answer; false for an unknown document or a page out
 *         of range; null handle: false. */
EPUBREADER_API bool EpubReader_getContentObjectInfo(EpubReader* reader, const epub_char16* path,
                                                    int32_t page, intptr_t object, void* record,
                                                    intptr_t flags);

/** @} */

/** \defgroup layout Layout changes
 * The font arguments go to ZaveVevode_changeFont and the client size to
 * ZaveVevode_calcPageSize unchanged (MuPDF renderer: fontSize is the em size
 * in points, the other font arguments are unused; clientSize is
 * PENDREL_PAGE_SIZE(width, height) in points). The renderer is told even when
 * no publication is open or the document is unknown. All five hold the lock,
 * also while the read callback runs.
 * @{ */

/** Changes the font of every document; then every document's page count and
 * the total page count are asked again.
 * Lock: held.
 * \param reader The handle; null: nothing happens.
 * \param fontSize Font value, the renderer's (MuPDF renderer: the em size in points, 1 to 400).
 * \param fontValue2 Second font value, the renderer's (MuPDF renderer: unused).
 * \param fontValue3 Third font value, the renderer's (MuPDF renderer: unused).
 * \param fontFlag Font byte, the renderer's (MuPDF renderer: unused). */
EPUBREADER_API void EpubReader_changeFont(EpubReader* reader, intptr_t fontSize,
                                          intptr_t fontValue2, intptr_t fontValue3,
                                          uint8_t fontFlag);

/** Changes the page size of every document; then every document's page
 * count and the total page count are asked again.
 * Lock: held.
 * \param reader The handle; null: nothing happens.
 * \param clientSize The renderer's. */
EPUBREADER_API void EpubReader_changeClientSize(EpubReader* reader, intptr_t clientSize);

/** Changes the font for one document and lays it out again from the host's
 * bytes. The total page count is not updated.
 * Lock: held.
 * \param reader The handle; null: nothing happens.
 * \param path The document.
 * \param fontSize As for EpubReader_changeFont.
 * \param fontValue2 As for EpubReader_changeFont.
 * \param fontValue3 As for EpubReader_changeFont.
 * \param fontFlag As for EpubReader_changeFont. */
EPUBREADER_API void EpubReader_changeContentFont(EpubReader* reader, const epub_char16* path,
                                                 intptr_t fontSize, intptr_t fontValue2,
                                                 intptr_t fontValue3, uint8_t fontFlag);

/** Changes the page size for one document and lays it out again. The total
 * page count is not updated.
 * Lock: held.
 * \param reader The handle; null: nothing happens.
 * \param path The document.
 * \param clientSize As for EpubReader_changeClientSize. */
EPUBREADER_API void EpubReader_changeContentClientSize(EpubReader* reader, const epub_char16* path,
                                                       intptr_t clientSize);

/** Changes font, then page size, for one document and lays it out again. The
 * total page count is not updated.
 * Lock: held.
 * \param reader The handle; null: nothing happens.
 * \param path The document.
 * \param fontSize As for EpubReader_changeFont.
 * \param fontValue2 As for EpubReader_changeFont.
 * \param fontValue3 As for EpubReader_changeFont.
 * \param fontFlag As for EpubReader_changeFont.
 * \param clientSize As for EpubReader_changeClientSize. */
EPUBREADER_API void EpubReader_changeContentFontAndClientSize(
    EpubReader* reader, const epub_char16* path, intptr_t fontSize, intptr_t fontValue2,
    intptr_t fontValue3, uint8_t fontFlag, intptr_t clientSize);

/** @} */

/** \defgroup scraps Scraps (highlights) and the selection box
 * A scrap spans the objects from start to end. The plain forms take markable
 * positions: the document holding start gets the scrap, with both positions
 * made relative to it. The Content forms take the renderer's object indexes
 * and reach the renderer even for a path that names no document of the
 * reading order. The scraps live in the renderer (MuPDF renderer: start and
 * end inclusive, color 0xRRGGBB, 0 for the default, style stored). None
 * takes the lock; a null handle does nothing (text: null).
 * @{ */

/** Adds a scrap (ZaveVevode_addScrap).
 * Lock: none.
 * \param reader The handle; null: nothing happens.
 * \param start Markable position of the first object.
 * \param end Markable position of the last object.
 * \param color The renderer's (MuPDF renderer: colour 0xRRGGBB, 0 for the default).
 * \param style The renderer's (MuPDF renderer: stored; drawn the same). */
EPUBREADER_API void EpubReader_addScrap(EpubReader* reader, uint32_t start, uint32_t end,
                                        intptr_t color, intptr_t style);

/** Changes a scrap's values (ZaveVevode_modifyScrap).
 * Lock: none.
 * \param reader The handle; null: nothing happens.
 * \param start Markable position of the first object.
 * \param end Markable position of the last object.
 * \param color The renderer's (MuPDF renderer: colour 0xRRGGBB, 0 for the default).
 * \param style The renderer's (MuPDF renderer: stored; drawn the same). */
EPUBREADER_API void EpubReader_modifyScrap(EpubReader* reader, uint32_t start, uint32_t end,
                                           intptr_t color, intptr_t style);

/** Removes a scrap (ZaveVevode_removeScrap).
 * Lock: none.
 * \param reader The handle; null: nothing happens.
 * \param start Markable position of the first object.
 * \param end Markable position of the last object. */
EPUBREADER_API void EpubReader_removeScrap(EpubReader* reader, uint32_t start, uint32_t end);

/** The text between two markable positions (ZaveVevode_getScrapText).
 * Lock: none.
 * \param reader The handle.
 * \param start Markable position of the first object.
 * \param end Markable position of the last object.
 * \return The renderer's text (MuPDF renderer: the words joined by single
 *         spaces, kept until its next call that returns text); null when no
 *         document holds start; null handle: null. */
EPUBREADER_API const epub_char16* EpubReader_getScrapText(EpubReader* reader, uint32_t start,
                                                          uint32_t end);

/** Removes every scrap of every document (ZaveVevode_clearScrap each).
 * Lock: none.
 * \param reader The handle; null: nothing happens. */
EPUBREADER_API void EpubReader_clearScrap(EpubReader* reader);

/** Draws a selection box over the objects between two markable positions
 * (ZaveVevode_drawSelectionBox).
 * Lock: none.
 * \param reader The handle; null: nothing happens.
 * \param target The renderer's (MuPDF renderer: the PendrelBitmap* to blend into).
 * \param targetPage The renderer's (MuPDF renderer: the page within the document).
 * \param start Markable position of the first object.
 * \param end Markable position of the last object.
 * \param color The renderer's (MuPDF renderer: colour 0xRRGGBB, 0 for light blue).
 * \param style The renderer's (MuPDF renderer: unused). */
EPUBREADER_API void EpubReader_drawSelectionBox(EpubReader* reader, intptr_t target,
                                                intptr_t targetPage, uint32_t start, uint32_t end,
                                                intptr_t color, intptr_t style);

/** Adds a scrap to one document.
 * Lock: none.
 * \param reader The handle; null: nothing happens.
 * \param path The document.
 * \param start Index of the first object within the document.
 * \param end Index of the last object within the document.
 * \param color The renderer's (MuPDF renderer: colour 0xRRGGBB, 0 for the default).
 * \param style The renderer's (MuPDF renderer: stored; drawn the same). */
EPUBREADER_API void EpubReader_addContentScrap(EpubReader* reader, const epub_char16* path,
                                               uint32_t start, uint32_t end, intptr_t color,
                                               intptr_t style);

/** Changes a scrap's values in one document.
 * Lock: none.
 * \param reader The handle; null: nothing happens.
 * \param path The document.
 * \param start Index of the first object within the document.
 * \param end Index of the last object within the document.
 * \param color The renderer's (MuPDF renderer: colour 0xRRGGBB, 0 for the default).
 * \param style The renderer's (MuPDF renderer: stored; drawn the same). */
EPUBREADER_API void EpubReader_modifyContentScrap(EpubReader* reader, const epub_char16* path,
                                                  uint32_t start, uint32_t end, intptr_t color,
                                                  intptr_t style);

/** Removes a scrap from one document.
 * Lock: none.
 * \param reader The handle; null: nothing happens.
 * \param path The document.
 * \param start Index of the first object within the document.
 * \param end Index of the last object within the document. */
EPUBREADER_API void EpubReader_removeContentScrap(EpubReader* reader, const epub_char16* path,
                                                  uint32_t start, uint32_t end);

/** The text between two objects of one document.
 * Lock: none.
 * \param reader The handle.
 * \param path The document.
 * \param start Index of the first object within the document.
 * \param end Index of the last object within the document.
 * \return As EpubReader_getScrapText; null handle: null. */
EPUBREADER_API const epub_char16* EpubReader_getContentScrapText(EpubReader* reader,
                                                                 const epub_char16* path,
                                                                 uint32_t start, uint32_t end);

/** Removes every scrap of one document.
 * Lock: none.
 * \param reader The handle; null: nothing happens.
 * \param path The document. */
EPUBREADER_API void EpubReader_clearContentScrap(EpubReader* reader, const epub_char16* path);

/** Draws a selection box over objects of one document.
 * Lock: none.
 * \param reader The handle; null: nothing happens.
 * \param path The document.
 * \param target As for EpubReader_drawSelectionBox.
 * \param targetPage As for EpubReader_drawSelectionBox.
 * \param start Index of the first object within the document.
 * \param end Index of the last object within the document.
 * \param color As for EpubReader_drawSelectionBox.
 * \param style As for EpubReader_drawSelectionBox. */
EPUBREADER_API void EpubReader_drawContentSelectionBox(EpubReader* reader, const epub_char16* path,
                                                       intptr_t target, intptr_t targetPage,
                                                       uint32_t start, uint32_t end, intptr_t color,
                                                       intptr_t style);

/** @} */

/** \defgroup search Search
 * The renderer searches the bytes of content documents, which the library
 * reads through the read callback (without a release call afterwards), for
 * the text of EpubReader_setSearchContext. The search values are the
 * renderer's (MuPDF renderer: unused). None takes the lock.
 * @{ */

/** Searches every document of the reading order, loaded or not; a document
 * that cannot be read is skipped.
 * Lock: none.
 * \param reader The handle.
 * \param searchValue1 First search value, the renderer's (MuPDF renderer: unused).
 * \param searchValue2 Second search value, the renderer's (MuPDF renderer: unused).
 * \param searchValue3 Third search value, the renderer's (MuPDF renderer: unused).
 * \return The sum of the renderer's answers (MuPDF renderer: the number of
 *         hits); 0 when no document was searched; null handle: -1. */
EPUBREADER_API int32_t EpubReader_search(EpubReader* reader, intptr_t searchValue1,
                                         intptr_t searchValue2, intptr_t searchValue3);

/** Searches one document, even one that names no document of the reading
 * order.
 * Lock: none.
 * \param reader The handle.
 * \param path The document.
 * \param searchValue1 As for EpubReader_search.
 * \param searchValue2 As for EpubReader_search.
 * \param searchValue3 As for EpubReader_search.
 * \return The renderer's answer; -1 when the document cannot be read; null
 *         handle: -1. */
EPUBREADER_API int32_t EpubReader_searchContent(EpubReader* reader, const epub_char16* path,
                                                intptr_t searchValue1, intptr_t searchValue2,
                                                intptr_t searchValue3);

/** Chooses the hit drawn as current in one document
 * (ZaveVevode_setSearchDrawItem).
 * Lock: none.
 * \param reader The handle; null: nothing happens.
 * \param path The document.
 * \param hit The renderer's (MuPDF renderer: the hit's number in the document, -1 for none).
 * \param hitValue The renderer's (MuPDF renderer: unused). */
EPUBREADER_API void EpubReader_setSearchDrawItem(EpubReader* reader, const epub_char16* path,
                                                 intptr_t hit, intptr_t hitValue);

/** @} */

#ifdef __cplusplus
}
#endif

#endif /* EPUBREADER_H */
