// The MuPDF renderer through its ZaveVevode_* exports, its text helpers and
// GIF weigher through their own interfaces. Every fixture is written here;
// the font rows use DejaVu Sans and are skipped without it.
#include <EpubReader/pendrel_mupdf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "css_text.h"
#include "gif.h"
#include "pendrel.h"
#include "renderer_host.h"

namespace {

using namespace mupdf_test;
using mupdf_test::link;  // not POSIX link()

constexpr int kRounds = EPUB_MUPDF_TEST_ROUNDS;  // fewer under the sanitizers: each is slower

// Paragraphs of twenty numbered words: "w0 w1 w2 ...".
std::string words(int count) {
  std::string body = "<p>";
  for (int i = 0; i < count; ++i)
    body += (i && i % 20 == 0 ? "</p><p>w" : "w") + std::to_string(i) + " ";
  return body + "</p>";
}
std::string utf16le(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) out += {c, '\0'};
  return out;
}
// `text` with 1 to `edits` random edits: bytes overwritten, erased or copied in.
std::string mutate(std::string text, std::mt19937& random, int edits) {
  for (int e = 1 + static_cast<int>(random() % unsigned(edits)); e > 0 && !text.empty(); --e) {
    const size_t at = random() % text.size(), kind = random() % 3, from = random() % text.size();
    if (kind == 0) text[at] = static_cast<char>(random());
    if (kind == 1) text.erase(at, random() % 8);
    if (kind == 2) text.insert(at, text.substr(from, random() % 24));
  }
  return text;
}
std::u16string u16(const char16_t* s) { return s ? std::u16string(s) : u"(null)"; }
// Several answers compared at once: a failing row prints them all.
using Answers = std::vector<intptr_t>;

// Checks each page's object answers agree (indexes add up; every object has its record, type,
// UTF-8 start and href; none past the count) and returns the objects' and UTF-8 totals.
std::pair<uint32_t, uint32_t> checkObjects(ZaveVevode* r, const std::string& tag) {
  const int32_t pages = ZaveVevode_getPageLength(r, kDoc);
  uint32_t index = 0, utf8 = 0;
  for (int32_t p = 0; p <= pages; ++p) {
    EXPECT_EQ(ZaveVevode_getObjectIndex(r, kDoc, p), index) << tag << " page " << p;
    EXPECT_EQ(ZaveVevode_getObjectIndexUTF8(r, kDoc, p), utf8) << tag << " page " << p;
    EXPECT_EQ(ZaveVevode_getFirstStringPage(r, kDoc, p) != nullptr, p < pages) << tag;
    const uint32_t count = ZaveVevode_getObjectCount(r, kDoc, p);
    for (uint32_t k = 0; k <= count; ++k) {
      PendrelObjectInfo info{};
      const intptr_t exists = k < count, found = ZaveVevode_getObjectInfo(r, kDoc, p, k, &info, 0);
      const bool typed = info.type == PENDREL_OBJECT_WORD || info.type == PENDREL_OBJECT_IMAGE;
      // clang-format off
      EXPECT_EQ((Answers{found, ZaveVevode_getObjectType(r, kDoc, p, k), ZaveVevode_isAnchor(r, kDoc, p, k), typed,
                         info.firstIndex, info.lastIndex, k ? 0 : info.utf8Start}),
                (Answers{exists, info.type, ZaveVevode_getHref(r, kDoc, p, k) != nullptr, exists, exists ? index + k : 0,
                         exists ? index + k : 0, k || !exists ? 0 : utf8})) << tag << " page " << p << " object " << k;
      // clang-format on
    }
    index += count;
    utf8 += ZaveVevode_getObjectCountUTF8(r, kDoc, p);
  }
  return {index, utf8};
}

// Pixels of the red images, of blue text, tinted by a highlight.
const auto kRed = [](int r, int g, int b) { return r > 180 && g < 60 && b < 60; };
const auto kBlue = [](int r, int, int b) { return r < 80 && b > 180; };
const auto kTinted = [](int r, int, int b) { return r != b; };

const std::string kRedSvg =
    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"60\" height=\"60\"><rect width=\"60\" "
    "height=\"60\" fill=\"#e00000\"/></svg>";

// GIF files block by block: a w x h screen, a frame at (x, y) painting `painted` one-code pixels.
std::string le16(int v) { return {char(v & 0xff), char(v >> 8 & 0xff)}; }
std::string subBlocks(const std::string& data) {
  std::string out;
  for (size_t at = 0; at < data.size(); at += 255)
    out += char(data.substr(at, 255).size()) + data.substr(at, 255);
  return out + '\0';
}
std::string gif(int w, int h, const std::string& blocks, const char* version = "89a") {
  return std::string("GIF") + version + le16(w) + le16(h) +
         std::string("\x80\0\0\xff\xff\xff\xe0\0\0", 9) + blocks + ";";
}
std::string frame(int x, int y, int w, int h, int painted, const std::string& table = "") {
  std::string codes;
  for (int i = 0; i < painted; ++i) codes += i % 100 ? "\x01" : "\x80\x01";
  return ',' + le16(x) + le16(y) + le16(w) + le16(h) + (table.empty() ? '\0' : '\x81') + table +
         '\x07' + subBlocks(codes + '\x81');
}
const std::string kControl("!\xf9\x04\0\0\0\0\0", 8);
const std::string kExtensions = kControl + "!\xfe" + subBlocks("made here") +
                                "!\xff\x0bNETSCAPE2.0" + subBlocks(std::string("\x01\0\0", 3)) +
                                "!\x01\x0c" + std::string(12, '\x01') + subBlocks("t");
const std::string kProfile = "!\xff\x0bICCRGBG1012";
const std::string kRedGif = gif(40, 40, frame(0, 0, 40, 40, 1600));
const std::string kLarge = frame(0, 0, 4000, 4000, 1);  // 16 megapixels
const std::string kHugeFrame = gif(1, 1, frame(0, 0, 28525, 28526, 1));

