// Documents laid out with MuPDF's HTML engine: loading, the user style
// sheet the host's settings make, the markup preparation where a document
// needs it, and the cache of the layouts used last (a document not in it is
// laid out again when a query needs it).
#pragma once

#include <string>
#include <string_view>

#include "renderer.h"

namespace pendrel_mupdf {

// Parses and lays out `bytes` with the document's style sheet, fonts and
// folder; resources are reported for `reportFor` (null: not reported). A
// document that needs it is prepared first (and laid out as given if the
// prepared markup fails); its backgrounds are found too. html is null when
// MuPDF fails.
Laid layOut(ZaveVevode& r, const Document& d, std::string_view bytes, const Layout& layout,
            Document* reportFor);
void release(fz_context* ctx, Laid& laid);
int32_t pagesOf(const fz_html* html);

// The document's layout and backgrounds, from the cache or made again
// (null when it fails).
const Laid* laidOf(ZaveVevode& r, Document& d);
fz_html* htmlOf(ZaveVevode& r, Document& d);

// A document for markup at `path` that is laid out and dropped (search): set
// up as the loaded document at that path is, else as one loaded now would be.
Document scratchDocument(ZaveVevode& r, const char16_t* path, std::string_view markup);

// ZaveVevode_xhtml: loads (or replaces) a document and counts its pages;
// false when it has no bytes or does not parse.
bool loadDocument(ZaveVevode& r, const char16_t* path, const uint8_t* bytes, uint32_t length,
                  ZaveVevodeProgressCallback progress, void* context);
void deleteDocument(ZaveVevode& r, const char16_t* path);
// The em size or the page size (PENDREL_PAGE_SIZE) for every document
// (laid out again) or for the next one loaded only.
void changeFontSize(ZaveVevode& r, intptr_t fontSize, int32_t allDocuments);
void changePageSize(ZaveVevode& r, intptr_t size, int32_t allDocuments);
// Drops every document and layout.
void dropLayouts(ZaveVevode& r);

}  // namespace pendrel_mupdf
