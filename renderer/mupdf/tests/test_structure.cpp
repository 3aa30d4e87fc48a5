#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "renderer_host.h"

using namespace mupdf_test;

TEST(MupdfStructure, RootDirectionReachesTheText) {
  // The root's dir sets where a paragraph's first word starts, unless the body
  // states its own; MuPDF takes only "rtl" and "auto" (by the text) from it.
  struct Case {
    const char *htmlAttributes, *bodyAttributes;
    bool right;
  } cases[] = {
      {"dir=\"rtl\"", "", true},
      {"dir=\"rtl\" lang=\"he\"", "", true},
      {"dir=\"rtl\"", "dir=\"ltr\"", false},
      {"dir=\"ltr\"", "", false},
      {"dir=\"auto\"", "", false},
      {"dir=\"RTL\"", "", false},
      {"", "dir=\"rtl\"", true},
  };
  for (const Case& c : cases) {
    std::string text = page("", "<h2>Heading</h2><p>short line</p>");
    text.replace(text.find("<html ") + 6, 0, std::string(c.htmlAttributes) + " ");
    text.replace(text.find("<body") + 5, 0, std::string(" ") + c.bodyAttributes);
    Host host;
    Renderer r(host);
    ASSERT_TRUE(r.load(text)) << c.htmlAttributes;
    for (uint32_t k : {0u, 1u}) {
      PendrelObjectInfo info{};
      ASSERT_TRUE(ZaveVevode_getObjectInfo(r.r, kDoc, 0, k, &info, 0)) << c.htmlAttributes;
      EXPECT_EQ(info.x > 150, c.right) << "<html " << c.htmlAttributes << "><body "
                                       << c.bodyAttributes << ">: word " << k << " at x " << info.x;
    }
  }
}

TEST(MupdfStructure, TableCaptionAboveItsRows) {
  // The caption's word ("Cap") is the first line and starts above the first cell's, wherever the
  // table's markup puts it, also in a nested table.
  const char* cases[] = {
      "<table><caption>Cap</caption><tr><td>Cell</td></tr></table>",
      "<table><tr><td>Cell</td></tr><caption>Cap</caption></table>",
      "<div><table><caption>Cap</caption><tbody><tr><td>Cell</td></tr></tbody></table></div>",
  };
  for (const char* body : cases) {
    Host host;
    Renderer r(host);
    ASSERT_TRUE(r.load(page("", body))) << body;
    PendrelObjectInfo cap{}, cell{};
    ASSERT_TRUE(ZaveVevode_getObjectInfo(r.r, kDoc, 0, 0, &cap, 0)) << body;
    ASSERT_TRUE(ZaveVevode_getObjectInfo(r.r, kDoc, 0, 1, &cell, 0)) << body;
    const char16_t* line = ZaveVevode_getFirstStringPage(r.r, kDoc, 0);
    EXPECT_EQ(std::u16string(line ? line : u""), u"Cap") << body;
    EXPECT_LT(cap.y, cell.y) << body;
  }
}

TEST(MupdfTables, ColumnsAsBrowsersLayThemOut) {
  // Each row: a table, and where two of its words start (x of `a`, x of `b`); MuPDF alone gives
  // every column an equal share of the 300-point page, ignores spans and sets borders outside.
  const std::string grid = "<tr><td>One</td><td>Two</td><td>Three</td></tr>";
  std::string lorem;
  for (int i = 0; i < 40; ++i) lorem += "word ";
  struct Case {
    const char* name;
    std::string body;
    const char16_t *a, *b;
    float low, high;  // b.x - a.x, or a.x when b is null
  } cases[] = {
      // Shrunk to its content and centred by auto margins.
      {"centred", "<table style=\"margin:auto\"><tr><td>A</td><td>B</td></tr></table>", u"A",
       nullptr, 120, 150},
      {"narrow columns", "<table><tr><td>A</td><td>B</td></tr></table>", u"A", u"B", 5, 30},
      // A column as wide as its widest cell.
      {"by content",
       "<table><tr><td>Short</td><td>y</td></tr><tr><td>x</td><td>z</td></tr></table>", u"x", u"z",
       25, 60},
      // The spanning cell takes two columns: the cell after it is under the third.
      {"colspan", "<table>" + grid + "<tr><td colspan=\"2\">Wide</td><td>End</td></tr></table>",
       u"Three", u"End", -1, 1},
      {"rowspan",
       "<table><tr><td rowspan=\"2\">Tall</td><td>R1</td></tr><tr><td>R2</td></tr></table>", u"R1",
       u"R2", -1, 1},
      // A set width is shared by the widest content: two equal columns.
      {"set width", "<table style=\"width:100%\"><tr><td>a</td><td>b</td></tr></table>", u"a", u"b",
       100, 125},
      // Padding inside the column: the next column starts past it.
      {"padding", "<table><tr><td style=\"padding:0 30px\">P</td><td>Q</td></tr></table>", u"P",
       u"Q", 35, 60},
      // Presentational attributes, as browsers read them.
      {"cellpadding", "<table cellpadding=\"20\"><tr><td>P</td><td>Q</td></tr></table>", u"P", u"Q",
       45, 70},
      {"col width",
       "<table width=\"100%\"><col width=\"25%\"/><tr><td>a</td><td>b</td></tr></table>", u"a",
       u"b", 50, 65},
      {"col style",
       "<table><colgroup><col style=\"width: "
       "80pt\"/></colgroup><tr><td>a</td><td>b</td></tr></table>",
       u"a", u"b", 80, 90},
      // Too wide for the page: the table takes the page, the long cell wraps.
      {"wraps",
       "<table><tr><td>" + lorem + "</td><td>" + "lots of words " + lorem + "</td></tr></table>",
       u"lots", nullptr, 0, 260},
  };
  for (const Case& c : cases) {
    Host host;
    Renderer r(host);
    ASSERT_TRUE(r.load(page("", c.body))) << c.name;
    std::map<std::u16string, PendrelObjectInfo> at;
    for (uint32_t k = ZaveVevode_getObjectCount(r.r, kDoc, 0); k-- > 0;) {
      PendrelObjectInfo info{};
      ZaveVevode_getObjectInfo(r.r, kDoc, 0, k, &info, 0);
      const char16_t* word = ZaveVevode_getScrapText(r.r, kDoc, k, k);
      if (word) at[word] = info;
    }
    ASSERT_TRUE(at.count(c.a) && (!c.b || at.count(c.b))) << c.name;
    const float x = c.b ? at[c.b].x - at[c.a].x : at[c.a].x;
    EXPECT_TRUE(x >= c.low && x <= c.high) << c.name << ": " << x;
    for (const auto& [word, info] : at) EXPECT_LE(info.x + info.width, 300) << c.name;
  }
}