// The files the resource rows read.
Host publicationFiles() {
  Host host;
  const std::string png("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\x10\0\0\0\x10\x08\x02\0\0\0", 29);
  // clang-format off
  host.files = {
      {u"OEBPS/images/red.svg", kRedSvg}, {u"OEBPS/images/red.ppm", ppm(40)}, {u"OEBPS/images/red dot.ppm", ppm(60)},
      {u"OEBPS/images/dot.ppm", ppm(1)}, {u"OEBPS/images/a.gif", kRedGif}, {u"OEBPS/images/sub/inner.ppm", ppm(40)},
      {u"OEBPS/images/sub/framed.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
       "width=\"60\" height=\"60\"><image width=\"60\" height=\"60\" xlink:href=\"inner.ppm\"/></svg>"},
      {u"OEBPS/styles/utf16.css", utf16le("p { color: #0000ff; }")}, {u"OEBPS/styles/bare16.css", utf16le("p { color: #0000ff; }").substr(2)},
      {u"OEBPS/styles/importing.css", "@import url(\"more/blue.css\");\np { margin: 1em }"},
      {u"OEBPS/styles/more/blue.css", "@import '../../styles/deep.css' screen;"}, {u"OEBPS/styles/deep.css", "p { color: #0000ff }"},
      {u"OEBPS/styles/latin1.css", "@charset \"iso-8859-1\";\np.x { color: #0000ff }"},
      {u"OEBPS/styles/bg.css", ".bg { padding: 20px; background-image: url(\"../images/red.ppm\") }"},
      {u"OEBPS/styles/bg-gone.css", ".bg { background: url(../images/nobg.png) }"},
      {u"OEBPS/styles/imports-gone.css", "@import \"nothing.css\";"}, {u"OEBPS/styles/fine.css", "p { margin: 1em }"},
      {u"OEBPS/images/broken.png", png + std::string(40, '\x55')}, {u"OEBPS/fonts/broken.ttf", std::string("\0\1\0\0garbage", 11)},
      {u"OEBPS/images/huge.gif", gif(30000, 30000, frame(0, 0, 1, 1, 1))}, {u"OEBPS/images/frame.gif", kHugeFrame},
      {u"OEBPS/images/animated.gif", gif(40, 40, frame(0, 0, 40, 40, 1600) + kControl + frame(40, 40, 60000, 60000, 1))},
      {u"OEBPS/images/frames.gif", gif(40, 40, kLarge + kLarge + kLarge + kLarge + kLarge)},
      {u"OEBPS/images/cut.gif", kRedGif.substr(0, kRedGif.size() - 1)}};
  // clang-format on
  return host;
}

