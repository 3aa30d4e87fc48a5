// Scraps and the selection box: the plain forms find the document holding
// the start position and shift both ends into it; the Content forms pass the
// resolved path through without looking at the table. Positions are shown as
// unsigned 32-bit values, so the rows hold whatever the width of intptr_t.
#include "content_fixture.h"

namespace contenttest {
namespace {

using Scraps = ContentTest;

const std::string kCountA = "getObjectIndex(o/a.xhtml, 2)";
const std::string kCountB = "getObjectIndex(o/b.xhtml, 1)";
const std::string kCountC = "getObjectIndex(o/c.xhtml, 0)";

TEST_F(Scraps, PlainFormsLocateTheStart) {
  // a: 10 objects, b: 7, c: none.
  open({"a.xhtml", "b.xhtml", "c.xhtml"});
  script("a.xhtml", 2, {0, 4, 10});
  script("b.xhtml", 1, {0, 7});
  script("c.xhtml", 0, {0});
  loadAll();
  testrenderer::answer("getScrapText", [](const Call& c) { return 5000 + c.args[0]; });
  check({
      {"a span in the second document",
       (EpubReader_addScrap(reader, 12, 15, 8, 9), ""),
       "",
       {kCountA, kCountB, "addScrap(o/b.xhtml, 2, 5, 8, 9)"}},
      // Only the start decides; the end may run past the document.
      {"a span starting in the first document",
       (EpubReader_addScrap(reader, 9, 12, 8, 9), ""),
       "",
       {kCountA, "addScrap(o/a.xhtml, 9, 12, 8, 9)"}},
      {"a start past every object",
       (EpubReader_addScrap(reader, 17, 18, 8, 9),
        num(EpubReader_getScrapText(reader, 4000000000u, 1))),
       "0",
       {kCountA, kCountB, kCountC, kCountA, kCountB, kCountC}},
      // Unsigned: an end before the start wraps around (to 2^32 - 7).
      {"modifyScrap with the end before the start",
       (EpubReader_modifyScrap(reader, 12, 3, -1, 0), ""),
       "",
       {kCountA, kCountB, "modifyScrap(o/b.xhtml, 2, 4294967289, -1, 0)"}},
      // The values only the renderer reads keep all 32 bits.
      {"full-width values",
       (EpubReader_addScrap(reader, 12, 15, kAllOnes, kTopBit),
        EpubReader_drawSelectionBox(reader, kTopBit, kAllOnes, 12, 15, kAllOnes, kTopBit), ""),
       "",
       {kCountA, kCountB, "addScrap(o/b.xhtml, 2, 5, " + kAllOnesText + ", " + kTopBitText + ")",
        kCountA, kCountB,
        "drawSelectionBox(o/b.xhtml, " + kTopBitText + ", " + kAllOnesText + ", 2, 5, " +
            kAllOnesText + ", " + kTopBitText + ")"}},
      {"removeScrap, getScrapText and drawSelectionBox",
       (EpubReader_removeScrap(reader, 0, 1),
        EpubReader_drawSelectionBox(reader, 1, 2, 12, 15, 3, 4),
        num(EpubReader_getScrapText(reader, 16, 20))),
       "5006",
       {kCountA, "removeScrap(o/a.xhtml, 0, 1)", kCountA, kCountB,
        "drawSelectionBox(o/b.xhtml, 1, 2, 2, 5, 3, 4)", kCountA, kCountB,
        "getScrapText(o/b.xhtml, 6, 10)"}},
      // Every document, loaded or not, in table order.
      {"clearScrap",
       (EpubReader_deleteContent(reader, u"b.xhtml"), EpubReader_clearScrap(reader), ""),
       "",
       {"deleteXhtml(o/b.xhtml)", "release(o/b.xhtml)", "clearScrap(o/a.xhtml)",
        "clearScrap(o/b.xhtml)", "clearScrap(o/c.xhtml)"}},
      // The Content forms: resolved path, arguments unchanged, no lookup.
      {"Content forms",
       (EpubReader_addContentScrap(reader, u"b.xhtml", 1, 2, 3, 4),
        EpubReader_modifyContentScrap(reader, u"o/a.xhtml", 20, 10, 5, 6),
        EpubReader_removeContentScrap(reader, u"x.xhtml", 5, 4294967295u),
        EpubReader_clearContentScrap(reader, u"B.xhtml"),
        EpubReader_drawContentSelectionBox(reader, u"../c.xhtml", 1, 2, 3, 4, 5, 6),
        num(EpubReader_getContentScrapText(reader, nullptr, 7, 8))),
       "5007",
       {"addScrap(o/b.xhtml, 1, 2, 3, 4)", "modifyScrap(o/a.xhtml, 20, 10, 5, 6)",
        "removeScrap(o/x.xhtml, 5, 4294967295)", "clearScrap(o/B.xhtml)",
        "drawSelectionBox(c.xhtml, 1, 2, 3, 4, 5, 6)", "getScrapText(o, 7, 8)"}},
  });
}

}  // namespace
}  // namespace contenttest
