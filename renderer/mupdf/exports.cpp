// The export table: every ZaveVevode_* function with its failure value and
// the operation it runs. ZaveVevode_new and ZaveVevode_free, which manage
// the handle itself, are in renderer.cpp.
#include <new>

#include "fonts.h"
#include "layout.h"
#include "objects.h"
#include "paint.h"
#include "renderer.h"
#include "search.h"

namespace {

using pendrel_mupdf::Document;

// The one frame every export shares: a null handle (and, for the exports
// that name a document, a null path or one no document was loaded under)
// gives the export's failure value at once. Exceptions other than
// out-of-memory never cross the C boundary.
template <class Result, class Body>
Result frame(ZaveVevode* renderer, Result failure, Body&& body) {
  if (!renderer) return failure;
  try {
    return body(*renderer);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (...) {
    return failure;
  }
}

template <class Result, class Body>
Result pathFrame(ZaveVevode* renderer, const char16_t* path, Result failure, Body&& body) {
  if (!path) return failure;
  return frame<Result>(renderer, failure, body);
}

template <class Result, class Body>
Result documentFrame(ZaveVevode* renderer, const char16_t* path, Result failure, Body&& body) {
  return pathFrame<Result>(renderer, path, failure, [&](ZaveVevode& r) -> Result {
    Document* d = pendrel_mupdf::findDocument(r, path);
    return d ? body(r, *d) : failure;
  });
}

// The void exports: a failure is doing nothing.
struct Nothing {};

}  // namespace

// One export: result type, name, parameters (the handle named `renderer`,
// the document `path`), failure value, and the operation it runs on the
// renderer `r` (and the document `d`).
#define PENDREL_EXPORT(Result, Name, Params, Failure, Operation)                               \
  extern "C" PENDREL_API Result Name Params {                                                  \
    return frame<Result>(renderer, Failure,                                                    \
                         [&]([[maybe_unused]] ZaveVevode& r) -> Result { return Operation; }); \
  }
#define PENDREL_PATH_EXPORT(Result, Name, Params, Failure, Operation)             \
  extern "C" PENDREL_API Result Name Params {                                     \
    return pathFrame<Result>(renderer, path, Failure,                             \
                             [&](ZaveVevode& r) -> Result { return Operation; }); \
  }
#define PENDREL_DOCUMENT_EXPORT(Result, Name, Params, Failure, Operation)                  \
  extern "C" PENDREL_API Result Name Params {                                              \
    return documentFrame<Result>(                                                          \
        renderer, path, Failure,                                                           \
        [&]([[maybe_unused]] ZaveVevode& r, Document& d) -> Result { return Operation; }); \
  }
#define PENDREL_EXPORT_VOID(Frame, Name, Params, Operation) \
  extern "C" PENDREL_API void Name Params { Frame##_VOID(Operation); }
#define PENDREL_RENDERER_VOID(Operation)                       \
  frame<Nothing>(renderer, {}, [&](ZaveVevode& r) -> Nothing { \
    Operation;                                                 \
    return {};                                                 \
  })
#define PENDREL_PATH_VOID(Operation)                                     \
  pathFrame<Nothing>(renderer, path, {}, [&](ZaveVevode& r) -> Nothing { \
    Operation;                                                           \
    return {};                                                           \
  })
#define PENDREL_DOCUMENT_VOID(Operation)                                               \
  documentFrame<Nothing>(renderer, path, {},                                           \
                         [&]([[maybe_unused]] ZaveVevode& r, Document& d) -> Nothing { \
                           Operation;                                                  \
                           return {};                                                  \
                         })

namespace ops = pendrel_mupdf;
using Path = const pendrel_char16*;
using I = intptr_t;

// clang-format off

// ---- Documents and layout ----
PENDREL_PATH_EXPORT(bool, ZaveVevode_xhtml, (ZaveVevode* renderer, Path path, const uint8_t* bytes,
                    uint32_t length, ZaveVevodeProgressCallback progress, void* context),
                    false, ops::loadDocument(r, path, bytes, length, progress, context))
PENDREL_DOCUMENT_EXPORT(int32_t, ZaveVevode_getPageLength, (ZaveVevode* renderer, Path path), 0,
                        d.pages)
PENDREL_EXPORT_VOID(PENDREL_PATH, ZaveVevode_deleteXhtml, (ZaveVevode* renderer, Path path),
                    ops::deleteDocument(r, path))
PENDREL_EXPORT_VOID(PENDREL_RENDERER, ZaveVevode_changeFont,
                    (ZaveVevode* renderer, I fontSize, I /*fontValue2*/, I /*fontValue3*/,
                     uint8_t /*fontFlag*/, int32_t allDocuments),
                    ops::changeFontSize(r, fontSize, allDocuments))
PENDREL_EXPORT_VOID(PENDREL_RENDERER, ZaveVevode_calcPageSize,
                    (ZaveVevode* renderer, I size, int32_t allDocuments),
                    ops::changePageSize(r, size, allDocuments))
PENDREL_EXPORT_VOID(PENDREL_RENDERER, ZaveVevode_loadFont, (ZaveVevode* renderer, I fontPath, I /*fontValue2*/,
                    I /*fontValue3*/),
                    ops::loadHostFont(r, reinterpret_cast<const char16_t*>(fontPath)))

// ---- Drawing and objects ----
PENDREL_EXPORT_VOID(PENDREL_DOCUMENT, ZaveVevode_draw,
                    (ZaveVevode* renderer, Path path, int32_t page, I target, I x, I y, I zoom),
                    ops::drawPage(r, d, page, target, x, y, zoom))
PENDREL_DOCUMENT_EXPORT(int32_t, ZaveVevode_getLink, (ZaveVevode* renderer, Path path, I link), -1,
                        ops::linkPage(r, d, reinterpret_cast<const char16_t*>(link)))
PENDREL_DOCUMENT_EXPORT(Path, ZaveVevode_getFirstStringPage, (ZaveVevode* renderer, Path path, int32_t page),
                        nullptr, ops::firstLine(r, d, page))
PENDREL_DOCUMENT_EXPORT(uint32_t, ZaveVevode_getObjectIndex, (ZaveVevode* renderer, Path path, int32_t page),
                        0, ops::indexOfPage(r, d, page, false))
PENDREL_DOCUMENT_EXPORT(uint32_t, ZaveVevode_getObjectCount, (ZaveVevode* renderer, Path path, int32_t page),
                        0, ops::countOnPage(r, d, page, false))
PENDREL_DOCUMENT_EXPORT(uint32_t, ZaveVevode_getObjectIndexUTF8, (ZaveVevode* renderer, Path path, int32_t page),
                        0, ops::indexOfPage(r, d, page, true))
PENDREL_DOCUMENT_EXPORT(uint32_t, ZaveVevode_getObjectCountUTF8, (ZaveVevode* renderer, Path path, int32_t page),
                        0, ops::countOnPage(r, d, page, true))
PENDREL_DOCUMENT_EXPORT(I, ZaveVevode_getObjectType, (ZaveVevode* renderer, Path path, int32_t page, I object),
                        PENDREL_OBJECT_NONE, ops::objectType(r, d, page, object))
PENDREL_DOCUMENT_EXPORT(Path, ZaveVevode_getHref, (ZaveVevode* renderer, Path path, int32_t page, I object),
                        nullptr, ops::objectHref(r, d, page, object))
// This renderer hands out no image handles.
PENDREL_EXPORT(I, ZaveVevode_getImage, (ZaveVevode* renderer, Path /*path*/, int32_t /*page*/, I /*object*/),
               0, 0)
PENDREL_DOCUMENT_EXPORT(bool, ZaveVevode_isAnchor, (ZaveVevode* renderer, Path path, int32_t page, I object),
                        false, ops::isAnchor(r, d, page, object))
PENDREL_DOCUMENT_EXPORT(bool, ZaveVevode_getObjectInfo,
                        (ZaveVevode* renderer, Path path, int32_t page, I object, void* record, I /*flags*/),
                        false, ops::objectInfo(r, d, page, object, record))

// ---- Scraps and the selection box ----
PENDREL_EXPORT_VOID(PENDREL_DOCUMENT, ZaveVevode_addScrap,
                    (ZaveVevode* renderer, Path path, uint32_t start, uint32_t end, I color, I style),
                    ops::addScrap(d, start, end, color, style))
PENDREL_EXPORT_VOID(PENDREL_DOCUMENT, ZaveVevode_modifyScrap,
                    (ZaveVevode* renderer, Path path, uint32_t start, uint32_t end, I color, I style),
                    ops::modifyScrap(d, start, end, color, style))
PENDREL_EXPORT_VOID(PENDREL_DOCUMENT, ZaveVevode_removeScrap,
                    (ZaveVevode* renderer, Path path, uint32_t start, uint32_t end),
                    ops::removeScrap(d, start, end))
PENDREL_DOCUMENT_EXPORT(Path, ZaveVevode_getScrapText, (ZaveVevode* renderer, Path path, uint32_t start, uint32_t end),
                        nullptr, ops::scrapText(r, d, start, end))
PENDREL_EXPORT_VOID(PENDREL_DOCUMENT, ZaveVevode_clearScrap, (ZaveVevode* renderer, Path path),
                    ops::clearScraps(d))
PENDREL_EXPORT_VOID(PENDREL_DOCUMENT, ZaveVevode_drawSelectionBox,
                    (ZaveVevode* renderer, Path path, I target, I targetPage, uint32_t start, uint32_t end,
                     I color, I /*style*/),
                    ops::drawSelection(r, d, target, targetPage, start, end, color))

// ---- Search ----
PENDREL_PATH_EXPORT(int32_t, ZaveVevode_search,
                    (ZaveVevode* renderer, Path path, const uint8_t* bytes, uint32_t length,
                     I /*searchValue1*/, I /*searchValue2*/, I /*searchValue3*/),
                    0, ops::searchDocument(r, path, bytes, length))
PENDREL_EXPORT_VOID(PENDREL_PATH, ZaveVevode_setSearchDrawItem, (ZaveVevode* renderer, Path path, I hit, I /*hitValue*/),
                    ops::markHit(r, path, hit))
PENDREL_EXPORT(I, ZaveVevode_setSearchContext, (ZaveVevode* renderer, Path text, I flags), 0,
               ops::setNeedle(r, text, flags))
PENDREL_EXPORT(I, ZaveVevode_clearSearchDatas, (ZaveVevode* renderer), 0, ops::clearSearch(r))

// ---- Host overrides for documents loaded later ----
PENDREL_EXPORT(I, ZaveVevode_setDrawOnlyThisColor, (ZaveVevode* renderer, I color), 0,
               ops::setTextColour(r, color))
PENDREL_EXPORT(I, ZaveVevode_setUseOnlyThisTextAlign, (ZaveVevode* renderer, I align), 0,
               ops::setTextAlign(r, align))
PENDREL_EXPORT(I, ZaveVevode_setUseEpubEmbeddedFont, (ZaveVevode* renderer, I use), 0,
               ops::useEmbeddedFonts(r, use))

// clang-format on
