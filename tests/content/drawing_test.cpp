// Drawing and object queries: which document and page the renderer is asked
// about, the range checks of each form, and the answers that the library
// turns publication-wide.
#include <array>

#include "content_fixture.h"

namespace contenttest {
namespace {

class Drawing : public ContentTest {
 protected:
  // a: 3 pages and 40 objects; b: 2 pages. Answers encode the page asked.
  void openTwo() {
    open({"a.xhtml", "b.xhtml"});
    script("a.xhtml", 3, {0, 10, 20, 40});
    script("b.xhtml", 2, {0, 2, 5});
    testrenderer::answer("getObjectType", [](const Call& c) { return 1000 + c.args[0]; });
    testrenderer::answer("getImage", [](const Call& c) { return 2000 + c.args[0]; });
    testrenderer::answer("getHref", [](const Call& c) { return 3000 + c.args[0]; });
    testrenderer::answer("getFirstStringPage", [](const Call& c) { return 4000 + c.args[0]; });
    testrenderer::answer("getObjectCount", [](const Call& c) { return 10 + c.args[0]; });
    testrenderer::answer("isAnchor", [](const Call& c) -> intptr_t { return c.args[0] == 1; });
    // Writes 3 and 5 into the record's third and fourth fields; answers
    // false when the first passed-through value is 0.
    testrenderer::answer("getObjectInfo", [](const Call& c) -> intptr_t {
      auto* record = reinterpret_cast<uint32_t*>(c.args[2]);
      record[2] = 3;
      record[3] = 5;
      return c.args[1] != 0;
    });
  }
  std::string info(const std::array<uint32_t, 5>& r) {
    std::string out;
    for (uint32_t v : r) out += " " + std::to_string(v);
    return out;
  }
};

TEST_F(Drawing, QueriesInPlainAndContentForms) {
  openTwo();
  loadAll();  // total 5
  std::array<uint32_t, 5> record{};
  const std::string recordArg = num(record.data());
  auto objectInfo = [&](int32_t page, intptr_t a) {
    record = {91, 92, 0, 0, 95};
    const bool ok = EpubReader_getObjectInfo(reader, page, a, record.data(), 22);
    return flag(ok) + info(record);
  };
  auto contentObjectInfo = [&](const char16_t* path, int32_t page) {
    record = {91, 92, 0, 0, 95};
    const bool ok = EpubReader_getContentObjectInfo(reader, path, page, 11, record.data(), 22);
    return flag(ok) + info(record);
  };
  run({
      // Plain forms: the page goes through the Page mapping.
      {"getObjectType on the second document",
       [&] { return num(EpubReader_getObjectType(reader, 4, 7)); },
       "1001",
       {"getObjectType(OEBPS/b.xhtml, 1, 7)"}},
      {"isAnchor, getHref, getImage",
       [&] {
         const bool anchor = EpubReader_isAnchor(reader, 1, -5);
         const char16_t* href = EpubReader_getHref(reader, 2, 9);
         const intptr_t image = EpubReader_getImage(reader, 3, 8);
         return flag(anchor) + " " + num(href) + " " + num(image);
       },
       "true 3002 2000",
       {"isAnchor(OEBPS/a.xhtml, 1, -5)", "getHref(OEBPS/a.xhtml, 2, 9)",
        "getImage(OEBPS/b.xhtml, 0, 8)"}},
      // Pages below 0 or not below the total are refused unasked.
      {"plain forms out of range",
       [&] {
         return num(EpubReader_getObjectType(reader, 5, 7)) + " " +
                num(EpubReader_getObjectType(reader, -1, 7)) + " " +
                flag(EpubReader_isAnchor(reader, 5, 1)) + " " +
                num(EpubReader_getHref(reader, -1, 1)) + " " +
                num(EpubReader_getImage(reader, 5, 1));
       },
       "0 0 false 0 0",
       {}},
      // Content forms: the item's path and the page as given.
      {"Content forms in range",
       [&] {
         const intptr_t type = EpubReader_getContentObjectType(reader, u"b.xhtml", 1, 7);
         const bool anchor = EpubReader_isContentAnchor(reader, u"OEBPS/a.xhtml", 1, 2);
         const char16_t* href = EpubReader_getContentHref(reader, u"b.xhtml", 0, 9);
         const intptr_t image = EpubReader_getContentImage(reader, u"a.xhtml", 2, 8);
         return num(type) + " " + flag(anchor) + " " + num(href) + " " + num(image);
       },
       "1001 true 3000 2002",
       {"getObjectType(OEBPS/b.xhtml, 1, 7)", "isAnchor(OEBPS/a.xhtml, 1, 2)",
        "getHref(OEBPS/b.xhtml, 0, 9)", "getImage(OEBPS/a.xhtml, 2, 8)"}},
      {"Content forms refuse a bad page or path unasked",
       [&] {
         return num(EpubReader_getContentHref(reader, u"b.xhtml", 2, 9)) + " " +
                num(EpubReader_getContentObjectType(reader, u"b.xhtml", -1, 7)) + " " +
                flag(EpubReader_isContentAnchor(reader, u"B.xhtml", 0, 1)) + " " +
                num(EpubReader_getContentImage(reader, nullptr, 0, 1)) + " " +
                num(EpubReader_getContentMarkableString(reader, u"a.xhtml", 3)) + " " +
                num(EpubReader_getContentObjectCount(reader, u"x.xhtml", 0));
       },
       "0 0 false 0 0 0",
       {}},
      // draw: no range check; a negative page lands on the first document.
      {"draw",
       [&] {
         EpubReader_draw(reader, 4, 1, 2, 3, 4);
         EpubReader_draw(reader, -2, 5, 6, 7, 8);
         EpubReader_draw(reader, 5, 1, 1, 1, 1);
         return std::string("none");
       },
       "none",
       {"draw(OEBPS/b.xhtml, 1, 1, 2, 3, 4)", "draw(OEBPS/a.xhtml, -2, 5, 6, 7, 8)"}},
      // drawContent only resolves: any path and page reach the renderer.
      {"drawContent",
       [&] {
         EpubReader_drawContent(reader, u"x.xhtml", 9, 1, 2, 3, 4);
         EpubReader_drawContent(reader, nullptr, -1, 0, 0, 0, 0);
         return std::string("none");
       },
       "none",
       {"draw(OEBPS/x.xhtml, 9, 1, 2, 3, 4)", "draw(OEBPS, -1, 0, 0, 0, 0)"}},
      // A page equal to the total passes the check and then maps nowhere.
      {"getMarkableString",
       [&] {
         const char16_t* first = EpubReader_getMarkableString(reader, 4);
         const char16_t* atTotal = EpubReader_getMarkableString(reader, 5);
         const char16_t* past = EpubReader_getMarkableString(reader, 6);
         const char16_t* content = EpubReader_getContentMarkableString(reader, u"b.xhtml", 1);
         return num(first) + " " + num(atTotal) + " " + num(past) + " " + num(content);
       },
       "4001 0 0 4001",
       {"getFirstStringPage(OEBPS/b.xhtml, 1)", "getFirstStringPage(OEBPS/b.xhtml, 1)"}},
      // Earlier documents add their count at their page count.
      {"getObjectCount on the second document",
       [&] { return num(EpubReader_getObjectCount(reader, 4)); },
       "24",
       {"getObjectCount(OEBPS/a.xhtml, 3)", "getObjectCount(OEBPS/b.xhtml, 1)"}},
      {"getObjectCount at the total: the sum",
       [&] { return num(EpubReader_getObjectCount(reader, 5)); },
       "25",
       {"getObjectCount(OEBPS/a.xhtml, 3)", "getObjectCount(OEBPS/b.xhtml, 2)"}},
      {"getObjectCount out of range and Content form",
       [&] {
         return num(EpubReader_getObjectCount(reader, 6)) + " " +
                num(EpubReader_getObjectCount(reader, -1)) + " " +
                num(EpubReader_getContentObjectCount(reader, u"a.xhtml", 2));
       },
       "0 0 12",
       {"getObjectCount(OEBPS/a.xhtml, 2)"}},
      // The objects of earlier documents shift the third and fourth fields.
      {"getObjectInfo on the second document",
       [&] { return objectInfo(4, 11); },
       "true 91 92 43 45 95",
       {"getObjectIndex(OEBPS/a.xhtml, 3)",
        "getObjectInfo(OEBPS/b.xhtml, 1, 11, " + recordArg + ", 22)"}},
      {"getObjectInfo when the renderer says false",
       [&] { return objectInfo(3, 0); },
       "false 91 92 3 5 95",
       {"getObjectIndex(OEBPS/a.xhtml, 3)",
        "getObjectInfo(OEBPS/b.xhtml, 0, 0, " + recordArg + ", 22)"}},
      {"getObjectInfo on the first document",
       [&] { return objectInfo(2, 11); },
       "true 91 92 3 5 95",
       {"getObjectInfo(OEBPS/a.xhtml, 2, 11, " + recordArg + ", 22)"}},
      {"getObjectInfo at the total", [&] { return objectInfo(5, 11); }, "false 91 92 0 0 95", {}},
      {"getContentObjectInfo is not shifted",
       [&] {
         const std::string inRange = contentObjectInfo(u"b.xhtml", 1);
         return inRange + " / " + contentObjectInfo(u"b.xhtml", 2);
       },
       "true 91 92 3 5 95 / false 91 92 0 0 95",
       {"getObjectInfo(OEBPS/b.xhtml, 1, 11, " + recordArg + ", 22)"}},
      // Values only the renderer reads keep all 32 bits, both ways.
      {"full-width values",
       [&] {
         EpubReader_draw(reader, 4, kAllOnes, kTopBit, kAllOnes, kTopBit);
         testrenderer::answer("getImage", [](const Call&) { return kTopBit; });
         return num(EpubReader_getObjectType(reader, 4, kAllOnes)) + " " +
                num(EpubReader_getImage(reader, 4, kTopBit));
       },
       "1001 " + kTopBitText,
       {"draw(OEBPS/b.xhtml, 1, " + kAllOnesText + ", " + kTopBitText + ", " + kAllOnesText + ", " +
            kTopBitText + ")",
        "getObjectType(OEBPS/b.xhtml, 1, " + kAllOnesText + ")",
        "getImage(OEBPS/b.xhtml, 1, " + kTopBitText + ")"}},
  });
}

// Before loadAll the total is 0: the plain queries refuse every page but
// getMarkableString and getObjectCount, which still answer for page 0; the
// Content forms answer for a loaded document.
TEST_F(Drawing, PlainFormsWaitForTheTotal) {
  openTwo();
  ASSERT_TRUE(EpubReader_loadContent(reader, u"a.xhtml", nullptr, nullptr));
  rendererCalls();
  host.takeLog();
  run({
      {"plain forms",
       [&] {
         return flag(EpubReader_isAnchor(reader, 0, 1)) + flag(EpubReader_isAnchor(reader, 1, 1)) +
                " " + num(EpubReader_getObjectType(reader, 0, 1));
       },
       "falsefalse 0",
       {}},
      {"Content form",
       [&] { return flag(EpubReader_isContentAnchor(reader, u"a.xhtml", 1, 1)); },
       "true",
       {"isAnchor(OEBPS/a.xhtml, 1, 1)"}},
      {"page 0 of getMarkableString and getObjectCount",
       [&] {
         const char16_t* first = EpubReader_getMarkableString(reader, 0);
         const uint32_t count = EpubReader_getObjectCount(reader, 0);
         return num(first) + " " + num(count);
       },
       "4000 10",
       {"getFirstStringPage(OEBPS/a.xhtml, 0)", "getObjectCount(OEBPS/a.xhtml, 0)"}},
      {"draw needs no total",
       [&] {
         EpubReader_draw(reader, 2, 0, 0, 0, 0);
         return std::string("none");
       },
       "none",
       {"draw(OEBPS/a.xhtml, 2, 0, 0, 0, 0)"}},
  });
}

// Links: the renderer's page within the target plus, in the plain form, the
// pages of every earlier document.
TEST_F(Drawing, LinksAddEarlierPages) {
  const auto links = [&] {
    const int32_t plain = EpubReader_getLink(reader, u"c.xhtml", 77);
    const int32_t content = EpubReader_getContentLink(reader, u"c.xhtml", 77);
    const int32_t unknown = EpubReader_getLink(reader, u"d.xhtml", 77);
    const int32_t unknownContent = EpubReader_getContentLink(reader, u"d.xhtml", 77);
    EpubReader_drawContent(reader, u"c.xhtml", 0, 0, 0, 0, 0);
    return num(plain) + " " + num(content) + " " + num(unknown) + " " + num(unknownContent);
  };
  run({{"before opening", links, "-1 -1 -1 -1", {}}});

  open({"a.xhtml", "b.xhtml", "c.xhtml"});
  script("a.xhtml", 4, {0});
  script("b.xhtml", 6, {0});
  script("c.xhtml", 1, {0});
  loadAll();
  testrenderer::answer("getLink", [](const Call&) -> intptr_t { return 2; });
  run({{"pages 4, 6, 1 and an answer of 2",
        links,
        "12 2 -1 -1",
        {"getLink(OEBPS/c.xhtml, 77)", "getLink(OEBPS/c.xhtml, 77)",
         "draw(OEBPS/c.xhtml, 0, 0, 0, 0, 0)"}}});
}

}  // namespace
}  // namespace contenttest
