// Publication pages and markable positions: the Page mapping, the object
// counts summed over earlier documents, and the searches that turn a
// position back into a page.
#include "content_fixture.h"

namespace contenttest {
namespace {

class Addressing : public ContentTest {
 protected:
  std::string before(const char16_t* path) {
    return num(EpubReader_getTotalPageBeforeContent(reader, path));
  }
  std::string file(int32_t page) { return text(EpubReader_getFileName(reader, page)); }
  std::string mark(int32_t page) { return num(EpubReader_getMarkablePosition(reader, page)); }
  std::string pageOf(uint32_t q) { return num(EpubReader_getPageMarkPosition(reader, q)); }
  std::string contentMark(const char16_t* path, int32_t page) {
    return num(EpubReader_getContentMarkablePosition(reader, path, page));
  }
  std::string contentPageOf(const char16_t* path, uint32_t q) {
    return num(EpubReader_getContentPageMarkPosition(reader, path, q));
  }
};

TEST_F(Addressing, PagesAndPositionsAcrossThreeDocuments) {
  // a: 3 pages, 12 objects; b: no pages; c: 2 pages, its first page
  // starting at object 1, 7 objects.
  open({"a.xhtml", "b.xhtml", "Text/c.xhtml"});
  script("a.xhtml", 3, {0, 4, 9, 12});
  script("b.xhtml", 0, {0});
  script("Text/c.xhtml", 2, {1, 3, 7});
  loadAll();
  testrenderer::answer("getObjectIndexUTF8", [](const Call& c) { return 10 * c.args[0]; });
  testrenderer::answer("getObjectCountUTF8", [](const Call& c) { return 100 + c.args[0]; });
  const char16_t* c = u"Text/c.xhtml";
  expect({
      // Stored counts, found by paths resolved against the OPF folder and
      // compared exactly.
      {"page counts",
       all({total(), pages(u"a.xhtml"), pages(u"b.xhtml"), pages(c), pages(u"o/Text/c.xhtml"),
            pages(u"./Text/../Text/c.xhtml"), pages(u"text/c.xhtml"), pages(u""), pages(nullptr)}),
       "5 3 0 2 2 2 0 0 0"},
      // Pages before a document; a path naming none gives every page.
      {"getTotalPageBeforeContent",
       all({before(u"a.xhtml"), before(u"b.xhtml"), before(c), before(u"c.xhtml")}), "0 3 3 5"},
      // The manifest href as stored, not the full path; pages 3 and 4 pass
      // over b, which has none; a negative page lands on the first document.
      {"getFileName", all({file(-1), file(0), file(2), file(3), file(4), file(5)}),
       "a.xhtml a.xhtml a.xhtml Text/c.xhtml Text/c.xhtml null"},
      {"getContentByPage gives the same string",
       all({flag(EpubReader_getContentByPage(reader, -1) == EpubReader_getFileName(reader, -1)),
            flag(EpubReader_getContentByPage(reader, 4) == EpubReader_getFileName(reader, 4))}),
       "true true"},
      // Earlier documents add their object count (the index one past their
      // last page), then the page's first index; a page equal to the total
      // passes the check and gives every object.
      {"getMarkablePosition", all({mark(-1), mark(0), mark(1), mark(3), mark(4), mark(5), mark(6)}),
       "0 0 4 13 15 19 0"},
      // A page outside the document or a path naming nothing gives 0.
      {"getContentMarkablePosition",
       all({contentMark(c, 1), contentMark(c, 2), contentMark(c, -1), contentMark(u"c.xhtml", 0)}),
       "3 0 0 0"},
      // Backwards from the last page for the first index not above q; at a
      // document's end, the next one's first page; past the end, every page.
      {"getPageMarkPosition",
       all({pageOf(0), pageOf(10), pageOf(12), pageOf(13), pageOf(19), pageOf(4000000000u)}),
       "0 2 3 3 5 5"},
      // Forwards from page 0, stopping at the first index above q: -1 before
      // the first page's index, the last page past it, -1 without pages.
      {"getContentPageMarkPosition",
       all({contentPageOf(c, 0), contentPageOf(c, 2), contentPageOf(c, 3000),
            contentPageOf(u"b.xhtml", 0), contentPageOf(u"c.xhtml", 0), contentPageOf(nullptr, 0)}),
       "-1 0 1 -1 -1 -1"},
      {"getContentPageAtPosUTF8",
       all({num(EpubReader_getContentPageAtPosUTF8(reader, c, 15)),
            num(EpubReader_getContentPageAtPosUTF8(reader, c, 5)),
            num(EpubReader_getContentPageAtPosUTF8(reader, u"x.xhtml", 5))}),
       "1 0 -1"},
      // The range checks of getContentMarkablePosition.
      {"getContentObjectIndexUTF8 and getContentObjectCountUTF8",
       all({num(EpubReader_getContentObjectIndexUTF8(reader, c, 1)),
            num(EpubReader_getContentObjectCountUTF8(reader, u"a.xhtml", 2)),
            num(EpubReader_getContentObjectIndexUTF8(reader, c, 2)),
            num(EpubReader_getContentObjectCountUTF8(reader, u"a.xhtml", -1)),
            num(EpubReader_getContentObjectCountUTF8(reader, u"A.xhtml", 0))}),
       "10 102 0 0 0"},
  });
  // A deleted document keeps its pages in the publication. A document none
  // of whose pages starts at or before a position is passed over without
  // its pages being counted (a now starts at object 2).
  EpubReader_deleteContent(reader, u"a.xhtml");
  expect({{"after deleting a", all({file(3), pages(u"a.xhtml")}), "Text/c.xhtml 3"}});
  script("a.xhtml", 1, {2, 5});
  EpubReader_changeClientSize(reader, 1);
  expect({{"a document without a qualifying page", pageOf(1), "0"}});
}

// With the OPF at the container root, an empty manifest href gives an item
// whose full path is empty: getFileName refuses its pages while
// getContentByPage gives the (empty) href, and a null path names it.
TEST_F(Addressing, DocumentWithAnEmptyPath) {
  open({"", "a.xhtml"}, "content.opf");
  script("", 1, {0, 2});
  script("a.xhtml", 1, {0, 3});
  loadAll();
  expect({{"the document of each page",
           all({file(0), "[" + text(EpubReader_getContentByPage(reader, 0)) + "]", file(1)}),
           "null [] a.xhtml"},
          {"null and empty paths", all({pages(nullptr), before(u"a.xhtml"), contentMark(u"", 0)}),
           "1 1 0"}});
}

}  // namespace
}  // namespace contenttest
