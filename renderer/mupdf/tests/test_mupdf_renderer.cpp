// Drives the MuPDF renderer through its ZaveVevode_* exports with small
// XHTML documents written here.
#include <gtest/gtest.h>

#include <cstring>
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

const char16_t* kPath = u"OEBPS/text/ch1.xhtml";

std::string xhtml(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
         "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>t</title></head><body>" +
         body + "</body></html>";
}

// Paragraphs of numbered words: "w0 w1 w2 ...".
std::string words(int count, int perParagraph = 20) {
  std::string body = "<p>";
  for (int i = 0; i < count; ++i) {
    if (i && i % perParagraph == 0) body += "</p><p>";
    body += "w" + std::to_string(i) + " ";
  }
  return body + "</p>";
}

std::u16string u16(const char16_t* s) { return s ? std::u16string(s) : std::u16string(u"(null)"); }

struct Renderer {
  ZaveVevode* r;
  explicit Renderer(intptr_t width = 300, intptr_t height = 400, intptr_t em = 12) {
    ZaveVevodeOptions options{};
    options.settings.setting1 = width;
    options.settings.setting2 = height;
    options.settings.setting3 = em;
    r = ZaveVevode_new(&options);
  }
  ~Renderer() { ZaveVevode_free(&r); }
  bool load(const std::string& text, const char16_t* path = kPath) {
    return ZaveVevode_xhtml(r, path, reinterpret_cast<const uint8_t*>(text.data()),
                            static_cast<uint32_t>(text.size()), nullptr, nullptr);
  }
  int32_t pages(const char16_t* path = kPath) { return ZaveVevode_getPageLength(r, path); }
};

struct Bitmap {
  std::vector<uint8_t> pixels;
  PendrelBitmap bitmap;
  Bitmap(int32_t w, int32_t h) : pixels(static_cast<size_t>(w * h * 4), 0) {
    bitmap = {pixels.data(), w, h, w * 4};
  }
  intptr_t handle() { return reinterpret_cast<intptr_t>(&bitmap); }
  size_t dark() const {
    size_t n = 0;
    for (size_t i = 0; i < pixels.size(); i += 4)
      if (pixels[i] < 128 && pixels[i + 1] < 128 && pixels[i + 2] < 128) ++n;
    return n;
  }
  // Pixels that are neither white nor grey: a highlight's tint.
  size_t tinted() const {
    size_t n = 0;
    for (size_t i = 0; i < pixels.size(); i += 4)
      if (pixels[i] != pixels[i + 2]) ++n;
    return n;
  }
};

TEST(MupdfRenderer, Layout) {
  // Smaller pages and a bigger font both need more pages for the same text.
  struct Case {
    const char* name;
    intptr_t size;  // packed page size; 0 keeps it
    intptr_t em;    // 0 keeps it
    bool more;
  } cases[] = {
      {"half height", PENDREL_PAGE_SIZE(300, 200), 0, true},
      {"bigger font", 0, 24, true},
      {"bigger page", PENDREL_PAGE_SIZE(600, 800), 0, false},
  };
  for (const Case& c : cases) {
    Renderer r;
    ASSERT_TRUE(r.load(xhtml(words(600))));
    int32_t before = r.pages();
    ASSERT_GT(before, 1) << c.name;
    if (c.size) ZaveVevode_calcPageSize(r.r, c.size, 1);
    if (c.em) ZaveVevode_changeFont(r.r, c.em, 0, 0, 0, 1);
    if (c.more)
      EXPECT_GT(r.pages(), before) << c.name;
    else
      EXPECT_LT(r.pages(), before) << c.name;
  }

  // Flag 0 applies to the next loaded document only; the loaded one keeps
  // its layout and a later document gets the renderer's layout again.
  Renderer r;
  ASSERT_TRUE(r.load(xhtml(words(600))));
  int32_t normal = r.pages();
  ZaveVevode_calcPageSize(r.r, PENDREL_PAGE_SIZE(300, 150), 0);
  EXPECT_EQ(r.pages(), normal);
  ASSERT_TRUE(r.load(xhtml(words(600)), u"b.xhtml"));
  EXPECT_GT(r.pages(u"b.xhtml"), normal);
  ASSERT_TRUE(r.load(xhtml(words(600)), u"c.xhtml"));
  EXPECT_EQ(r.pages(u"c.xhtml"), normal);
}

