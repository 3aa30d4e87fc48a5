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
#include <zip.h>

#include "epubreader.h"
#include "pendrel_mupdf.h"

/* Files read for the library stay alive until the handle is freed: the
 * library and the renderer may keep pointing at them. */
struct archive {
  zip_t* zip;
  uint8_t** buffers;
  size_t count, capacity;
};

/* UTF-16 path to UTF-8 for libzip; NULL when it does not fit. */
static int to_utf8(const char16_t* s, char* out, size_t size) {
  size_t n = 0;
  for (; *s; ++s) {
    uint32_t c = *s;
    if (c >= 0xD800 && c < 0xDC00 && s[1] >= 0xDC00 && s[1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (uint32_t)(s[1] - 0xDC00);
      ++s;
    }
    if (n + 5 >= size) return 0;
    if (c < 0x80) {
      out[n++] = (char)c;
    } else if (c < 0x800) {
      out[n++] = (char)(0xC0 | (c >> 6));
      out[n++] = (char)(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out[n++] = (char)(0xE0 | (c >> 12));
      out[n++] = (char)(0x80 | ((c >> 6) & 0x3F));
      out[n++] = (char)(0x80 | (c & 0x3F));
    } else {
      out[n++] = (char)(0xF0 | (c >> 18));
      out[n++] = (char)(0x80 | ((c >> 12) & 0x3F));
      out[n++] = (char)(0x80 | ((c >> 6) & 0x3F));
      out[n++] = (char)(0x80 | (c & 0x3F));
    }
  }
  out[n] = 0;
  return 1;
}

static uint8_t* read_entry(struct archive* a, const char* name, uint32_t* length) {
  zip_stat_t st;
  zip_file_t* file;
  uint8_t* data;
  if (zip_stat(a->zip, name, 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE) || st.size > 0x7FFFFFFF)
    return NULL;
  file = zip_fopen(a->zip, name, 0);
  if (!file) return NULL;
  data = malloc(st.size ? st.size : 1);
  if (data && zip_fread(file, data, st.size) != (zip_int64_t)st.size) {
    free(data);
    data = NULL;
  }
  zip_fclose(file);
  if (!data) return NULL;
  if (a->count == a->capacity) {
    size_t capacity = a->capacity ? a->capacity * 2 : 16;
    uint8_t** grown = realloc(a->buffers, capacity * sizeof *grown);
    if (!grown) {
      free(data);
      return NULL;
    }
    a->buffers = grown;
    a->capacity = capacity;
  }
  a->buffers[a->count++] = data;
  *length = (uint32_t)st.size;
  return data;
}

static bool read_callback(void* user, const char16_t* path, const uint8_t** bytes,
                          uint32_t* length) {
  char name[4096];
  if (!path || !to_utf8(path, name, sizeof name)) return false;
  *bytes = read_entry(user, name, length);
  return *bytes != NULL;
}

/* Pixels that are not near white: zero means nothing was drawn. */
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
  struct archive archive = {0};
  EpubReaderHostOptions options;
  EpubReader* reader;
  PendrelBitmap bitmap;
  const uint8_t *mimetype, *container;
  uint32_t mimetype_length = 0, container_length = 0;
  const char16_t* opf;
  int error = 0, page, width = 600, height = 800, pages;
  size_t k;

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
  archive.zip = zip_open(argv[1], ZIP_RDONLY, &error);
  if (!archive.zip) {
    fprintf(stderr, "epubrender: cannot open %s as a zip archive\n", argv[1]);
    return 1;
  }

  memset(&options, 0, sizeof options);
  options.read = read_callback;
  options.userData = &archive;
  reader = EpubReader_new(&options);
  error = 1;
  mimetype = read_entry(&archive, "mimetype", &mimetype_length);
  if (mimetype) EpubReader_readMimeType(reader, mimetype, (int32_t)mimetype_length);
  container = read_entry(&archive, "META-INF/container.xml", &container_length);
  opf = container ? EpubReader_readContainer(reader, container, container_length) : NULL;
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
  for (k = 0; k < archive.count; ++k) free(archive.buffers[k]);
  free(archive.buffers);
  zip_close(archive.zip);
  return error;
}
