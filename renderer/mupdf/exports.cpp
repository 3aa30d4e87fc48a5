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
  return pathFrame<Result>(renderer, path, failure, [&](ZaveVevode& self) -> Result {
    Document* doc = pendrel_mupdf::findDocument(self, path);
    return doc ? body(self, *doc) : failure;
  });
}

// The void exports: a failure is doing nothing.
struct Nothing {};

}  // namespace

// One export: result type, name, parameters (the handle named `renderer`,
// the document `path`), failure value, and the operation it runs on the
// renderer's state `self` (and the loaded document `doc`).
#define PENDREL_EXPORT(Result, Name, Params, Failure, Operation)                                  \
  extern "C" PENDREL_API Result Name Params {                                                     \
    return frame<Result>(renderer, Failure,                                                       \
                         [&]([[maybe_unused]] ZaveVevode& self) -> Result { return Operation; }); \
  }
#define PENDREL_PATH_EXPORT(Result, Name, Params, Failure, Operation)                \
  extern "C" PENDREL_API Result Name Params {                                        \
    return pathFrame<Result>(renderer, path, Failure,                                \
                             [&](ZaveVevode& self) -> Result { return Operation; }); \
  }
#define PENDREL_DOCUMENT_EXPORT(Result, Name, Params, Failure, Operation)                       \
  extern "C" PENDREL_API Result Name Params {                                                   \
    return documentFrame<Result>(                                                               \
        renderer, path, Failure,                                                                \
        [&]([[maybe_unused]] ZaveVevode& self, Document& doc) -> Result { return Operation; }); \
  }
