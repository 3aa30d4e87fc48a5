// Resources of content documents as the MuPDF renderer fetches them through
// the read trampoline: images of every kind, style sheets in any encoding
// and with imports, embedded and host fonts, and reports of missing or
// unusable files through renderer callback 2. The documents, style sheets
// and images are written here; the font is the system's DejaVu Sans.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "file_host.h"
#include "pendrel.h"
#include <EpubReader/pendrel_mupdf.h>
#include "css_text.h"
#include "gif.h"

namespace {

using Host = FileHost;

struct Renderer {
  ZaveVevode* r;
  explicit Renderer(Host& host, ZaveVevodeSettings settings = {}) {
    ZaveVevodeOptions options{};
    options.read = Host::read;
    options.callback2 = Host::report;
    options.context = &host;
    options.settings = settings;
    if (!options.settings.setting1) options.settings.setting1 = 300;
    if (!options.settings.setting2) options.settings.setting2 = 400;
    r = ZaveVevode_new(&options);
  }
  ~Renderer() { ZaveVevode_free(&r); }
  bool load(const std::string& text, const char16_t* path) {
    return ZaveVevode_xhtml(r, path, reinterpret_cast<const uint8_t*>(text.data()),
                            static_cast<uint32_t>(text.size()), nullptr, nullptr);
  }
};

// A drawn page and the pixels of interest in it.
struct Page {
  std::vector<uint8_t> pixels;
  int width = 300, height = 400;
  Page(ZaveVevode* r, const char16_t* path, int32_t page = 0) {
    pixels.assign(static_cast<size_t>(width * height * 4), 0);
    PendrelBitmap bitmap{pixels.data(), width, height, width * 4};
    ZaveVevode_draw(r, path, page, reinterpret_cast<intptr_t>(&bitmap), 0, 0, 100);
  }
  template <class Test>
  size_t count(Test test) const {
    size_t n = 0;
    for (size_t i = 0; i < pixels.size(); i += 4)
      n += test(pixels[i], pixels[i + 1], pixels[i + 2]);
    return n;
  }
  size_t ink() const {
    return count([](int r, int g, int b) { return r < 200 || g < 200 || b < 200; });
  }
  size_t red() const {
    return count([](int r, int g, int b) { return r > 180 && g < 60 && b < 60; });
  }
  size_t blue() const {
    return count([](int r, int, int b) { return r < 80 && b > 180; });
  }
  // Leftmost column holding ink.
  int left() const {
    for (int x = 0; x < width; ++x)
      for (int y = 0; y < height; ++y)
        if (pixels[static_cast<size_t>((y * width + x) * 4)] < 128) return x;
    return width;
  }
};

const std::string kRedSvg =
    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"60\" height=\"60\">"
    "<rect width=\"60\" height=\"60\" fill=\"#e00000\"/></svg>";

const char16_t* kDoc = u"OEBPS/text/ch.xhtml";

TEST(MupdfResources, DrawnWhereReferenced) {
  // Each kind of reference draws its red image (or blue text) and never a
  // blank page.
  struct Case {
    const char* name;
    std::string text;
    bool red, blue;
  } cases[] = {
      // Images: an SVG file by <img>, a raster image inside inline SVG.
      {"svg img", page("", "<p>before</p><p><img src=\"../images/red.svg\"/></p>"), true, false},
      {"inline svg image",
       page("",
            "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"80\" height=\"80\">"
            "<image width=\"80\" height=\"80\" xlink:href=\"../images/red.ppm\"/></svg>"),
       true, false},
      {"percent-encoded href", page("", "<p><img src=\"../images/red%20dot.ppm\"/></p>"), true,
       false},
      // Style sheets: UTF-16 with a byte-order mark, an @import chain, a
      // Latin-1 sheet declared by @charset.
      {"utf-16 sheet", page(link("../styles/utf16.css"), "<p>blue words here</p>"), false, true},
      {"import", page(link("../styles/importing.css"), "<p>blue words here</p>"), false, true},
      {"charset", page(link("../styles/latin1.css"), "<p class=\"x\">blue words</p>"), false, true},
      // Background images from a linked sheet, a <style> element and a
      // style attribute, tiled over the padding box.
      {"background sheet", page(link("../styles/bg.css"), "<div class=\"bg\"><p>words</p></div>"),
       true, false},
      {"background style",
       page("<style>div.bg { background: #ffffff url('../images/red.ppm') repeat }</style>",
            "<div class=\"bg\"><p>words</p></div>"),
       true, false},
      {"background over colours",
       page("<style>body { background-color: #f0f0f0 } div { background-color: #fff;"
            " background-image: url(../images/red.ppm) }</style>",
            "<div><p>words</p></div>"),
       true, false},
      {"background tiny tile",
       page("", "<div style=\"padding: 40px; background: url(../images/dot.ppm)\">w</div>"), true,
       false},
      {"background attribute",
       page("",
            "<div style=\"padding: 30px; background-image: url(../images/red.ppm)\">words</div>"),
       true, false},
      // An <object> image (SVG or raster) instead of its fallback text.
      {"object svg",
       page("", "<p>x</p><object data=\"../images/red.svg\" type=\"image/svg+xml\">no</object>"),
       true, false},
      {"object raster", page("", "<p>x</p><object data=\"../images/red%20dot.ppm\">no</object>"),
       true, false},
      // Markup only the HTML5 parser reads, with a stray end tag that leaves
      // an element without a name (which MuPDF's box builder cannot take).
      {"malformed markup",
       "<html><body><p>x</p></><e><object data=\"../images/red.svg\" type=\"image/svg+xml\">no"
       "</object></e></body></html>",
       true, false},
      // @import inside a <style> element.
      {"style import", page("<style>@import url(../styles/deep.css);</style>", "<p>blue words</p>"),
       false, true},
      // An SVG file's image referenced relative to the SVG file.
      {"svg-relative image", page("", "<p>x</p><p><img src=\"../images/sub/framed.svg\"/></p>"),
       true, false},
  };
  Host host;
  host.files[u"OEBPS/images/red.svg"] = kRedSvg;
  host.files[u"OEBPS/images/red.ppm"] = ppm(40, '\xE0', 0, 0);
  host.files[u"OEBPS/images/red dot.ppm"] = ppm(60, '\xE0', 0, 0);
  host.files[u"OEBPS/styles/utf16.css"] = utf16le("p { color: #0000ff; }");
  host.files[u"OEBPS/styles/importing.css"] = "@import url(\"more/blue.css\");\np { margin: 1em }";
  host.files[u"OEBPS/styles/more/blue.css"] = "@import '../../styles/deep.css' screen;";
  host.files[u"OEBPS/styles/deep.css"] = "p { color: #0000ff }";
  host.files[u"OEBPS/styles/bare16.css"] = utf16le("p { color: #0000ff; }").substr(2);
  host.files[u"OEBPS/styles/latin1.css"] = "@charset \"iso-8859-1\";\np.x { color: #0000ff }";
  host.files[u"OEBPS/styles/bg.css"] =
      ".bg { padding: 20px; background-image: url(\"../images/red.ppm\") }";
  host.files[u"OEBPS/images/sub/framed.svg"] =
      "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
      "width=\"60\" height=\"60\"><image width=\"60\" height=\"60\" "
      "xlink:href=\"inner.ppm\"/></svg>";
  host.files[u"OEBPS/images/sub/inner.ppm"] = ppm(40, '\xE0', 0, 0);
  host.files[u"OEBPS/images/dot.ppm"] = ppm(1, '\xE0', 0, 0);
  for (const Case& c : cases) {
    Renderer r(host);
    ASSERT_TRUE(r.load(c.text, kDoc)) << c.name;
    Page drawn(r.r, kDoc);
    EXPECT_GT(drawn.ink(), 100u) << c.name;
    EXPECT_EQ(drawn.red() > 900u, c.red) << c.name;
    EXPECT_EQ(drawn.blue() > 20u, c.blue) << c.name;
    EXPECT_TRUE(host.reports.empty()) << c.name;
  }
}

TEST(MupdfResources, MissingAndBrokenFilesAreReported) {
  // A missing or broken resource is reported once with the document's path
  // and its own (1 missing, 2 unusable); the rest of the page still draws.
  struct Case {
    const char* name;
    std::string text;
    std::vector<Report> reports;
  } cases[] = {
      {"missing image",
       page("", "<p>words</p><p><img src=\"../images/none.png\"/></p>"),
       {{kDoc, u"OEBPS/images/none.png", 1}}},
      {"missing sheet and import",
       page(link("../styles/gone.css") + link("../styles/imports-gone.css"), "<p>words</p>"),
       {{kDoc, u"OEBPS/styles/gone.css", 1}, {kDoc, u"OEBPS/styles/nothing.css", 1}}},
      {"broken image",
       page("", "<p>words</p><p><img src=\"../images/broken.png\"/></p><p>after</p>"),
       {{kDoc, u"OEBPS/images/broken.png", 2}}},
      // A well-formed GIF whose screen is 30000 x 30000 pixels is refused
      // before decoding (found by fuzzing: decoding it asks for gigabytes).
      {"huge image",
       page("", "<p>words</p><p><img src=\"../images/huge.gif\"/></p><p>after</p>"),
       {{kDoc, u"OEBPS/images/huge.gif", 2}}},
      {"broken font",
       page("<style>@font-face { font-family: B; src: url(../fonts/broken.ttf) }"
            " p { font-family: B }</style>",
            "<p>words in a broken font</p>"),
       {{kDoc, u"OEBPS/fonts/broken.ttf", 2}}},
      {"missing svg image",
       page("",
            "<p>words</p><svg xmlns=\"http://www.w3.org/2000/svg\" width=\"20\" height=\"20\">"
            "<image width=\"20\" height=\"20\" xlink:href=\"../images/absent.ppm\"/></svg>"),
       {{kDoc, u"OEBPS/images/absent.ppm", 1}}},
      // Background images and <object> images the host lacks or cannot
      // decode; the object's fallback content is drawn instead.
      {"missing background",
       page(link("../styles/bg-gone.css"), "<div class=\"bg\"><p>words</p></div>"),
       {{kDoc, u"OEBPS/images/nobg.png", 1}}},
      {"missing background attribute",
       page("", "<p style=\"background: url(../images/nostyle.png) no-repeat\">words</p>"),
       {{kDoc, u"OEBPS/images/nostyle.png", 1}}},
      {"broken background",
       page("<style>p { background-image: url(../images/broken.png) }</style>", "<p>words</p>"),
       {{kDoc, u"OEBPS/images/broken.png", 2}}},
      {"missing object image",
       page("", "<object data=\"../images/noobj.png\" type=\"image/png\"><p>fallback</p></object>"),
       {{kDoc, u"OEBPS/images/noobj.png", 1}}},
      {"missing import in style",
       page("<style>@import 'nothing.css';</style>", "<p>words</p>"),
       {{kDoc, u"OEBPS/text/nothing.css", 1}}},
      // An empty end tag before an unknown element: MuPDF's own reading of
      // such markup crashes; prepared, the text is drawn.
      {"empty end tag", "<html><body><p>words</p></><e>more words</e></body></html>", {}},
      // A broken image in a data: URI is no file of the publication: the
      // style sheet read before it is not blamed.
      {"broken data image",
       page(link("../styles/fine.css"),
            "<p>words</p><p><img src=\"data:image/png;base64,iVBORw0KGgoAAAA\"/></p>"),
       {}},
  };
  std::string png = "\x89PNG\r\n\x1a\n";
  png += std::string("\0\0\0\x0dIHDR\0\0\0\x10\0\0\0\x10\x08\x02\0\0\0", 21);
  png += std::string(40, '\x55');
  // Screen 30000 x 30000 with a two-colour table; one 1 x 1 image in it.
  const std::string huge(
      "GIF89a\x30\x75\x30\x75\x80\0\0"
      "\0\0\0\xff\xff\xff"
      ",\0\0\0\0\1\0\1\0\0"
      "\x02\x02\x44\x01\0;",
      35);
  for (const Case& c : cases) {
    Host host;
    host.files[u"OEBPS/images/broken.png"] = png;
    host.files[u"OEBPS/images/huge.gif"] = huge;
    host.files[u"OEBPS/fonts/broken.ttf"] = std::string("\0\1\0\0garbage", 11);
    host.files[u"OEBPS/styles/imports-gone.css"] = "@import \"nothing.css\";";
    host.files[u"OEBPS/styles/fine.css"] = "p { margin: 1em }";
    host.files[u"OEBPS/styles/bg-gone.css"] = ".bg { background: url(../images/nobg.png) }";
    Renderer r(host);
    ASSERT_TRUE(r.load(c.text, kDoc)) << c.name;
    EXPECT_GT(Page(r.r, kDoc).ink(), 50u) << c.name;
    EXPECT_EQ(host.reports, c.reports) << c.name;
    // Laying the document out again reports nothing new.
    ZaveVevode_calcPageSize(r.r, PENDREL_PAGE_SIZE(250, 300), 1);
    EXPECT_GT(Page(r.r, kDoc).ink(), 50u) << c.name;
    EXPECT_EQ(host.reports.size(), c.reports.size()) << c.name;
  }
}

// GIF files built block by block. A 16-bit little-endian number:
std::string le16(int v) { return {char(v & 0xff), char(v >> 8 & 0xff)}; }

// `data` cut into sub-blocks of up to 255 bytes, with the empty one after.
std::string subBlocks(const std::string& data) {
  std::string out;
  for (size_t at = 0; at < data.size(); at += 255) {
    const std::string part = data.substr(at, 255);
    out += char(part.size()) + part;
  }
  return out + '\0';
}

// A GIF of a `w` x `h` screen with a two-colour table (white, red), then
// `blocks` and the trailer.
std::string gif(int w, int h, const std::string& blocks, const char* version = "89a") {
  return std::string("GIF") + version + le16(w) + le16(h) + std::string("\x80\0\0", 3) +
         std::string("\xff\xff\xff\xe0\0\0", 6) + blocks + ";";
}

// An image descriptor at (x, y) of `w` x `h` pixels and `flags`, then
// `table` (a local colour table) and LZW data painting `painted` pixels in
// colour 1. Eight-bit codes with a clear code every 100 pixels keep every
// code one byte.
std::string frame(int x, int y, int w, int h, int painted, char flags = 0,
                  const std::string& table = "") {
  std::string codes;
  for (int i = 0; i < painted; ++i) codes += i % 100 ? "\x01" : "\x80\x01";
  codes += '\x81';
  return ',' + le16(x) + le16(y) + le16(w) + le16(h) + flags + table + '\x07' + subBlocks(codes);
}

const std::string kGraphicControl("!\xf9\x04\0\0\0\0\0", 8);
const std::string kComment = "!\xfe" + subBlocks("made here");
const std::string kLooping = "!\xff\x0bNETSCAPE2.0" + subBlocks(std::string("\x01\0\0", 3));
const std::string kPlainText = "!\x01\x0c" + std::string(12, '\x01') + subBlocks("text");
const std::string kProfile = "!\xff\x0bICCRGBG1012";
const std::string kRedGif = gif(40, 40, frame(0, 0, 40, 40, 1600));

TEST(MupdfResources, GifDecodedPixels) {
  struct Case {
    const char* name;
    std::string bytes;
    uint64_t pixels;
    uint64_t limit = uint64_t(1) << 26;
  } cases[] = {
      // Every frame reaching into the screen counts at its own size, the
      // screen's own size aside; frames wholly outside it are skipped.
      {"one frame", kRedGif, 1600},
      {"two frames", gif(40, 40, frame(0, 0, 40, 40, 1600) + frame(5, 5, 10, 10, 100)), 1700},
      {"huge frame in a tiny screen", gif(1, 1, frame(0, 0, 28525, 28526, 1)),
       uint64_t(28525) * 28526},
      {"frame right of the screen", gif(40, 40, frame(40, 0, 60000, 60000, 1)), 0},
      {"frame below the screen", gif(40, 40, frame(0, 40, 60000, 60000, 1)), 0},
      {"empty rows", gif(40, 40, frame(0, 0, 0, 7, 0)), 7},
      {"local colour table", gif(40, 40, frame(0, 0, 20, 20, 400, '\x81', std::string(12, '\x60'))),
       400},
      // Extensions are stepped over with their sub-blocks (a graphic
      // control block by its fixed size); GIF87a has none.
      {"extensions",
       gif(40, 40, kGraphicControl + kComment + kLooping + kPlainText + frame(0, 0, 40, 40, 9)),
       1600},
      {"extension in GIF87a", gif(40, 40, kComment + frame(0, 0, 40, 40, 9), "87a"), 0},
      {"GIF87a frame", gif(40, 40, frame(0, 0, 40, 40, 9), "87a"), 1600},
      {"graphic control of another size",
       gif(40, 40, std::string("!\xf9\x05\0\0\0\0\0\0", 9) + frame(0, 0, 40, 40, 9)), 0},
      {"profile", gif(40, 40, kProfile + subBlocks("profile") + frame(0, 0, 40, 40, 9)), 1600},
      // Counting stops where the decoder stops: at a block it cannot read,
      // a cut (a frame whose data is cut is never decoded), the trailer, or
      // past the limit.
      {"unknown block", gif(40, 40, std::string("\0", 1) + frame(0, 0, 40, 40, 9)), 0},
      {"cut in the data", gif(1, 1, frame(0, 0, 9000, 9000, 1)).substr(0, 30), 0},
      {"cut after the frame", gif(1, 1, frame(0, 0, 9000, 9000, 1)).substr(0, 35), 81000000},
      {"cut in the colour table", kRedGif.substr(0, 16), 0},
      {"after the trailer", kRedGif + frame(0, 0, 40, 40, 1), 1600},
      {"past the limit",
       gif(40, 40,
           frame(0, 0, 4000, 4000, 1) + frame(0, 0, 4000, 4000, 1) + frame(0, 0, 4000, 4000, 1)),
       32000000, 20000000},
      {"no GIF", "GIF88a" + kRedGif.substr(6), 0},
      // A profile cut short makes the decoder read on from inside it.
      {"cut profile", gif(40, 40, kProfile + "\x40" + frame(0, 0, 40, 40, 9)).substr(0, 40),
       UINT64_MAX},
  };
  for (const Case& c : cases)
    EXPECT_EQ(pendrel_mupdf::gifDecodedPixels(c.bytes, c.limit), c.pixels) << c.name;
}

TEST(MupdfResources, GifFramesAreWeighed) {
  // A GIF is refused (reported unusable, its alternative drawn) when its
  // screen or its frames between them hold more than 64 megapixels, or it
  // does not decode; it is weighed without being decoded, so this is fast.
  const std::string large = frame(0, 0, 4000, 4000, 1);  // 16 megapixels
  struct Case {
    const char* name;
    std::string gif;
    bool red;
    bool reported;
  } cases[] = {
      // Small pictures draw, one frame or several, also with a frame
      // outside the screen, which is never decoded.
      {"small", kRedGif, true, false},
      {"animated", gif(40, 40, frame(0, 0, 40, 40, 1600) + kGraphicControl + frame(0, 0, 9, 9, 81)),
       true, false},
      {"frame outside", gif(40, 40, frame(0, 0, 40, 40, 1600) + frame(40, 40, 60000, 60000, 1)),
       true, false},
      // Too many pixels: in the screen, in one frame of a tiny screen, in
      // frames that are each small enough.
      {"huge screen", gif(30000, 30000, frame(0, 0, 1, 1, 1)), false, true},
      {"huge frame", gif(1, 1, frame(0, 0, 28525, 28526, 1)), false, true},
      {"many large frames", gif(40, 40, large + large + large + large + large), false, true},
      // Cut files do not decode, as before; a huge frame before the cut is
      // not decoded first.
      {"cut before the trailer", kRedGif.substr(0, kRedGif.size() - 1), false, true},
      {"cut in the frame", kRedGif.substr(0, 100), false, true},
      {"cut profile", gif(40, 40, kProfile + frame(0, 0, 9, 9, 0)), false, true},
      {"huge frame then cut", gif(1, 1, frame(0, 0, 28525, 28526, 1)).substr(0, 35), false, true},
  };
  for (const Case& c : cases) {
    Host host;
    host.files[u"OEBPS/images/a.gif"] = c.gif;
    Renderer r(host);
    ASSERT_TRUE(r.load(page("", "<p>words</p><p><img src=\"../images/a.gif\"/></p>"), kDoc))
        << c.name;
    Page drawn(r.r, kDoc);
    EXPECT_GT(drawn.ink(), 50u) << c.name;
    EXPECT_EQ(drawn.red() > 400u, c.red) << c.name << ": " << drawn.red();
    std::vector<Report> reports;
    if (c.reported) reports.push_back({kDoc, u"OEBPS/images/a.gif", 2});
    EXPECT_EQ(host.reports, reports) << c.name;
  }
}

TEST(MupdfResources, MutatedGifsAreWeighedWithinBounds) {
  // Randomly damaged GIFs are weighed without reading past their end
  // (checked by the sanitizers); a count is at most one frame past the
  // limit.
  const int iterations = randomizedRounds(20000, 3000);
  const std::string seeds[] = {
      kRedGif,
      gif(40, 40,
          kGraphicControl + kComment + kLooping + kPlainText + frame(0, 0, 40, 40, 300) +
              frame(3, 3, 9, 9, 81, '\x80', std::string(6, '\x10'))),
      gif(40, 40, kProfile + subBlocks("profile") + frame(0, 0, 600, 700, 1)),
  };
  std::mt19937 random(18);
  for (int i = 0; i < iterations; ++i) {
    const std::string bytes = mutate(seeds[random() % 3], random, 6, 8, 24);
    const uint64_t limit = random() % 2 ? uint64_t(1) << 26 : 1000;
    const uint64_t pixels = pendrel_mupdf::gifDecodedPixels(bytes, limit);
    if (pixels != UINT64_MAX) {
      EXPECT_LE(pixels, limit + 65535u * 65535u) << i;
    }
  }
}

TEST(MupdfResources, Fonts) {
  std::string font = fontFile();
  if (font.empty()) GTEST_SKIP() << kFontFile << " is not installed";
  Host host;
  host.files[u"OEBPS/fonts/f.ttf"] = font;
  host.files[u"host/default.ttf"] = font;
  host.files[u"host/not-a-font.ttf"] = "plain text";
  const std::string embedded = page(
      "<style>@font-face { font-family: \"Emb\"; src: url(../fonts/f.ttf) format(\"truetype\") }"
      " p { font-family: \"Emb\", serif }</style>",
      "<p>Hamburgefonstiv quick brown fox</p>");
  const std::string plain = page("", "<p>Hamburgefonstiv quick brown fox</p>");
  auto draw = [&](const std::string& text, auto setUp) {
    Renderer r(host);
    setUp(r.r);
    EXPECT_TRUE(r.load(text, kDoc));
    return Page(r.r, kDoc).pixels;
  };
  auto none = [](ZaveVevode*) {};
  // An embedded font draws differently from the fallback it replaces, and
  // switching embedded fonts off gives the fallback again.
  auto withFont = draw(embedded, none);
  auto fallback = draw(plain, none);
  auto switchedOff =
      draw(embedded, [](ZaveVevode* r) { EXPECT_EQ(ZaveVevode_setUseEpubEmbeddedFont(r, 0), 1); });
  EXPECT_NE(withFont, fallback);
  EXPECT_EQ(switchedOff, fallback);
  auto switchedOn = draw(embedded, [](ZaveVevode* r) {
    ZaveVevode_setUseEpubEmbeddedFont(r, 0);
    ZaveVevode_setUseEpubEmbeddedFont(r, 1);
  });
  EXPECT_EQ(switchedOn, withFont);
  // The host's font becomes the default face; a file that is no font, or
  // a null path, leaves the built-in one.
  auto hostDefault = draw(plain, [](ZaveVevode* r) {
    ZaveVevode_loadFont(r, reinterpret_cast<intptr_t>(u"host/default.ttf"), 0, 0);
  });
  EXPECT_EQ(hostDefault, withFont);
  auto notAFont = draw(plain, [](ZaveVevode* r) {
    ZaveVevode_loadFont(r, reinterpret_cast<intptr_t>(u"host/not-a-font.ttf"), 0, 0);
  });
  EXPECT_EQ(notAFont, fallback);
  auto cleared = draw(plain, [](ZaveVevode* r) {
    ZaveVevode_loadFont(r, reinterpret_cast<intptr_t>(u"host/default.ttf"), 0, 0);
    ZaveVevode_loadFont(r, 0, 0, 0);
  });
  EXPECT_EQ(cleared, fallback);
  EXPECT_TRUE(host.reports.empty());
  // Bold, italic and monospace text keep their own built-in faces.
  auto regular = draw(page("", "<p>Hamburgefonstiv</p>"), none);
  for (const char* styled :
       {"<p><b>Hamburgefonstiv</b></p>", "<p><i>Hamburgefonstiv</i></p>",
        "<p><b><i>Hamburgefonstiv</i></b></p>", "<p><code>Hamburgefonstiv</code></p>"})
    EXPECT_NE(draw(page("", styled), none), regular) << styled;
}

TEST(MupdfResources, Settings) {
  // Margins replace MuPDF's page margins (24 points a side, 36 top and
  // bottom) and move the text in; line height spreads it over more pages;
  // 0 keeps the default.
  std::string text = "<p>";
  for (int i = 0; i < 400; ++i) text += "word" + std::to_string(i) + " ";
  text = page("", text + "</p>");
  auto measure = [&](ZaveVevodeSettings s, int* left) {
    Host host;
    Renderer r(host, s);
    EXPECT_TRUE(r.load(text, kDoc));
    *left = Page(r.r, kDoc).left();
    return ZaveVevode_getPageLength(r.r, kDoc);
  };
  int left0 = 0, left1 = 0, left2 = 0;
  ZaveVevodeSettings base{};
  int32_t pages0 = measure(base, &left0);
  ZaveVevodeSettings margins{};
  margins.setting4 = 40;
  margins.setting6 = 60;
  int32_t pages1 = measure(margins, &left1);
  ZaveVevodeSettings spaced{};
  spaced.setting8 = 200;
  spaced.setting5 = 1;
  int32_t pages2 = measure(spaced, &left2);
  EXPECT_GE(left1, left0 + 14);
  EXPECT_LE(left1, left0 + 18);
  EXPECT_GT(pages1, pages0);
  EXPECT_GT(pages2, pages0);
  EXPECT_EQ(left2, left0);
}

TEST(MupdfResources, StyleSheetText) {
  // Encodings: byte-order marks, UTF-16 @charset without one, @charset
  // and the link's charset for single-byte sheets.
  struct Decode {
    std::string bytes, declared, utf8;
  } decodes[] = {
      {"\xEF\xBB\xBFp{}", "", "p{}"},
      {std::string("\xFF\xFEp\0{\0}\0", 8), "", "p{}"},
      {std::string("\xFE\xFF\0p\0{\0}", 8), "", "p{}"},
      {std::string("@\0c\0h\0a\0r\0", 10), "", "@char"},
      {std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6), "", "\xF0\x9F\x98\x80"},
      {"@charset \"ISO-8859-1\"; p:after{content:'\xE9'}", "",
       "@charset \"ISO-8859-1\"; p:after{content:'\xC3\xA9'}"},
      {"a{content:'\x93'}", "windows-1252", "a{content:'\xE2\x80\x9C'}"},
      {std::string("a\0", 2), "utf-16", "a"},
      {"caf\xC3\xA9", "utf-8", "caf\xC3\xA9"},
  };
  for (const Decode& d : decodes)
    EXPECT_EQ(pendrel_mupdf::cssToUtf8(d.bytes, d.declared), d.utf8) << d.bytes;

