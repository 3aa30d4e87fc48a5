// The export table: every EpubReader_* function with its null-handle value,
// its lock and the operation it runs. EpubReader_new and EpubReader_free,
// which manage the handle itself, are in handle.cpp. Parameters carry the
// public header's names.
#include <type_traits>

#include "content/content.h"
#include "frame.h"
#include "host_records.h"
#include "opening.h"

namespace ops = epub::content;
namespace api = epub::api;
using Path = const char16_t*;
using Value = intptr_t;  // a value only the renderer interprets

// The renderer's progress callback is the host's, passed through unchanged.
static_assert(std::is_same_v<EpubReaderProgressCallback, ZaveVevodeProgressCallback>);

// clang-format off

// ---- Forwarding to the renderer, with its own handle in place of ours ----
EPUB_EXPORT(void, EpubReader_loadFont,
            (EpubReader* reader, Value fontValue1, Value fontValue2, Value fontValue3),
            kNothing, kHeld, ZaveVevode_loadFont(session.renderer, fontValue1, fontValue2, fontValue3))
EPUB_EXPORT(Value, EpubReader_setDrawOnlyThisColor, (EpubReader* reader, Value color), 0, kNone,
            ZaveVevode_setDrawOnlyThisColor(session.renderer, color))
EPUB_EXPORT(Value, EpubReader_setUseOnlyThisTextAlign, (EpubReader* reader, Value align), 0, kNone,
            ZaveVevode_setUseOnlyThisTextAlign(session.renderer, align))
EPUB_EXPORT(Value, EpubReader_setUseEpubEmbeddedFont, (EpubReader* reader, Value use), 0, kNone,
            ZaveVevode_setUseEpubEmbeddedFont(session.renderer, use))
EPUB_EXPORT(Value, EpubReader_setSearchContext, (EpubReader* reader, Path text, Value flags), 0, kNone,
            ZaveVevode_setSearchContext(session.renderer, text, flags))
EPUB_EXPORT(Value, EpubReader_clearSearchDatas, (EpubReader* reader), 0, kNone,
            ZaveVevode_clearSearchDatas(session.renderer))
EPUB_EXPORT(int32_t, EpubReader_getPageCount, (EpubReader* reader), 0, kNone,
            session.totalPageCount)

// ---- Opening ----
EPUB_EXPORT(bool, EpubReader_readMimeType, (EpubReader* reader, const uint8_t* bytes, int32_t length),
            false, kHeld, api::readMimeType(session, bytes, length))
EPUB_EXPORT(Path, EpubReader_readContainer, (EpubReader* reader, const uint8_t* bytes, uint32_t length),
            nullptr, kHeld, api::readContainer(*reader, bytes, length))

// ---- Records for the host ----
EPUB_EXPORT(const EpubReaderPublicationMetadata*, EpubReader_getPublicationMetadata,
            (EpubReader* reader), nullptr, kNone, reader->metadata)
EPUB_EXPORT(Path, EpubReader_getNcxDocTitle, (EpubReader* reader), nullptr, kHeld,
            api::ncxDocTitle(session))
EPUB_EXPORT(Path, EpubReader_getNcxDocAuthor, (EpubReader* reader), nullptr, kHeld,
            api::ncxDocAuthor(session))
EPUB_EXPORT(const EpubReaderSpineList*, EpubReader_getSpine, (EpubReader* reader), nullptr, kHeld,
            api::spineList(*reader))
EPUB_EXPORT(const EpubReaderNavList*, EpubReader_getNavMap, (EpubReader* reader), nullptr, kHeld,
            api::navigationList(*reader))

// ---- Loading ----
EPUB_EXPORT(bool, EpubReader_loadAll,
            (EpubReader* reader, EpubReaderProgressCallback progress, void* context),
            false, kHeld, ops::loadAll(session, progress, context))
EPUB_EXPORT(bool, EpubReader_loadContent,
            (EpubReader* reader, Path path, EpubReaderProgressCallback progress, void* context),
            false, kHeld, ops::loadContent(session, path, progress, context))
EPUB_EXPORT(void, EpubReader_deleteContent, (EpubReader* reader, Path path), kNothing, kHeld,
            ops::deleteContent(session, path))

// ---- Page and position addressing ----
EPUB_EXPORT(int32_t, EpubReader_getContentPageCount, (EpubReader* reader, Path path), 0, kNone,
            ops::getContentPageCount(session, path))
EPUB_EXPORT(int32_t, EpubReader_getTotalPageBeforeContent, (EpubReader* reader, Path path), 0, kNone,
            ops::getTotalPageBeforeContent(session, path))
EPUB_EXPORT(Path, EpubReader_getFileName, (EpubReader* reader, int32_t page), nullptr, kNone,
            ops::getFileName(session, page))
EPUB_EXPORT(Path, EpubReader_getContentByPage, (EpubReader* reader, int32_t page), nullptr, kNone,
            ops::getContentByPage(session, page))