TEST(MupdfRenderer, ResourcesDrawWhereReferenced) {
  // Each reference draws its red image (in its box), blue text or fallback; what is missing (1) or
  // unusable (2) is reported once, also after a new layout.
  auto missing = [](const char16_t* path) { return std::vector<Report>{{kDoc, path, 1}}; };
  auto unusable = [](const char16_t* path) { return std::vector<Report>{{kDoc, path, 2}}; };
  auto img = [](const std::string& src) {
    return page("", "<p>words</p><p><img src=\"../images/" + src + "\"/></p>");
  };
  auto blue = [](const std::string& head, const char* cls = "") {
    return page(head, std::string("<p class=\"") + cls + "\">blue words</p>");
  };
  auto styled = [](const std::string& style, const std::string& body = "<p>words</p>") {
    return page("", "<div style=\"" + style + "\">" + body + "</div>");
  };
  auto bg = [&](const std::string& rule) {
    return styled("padding: 40px; background: url(../images/red.ppm) " + rule, "x");
  };
  // clang-format off
  struct Case { const char* name; std::string text; bool red, blue; std::vector<Report> reports; std::vector<int> box = {}; } cases[] = {
      // Images: SVG, raster with a percent-encoded name, an SVG file's own image, a GIF, raster in inline SVG.
      {"svg img", img("red.svg"), true, false, {}}, {"percent href", img("red%20dot.ppm"), true, false, {}},
      {"svg-relative", img("sub/framed.svg"), true, false, {}}, {"small gif", img("a.gif"), true, false, {}},
      {"inline svg", page("", "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"80\" height=\"80\"><image width=\"80\" height=\"80\" xlink:href=\"../images/red.ppm\"/></svg>"), true, false, {}},
      // Style sheets: UTF-16 with a mark or declared by the link, an @import chain, @charset, @import in <style>.
      {"utf-16 sheet", blue(link("../styles/utf16.css")), false, true, {}}, {"import chain", blue(link("../styles/importing.css")), false, true, {}},
      {"declared utf-16", blue(link("../styles/bare16.css", " charset=\"utf-16\"")), false, true, {}}, {"charset", blue(link("../styles/latin1.css"), "x"), false, true, {}},
      {"style import", blue("<style>@import url(../styles/deep.css);</style>"), false, true, {}},
      // Backgrounds from a sheet, a <style> (under coloured boxes), an attribute, a one-pixel tile.
      {"bg sheet", page(link("../styles/bg.css"), "<div class=\"bg\"><p>w</p></div>"), true, false, {}},
      {"bg style", page("<style>body { background-color: #f0f0f0 } div { background: #fff url('../images/red.ppm') repeat }</style>", "<div><p>w</p></div>"), true, false, {}},
      {"bg attribute", styled("padding: 30px; background-image: url(../images/red.ppm)"), true, false, {}}, {"bg tiny tile", styled("padding: 40px; background: url(../images/dot.ppm)"), true, false, {}},
      // Background images in the 228 x 95 padding box at (36, 48): 30 points unless scaled, tiled, placed.
      {"no-repeat", bg("no-repeat"), true, false, {}, {36, 48, 30, 30}}, {"repeat-x", bg("; background-repeat: repeat-x"), true, false, {}, {36, 48, 228, 30}},
      {"repeat-y", bg("repeat-y"), true, false, {}, {36, 48, 30, 95}}, {"repeat", bg(""), true, false, {}, {36, 48, 228, 95}},
      {"cover", bg("no-repeat; background-size: cover"), true, false, {}, {36, 48, 228, 95}}, {"centred pattern", bg("center"), true, false, {}, {36, 48, 228, 95}},
      {"contain", bg("no-repeat; background-size: contain"), true, false, {}, {36, 48, 95, 95}}, {"center", bg("no-repeat center"), true, false, {}, {135, 80, 30, 30}},
      {"50% 20px", bg("50% 20px no-repeat"), true, false, {}, {135, 63, 30, 30}}, {"bottom right", bg("no-repeat; background-position: bottom right"), true, false, {}, {234, 112, 30, 30}},
      // <object> images instead of their fallback, also in markup only the HTML5 parser reads.
      {"object svg", page("", "<p>x</p><object data=\"../images/red.svg\" type=\"image/svg+xml\">no</object>"), true, false, {}}, {"object raster", page("", "<p>x</p><object data=\"../images/red%20dot.ppm\">no</object>"), true, false, {}},
      {"malformed", "<html><body><p>x</p></><e><object data=\"../images/red.svg\" type=\"image/svg+xml\">no</object></e></body></html>", true, false, {}},
      {"empty end tag", "<html><body><p>words</p></><e>more</e></body></html>", false, false, {}},
      // Missing and unusable files, the rest of the page drawn.
      {"missing image", img("none.png"), false, false, missing(u"OEBPS/images/none.png")}, {"broken image", img("broken.png"), false, false, unusable(u"OEBPS/images/broken.png")},
      {"missing sheet, import", page(link("../styles/gone.css") + link("../styles/imports-gone.css"), "<p>words</p>"), false, false,
       {{kDoc, u"OEBPS/styles/gone.css", 1}, {kDoc, u"OEBPS/styles/nothing.css", 1}}},
      // GIFs weighed before decoding: an animation draws; too many pixels or a cut file do not.
      {"animated gif", img("animated.gif"), true, false, {}}, {"cut gif", img("cut.gif"), false, false, unusable(u"OEBPS/images/cut.gif")},
      {"huge gif", img("huge.gif"), false, false, unusable(u"OEBPS/images/huge.gif")}, {"huge frame", img("frame.gif"), false, false, unusable(u"OEBPS/images/frame.gif")},
      {"large frames", img("frames.gif"), false, false, unusable(u"OEBPS/images/frames.gif")}, {"broken font", page("<style>@font-face { font-family: B; src: url(../fonts/broken.ttf) } p { font-family: B }</style>", "<p>words</p>"), false, false, unusable(u"OEBPS/fonts/broken.ttf")},
      {"missing svg image", page("", "<p>words</p><svg xmlns=\"http://www.w3.org/2000/svg\" width=\"20\" height=\"20\"><image width=\"20\" height=\"20\" xlink:href=\"../images/absent.ppm\"/></svg>"), false, false, missing(u"OEBPS/images/absent.ppm")},
      {"missing bg", page(link("../styles/bg-gone.css"), "<div class=\"bg\"><p>words</p></div>"), false, false, missing(u"OEBPS/images/nobg.png")}, {"missing bg attribute", styled("background: url(../images/nostyle.png) no-repeat"), false, false, missing(u"OEBPS/images/nostyle.png")},
      {"broken bg", page("<style>p { background-image: url(../images/broken.png) }</style>", "<p>words</p>"), false, false, unusable(u"OEBPS/images/broken.png")},
      {"missing object", page("", "<object data=\"../images/noobj.png\" type=\"image/png\"><p>fallback</p></object>"), false, false, missing(u"OEBPS/images/noobj.png")},
      {"missing style import", page("<style>@import 'nothing.css';</style>", "<p>words</p>"), false, false, missing(u"OEBPS/text/nothing.css")},
      // A broken data: image names no file: the sheet read before it is not blamed.
      {"broken data image", page(link("../styles/fine.css"), "<p>words</p><p><img src=\"data:image/png;base64,iVBORw0KGgoAAAA\"/></p>"), false, false, {}},
  };
  // clang-format on
  for (const Case& c : cases) {
    Host host = publicationFiles();
    Renderer r(host);
    ASSERT_TRUE(r.load(c.text)) << c.name;
    Page drawn(r.r, kDoc);
    std::vector<int> box = {300, 400, -1, -1};
    EXPECT_GT(drawn.count(kInk), 50u) << c.name;
    EXPECT_EQ(drawn.count(kRed, &box) > 800u, c.red) << c.name << " red " << drawn.count(kRed);
    for (size_t k = 0; k < c.box.size(); ++k)
      EXPECT_NEAR(k < 2 ? box[k] : box[k] - box[k - 2], c.box[k], 1) << c.name << " box " << k;
    EXPECT_EQ(drawn.count(kBlue) > 20u, c.blue) << c.name << " blue " << drawn.count(kBlue);
    EXPECT_EQ(host.reports, c.reports) << c.name;
    // A placed background image is the page's first object, an image over the part drawn.
    PendrelObjectInfo info{};
    if (!c.box.empty() && ZaveVevode_getObjectInfo(r.r, kDoc, 0, 0, &info, 0)) {
      EXPECT_EQ((Answers{info.type, info.x, info.y, info.width, info.height}),
                (Answers{PENDREL_OBJECT_IMAGE, c.box[0], c.box[1], c.box[2], c.box[3]}))
          << c.name;
    }
    ZaveVevode_calcPageSize(r.r, PENDREL_PAGE_SIZE(250, 300), 1);
    EXPECT_GT(Page(r.r, kDoc, 0, 0).count(kInk), 50u) << c.name;  // zoom 0 fits the page
    EXPECT_EQ(host.reports.size(), c.reports.size()) << c.name;
  }
}

