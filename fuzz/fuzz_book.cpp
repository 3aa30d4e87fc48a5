// A whole .epub file through the command line's zip host: the archive is
// opened from memory, every entry is inflated within the host's budget and
// served to the engine, and (in fuzz_book) the engine lays the book out on
// the MuPDF renderer, draws its first pages, searches it and marks a scrap.
// fuzz_zip stops after the package: the zip host and the package reader
// alone, many times faster per input.
#include <EpubReader/pendrel_mupdf.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "book.h"
#include "epubreader.h"
#include "utf.h"

namespace {

// Small enough for the fuzzer's memory limit with MuPDF's layout on top.
constexpr uint64_t kEntryBudget = 64u << 20;
constexpr int32_t kDrawnPages = 3;

void layOutAndDraw(epubreader::Book& book, EpubReader* reader) {
  EpubReader_loadAll(reader, nullptr, nullptr);
  book.settle();
  const int32_t pages = EpubReader_getPageCount(reader);
  std::vector<uint8_t> pixels(200 * 300 * 4);
  PendrelBitmap bitmap{pixels.data(), 200, 300, 200 * 4};
  for (int32_t page = 0; page < pages && page < kDrawnPages; ++page) {
    EpubReader_draw(reader, page, reinterpret_cast<intptr_t>(&bitmap), 0, 0, 100);
    book.settle();
  }
  EpubReader_setSearchContext(reader, u"e", 0);
  if (const EpubReaderSpineList* spine = EpubReader_getSpine(reader))
    for (const EpubReaderSpineNode* n = spine->first; n; n = n->next) {
      EpubReader_searchContent(reader, n->item->href, 0, 0, 0);
      book.settle();
    }
  EpubReader_clearSearchDatas(reader);
  if (pages > 0) {
    const uint32_t start = EpubReader_getMarkablePosition(reader, 0);
    EpubReader_addScrap(reader, start, start + 2, 0xFFFF80, 0);
    EpubReader_getScrapText(reader, start, start + 2);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  epubreader::entryBudget = kEntryBudget;
  std::string error;
  std::unique_ptr<epubreader::Book> book =
      epubreader::Book::openMemory(data, size, "input.epub", error);
  if (!book) return 0;
  EpubReaderRendererSettings settings{};
  settings.setting1 = 200;
  settings.setting2 = 300;
  EpubReader* reader = book->open(settings, error);
  if (!reader) return 0;
  // Every document of the reading order inflated, as the engine would ask.
  const std::string folder = book->packagePath().substr(0, book->packagePath().rfind('/') + 1);
  if (const EpubReaderSpineList* spine = EpubReader_getSpine(reader))
    for (const EpubReaderSpineNode* n = spine->first; n; n = n->next)
      if (n->item->href) book->read(folder + epub::utf::toUtf8(n->item->href));
  book->settle();
  EpubReader_getNavMap(reader);
  if (FUZZ_BOOK_LAYOUT) layOutAndDraw(*book, reader);
  EpubReader_free(&reader);
  return 0;
}