TEST(MupdfRenderer, Objects) {
  Renderer r;
  ASSERT_TRUE(r.load(xhtml(words(500) + "<p>caf\xc3\xa9 <a href=\"#end\">link here</a></p>"
                                        "<p id=\"end\">last</p>")));
  int32_t pages = r.pages();
  ASSERT_GT(pages, 1);

  // Objects are the words: page indexes grow, counts add up, and the index
  // past the last page is the number of words.
  uint32_t sum = 0, utf8 = 0;
  for (int32_t p = 0; p < pages; ++p) {
    EXPECT_EQ(ZaveVevode_getObjectIndex(r.r, kPath, p), sum) << p;
    EXPECT_EQ(ZaveVevode_getObjectIndexUTF8(r.r, kPath, p), utf8) << p;
    sum += ZaveVevode_getObjectCount(r.r, kPath, p);
    utf8 += ZaveVevode_getObjectCountUTF8(r.r, kPath, p);
  }
  EXPECT_EQ(sum, 500u + 4u);
  EXPECT_EQ(ZaveVevode_getObjectIndex(r.r, kPath, pages), sum);
  // Each word counts its UTF-8 bytes and one separator ("café" is 5 bytes).
  EXPECT_EQ(ZaveVevode_getObjectIndexUTF8(r.r, kPath, pages), utf8);

  // Page texts and object queries on the first page.
  EXPECT_EQ(u16(ZaveVevode_getFirstStringPage(r.r, kPath, 0)).substr(0, 9), u"w0 w1 w2 ");
  EXPECT_EQ(ZaveVevode_getObjectType(r.r, kPath, 0, 0), PENDREL_OBJECT_WORD);
  PendrelObjectInfo info{};
  ASSERT_TRUE(ZaveVevode_getObjectInfo(r.r, kPath, 1, 2, &info, 0));
  EXPECT_EQ(static_cast<uint32_t>(info.firstIndex), ZaveVevode_getObjectIndex(r.r, kPath, 1) + 2);
  EXPECT_EQ(info.lastIndex, info.firstIndex);
  EXPECT_GT(info.width, 0);

  // The link's words are anchors carrying the href; getLink finds the
  // fragment's page.
  int32_t last = pages - 1;
  uint32_t count = ZaveVevode_getObjectCount(r.r, kPath, last);
  ASSERT_GE(count, 3u);
  intptr_t here = static_cast<intptr_t>(count) - 2;  // "here"
  EXPECT_TRUE(ZaveVevode_isAnchor(r.r, kPath, last, here));
  EXPECT_FALSE(ZaveVevode_isAnchor(r.r, kPath, last, here + 1));
  EXPECT_EQ(u16(ZaveVevode_getHref(r.r, kPath, last, here)).back(), u'd');
  EXPECT_EQ(ZaveVevode_getLink(r.r, kPath, reinterpret_cast<intptr_t>(u"#end")), last);
  EXPECT_EQ(ZaveVevode_getLink(r.r, kPath, reinterpret_cast<intptr_t>(u"ch1.xhtml")), 0);
  EXPECT_EQ(ZaveVevode_getLink(r.r, kPath, reinterpret_cast<intptr_t>(u"#nowhere")), -1);
}

