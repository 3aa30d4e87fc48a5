// The renderer's budgets against hostile documents: the markup rewritten
// within them through its own interface, documents past them through the
// exports.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "budgets.h"
#include "renderer_host.h"

namespace {

using namespace mupdf_test;
using mupdf_test::link;  // not POSIX link()

TEST(MupdfRenderer, BudgetsAgainstHostileDocuments) {
  using pendrel_mupdf::kMaxWordBytes;
  auto repeat = [](const std::string& s, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) out += s;
    return out;
  };
  const std::string word(kMaxWordBytes, 'w'),
      deep = repeat("<div>", 3000) + "x" + repeat("</div>", 3000);
  std::string bomb =
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"9\" height=\"9\"><defs><rect id=\"g0\" "
      "width=\"1\" height=\"1\"/>";
  for (int level = 1; level <= 7; ++level)
    bomb += "<g id=\"g" + std::to_string(level) + "\">" +
            repeat("<use xlink:href=\"#g" + std::to_string(level - 1) + "\"/>", 10) + "</g>";
  // Five levels, about 470,000 elements expanded: two drawn inline fit the budget, a third does
  // not.
  const std::string part =
      bomb.substr(0, bomb.find("<g id=\"g6\"")) + "</defs><use xlink:href=\"#g5\"/></svg>";
  bomb += "</defs><use xlink:href=\"#g7\"/></svg>";
  // The markup within budgets: unchanged (nullopt) within them; past them elements left out around
  // their content, words broken by a space (never inside a character, an entity, CJK text or a
  // script), <use> dropped.
  // clang-format off
  struct Bound { std::string in; std::optional<std::string> out; } bounds[] = {
      {"<p>" + word + "</p><p>&amp;" + word.substr(5) + "</p>", std::nullopt}, {repeat("<b>", 256) + "x" + repeat("</b>", 256), std::nullopt},
      {repeat("<b>", 258) + "x" + repeat("</b>", 258), repeat("<b>", 256) + "x" + repeat("</b>", 256)},
      {repeat("<p>a", 300), std::nullopt}, {repeat("<br>", 300) + repeat("<i/>", 300), std::nullopt},
      {"<p>" + word + "ww</p>", "<p>" + word + " ww</p>"}, {"<p>" + word + "&amp;w</p>", "<p>" + word + " &amp;w</p>"},
      {"<p>" + word + "\xC3\xA9</p>", "<p>" + word + " \xC3\xA9</p>"}, {"<p>" + repeat("\xE6\x96\x87", 2000) + "</p>", std::nullopt},
      {"<script>" + word + "w</script>", std::nullopt}, {"<p>" + word + "<b>w</b></p>", "<p>" + word + "<b> w</b></p>"},
      {bomb, bomb.substr(0, bomb.find("<use")) + "</g><g id=\"g2\"></g><g id=\"g3\"></g><g id=\"g4\"></g><g id=\"g5\"></g><g id=\"g6\"></g><g id=\"g7\"></g></defs></svg>"}};
  // clang-format on
  for (const Bound& b : bounds) {
    std::optional<pendrel_mupdf::Bounded> got = pendrel_mupdf::withinBudgets(b.in);
    EXPECT_EQ(got.has_value(), b.out.has_value()) << b.in.substr(0, 60);
    if (got && b.out) {
      EXPECT_EQ(got->markup, *b.out) << b.in.substr(0, 60);
    }
  }
  // Documents over a budget are laid out within it (or refused) and reported once: the document
  // itself, or the SVG file or style sheet refused.
  const std::u16string sheet = u"OEBPS/styles/fine.css";
  // clang-format off
  struct Case { const char* name; std::string text; bool loads; std::vector<Report> reports; } cases[] = {
      {"deep", page("", deep), true, {{kDoc, kDoc, 3}}}, {"long word", page("", "<p>" + repeat(word, 40) + "</p>"), true, {{kDoc, kDoc, 5}}},
      {"large", page("", std::string(pendrel_mupdf::kMaxDocumentBytes, ' ')), false, {{kDoc, kDoc, 4}}},
      {"svg file", page("", "<p>x</p><img src=\"../images/bomb.svg\"/>"), true, {{kDoc, u"OEBPS/images/bomb.svg", 6}}},
      {"inline svg", page("", "<p>x</p>" + bomb), true, {{kDoc, kDoc, 6}}},
      {"svg file in inline svg", page("", "<p>x</p><svg width=\"9\" height=\"9\"><image width=\"9\" height=\"9\" xlink:href=\"../images/bomb.svg\"/></svg>"), true, {{kDoc, u"OEBPS/images/bomb.svg", 6}}},
      {"svg files inlined", page("", "<p>x</p><svg width=\"9\" height=\"9\">" + repeat("<image width=\"9\" height=\"9\" xlink:href=\"../images/part.svg\"/>", 3) + "</svg>"), true, {{kDoc, u"OEBPS/images/part.svg", 2}}},
      {"sheets", page(repeat(link("../styles/fine.css"), 70), "<p>x</p>"), true, {{kDoc, sheet, 8}}},
      {"one image, many references", page("", repeat("<img src=\"../images/red.ppm\"/>", 2000)), true, {}}};
  // clang-format on
  for (const Case& c : cases) {
    Host host;
    host.files = {{u"OEBPS/images/bomb.svg", bomb},
                  {u"OEBPS/images/part.svg", part},
                  {sheet, "p { margin: 1em }"},
                  {u"OEBPS/images/red.ppm", ppm(40)}};
    Renderer r(host);
    EXPECT_EQ(r.load(c.text), c.loads) << c.name;
    if (c.loads) {
      EXPECT_GT(Page(r.r, kDoc, r.pages() - 1).count(kInk), 0u) << c.name;
    }
    ZaveVevode_calcPageSize(r.r, PENDREL_PAGE_SIZE(250, 300), 1);
    EXPECT_EQ(host.reports, c.reports) << c.name;
  }
}

}  // namespace