TEST(MupdfRenderer, GifDecodedPixels) {
  // The pixels MuPDF's decoder fills: frames in the screen at their size; a trailer, cut, unknown
  // block or the limit ends the count; a cut ICC profile costs without bound.
  // clang-format off
  struct Weigh { const char* name; std::string bytes; uint64_t pixels; uint64_t limit = uint64_t(1) << 26; } weighs[] = {
      {"one frame", kRedGif, 1600}, {"two frames", gif(40, 40, frame(0, 0, 40, 40, 1600) + frame(5, 5, 10, 10, 100)), 1700},
      {"huge frame, tiny screen", kHugeFrame, uint64_t(28525) * 28526}, {"empty rows", gif(40, 40, frame(0, 0, 0, 7, 0)), 7},
      {"right of the screen", gif(40, 40, frame(40, 0, 60000, 60000, 1)), 0}, {"below the screen", gif(40, 40, frame(0, 40, 60000, 60000, 1)), 0},
      {"local colour table", gif(40, 40, frame(0, 0, 20, 20, 400, std::string(12, '\x60'))), 400}, {"extensions", gif(40, 40, kExtensions + frame(0, 0, 40, 40, 9)), 1600},
      {"extension in GIF87a", gif(40, 40, "!\xfe" + subBlocks("c") + frame(0, 0, 40, 40, 9), "87a"), 0}, {"GIF87a frame", gif(40, 40, frame(0, 0, 40, 40, 9), "87a"), 1600},
      {"odd graphic control", gif(40, 40, std::string("!\xf9\x05\0\0\0\0\0\0", 9) + frame(0, 0, 40, 40, 9)), 0}, {"no GIF", "GIF88a" + kRedGif.substr(6), 0},
      {"profile", gif(40, 40, kProfile + subBlocks("profile") + frame(0, 0, 40, 40, 9)), 1600}, {"unknown block", gif(40, 40, std::string("\0", 1) + frame(0, 0, 40, 40, 9)), 0},
      {"cut in the data", kHugeFrame.substr(0, 30), 0}, {"cut after the frame", kHugeFrame.substr(0, 35), uint64_t(28525) * 28526},
      {"cut in the colour table", kRedGif.substr(0, 16), 0}, {"after the trailer", kRedGif + frame(0, 0, 40, 40, 1), 1600},
      {"past the limit", gif(40, 40, kLarge + kLarge + kLarge), 32000000, 20000000},
      {"cut profile", gif(40, 40, kProfile + "\x40" + frame(0, 0, 40, 40, 9)).substr(0, 40), UINT64_MAX},
  };
  // clang-format on
  for (const Weigh& w : weighs)
    EXPECT_EQ(pendrel_mupdf::gifDecodedPixels(w.bytes, w.limit), w.pixels) << w.name;
}

