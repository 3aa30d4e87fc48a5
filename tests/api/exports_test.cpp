// The export surface: exactly the 68 names leave the library, and every one
// of them answers a null handle with its failure value and touches nothing.
#include <cstdio>
#include <functional>
#include <set>
#include <sstream>

#include "host_fixture.h"

namespace {

const std::set<std::string> kExports = {"EpubReader_new",
                                        "EpubReader_free",
                                        "EpubReader_loadFont",
                                        "EpubReader_readMimeType",
                                        "EpubReader_readContainer",
                                        "EpubReader_getPublicationMetadata",
                                        "EpubReader_getNcxDocTitle",
                                        "EpubReader_getNcxDocAuthor",
                                        "EpubReader_getSpine",
                                        "EpubReader_getNavMap",
                                        "EpubReader_setDrawOnlyThisColor",
                                        "EpubReader_setUseOnlyThisTextAlign",
                                        "EpubReader_setUseEpubEmbeddedFont",
                                        "EpubReader_setSearchContext",
                                        "EpubReader_clearSearchDatas",
                                        "EpubReader_getPageCount",
                                        "EpubReader_loadAll",
                                        "EpubReader_loadContent",
                                        "EpubReader_deleteContent",
                                        "EpubReader_getContentPageCount",
                                        "EpubReader_getTotalPageBeforeContent",
                                        "EpubReader_getFileName",
                                        "EpubReader_getContentByPage",
                                        "EpubReader_getMarkablePosition",
                                        "EpubReader_getContentMarkablePosition",
                                        "EpubReader_getPageMarkPosition",
                                        "EpubReader_getContentPageMarkPosition",
                                        "EpubReader_getContentPageAtPosUTF8",
                                        "EpubReader_getContentObjectIndexUTF8",
                                        "EpubReader_getContentObjectCountUTF8",
                                        "EpubReader_draw",
                                        "EpubReader_drawContent",
                                        "EpubReader_getLink",
                                        "EpubReader_getContentLink",
                                        "EpubReader_getObjectType",
                                        "EpubReader_getContentObjectType",
                                        "EpubReader_isAnchor",
                                        "EpubReader_isContentAnchor",
                                        "EpubReader_getHref",
                                        "EpubReader_getContentHref",
                                        "EpubReader_getImage",
                                        "EpubReader_getContentImage",
                                        "EpubReader_getMarkableString",
                                        "EpubReader_getContentMarkableString",
                                        "EpubReader_getObjectCount",
                                        "EpubReader_getContentObjectCount",
                                        "EpubReader_getObjectInfo",
                                        "EpubReader_getContentObjectInfo",
                                        "EpubReader_changeFont",
                                        "EpubReader_changeClientSize",
                                        "EpubReader_changeContentFont",
                                        "EpubReader_changeContentClientSize",
                                        "EpubReader_changeContentFontAndClientSize",
                                        "EpubReader_addScrap",
                                        "EpubReader_modifyScrap",
                                        "EpubReader_removeScrap",
                                        "EpubReader_getScrapText",
                                        "EpubReader_clearScrap",
                                        "EpubReader_drawSelectionBox",
                                        "EpubReader_addContentScrap",
                                        "EpubReader_modifyContentScrap",
                                        "EpubReader_removeContentScrap",
                                        "EpubReader_getContentScrapText",
                                        "EpubReader_clearContentScrap",
                                        "EpubReader_drawContentSelectionBox",
                                        "EpubReader_search",
                                        "EpubReader_searchContent",
                                        "EpubReader_setSearchDrawItem"};

TEST(Exports, SharedLibraryExportsExactlyTheSixtyEightFunctions) {
  ASSERT_EQ(kExports.size(), 68u);
  std::string command = std::string("nm -D --defined-only ") + EPUB_LIBRARY_PATH;
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> found;
  char line[512];
  while (fgets(line, sizeof line, pipe)) {
    std::istringstream fields(line);
    std::string address, type, name;
    fields >> address >> type >> name;
    if (name.empty()) continue;  // an undefined-address line
    found.insert(name);
  }
  ASSERT_EQ(pclose(pipe), 0);
  EXPECT_EQ(found, kExports);
}

template <class T>
std::string text(const T* p) {
  return p ? "pointer" : "null";
}
std::string text(bool b) { return b ? "true" : "false"; }
template <class T>
requires std::is_integral_v<T> std::string text(T v) { return std::to_string(v); }

struct NullHandleRow {
  const char* name;
  std::function<std::string()> call;  // result as text; "none" for void exports
  const char* expected;
};

template <class F>
std::function<std::string()> none(F f) {
  return [f] {
    f();
    return std::string("none");
  };
}

TEST(Exports, NullHandleGivesFailureValueAndTouchesNothing) {
  static int record[8];
  EpubReader* r = nullptr;
  const char16_t* p = u"Text/a.xhtml";
  const std::vector<NullHandleRow> rows = {
      // Handle and forwarding.
      {"loadFont", none([&] { EpubReader_loadFont(r, 1, 2, 3); }), "none"},
      {"setDrawOnlyThisColor", [&] { return text(EpubReader_setDrawOnlyThisColor(r, 5)); }, "0"},
      {"setUseOnlyThisTextAlign", [&] { return text(EpubReader_setUseOnlyThisTextAlign(r, 5)); },
       "0"},
      {"setUseEpubEmbeddedFont", [&] { return text(EpubReader_setUseEpubEmbeddedFont(r, 1)); },
       "0"},
      {"setSearchContext", [&] { return text(EpubReader_setSearchContext(r, u"x", 1)); }, "0"},
      {"clearSearchDatas", [&] { return text(EpubReader_clearSearchDatas(r)); }, "0"},
      {"getPageCount", [&] { return text(EpubReader_getPageCount(r)); }, "0"},
      // Opening and host records.
      {"readMimeType",
       [&] { return text(EpubReader_readMimeType(r, (const uint8_t*)"application/epub+zip", 20)); },
       "false"},
      {"readContainer",
       [&] { return text(EpubReader_readContainer(r, (const uint8_t*)"<x/>", 4)); }, "null"},
      {"getPublicationMetadata", [&] { return text(EpubReader_getPublicationMetadata(r)); },
       "null"},
      {"getNcxDocTitle", [&] { return text(EpubReader_getNcxDocTitle(r)); }, "null"},
      {"getNcxDocAuthor", [&] { return text(EpubReader_getNcxDocAuthor(r)); }, "null"},
      {"getSpine", [&] { return text(EpubReader_getSpine(r)); }, "null"},
      {"getNavMap", [&] { return text(EpubReader_getNavMap(r)); }, "null"},
      // Loading.
      {"loadAll", [&] { return text(EpubReader_loadAll(r, nullptr, nullptr)); }, "false"},
      {"loadContent", [&] { return text(EpubReader_loadContent(r, p, nullptr, nullptr)); },
       "false"},
      {"deleteContent", none([&] { EpubReader_deleteContent(r, p); }), "none"},
      // Page and position addressing.
      {"getContentPageCount", [&] { return text(EpubReader_getContentPageCount(r, p)); }, "0"},
      {"getTotalPageBeforeContent",
       [&] { return text(EpubReader_getTotalPageBeforeContent(r, p)); }, "0"},
      {"getFileName", [&] { return text(EpubReader_getFileName(r, 0)); }, "null"},
      {"getContentByPage", [&] { return text(EpubReader_getContentByPage(r, 0)); }, "null"},
      {"getMarkablePosition", [&] { return text(EpubReader_getMarkablePosition(r, 0)); }, "0"},
      {"getContentMarkablePosition",
       [&] { return text(EpubReader_getContentMarkablePosition(r, p, 0)); }, "0"},
      {"getPageMarkPosition", [&] { return text(EpubReader_getPageMarkPosition(r, 3)); }, "-1"},
      {"getContentPageMarkPosition",
       [&] { return text(EpubReader_getContentPageMarkPosition(r, p, 3)); }, "-1"},
      {"getContentPageAtPosUTF8", [&] { return text(EpubReader_getContentPageAtPosUTF8(r, p, 3)); },
       "-1"},
      {"getContentObjectIndexUTF8",
       [&] { return text(EpubReader_getContentObjectIndexUTF8(r, p, 0)); }, "0"},
      {"getContentObjectCountUTF8",
       [&] { return text(EpubReader_getContentObjectCountUTF8(r, p, 0)); }, "0"},
      // Drawing and object queries.
      {"draw", none([&] { EpubReader_draw(r, 0, 1, 2, 3, 4); }), "none"},
      {"drawContent", none([&] { EpubReader_drawContent(r, p, 0, 1, 2, 3, 4); }), "none"},
      {"getLink", [&] { return text(EpubReader_getLink(r, p, 1)); }, "-1"},
      {"getContentLink", [&] { return text(EpubReader_getContentLink(r, p, 1)); }, "-1"},
      {"getObjectType", [&] { return text(EpubReader_getObjectType(r, 0, 1)); }, "0"},
      {"getContentObjectType", [&] { return text(EpubReader_getContentObjectType(r, p, 0, 1)); },
       "0"},
      {"isAnchor", [&] { return text(EpubReader_isAnchor(r, 0, 1)); }, "false"},
      {"isContentAnchor", [&] { return text(EpubReader_isContentAnchor(r, p, 0, 1)); }, "false"},
      {"getHref", [&] { return text(EpubReader_getHref(r, 0, 1)); }, "null"},
      {"getContentHref", [&] { return text(EpubReader_getContentHref(r, p, 0, 1)); }, "null"},
      {"getImage", [&] { return text(EpubReader_getImage(r, 0, 1)); }, "0"},
      {"getContentImage", [&] { return text(EpubReader_getContentImage(r, p, 0, 1)); }, "0"},
      {"getMarkableString", [&] { return text(EpubReader_getMarkableString(r, 0)); }, "null"},
      {"getContentMarkableString",
       [&] { return text(EpubReader_getContentMarkableString(r, p, 0)); }, "null"},
      {"getObjectCount", [&] { return text(EpubReader_getObjectCount(r, 0)); }, "0"},
      {"getContentObjectCount", [&] { return text(EpubReader_getContentObjectCount(r, p, 0)); },
       "0"},
      {"getObjectInfo", [&] { return text(EpubReader_getObjectInfo(r, 0, 1, record, 2)); },
       "false"},
      {"getContentObjectInfo",
       [&] { return text(EpubReader_getContentObjectInfo(r, p, 0, 1, record, 2)); }, "false"},
      // Layout changes.
      {"changeFont", none([&] { EpubReader_changeFont(r, 1, 2, 3, 4); }), "none"},
      {"changeClientSize", none([&] { EpubReader_changeClientSize(r, 1); }), "none"},
      {"changeContentFont", none([&] { EpubReader_changeContentFont(r, p, 1, 2, 3, 4); }), "none"},
      {"changeContentClientSize", none([&] { EpubReader_changeContentClientSize(r, p, 1); }),
       "none"},
      {"changeContentFontAndClientSize",
       none([&] { EpubReader_changeContentFontAndClientSize(r, p, 1, 2, 3, 4, 5); }), "none"},
      // Scraps and the selection box.
      {"addScrap", none([&] { EpubReader_addScrap(r, 1, 2, 3, 4); }), "none"},
      {"modifyScrap", none([&] { EpubReader_modifyScrap(r, 1, 2, 3, 4); }), "none"},
      {"removeScrap", none([&] { EpubReader_removeScrap(r, 1, 2); }), "none"},
      {"getScrapText", [&] { return text(EpubReader_getScrapText(r, 1, 2)); }, "null"},
      {"clearScrap", none([&] { EpubReader_clearScrap(r); }), "none"},
      {"drawSelectionBox", none([&] { EpubReader_drawSelectionBox(r, 1, 2, 3, 4, 5, 6); }), "none"},
      {"addContentScrap", none([&] { EpubReader_addContentScrap(r, p, 1, 2, 3, 4); }), "none"},
      {"modifyContentScrap", none([&] { EpubReader_modifyContentScrap(r, p, 1, 2, 3, 4); }),
       "none"},
      {"removeContentScrap", none([&] { EpubReader_removeContentScrap(r, p, 1, 2); }), "none"},
      {"getContentScrapText", [&] { return text(EpubReader_getContentScrapText(r, p, 1, 2)); },
       "null"},
      {"clearContentScrap", none([&] { EpubReader_clearContentScrap(r, p); }), "none"},
      {"drawContentSelectionBox",
       none([&] { EpubReader_drawContentSelectionBox(r, p, 1, 2, 3, 4, 5, 6); }), "none"},
      // Search.
      {"search", [&] { return text(EpubReader_search(r, 1, 2, 3)); }, "-1"},
      {"searchContent", [&] { return text(EpubReader_searchContent(r, p, 1, 2, 3)); }, "-1"},
      {"setSearchDrawItem", none([&] { EpubReader_setSearchDrawItem(r, p, 1, 2); }), "none"},
      // Freeing: a null address, and the address of a null variable.
      {"free(null address)", none([&] { EpubReader_free(nullptr); }), "none"},
      {"free(null variable)", none([&] { EpubReader_free(&r); }), "none"},
  };
  EXPECT_EQ(rows.size(), 66u + 2u);

  // A live handle whose host and renderer would notice any call.
  epubtest::Host host;
  testrenderer::reset();
  EpubReaderHostOptions options = host.options();
  EpubReader* live = EpubReader_new(&options);
  testrenderer::clearCalls();
  for (const NullHandleRow& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.call(), row.expected);
    EXPECT_TRUE(testrenderer::calls().empty());
    EXPECT_TRUE(host.log.empty());
  }
  EpubReader_free(&live);
}

}  // namespace
