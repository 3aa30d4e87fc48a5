// The MuPDF renderer on its own: an XHTML document, its style sheet, an
// image and a font carved from the input (the renderer fetches the last
// three through the read trampoline, chosen here by the path's extension),
// laid out, then a byte program of draws, object queries, scraps, search
// and layout changes over small host bitmaps.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "pendrel.h"
#include <EpubReader/pendrel_mupdf.h>

namespace {

using namespace epubfuzz;

constexpr int kMaxSteps = 48;
const char16_t kPath[] = u"OEBPS/text/chapter.xhtml";

struct Files {
  std::string_view document, style, image, font;
  bool has[4] = {};

  static bool read(void* context, const char16_t* path, const uint8_t** bytes, uint32_t* length) {
    auto* files = static_cast<Files*>(context);
    const std::u16string_view p = path ? path : u"";
    auto endsWith = [&](std::u16string_view tail) {
      return p.size() >= tail.size() && p.substr(p.size() - tail.size()) == tail;
    };
    int kind = 0;
    if (endsWith(u".css")) {
      kind = 1;
    } else if (endsWith(u".png") || endsWith(u".gif") || endsWith(u".jpg") || endsWith(u".jpeg") ||
               endsWith(u".svg")) {
      kind = 2;
    } else if (endsWith(u".ttf") || endsWith(u".otf") || endsWith(u".woff")) {
      kind = 3;
    }
    const std::string_view* file[] = {&files->document, &files->style, &files->image, &files->font};
    if (!files->has[kind]) return false;
    *bytes = bytesOf(*file[kind]);
    *length = static_cast<uint32_t>(file[kind]->size());
    return true;
  }
};

// A host bitmap of exactly the size it claims, so that a draw past its
// edge is caught.
struct Bitmap {
  std::unique_ptr<uint8_t[]> pixels;
  PendrelBitmap record{};
  Bitmap(int32_t width, int32_t height) {
    const int32_t stride = width * 4;
    pixels = std::make_unique<uint8_t[]>(static_cast<size_t>(stride) * height);
    record = {pixels.get(), width, height, stride};
  }
};

const char16_t* const kHrefs[] = {u"#x", u"b%20c.xhtml#y", u"", u"#", u"chapter.xhtml#missing"};
const char16_t* const kNeedles[] = {u"e", u"text", u"Chapter  one", u""};

void load(ZaveVevode* r, const Files& files, int* progress) {
  ZaveVevode_xhtml(
      r, kPath, bytesOf(files.document), static_cast<uint32_t>(files.document.size()),
      [](void* context, uint32_t, uint32_t) { ++*static_cast<int*>(context); }, progress);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // document, style sheet, image, font, program
  const auto parts = carve(data, size, 5);
  Files files;
  std::string_view* slots[] = {&files.document, &files.style, &files.image, &files.font};
  for (size_t i = 0; i < 4 && i < parts.size(); ++i) {
    *slots[i] = parts[i];
    files.has[i] = true;
  }
  Program p(parts.size() == 5 ? parts[4] : std::string_view{});

  ZaveVevodeOptions options{};
  options.read = Files::read;
  options.context = &files;
  options.settings.setting1 = 120 + p.byte() * 2;  // page width in points
  options.settings.setting2 = 160 + p.byte() * 2;  // page height
  options.settings.setting3 = 6 + p.byte() % 30;   // em size
  ZaveVevode* r = ZaveVevode_new(&options);
  if (!r) return 0;
  const uint8_t look = p.byte();
  if (look & 1) ZaveVevode_setDrawOnlyThisColor(r, 0x203040);
  if (look & 2) ZaveVevode_setUseOnlyThisTextAlign(r, 1 + (look >> 2) % 4);
  int progress = 0;
  load(r, files, &progress);

  Bitmap bitmap(40 + look % 24, 56 + look % 16);
  PendrelObjectInfo info{};
  for (int steps = 0; steps < kMaxSteps && !p.done(); ++steps) {
    const int32_t page = p.number();
    switch (p.byte() % 16) {
      case 0: {
        const int32_t x = p.number(), y = p.number();
        ZaveVevode_draw(r, kPath, page, reinterpret_cast<intptr_t>(&bitmap.record), x, y,
                        p.byte() * 2);
        break;
      }
      case 1:
        ZaveVevode_getObjectIndex(r, kPath, page);
        ZaveVevode_getObjectCount(r, kPath, page);
        ZaveVevode_getObjectIndexUTF8(r, kPath, page);
        ZaveVevode_getObjectCountUTF8(r, kPath, page);
        break;
      case 2: {
        const int32_t value = p.number();
        ZaveVevode_getObjectType(r, kPath, page, value);
        ZaveVevode_isAnchor(r, kPath, page, value);
        touch(ZaveVevode_getHref(r, kPath, page, value));
        ZaveVevode_getImage(r, kPath, page, value);
        break;
      }
      case 3:
        ZaveVevode_getObjectInfo(r, kPath, page, p.number(), &info, 0);
        break;
      case 4:
        touch(ZaveVevode_getFirstStringPage(r, kPath, page));
        break;
      case 5:
        ZaveVevode_getLink(r, kPath, reinterpret_cast<intptr_t>(kHrefs[p.byte() % 5]));
        break;
      case 6:
        ZaveVevode_addScrap(r, kPath, page, p.number(), p.number(), 0);
        break;
      case 7:
        ZaveVevode_modifyScrap(r, kPath, page, p.number(), p.number(), 1);
        break;
      case 8:
        ZaveVevode_removeScrap(r, kPath, page, p.number());
        break;
      case 9:
        touch(ZaveVevode_getScrapText(r, kPath, page, p.number()));
        break;
      case 10:
        ZaveVevode_clearScrap(r, kPath);
        break;
      case 11: {
        const uint32_t start = p.number(), end = p.number();
        ZaveVevode_drawSelectionBox(r, kPath, reinterpret_cast<intptr_t>(&bitmap.record), page,
                                    start, end, 0, 0);
        break;
      }
      case 12:
        ZaveVevode_setSearchContext(r, kNeedles[p.byte() % 4], page & 1);
        ZaveVevode_search(r, kPath, bytesOf(files.document),
                          static_cast<uint32_t>(files.document.size()), 0, 0, 0);
        ZaveVevode_setSearchDrawItem(r, kPath, p.number(), 0);
        break;
      case 13:
        ZaveVevode_changeFont(r, 4 + (page & 31), 0, 0, 0, 1);
        break;
      case 14:
        ZaveVevode_calcPageSize(r, PENDREL_PAGE_SIZE(100 + (page & 255), 140), 1);
        break;
      case 15:
        ZaveVevode_deleteXhtml(r, kPath);
        if (page & 1) load(r, files, &progress);
        break;
    }
    ZaveVevode_getPageLength(r, kPath);
  }
  ZaveVevode_clearSearchDatas(r);
  ZaveVevode_free(&r);
  return 0;
}