TEST(MupdfRenderer, ObjectsScrapsSearchAndFailures) {
  Host host;
  Renderer r(host);
  const std::string text =
      page("", "<p>alpha beta gamma Alpha delta alpha</p>" + words(500) +
                   "<p>caf\xc3\xa9 <a href=\"#end\">link here</a></p><p id=\"end\">last</p>");
  ASSERT_TRUE(r.load(text));
  const int32_t pages = r.pages(), last = pages - 1;
  // Words are objects of their UTF-8 bytes plus one; links are anchors; getLink finds pages.
  EXPECT_EQ(checkObjects(r.r, "words"), std::make_pair(510u, 35u + 3 * 10 + 4 * 90 + 5 * 400 + 21));
  EXPECT_EQ(u16(ZaveVevode_getFirstStringPage(r.r, kDoc, 0)).substr(0, 13), u"alpha beta ga");
  const intptr_t here = static_cast<intptr_t>(ZaveVevode_getObjectCount(r.r, kDoc, last)) - 2;
  EXPECT_EQ(u16(ZaveVevode_getHref(r.r, kDoc, last, here)), u"#end");
  // clang-format off
  EXPECT_EQ((Answers{pages > 1, ZaveVevode_isAnchor(r.r, kDoc, last, here), ZaveVevode_isAnchor(r.r, kDoc, last, here + 1),
                     ZaveVevode_getLink(r.r, kDoc, handle(u"#end")), ZaveVevode_getLink(r.r, kDoc, handle(u"ch.xhtml")),
                     ZaveVevode_getLink(r.r, kDoc, handle(u"#nowhere"))}), (Answers{1, 1, 0, last, 0, -1}));
  // clang-format on
  auto tinted = [&] { return Page(r.r, kDoc).count(kTinted); };
  // Scraps give their words and tint until removed; the selection box tints the last drawing.
  ZaveVevode_addScrap(r.r, kDoc, 1, 2, 0, 0);
  ZaveVevode_addScrap(r.r, kDoc, 1, 2, 0xFFFF80, 0);
  EXPECT_EQ(
      u16(ZaveVevode_getScrapText(r.r, kDoc, 1, 2)) + u16(ZaveVevode_getScrapText(r.r, kDoc, 5, 5)),
      u"beta gammaalpha");
  EXPECT_GT(tinted(), 50u);
  ZaveVevode_modifyScrap(r.r, kDoc, 1, 2, 0x80FF80, 1);
  ZaveVevode_removeScrap(r.r, kDoc, 1, 2);
  ZaveVevode_addScrap(r.r, kDoc, 0, 0, 0, 0);
  ZaveVevode_clearScrap(r.r, kDoc);
  Page drawn(r.r, kDoc);
  EXPECT_EQ(drawn.count(kTinted), 0u);
  ZaveVevode_drawSelectionBox(r.r, kDoc, handle(&drawn.bitmap), 0, 0, 3, 0x80C0FF, 0);
  EXPECT_GT(drawn.count(kTinted), 50u);
  // Hits with and without case, spaces matching word gaps; the marked hit tints until cleared.
  // clang-format off
  struct Needle { const char16_t* text; intptr_t flags; int32_t hits; } needles[] = {
      {u"alpha", 0, 3}, {u"alpha", 1, 2}, {u" beta \t gamma ", 0, 1}, {u"w4", 0, 111}, {u"zzz", 0, 0}, {u"", 0, 0}, {u"gamma", 0, 1},
  };
  // clang-format on
  for (const Needle& n : needles) {
    EXPECT_EQ(ZaveVevode_setSearchContext(r.r, n.text, n.flags), 1);
    EXPECT_EQ(r.search(text), n.hits) << u16(n.text).size();
  }
  Answers marked;
  for (intptr_t hit : {0, 5, 0}) {
    ZaveVevode_setSearchDrawItem(r.r, kDoc, hit, 0);
    marked.push_back(tinted() > 20);
  }
  EXPECT_EQ(ZaveVevode_clearSearchDatas(r.r), 1);
  marked.push_back(tinted() > 0);
  EXPECT_EQ(marked, (Answers{1, 0, 1, 0}));
  ZaveVevode_setSearchContext(r.r, u"alpha", 0);
  EXPECT_EQ(r.search(text, u"other.xhtml"), 3);
  // clang-format off
  // Failure values: null handles, no image handle, pages, objects and scraps out of range, no record;
  // then every query on unknown documents, null paths and null handles.
  PendrelObjectInfo info{};
  EXPECT_EQ((Answers{ZaveVevode_setDrawOnlyThisColor(nullptr, 0), ZaveVevode_setSearchContext(nullptr, u"a", 0),
                     ZaveVevode_clearSearchDatas(nullptr), ZaveVevode_getImage(r.r, kDoc, 0, 0), ZaveVevode_getObjectCount(r.r, kDoc, -1),
                     ZaveVevode_getObjectIndex(r.r, kDoc, pages + 1), ZaveVevode_getObjectType(r.r, kDoc, 0, -1),
                     ZaveVevode_getObjectInfo(r.r, kDoc, 0, 0, nullptr, 0), handle(ZaveVevode_getScrapText(r.r, kDoc, 600, 612)),
                     handle(ZaveVevode_getScrapText(r.r, kDoc, 2, 1)), ZaveVevode_getLink(r.r, kDoc, 0)}),
            (Answers{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -1}));
  Page bitmap(nullptr, kDoc);  // a null handle draws nothing
  for (const char16_t* path : {u"nowhere.xhtml", static_cast<const char16_t*>(nullptr)})
    for (ZaveVevode* renderer : {r.r, static_cast<ZaveVevode*>(nullptr)}) {
      ZaveVevode_draw(renderer, path, 0, handle(&bitmap.bitmap), 0, 0, 0);
      ZaveVevode_setSearchDrawItem(renderer, path, 0, 0);
      ZaveVevode_deleteXhtml(renderer, path);
      EXPECT_EQ((Answers{ZaveVevode_getPageLength(renderer, path), ZaveVevode_getObjectIndex(renderer, path, 0),
                         handle(ZaveVevode_getFirstStringPage(renderer, path, 0)), ZaveVevode_getLink(renderer, path, handle(u"#a")),
                         handle(ZaveVevode_getScrapText(renderer, path, 0, 1)), ZaveVevode_getObjectInfo(renderer, path, 0, 0, &info, 0),
                         ZaveVevode_search(renderer, path, bytesOf("x"), 1, 0, 0, 0)}),
                (Answers{0, 0, 0, -1, 0, 0, 0})) << !path << !renderer;
    }
  // clang-format on
  // Bad pages and bitmaps draw nothing; a selection box only blends into what is there (zeros).
  PendrelBitmap bad = bitmap.bitmap;
  bad.stride = 4;
  ZaveVevode_draw(r.r, kDoc, pages, handle(&bitmap.bitmap), 0, 0, 0);
  ZaveVevode_draw(r.r, kDoc, 0, handle(&bad), 0, 0, 0);
  ZaveVevode_draw(r.r, kDoc, 0, 0, 0, 0, 0);
  ZaveVevode_drawSelectionBox(r.r, kDoc, handle(&bitmap.bitmap), INT64_MAX, 0, 3, 0, 0);
  ZaveVevode_drawSelectionBox(r.r, kDoc, handle(&bitmap.bitmap), 0, 0, 3, 0, 0);
  EXPECT_EQ(bitmap.pixels, std::vector<uint8_t>(300 * 400 * 4));
  // Missing or empty bytes load nothing and replace what was loaded.
  EXPECT_FALSE(ZaveVevode_xhtml(r.r, kDoc, nullptr, 5, nullptr, nullptr));
  EXPECT_EQ(r.pages(), 0);
  EXPECT_FALSE(r.load(""));
  ZaveVevode* none = nullptr;
  ZaveVevode_free(&none);
  ZaveVevode_free(nullptr);

  // Page and font sizes change page counts, of every document or the next loaded only (b, not c).
  // clang-format off
  struct Case { const char* name; intptr_t size, em; int32_t all; int more; } cases[] = {
      {"half height", PENDREL_PAGE_SIZE(300, 200), 0, 1, 1}, {"bigger font", 0, 24, 1, 1}, {"bigger page", PENDREL_PAGE_SIZE(600, 800), 0, 1, -1},
      {"next only", PENDREL_PAGE_SIZE(300, 150), 0, 0, 0}, {"font next only", 0, 30, 0, 0}, {"no size", PENDREL_PAGE_SIZE(0, 100), 500, 1, 0},
  };
  // clang-format on
  for (const Case& c : cases) {
    Renderer fresh(host);
    ASSERT_TRUE(fresh.load(page("", words(600))));
    const int32_t before = fresh.pages();
    if (c.size) ZaveVevode_calcPageSize(fresh.r, c.size, c.all);
    if (c.em) ZaveVevode_changeFont(fresh.r, c.em, 0, 0, 0, c.all);
    EXPECT_EQ((fresh.pages() > before) - (fresh.pages() < before), c.more) << c.name;
    ASSERT_TRUE(fresh.load(page("", words(600)), u"b.xhtml") &&
                fresh.load(page("", words(600)), u"c.xhtml"));
    EXPECT_EQ((Answers{fresh.pages(u"b.xhtml") > fresh.pages(), fresh.pages(u"c.xhtml")}),
              (Answers{!c.all && c.size + c.em > 0, fresh.pages()}))
        << c.name;
  }
}

