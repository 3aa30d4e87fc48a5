// Operations not built yet: each answers its failure value.
#include "content/content.h"

namespace epub::content {

bool loadAll(Session&, EpubReaderProgressCallback, void*) { return {}; }
bool loadContent(Session&, Path, EpubReaderProgressCallback, void*) { return {}; }
void deleteContent(Session&, Path) {}
int32_t getContentPageCount(Session&, Path) { return {}; }
int32_t getTotalPageBeforeContent(Session&, Path) { return {}; }
const char16_t* getFileName(Session&, int32_t) { return {}; }
const char16_t* getContentByPage(Session&, int32_t) { return {}; }
uint32_t getMarkablePosition(Session&, int32_t) { return {}; }
uint32_t getContentMarkablePosition(Session&, Path, int32_t) { return {}; }
int32_t getPageMarkPosition(Session&, uint32_t) { return -1; }
int32_t getContentPageMarkPosition(Session&, Path, uint32_t) { return -1; }
int32_t getContentPageAtPosUTF8(Session&, Path, uint32_t) { return -1; }
uint32_t getContentObjectIndexUTF8(Session&, Path, int32_t) { return {}; }
uint32_t getContentObjectCountUTF8(Session&, Path, int32_t) { return {}; }
void draw(Session&, int32_t, intptr_t, intptr_t, intptr_t, intptr_t) {}
void drawContent(Session&, Path, int32_t, intptr_t, intptr_t, intptr_t, intptr_t) {}
int32_t getLink(Session&, Path, intptr_t) { return -1; }
int32_t getContentLink(Session&, Path, intptr_t) { return -1; }
intptr_t getObjectType(Session&, int32_t, intptr_t) { return {}; }
intptr_t getContentObjectType(Session&, Path, int32_t, intptr_t) { return {}; }
bool isAnchor(Session&, int32_t, intptr_t) { return {}; }
bool isContentAnchor(Session&, Path, int32_t, intptr_t) { return {}; }
const char16_t* getHref(Session&, int32_t, intptr_t) { return {}; }
const char16_t* getContentHref(Session&, Path, int32_t, intptr_t) { return {}; }
intptr_t getImage(Session&, int32_t, intptr_t) { return {}; }
intptr_t getContentImage(Session&, Path, int32_t, intptr_t) { return {}; }
const char16_t* getMarkableString(Session&, int32_t) { return {}; }
const char16_t* getContentMarkableString(Session&, Path, int32_t) { return {}; }
uint32_t getObjectCount(Session&, int32_t) { return {}; }
uint32_t getContentObjectCount(Session&, Path, int32_t) { return {}; }
bool getObjectInfo(Session&, int32_t, intptr_t, void*, intptr_t) { return {}; }
bool getContentObjectInfo(Session&, Path, int32_t, intptr_t, void*, intptr_t) { return {}; }
void changeFont(Session&, intptr_t, intptr_t, intptr_t, uint8_t) {}
void changeClientSize(Session&, intptr_t) {}
void changeContentFont(Session&, Path, intptr_t, intptr_t, intptr_t, uint8_t) {}
void changeContentClientSize(Session&, Path, intptr_t) {}
void changeContentFontAndClientSize(Session&, Path, intptr_t, intptr_t, intptr_t, uint8_t, intptr_t) {}
void addScrap(Session&, uint32_t, uint32_t, intptr_t, intptr_t) {}
void modifyScrap(Session&, uint32_t, uint32_t, intptr_t, intptr_t) {}
void removeScrap(Session&, uint32_t, uint32_t) {}
const char16_t* getScrapText(Session&, uint32_t, uint32_t) { return {}; }
void clearScrap(Session&) {}
void drawSelectionBox(Session&, intptr_t, intptr_t, uint32_t, uint32_t, intptr_t, intptr_t) {}
void addContentScrap(Session&, Path, uint32_t, uint32_t, intptr_t, intptr_t) {}
void modifyContentScrap(Session&, Path, uint32_t, uint32_t, intptr_t, intptr_t) {}
void removeContentScrap(Session&, Path, uint32_t, uint32_t) {}
const char16_t* getContentScrapText(Session&, Path, uint32_t, uint32_t) { return {}; }
void clearContentScrap(Session&, Path) {}
void drawContentSelectionBox(Session&, Path, intptr_t, intptr_t, uint32_t, uint32_t, intptr_t, intptr_t) {}
int32_t search(Session&, intptr_t, intptr_t, intptr_t) { return -1; }
int32_t searchContent(Session&, Path, intptr_t, intptr_t, intptr_t) { return -1; }
void setSearchDrawItem(Session&, Path, intptr_t, intptr_t) {}

}  // namespace epub::content