TEST(MupdfRenderer, DrawingScrapsAndSearch) {
  Renderer r;
  ASSERT_TRUE(r.load(xhtml("<p>alpha beta gamma Alpha delta alpha</p>" + words(50))));

  // A drawn page shows text; an unknown page leaves the bitmap untouched.
  Bitmap plain(300, 400);
  ZaveVevode_draw(r.r, kPath, 0, plain.handle(), 0, 0, 0);
  EXPECT_GT(plain.dark(), 100u);
  EXPECT_EQ(plain.tinted(), 0u);
  Bitmap untouched(30, 30);
  ZaveVevode_draw(r.r, kPath, 99, untouched.handle(), 0, 0, 0);
  EXPECT_EQ(untouched.dark(), 30u * 30u);

  // Scraps: text of the words, tinted when drawn, gone when removed.
  ZaveVevode_addScrap(r.r, kPath, 1, 2, 0xFFFF80, 0);
  EXPECT_EQ(u16(ZaveVevode_getScrapText(r.r, kPath, 1, 2)), u"beta gamma");
  EXPECT_EQ(u16(ZaveVevode_getScrapText(r.r, kPath, 5, 5)), u"alpha");
  Bitmap marked(300, 400);
  ZaveVevode_draw(r.r, kPath, 0, marked.handle(), 0, 0, 0);
  EXPECT_GT(marked.tinted(), 50u);
  ZaveVevode_removeScrap(r.r, kPath, 1, 2);
  ZaveVevode_draw(r.r, kPath, 0, marked.handle(), 0, 0, 0);
  EXPECT_EQ(marked.tinted(), 0u);
  ZaveVevode_drawSelectionBox(r.r, kPath, marked.handle(), 0, 0, 3, 0, 0);
  EXPECT_GT(marked.tinted(), 50u);

  // Search counts hits, with and without matching case; bytes need not be loaded.
  std::string text = xhtml("<p>alpha beta gamma Alpha delta alpha</p>" + words(50));
  auto search = [&](const char16_t* needle, intptr_t flags) {
    ZaveVevode_setSearchContext(r.r, needle, flags);
    return ZaveVevode_search(r.r, kPath, reinterpret_cast<const uint8_t*>(text.data()),
                             static_cast<uint32_t>(text.size()), 0, 0, 0);
  };
  EXPECT_EQ(search(u"alpha", 0), 3);
  EXPECT_EQ(search(u"alpha", 1), 2);
  EXPECT_EQ(search(u"beta  gamma", 0), 1);
  EXPECT_EQ(search(u"w4", 0), 11);  // w4, w40..w49
  EXPECT_EQ(search(u"zzz", 0), 0);
  EXPECT_EQ(search(u"gamma", 0), 1);
  ZaveVevode_setSearchDrawItem(r.r, kPath, 0, 0);
  Bitmap hit(300, 400);
  ZaveVevode_draw(r.r, kPath, 0, hit.handle(), 0, 0, 0);
  EXPECT_GT(hit.tinted(), 20u);
  ZaveVevode_clearSearchDatas(r.r);
  ZaveVevode_draw(r.r, kPath, 0, hit.handle(), 0, 0, 0);
  EXPECT_EQ(hit.tinted(), 0u);
}

TEST(MupdfRenderer, HostOverrides) {
  // Colour and alignment overrides reach documents loaded after them, over
  // the document's style sheet; a negative colour and alignment 0 give the
  // document its own styles back.
  struct Case {
    const char* name;
    intptr_t colour, align;
    bool red;     // the text is drawn red
    bool pushed;  // the short line starts right of the left margin
  } cases[] = {
      {"document's own", -1, 0, false, false},
      {"red text", 0xFF0000, 0, true, false},
      {"right aligned", -1, 2, false, true},
      {"centred and red", 0xE00000, 3, true, true},
  };
  for (const Case& c : cases) {
    Renderer r;
    EXPECT_EQ(ZaveVevode_setDrawOnlyThisColor(r.r, c.colour), 1);
    EXPECT_EQ(ZaveVevode_setUseOnlyThisTextAlign(r.r, c.align), 1);
    ASSERT_TRUE(
        r.load(xhtml("<style>p { color: #000000; text-align: left }</style><p>short line</p>")));
    Bitmap bitmap(300, 400);
    ZaveVevode_draw(r.r, kPath, 0, bitmap.handle(), 0, 0, 100);
    size_t red = 0;
    for (size_t i = 0; i < bitmap.pixels.size(); i += 4)
      red += bitmap.pixels[i] > 180 && bitmap.pixels[i + 1] < 80 && bitmap.pixels[i + 2] < 80;
    EXPECT_EQ(red > 20, c.red) << c.name;
    PendrelObjectInfo info{};
    ASSERT_TRUE(ZaveVevode_getObjectInfo(r.r, kPath, 0, 0, &info, 0));
    EXPECT_EQ(info.x > 100, c.pushed) << c.name << " x " << info.x;
  }
}

// A publication's files for the read trampoline; every request is logged.
struct Files {
  std::map<std::u16string, std::string> files;
  std::vector<std::u16string> asked;
  static bool read(void* context, const char16_t* path, const uint8_t** bytes, uint32_t* length) {
    auto* self = static_cast<Files*>(context);
    self->asked.push_back(path);
    auto it = self->files.find(path);
    if (it == self->files.end()) return false;
    *bytes = reinterpret_cast<const uint8_t*>(it->second.data());
    *length = static_cast<uint32_t>(it->second.size());
    return true;
  }
};