TEST(MupdfTables, CollapsedBordersReachTheRowBottom) {
  // A short cell beside one of three lines: its right border (the tall cell's left one, shared)
  // is drawn down to the row's bottom, one point (two antialiased pixels at most) wide.
  Host host;
  Renderer r(host);
  ASSERT_TRUE(
      r.load(page("<style>table{border-collapse:collapse}td{border:1px solid black}"
                  "</style>",
                  "<table><tr><td>Short</td><td>one<br/>two<br/>three</td></tr></table>")));
  Page drawn(r.r, kDoc);
  PendrelObjectInfo shortWord{}, three{};
  ASSERT_TRUE(ZaveVevode_getObjectInfo(r.r, kDoc, 0, 0, &shortWord, 0));
  ASSERT_TRUE(ZaveVevode_getObjectInfo(r.r, kDoc, 0, 3, &three, 0));
  // The shared border: a dark column between the two cells at the height of "three".
  const int y = static_cast<int>(three.y + three.height / 2);
  int dark = 0;
  for (int x = static_cast<int>(shortWord.x + shortWord.width); x < static_cast<int>(three.x); ++x)
    dark += kInk(drawn.pixels[(y * 300 + x) * 4], drawn.pixels[(y * 300 + x) * 4 + 1],
                 drawn.pixels[(y * 300 + x) * 4 + 2]);
  EXPECT_TRUE(dark >= 1 && dark <= 2) << dark;
}

TEST(MupdfTables, LaidOutAgainAtANewFontSize) {
  // Column widths come from the words at the current font size: twice the size, about twice
  // the column (remembered widths would keep it).
  Host host;
  Renderer r(host);
  ASSERT_TRUE(r.load(page("", "<table><tr><td>Widest</td><td>b</td></tr></table>")));
  auto column = [&] {
    PendrelObjectInfo a{}, b{};
    ZaveVevode_getObjectInfo(r.r, kDoc, 0, 0, &a, 0);
    ZaveVevode_getObjectInfo(r.r, kDoc, 0, 1, &b, 0);
    return b.x - a.x;
  };
  const float before = column();
  ZaveVevode_changeFont(r.r, 24, 0, 0, 0, 1);
  const float after = column();
  EXPECT_GT(after, before * 1.6f) << before << " then " << after;
}

TEST(MupdfTables, ListMarksBesideTablesDrawn) {
  // Each list item's mark is drawn left of its word, in a document whose table is measured
  // before it is laid out as in one without a table.
  for (const char* after : {"<p>a</p>", "<table><tr><td>a</td></tr></table>"}) {
    Host host;
    Renderer r(host);
    ASSERT_TRUE(
        r.load(page("", std::string("<p>Text</p><ul><li>One</li><li>Two</li></ul>") + after)));
    Page drawn(r.r, kDoc);
    int marks = 0;
    for (uint32_t k = ZaveVevode_getObjectCount(r.r, kDoc, 0); k-- > 0;) {
      PendrelObjectInfo word{};
      ZaveVevode_getObjectInfo(r.r, kDoc, 0, k, &word, 0);
      const char16_t* text = ZaveVevode_getScrapText(r.r, kDoc, k, k);
      if (!text || (std::u16string(text) != u"One" && std::u16string(text) != u"Two")) continue;
      int ink = 0;
      for (int y = word.y; y < word.y + word.height; ++y)
        for (int x = 0; x < word.x - 1; ++x)
          ink += kInk(drawn.pixels[(y * 300 + x) * 4], drawn.pixels[(y * 300 + x) * 4 + 1],
                      drawn.pixels[(y * 300 + x) * 4 + 2]);
      marks += ink > 0;
    }
    EXPECT_EQ(marks, 2) << after;
  }
}
