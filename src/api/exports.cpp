// The export table: every EpubReader_* function with its null-handle value,
// its lock and the operation it runs. EpubReader_new and EpubReader_free,
// which manage the handle itself, are in handle.cpp.
#include "api/frame.h"
#include "api/host_records.h"
#include "api/opening.h"
#include "content/content.h"

namespace ops = epub::content;
namespace api = epub::api;
using Path = const char16_t*;
using I = intptr_t;

// clang-format off

// ---- Forwarding to the renderer, with its own handle in place of ours ----
EPUB_EXPORT_VOID(EpubReader_loadFont, (EpubReader* reader, I a, I b, I c), kHeld,
                 ZaveVevode_loadFont(s.renderer, a, b, c))
EPUB_EXPORT(I, EpubReader_setDrawOnlyThisColor, (EpubReader* reader, I color), 0, kNone,
            ZaveVevode_setDrawOnlyThisColor(s.renderer, color))
EPUB_EXPORT(I, EpubReader_setUseOnlyThisTextAlign, (EpubReader* reader, I align), 0, kNone,
            ZaveVevode_setUseOnlyThisTextAlign(s.renderer, align))
EPUB_EXPORT(I, EpubReader_setUseEpubEmbeddedFont, (EpubReader* reader, I use), 0, kNone,
            ZaveVevode_setUseEpubEmbeddedFont(s.renderer, use))
EPUB_EXPORT(I, EpubReader_setSearchContext, (EpubReader* reader, Path text, I flags), 0, kNone,
            ZaveVevode_setSearchContext(s.renderer, text, flags))
EPUB_EXPORT(I, EpubReader_clearSearchDatas, (EpubReader* reader), 0, kNone,
            ZaveVevode_clearSearchDatas(s.renderer))
EPUB_EXPORT(int32_t, EpubReader_getPageCount, (EpubReader* reader), 0, kNone,
            s.totalPageCount)

// ---- Opening ----
EPUB_EXPORT(bool, EpubReader_readMimeType, (EpubReader* reader, const uint8_t* bytes, int32_t length),
            false, kHeld, api::readMimeType(s, bytes, length))
EPUB_EXPORT(Path, EpubReader_readContainer, (EpubReader* reader, const uint8_t* bytes, uint32_t length),
            nullptr, kHeld, api::readContainer(*reader, bytes, length))

// ---- Records for the host ----
EPUB_EXPORT(const EpubReaderPublicationMetadata*, EpubReader_getPublicationMetadata,
            (EpubReader* reader), nullptr, kNone, reader->metadata)
EPUB_EXPORT(Path, EpubReader_getNcxDocTitle, (EpubReader* reader), nullptr, kHeld,
            api::ncxDocTitle(s))
EPUB_EXPORT(Path, EpubReader_getNcxDocAuthor, (EpubReader* reader), nullptr, kHeld,
            api::ncxDocAuthor(s))
EPUB_EXPORT(const EpubReaderSpineList*, EpubReader_getSpine, (EpubReader* reader), nullptr, kHeld,
            api::spineList(*reader))
EPUB_EXPORT(const EpubReaderNavList*, EpubReader_getNavMap, (EpubReader* reader), nullptr, kHeld,
            api::navigationList(*reader))

// ---- Loading ----
EPUB_EXPORT(bool, EpubReader_loadAll,
            (EpubReader* reader, EpubReaderProgressCallback progress, void* context),
            false, kHeld, ops::loadAll(s, progress, context))
EPUB_EXPORT(bool, EpubReader_loadContent,
            (EpubReader* reader, Path path, EpubReaderProgressCallback progress, void* context),
            false, kHeld, ops::loadContent(s, path, progress, context))
EPUB_EXPORT_VOID(EpubReader_deleteContent, (EpubReader* reader, Path path), kHeld,
                 ops::deleteContent(s, path))

// ---- Page and position addressing ----
EPUB_EXPORT(int32_t, EpubReader_getContentPageCount, (EpubReader* reader, Path path), 0, kNone,
            ops::getContentPageCount(s, path))
EPUB_EXPORT(int32_t, EpubReader_getTotalPageBeforeContent, (EpubReader* reader, Path path), 0, kNone,
            ops::getTotalPageBeforeContent(s, path))
EPUB_EXPORT(Path, EpubReader_getFileName, (EpubReader* reader, int32_t page), nullptr, kNone,
            ops::getFileName(s, page))
EPUB_EXPORT(Path, EpubReader_getContentByPage, (EpubReader* reader, int32_t page), nullptr, kNone,
            ops::getContentByPage(s, page))