  // Imports: followed relative to the importing sheet, url()s inside
  // imported text rewritten for the top sheet's folder, media other than
  // screen skipped, @charset dropped, cycles bounded.
  std::map<std::string, std::string> sheets = {
      {"S/a/one.css", "@charset \"utf-8\"; .one { src: url(../f/x.ttf) } @import 'two.css';"},
      {"S/a/two.css", ".two { background: url( \"img/p.png\" ) }"},
      {"S/print.css", ".print {}"},
      {"S/loop.css", "@import \"loop.css\"; .l{}"},
  };
  auto read = [&](const std::string& path) -> std::optional<std::string> {
    auto it = sheets.find(path);
    if (it == sheets.end()) return std::nullopt;
    return it->second;
  };
  struct Expand {
    std::string css, out;
  } expands[] = {
      {"@import url(a/one.css);\nb{}",
       " .one { src: url(\"f/x.ttf\") } .two { background: url(\"a/img/p.png\") }\n\n\nb{}"},
      {"@import \"print.css\" print; @import 'print.css' screen, print;", " .print {}\n"},
      {"/* @import 'a/two.css'; */ x { content: \"@import 'a/two.css';\" }",
       "/* @import 'a/two.css'; */ x { content: \"@import 'a/two.css';\" }"},
      {"@import 'missing.css'; c{}", " c{}"},
      {"@import url(data:text/css,x); d{}", " d{}"},
  };
  for (const Expand& e : expands)
    EXPECT_EQ(pendrel_mupdf::expandImports(e.css, "S/top.css", read), e.out) << e.css;
  std::string looped = pendrel_mupdf::expandImports("@import 'loop.css';", "S/top.css", read);
  EXPECT_EQ(std::count(looped.begin(), looped.end(), 'l'), 8);