EPUB_EXPORT(uint32_t, EpubReader_getMarkablePosition, (EpubReader* reader, int32_t page), 0, kNone,
            ops::getMarkablePosition(session, page))
EPUB_EXPORT(uint32_t, EpubReader_getContentMarkablePosition,
            (EpubReader* reader, Path path, int32_t page), 0, kNone,
            ops::getContentMarkablePosition(session, path, page))
EPUB_EXPORT(int32_t, EpubReader_getPageMarkPosition, (EpubReader* reader, uint32_t position), -1,
            kNone, ops::getPageMarkPosition(session, position))
EPUB_EXPORT(int32_t, EpubReader_getContentPageMarkPosition,
            (EpubReader* reader, Path path, uint32_t objectIndex), -1, kNone,
            ops::getContentPageMarkPosition(session, path, objectIndex))
EPUB_EXPORT(int32_t, EpubReader_getContentPageAtPosUTF8,
            (EpubReader* reader, Path path, uint32_t position), -1, kNone,
            ops::getContentPageAtPosUTF8(session, path, position))
EPUB_EXPORT(uint32_t, EpubReader_getContentObjectIndexUTF8,
            (EpubReader* reader, Path path, int32_t page), 0, kNone,
            ops::getContentObjectIndexUTF8(session, path, page))
EPUB_EXPORT(uint32_t, EpubReader_getContentObjectCountUTF8,
            (EpubReader* reader, Path path, int32_t page), 0, kNone,
            ops::getContentObjectCountUTF8(session, path, page))

// ---- Drawing and object queries ----
EPUB_EXPORT(void, EpubReader_draw,
            (EpubReader* reader, int32_t page, Value target, Value x, Value y, Value zoom),
            kNothing, kHeld, ops::draw(session, page, target, x, y, zoom))
EPUB_EXPORT(void, EpubReader_drawContent,
            (EpubReader* reader, Path path, int32_t page, Value target, Value x, Value y, Value zoom),
            kNothing, kNone, ops::drawContent(session, path, page, target, x, y, zoom))
EPUB_EXPORT(int32_t, EpubReader_getLink, (EpubReader* reader, Path path, Value link), -1, kNone,
            ops::getLink(session, path, link))
EPUB_EXPORT(int32_t, EpubReader_getContentLink, (EpubReader* reader, Path path, Value link), -1,
            kNone, ops::getContentLink(session, path, link))
EPUB_EXPORT(Value, EpubReader_getObjectType, (EpubReader* reader, int32_t page, Value object), 0,
            kNone, ops::getObjectType(session, page, object))
EPUB_EXPORT(Value, EpubReader_getContentObjectType,
            (EpubReader* reader, Path path, int32_t page, Value object), 0, kNone,
            ops::getContentObjectType(session, path, page, object))
EPUB_EXPORT(bool, EpubReader_isAnchor, (EpubReader* reader, int32_t page, Value object), false,
            kNone, ops::isAnchor(session, page, object))
EPUB_EXPORT(bool, EpubReader_isContentAnchor,
            (EpubReader* reader, Path path, int32_t page, Value object), false, kNone,
            ops::isContentAnchor(session, path, page, object))
EPUB_EXPORT(Path, EpubReader_getHref, (EpubReader* reader, int32_t page, Value object), nullptr,
            kNone, ops::getHref(session, page, object))
EPUB_EXPORT(Path, EpubReader_getContentHref,
            (EpubReader* reader, Path path, int32_t page, Value object), nullptr, kNone,
            ops::getContentHref(session, path, page, object))
EPUB_EXPORT(Value, EpubReader_getImage, (EpubReader* reader, int32_t page, Value object), 0, kNone,
            ops::getImage(session, page, object))
EPUB_EXPORT(Value, EpubReader_getContentImage,
            (EpubReader* reader, Path path, int32_t page, Value object), 0, kNone,
            ops::getContentImage(session, path, page, object))
EPUB_EXPORT(Path, EpubReader_getMarkableString, (EpubReader* reader, int32_t page), nullptr, kNone,
            ops::getMarkableString(session, page))
EPUB_EXPORT(Path, EpubReader_getContentMarkableString, (EpubReader* reader, Path path, int32_t page),
            nullptr, kNone, ops::getContentMarkableString(session, path, page))
EPUB_EXPORT(uint32_t, EpubReader_getObjectCount, (EpubReader* reader, int32_t page), 0, kNone,
            ops::getObjectCount(session, page))
EPUB_EXPORT(uint32_t, EpubReader_getContentObjectCount, (EpubReader* reader, Path path, int32_t page),
            0, kNone, ops::getContentObjectCount(session, path, page))
EPUB_EXPORT(bool, EpubReader_getObjectInfo,
            (EpubReader* reader, int32_t page, Value object, void* record, Value flags), false,
            kNone, ops::getObjectInfo(session, page, object, record, flags))
EPUB_EXPORT(bool, EpubReader_getContentObjectInfo,
            (EpubReader* reader, Path path, int32_t page, Value object, void* record, Value flags),
            false, kNone, ops::getContentObjectInfo(session, path, page, object, record, flags))