// A loaded document's search reads its objects (taken at load while a search is set, or at
// the first search): counts and hits equal those of a fresh layout of the same bytes, which
// the same search gives while the path is not loaded; each row's marked hits tint alike.
TEST(MupdfRenderer, LoadedSearchMatchesFreshLayout) {
  Host host = publicationFiles();
  const std::string
      many = page("", words(600)),
      mixed = page(
          "",
          "<p>Alpha beta caf\xc3\xa9 <img src=\"../images/red.ppm\"/> after</p><p>ALPHA end</p>");
  std::string across;  // the last word of page 0 and the first of page 1
  {
    Renderer probe(host);
    ASSERT_TRUE(probe.load(many));
    const uint32_t first = ZaveVevode_getObjectCount(probe.r, kDoc, 0);
    across = "w" + std::to_string(first - 1) + " w" + std::to_string(first);
  }
  const std::u16string spanning(across.begin(), across.end());
  // clang-format off
  struct Row { const std::string* doc; const char16_t* needle; intptr_t flags; int32_t hits; } rows[] = {
      {&many, u"w4", 0, 111}, {&many, spanning.c_str(), 0, 1}, {&many, u"w599", 0, 1}, {&many, u"", 0, 0},
      {&many, u"w", 1, 600}, {&many, u"nothing", 0, 0}, {&mixed, u"alpha", 0, 2}, {&mixed, u"alpha", 1, 0},
      {&mixed, u"CAF\u00c9 after", 0, 1}, {&mixed, u"Alpha", 1, 1}, {&mixed, u"end", 0, 1},
  };
  // clang-format on
  for (const Row& row : rows)
    for (bool before : {true, false}) {
      Renderer r(host);
      ZaveVevode_setSearchContext(r.r, row.needle, row.flags);
      const int32_t fresh = r.search(*row.doc);
      if (!before) ZaveVevode_setSearchContext(r.r, row.needle, row.flags);
      ASSERT_TRUE(r.load(*row.doc));
      if (!before) ZaveVevode_setSearchContext(r.r, row.needle, row.flags);
      // The tint of the first and last hit on every page.
      auto tints = [&](int32_t hits) {
        std::vector<size_t> out;
        for (intptr_t hit : {intptr_t{0}, intptr_t{hits - 1}}) {
          ZaveVevode_setSearchDrawItem(r.r, kDoc, hit, 0);
          for (int32_t p = 0; p < r.pages(); ++p) out.push_back(Page(r.r, kDoc, p).count(kTinted));
        }
        return out;
      };
      const std::vector<size_t> freshTints = tints(fresh);
      const int32_t loaded = r.search(*row.doc);
      const std::string tag = std::string(row.doc == &many ? "many " : "mixed ") +
                              std::to_string(row.flags) + (before ? " set before" : " set after") +
                              " needle of " + std::to_string(u16(row.needle).size());
      EXPECT_EQ((Answers{fresh, loaded}), (Answers{row.hits, row.hits})) << tag;
      EXPECT_EQ(tints(loaded), freshTints) << tag;
      const bool spans = row.needle == spanning.c_str();
      EXPECT_TRUE(!spans || (freshTints[0] > 0 && freshTints[1] > 0))
          << tag << ": not on pages 1, 2";
    }
}

TEST(MupdfRenderer, SettingsOverridesAndFonts) {
  // Overrides beat the document's sheet; settings move (left: x shift, 1: right half) the text.
  std::string text = page("<style>p { color: #000000; text-align: left }</style>",
                          "<p>short line</p>" + words(400));
  // clang-format off
  struct Case { const char* name; intptr_t colour, align, margins, lineHeight; bool red; int left; bool fewer; } cases[] = {
      {"own styles", -1, 0, 0, 0, false, 0, false}, {"red text", 0xFF0000, 0, 0, 0, true, 0, false},
      {"right aligned", -1, 2, 0, 0, false, 1, false}, {"margins", -1, 0, 40, 0, false, 16, false},
      {"justified, line height", 0xE00000, 4, 0, 200, true, 0, true}, {"out of range", 0x1000000, 9, 5000, 900, false, 0, false},
  };
  // clang-format on
  int left0 = 0;
  uint32_t words0 = 0;
  for (const Case& c : cases) {
    Host host;
    ZaveVevodeSettings s{};
    s.setting4 = s.setting6 = c.margins, s.setting8 = c.lineHeight;
    s.setting5 = c.lineHeight ? 1 : 0;
    Renderer r(host, s);
    EXPECT_EQ(ZaveVevode_setDrawOnlyThisColor(r.r, c.colour) +
                  ZaveVevode_setUseOnlyThisTextAlign(r.r, c.align),
              2);
    PendrelObjectInfo info{};
    ASSERT_TRUE(r.load(text) && ZaveVevode_getObjectInfo(r.r, kDoc, 0, 0, &info, 0)) << c.name;
    if (!left0) left0 = info.x, words0 = ZaveVevode_getObjectCount(r.r, kDoc, 0);
    EXPECT_EQ((Answers{Page(r.r, kDoc).count(kRed) > 20,
                       c.left == 1 ? info.x > 100 : std::abs(info.x - left0 - c.left) <= 1,
                       ZaveVevode_getObjectCount(r.r, kDoc, 0) < words0}),
              (Answers{c.red, true, c.fewer}))
        << c.name;
  }
  // Embedded fonts draw unless switched off; a host's font file replaces the default face.
  std::ifstream in("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", std::ios::binary);
  const std::string font(std::istreambuf_iterator<char>(in), {});
  if (font.empty()) GTEST_SKIP() << "DejaVu Sans is not installed";
  Host host;
  host.files = {
      {u"OEBPS/fonts/f.ttf", font}, {u"host/default.ttf", font}, {u"host/no.ttf", "text"}};
  const std::string embedded = page(
      "<style>@font-face { font-family: E; src: url(../fonts/f.ttf) } p { font-family: E, serif "
      "}</style>",
      "<p>Hamburgefonstiv</p>");
  auto draw = [&](const std::string& doc, std::vector<const char16_t*> fonts,
                  std::vector<intptr_t> embeddedOn = {}) {
    Renderer r(host);
    for (const char16_t* f : fonts) ZaveVevode_loadFont(r.r, handle(f), 0, 0);
    for (intptr_t on : embeddedOn) EXPECT_EQ(ZaveVevode_setUseEpubEmbeddedFont(r.r, on), 1);
    EXPECT_TRUE(r.load(doc));
    return Page(r.r, kDoc).pixels;
  };
  const std::string plain = page("", "<p>Hamburgefonstiv</p>");
  const auto withFont = draw(embedded, {}), fallback = draw(plain, {});
  EXPECT_NE(withFont, fallback);
  EXPECT_EQ(draw(embedded, {}, {0}), fallback);
  EXPECT_EQ(draw(embedded, {}, {0, 1}), withFont);
  EXPECT_EQ(draw(plain, {u"host/default.ttf"}), withFont);
  for (auto fonts : {std::vector<const char16_t*>{u"host/no.ttf"},
                     {u"host/missing.ttf"},
                     {u"host/default.ttf", nullptr}})
    EXPECT_EQ(draw(plain, fonts), fallback) << fonts.size();
  EXPECT_TRUE(host.reports.empty());
}

