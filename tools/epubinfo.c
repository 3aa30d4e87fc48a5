/* epubinfo: a command-line host. Opens an .epub with libzip, hands the
 * library the mimetype and container bytes, serves every other file through
 * the read callback, and prints the metadata, the reading order and the
 * table of contents. With --load it also loads every document into the
 * renderer and prints the page counts.
 *
 *   epubinfo [--load] book.epub
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zip.h>

#include "epubreader.h"

/* Files read for the library stay alive until the handle is freed: the
 * library and the renderer may keep pointing at them. */
struct archive {
  zip_t* zip;
  uint8_t** buffers;
  size_t count, capacity;
};

static void print_text(const char16_t* s) {
  if (!s) {
    fputs("(none)", stdout);
    return;
  }
  for (; *s; ++s) {
    uint32_t c = *s;
    if (c >= 0xD800 && c < 0xDC00 && s[1] >= 0xDC00 && s[1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (uint32_t)(s[1] - 0xDC00);
      ++s;
    }
    if (c < 0x80) {
      putchar((int)c);
    } else if (c < 0x800) {
      putchar((int)(0xC0 | (c >> 6)));
      putchar((int)(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      putchar((int)(0xE0 | (c >> 12)));
      putchar((int)(0x80 | ((c >> 6) & 0x3F)));
      putchar((int)(0x80 | (c & 0x3F)));
    } else {
      putchar((int)(0xF0 | (c >> 18)));
      putchar((int)(0x80 | ((c >> 12) & 0x3F)));
      putchar((int)(0x80 | ((c >> 6) & 0x3F)));
      putchar((int)(0x80 | (c & 0x3F)));
    }
  }
}

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

int main(int argc, char** argv) {
  struct archive archive = {0};
  EpubReaderHostOptions options;
  EpubReader* reader;
  const EpubReaderPublicationMetadata* meta;
  const EpubReaderSpineList* spine;
  const EpubReaderNavList* nav;
  const EpubReaderSpineNode* s;
  const EpubReaderNavNode* n;
  const uint8_t *mimetype, *container;
  uint32_t mimetype_length = 0, container_length = 0;
  const char16_t* opf;
  int load = 0, error = 0, i;
  const char* path = NULL;
  size_t k;

  for (i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--load") == 0)
      load = 1;
    else
      path = argv[i];
  }
  if (!path) {
    fprintf(stderr, "usage: epubinfo [--load] book.epub\n");
    return 2;
  }
  archive.zip = zip_open(path, ZIP_RDONLY, &error);
  if (!archive.zip) {
    fprintf(stderr, "epubinfo: cannot open %s as a zip archive\n", path);
    return 1;
  }

  memset(&options, 0, sizeof options);
  options.read = read_callback;
  options.userData = &archive;
  reader = EpubReader_new(&options);

  mimetype = read_entry(&archive, "mimetype", &mimetype_length);
  if (mimetype) EpubReader_readMimeType(reader, mimetype, (int32_t)mimetype_length);
  container = read_entry(&archive, "META-INF/container.xml", &container_length);
  opf = container ? EpubReader_readContainer(reader, container, container_length) : NULL;
  if (!opf) {
    fprintf(stderr, "epubinfo: %s names no readable package document\n", path);
    error = 1;
  } else {
    fputs("package: ", stdout);
    print_text(opf);
    meta = EpubReader_getPublicationMetadata(reader);
    fputs("\ntitle: ", stdout);
    print_text(meta->title);
    fputs("\ncreator: ", stdout);
    print_text(meta->creator);
    fputs("\nlanguage: ", stdout);
    print_text(meta->language);
    fputs("\nidentifier: ", stdout);
    print_text(meta->identifier);
    fputs("\npublisher: ", stdout);
    print_text(meta->publisher);
    fputs("\nncx title: ", stdout);
    print_text(EpubReader_getNcxDocTitle(reader));
    fputs("\nncx author: ", stdout);
    print_text(EpubReader_getNcxDocAuthor(reader));
    spine = EpubReader_getSpine(reader);
    printf("\nspine (%u):\n", (unsigned)spine->count);
    for (s = spine->first; s; s = s->next) {
      fputs("  ", stdout);
      print_text(s->item->href);
      fputs("  [", stdout);
      print_text(s->item->mediaType);
      fputs("]\n", stdout);
    }
    nav = EpubReader_getNavMap(reader);
    printf("contents (%d):\n", nav ? nav->count : 0);
    for (n = nav ? nav->first : NULL; n; n = n->next) {
      for (i = 0; i < n->depth; ++i) fputs("  ", stdout);
      print_text(n->entry->label);
      fputs("  -> ", stdout);
      print_text(n->entry->src);
      putchar('\n');
    }
    if (load) {
      EpubReader_loadAll(reader, NULL, NULL);
      printf("pages: %d\n", EpubReader_getPageCount(reader));
    }
  }

  EpubReader_free(&reader);
  for (k = 0; k < archive.count; ++k) free(archive.buffers[k]);
  free(archive.buffers);
  zip_close(archive.zip);
  return error;
}
