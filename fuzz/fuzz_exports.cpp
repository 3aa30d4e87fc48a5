// Export sequences: a publication (carved from the input, or a small
// built-in one when the input carries none) is opened over the quiet
// renderer, then the rest of the input is a byte program of export calls
// with pages, paths, positions and values taken from it. The program may
// free the handle in the middle (every later call then meets the null
// handle) and open a new one.
#include <cstdint>
#include <string>
#include <vector>

#include "epubreader.h"
#include "fuzz_host.h"
#include "fuzz_input.h"

namespace {

using namespace epubfuzz;

constexpr std::string_view kContainer =
    "<?xml version=\"1.0\"?><container><rootfiles><rootfile full-path=\"OEBPS/content.opf\" "
    "media-type=\"application/oebps-package+xml\"/></rootfiles></container>";
constexpr std::string_view kOpf =
    "<?xml version=\"1.0\"?><package version=\"2.0\"><metadata><dc:title>T</dc:title>"
    "</metadata><manifest><item id=\"a\" href=\"text/a.xhtml\" "
    "media-type=\"application/xhtml+xml\"/><item id=\"b\" href=\"b%20c.xhtml\" "
    "media-type=\"application/xhtml+xml\"/><item id=\"n\" href=\"toc.ncx\" "
    "media-type=\"application/x-dtbncx+xml\"/></manifest><spine toc=\"n\"><itemref idref=\"a\"/>"
    "<itemref idref=\"b\"/><itemref idref=\"a\"/><itemref idref=\"z\"/></spine></package>";
constexpr std::string_view kNcx =
    "<ncx><docTitle><text>T</text></docTitle><navMap><navPoint id=\"p\" playOrder=\"1\">"
    "<navLabel><text>One</text></navLabel><content src=\"text/a.xhtml\"/></navPoint></navMap>"
    "</ncx>";
// About 700 bytes: three pages in the quiet renderer.
const std::string kContent = "<html><body><p>" + std::string(680, 'e') + "</p></body></html>";

constexpr int kMaxSteps = 400;

struct Run {
  Host host;
  std::string_view mimetype, container;
  EpubReader* reader = nullptr;
  std::vector<std::u16string> paths;  // spine hrefs and a few that name nothing
  uint8_t record[64] = {};

  void open() {
    EpubReaderHostOptions options = host.options();
    reader = EpubReader_new(&options);
    host.assigned.clear();
    EpubReader_readMimeType(reader, bytesOf(mimetype), static_cast<uint32_t>(mimetype.size()));
    EpubReader_readContainer(reader, bytesOf(container), static_cast<uint32_t>(container.size()));
    paths = {u"", u"missing.xhtml", u"../OEBPS/text/a.xhtml"};
    if (const EpubReaderSpineList* spine = EpubReader_getSpine(reader))
      for (const EpubReaderSpineNode* n = spine->first; n; n = n->next)
        paths.push_back(n->item->href ? n->item->href : u"");
  }

  const char16_t* path(Program& p) {
    uint8_t choice = p.byte();
    if (choice == 0xFF) return nullptr;
    return paths[choice % paths.size()].c_str();
  }

