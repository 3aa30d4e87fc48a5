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
bool loadAll(Session& s, ZaveVevodeProgressCallback progress, void* context);
bool loadContent(Session& s, Path path, ZaveVevodeProgressCallback progress, void* context);
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
void draw(Session& s, int32_t page, intptr_t target, intptr_t x, intptr_t y, intptr_t zoom);
void drawContent(Session& s, Path path, int32_t page, intptr_t target, intptr_t x, intptr_t y,
                 intptr_t zoom);
int32_t getLink(Session& s, Path path, intptr_t link);
int32_t getContentLink(Session& s, Path path, intptr_t link);
intptr_t getObjectType(Session& s, int32_t page, intptr_t object);
intptr_t getContentObjectType(Session& s, Path path, int32_t page, intptr_t object);
bool isAnchor(Session& s, int32_t page, intptr_t object);
bool isContentAnchor(Session& s, Path path, int32_t page, intptr_t object);
const char16_t* getHref(Session& s, int32_t page, intptr_t object);
const char16_t* getContentHref(Session& s, Path path, int32_t page, intptr_t object);
intptr_t getImage(Session& s, int32_t page, intptr_t object);
intptr_t getContentImage(Session& s, Path path, int32_t page, intptr_t object);
const char16_t* getMarkableString(Session& s, int32_t page);
const char16_t* getContentMarkableString(Session& s, Path path, int32_t page);
uint32_t getObjectCount(Session& s, int32_t page);
uint32_t getContentObjectCount(Session& s, Path path, int32_t page);
bool getObjectInfo(Session& s, int32_t page, intptr_t object, void* record, intptr_t flags);
bool getContentObjectInfo(Session& s, Path path, int32_t page, intptr_t object, void* record,
                          intptr_t flags);

// Layout changes.
void changeFont(Session& s, intptr_t fontSize, intptr_t fontValue2, intptr_t fontValue3,
                uint8_t fontFlag);
void changeClientSize(Session& s, intptr_t clientSize);
void changeContentFont(Session& s, Path path, intptr_t fontSize, intptr_t fontValue2,
                       intptr_t fontValue3, uint8_t fontFlag);
void changeContentClientSize(Session& s, Path path, intptr_t clientSize);
void changeContentFontAndClientSize(Session& s, Path path, intptr_t fontSize, intptr_t fontValue2,
                                    intptr_t fontValue3, uint8_t fontFlag, intptr_t clientSize);

// Scraps and the selection box.
void addScrap(Session& s, uint32_t start, uint32_t end, intptr_t color, intptr_t style);
void modifyScrap(Session& s, uint32_t start, uint32_t end, intptr_t color, intptr_t style);
void removeScrap(Session& s, uint32_t start, uint32_t end);
const char16_t* getScrapText(Session& s, uint32_t start, uint32_t end);
void clearScrap(Session& s);
void drawSelectionBox(Session& s, intptr_t target, intptr_t targetPage, uint32_t start,
                      uint32_t end, intptr_t color, intptr_t style);
void addContentScrap(Session& s, Path path, uint32_t start, uint32_t end, intptr_t color,
                     intptr_t style);
void modifyContentScrap(Session& s, Path path, uint32_t start, uint32_t end, intptr_t color,
                        intptr_t style);
void removeContentScrap(Session& s, Path path, uint32_t start, uint32_t end);
const char16_t* getContentScrapText(Session& s, Path path, uint32_t start, uint32_t end);
void clearContentScrap(Session& s, Path path);
void drawContentSelectionBox(Session& s, Path path, intptr_t target, intptr_t targetPage,
                             uint32_t start, uint32_t end, intptr_t color, intptr_t style);

// Search.
int32_t search(Session& s, intptr_t searchValue1, intptr_t searchValue2, intptr_t searchValue3);
int32_t searchContent(Session& s, Path path, intptr_t searchValue1, intptr_t searchValue2,
                      intptr_t searchValue3);
void setSearchDrawItem(Session& s, Path path, intptr_t hit, intptr_t hitValue);

}  // namespace epub::content