  // The charset attributes of <link> elements in the document's head.
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(pendrel_mupdf::linkCharsets(
                "<html><head><LINK rel=stylesheet HREF=a.css charset=\"utf-16\"/>"
                "<link href='b.css'><link charset=latin1 href = \"c d.css\" >"
                "<linked charset=x href=y></head><body><link href=e.css charset=x/>"),
            (Pairs{{"a.css", "utf-16"}, {"c d.css", "latin1"}}));
  EXPECT_EQ(pendrel_mupdf::linkCharsets("<link href=\"unclosed charset=x"), Pairs{});

  // Relative paths between folders of the container.
  EXPECT_EQ(pendrel_mupdf::relativePath("S", "S/a/b.png"), "a/b.png");
  EXPECT_EQ(pendrel_mupdf::relativePath("S/a", "S/f/x.ttf"), "../f/x.ttf");
  EXPECT_EQ(pendrel_mupdf::relativePath("", "x.css"), "x.css");
  EXPECT_EQ(pendrel_mupdf::relativePath("A/B", "x.css"), "../../x.css");
}

TEST(MupdfResources, BackgroundGeometry) {
  // A background image starts at the padding box's top left corner (the
  // box: 228 x 95 points), at its own size (40 pixels: 30 points) unless
  // scaled, tiled as repeat says, never past the box.
  struct Case {
    const char* name;
    const char* style;
    int minWidth, maxWidth, minHeight, maxHeight;
    int dx, dy;  // the image's corner from the box's, in whole points
  } cases[] = {
      {"no-repeat", "background: url(../images/red.ppm) no-repeat", 29, 31, 29, 31, 0, 0},
      {"repeat-x", "background-image: url(../images/red.ppm); background-repeat: repeat-x", 227,
       229, 29, 31, 0, 0},
      {"repeat-y", "background: url(../images/red.ppm) repeat-y", 29, 31, 94, 96, 0, 0},
      {"repeat", "background: url(../images/red.ppm)", 227, 229, 94, 96, 0, 0},
      {"cover", "background: url(../images/red.ppm) no-repeat; background-size: cover", 227, 229,
       94, 96, 0, 0},
      {"contain", "background: url(../images/red.ppm) no-repeat; background-size: contain", 94, 96,
       94, 96, 0, 0},
      // Background-position: keywords, percentages and lengths, in the
      // shorthand or on their own; a positioned pattern still fills the box.
      {"center", "background: url(../images/red.ppm) no-repeat center", 29, 31, 29, 31, 99, 32},
      {"bottom right",
       "background: url(../images/red.ppm) no-repeat; background-position: bottom "
       "right",
       29, 31, 29, 31, 198, 65},
      {"percent and px", "background: url(../images/red.ppm) 50% 20px no-repeat", 29, 31, 29, 31,
       99, 15},
      {"positioned pattern", "background: url(../images/red.ppm) center", 227, 229, 94, 96, 0, 0},
  };
  Host host;
  host.files[u"OEBPS/images/red.ppm"] = ppm(40, '\xE0', 0, 0);
  int left = -1, top = -1;
  for (const Case& c : cases) {
    Renderer r(host);
    ASSERT_TRUE(r.load(
        page("", std::string("<div style=\"padding: 40px; ") + c.style + "\">x</div><p>after</p>"),
        kDoc))
        << c.name;
    Page drawn(r.r, kDoc);
    int x0 = drawn.width, y0 = drawn.height, x1 = -1, y1 = -1;
    for (int y = 0; y < drawn.height; ++y)
      for (int x = 0; x < drawn.width; ++x) {
        const uint8_t* p = &drawn.pixels[static_cast<size_t>((y * drawn.width + x) * 4)];
        if (p[0] > 180 && p[1] < 60 && p[2] < 60) {
          x0 = std::min(x0, x);
          y0 = std::min(y0, y);
          x1 = std::max(x1, x + 1);
          y1 = std::max(y1, y + 1);
        }
      }
    ASSERT_GE(x1, 0) << c.name;
    EXPECT_GE(x1 - x0, c.minWidth) << c.name;
    EXPECT_LE(x1 - x0, c.maxWidth) << c.name;
    EXPECT_GE(y1 - y0, c.minHeight) << c.name;
    EXPECT_LE(y1 - y0, c.maxHeight) << c.name;
    if (left < 0) {
      left = x0;
      top = y0;
    }
    EXPECT_NEAR(x0 - left, c.dx, 1) << c.name;
    EXPECT_NEAR(y0 - top, c.dy, 1) << c.name;
  }
  EXPECT_TRUE(host.reports.empty());
}