  void step(Program& p) {
    EpubReader* r = reader;
    switch (p.byte() % 60) {
      case 0:
        EpubReader_loadAll(r, Host::progress, &host);
        break;
      case 1:
        EpubReader_loadContent(r, path(p), Host::progress, &host);
        break;
      case 2:
        EpubReader_deleteContent(r, path(p));
        break;
      case 3:
        EpubReader_getContentPageCount(r, path(p));
        break;
      case 4:
        EpubReader_getTotalPageBeforeContent(r, path(p));
        break;
      case 5:
        touch(EpubReader_getFileName(r, p.number()));
        break;
      case 6:
        touch(EpubReader_getContentByPage(r, p.number()));
        break;
      case 7:
        EpubReader_getMarkablePosition(r, p.number());
        break;
      case 8: {
        const char16_t* at = path(p);
        EpubReader_getContentMarkablePosition(r, at, p.number());
        break;
      }
      case 9:
        EpubReader_getPageMarkPosition(r, static_cast<uint32_t>(p.number()));
        break;
      case 10: {
        const char16_t* at = path(p);
        EpubReader_getContentPageMarkPosition(r, at, static_cast<uint32_t>(p.number()));
        break;
      }
      case 11: {
        const char16_t* at = path(p);
        EpubReader_getContentPageAtPosUTF8(r, at, static_cast<uint32_t>(p.number()));
        break;
      }
      case 12: {
        const char16_t* at = path(p);
        EpubReader_getContentObjectIndexUTF8(r, at, p.number());
        break;
      }
      case 13: {
        const char16_t* at = path(p);
        EpubReader_getContentObjectCountUTF8(r, at, p.number());
        break;
      }
      case 14:
        EpubReader_draw(r, p.number(), 1, 2, 3, 4);
        break;
      case 15: {
        const char16_t* at = path(p);
        EpubReader_drawContent(r, at, p.number(), 1, 2, 3, 4);
        break;
      }
      case 16: {
        const char16_t* at = path(p);
        EpubReader_getLink(r, at, p.number());
        break;
      }
      case 17: {
        const char16_t* at = path(p);
        EpubReader_getContentLink(r, at, p.number());
        break;
      }
      case 18: {
        int32_t page = p.number();
        EpubReader_getObjectType(r, page, p.number());
        break;
      }
      case 19: {
        const char16_t* at = path(p);
        int32_t page = p.number();
        EpubReader_getContentObjectType(r, at, page, p.number());
        break;
      }
      case 20: {
        int32_t page = p.number();
        EpubReader_isAnchor(r, page, p.number());
        break;
      }
      case 21: {
        const char16_t* at = path(p);
        int32_t page = p.number();
        EpubReader_isContentAnchor(r, at, page, p.number());
        break;
      }
      case 22: {
        int32_t page = p.number();
        touch(EpubReader_getHref(r, page, p.number()));
        break;
      }
      case 23: {
        const char16_t* at = path(p);
        int32_t page = p.number();
        touch(EpubReader_getContentHref(r, at, page, p.number()));
        break;
      }
      case 24: {
        int32_t page = p.number();
        EpubReader_getImage(r, page, p.number());
        break;
      }
      case 25: {
        const char16_t* at = path(p);
        int32_t page = p.number();
        EpubReader_getContentImage(r, at, page, p.number());
        break;
      }
      case 26:
        touch(EpubReader_getMarkableString(r, p.number()));
        break;
      case 27: {
        const char16_t* at = path(p);
        touch(EpubReader_getContentMarkableString(r, at, p.number()));
        break;
      }
      case 28:
        EpubReader_getObjectCount(r, p.number());
        break;
      case 29: {
        const char16_t* at = path(p);
        EpubReader_getContentObjectCount(r, at, p.number());
        break;
      }
      case 30: {
        int32_t page = p.number();
        EpubReader_getObjectInfo(r, page, p.number(), p.byte() & 1 ? record : nullptr, 0);
        break;
      }
      case 31: {
        const char16_t* at = path(p);
        int32_t page = p.number();
        EpubReader_getContentObjectInfo(r, at, page, p.number(), record, 0);
        break;
      }
      case 32:
        EpubReader_changeFont(r, p.number(), 0, 0, p.byte());
        break;
      case 33:
        EpubReader_changeClientSize(r, p.number());
        break;
      case 34: {
        const char16_t* at = path(p);
        EpubReader_changeContentFont(r, at, p.number(), 0, 0, p.byte());
        break;
      }
      case 35: {
        const char16_t* at = path(p);
        EpubReader_changeContentClientSize(r, at, p.number());
        break;
      }
      case 36: {
        const char16_t* at = path(p);
        int32_t a = p.number();
        EpubReader_changeContentFontAndClientSize(r, at, a, 0, 0, 0, p.number());
        break;
      }
      case 37: {
        uint32_t s = p.number();
        EpubReader_addScrap(r, s, p.number(), 1, 2);
        break;
      }
      case 38: {
        uint32_t s = p.number();
        EpubReader_modifyScrap(r, s, p.number(), 1, 2);
        break;
      }
      case 39: {
        uint32_t s = p.number();
        EpubReader_removeScrap(r, s, p.number());
        break;
      }
      case 40: {
        uint32_t s = p.number();
        touch(EpubReader_getScrapText(r, s, p.number()));
        break;
      }
      case 41:
        EpubReader_clearScrap(r);
        break;
      case 42: {
        uint32_t s = p.number();
        EpubReader_drawSelectionBox(r, 1, 2, s, p.number(), 3, 4);
        break;
      }
      case 43: {
        const char16_t* at = path(p);
        uint32_t s = p.number();
        EpubReader_addContentScrap(r, at, s, p.number(), 1, 2);
        break;
      }
      case 44: {
        const char16_t* at = path(p);
        uint32_t s = p.number();
        EpubReader_modifyContentScrap(r, at, s, p.number(), 1, 2);
        break;
      }
      case 45: {
        const char16_t* at = path(p);
        uint32_t s = p.number();
        EpubReader_removeContentScrap(r, at, s, p.number());
        break;
      }
      case 46: {
        const char16_t* at = path(p);
        uint32_t s = p.number();
        touch(EpubReader_getContentScrapText(r, at, s, p.number()));
        break;
      }
      case 47:
        EpubReader_clearContentScrap(r, path(p));
        break;
      case 48: {
        const char16_t* at = path(p);
        uint32_t s = p.number();
        EpubReader_drawContentSelectionBox(r, at, 1, 2, s, p.number(), 3, 4);
        break;
      }
      case 49: {
        int32_t a = p.number();
        EpubReader_search(r, a, p.number(), p.number());
        break;
      }
      case 50: {
        const char16_t* at = path(p);
        int32_t a = p.number();
        EpubReader_searchContent(r, at, a, p.number(), p.number());
        break;
      }
      case 51: {
        const char16_t* at = path(p);
        EpubReader_setSearchDrawItem(r, at, p.number(), p.number());
        break;
      }
      case 52:
        EpubReader_getPageCount(r);
        break;
      case 53:
        EpubReader_loadFont(r, p.number(), 0, 0);
        EpubReader_setDrawOnlyThisColor(r, p.number());
        EpubReader_setUseOnlyThisTextAlign(r, p.number());
        EpubReader_setUseEpubEmbeddedFont(r, p.number());
        break;
      case 54:
        EpubReader_setSearchContext(r, path(p), p.number());
        EpubReader_clearSearchDatas(r);
        break;
      case 55:
        walkRecords(r);
        break;
      case 56:
        EpubReader_free(&reader);
        break;
      case 57:
        if (!reader) open();
        break;
      case 58:
        EpubReader_readContainer(r, bytesOf(container), static_cast<uint32_t>(container.size()));
        break;
      case 59:
        EpubReader_readMimeType(r, bytesOf(mimetype), static_cast<uint32_t>(mimetype.size()));
        break;
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // mimetype, container, OPF, NCX, content document, program
  const auto parts = carve(data, size, 6);
  Run run;
  run.host.hasOpf = run.host.hasNcx = run.host.hasContent = true;
  std::string_view program;
  if (parts.size() == 6) {
    run.mimetype = parts[0];
    run.container = parts[1];
    run.host.opf = parts[2];
    run.host.ncx = parts[3];
    run.host.content = parts[4];
    program = parts[5];
  } else {
    run.mimetype = "application/epub+zip";
    run.container = kContainer;
    run.host.opf = kOpf;
    run.host.ncx = kNcx;
    run.host.content = kContent;
    program = std::string_view(reinterpret_cast<const char*>(data), size);
  }
  run.open();
  Program p(program);
  for (int steps = 0; steps < kMaxSteps && !p.done(); ++steps) run.step(p);
  EpubReader_free(&run.reader);
  return 0;
}
