// Scraps and the selection box: the plain forms find the document holding
// the start position and shift both ends into it; the Content forms pass the
// resolved path through without looking at the table.
#include "content_fixture.h"

namespace contenttest {
namespace {

class Scraps : public ContentTest {
 protected:
  // a: 10 objects, b: 7, c: none.
  void openThree() {
    open({"a.xhtml", "b.xhtml", "c.xhtml"});
    script("a.xhtml", 2, {0, 4, 10});
    script("b.xhtml", 1, {0, 7});
    script("c.xhtml", 0, {0});
    loadAll();
    testrenderer::answer("getScrapText", [](const Call& c) { return 5000 + c.args[0]; });
  }
};

const std::string kCountA = "getObjectIndex(OEBPS/a.xhtml, 2)";
const std::string kCountB = "getObjectIndex(OEBPS/b.xhtml, 1)";
const std::string kCountC = "getObjectIndex(OEBPS/c.xhtml, 0)";

TEST_F(Scraps, PlainFormsLocateTheStart) {
  openThree();
  const auto none = [](auto call) {
    return [call] {
      call();
      return std::string("none");
    };
  };
  run({
      {"a span in the second document",
       none([&] { EpubReader_addScrap(reader, 12, 15, 8, 9); }),
       "none",
       {kCountA, kCountB, "addScrap(OEBPS/b.xhtml, 2, 5, 8, 9)"}},
      // Only the start decides; the end may run past the document.
      {"a span starting in the first document",
       none([&] { EpubReader_addScrap(reader, 9, 12, 8, 9); }),
       "none",
       {kCountA, "addScrap(OEBPS/a.xhtml, 9, 12, 8, 9)"}},
      {"a start past every object",
       none([&] { EpubReader_addScrap(reader, 17, 18, 8, 9); }),
       "none",
       {kCountA, kCountB, kCountC}},
      // Unsigned: an end before the start wraps around to 2^32 - 7, which
      // the log shows as -7 where intptr_t has 32 bits.
      {"modifyScrap with the end before the start",
       none([&] { EpubReader_modifyScrap(reader, 12, 3, -1, 0); }),
       "none",
       {kCountA, kCountB,
        std::string("modifyScrap(OEBPS/b.xhtml, 2, ") +
            (sizeof(intptr_t) == 4 ? "-7" : "4294967289") + ", -1, 0)"}},
      // The values only the renderer reads keep all 32 bits.
      {"full-width values",
       none([&] {
         EpubReader_addScrap(reader, 12, 15, kAllOnes, kTopBit);
         EpubReader_drawSelectionBox(reader, kTopBit, kAllOnes, 12, 15, kAllOnes, kTopBit);
       }),
       "none",
       {kCountA, kCountB,
        "addScrap(OEBPS/b.xhtml, 2, 5, " + kAllOnesText + ", " + kTopBitText + ")", kCountA,
        kCountB,
        "drawSelectionBox(OEBPS/b.xhtml, " + kTopBitText + ", " + kAllOnesText + ", 2, 5, " +
            kAllOnesText + ", " + kTopBitText + ")"}},
      {"removeScrap",
       none([&] { EpubReader_removeScrap(reader, 0, 1); }),
       "none",
       {kCountA, "removeScrap(OEBPS/a.xhtml, 0, 1)"}},
      {"getScrapText",
       [&] { return num(EpubReader_getScrapText(reader, 16, 20)); },
       "5006",
       {kCountA, kCountB, "getScrapText(OEBPS/b.xhtml, 6, 10)"}},
      {"getScrapText past every object",
       [&] { return num(EpubReader_getScrapText(reader, 4000000000u, 1)); },
       "0",
       {kCountA, kCountB, kCountC}},
      {"drawSelectionBox",
       none([&] { EpubReader_drawSelectionBox(reader, 1, 2, 12, 15, 3, 4); }),
       "none",
       {kCountA, kCountB, "drawSelectionBox(OEBPS/b.xhtml, 1, 2, 2, 5, 3, 4)"}},
      // Every document, loaded or not, in table order.
      {"clearScrap",
       none([&] {
         EpubReader_deleteContent(reader, u"b.xhtml");
         EpubReader_clearScrap(reader);
       }),
       "none",
       {"deleteXhtml(OEBPS/b.xhtml)", "clearScrap(OEBPS/a.xhtml)", "clearScrap(OEBPS/b.xhtml)",
        "clearScrap(OEBPS/c.xhtml)"},
       {"release(OEBPS/b.xhtml)"}},
      // The Content forms: resolved path, arguments unchanged, no lookup.
      {"Content forms",
       [&] {
         EpubReader_addContentScrap(reader, u"b.xhtml", 1, 2, 3, 4);
         EpubReader_modifyContentScrap(reader, u"OEBPS/a.xhtml", 20, 10, 5, 6);
         EpubReader_removeContentScrap(reader, u"x.xhtml", 5, 6);
         const char16_t* scrap = EpubReader_getContentScrapText(reader, nullptr, 7, 8);
         EpubReader_clearContentScrap(reader, u"B.xhtml");
         EpubReader_drawContentSelectionBox(reader, u"../c.xhtml", 1, 2, 3, 4, 5, 6);
         return num(scrap);
       },
       "5007",
       {"addScrap(OEBPS/b.xhtml, 1, 2, 3, 4)", "modifyScrap(OEBPS/a.xhtml, 20, 10, 5, 6)",
        "removeScrap(OEBPS/x.xhtml, 5, 6)", "getScrapText(OEBPS, 7, 8)",
        "clearScrap(OEBPS/B.xhtml)", "drawSelectionBox(c.xhtml, 1, 2, 3, 4, 5, 6)"}},
  });
}

// Without documents the plain forms do nothing; the Content forms still
// reach the renderer, with the path resolved against an empty folder.
TEST_F(Scraps, NoDocuments) {
  testrenderer::answer("getScrapText", [](const Call& c) { return 5000 + c.args[0]; });
  run({{"before opening",
        [&] {
          EpubReader_addScrap(reader, 0, 1, 2, 3);
          EpubReader_modifyScrap(reader, 0, 1, 2, 3);
          EpubReader_removeScrap(reader, 0, 1);
          EpubReader_clearScrap(reader);
          EpubReader_drawSelectionBox(reader, 0, 0, 0, 1, 0, 0);
          const char16_t* plain = EpubReader_getScrapText(reader, 0, 1);
          EpubReader_removeContentScrap(reader, u"a.xhtml", 0, 1);
          const char16_t* content = EpubReader_getContentScrapText(reader, u"a.xhtml", 2, 3);
          return num(plain) + " " + num(content);
        },
        "0 5002",
        {"removeScrap(a.xhtml, 0, 1)", "getScrapText(a.xhtml, 2, 3)"}}});
}

}  // namespace
}  // namespace contenttest
