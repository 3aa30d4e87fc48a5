// Cover pages as converters write them, drawn through the renderer's exports on a 600 x 800 page.
#include <EpubReader/pendrel_mupdf.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "renderer_host.h"

namespace {

using namespace mupdf_test;

// The dark pixels (luminance below 128) of the first page drawn at 600 x 800: their count, then
// their bounding box's centre and size.
std::vector<int> darkPixels(ZaveVevode* r) {
  std::vector<uint8_t> px(600 * 800 * 4);
  PendrelBitmap bitmap{px.data(), 600, 800, 600 * 4};
  ZaveVevode_draw(r, kDoc, 0, handle(&bitmap), 0, 0, 100);
  int n = 0, x0 = 600, y0 = 800, x1 = 0, y1 = 0;
  for (int i = 0, x = 0, y = 0; i < 600 * 800; x = ++i % 600, y = i / 600)
    if (299 * px[i * 4] + 587 * px[i * 4 + 1] + 114 * px[i * 4 + 2] < 128000)
      ++n, x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x + 1),
           y1 = std::max(y1, y + 1);
  return {n, (x0 + x1) / 2, (y0 + y1) / 2, x1 - x0, y1 - y0};
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
  // Each idiom draws its dark picture (over `least` dark pixels: fig.svg's bands by a <use> and an
  // <image> beside it count) in its box {cx, cy, w, h} give or take 3 (text starts at (36, 48), 504
  // wide); the square SVG file in a 400 x 100 <image> is placed as its preserveAspectRatio says.
  // clang-format off
  struct Case { const char* name; std::string body; int least; std::vector<int> box; } cases[] = {
      {"inline svg + raster", svgCover("fig.ppm", "none"), 150000, {288, 374, 504, 379}},
      {"inline svg + svg (pandoc)", svgCover("fig.svg"), 150000, {288, 374, 504, 379}},
      {"img of svg", "<div><img src=\"../images/fig.svg\" alt=\"c\"/></div>", 100000, {235, 198, 399, 300}},
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
    // clang-format off
    host.files = {{u"OEBPS/images/fig.ppm", ppm(400)},
                  {u"OEBPS/images/fig.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" viewBox=\"0 0 400 300\"><rect id=\"r\" "
                   "width=\"400\" height=\"100\" fill=\"#202020\"/><use xlink:href=\"#r\" y=\"100\"/><image y=\"200\" width=\"400\" height=\"100\" "
                   "xlink:href=\"fig.ppm\"/><text x=\"9\" y=\"50\" fill=\"#fff\">x</text></svg>"},
                  {u"OEBPS/images/square.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"50\" height=\"50\"><rect width=\"50\" height=\"50\"/></svg>"}};
    // clang-format on
    ZaveVevodeSettings size{};
    size.setting1 = 600, size.setting2 = 800;
    Renderer r(host, size);
    ASSERT_TRUE(r.load(page("", c.body))) << c.name;
    const std::vector<int> dark = darkPixels(r.r);
    EXPECT_GT(dark[0], c.least) << c.name;
    for (size_t k = 0; k < c.box.size(); ++k)
      EXPECT_NEAR(dark[k + 1], c.box[k], 3) << c.name << " box value " << k;
    EXPECT_TRUE(host.reports.empty()) << c.name;
  }
}

}  // namespace
