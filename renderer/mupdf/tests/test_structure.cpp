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