TEST(MupdfResources, BackgroundRulesText) {
  // Which texts set a background image: a background or background-image
  // declaration holding a url(), in a sheet, a <style> or an attribute.
  struct Sets {
    const char* css;
    bool sets;
  } sets[] = {
      {"p { background-image: url(a.png) }", true},
      {"p{BACKGROUND :#fff URL('a.png') no-repeat}", true},
      {"<p style=\"color: red; background: url(a.png)\">", true},
      {"p { background-color: #fff } q { list-style-image: url(a.png) }", false},
      {"p { background: #fff } .x { src: url(f.ttf) }", false},
      {"p.background { color: red } /* url( */", false},
  };
  for (const Sets& c : sets) EXPECT_EQ(pendrel_mupdf::setsBackgroundImage(c.css), c.sets) << c.css;

  // The matcher's copy: background declarations renamed to properties
  // MuPDF keeps, url()s as full paths from the sheet's folder, other rules
  // and comments left out, @media blocks kept around the rules they hold.
  struct Rules {
    const char* css;
    const char* out;
  } rules[] = {
      {"h1 { color: red } /* c */ .a { background: url(../i/a.png) no-repeat; margin: 0 }",
       "  .a { src: url(\"/S/i/a.png\") no-repeat; margin: 0 }"},
      {"@font-face { src: url(f.ttf) } p{background-repeat:repeat-x;background-size:cover}",
       " p{widows:repeat-x;orphans:cover}"},
      {"@media screen { .b { background-image: url('x%20y.png') } .c { color: red } }",
       "@media screen { .b { src: url(\"/S/t/x y.png\") } }"},
      {"background-image: url(data:image/png;base64,AA); padding: 1em",
       "src: url(data:image/png;base64,AA); padding: 1em"},
      {"a { background: url(../../../out.png) } }", "a { src: url(../../../out.png) } }"},
  };
  for (const Rules& c : rules)
    EXPECT_EQ(pendrel_mupdf::backgroundRules(c.css, "S/t/sheet.css"), c.out) << c.css;

  // Documents that may need their markup prepared, and their links.
  EXPECT_TRUE(pendrel_mupdf::mayNeedPreparing("<body><object data=\"a.png\"/></body>"));
  EXPECT_TRUE(pendrel_mupdf::mayNeedPreparing("<style>@import 'a.css';</style>"));
  EXPECT_FALSE(pendrel_mupdf::mayNeedPreparing("<p>an object, a background</p>"));
  EXPECT_EQ(pendrel_mupdf::linkHrefs("<head><link href='a.css'/><link rel=x></head><body>"
                                     "<link href=b.css>"),
            std::vector<std::string>{"a.css"});
}

