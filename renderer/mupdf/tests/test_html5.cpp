// HTML5's sectioning and grouping elements through the renderer's exports:
// their content laid out in document order, as browsers lay it out.
#include <EpubReader/pendrel_mupdf.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "pendrel.h"
#include "renderer_host.h"

namespace {

using namespace mupdf_test;

TEST(MupdfHtml5, FiguresKeepDocumentOrder) {
  const std::string figure =
      "<h1>Head</h1><figure><img src=\"red.ppm\"/><figcaption>Caption</figcaption></figure>"
      "<p>Next</p>";
  auto in = [&](const std::string& tag, const std::string& first = "") {
    return "<" + tag + ">" + first + figure + "</" + tag + ">";
  };
  const std::string bare = "<html xmlns=\"http://www.w3.org/1999/xhtml\"><body>";
  struct Case {
    const char* name;
    std::string text;
    bool indented;  // the figure's default side margins
  } cases[] = {
      {"plain", page("", figure), true},
      {"section", page("", in("section")), true},
      {"article", page("", in("article")), true},
      {"aside", page("", in("aside")), true},
      {"nav", page("", in("nav")), true},
      {"main", page("", in("main")), true},
      {"header", page("", in("header")), true},
      {"footer", page("", in("footer")), true},
      {"details/summary", page("", in("details", "<summary>Sum</summary>")), true},
      {"hgroup", page("", in("hgroup")), true},
      {"nested", page("", "<article>" + in("section") + "</article>"), true},
      {"no head", bare + in("section") + "</body></html>", true},
      {"html5 parser, capitals", bare + in("SECTION", "<br>") + "</body></html>", true},
      // The document's own rules still win over the defaults given.
      {"own sheet", page("<style>figure { margin: 0 }</style>", in("section")), false},
  };
  // Each row: the heading above the image, the image above its caption, the caption above the
  // next paragraph, all on the first page; the image indented by the figure's margin.
  for (const Case& c : cases) {
    Host host;
    host.files[u"OEBPS/text/red.ppm"] = ppm(40);
    Renderer r(host);
    ASSERT_TRUE(r.load(c.text)) << c.name;
    std::map<std::u16string, PendrelObjectInfo> at;  // by word; the image under ""
    for (uint32_t k = ZaveVevode_getObjectCount(r.r, kDoc, 0); k-- > 0;) {
      PendrelObjectInfo info{};
      ZaveVevode_getObjectInfo(r.r, kDoc, 0, k, &info, 0);
      const char16_t* word = ZaveVevode_getScrapText(r.r, kDoc, k, k);
      at[info.type == PENDREL_OBJECT_IMAGE || !word ? u"" : word] = info;
    }
    // Above: ending before the middle of the next (word boxes take the line's leading).
    auto above = [&](const char16_t* a, const char16_t* b) {
      return at[a].height > 0 && at[a].y + at[a].height <= at[b].y + at[b].height / 2;
    };
    EXPECT_EQ((std::vector<bool>{above(u"Head", u""), above(u"", u"Caption"),
                                 above(u"Caption", u"Next"), at[u""].x >= at[u"Head"].x + 20}),
              (std::vector<bool>{true, true, true, c.indented}))
        << c.name;
  }
}

}  // namespace
