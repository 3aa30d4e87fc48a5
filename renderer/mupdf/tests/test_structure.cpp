#include <gtest/gtest.h>

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