TEST(MupdfResources, MutatedStyleSheetsNeverCrash) {
  // Randomly damaged style sheets, imported from each other, decode and
  // expand within bounds; documents linking them yield their charsets.
  const int iterations = randomizedRounds(2000, 300);
  const std::string seeds[] = {
      "@charset \"iso-8859-1\"; @import url('b.css') screen; p { font: 12pt serif }",
      "@import \"a.css\"; @font-face { src: url(../f/x.ttf) } /* c */ q { content: '\\'' }",
      utf16le("@import 'a.css'; p { color: red }"),
  };
  std::mt19937 random(16);
  std::map<std::string, std::string> sheets;
  auto read = [&](const std::string& path) -> std::optional<std::string> {
    auto it = sheets.find(path);
    if (it == sheets.end()) return std::nullopt;
    return pendrel_mupdf::cssToUtf8(it->second);
  };
  for (int i = 0; i < iterations; ++i) {
    for (const char* name : {"S/a.css", "S/b.css"}) {
      std::string text = mutate(seeds[random() % 3], random, 8, 8, 24);
      sheets[name] = text;
    }
    std::string top = pendrel_mupdf::cssToUtf8(sheets["S/a.css"], i % 2 ? "utf-16be" : "latin1");
    std::string head = "<head><link rel='stylesheet' href=\"" + sheets["S/b.css"] +
                       "\" charset=utf-8/>" + sheets["S/a.css"] + "<link charset=";
    for (const auto& [href, charset] : pendrel_mupdf::linkCharsets(head))
      EXPECT_LE(href.size() + charset.size(), head.size());
    std::string out = pendrel_mupdf::expandImports(top, "S/a.css", read);
    EXPECT_LE(out.size(), (8u << 20) + (1u << 16));
  }
}

}  // namespace