EPUB_EXPORT(uint32_t, EpubReader_getMarkablePosition, (EpubReader* reader, int32_t page), 0, kNone,
            ops::getMarkablePosition(s, page))
EPUB_EXPORT(uint32_t, EpubReader_getContentMarkablePosition, (EpubReader* reader, Path path, int32_t page),
            0, kNone, ops::getContentMarkablePosition(s, path, page))
EPUB_EXPORT(int32_t, EpubReader_getPageMarkPosition, (EpubReader* reader, uint32_t position), -1, kNone,
            ops::getPageMarkPosition(s, position))
EPUB_EXPORT(int32_t, EpubReader_getContentPageMarkPosition, (EpubReader* reader, Path path, uint32_t index),
            -1, kNone, ops::getContentPageMarkPosition(s, path, index))
EPUB_EXPORT(int32_t, EpubReader_getContentPageAtPosUTF8, (EpubReader* reader, Path path, uint32_t position),
            -1, kNone, ops::getContentPageAtPosUTF8(s, path, position))
EPUB_EXPORT(uint32_t, EpubReader_getContentObjectIndexUTF8, (EpubReader* reader, Path path, int32_t page),
            0, kNone, ops::getContentObjectIndexUTF8(s, path, page))
EPUB_EXPORT(uint32_t, EpubReader_getContentObjectCountUTF8, (EpubReader* reader, Path path, int32_t page),
            0, kNone, ops::getContentObjectCountUTF8(s, path, page))

// ---- Drawing and object queries ----
EPUB_EXPORT_VOID(EpubReader_draw, (EpubReader* reader, int32_t page, I a, I b, I c, I d), kHeld,
                 ops::draw(s, page, a, b, c, d))
EPUB_EXPORT_VOID(EpubReader_drawContent, (EpubReader* reader, Path path, int32_t page, I a, I b, I c, I d),
                 kNone, ops::drawContent(s, path, page, a, b, c, d))
EPUB_EXPORT(int32_t, EpubReader_getLink, (EpubReader* reader, Path path, I value), -1, kNone,
            ops::getLink(s, path, value))
EPUB_EXPORT(int32_t, EpubReader_getContentLink, (EpubReader* reader, Path path, I value), -1, kNone,
            ops::getContentLink(s, path, value))
EPUB_EXPORT(I, EpubReader_getObjectType, (EpubReader* reader, int32_t page, I value), 0, kNone,
            ops::getObjectType(s, page, value))
EPUB_EXPORT(I, EpubReader_getContentObjectType, (EpubReader* reader, Path path, int32_t page, I value),
            0, kNone, ops::getContentObjectType(s, path, page, value))
EPUB_EXPORT(bool, EpubReader_isAnchor, (EpubReader* reader, int32_t page, I value), false, kNone,
            ops::isAnchor(s, page, value))
EPUB_EXPORT(bool, EpubReader_isContentAnchor, (EpubReader* reader, Path path, int32_t page, I value),
            false, kNone, ops::isContentAnchor(s, path, page, value))
EPUB_EXPORT(Path, EpubReader_getHref, (EpubReader* reader, int32_t page, I value), nullptr, kNone,
            ops::getHref(s, page, value))
EPUB_EXPORT(Path, EpubReader_getContentHref, (EpubReader* reader, Path path, int32_t page, I value),
            nullptr, kNone, ops::getContentHref(s, path, page, value))
EPUB_EXPORT(I, EpubReader_getImage, (EpubReader* reader, int32_t page, I value), 0, kNone,
            ops::getImage(s, page, value))
EPUB_EXPORT(I, EpubReader_getContentImage, (EpubReader* reader, Path path, int32_t page, I value),
            0, kNone, ops::getContentImage(s, path, page, value))
EPUB_EXPORT(Path, EpubReader_getMarkableString, (EpubReader* reader, int32_t page), nullptr, kNone,
            ops::getMarkableString(s, page))
EPUB_EXPORT(Path, EpubReader_getContentMarkableString, (EpubReader* reader, Path path, int32_t page),
            nullptr, kNone, ops::getContentMarkableString(s, path, page))
EPUB_EXPORT(uint32_t, EpubReader_getObjectCount, (EpubReader* reader, int32_t page), 0, kNone,
            ops::getObjectCount(s, page))
EPUB_EXPORT(uint32_t, EpubReader_getContentObjectCount, (EpubReader* reader, Path path, int32_t page),
            0, kNone, ops::getContentObjectCount(s, path, page))
EPUB_EXPORT(bool, EpubReader_getObjectInfo, (EpubReader* reader, int32_t page, I a, void* record, I b),
            false, kNone, ops::getObjectInfo(s, page, a, record, b))