TEST(MupdfRenderer, Resources) {
  // Hrefs resolve against the document's folder; other schemes and paths
  // leaving the container resolve to nothing.
  struct Case {
    const char* base;
    const char* href;
    const char* path;
  } cases[] = {
      {"OEBPS/text/a.xhtml", "../img/b.png", "OEBPS/img/b.png"},
      {"OEBPS/text/a.xhtml", "./b/./c.png?v=1", "OEBPS/text/b/c.png"},
      {"a.xhtml", "b%20c.png#frag", "b c.png"},
      {"t/a.xhtml", "/root.png", "root.png"},
      {"t/a.xhtml", "../../x.png", ""},
      {"t/a.xhtml", "http://example.com/x.png", ""},
      {"t/a.xhtml", "#only", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(pendrel_mupdf::resolveHref(c.base, c.href), c.path) << c.base << " " << c.href;

  // Images and style sheets come through the read trampoline: the image
  // becomes an object of type 2 and both show in the drawing.
  Files files;
  files.files[u"OEBPS/images/red.ppm"] = ppm(40, '\xE0', 0, 0);
  files.files[u"OEBPS/styles/s.css"] = "p { color: #0000ff; }";
  ZaveVevodeOptions options{};
  options.read = Files::read;
  options.context = &files;
  ZaveVevode* r = ZaveVevode_new(&options);
  std::string text =
      "<?xml version=\"1.0\"?><html xmlns=\"http://www.w3.org/1999/xhtml\"><head>"
      "<link rel=\"stylesheet\" type=\"text/css\" href=\"../styles/s.css\"/></head><body>"
      "<p>blue words</p><p><img src=\"../images/red.ppm\" alt=\"x\"/></p>"
      "<p><img src=\"../images/missing.png\"/></p></body></html>";
  const char16_t* path = u"OEBPS/text/ch.xhtml";
  ASSERT_TRUE(ZaveVevode_xhtml(r, path, reinterpret_cast<const uint8_t*>(text.data()),
                               static_cast<uint32_t>(text.size()), nullptr, nullptr));
  EXPECT_EQ(files.asked,
            (std::vector<std::u16string>{u"OEBPS/styles/s.css", u"OEBPS/images/red.ppm",
                                         u"OEBPS/images/missing.png"}));
  // MuPDF stands the word "[image]" in for the image the host lacks.
  ASSERT_EQ(ZaveVevode_getObjectCount(r, path, 0), 4u);
  EXPECT_EQ(ZaveVevode_getObjectType(r, path, 0, 2), PENDREL_OBJECT_IMAGE);
  EXPECT_EQ(ZaveVevode_getObjectType(r, path, 0, 3), PENDREL_OBJECT_WORD);
  Bitmap bitmap(300, 400);
  ZaveVevode_draw(r, path, 0, bitmap.handle(), 0, 0, 100);
  size_t red = 0, blue = 0;
  for (size_t i = 0; i < bitmap.pixels.size(); i += 4) {
    red += bitmap.pixels[i] > 200 && bitmap.pixels[i + 1] < 50 && bitmap.pixels[i + 2] < 50;
    blue += bitmap.pixels[i] < 80 && bitmap.pixels[i + 2] > 180;
  }
  EXPECT_GT(red, 500u);  // 40 pixels at 96 dpi are 30 points
  EXPECT_GT(blue, 20u);
  ZaveVevode_free(&r);
}

TEST(MupdfRenderer, FailureValues) {
  Renderer r;
  ASSERT_TRUE(r.load(xhtml(words(10))));
  PendrelObjectInfo info{};
  const char16_t* unknown = u"nowhere.xhtml";
  // Unknown documents answer with failure values.
  EXPECT_EQ(r.pages(unknown), 0);
  EXPECT_EQ(ZaveVevode_getObjectIndex(r.r, unknown, 0), 0u);
  EXPECT_EQ(ZaveVevode_getFirstStringPage(r.r, unknown, 0), nullptr);
  EXPECT_EQ(ZaveVevode_getLink(r.r, unknown, reinterpret_cast<intptr_t>(u"#a")), -1);
  EXPECT_EQ(ZaveVevode_getScrapText(r.r, unknown, 0, 1), nullptr);
  EXPECT_FALSE(ZaveVevode_getObjectInfo(r.r, unknown, 0, 0, &info, 0));
  // Pages and objects out of range, on a loaded document.
  EXPECT_EQ(ZaveVevode_getObjectCount(r.r, kPath, -1), 0u);
  EXPECT_EQ(ZaveVevode_getObjectCount(r.r, kPath, r.pages()), 0u);
  EXPECT_EQ(ZaveVevode_getObjectType(r.r, kPath, 0, 10), 0);
  EXPECT_EQ(ZaveVevode_getObjectType(r.r, kPath, 0, -1), 0);
  EXPECT_EQ(ZaveVevode_getHref(r.r, kPath, 0, 0), nullptr);
  EXPECT_FALSE(ZaveVevode_isAnchor(r.r, kPath, 5, 0));
  EXPECT_FALSE(ZaveVevode_getObjectInfo(r.r, kPath, 0, 0, nullptr, 0));
  EXPECT_EQ(ZaveVevode_getScrapText(r.r, kPath, 10, 12), nullptr);
  EXPECT_EQ(ZaveVevode_getLink(r.r, kPath, 0), -1);
  // Missing or empty bytes load nothing; a null handle is harmless.
  EXPECT_FALSE(ZaveVevode_xhtml(r.r, u"e.xhtml", nullptr, 5, nullptr, nullptr));
  EXPECT_FALSE(r.load("", u"e.xhtml"));
  EXPECT_EQ(r.pages(u"e.xhtml"), 0);
  EXPECT_EQ(ZaveVevode_getPageLength(nullptr, kPath), 0);
  ZaveVevode_deleteXhtml(r.r, kPath);
  EXPECT_EQ(r.pages(), 0);
  ZaveVevode* none = nullptr;
  ZaveVevode_free(&none);
  ZaveVevode_free(nullptr);
}

TEST(MupdfRenderer, MutatedBytesNeverCrash) {
  // Randomly damaged documents load or fail cleanly and every query stays in bounds.
  const int iterations = randomizedRounds(200, 40);
  const std::string base = xhtml(
      "<link rel=\"stylesheet\" href=\"s.css\"/><h1>Title</h1>"
      "<p>one <a href=\"#x\">two</a> <img src='i.ppm'/> three</p>" +
      words(120) + "<p id=\"x\">end <b>bold</b></p>");
  std::mt19937 random(20261206);
  const char16_t* path = u"OEBPS/ch.xhtml";
  Files files;
  files.files[u"OEBPS/s.css"] = "h1 { color: red } p { margin: 2em }";
  files.files[u"OEBPS/i.ppm"] = ppm(8, 0, 0, '\x7F');
  ZaveVevodeOptions options{};
  options.read = Files::read;
  options.context = &files;
  options.settings.setting1 = 200;
  options.settings.setting2 = 150;
  Renderer r;
  ZaveVevode_free(&r.r);
  r.r = ZaveVevode_new(&options);
  Bitmap bitmap(64, 64);
  for (int i = 0; i < iterations; ++i) {
    std::string text = mutate(base, random, 12, 16, 32);
    if (text.empty()) text = "<";
    r.load(text, path);
    int32_t pages = r.pages(path);
    for (int32_t p = -1; p <= pages; ++p) {
      uint32_t count = ZaveVevode_getObjectCount(r.r, path, p);
      ZaveVevode_getFirstStringPage(r.r, path, p);
      for (intptr_t k = 0; k <= static_cast<intptr_t>(count); ++k) {
        ZaveVevode_getObjectType(r.r, path, p, k);
        ZaveVevode_getHref(r.r, path, p, k);
      }
    }
    ZaveVevode_draw(r.r, path, 0, bitmap.handle(), 3, 5, 50);
    ZaveVevode_setSearchContext(r.r, u"two", 0);
    ZaveVevode_search(r.r, path, reinterpret_cast<const uint8_t*>(text.data()),
                      static_cast<uint32_t>(text.size()), 0, 0, 0);
    ZaveVevode_getLink(r.r, path, reinterpret_cast<intptr_t>(u"#x"));
  }
}

}  // namespace
