// The engine's side of bench/render: opens a publication with the MuPDF
// renderer (through the epubreader command's Book host), then either lays out
// every document and draws every page (mode "all") or loads and draws only
// the first document (mode "first"). Prints the page count and the seconds
// spent from creating the Reader handle to the last page drawn (and, for
// "first", the seconds of EpubReader_loadContent and the first draw alone,
// elapsed and CPU); peak memory is measured around the whole process by the
// script.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "book.h"
#include "epubreader.h"
#include <EpubReader/pendrel_mupdf.h>
#include "utf.h"

namespace {

double clockSeconds(clockid_t id) {
  timespec t;
  clock_gettime(id, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double now() { return clockSeconds(CLOCK_MONOTONIC); }
double cpu() { return clockSeconds(CLOCK_PROCESS_CPUTIME_ID); }

// The first spine document's full path: the href joined to the package
// document's folder.
std::u16string firstDocument(EpubReader* reader, const std::string& opf) {
  const EpubReaderSpineList* spine = EpubReader_getSpine(reader);
  if (!spine || !spine->first || !spine->first->item || !spine->first->item->href) return {};
  std::u16string path = epub::utf::fromUtf8(opf.substr(0, opf.rfind('/') + 1));
  return path + spine->first->item->href;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6 || (std::strcmp(argv[5], "all") != 0 && std::strcmp(argv[5], "first") != 0)) {
    std::fprintf(stderr, "usage: bench_render_host book.epub width height em all|first\n");
    return 2;
  }
  const int width = std::atoi(argv[2]), height = std::atoi(argv[3]), em = std::atoi(argv[4]);
  const bool all = std::strcmp(argv[5], "all") == 0;
  if (width <= 0 || height <= 0 || width > 8192 || height > 8192 || em <= 0 || em > 400) {
    std::fprintf(stderr, "bench_render_host: bad page size or em\n");
    return 2;
  }
  std::vector<unsigned char> pixels(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
  PendrelBitmap bitmap;
  bitmap.width = width;
  bitmap.height = height;
  bitmap.stride = width * 4;
  bitmap.pixels = pixels.data();

  std::string error;
  auto book = epubreader::Book::openFile(argv[1], error);
  if (!book) {
    std::fprintf(stderr, "bench_render_host: %s\n", error.c_str());
    return 1;
  }
  int pages = 0;
  double loaded = 0, loadedCpu = 0;
  const double start = now();
  EpubReader* reader = book->open(EpubReaderRendererSettings{}, error);
  if (reader) {
    EpubReader_changeClientSize(reader, PENDREL_PAGE_SIZE(width, height));
    EpubReader_changeFont(reader, em, 0, 0, 0);
    if (all) {
      EpubReader_loadAll(reader, nullptr, nullptr);
      pages = EpubReader_getPageCount(reader);
      for (int page = 0; page < pages; ++page)
        EpubReader_draw(reader, page, reinterpret_cast<intptr_t>(&bitmap), 0, 0, 100);
    } else if (std::u16string first = firstDocument(reader, book->packagePath()); !first.empty()) {
      loaded = now();
      loadedCpu = cpu();
      if (EpubReader_loadContent(reader, first.c_str(), nullptr, nullptr)) {
        pages = EpubReader_getContentPageCount(reader, first.c_str());
        EpubReader_drawContent(reader, first.c_str(), 0, reinterpret_cast<intptr_t>(&bitmap), 0, 0,
                               100);
      }
      loaded = now() - loaded;
      loadedCpu = cpu() - loadedCpu;
    }
  }
  const double seconds = now() - start;
  EpubReader_free(&reader);
  if (pages <= 0) {
    std::fprintf(stderr, "bench_render_host: %s drew no page\n", argv[1]);
    return 1;
  }
  // "first" also gives the time of loadContent and the first draw alone,
  // elapsed and on the CPU.
  std::printf("pages %d seconds %.4f load %.4f load-cpu %.4f\n", pages, seconds, loaded, loadedCpu);
  return 0;
}