EPUB_EXPORT(bool, EpubReader_getContentObjectInfo,
            (EpubReader* reader, Path path, int32_t page, I a, void* record, I b),
            false, kNone, ops::getContentObjectInfo(s, path, page, a, record, b))

// ---- Layout changes ----
EPUB_EXPORT_VOID(EpubReader_changeFont, (EpubReader* reader, I a, I b, I c, uint8_t d), kHeld,
                 ops::changeFont(s, a, b, c, d))
EPUB_EXPORT_VOID(EpubReader_changeClientSize, (EpubReader* reader, I size), kHeld,
                 ops::changeClientSize(s, size))
EPUB_EXPORT_VOID(EpubReader_changeContentFont, (EpubReader* reader, Path path, I a, I b, I c, uint8_t d),
                 kHeld, ops::changeContentFont(s, path, a, b, c, d))
EPUB_EXPORT_VOID(EpubReader_changeContentClientSize, (EpubReader* reader, Path path, I size), kHeld,
                 ops::changeContentClientSize(s, path, size))
EPUB_EXPORT_VOID(EpubReader_changeContentFontAndClientSize,
                 (EpubReader* reader, Path path, I a, I b, I c, uint8_t d, I size), kHeld,
                 ops::changeContentFontAndClientSize(s, path, a, b, c, d, size))

// ---- Scraps and the selection box ----
EPUB_EXPORT_VOID(EpubReader_addScrap, (EpubReader* reader, uint32_t start, uint32_t end, I a, I b),
                 kNone, ops::addScrap(s, start, end, a, b))
EPUB_EXPORT_VOID(EpubReader_modifyScrap, (EpubReader* reader, uint32_t start, uint32_t end, I a, I b),
                 kNone, ops::modifyScrap(s, start, end, a, b))
EPUB_EXPORT_VOID(EpubReader_removeScrap, (EpubReader* reader, uint32_t start, uint32_t end), kNone,
                 ops::removeScrap(s, start, end))
EPUB_EXPORT(Path, EpubReader_getScrapText, (EpubReader* reader, uint32_t start, uint32_t end),
            nullptr, kNone, ops::getScrapText(s, start, end))
EPUB_EXPORT_VOID(EpubReader_clearScrap, (EpubReader* reader), kNone, ops::clearScrap(s))
EPUB_EXPORT_VOID(EpubReader_drawSelectionBox,
                 (EpubReader* reader, I a, I b, uint32_t start, uint32_t end, I c, I d), kNone,
                 ops::drawSelectionBox(s, a, b, start, end, c, d))
EPUB_EXPORT_VOID(EpubReader_addContentScrap,
                 (EpubReader* reader, Path path, uint32_t start, uint32_t end, I a, I b), kNone,
                 ops::addContentScrap(s, path, start, end, a, b))
EPUB_EXPORT_VOID(EpubReader_modifyContentScrap,
                 (EpubReader* reader, Path path, uint32_t start, uint32_t end, I a, I b), kNone,
                 ops::modifyContentScrap(s, path, start, end, a, b))
EPUB_EXPORT_VOID(EpubReader_removeContentScrap,
                 (EpubReader* reader, Path path, uint32_t start, uint32_t end), kNone,
                 ops::removeContentScrap(s, path, start, end))
EPUB_EXPORT(Path, EpubReader_getContentScrapText,
            (EpubReader* reader, Path path, uint32_t start, uint32_t end), nullptr, kNone,
            ops::getContentScrapText(s, path, start, end))
EPUB_EXPORT_VOID(EpubReader_clearContentScrap, (EpubReader* reader, Path path), kNone,
                 ops::clearContentScrap(s, path))
EPUB_EXPORT_VOID(EpubReader_drawContentSelectionBox,
                 (EpubReader* reader, Path path, I a, I b, uint32_t start, uint32_t end, I c, I d),
                 kNone, ops::drawContentSelectionBox(s, path, a, b, start, end, c, d))

// ---- Search ----
EPUB_EXPORT(int32_t, EpubReader_search, (EpubReader* reader, I a, I b, I c), -1, kNone,
            ops::search(s, a, b, c))
EPUB_EXPORT(int32_t, EpubReader_searchContent, (EpubReader* reader, Path path, I a, I b, I c), -1,
            kNone, ops::searchContent(s, path, a, b, c))
EPUB_EXPORT_VOID(EpubReader_setSearchDrawItem, (EpubReader* reader, Path path, I a, I b), kNone,
                 ops::setSearchDrawItem(s, path, a, b))

// clang-format on
