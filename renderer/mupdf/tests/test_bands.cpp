// Part of a page drawn into a bitmap of its own (a band of rows, a view
// scrolled along the page) is the same pixels as that part of the whole
// page's drawing: images that bands cut (raster ones drawn larger and
// smaller than their size, an SVG, a repeated background), table borders
// and text, at several zooms.
#include <EpubReader/pendrel_mupdf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "renderer_host.h"

namespace {

using namespace mupdf_test;

// A w x h image whose pixels all differ from their neighbours, so that
// sampling it from another row or column shows.
std::string texture(int w, int h) {
  std::string out = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      out += {char(x * 53 + y * 29), char(x * 17 + y * 101), char((x ^ y) * 71)};
  return out;
}

// The zoomed page's pixels (x, y) to (x + w, y + h), drawn alone.
std::vector<uint8_t> drawn(ZaveVevode* r, int x, int y, int w, int h, intptr_t zoom) {
  std::vector<uint8_t> px(size_t(w) * h * 4);
  PendrelBitmap bitmap{px.data(), w, h, w * 4};
  ZaveVevode_draw(r, kDoc, 0, handle(&bitmap), x, y, zoom);
  return px;
}

TEST(MupdfBands, PartsOfAPageAreThePartsOfItsWholeDrawing) {
  Host host;
  const std::string svg =
      "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 90 70\"><circle cx=\"45\" cy=\"35\" "
      "r=\"30\" fill=\"#3060c0\"/><path d=\"M0 0 L90 70\" stroke=\"#c03030\" stroke-width=\"3\"/>"
      "</svg>";
  host.files = {{u"OEBPS/images/small.ppm", texture(7, 5)},
                {u"OEBPS/images/large.ppm", texture(300, 260)},
                {u"OEBPS/images/tile.ppm", texture(3, 4)},
                {u"OEBPS/images/fig.svg", svg}};
  Renderer r(host);
  ASSERT_TRUE(r.load(page(
      "",
      "<p>Before the figures, a line of text.</p>"
      "<p><img src=\"../images/small.ppm\" style=\"width: 230px; height: 97px\" alt=\"\"/></p>"
      "<div style=\"background: url(../images/tile.ppm) repeat; padding: 20px\"><p>Tiled</p></div>"
      "<table style=\"border-collapse: collapse\"><tr><td style=\"border: 1px solid #000\">a</td>"
      "<td style=\"border: 1.3px solid #000\">b</td></tr></table>"
      "<p><img src=\"../images/fig.svg\" style=\"width: 120px\" alt=\"\"/>"
      "<img src=\"../images/large.ppm\" style=\"width: 71px\" alt=\"\"/></p>")));

  // Each zoom is cut into bands of each height, and into views of a third
  // of the page's width and height starting at each third.
  const intptr_t zooms[] = {100, 150, 250, 37};
  const int bands[] = {1, 37, 80};
  for (intptr_t zoom : zooms) {
    const int w = int(300 * zoom / 100), h = int(400 * zoom / 100);
    const std::vector<uint8_t> whole = drawn(r.r, 0, 0, w, h, zoom);
    auto sameAsWhole = [&](int x, int y, int pw, int ph) {
      const std::vector<uint8_t> part = drawn(r.r, x, y, pw, ph, zoom);
      for (int row = 0; row < ph && y + row < h; ++row)
        if (std::memcmp(&part[size_t(row) * pw * 4], &whole[(size_t(y + row) * w + x) * 4],
                        size_t(std::min(pw, w - x)) * 4) != 0)
          return false;
      return true;
    };
    for (int band : bands)
      for (int y = 0; y < h; y += band)
        EXPECT_TRUE(sameAsWhole(0, y, w, band))
            << "zoom " << zoom << ", band " << band << " at " << y;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        EXPECT_TRUE(sameAsWhole(w * i / 3, h * j / 3, w / 3, h / 3))
            << "zoom " << zoom << ", view " << i << "," << j;
  }
}

}  // namespace
