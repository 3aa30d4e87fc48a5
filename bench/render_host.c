/* The engine's side of bench/render: opens a publication with the MuPDF
 * renderer, then either lays out every document and draws every page
 * (mode "all") or loads and draws only the first document (mode "first").
 * Prints the page count and the seconds spent from creating the Reader
 * handle to the last page drawn (and, for "first", the seconds of
 * EpubReader_loadContent and the first draw alone, elapsed and CPU); peak memory is
 * measured around the whole process by the script. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "epubreader.h"
#include "pendrel_mupdf.h"
#include "zip_host.h"

static double clock_seconds(clockid_t id) {
  struct timespec t;
  clock_gettime(id, &t);
  return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

static double now(void) { return clock_seconds(CLOCK_MONOTONIC); }
static double cpu(void) { return clock_seconds(CLOCK_PROCESS_CPUTIME_ID); }

/* The first spine document's full path: the href joined to the package
 * document's folder. */
static int first_document(EpubReader* reader, const char16_t* opf, char16_t* out, size_t size) {
  const EpubReaderSpineList* spine = EpubReader_getSpine(reader);
  size_t folder = 0, n = 0, i;
  const char16_t* href;
  if (!spine || !spine->first || !spine->first->item || !spine->first->item->href) return 0;
  href = spine->first->item->href;
  for (i = 0; opf[i]; ++i)
    if (opf[i] == u'/') folder = i + 1;
  for (i = 0; i < folder && n + 1 < size; ++i) out[n++] = opf[i];
  for (i = 0; href[i] && n + 1 < size; ++i) out[n++] = href[i];
  out[n] = 0;
  return href[i] == 0;
}

int main(int argc, char** argv) {
  struct zip_host host;
  EpubReaderHostOptions options;
  EpubReader* reader;
  PendrelBitmap bitmap;
  const char16_t* opf;
  char16_t first[1024];
  int width, height, em, pages = 0, page, all, error = 1;
  double start, seconds, loaded = 0, loaded_cpu = 0;

  if (argc != 6 || (strcmp(argv[5], "all") != 0 && strcmp(argv[5], "first") != 0)) {
    fprintf(stderr, "usage: bench_render_host book.epub width height em all|first\n");
    return 2;
  }
  width = atoi(argv[2]);
  height = atoi(argv[3]);
  em = atoi(argv[4]);
  all = strcmp(argv[5], "all") == 0;
  if (width <= 0 || height <= 0 || width > 8192 || height > 8192 || em <= 0 || em > 400) {
    fprintf(stderr, "bench_render_host: bad page size or em\n");
    return 2;
  }
  bitmap.width = width;
  bitmap.height = height;
  bitmap.stride = width * 4;
  bitmap.pixels = malloc((size_t)width * (size_t)height * 4);
  if (!bitmap.pixels || !zip_host_open(&host, argv[1])) {
    fprintf(stderr, "bench_render_host: cannot open %s\n", argv[1]);
    free(bitmap.pixels);
    return 1;
  }
  start = now();
  options = zip_host_options(&host);
  reader = EpubReader_new(&options);
  opf = zip_host_open_publication(&host, reader);
  if (opf) {
    EpubReader_changeClientSize(reader, PENDREL_PAGE_SIZE(width, height));
    EpubReader_changeFont(reader, em, 0, 0, 0);
    if (all) {
      EpubReader_loadAll(reader, NULL, NULL);
      pages = EpubReader_getPageCount(reader);
      for (page = 0; page < pages; ++page)
        EpubReader_draw(reader, page, (intptr_t)&bitmap, 0, 0, 100);
      error = pages > 0 ? 0 : 1;
    } else if (first_document(reader, opf, first, sizeof first / sizeof first[0])) {
      loaded = now();
      loaded_cpu = cpu();
      if (EpubReader_loadContent(reader, first, NULL, NULL)) {
        pages = EpubReader_getContentPageCount(reader, first);
        EpubReader_drawContent(reader, first, 0, (intptr_t)&bitmap, 0, 0, 100);
        error = pages > 0 ? 0 : 1;
      }
      loaded = now() - loaded;
      loaded_cpu = cpu() - loaded_cpu;
    }
  }
  seconds = now() - start;
  EpubReader_free(&reader);
  zip_host_close(&host);
  free(bitmap.pixels);
  if (error) {
    fprintf(stderr, "bench_render_host: %s drew no page\n", argv[1]);
    return 1;
  }
  /* "first" also gives the time of loadContent and the first draw alone,
   * elapsed and on the CPU. */
  printf("pages %d seconds %.4f load %.4f load-cpu %.4f\n", pages, seconds, loaded, loaded_cpu);
  return 0;
}
