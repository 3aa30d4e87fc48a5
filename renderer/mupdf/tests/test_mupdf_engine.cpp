// The engine (libEpubReader.so) on the MuPDF renderer, through the public
// exports only: a publication written here whose documents reference
// resources of every kind, drawn page by page, with the renderer's reports
// reaching the host's renderer callback 2.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "epubreader.h"
#include "file_host.h"
#include <EpubReader/pendrel_mupdf.h>

namespace {

using Publication = FileHost;

const std::string kFont = fontFile();

struct Document {
  const char* name;
  std::string text;
  bool red, blue;
};

// One document per kind of resource, in reading order.
const std::vector<Document>& documents() {
  static const std::vector<Document> all = {
      {"svg-img", page("", "<p>an SVG image</p><p><img src=\"../images/red.svg\"/></p>"), true,
       false},
      {"svg-cover",
       page("",
            "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"100\" height=\"100\">"
            "<image width=\"100\" height=\"100\" xlink:href=\"../images/cover.ppm\"/></svg>"),
       true, false},
      {"utf16-css", page(link("../styles/utf16.css"), "<p>blue text in UTF-16 CSS</p>"), false,
       true},
      {"import", page(link("../styles/main.css"), "<p>blue text imported</p>"), false, true},
      {"embedded-font",
       page("<style>@font-face { font-family: E; src: url(../fonts/e.ttf) } p { font-family: E }"
            "</style>",
            "<p>Hamburgefonstiv embedded</p>"),
       false, false},
      {"css-background",
       page(link("../styles/cover.css"), "<div class=\"cover\"><p>over a background</p></div>"),
       true, false},
      {"object-image",
       page("",
            "<p>an object</p><object data=\"../images/red.svg\" type=\"image/svg+xml\">"
            "<p>fallback</p></object>"),
       true, false},
      {"style-import",
       page("<style>@import \"../styles/parts/colour.css\";</style>", "<p>blue text imported</p>"),
       false, true},
      {"svg-relative",
       page("", "<p>an SVG file</p><p><img src=\"../images/framed/frame.svg\"/></p>"), true, false},
      {"missing-image", page("", "<p>text stays</p><p><img src=\"../images/lost.png\"/></p>"),
       false, false},
      {"corrupt-font",
       page("<style>@font-face { font-family: C; src: url(../fonts/bad.otf) } p { font-family: C "
            "}</style>",
            "<p>text in a fallback face</p>"),
       false, false},
  };
  return all;
}

Publication publication() {
  Publication p;
  p.files[u"mimetype"] = "application/epub+zip";
  p.files[u"META-INF/container.xml"] =
      "<?xml version=\"1.0\"?><container version=\"1.0\" "
      "xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\"><rootfiles>"
      "<rootfile full-path=\"OEBPS/content.opf\" "
      "media-type=\"application/oebps-package+xml\"/></rootfiles></container>";
  std::string manifest, spine;
  for (const Document& d : documents()) {
    std::string href = std::string("text/") + d.name + ".xhtml";
    manifest += "<item id=\"" + std::string(d.name) + "\" href=\"" + href +
                "\" media-type=\"application/xhtml+xml\"/>";
    spine += "<itemref idref=\"" + std::string(d.name) + "\"/>";
    p.files[u"OEBPS/" + std::u16string(href.begin(), href.end())] = d.text;
  }
  p.files[u"OEBPS/content.opf"] =
      "<?xml version=\"1.0\"?><package xmlns=\"http://www.idpf.org/2007/opf\" version=\"2.0\" "
      "unique-identifier=\"id\"><metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
      "<dc:title>Resources</dc:title><dc:identifier id=\"id\">r</dc:identifier></metadata>"
      "<manifest>" +
      manifest + "</manifest><spine>" + spine + "</spine></package>";
  p.files[u"OEBPS/images/red.svg"] =
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"60\" height=\"60\">"
      "<rect width=\"60\" height=\"60\" fill=\"#e00000\"/></svg>";
  p.files[u"OEBPS/images/cover.ppm"] = ppm(50, '\xE0', 0, 0);
  p.files[u"OEBPS/styles/utf16.css"] = utf16le("p { color: #0000ff }");
  p.files[u"OEBPS/styles/main.css"] = "@import \"parts/colour.css\";";
  p.files[u"OEBPS/styles/parts/colour.css"] = "p { color: #0000ff }";
  p.files[u"OEBPS/styles/cover.css"] =
      "div.cover { padding: 40px; background: url(\"../images/cover.ppm\") no-repeat; "
      "background-size: cover }";
  p.files[u"OEBPS/images/framed/frame.svg"] =
      "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
      "width=\"80\" height=\"80\"><image width=\"80\" height=\"80\" xlink:href=\"pic.ppm\"/></svg>";
  p.files[u"OEBPS/images/framed/pic.ppm"] = ppm(50, '\xE0', 0, 0);
  p.files[u"OEBPS/fonts/e.ttf"] = kFont;
  p.files[u"OEBPS/fonts/bad.otf"] = "OTTO but not a font";
  return p;
}

struct Page {
  std::vector<uint8_t> pixels = std::vector<uint8_t>(300 * 400 * 4);
  Page(EpubReader* reader, const std::u16string& path) {
    PendrelBitmap bitmap{pixels.data(), 300, 400, 300 * 4};
    EpubReader_drawContent(reader, path.c_str(), 0, reinterpret_cast<intptr_t>(&bitmap), 0, 0, 100);
  }
  template <class Test>
  size_t count(Test test) const {
    size_t n = 0;
    for (size_t i = 0; i < pixels.size(); i += 4)
      n += test(pixels[i], pixels[i + 1], pixels[i + 2]);
    return n;
  }
};

struct Reader {
  EpubReader* reader;
  explicit Reader(Publication& p, intptr_t embedded = 1) {
    EpubReaderHostOptions options{};
    options.read = Publication::read;
    options.rendererCallback2 = Publication::report;
    options.userData = &p;
    reader = EpubReader_new(&options);
    EpubReader_setUseEpubEmbeddedFont(reader, embedded);
    const std::string& mimetype = p.files[u"mimetype"];
    const std::string& container = p.files[u"META-INF/container.xml"];
    EpubReader_readMimeType(reader, reinterpret_cast<const uint8_t*>(mimetype.data()),
                            static_cast<int32_t>(mimetype.size()));
    EpubReader_readContainer(reader, reinterpret_cast<const uint8_t*>(container.data()),
                             static_cast<uint32_t>(container.size()));
    EpubReader_changeClientSize(reader, PENDREL_PAGE_SIZE(300, 400));
    EpubReader_loadAll(reader, nullptr, nullptr);
  }
  ~Reader() { EpubReader_free(&reader); }
};

std::u16string pathOf(const Document& d) {
  std::string path = std::string("OEBPS/text/") + d.name + ".xhtml";
  return std::u16string(path.begin(), path.end());
}

TEST(MupdfEngine, EveryDocumentDrawsItsResources) {
  // Each document draws ink, its red image or blue text where it has one,
  // through the engine's loading and drawing.
  Publication p = publication();
  Reader r(p);
  ASSERT_GE(EpubReader_getPageCount(r.reader), static_cast<int32_t>(documents().size()));
  for (const Document& d : documents()) {
    Page page(r.reader, pathOf(d));
    EXPECT_GT(page.count([](int r, int g, int b) { return r < 200 || g < 200 || b < 200; }), 100u)
        << d.name;
    size_t red = page.count([](int r, int g, int b) { return r > 180 && g < 60 && b < 60; });
    size_t blue = page.count([](int r, int, int b) { return r < 80 && b > 180; });
    EXPECT_EQ(red > 1000u, d.red) << d.name << " " << red;
    EXPECT_EQ(blue > 20u, d.blue) << d.name << " " << blue;
  }
  // The missing image and the corrupt font reach the host's callback.
  EXPECT_EQ(p.reports,
            (std::vector<Report>{{u"OEBPS/text/missing-image.xhtml", u"OEBPS/images/lost.png", 1},
                                 {u"OEBPS/text/corrupt-font.xhtml", u"OEBPS/fonts/bad.otf", 2}}));
}

TEST(MupdfEngine, EmbeddedFontsSwitch) {
  // The embedded font changes the drawing; switched off, the page is drawn
  // in the face of a document without it.
  if (kFont.empty()) GTEST_SKIP() << "DejaVu Sans is not installed";
  std::u16string path = u"OEBPS/text/embedded-font.xhtml";
  Publication on = publication(), off = publication();
  Reader withFont(on, 1), withoutFont(off, 0);
  std::vector<uint8_t> drawnOn = Page(withFont.reader, path).pixels;
  std::vector<uint8_t> drawnOff = Page(withoutFont.reader, path).pixels;
  EXPECT_NE(drawnOn, drawnOff);
  Publication plain = publication();
  plain.files[u"OEBPS/text/embedded-font.xhtml"] = page("", "<p>Hamburgefonstiv embedded</p>");
  Reader fallback(plain, 1);
  EXPECT_EQ(Page(fallback.reader, path).pixels, drawnOff);
}

}  // namespace
