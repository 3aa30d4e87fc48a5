/* epubrender: a command-line host that draws one page. Opens an .epub with
 * libzip like epubinfo, sets the page size, loads every document into the
 * renderer and writes publication page N as a binary PPM image. Built
 * against the MuPDF renderer, whose bitmap record it fills.
 *
 *   epubrender book.epub page out.ppm [width height]
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "epubreader.h"
#include "pendrel_mupdf.h"
#include "zip_host.h"

static size_t count_ink(const PendrelBitmap* b) {
  size_t n = 0;
  int32_t x, y;
  for (y = 0; y < b->height; ++y)
    for (x = 0; x < b->width; ++x) {
      const uint8_t* p = b->pixels + (size_t)y * (size_t)b->stride + (size_t)x * 4;
      if (p[0] < 200 || p[1] < 200 || p[2] < 200) ++n;
    }
  return n;
}

/* Writes the RGBA bitmap as a binary PPM, dropping alpha. */
static int write_ppm(const char* name, const PendrelBitmap* b) {
  FILE* out = fopen(name, "wb");
  int32_t x, y;
  if (!out) return 0;
  fprintf(out, "P6\n%d %d\n255\n", b->width, b->height);
  for (y = 0; y < b->height; ++y)
    for (x = 0; x < b->width; ++x)
      fwrite(b->pixels + (size_t)y * (size_t)b->stride + (size_t)x * 4, 1, 3, out);
  return fclose(out) == 0;
}

int main(int argc, char** argv) {
  struct zip_host host;
  EpubReaderHostOptions options;
  EpubReader* reader;
  PendrelBitmap bitmap;
  const char16_t* opf;
  int error = 0, page, width = 600, height = 800, pages;

  if (argc != 4 && argc != 6) {
    fprintf(stderr, "usage: epubrender book.epub page out.ppm [width height]\n");
    return 2;
  }
  page = atoi(argv[2]);
  if (argc == 6) {
    width = atoi(argv[4]);
    height = atoi(argv[5]);
  }
  if (width <= 0 || height <= 0 || width > 8192 || height > 8192) {
    fprintf(stderr, "epubrender: width and height must be between 1 and 8192\n");
    return 2;
  }
  if (!zip_host_open(&host, argv[1])) {
    fprintf(stderr, "epubrender: cannot open %s as a zip archive\n", argv[1]);
    return 1;
  }

  options = zip_host_options(&host);
  reader = EpubReader_new(&options);
  error = 1;
  opf = zip_host_open_publication(&host, reader);
  if (!opf) {
    fprintf(stderr, "epubrender: %s names no readable package document\n", argv[1]);
  } else {
    /* The renderer lays pages out in points; one point becomes one pixel. */
    EpubReader_changeClientSize(reader, PENDREL_PAGE_SIZE(width, height));
    EpubReader_loadAll(reader, NULL, NULL);
    pages = EpubReader_getPageCount(reader);
    bitmap.width = width;
    bitmap.height = height;
    bitmap.stride = width * 4;
    bitmap.pixels = calloc((size_t)width * (size_t)height, 4);
    if (page < 0 || page >= pages) {
      fprintf(stderr, "epubrender: page %d is not between 0 and %d\n", page, pages - 1);
    } else if (!bitmap.pixels) {
      fprintf(stderr, "epubrender: out of memory\n");
    } else {
      EpubReader_draw(reader, page, (intptr_t)&bitmap, 0, 0, 100);
      if (write_ppm(argv[3], &bitmap)) {
        printf("page %d of %d written to %s, ink: %zu pixels\n", page, pages, argv[3],
               count_ink(&bitmap));
        error = 0;
      } else {
        fprintf(stderr, "epubrender: cannot write %s\n", argv[3]);
      }
    }
    free(bitmap.pixels);
  }

  EpubReader_free(&reader);
  zip_host_close(&host);
  return error;
}
