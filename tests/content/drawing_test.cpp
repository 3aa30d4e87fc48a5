// Drawing and object queries: which document and page the renderer is asked
// about, the range checks of each form, and the answers the library turns
// publication-wide.
#include <array>
#include <utility>

#include "content_fixture.h"

namespace contenttest {
namespace {

class Drawing : public ContentTest {
 protected:
  // a: 3 pages and 40 objects; b: 2 pages. Each query's answer spells out
  // what the renderer was asked: a base per function, then 100 for b, ten
  // times the page and the passed-through value (getObjectType(b, 1, 7)
  // answers 1117); 0 means it was not asked.
  void SetUp() override {
    ContentTest::SetUp();
    open({"a.xhtml", "b.xhtml"});
    script("a.xhtml", 3, {0, 10, 20, 40});
    script("b.xhtml", 2, {0, 2, 5});
    const auto encoded = [](intptr_t base) {
      return [base](const Call& c) {
        return base + (c.path == u"o/b.xhtml" ? 100 : 0) + 10 * c.args[0] +
               (c.args.size() > 1 ? c.args[1] : 0);
      };
    };
    testrenderer::answer("getObjectType", encoded(1000));
    testrenderer::answer("getImage", encoded(2000));
    testrenderer::answer("getHref", encoded(3000));
    testrenderer::answer("getFirstStringPage", encoded(4000));
    testrenderer::answer("getObjectCount", encoded(1));
    testrenderer::answer("isAnchor", [](const Call& c) -> intptr_t {
      return c.path == u"o/a.xhtml" && c.args[0] == 0 && c.args[1] == 1;
    });
    // Writes 3 and 5 into the record's third and fourth fields; false when
    // the first passed-through value is 0.
    testrenderer::answer("getObjectInfo", [](const Call& c) -> intptr_t {
      reinterpret_cast<uint32_t*>(c.args[2])[2] = 3;
      reinterpret_cast<uint32_t*>(c.args[2])[3] = 5;
      return c.args[1] != 0;
    });
    names[num(record.data())] = "record";
  }
  std::array<uint32_t, 4> record{};
};

TEST_F(Drawing, QueriesInPlainAndContentForms) {
  loadAll();  // total 5
  const char16_t* b = u"b.xhtml";
  expect({
      // Plain forms: the page goes through the Page mapping; pages below 0
      // or not below the total are refused.
      {"getObjectType",
       all({num(EpubReader_getObjectType(reader, 4, 7)),
            num(EpubReader_getObjectType(reader, 5, 7)),
            num(EpubReader_getObjectType(reader, -1, 7))}),
       "1117 0 0"},
      {"getHref and getImage",
       all({num(EpubReader_getHref(reader, 2, 9)), num(EpubReader_getHref(reader, 5, 1)),
            num(EpubReader_getImage(reader, 3, 8)), num(EpubReader_getImage(reader, -1, 8))}),
       "3029 0 2108 0"},
      // isAnchor answers true only when asked about a's page 0 with 1.
      {"isAnchor",
       all({flag(EpubReader_isAnchor(reader, 0, 1)), flag(EpubReader_isAnchor(reader, 1, 1)),
            flag(EpubReader_isAnchor(reader, 5, 1))}),
       "true false false"},
      // Content forms: the item's path and the page as given; a page
      // outside the document or a path naming nothing is refused.
      {"Content forms",
       all({num(EpubReader_getContentObjectType(reader, b, 1, 7)),
            flag(EpubReader_isContentAnchor(reader, u"o/a.xhtml", 0, 1)),
            num(EpubReader_getContentHref(reader, b, 0, 9)),
            num(EpubReader_getContentImage(reader, u"a.xhtml", 2, 8))}),
       "1117 true 3109 2028"},
      {"Content forms refused",
       all({num(EpubReader_getContentHref(reader, b, 2, 9)),
            num(EpubReader_getContentObjectType(reader, b, -1, 7)),
            flag(EpubReader_isContentAnchor(reader, u"B.xhtml", 0, 1)),
            num(EpubReader_getContentImage(reader, nullptr, 0, 1)),
            num(EpubReader_getContentMarkableString(reader, b, 2)),
            num(EpubReader_getContentObjectCount(reader, u"x.xhtml", 0))}),
       "0 0 false 0 0 0"},
      // A page equal to the total passes the check, then maps nowhere.
      {"getMarkableString",
       all({num(EpubReader_getMarkableString(reader, 4)),
            num(EpubReader_getMarkableString(reader, 5)),
            num(EpubReader_getMarkableString(reader, 6)),
            num(EpubReader_getContentMarkableString(reader, b, 1))}),
       "4110 0 0 4110"},
      // Earlier documents add their count at their page count (a: 31); at
      // the total every document does (b: 121).
      {"getObjectCount",
       all({num(EpubReader_getObjectCount(reader, 4)), num(EpubReader_getObjectCount(reader, 5)),
            num(EpubReader_getObjectCount(reader, 6)),
            num(EpubReader_getContentObjectCount(reader, u"a.xhtml", 2))}),
       "142 152 0 21"},
  });
  const auto info = [&](bool ok) {
    std::string out = flag(ok);
    for (uint32_t& v : record) out += " " + num(std::exchange(v, 0));
    return out;
  };
  check({
      // draw: no range check, a negative page lands on the first document;
      // drawContent only resolves, so any path and page reach the renderer.
      {"draw and drawContent",
       (EpubReader_draw(reader, 4, 1, 2, 3, 4), EpubReader_draw(reader, -2, 5, 6, 7, 8),
        EpubReader_draw(reader, 5, 1, 1, 1, 1), EpubReader_drawContent(reader, u"x", 9, 1, 2, 3, 4),
        EpubReader_drawContent(reader, nullptr, -1, 0, 0, 0, 0), ""),
       "",
       {"draw(o/b.xhtml, 1, 1, 2, 3, 4)", "draw(o/a.xhtml, -2, 5, 6, 7, 8)",
        "draw(o/x, 9, 1, 2, 3, 4)", "draw(o, -1, 0, 0, 0, 0)"}},
      // Values only the renderer reads keep all 32 bits, both ways: the
      // answer is 1110 plus the value passed.
      {"full-width values",
       (EpubReader_draw(reader, 4, kAllOnes, kTopBit, kAllOnes, kTopBit),
        num(EpubReader_getObjectType(reader, 4, kAllOnes))),
       num(intptr_t(1110) + kAllOnes),
       {"draw(o/b.xhtml, 1, " + kAllOnesText + ", " + kTopBitText + ", " + kAllOnesText + ", " +
            kTopBitText + ")",
        "getObjectType(o/b.xhtml, 1, " + kAllOnesText + ")"}},
      // The objects of earlier documents shift the third and fourth fields,
      // only when the renderer answers true; the Content form never shifts.
      {"getObjectInfo",
       all({info(EpubReader_getObjectInfo(reader, 4, 11, record.data(), 22)),
            info(EpubReader_getObjectInfo(reader, 3, 0, record.data(), 22)),
            info(EpubReader_getObjectInfo(reader, 5, 11, record.data(), 22)),
            info(EpubReader_getContentObjectInfo(reader, b, 1, 11, record.data(), 22))}),
       "true 0 0 43 45 false 0 0 3 5 false 0 0 0 0 true 0 0 3 5",
       {"getObjectIndex(o/a.xhtml, 3)", "getObjectInfo(o/b.xhtml, 1, 11, record, 22)",
        "getObjectIndex(o/a.xhtml, 3)", "getObjectInfo(o/b.xhtml, 0, 0, record, 22)",
        "getObjectInfo(o/b.xhtml, 1, 11, record, 22)"}},
  });
}

// loadContent alone leaves the total at 0: the plain queries refuse every
// page, getMarkablePosition, getMarkableString and getObjectCount every page
// but 0; the Content forms and draw answer for a loaded document.
TEST_F(Drawing, PlainFormsWaitForTheTotal) {
  ASSERT_TRUE(EpubReader_loadContent(reader, u"a.xhtml", nullptr, nullptr));
  EpubReader_draw(reader, 2, 0, 0, 0, 0);
  EXPECT_EQ(log().back(), "draw(o/a.xhtml, 2, 0, 0, 0, 0)");
  expect({{"plain and Content forms",
           all({total(), flag(EpubReader_isAnchor(reader, 0, 1)),
                num(EpubReader_getObjectType(reader, 0, 1)),
                num(EpubReader_getMarkablePosition(reader, 1)),
                flag(EpubReader_isContentAnchor(reader, u"a.xhtml", 0, 1)),
                num(EpubReader_getMarkableString(reader, 0)),
                num(EpubReader_getObjectCount(reader, 0))}),
           "0 false 0 0 true 4000 1"}});
}

// Links: the renderer's page within the target plus, in the plain form, the
// pages of every earlier document; -1 for a path naming nothing. With no
// documents drawContent draws nothing.
using Links = ContentTest;

TEST_F(Links, PlainLinksAddEarlierPages) {
  const auto links = [&] {
    EpubReader_drawContent(reader, u"c.xhtml", 0, 0, 0, 0, 0);
    return all({num(EpubReader_getLink(reader, u"c.xhtml", 77)),
                num(EpubReader_getContentLink(reader, u"c.xhtml", 77)),
                num(EpubReader_getLink(reader, u"d.xhtml", 77)),
                num(EpubReader_getContentLink(reader, u"d.xhtml", 77))});
  };
  check({{"before opening", links(), "-1 -1 -1 -1"}});
  open({"a.xhtml", "b.xhtml", "c.xhtml"});
  script("a.xhtml", 4);
  script("b.xhtml", 6);
  script("c.xhtml", 1);
  loadAll();
  testrenderer::answer("getLink", [](const Call& c) { return c.args[0] - 75; });
  check({{"pages 4, 6, 1 and an answer of 2",
          links(),
          "12 2 -1 -1",
          {"draw(o/c.xhtml, 0, 0, 0, 0, 0)", "getLink(o/c.xhtml, 77)", "getLink(o/c.xhtml, 77)"}}});
}

}  // namespace
}  // namespace contenttest