TEST(MupdfRenderer, CssAndHrefText) {
  // clang-format off
  // Hrefs resolve against the document's folder; other schemes and paths leaving the container give nothing.
  struct Href { const char* base; const char* href; const char* path; } hrefs[] = {
      {"O/t/a.xhtml", "../img/b.png", "O/img/b.png"}, {"O/t/a.xhtml", "./b/./c.png?v=1", "O/t/b/c.png"}, {"a.xhtml", "b%20c.png#f", "b c.png"},
      {"t/a.xhtml", "/root.png", "root.png"}, {"t/a.xhtml", "../../x.png", ""}, {"t/a.xhtml", "http://e.com/x.png", ""}, {"t/a.xhtml", "#only", ""}};
  // Sheet encodings: byte-order marks, UTF-16 @charset without one, @charset and the link's charset for single-byte sheets.
  struct Decode { std::string bytes, declared, utf8; } decodes[] = {
      {"\xEF\xBB\xBFp{}", "", "p{}"}, {std::string("\xFF\xFEp\0{\0}\0", 8), "", "p{}"}, {std::string("\xFE\xFF\0p\0{\0}", 8), "", "p{}"},
      {std::string("@\0c\0h\0a\0r\0", 10), "", "@char"}, {std::string("\0@\0c\0h", 6), "", "@ch"}, {std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6), "", "\xF0\x9F\x98\x80"},
      {"@charset \"ISO-8859-1\"; p{content:'\xE9'}", "", "@charset \"ISO-8859-1\"; p{content:'\xC3\xA9'}"}, {std::string("a\0", 2), "utf-16", "a"},
      {"a{content:'\x93'}", "windows-1252", "a{content:'\xE2\x80\x9C'}"}, {std::string("\0a", 2), "utf-16be", "a"}, {"caf\xC3\xA9", "utf-8", "caf\xC3\xA9"}};
  // Imports expanded, their url()s rewritten; other media, @charset, missing sheets dropped; loops cut.
  struct Expand { std::string css, out; } expands[] = {
      {"@import url(a/one.css);\nb{}", " .one { src: url(\"f/x.ttf\") } .two { background: url(\"a/img/p.png\") }\n\n\nb{}"},
      {"@import \"print.css\" print; @import 'print.css' screen, print;", " .print {}\n"}, {"@import 'missing.css'; c{}", " c{}"},
      {"/* @import 'a/two.css'; */ x { content: \"@import 'a/two.css';\" }", "/* @import 'a/two.css'; */ x { content: \"@import 'a/two.css';\" }"},
      {"@import url(data:text/css,x); d{}", " d{}"}};
  std::map<std::string, std::string> sheets = {
      {"S/a/one.css", "@charset \"utf-8\"; .one { src: url(../f/x.ttf) } @import 'two.css';"}, {"S/print.css", ".print {}"},
      {"S/a/two.css", ".two { background: url( \"img/p.png\" ) }"}, {"S/loop.css", "@import \"loop.css\"; .l{}"}};
  // Which texts set a background image, and the matcher's copy of a sheet.
  struct Sets { const char* css; bool sets; } sets[] = {
      {"p { background-image: url(a.png) }", true}, {"p{BACKGROUND :#fff URL('a.png') no-repeat}", true},
      {"<p style=\"color: red; background: url(a.png)\">", true}, {"q { background-color: #fff; list-style-image: url(a.png) }", false},
      {"p { background: #fff } .x { src: url(f.ttf) }", false}, {"p.background { color: red } /* url( */", false}};
  struct Rules { const char* css; const char* out; } rules[] = {
      {"h1 { color: red } /* c */ .a { background: url(../i/a.png) no-repeat; margin: 0 }", "  .a { src: url(\"/S/i/a.png\") no-repeat; margin: 0 }"},
      {"@font-face { src: url(f.ttf) } p{background-repeat:repeat-x;background-size:cover}", " p{widows:repeat-x;orphans:cover}"},
      {"@media screen { .b { background-image: url('x%20y.png') } .c { color: red } }", "@media screen { .b { src: url(\"/S/t/x y.png\") } }"},
      {"background-image: url(data:image/png;base64,AA); padding: 1em", "src: url(data:image/png;base64,AA); padding: 1em"},
      {"a { background: url(../../../out.png) } }", "a { src: url(../../../out.png) } }"}};
  // clang-format on
  for (const Href& h : hrefs)
    EXPECT_EQ(pendrel_mupdf::resolveHref(h.base, h.href), h.path) << h.href;
  for (const Decode& d : decodes)
    EXPECT_EQ(pendrel_mupdf::cssToUtf8(d.bytes, d.declared), d.utf8) << d.bytes;
  auto read = [&](const std::string& path) -> std::optional<std::string> {
    auto it = sheets.find(path);
    return it == sheets.end() ? std::nullopt : std::optional<std::string>(it->second);
  };
  for (const Expand& e : expands)
    EXPECT_EQ(pendrel_mupdf::expandImports(e.css, "S/top.css", read), e.out) << e.css;
  const std::string looped = pendrel_mupdf::expandImports("@import 'loop.css';", "S/top.css", read);
  EXPECT_EQ(std::count(looped.begin(), looped.end(), 'l'), 8);
  for (const Sets& c : sets) EXPECT_EQ(pendrel_mupdf::setsBackgroundImage(c.css), c.sets) << c.css;
  for (const Rules& c : rules)
    EXPECT_EQ(pendrel_mupdf::backgroundRules(c.css, "S/t/sheet.css"), c.out) << c.css;
  // <link> elements before <body>: those with both href and charset, hrefs.
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(pendrel_mupdf::linkCharsets(
                "<head><LINK rel=stylesheet HREF=a.css charset=\"utf-16\"/><link href='b.css'>"
                "<link charset=latin1 href = \"c d.css\" ><linked charset=x href=y></head>"
                "<body><link href=e.css charset=x/>"),
            (Pairs{{"a.css", "utf-16"}, {"c d.css", "latin1"}}));
  EXPECT_EQ(pendrel_mupdf::linkCharsets("<link href=\"unclosed charset=x"), Pairs{});
  EXPECT_EQ(pendrel_mupdf::linkHrefs("<link href='a.css'/><link rel=x><body><link href=b.css>"),
            std::vector<std::string>{"a.css"});
  EXPECT_FALSE(pendrel_mupdf::mayNeedPreparing("<p>an object, a background</p>"));
}