// ---- Layout changes ----
EPUB_EXPORT(void, EpubReader_changeFont,
            (EpubReader* reader, Value fontSize, Value fontValue2, Value fontValue3, uint8_t fontFlag),
            kNothing, kHeld, ops::changeFont(session, fontSize, fontValue2, fontValue3, fontFlag))
EPUB_EXPORT(void, EpubReader_changeClientSize, (EpubReader* reader, Value clientSize), kNothing,
            kHeld, ops::changeClientSize(session, clientSize))
EPUB_EXPORT(void, EpubReader_changeContentFont,
            (EpubReader* reader, Path path, Value fontSize, Value fontValue2, Value fontValue3,
             uint8_t fontFlag),
            kNothing, kHeld,
            ops::changeContentFont(session, path, fontSize, fontValue2, fontValue3, fontFlag))
EPUB_EXPORT(void, EpubReader_changeContentClientSize,
            (EpubReader* reader, Path path, Value clientSize), kNothing, kHeld,
            ops::changeContentClientSize(session, path, clientSize))
EPUB_EXPORT(void, EpubReader_changeContentFontAndClientSize,
            (EpubReader* reader, Path path, Value fontSize, Value fontValue2, Value fontValue3,
             uint8_t fontFlag, Value clientSize),
            kNothing, kHeld,
            ops::changeContentFontAndClientSize(session, path, fontSize, fontValue2, fontValue3,
                                                fontFlag, clientSize))

// ---- Scraps and the selection box ----
EPUB_EXPORT(void, EpubReader_addScrap,
            (EpubReader* reader, uint32_t start, uint32_t end, Value color, Value style), kNothing,
            kNone, ops::addScrap(session, start, end, color, style))
EPUB_EXPORT(void, EpubReader_modifyScrap,
            (EpubReader* reader, uint32_t start, uint32_t end, Value color, Value style), kNothing,
            kNone, ops::modifyScrap(session, start, end, color, style))
EPUB_EXPORT(void, EpubReader_removeScrap, (EpubReader* reader, uint32_t start, uint32_t end),
            kNothing, kNone, ops::removeScrap(session, start, end))
EPUB_EXPORT(Path, EpubReader_getScrapText, (EpubReader* reader, uint32_t start, uint32_t end),
            nullptr, kNone, ops::getScrapText(session, start, end))
EPUB_EXPORT(void, EpubReader_clearScrap, (EpubReader* reader), kNothing, kNone,
            ops::clearScrap(session))
EPUB_EXPORT(void, EpubReader_drawSelectionBox,
            (EpubReader* reader, Value target, Value targetPage, uint32_t start, uint32_t end,
             Value color, Value style),
            kNothing, kNone,
            ops::drawSelectionBox(session, target, targetPage, start, end, color, style))
EPUB_EXPORT(void, EpubReader_addContentScrap,
            (EpubReader* reader, Path path, uint32_t start, uint32_t end, Value color, Value style),
            kNothing, kNone, ops::addContentScrap(session, path, start, end, color, style))
EPUB_EXPORT(void, EpubReader_modifyContentScrap,
            (EpubReader* reader, Path path, uint32_t start, uint32_t end, Value color, Value style),
            kNothing, kNone, ops::modifyContentScrap(session, path, start, end, color, style))
EPUB_EXPORT(void, EpubReader_removeContentScrap,
            (EpubReader* reader, Path path, uint32_t start, uint32_t end), kNothing, kNone,
            ops::removeContentScrap(session, path, start, end))
EPUB_EXPORT(Path, EpubReader_getContentScrapText,
            (EpubReader* reader, Path path, uint32_t start, uint32_t end), nullptr, kNone,
            ops::getContentScrapText(session, path, start, end))
EPUB_EXPORT(void, EpubReader_clearContentScrap, (EpubReader* reader, Path path), kNothing, kNone,
            ops::clearContentScrap(session, path))
EPUB_EXPORT(void, EpubReader_drawContentSelectionBox,
            (EpubReader* reader, Path path, Value target, Value targetPage, uint32_t start,
             uint32_t end, Value color, Value style),
            kNothing, kNone,
            ops::drawContentSelectionBox(session, path, target, targetPage, start, end, color, style))

// ---- Search ----
EPUB_EXPORT(int32_t, EpubReader_search,
            (EpubReader* reader, Value searchValue1, Value searchValue2, Value searchValue3), -1,
            kNone, ops::search(session, searchValue1, searchValue2, searchValue3))
EPUB_EXPORT(int32_t, EpubReader_searchContent,
            (EpubReader* reader, Path path, Value searchValue1, Value searchValue2,
             Value searchValue3),
            -1, kNone, ops::searchContent(session, path, searchValue1, searchValue2, searchValue3))
EPUB_EXPORT(void, EpubReader_setSearchDrawItem,
            (EpubReader* reader, Path path, Value hit, Value hitValue), kNothing, kNone,
            ops::setSearchDrawItem(session, path, hit, hitValue))

// clang-format on
