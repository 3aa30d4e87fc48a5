// Export sequences: a publication (carved from the input, or a small
// built-in one when the input carries none) is opened over the quiet
// renderer, then the rest of the input is a byte program of export calls
// with pages, paths, positions and values taken from it. The program may
// free the handle in the middle (every later call then meets the null
// handle), open a new one, and make the host's content reads fail.
//
// Besides surviving every program (no crash, leak or hang), the answers
// must keep the invariants the Content table implies; a broken one aborts
// the run with its condition named. None of them models the table: each
// relates answers of the exports to one another.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "epubreader.h"
#include "fuzz_host.h"
#include "fuzz_input.h"

namespace {

using namespace epubfuzz;

#define FUZZ_CHECK(condition)                                     \
  do {                                                            \
    if (!(condition)) {                                           \
      std::fprintf(stderr, "invariant broken: %s\n", #condition); \
      std::abort();                                               \
    }                                                             \
  } while (0)

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
  uint32_t record[16] = {};
  // Set by a publication-wide layout change, cleared by every call that
  // loads, deletes or reloads a document: while set, each item's page count
  // is the renderer's for its path, so pages and positions convert both ways.
  bool recounted = false;

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

  // The number of Content items: one per spine list node.
  uint32_t items() {
    const EpubReaderSpineList* spine = EpubReader_getSpine(reader);
    return spine ? spine->count : 0;
  }
  // The pages of all items together as the Page mapping sees them: the first
  // page that maps to no document (page counts are never negative here).
  int32_t mappedPages() {
    if (!EpubReader_getContentByPage(reader, 0)) return 0;
    int32_t low = 0, high = INT32_MAX;  // low maps to a document, high does not
    while (high - low > 1) {
      const int32_t middle = low + (high - low) / 2;
      (EpubReader_getContentByPage(reader, middle) ? low : high) = middle;
    }
    return high;
  }
  // loadAll and the publication-wide changes leave the total equal to the
  // sum of the item page counts.
  void checkTotal() {
    if (reader) FUZZ_CHECK(EpubReader_getPageCount(reader) == mappedPages());
  }

  // The plain page queries answer only below the total page count; the
  // markable position of a page converts back to the page.
  void checkPage(int32_t page, intptr_t value) {
    if (!reader) return;
    const int32_t total = EpubReader_getPageCount(reader);
    const uint32_t mark = EpubReader_getMarkablePosition(reader, page);
    const bool info = EpubReader_getObjectInfo(reader, page, value, record, 0);
    const intptr_t type = EpubReader_getObjectType(reader, page, value);
    const bool anchor = EpubReader_isAnchor(reader, page, value);
    const char16_t* href = EpubReader_getHref(reader, page, value);
    const intptr_t image = EpubReader_getImage(reader, page, value);
    const char16_t* first = EpubReader_getMarkableString(reader, page);
    const uint32_t objects = EpubReader_getObjectCount(reader, page);
    if (page < 0 || page >= total) FUZZ_CHECK(!info && !type && !anchor && !href && !image);
    if (page < 0 || page > total) FUZZ_CHECK(mark == 0 && !first && objects == 0);
    if (recounted && page >= 0 && page < total)
      FUZZ_CHECK(EpubReader_getPageMarkPosition(reader, mark) == page);
    // The renderer's object indexes come back shifted by the objects of the
    // earlier documents, as the markable position of the page is.
    if (info) FUZZ_CHECK(record[2] == record[3] && record[2] == mark + uint32_t(value));
    const char16_t* name = EpubReader_getFileName(reader, page);
    FUZZ_CHECK(!name || name == EpubReader_getContentByPage(reader, page));
    touch(href);
    touch(first);
  }

  // The Content forms answer only for pages of the document named; a page
  // converts to an object index and back.
  void checkContentPage(const char16_t* at, int32_t page, intptr_t value) {
    if (!reader) return;
    const int32_t pages = EpubReader_getContentPageCount(reader, at);
    const uint32_t index = EpubReader_getContentMarkablePosition(reader, at, page);
    const intptr_t type = EpubReader_getContentObjectType(reader, at, page, value);
    const bool anchor = EpubReader_isContentAnchor(reader, at, page, value);
    const char16_t* href = EpubReader_getContentHref(reader, at, page, value);
    const intptr_t image = EpubReader_getContentImage(reader, at, page, value);
    const char16_t* first = EpubReader_getContentMarkableString(reader, at, page);
    const uint32_t objects = EpubReader_getContentObjectCount(reader, at, page);
    const bool info = EpubReader_getContentObjectInfo(reader, at, page, value, record, 0);
    const uint32_t utf8 = EpubReader_getContentObjectIndexUTF8(reader, at, page) |
                          EpubReader_getContentObjectCountUTF8(reader, at, page);
    if (page < 0 || page >= pages) {
      FUZZ_CHECK(!index && !type && !anchor && !href && !image && !first && !objects && !info);
      FUZZ_CHECK(utf8 == 0);
    } else if (recounted) {
      FUZZ_CHECK(EpubReader_getContentPageMarkPosition(reader, at, index) == page);
    }
    touch(href);
    touch(first);
  }

  // A page found from a position lies within the document (or, for the
  // plain form, the publication); -1 only for a path naming nothing.
  void checkPosition(const char16_t* at, uint32_t position) {
    if (!reader) return;
    const int32_t page = EpubReader_getPageMarkPosition(reader, position);
    const uint32_t n = items();
    FUZZ_CHECK(page >= 0 && page <= (n ? mappedPages() : 0));
    const int32_t last = n ? EpubReader_getContentPageCount(reader, at) - 1 : 0;
    const int32_t inDocument = EpubReader_getContentPageMarkPosition(reader, at, position);
    FUZZ_CHECK(inDocument >= -1 && inDocument <= std::max(last, n ? -1 : 0));
    const int32_t utf8 = EpubReader_getContentPageAtPosUTF8(reader, at, position);
    FUZZ_CHECK(utf8 >= -1 && utf8 <= std::max(last, n ? -1 : 0));
  }

  // The plain link is the document's own plus the pages before it.
  void checkLink(const char16_t* at, intptr_t value) {
    const int32_t plain = EpubReader_getLink(reader, at, value);
    const int32_t own = EpubReader_getContentLink(reader, at, value);
    if (plain != -1 || own != -1)
      FUZZ_CHECK(plain == own + EpubReader_getTotalPageBeforeContent(reader, at));
  }

  void step(Program& p) {
    EpubReader* r = reader;
    switch (p.byte() % 48) {
      case 0:
        if (EpubReader_loadAll(r, Host::progress, &host)) checkTotal();
        recounted = false;
        break;
      case 1: {
        const char16_t* at = path(p);
        // A document just loaded is not loaded a second time.
        if (EpubReader_loadContent(r, at, Host::progress, &host))
          FUZZ_CHECK(!EpubReader_loadContent(r, at, nullptr, nullptr));
        recounted = false;
        break;
      }
      case 2:
        EpubReader_deleteContent(r, path(p));
        recounted = false;
        break;
      case 3:
        FUZZ_CHECK(EpubReader_getContentPageCount(r, path(p)) >= 0);
        break;
      case 4: {
        // With no item named, every page of the table lies before it.
        const int32_t before = EpubReader_getTotalPageBeforeContent(r, path(p));
        FUZZ_CHECK(before >= 0 && before <= mappedPages());
        break;
      }
      case 5: {
        const int32_t page = p.number();
        checkPage(page, p.number());
        break;
      }
      case 6:
        touch(EpubReader_getContentByPage(r, p.number()));
        break;
      case 7: {
        const char16_t* at = path(p);
        const int32_t page = p.number();
        checkContentPage(at, page, p.number());
        break;
      }
      case 8: {
        const char16_t* at = path(p);
        checkPosition(at, static_cast<uint32_t>(p.number()));
        break;
      }
      case 9: {
        const char16_t* at = path(p);
        EpubReader_getContentObjectCountUTF8(r, at, p.number());
        break;
      }
      case 10:
        EpubReader_draw(r, p.number(), 1, 2, 3, 4);
        break;
      case 11: {
        const char16_t* at = path(p);
        EpubReader_drawContent(r, at, p.number(), 1, 2, 3, 4);
        break;
      }
      case 12: {
        const char16_t* at = path(p);
        checkLink(at, p.number());
        break;
      }
      case 13: {
        int32_t page = p.number();
        EpubReader_getObjectInfo(r, page, p.number(), nullptr, 0);
        break;
      }
      case 14: {
        const char16_t* at = path(p);
        int32_t page = p.number();
        touch(EpubReader_getContentHref(r, at, page, p.number()));
        touch(EpubReader_getContentMarkableString(r, at, page));
        break;
      }
      case 15:
        touch(EpubReader_getHref(r, p.number(), 1));
        touch(EpubReader_getMarkableString(r, p.number()));
        break;
      case 16:
        EpubReader_changeFont(r, p.number(), 0, 0, p.byte());
        checkTotal();
        recounted = r != nullptr;
        break;
      case 17:
        EpubReader_changeClientSize(r, p.number());
        checkTotal();
        recounted = r != nullptr;
        break;
      case 18: {
        const char16_t* at = path(p);
        EpubReader_changeContentFont(r, at, p.number(), 0, 0, p.byte());
        recounted = false;
        break;
      }
      case 19: {
        const char16_t* at = path(p);
        EpubReader_changeContentClientSize(r, at, p.number());
        recounted = false;
        break;
      }
      case 20: {
        const char16_t* at = path(p);
        int32_t a = p.number();
        EpubReader_changeContentFontAndClientSize(r, at, a, 0, 0, 0, p.number());
        recounted = false;
        break;
      }
      case 21: {
        uint32_t s = p.number();
        EpubReader_addScrap(r, s, p.number(), 1, 2);
        break;
      }
      case 22: {
        uint32_t s = p.number();
        EpubReader_modifyScrap(r, s, p.number(), 1, 2);
        break;
      }
      case 23: {
        uint32_t s = p.number();
        EpubReader_removeScrap(r, s, p.number());
        break;
      }
      case 24: {
        uint32_t s = p.number();
        const char16_t* text = EpubReader_getScrapText(r, s, p.number());
        FUZZ_CHECK(!text || items() > 0);
        touch(text);
        break;
      }
      case 25:
        EpubReader_clearScrap(r);
        break;
      case 26: {
        uint32_t s = p.number();
        EpubReader_drawSelectionBox(r, 1, 2, s, p.number(), 3, 4);
        break;
      }
      case 27: {
        const char16_t* at = path(p);
        uint32_t s = p.number();
        EpubReader_addContentScrap(r, at, s, p.number(), 1, 2);
        break;
      }
      case 28: {
        const char16_t* at = path(p);
        uint32_t s = p.number();
        EpubReader_modifyContentScrap(r, at, s, p.number(), 1, 2);
        break;
      }
      case 29: {
        const char16_t* at = path(p);
        uint32_t s = p.number();
        EpubReader_removeContentScrap(r, at, s, p.number());
        break;
      }
      case 30: {
        const char16_t* at = path(p);
        uint32_t s = p.number();
        touch(EpubReader_getContentScrapText(r, at, s, p.number()));
        break;
      }
      case 31:
        EpubReader_clearContentScrap(r, path(p));
        break;
      case 32: {
        const char16_t* at = path(p);
        uint32_t s = p.number();
        EpubReader_drawContentSelectionBox(r, at, 1, 2, s, p.number(), 3, 4);
        break;
      }
      case 33: {
        int32_t a = p.number();
        // The quiet renderer never answers a search below 0.
        FUZZ_CHECK(EpubReader_search(r, a, p.number(), p.number()) >= (r ? 0 : -1));
        break;
      }
      case 34: {
        const char16_t* at = path(p);
        int32_t a = p.number();
        FUZZ_CHECK(EpubReader_searchContent(r, at, a, p.number(), p.number()) >= -1);
        break;
      }
      case 35: {
        const char16_t* at = path(p);
        EpubReader_setSearchDrawItem(r, at, p.number(), p.number());
        break;
      }
      case 36:
        FUZZ_CHECK(EpubReader_getPageCount(r) >= 0);
        break;
      case 37:
        EpubReader_loadFont(r, p.number(), 0, 0);
        EpubReader_setDrawOnlyThisColor(r, p.number());
        EpubReader_setUseOnlyThisTextAlign(r, p.number());
        EpubReader_setUseEpubEmbeddedFont(r, p.number());
        break;
      case 38:
        EpubReader_setSearchContext(r, path(p), p.number());
        EpubReader_clearSearchDatas(r);
        break;
      case 39:
        walkRecords(r);
        break;
      case 40:
        EpubReader_free(&reader);
        recounted = false;
        break;
      case 41:
        if (!reader) open();
        break;
      case 42:
        EpubReader_readContainer(r, bytesOf(container), static_cast<uint32_t>(container.size()));
        recounted = false;
        break;
      case 43:
        EpubReader_readMimeType(r, bytesOf(mimetype), static_cast<uint32_t>(mimetype.size()));
        break;
      case 44:
        host.contentFails = !host.contentFails;
        break;
      default: {
        // The rest of the byte range: the invariants of one page, one path
        // and one position at once, so that they follow the state closely.
        const char16_t* at = path(p);
        const int32_t page = p.number();
        const intptr_t value = p.number();
        checkPage(page, value);
        checkContentPage(at, page, value);
        checkPosition(at, static_cast<uint32_t>(p.number()));
        checkLink(at, value);
        break;
      }
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
