// Content and pages: loading documents into the renderer, publication-wide
// page and position addressing, drawing and object queries, layout changes,
// scraps and search. Each operation works on the Publication session and
// speaks to the renderer through pendrel.h only. Names follow the exports.
#pragma once

#include <cstdint>

#include "content/session.h"

namespace epub::content {

using Path = const char16_t*;  // the host's path, resolved against the OPF folder

// Loading.
bool loadAll(Session& s, EpubReaderProgressCallback progress, void* context);
bool loadContent(Session& s, Path path, EpubReaderProgressCallback progress, void* context);
void deleteContent(Session& s, Path path);

// Page and position addressing.
int32_t getContentPageCount(Session& s, Path path);
int32_t getTotalPageBeforeContent(Session& s, Path path);
const char16_t* getFileName(Session& s, int32_t page);
const char16_t* getContentByPage(Session& s, int32_t page);
uint32_t getMarkablePosition(Session& s, int32_t page);
uint32_t getContentMarkablePosition(Session& s, Path path, int32_t page);
int32_t getPageMarkPosition(Session& s, uint32_t position);
int32_t getContentPageMarkPosition(Session& s, Path path, uint32_t objectIndex);
int32_t getContentPageAtPosUTF8(Session& s, Path path, uint32_t position);
uint32_t getContentObjectIndexUTF8(Session& s, Path path, int32_t page);
uint32_t getContentObjectCountUTF8(Session& s, Path path, int32_t page);

// Drawing and object queries.
void draw(Session& s, int32_t page, intptr_t a, intptr_t b, intptr_t c, intptr_t d);
void drawContent(Session& s, Path path, int32_t page, intptr_t a, intptr_t b, intptr_t c,
                 intptr_t d);
int32_t getLink(Session& s, Path path, intptr_t value);
int32_t getContentLink(Session& s, Path path, intptr_t value);
intptr_t getObjectType(Session& s, int32_t page, intptr_t value);
intptr_t getContentObjectType(Session& s, Path path, int32_t page, intptr_t value);
bool isAnchor(Session& s, int32_t page, intptr_t value);
bool isContentAnchor(Session& s, Path path, int32_t page, intptr_t value);
const char16_t* getHref(Session& s, int32_t page, intptr_t value);
const char16_t* getContentHref(Session& s, Path path, int32_t page, intptr_t value);
intptr_t getImage(Session& s, int32_t page, intptr_t value);
intptr_t getContentImage(Session& s, Path path, int32_t page, intptr_t value);
const char16_t* getMarkableString(Session& s, int32_t page);
const char16_t* getContentMarkableString(Session& s, Path path, int32_t page);
uint32_t getObjectCount(Session& s, int32_t page);
uint32_t getContentObjectCount(Session& s, Path path, int32_t page);
bool getObjectInfo(Session& s, int32_t page, intptr_t a, void* record, intptr_t b);
bool getContentObjectInfo(Session& s, Path path, int32_t page, intptr_t a, void* record,
                          intptr_t b);

// Layout changes.
void changeFont(Session& s, intptr_t a, intptr_t b, intptr_t c, uint8_t d);
void changeClientSize(Session& s, intptr_t size);
void changeContentFont(Session& s, Path path, intptr_t a, intptr_t b, intptr_t c, uint8_t d);
void changeContentClientSize(Session& s, Path path, intptr_t size);
void changeContentFontAndClientSize(Session& s, Path path, intptr_t a, intptr_t b, intptr_t c,
                                    uint8_t d, intptr_t size);

// Scraps and the selection box.
void addScrap(Session& s, uint32_t start, uint32_t end, intptr_t a, intptr_t b);
void modifyScrap(Session& s, uint32_t start, uint32_t end, intptr_t a, intptr_t b);
void removeScrap(Session& s, uint32_t start, uint32_t end);
const char16_t* getScrapText(Session& s, uint32_t start, uint32_t end);
void clearScrap(Session& s);
void drawSelectionBox(Session& s, intptr_t a, intptr_t b, uint32_t start, uint32_t end, intptr_t c,
                      intptr_t d);
void addContentScrap(Session& s, Path path, uint32_t start, uint32_t end, intptr_t a, intptr_t b);
void modifyContentScrap(Session& s, Path path, uint32_t start, uint32_t end, intptr_t a,
                        intptr_t b);
void removeContentScrap(Session& s, Path path, uint32_t start, uint32_t end);
const char16_t* getContentScrapText(Session& s, Path path, uint32_t start, uint32_t end);
void clearContentScrap(Session& s, Path path);
void drawContentSelectionBox(Session& s, Path path, intptr_t a, intptr_t b, uint32_t start,
                             uint32_t end, intptr_t c, intptr_t d);

// Search.
int32_t search(Session& s, intptr_t a, intptr_t b, intptr_t c);
int32_t searchContent(Session& s, Path path, intptr_t a, intptr_t b, intptr_t c);
void setSearchDrawItem(Session& s, Path path, intptr_t a, intptr_t b);

}  // namespace epub::content
