// A host that drives the engine and the MuPDF renderer from a thread with a
// 1 MiB stack, as hosts on small threads do: opens the book, lays every
// document out and draws the first and the last page. Exit 0, 3 when the
// book warned of damage or a budget, 1 when it could not be opened.
#include <EpubReader/pendrel_mupdf.h>
#include <pthread.h>

#include <cstdio>
#include <string>
#include <vector>

#include "book.h"
#include "epubreader.h"

namespace {

constexpr size_t kStack = size_t(1) << 20;

struct Run {
  const char* path;
  int status = 1;
};

void* drive(void* arg) {
  Run& run = *static_cast<Run*>(arg);
  std::string error;
  auto book = epubreader::Book::openFile(run.path, error);
  EpubReader* reader = book ? book->open(EpubReaderRendererSettings{}, error) : nullptr;
  if (!reader) {
    std::fprintf(stderr, "stack_host: %s\n", error.c_str());
    return nullptr;
  }
  std::vector<unsigned char> pixels(400 * 600 * 4);
  PendrelBitmap bitmap{};
  bitmap.width = 400;
  bitmap.height = 600;
  bitmap.stride = 400 * 4;
  bitmap.pixels = pixels.data();
  EpubReader_loadAll(reader, nullptr, nullptr);
  const int pages = EpubReader_getPageCount(reader);
  for (int page : {0, pages - 1})
    if (page >= 0) EpubReader_draw(reader, page, reinterpret_cast<intptr_t>(&bitmap), 0, 0, 0);
  EpubReader_free(&reader);
  std::printf("pages %d\n", pages);
  run.status = book->damaged() ? 3 : 0;
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: stack_host book.epub\n");
    return 2;
  }
  Run run{argv[1]};
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, kStack);
  pthread_t thread;
  if (pthread_create(&thread, &attr, drive, &run) != 0) return 1;
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
  return run.status;
}
