// Publication pages and markable positions: the Page mapping, the object
// counts summed over earlier documents, and the searches that turn a
// position back into a page.
#include "content_fixture.h"

namespace contenttest {
namespace {

class Addressing : public ContentTest {
 protected:
  // a: 3 pages, 12 objects; b: no pages; c (Text/c.xhtml): 2 pages, first
  // object of page 0 is 1, 7 objects.
  void openThree() {
    open({"a.xhtml", "b.xhtml", "Text/c.xhtml"});
    script("a.xhtml", 3, {0, 4, 9, 12});
    script("b.xhtml", 0, {0});
    script("Text/c.xhtml", 2, {1, 3, 7});
    loadAll();
  }
  std::string each(std::initializer_list<std::string> parts) {
    std::string out;
    for (const std::string& part : parts) out += (out.empty() ? "" : " ") + part;
    return out;
  }
};

const std::string kA = "OEBPS/a.xhtml";
const std::string kB = "OEBPS/b.xhtml";
const std::string kC = "OEBPS/Text/c.xhtml";
std::string index(const std::string& path, int page) {
  return "getObjectIndex(" + path + ", " + std::to_string(page) + ")";
}

TEST_F(Addressing, PagesAndPositionsAcrossThreeDocuments) {
  openThree();
  testrenderer::answer("getObjectIndexUTF8",
                       [](const Call& c) -> intptr_t { return 10 * c.args[0]; });
  testrenderer::answer("getObjectCountUTF8",
                       [](const Call& c) -> intptr_t { return 100 + c.args[0]; });
  auto fileName = [&](int32_t page) { return narrow(EpubReader_getFileName(reader, page)); };
  auto mark = [&](int32_t page) { return num(EpubReader_getMarkablePosition(reader, page)); };
  auto pageOf = [&](uint32_t q) { return num(EpubReader_getPageMarkPosition(reader, q)); };
  auto contentPageOf = [&](const char16_t* path, uint32_t q) {
    return num(EpubReader_getContentPageMarkPosition(reader, path, q));
  };
  run({
      // Stored counts; lookup resolves against the OPF folder, exactly.
      {"getPageCount and getContentPageCount",
       [&] {
         std::string out = num(EpubReader_getPageCount(reader));
         for (const char16_t* path :
              {u"a.xhtml", u"b.xhtml", u"Text/c.xhtml", u"OEBPS/Text/c.xhtml",
               u"/OEBPS/Text/c.xhtml", u"./Text/../Text/c.xhtml", u"text/c.xhtml", u"x.xhtml", u"",
               (const char16_t*)nullptr}) {
           out += " " + num(EpubReader_getContentPageCount(reader, path));
         }
         return out;
       },
       "5 3 0 2 2 2 2 0 0 0 0",
       {}},
      // Pages before a document; a path naming none gives every page.
      {"getTotalPageBeforeContent",
       [&] {
         return each({num(EpubReader_getTotalPageBeforeContent(reader, u"a.xhtml")),
                      num(EpubReader_getTotalPageBeforeContent(reader, u"b.xhtml")),
                      num(EpubReader_getTotalPageBeforeContent(reader, u"Text/c.xhtml")),
                      num(EpubReader_getTotalPageBeforeContent(reader, u"c.xhtml"))});
       },
       "0 3 3 5",
       {}},
      // The manifest href as stored, not the full path; pages 3 and 4 pass
      // over b, which has none; a negative page lands on the first document.
      {"getFileName",
       [&] {
         return each(
             {fileName(-1), fileName(0), fileName(2), fileName(3), fileName(4), fileName(5)});
       },
       "a.xhtml a.xhtml a.xhtml Text/c.xhtml Text/c.xhtml null",
       {}},
      {"getContentByPage gives the same string",
       [&] {
         std::string out;
         for (int32_t page : {-1, 0, 3, 4, 5}) {
           out += EpubReader_getContentByPage(reader, page) == EpubReader_getFileName(reader, page)
                      ? "="
                      : "!";
         }
         return out;
       },
       "=====",
       {}},
      // Earlier documents add their object count (the index one past their
      // last page); the page's own first index comes last.
      {"getMarkablePosition 0", [&] { return mark(0); }, "0", {index(kA, 0)}},
      {"getMarkablePosition 1", [&] { return mark(1); }, "4", {index(kA, 1)}},
      {"getMarkablePosition 3",
       [&] { return mark(3); },
       "13",
       {index(kA, 3), index(kB, 0), index(kC, 0)}},
      {"getMarkablePosition 4",
       [&] { return mark(4); },
       "15",
       {index(kA, 3), index(kB, 0), index(kC, 1)}},
      // A page equal to the total passes the check: all objects.
      {"getMarkablePosition at the total",
       [&] { return mark(5); },
       "19",
       {index(kA, 3), index(kB, 0), index(kC, 2)}},
      {"getMarkablePosition out of range", [&] { return mark(6) + mark(-1); }, "00", {}},
      {"getContentMarkablePosition in range",
       [&] { return num(EpubReader_getContentMarkablePosition(reader, u"Text/c.xhtml", 1)); },
       "3",
       {index(kC, 1)}},
      {"getContentMarkablePosition rejects without asking",
       [&] {
         return each({num(EpubReader_getContentMarkablePosition(reader, u"Text/c.xhtml", 2)),
                      num(EpubReader_getContentMarkablePosition(reader, u"Text/c.xhtml", -1)),
                      num(EpubReader_getContentMarkablePosition(reader, u"b.xhtml", 0)),
                      num(EpubReader_getContentMarkablePosition(reader, u"c.xhtml", 0)),
                      num(EpubReader_getContentMarkablePosition(reader, nullptr, 0))});
       },
       "0 0 0 0 0",
       {}},
      // Backwards from the last page for the first index not above q.
      {"getPageMarkPosition 0",
       [&] { return pageOf(0); },
       "0",
       {index(kA, 3), index(kA, 2), index(kA, 1), index(kA, 0)}},
      {"getPageMarkPosition 10", [&] { return pageOf(10); }, "2", {index(kA, 3), index(kA, 2)}},
      // Exactly the end of a document: the first page of the next one.
      {"getPageMarkPosition 12", [&] { return pageOf(12); }, "3", {index(kA, 3)}},
      {"getPageMarkPosition 13",
       [&] { return pageOf(13); },
       "3",
       {index(kA, 3), index(kB, 0), index(kC, 2), index(kC, 1), index(kC, 0)}},
      {"getPageMarkPosition at the end",
       [&] { return pageOf(19); },
       "5",
       {index(kA, 3), index(kB, 0), index(kC, 2)}},
      {"getPageMarkPosition past the end",
       [&] { return pageOf(4000000000u); },
       "5",
       {index(kA, 3), index(kB, 0), index(kC, 2)}},
      // Forwards from page 0, stopping at the first index above q.
      {"getContentPageMarkPosition below the first index",
       [&] { return contentPageOf(u"Text/c.xhtml", 0); },
       "-1",
       {index(kC, 0)}},
      {"getContentPageMarkPosition inside",
       [&] { return contentPageOf(u"Text/c.xhtml", 2); },
       "0",
       {index(kC, 0), index(kC, 1)}},
      {"getContentPageMarkPosition on the last page",
       [&] { return contentPageOf(u"Text/c.xhtml", 3000); },
       "1",
       {index(kC, 0), index(kC, 1)}},
      {"getContentPageMarkPosition without pages or item",
       [&] {
         return each({contentPageOf(u"b.xhtml", 0), contentPageOf(u"c.xhtml", 0),
                      contentPageOf(nullptr, 0)});
       },
       "-1 -1 -1",
       {}},
      {"getContentPageAtPosUTF8",
       [&] {
         return each({num(EpubReader_getContentPageAtPosUTF8(reader, u"Text/c.xhtml", 15)),
                      num(EpubReader_getContentPageAtPosUTF8(reader, u"Text/c.xhtml", 5)),
                      num(EpubReader_getContentPageAtPosUTF8(reader, u"x.xhtml", 5))});
       },
       "1 0 -1",
       {"getObjectIndexUTF8(OEBPS/Text/c.xhtml, 0)", "getObjectIndexUTF8(OEBPS/Text/c.xhtml, 1)",
        "getObjectIndexUTF8(OEBPS/Text/c.xhtml, 0)", "getObjectIndexUTF8(OEBPS/Text/c.xhtml, 1)"}},
      // Same checks as getContentMarkablePosition.
      {"getContentObjectIndexUTF8 and getContentObjectCountUTF8",
       [&] {
         return each({num(EpubReader_getContentObjectIndexUTF8(reader, u"Text/c.xhtml", 1)),
                      num(EpubReader_getContentObjectCountUTF8(reader, u"a.xhtml", 2)),
                      num(EpubReader_getContentObjectIndexUTF8(reader, u"Text/c.xhtml", 2)),
                      num(EpubReader_getContentObjectCountUTF8(reader, u"a.xhtml", -1)),
                      num(EpubReader_getContentObjectCountUTF8(reader, u"A.xhtml", 0))});
       },
       "10 102 0 0 0",
       {"getObjectIndexUTF8(OEBPS/Text/c.xhtml, 1)", "getObjectCountUTF8(OEBPS/a.xhtml, 2)"}},
      // A deleted document keeps its pages in the publication.
      {"after deleting a",
       [&] {
         EpubReader_deleteContent(reader, u"a.xhtml");
         return each({fileName(3), num(EpubReader_getContentPageCount(reader, u"a.xhtml"))});
       },
       "Text/c.xhtml 3",
       {"deleteXhtml(OEBPS/a.xhtml)"},
       {"release(OEBPS/a.xhtml)"}},
  });
}

// Object counts 10 and 7, page counts 2 and 1; and a document in which no
// page starts at or before the position is passed over unchanged.
TEST_F(Addressing, PageOfAPositionAtDocumentBoundaries) {
  open({"a.xhtml", "b.xhtml", "x.xhtml", "y.xhtml"});
  script("a.xhtml", 2, {0, 6, 10});
  script("b.xhtml", 1, {0, 7});
  loadAll();  // x and y: no pages yet
  run({
      {"the first page of the second document",
       [&] { return num(EpubReader_getPageMarkPosition(reader, 10)); },
       "2",
       {index(kA, 2)}},
      {"past the end: every page",
       [&] { return num(EpubReader_getPageMarkPosition(reader, 17)); },
       "3",
       {index(kA, 2), index(kB, 1)}},
  });

  script("a.xhtml", 1, {2, 5});  // no page starts at or before 1
  script("b.xhtml", 1, {0, 4});
  EpubReader_changeClientSize(reader, 1);
  rendererCalls();
  run({{"a document without a qualifying page is skipped",
        [&] { return num(EpubReader_getPageMarkPosition(reader, 1)); },
        "0",
        {index(kA, 1), index(kA, 0), index(kB, 1), index(kB, 0)}}});
}

// With the OPF at the container root, a manifest href that is empty gives an
// item whose full path is empty: getFileName refuses its pages, while
// getContentByPage gives the (empty) href; a null host path names it.
TEST_F(Addressing, DocumentWithAnEmptyPath) {
  open({{"d0", ""}, {"d1", "a.xhtml"}}, {"d0", "d1"}, "content.opf");
  script("", 1, {0, 2});
  script("a.xhtml", 1, {0, 3});
  loadAll();
  run({
      {"the document of each page",
       [&] {
         return narrow(EpubReader_getFileName(reader, 0)) + " [" +
                narrow(EpubReader_getContentByPage(reader, 0)) + "] " +
                narrow(EpubReader_getFileName(reader, 1)) + " " +
                narrow(EpubReader_getContentByPage(reader, 1));
       },
       "null [] a.xhtml a.xhtml",
       {}},
      {"null and empty paths name the first document",
       [&] {
         return num(EpubReader_getContentPageCount(reader, nullptr)) + " " +
                num(EpubReader_getTotalPageBeforeContent(reader, u"a.xhtml")) + " " +
                num(EpubReader_getContentMarkablePosition(reader, u"", 0));
       },
       "1 1 0",
       {"getObjectIndex(, 0)"}},
  });
}

// loadContent alone leaves the total at 0: only page 0 passes the check.
TEST_F(Addressing, StaleTotalAfterLoadContentAlone) {
  open({"a.xhtml", "b.xhtml"});
  script("a.xhtml", 3, {7, 8, 9, 10});
  ASSERT_TRUE(EpubReader_loadContent(reader, u"a.xhtml", nullptr, nullptr));
  rendererCalls();
  host.takeLog();
  run({
      {"counts",
       [&] {
         return num(EpubReader_getPageCount(reader)) + " " +
                num(EpubReader_getContentPageCount(reader, u"a.xhtml"));
       },
       "0 3",
       {}},
      {"page 1", [&] { return num(EpubReader_getMarkablePosition(reader, 1)); }, "0", {}},
      {"page 0",
       [&] { return num(EpubReader_getMarkablePosition(reader, 0)); },
       "7",
       {index(kA, 0)}},
  });
}

// Before a publication is open and with an empty Content table, every
// query gives its empty value without asking the renderer.
TEST_F(Addressing, NoDocuments) {
  const auto everyQuery = [&] {
    std::string out;
    out += num(EpubReader_getPageMarkPosition(reader, 0)) + " ";
    out += num(EpubReader_getContentPageMarkPosition(reader, u"a.xhtml", 0)) + " ";
    out += num(EpubReader_getContentPageAtPosUTF8(reader, u"a.xhtml", 0)) + " ";
    out += num(EpubReader_getTotalPageBeforeContent(reader, u"a.xhtml")) + " ";
    out += num(EpubReader_getContentPageCount(reader, u"a.xhtml")) + " ";
    out += num(EpubReader_getMarkablePosition(reader, 0)) + " ";
    out += num(EpubReader_getContentMarkablePosition(reader, u"a.xhtml", 0)) + " ";
    out += num(EpubReader_getContentObjectIndexUTF8(reader, u"a.xhtml", 0)) + " ";
    out += num(EpubReader_getContentObjectCountUTF8(reader, u"a.xhtml", 0)) + " ";
    out += narrow(EpubReader_getFileName(reader, 0)) + " ";
    out += narrow(EpubReader_getContentByPage(reader, -1));
    return out;
  };
  run({{"before opening", everyQuery, "0 0 0 0 0 0 0 0 0 null null", {}}});
  open({{"d0", "a.xhtml"}}, {"nothing"});
  run({{"empty table", everyQuery, "0 0 0 0 0 0 0 0 0 null null", {}}});
}

}  // namespace
}  // namespace contenttest
