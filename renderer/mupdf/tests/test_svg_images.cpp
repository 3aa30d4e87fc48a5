// Cover pages as converters write them, drawn through the renderer's exports on a 600 x 800 page.
#include <EpubReader/pendrel_mupdf.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "renderer_host.h"

namespace {

using namespace mupdf_test;

// Dark pixels (luminance below 128) of a 600 x 800 page, and their bounding box.
struct Dark {
  size_t count = 0;
  int x0 = 600, y0 = 800, x1 = 0, y1 = 0;
};
Dark drawDark(ZaveVevode* r) {
  std::vector<uint8_t> pixels(600 * 800 * 4);
  PendrelBitmap bitmap{pixels.data(), 600, 800, 600 * 4};
  ZaveVevode_draw(r, kDoc, 0, handle(&bitmap), 0, 0, 100);
  Dark d;
  for (int i = 0; i < 600 * 800; ++i) {
    const uint8_t* p = &pixels[size_t(i) * 4];
    if (299 * p[0] + 587 * p[1] + 114 * p[2] >= 128000) continue;
    ++d.count;
    d.x0 = std::min(d.x0, i % 600), d.y0 = std::min(d.y0, i / 600);
    d.x1 = std::max(d.x1, i % 600 + 1), d.y1 = std::max(d.y1, i / 600 + 1);
  }
  return d;
}

std::string svgCover(const std::string& image, const char* aspect = "xMidYMid meet", int h = 300) {
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"100%\" height=\"100%\" "
         "viewBox=\"0 0 400 " +
         std::to_string(h) +
         "\" preserveAspectRatio=\"xMidYMid meet\"><image width=\"400\" height=\"" +
         std::to_string(h) + "\" preserveAspectRatio=\"" + aspect + "\" xlink:href=\"../images/" +
         image + "\"/></svg>";
}

TEST(MupdfSvgImages, CoverIdiomsDraw) {
  // Each idiom draws its dark picture (over `least` dark pixels) in a box (of 600 x 800) with
  // centre (cx, cy) and size w x h, give or take 3 (w = 0: unchecked). Text starts at (36, 48), 504
  // wide; the square SVG file in a 400 x 100 <image> is placed as the image's preserveAspectRatio
  // says.
  // clang-format off
  struct Case { const char* name; std::string body; size_t least; std::vector<int> box; } cases[] = {
      {"inline svg + raster", svgCover("fig.ppm", "none"), 150000, {288, 374, 504, 379}},
      {"inline svg + svg (pandoc)", svgCover("fig.svg"), 150000, {288, 374, 504, 379}},
      {"img of svg", "<div><img src=\"../images/fig.svg\" alt=\"c\"/></div>", 80000, {235, 198, 399, 300}},
      {"img of raster", "<div><img src=\"../images/fig.ppm\" alt=\"c\"/></div>", 80000, {186, 198, 300, 300}},
      {"div background", "<div style=\"padding: 150px; background: url(../images/fig.ppm) no-repeat center; background-size: contain\"><p> </p></div>", 50000, {}},
      {"square, xMinYMid meet", svgCover("square.svg", "xMinYMid meet", 100), 15000, {99, 374, 126, 127}},
      {"square, xMidYMid", svgCover("square.svg", "xMidYMid", 100), 15000, {288, 374, 126, 127}},
      {"square, xMaxYMin meet", svgCover("square.svg", "xMaxYMin meet", 100), 15000, {477, 374, 126, 127}},
      {"square, none", svgCover("square.svg", "none", 100), 60000, {288, 374, 504, 127}},
      {"square, xMidYMid slice", svgCover("square.svg", "xMidYMid slice", 100), 250000, {288, 374, 504, 505}},
  };
  // clang-format on
  for (const Case& c : cases) {
    Host host;
    host.files = {{u"OEBPS/images/fig.ppm", ppm(400)},
                  {u"OEBPS/images/fig.svg",
                   "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 400 300\"><rect "
                   "width=\"400\" height=\"300\" fill=\"#202020\"/><circle cx=\"200\" cy=\"150\" "
                   "r=\"80\" fill=\"#fff\"/></svg>"},
                  {u"OEBPS/images/square.svg",
                   "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"50\" height=\"50\"><rect "
                   "width=\"50\" height=\"50\"/></svg>"}};
    ZaveVevodeSettings size{};
    size.setting1 = 600, size.setting2 = 800;
    Renderer r(host, size);
    ASSERT_TRUE(r.load(page("", c.body))) << c.name;
    const Dark d = drawDark(r.r);
    EXPECT_GT(d.count, c.least) << c.name;
    const std::vector<int> box{(d.x0 + d.x1) / 2, (d.y0 + d.y1) / 2, d.x1 - d.x0, d.y1 - d.y0};
    for (size_t k = 0; k < c.box.size(); ++k)
      EXPECT_NEAR(box[k], c.box[k], 3)
          << c.name << " box " << d.x0 << "," << d.y0 << " " << d.x1 << "," << d.y1;
    EXPECT_TRUE(host.reports.empty()) << c.name;
  }
}

}  // namespace
