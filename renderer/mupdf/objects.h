// A document's objects: its words and images in reading order, read from
// the layout the first time a query needs them, and the queries and scraps
// on them.
#pragma once

#include "renderer.h"

namespace pendrel_mupdf {

// Reads the objects of every page of a layout, joining the pieces of the
// `hyphenated` words a line break split, with the background images of
// `paints` as images before the first object at or below their box's top; false
// when MuPDF fails, std::bad_alloc when it ran out of memory.
bool extract(fz_context* ctx, fz_html* html, int32_t pages, const Layout& layout, Objects& out,
             const HyphenatedWords* hyphenated = nullptr,
             const std::vector<Paint>* paints = nullptr);

// The document's objects, read on first use (none when its layout fails).
const Objects& objectsOf(ZaveVevode& r, Document& d);

// Queries by page: the first line's text; the first object (or UTF-8
// position) and how many the page holds; for page == page count the index
// is the document's total.
const char16_t* firstLine(ZaveVevode& r, Document& d, int32_t page);
uint32_t indexOfPage(ZaveVevode& r, Document& d, int32_t page, bool utf8);
uint32_t countOnPage(ZaveVevode& r, Document& d, int32_t page, bool utf8);

// Queries on object `object` of a page (counted from the page's first).
intptr_t objectType(ZaveVevode& r, Document& d, int32_t page, intptr_t object);
const char16_t* objectHref(ZaveVevode& r, Document& d, int32_t page, intptr_t object);
bool isAnchor(ZaveVevode& r, Document& d, int32_t page, intptr_t object);
// Fills a PendrelObjectInfo.
bool objectInfo(ZaveVevode& r, Document& d, int32_t page, intptr_t object, void* record);

// The page an href's fragment leads to (the first page without one).
int32_t linkPage(ZaveVevode& r, Document& d, const char16_t* href);

// Scraps by object range, start to end inclusive.
void addScrap(Document& d, uint32_t start, uint32_t end, intptr_t colour, intptr_t style);
void modifyScrap(Document& d, uint32_t start, uint32_t end, intptr_t colour, intptr_t style);
void removeScrap(Document& d, uint32_t start, uint32_t end);
void clearScraps(Document& d);
// The words of the objects start to end, joined by single spaces.
const char16_t* scrapText(ZaveVevode& r, Document& d, uint32_t start, uint32_t end);

}  // namespace pendrel_mupdf