#define PENDREL_EXPORT_VOID(Frame, Name, Params, Operation) \
  extern "C" PENDREL_API void Name Params { Frame##_VOID(Operation); }
#define PENDREL_RENDERER_VOID(Operation)                          \
  frame<Nothing>(renderer, {}, [&](ZaveVevode& self) -> Nothing { \
    Operation;                                                    \
    return {};                                                    \
  })
#define PENDREL_PATH_VOID(Operation)                                        \
  pathFrame<Nothing>(renderer, path, {}, [&](ZaveVevode& self) -> Nothing { \
    Operation;                                                              \
    return {};                                                              \
  })
#define PENDREL_DOCUMENT_VOID(Operation)                                                    \
  documentFrame<Nothing>(renderer, path, {},                                                \
                         [&]([[maybe_unused]] ZaveVevode& self, Document& doc) -> Nothing { \
                           Operation;                                                       \
                           return {};                                                       \
                         })

namespace ops = pendrel_mupdf;
using Path = const pendrel_char16*;
using Value = intptr_t;

// clang-format off

// ---- Documents and layout ----
PENDREL_PATH_EXPORT(bool, ZaveVevode_xhtml,
                    (ZaveVevode* renderer, Path path, const uint8_t* bytes, uint32_t length,
                     ZaveVevodeProgressCallback progress, void* context),
                    false, ops::loadDocument(self, path, bytes, length, progress, context))
PENDREL_DOCUMENT_EXPORT(int32_t, ZaveVevode_getPageLength, (ZaveVevode* renderer, Path path),
                        0, doc.pages)
PENDREL_EXPORT_VOID(PENDREL_PATH, ZaveVevode_deleteXhtml, (ZaveVevode* renderer, Path path),
                    ops::deleteDocument(self, path))
PENDREL_EXPORT_VOID(PENDREL_RENDERER, ZaveVevode_changeFont,
                    (ZaveVevode* renderer, Value fontSize, Value /*fontValue2*/,
                     Value /*fontValue3*/, uint8_t /*fontFlag*/, int32_t allDocuments),
                    ops::changeFontSize(self, fontSize, allDocuments))
PENDREL_EXPORT_VOID(PENDREL_RENDERER, ZaveVevode_calcPageSize,
                    (ZaveVevode* renderer, Value clientSize, int32_t allDocuments),
                    ops::changePageSize(self, clientSize, allDocuments))
// fontValue1 is the font file's full path (UTF-16), null for the built-in face.
PENDREL_EXPORT_VOID(PENDREL_RENDERER, ZaveVevode_loadFont,
                    (ZaveVevode* renderer, Value fontValue1, Value /*fontValue2*/,
                     Value /*fontValue3*/),
                    ops::loadHostFont(self, reinterpret_cast<const char16_t*>(fontValue1)))

// ---- Drawing and objects ----
PENDREL_EXPORT_VOID(PENDREL_DOCUMENT, ZaveVevode_draw,
                    (ZaveVevode* renderer, Path path, int32_t page, Value target, Value x,
                     Value y, Value zoom),
                    ops::drawPage(self, doc, page, target, x, y, zoom))
PENDREL_DOCUMENT_EXPORT(int32_t, ZaveVevode_getLink,
                        (ZaveVevode* renderer, Path path, Value link),
                        -1, ops::linkPage(self, doc, reinterpret_cast<const char16_t*>(link)))
PENDREL_DOCUMENT_EXPORT(Path, ZaveVevode_getFirstStringPage,
                        (ZaveVevode* renderer, Path path, int32_t page),
                        nullptr, ops::firstLine(self, doc, page))
PENDREL_DOCUMENT_EXPORT(uint32_t, ZaveVevode_getObjectIndex,
                        (ZaveVevode* renderer, Path path, int32_t page),
                        0, ops::indexOfPage(self, doc, page, false))
PENDREL_DOCUMENT_EXPORT(uint32_t, ZaveVevode_getObjectCount,
                        (ZaveVevode* renderer, Path path, int32_t page),
                        0, ops::countOnPage(self, doc, page, false))
PENDREL_DOCUMENT_EXPORT(uint32_t, ZaveVevode_getObjectIndexUTF8,
                        (ZaveVevode* renderer, Path path, int32_t page),
                        0, ops::indexOfPage(self, doc, page, true))
PENDREL_DOCUMENT_EXPORT(uint32_t, ZaveVevode_getObjectCountUTF8,
                        (ZaveVevode* renderer, Path path, int32_t page),
                        0, ops::countOnPage(self, doc, page, true))
PENDREL_DOCUMENT_EXPORT(Value, ZaveVevode_getObjectType,
                        (ZaveVevode* renderer, Path path, int32_t page, Value object),
                        PENDREL_OBJECT_NONE, ops::objectType(self, doc, page, object))
PENDREL_DOCUMENT_EXPORT(Path, ZaveVevode_getHref,
                        (ZaveVevode* renderer, Path path, int32_t page, Value object),
                        nullptr, ops::objectHref(self, doc, page, object))
// This renderer hands out no image handles.
PENDREL_EXPORT(Value, ZaveVevode_getImage,
               (ZaveVevode* renderer, Path /*path*/, int32_t /*page*/, Value /*object*/),
               0, 0)
PENDREL_DOCUMENT_EXPORT(bool, ZaveVevode_isAnchor,
                        (ZaveVevode* renderer, Path path, int32_t page, Value object),
                        false, ops::isAnchor(self, doc, page, object))
PENDREL_DOCUMENT_EXPORT(bool, ZaveVevode_getObjectInfo,
                        (ZaveVevode* renderer, Path path, int32_t page, Value object,
                         void* record, Value /*flags*/),
                        false, ops::objectInfo(self, doc, page, object, record))

// ---- Scraps and the selection box ----
PENDREL_EXPORT_VOID(PENDREL_DOCUMENT, ZaveVevode_addScrap,
                    (ZaveVevode* renderer, Path path, uint32_t start, uint32_t end, Value color,
                     Value style),
                    ops::addScrap(doc, start, end, color, style))
PENDREL_EXPORT_VOID(PENDREL_DOCUMENT, ZaveVevode_modifyScrap,
                    (ZaveVevode* renderer, Path path, uint32_t start, uint32_t end, Value color,
                     Value style),
                    ops::modifyScrap(doc, start, end, color, style))
PENDREL_EXPORT_VOID(PENDREL_DOCUMENT, ZaveVevode_removeScrap,
                    (ZaveVevode* renderer, Path path, uint32_t start, uint32_t end),
                    ops::removeScrap(doc, start, end))
PENDREL_DOCUMENT_EXPORT(Path, ZaveVevode_getScrapText,
                        (ZaveVevode* renderer, Path path, uint32_t start, uint32_t end),
                        nullptr, ops::scrapText(self, doc, start, end))
PENDREL_EXPORT_VOID(PENDREL_DOCUMENT, ZaveVevode_clearScrap, (ZaveVevode* renderer, Path path),
                    ops::clearScraps(doc))
PENDREL_EXPORT_VOID(PENDREL_DOCUMENT, ZaveVevode_drawSelectionBox,
                    (ZaveVevode* renderer, Path path, Value target, Value targetPage,
                     uint32_t start, uint32_t end, Value color, Value /*style*/),
                    ops::drawSelection(self, doc, target, targetPage, start, end, color))

// ---- Search ----
PENDREL_PATH_EXPORT(int32_t, ZaveVevode_search,
                    (ZaveVevode* renderer, Path path, const uint8_t* bytes, uint32_t length,
                     Value /*searchValue1*/, Value /*searchValue2*/, Value /*searchValue3*/),
                    0, ops::searchDocument(self, path, bytes, length))
PENDREL_EXPORT_VOID(PENDREL_PATH, ZaveVevode_setSearchDrawItem,
                    (ZaveVevode* renderer, Path path, Value hit, Value /*hitValue*/),
                    ops::markHit(self, path, hit))
PENDREL_EXPORT(Value, ZaveVevode_setSearchContext,
               (ZaveVevode* renderer, Path text, Value flags),
               0, ops::setNeedle(self, text, flags))
PENDREL_EXPORT(Value, ZaveVevode_clearSearchDatas, (ZaveVevode* renderer),
               0, ops::clearSearch(self))

// ---- Host overrides for documents loaded later ----
PENDREL_EXPORT(Value, ZaveVevode_setDrawOnlyThisColor, (ZaveVevode* renderer, Value color),
               0, ops::setTextColour(self, color))
PENDREL_EXPORT(Value, ZaveVevode_setUseOnlyThisTextAlign, (ZaveVevode* renderer, Value align),
               0, ops::setTextAlign(self, align))
PENDREL_EXPORT(Value, ZaveVevode_setUseEpubEmbeddedFont, (ZaveVevode* renderer, Value use),
               0, ops::useEmbeddedFonts(self, use))

// clang-format on
