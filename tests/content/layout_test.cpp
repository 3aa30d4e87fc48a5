// Font and client-size changes: the renderer is told first; publication-wide
// changes recount every document, per-document changes reload one.
#include "content_fixture.h"

namespace contenttest {
namespace {

class Layout : public ContentTest {
 protected:
  void SetUp() override {
    ContentTest::SetUp();
    open({"a.xhtml", "b.xhtml", "c.xhtml"});
    script("a.xhtml", 2);
  }
  // The page counts of a, b and c, then the total.
  std::string counts() {
    return all({pages(u"a.xhtml"), pages(u"b.xhtml"), pages(u"c.xhtml"), "total", total()});
  }
  std::string load(const char16_t* path) {
    return flag(EpubReader_loadContent(reader, path, nullptr, nullptr));
  }
};

// A document read again and laid out without progress callback or context.
#define RELOAD(path) "read(" path ")", "xhtml(" path ", bytes, 0, 0)", "getPageLength(" path ")"
#define RECOUNT "getPageLength(o/a.xhtml)", "getPageLength(o/b.xhtml)", "getPageLength(o/c.xhtml)"

// Every document is asked again, loaded or not; nothing is read and the
// loaded flags stay (1, 0, 0).
TEST_F(Layout, PublicationWideChangesRecountEveryDocument) {
  ASSERT_EQ(load(u"a.xhtml"), "true");
  log();
  check({
      {"changeFont",
       (script("a.xhtml", 3), script("b.xhtml", 4), script("c.xhtml", 5),
        EpubReader_changeFont(reader, 1, -2, 3, 255), counts()),
       "3 4 5 total 12",
       {"changeFont(1, -2, 3, 255, 1)", RECOUNT}},
      {"changeClientSize",
       (script("b.xhtml", 1), EpubReader_changeClientSize(reader, 640), counts()),
       "3 1 5 total 9",
       {"calcPageSize(640, 1)", RECOUNT}},
      {"the loaded flags",
       all({load(u"a.xhtml"), load(u"b.xhtml"), load(u"c.xhtml")}),
       "false true true",
       {RELOAD("o/b.xhtml"), RELOAD("o/c.xhtml")}},
  });
}

// Per-document changes take the document out of the renderer (without the
// release callback), read it again and leave the total alone; the renderer
// hears first (font before size), also of a path naming no item.
TEST_F(Layout, PerDocumentChangesReloadOneDocument) {
  script("b.xhtml", 3);
  script("c.xhtml", 4);
  host.unreadable = {u"o/c.xhtml"};
  loadAll();  // c is not loaded; total 5
  host.unreadable.clear();
  check({
      {"changeContentFont on a loaded document",
       (script("a.xhtml", 6), EpubReader_changeContentFont(reader, u"a.xhtml", 1, 2, 3, 4),
        counts()),
       "6 3 0 total 5",
       {"changeFont(1, 2, 3, 4, 0)", "deleteXhtml(o/a.xhtml)", RELOAD("o/a.xhtml")}},
      // A document never loaded is loaded, without any progress report.
      {"changeContentClientSize on a document never loaded",
       (EpubReader_changeContentClientSize(reader, u"c.xhtml", 800), counts()),
       "6 3 4 total 5",
       {"calcPageSize(800, 0)", RELOAD("o/c.xhtml")}},
      {"changeContentFontAndClientSize",
       (script("b.xhtml", 7),
        EpubReader_changeContentFontAndClientSize(reader, u"/o/b.xhtml", 1, 2, 3, 4, 900),
        counts()),
       "6 7 4 total 5",
       {"changeFont(1, 2, 3, 4, 0)", "calcPageSize(900, 0)", "deleteXhtml(o/b.xhtml)",
        RELOAD("o/b.xhtml")}},
      {"a path naming no item",
       (EpubReader_changeContentFont(reader, u"A.xhtml", 5, 6, 7, 8),
        EpubReader_changeContentClientSize(reader, nullptr, 10),
        EpubReader_changeContentFontAndClientSize(reader, u"x", 11, 12, 13, 14, 15), counts()),
       "6 7 4 total 5",
       {"changeFont(5, 6, 7, 8, 0)", "calcPageSize(10, 0)", "changeFont(11, 12, 13, 14, 0)",
        "calcPageSize(15, 0)"}},
      // A failed read leaves a loaded document out of the renderer with no
      // pages, and one not loaded exactly as it was; both load again.
      {"reload of a loaded document whose read fails",
       (host.unreadable = {u"o/a.xhtml"},
        EpubReader_changeContentFont(reader, u"a.xhtml", 1, 2, 3, 4), counts()),
       "0 7 4 total 5",
       {"changeFont(1, 2, 3, 4, 0)", "deleteXhtml(o/a.xhtml)", "read(o/a.xhtml)"}},
      {"reload of a deleted document whose read fails",
       (EpubReader_deleteContent(reader, u"b.xhtml"), host.unreadable = {u"o/b.xhtml"},
        EpubReader_changeContentClientSize(reader, u"b.xhtml", 1), counts()),
       "0 7 4 total 5",
       {"deleteXhtml(o/b.xhtml)", "release(o/b.xhtml)", "calcPageSize(1, 0)", "read(o/b.xhtml)"}},
      {"both load again",
       (host.unreadable.clear(), all({load(u"a.xhtml"), load(u"b.xhtml")})),
       "true true",
       {RELOAD("o/a.xhtml"), RELOAD("o/b.xhtml")}},
  });
}

}  // namespace
}  // namespace contenttest