namespace {

TEST(MupdfResources, MutatedPreparedDocumentsNeverCrash) {
  // Randomly damaged documents and sheets with objects, imports and
  // background images go through the markup preparation (XML or HTML5
  // parse, matching, rewriting) and draw without crashing or leaking.
  const int iterations = randomizedRounds(600, 120);
  const std::string seeds[] = {
      page(link("../styles/bg.css") + "<style>@import 'more.css'; .x { background: url(a.ppm) }"
                                      "</style>",
           "<div class=\"bg\" id=\"d\"><p class=\"x\">a &amp; b</p><object data=\"../images/"
           "red.svg\" type=\"image/svg+xml\"><p>fb</p></object></div>"),
      page("",
           "<p style=\"background-image:url('../images/red.ppm');padding:9px\">w</p>"
           "<object data=\"../images/red.ppm\"/><svg xmlns=\"http://www.w3.org/2000/svg\" "
           "width=\"9\" height=\"9\"><image xlink:href=\"../images/red.ppm\"/></svg>"),
      "<html><head><style>@import url(\"../styles/bg.css\") screen;</style></head><body "
      "style=\"background:url(../images/sub/x.svg) repeat-x\"><p>unclosed<br><object "
      "data=../images/red.ppm>t</body></html>",
  };
  std::mt19937 random(17);
  auto mutate = [&](std::string text) { return ::mutate(std::move(text), random, 6, 8, 24); };
  for (int i = 0; i < iterations; ++i) {
    Host host;
    host.files[u"OEBPS/images/red.ppm"] = ppm(8, '\xE0', 0, 0);
    host.files[u"OEBPS/images/red.svg"] = kRedSvg;
    host.files[u"OEBPS/images/sub/x.svg"] = mutate(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"4\" height=\"4\"><image width=\"4\" "
        "height=\"4\" xlink:href=\"../red.ppm\"/></svg>");
    host.files[u"OEBPS/styles/bg.css"] = mutate(
        ".bg { background: #eee url(../images/red.ppm) no-repeat; background-size: "
        "contain } @import 'more.css';");
    host.files[u"OEBPS/styles/more.css"] = mutate("p { background-image: url(../images/x.png) }");
    Renderer r(host);
    std::string text = mutate(seeds[random() % 3]);
    if (!r.load(text, kDoc)) continue;
    int32_t pages = ZaveVevode_getPageLength(r.r, kDoc);
    EXPECT_GE(pages, 1);
    Page drawn(r.r, kDoc, pages - 1);
    EXPECT_LE(host.reports.size(), 16u);
  }
}

}  // namespace