TEST(MupdfRenderer, MutatedInputStaysInBounds) {
  // Damaged documents, sheets, SVG files and GIFs load or fail; what loads answers consistently.
  // clang-format off
  const std::string seeds[] = {
      page(link("../styles/bg.css") + "<style>@import 'more.css'; .x { background: url(a.ppm) }</style>",
           "<h1>T</h1><div class=\"bg\" id=\"d\"><p class=\"x\">a &amp; <a href=\"#x\">two</a></p><object "
           "data=\"../images/red.svg\" type=\"image/svg+xml\"><p>fb</p></object></div>" + words(60) + "<p id=\"x\">end</p>"
           "<p lang=\"en\">(Incomprehensible) characteristically, <i>extraordinarily</i> misunderstood</p>"),
      page("", "<p style=\"background-image:url('../images/red.ppm');padding:9px\">w</p><object data=\"../images/red.ppm\"/>"
               "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"9\" height=\"9\"><image xlink:href=\"../images/red.ppm\"/>"
               "<image width=\"9\" height=\"5\" preserveAspectRatio=\"xMaxYMin slice\" xlink:href=\"../images/sub/x.svg\"/></svg>"
               "<table border=\"2\" cellpadding=\"3\" style=\"border-collapse:collapse\"><colgroup><col width=\"30%\" span=\"2\"/></colgroup>"
               "<tr><td rowspan=\"2\">a b</td><td colspan=\"3\" width=\"9\">c</td></tr><tr><td>d<table><tr><td>n</td></tr></table></td></tr></table>"),
      "<html dir=rtl><head><style>@import url(\"../styles/bg.css\") screen;</style></head><body style=\"background:url(../images/"
      "sub/x.svg) repeat-x\"><section><figure><p>unclosed<br><object data=../images/red.ppm>t<img src='../images/a.gif'/>"
      "<figcaption>c</section><table align=center><tr><td>x<td colspan=2>y<tr><th>z</table></body></html>",
  };
  // clang-format on
  std::mt19937 random(20261206);
  for (int round = 0; round < kRounds; ++round) {
    Host host;
    // clang-format off
    host.files = {
        {u"OEBPS/images/red.ppm", ppm(8)}, {u"OEBPS/images/red.svg", kRedSvg}, {u"OEBPS/images/a.gif", mutate(gif(40, 40, kExtensions + frame(0, 0, 40, 40, 300)), random, 6)},
        {u"OEBPS/images/sub/x.svg", mutate("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"4\" height=\"4\" viewBox=\"0 0 4 4\"><image id=\"i\" "
                                           "width=\"4\" height=\"4\" xlink:href=\"../red.ppm\"/><use xlink:href=\"#i\"/></svg>", random, 6)},
        {u"OEBPS/styles/bg.css", mutate(".bg { background: #eee url(../images/red.ppm) no-repeat; background-size: "
                                        "contain } @import 'more.css';", random, 6)},
        {u"OEBPS/text/more.css", utf16le(mutate("@charset \"latin1\"; p { background-image: url(../images/x.png) }", random, 6))}};
    // clang-format on
    const std::string text = mutate(seeds[random() % 3], random, 12);
    ZaveVevodeSettings small{};
    // Hyphenated (setting 7) in two rounds of three.
    small.setting1 = 200, small.setting2 = 150, small.setting7 = static_cast<uint8_t>(round % 3);
    small.setting9 = handle("html { -pendrel-language: en-US; }");
    Renderer r(host, small);
    if (!r.load(text)) continue;
    const int32_t pages = r.pages();
    ASSERT_GE(pages, 1) << round;
    checkObjects(r.r, "round " + std::to_string(round));
    Page drawn(r.r, kDoc, pages - 1, 50);
    ZaveVevode_setSearchContext(r.r, u"two", 0);
    EXPECT_GE(r.search(text), 0) << round;
    const int32_t target = ZaveVevode_getLink(r.r, kDoc, handle(u"#x"));
    EXPECT_TRUE(target >= -1 && target < pages) << round;
    std::vector<std::u16string> reported;
    for (const Report& report : host.reports) reported.push_back(std::get<1>(report));
    std::sort(reported.begin(), reported.end());
    EXPECT_EQ(std::adjacent_find(reported.begin(), reported.end()), reported.end()) << round;
  }
}

}  // namespace
