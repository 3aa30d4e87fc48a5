// Font and client-size changes: the renderer is told first; publication-wide
// changes recount every document, per-document changes reload one.
#include "content_fixture.h"

namespace contenttest {
namespace {

class Layout : public ContentTest {
 protected:
  std::string counts(std::initializer_list<const char16_t*> paths) {
    std::string out;
    for (const char16_t* path : paths)
      out += num(EpubReader_getContentPageCount(reader, path)) + " ";
    return out + "total " + num(EpubReader_getPageCount(reader));
  }
  std::string reloadOf(const std::string& href) {
    return xhtml(href, nullptr, nullptr);  // no progress callback, no context
  }
};

// Every document is asked again, loaded or not; nothing is read and the
// loaded flags stay as they were.
TEST_F(Layout, PublicationWideChangesRecountEveryDocument) {
  open({"a.xhtml", "b.xhtml", "c.xhtml"});
  script("a.xhtml", 2, {0});
  ASSERT_TRUE(EpubReader_loadContent(reader, u"a.xhtml", nullptr, nullptr));
  rendererCalls();
  host.takeLog();
  const auto abc = {u"a.xhtml", u"b.xhtml", u"c.xhtml"};
  run({
      {"changeFont",
       [&] {
         script("a.xhtml", 3, {0});
         script("b.xhtml", 4, {0});
         script("c.xhtml", 5, {0});
         EpubReader_changeFont(reader, 1, -2, 3, 255);
         return counts(abc);
       },
       "3 4 5 total 12",
       {"changeFont(1, -2, 3, 255, 1)", "getPageLength(OEBPS/a.xhtml)",
        "getPageLength(OEBPS/b.xhtml)", "getPageLength(OEBPS/c.xhtml)"}},
      {"changeClientSize",
       [&] {
         script("b.xhtml", 1, {0});
         EpubReader_changeClientSize(reader, 640);
         return counts(abc);
       },
       "3 1 5 total 9",
       {"calcPageSize(640, 1)", "getPageLength(OEBPS/a.xhtml)", "getPageLength(OEBPS/b.xhtml)",
        "getPageLength(OEBPS/c.xhtml)"}},
      {"the loaded flags stayed (1, 0, 0)",
       [&] {
         const bool a = EpubReader_loadContent(reader, u"a.xhtml", nullptr, nullptr);
         const bool b = EpubReader_loadContent(reader, u"b.xhtml", nullptr, nullptr);
         const bool c = EpubReader_loadContent(reader, u"c.xhtml", nullptr, nullptr);
         return flag(a) + " " + flag(b) + " " + flag(c);
       },
       "false true true",
       {xhtml("b.xhtml"), "getPageLength(OEBPS/b.xhtml)", xhtml("c.xhtml"),
        "getPageLength(OEBPS/c.xhtml)"},
       {"read(OEBPS/b.xhtml)", "read(OEBPS/c.xhtml)"}},
  });
}

// With no publication, or a path naming no item, only the notification
// happens; the publication-wide forms still set the total (to 0).
TEST_F(Layout, NotificationComesFirstAndAlways) {
  const auto everyChange = [&](const char16_t* path) {
    return [this, path] {
      EpubReader_changeClientSize(reader, 9);
      EpubReader_changeFont(reader, 1, 2, 3, 4);
      EpubReader_changeContentFont(reader, path, 5, 6, 7, 8);
      EpubReader_changeContentClientSize(reader, path, 10);
      EpubReader_changeContentFontAndClientSize(reader, path, 11, 12, 13, 14, 15);
      return counts({});
    };
  };
  const std::vector<std::string> notifications = {
      "calcPageSize(9, 1)",  "changeFont(1, 2, 3, 4, 1)",     "changeFont(5, 6, 7, 8, 0)",
      "calcPageSize(10, 0)", "changeFont(11, 12, 13, 14, 0)", "calcPageSize(15, 0)"};
  run({{"before a publication is open", everyChange(u"a.xhtml"), "total 0", notifications}});

  open({"a.xhtml"});
  script("a.xhtml", 2, {0});
  loadAll();
  std::vector<std::string> withRecount = notifications;
  withRecount.insert(withRecount.begin() + 1, "getPageLength(OEBPS/a.xhtml)");
  withRecount.insert(withRecount.begin() + 3, "getPageLength(OEBPS/a.xhtml)");
  run({{"a path naming no item", everyChange(u"A.xhtml"), "total 2", withRecount},
       {"a null path", everyChange(nullptr), "total 2", withRecount}});
}

// Per-document changes take the document out of the renderer (without the
// release callback), read it again and leave the total alone.
TEST_F(Layout, PerDocumentChangesReloadOneDocument) {
  open({"a.xhtml", "b.xhtml", "c.xhtml"});
  script("a.xhtml", 2, {0});
  script("b.xhtml", 3, {0});
  script("c.xhtml", 4, {0});
  host.unreadable = {u"OEBPS/c.xhtml"};
  loadAll();  // c is not loaded; total 5
  host.unreadable.clear();
  const auto abc = {u"a.xhtml", u"b.xhtml", u"c.xhtml"};
  run({
      {"changeContentFont on a loaded document",
       [&] {
         script("a.xhtml", 6, {0});
         EpubReader_changeContentFont(reader, u"a.xhtml", 1, 2, 3, 4);
         return counts(abc);
       },
       "6 3 0 total 5",
       {"changeFont(1, 2, 3, 4, 0)", "deleteXhtml(OEBPS/a.xhtml)", reloadOf("a.xhtml"),
        "getPageLength(OEBPS/a.xhtml)"},
       {"read(OEBPS/a.xhtml)"}},
      // A document never loaded is loaded, without any progress report.
      {"changeContentClientSize on a document never loaded",
       [&] {
         EpubReader_changeContentClientSize(reader, u"c.xhtml", 800);
         return counts(abc);
       },
       "6 3 4 total 5",
       {"calcPageSize(800, 0)", reloadOf("c.xhtml"), "getPageLength(OEBPS/c.xhtml)"},
       {"read(OEBPS/c.xhtml)"}},
      {"changeContentFontAndClientSize: font, then size, then the reload",
       [&] {
         script("b.xhtml", 7, {0});
         EpubReader_changeContentFontAndClientSize(reader, u"/OEBPS/b.xhtml", 1, 2, 3, 4, 900);
         return counts(abc);
       },
       "6 7 4 total 5",
       {"changeFont(1, 2, 3, 4, 0)", "calcPageSize(900, 0)", "deleteXhtml(OEBPS/b.xhtml)",
        reloadOf("b.xhtml"), "getPageLength(OEBPS/b.xhtml)"},
       {"read(OEBPS/b.xhtml)"}},
      // A failed read leaves a loaded document out of the renderer with no
      // pages...
      {"reload of a loaded document whose read fails",
       [&] {
         host.unreadable = {u"OEBPS/a.xhtml"};
         EpubReader_changeContentFont(reader, u"a.xhtml", 1, 2, 3, 4);
         return counts(abc);
       },
       "0 7 4 total 5",
       {"changeFont(1, 2, 3, 4, 0)", "deleteXhtml(OEBPS/a.xhtml)"},
       {"read(OEBPS/a.xhtml)"}},
      // ...and a document not loaded exactly as it was.
      {"reload of a deleted document whose read fails",
       [&] {
         EpubReader_deleteContent(reader, u"b.xhtml");
         host.unreadable = {u"OEBPS/b.xhtml"};
         EpubReader_changeContentClientSize(reader, u"b.xhtml", 1);
         return counts(abc);
       },
       "0 7 4 total 5",
       {"deleteXhtml(OEBPS/b.xhtml)", "calcPageSize(1, 0)"},
       {"release(OEBPS/b.xhtml)", "read(OEBPS/b.xhtml)"}},
      {"both are loadable again",
       [&] {
         host.unreadable.clear();
         const bool a = EpubReader_loadContent(reader, u"a.xhtml", nullptr, nullptr);
         const bool b = EpubReader_loadContent(reader, u"b.xhtml", nullptr, nullptr);
         return flag(a) + " " + flag(b);
       },
       "true true",
       {xhtml("a.xhtml"), "getPageLength(OEBPS/a.xhtml)", xhtml("b.xhtml"),
        "getPageLength(OEBPS/b.xhtml)"},
       {"read(OEBPS/a.xhtml)", "read(OEBPS/b.xhtml)"}},
  });
}

}  // namespace
}  // namespace contenttest
