/*
 * A C host of EpubReader: opens an .epub with libzip, serves its files to the
 * engine through the read callback, prints the publication's metadata,
 * reading order, table of contents and page count, and draws its first page
 * into a bitmap with the MuPDF renderer.
 *
 * Usage: epub_c_host [book.epub]   (default: the installed sample)
 * Exit status 1 when the book cannot be opened, has no pages or the first
 * page comes out blank.
 */
#include <EpubReader/pendrel_mupdf.h>
#include <epubreader.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zip.h>

#ifndef EPUB_SAMPLE
#define EPUB_SAMPLE "sample.epub"
#endif

/* Every file handed to the engine stays here until the release callback
 * names it or the host ends: the renderer may refer to the bytes. */
typedef struct File {
  char* name;
  uint8_t* bytes;
  uint32_t length;
  struct File* next;
} File;

typedef struct Host {
  zip_t* zip;
  File* files;
} Host;

/* UTF-16 to a new UTF-8 string (unpaired surrogates become U+FFFD). */
static char* to_utf8(const epub_char16* text) {
  size_t n = 0;
  while (text && text[n]) ++n;
  char* out = malloc(n * 3 + 1);
  char* o = out;
  for (size_t i = 0; i < n; ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      *o++ = (char)c;
    } else if (c < 0x800) {
      *o++ = (char)(0xC0 | (c >> 6));
      *o++ = (char)(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      *o++ = (char)(0xE0 | (c >> 12));
      *o++ = (char)(0x80 | ((c >> 6) & 0x3F));
      *o++ = (char)(0x80 | (c & 0x3F));
    } else {
      *o++ = (char)(0xF0 | (c >> 18));
      *o++ = (char)(0x80 | ((c >> 12) & 0x3F));
      *o++ = (char)(0x80 | ((c >> 6) & 0x3F));
      *o++ = (char)(0x80 | (c & 0x3F));
    }
  }
  *o = '\0';
  return out;
}

static void print_text(const char* label, const epub_char16* text) {
  char* utf8 = to_utf8(text);
  printf("%s: %s\n", label, text ? utf8 : "(none)");
  free(utf8);
}

/* Reads a whole entry of the archive into a new buffer. */
static uint8_t* read_entry(zip_t* zip, const char* name, uint32_t* length) {
  zip_stat_t st;
  if (zip_stat(zip, name, 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE) || st.size > UINT32_MAX) {
    return NULL;
  }
  zip_file_t* file = zip_fopen(zip, name, 0);
  if (!file) return NULL;
  uint8_t* bytes = malloc(st.size ? st.size : 1);
  zip_int64_t got = zip_fread(file, bytes, st.size);
  zip_fclose(file);
  if (got < 0 || (zip_uint64_t)got != st.size) {
    free(bytes);
    return NULL;
  }
  *length = (uint32_t)st.size;
  return bytes;
}

static bool host_read(void* user, const epub_char16* path, const uint8_t** bytes,
                      uint32_t* length) {
  Host* host = user;
  char* name = to_utf8(path);
  File* file = malloc(sizeof *file);
  file->bytes = read_entry(host->zip, name, &file->length);
  if (!file->bytes) {
    free(name);
    free(file);
    return false;
  }
  file->name = name;
  file->next = host->files;
  host->files = file;
  *bytes = file->bytes;
  *length = file->length;
  return true;
}

static void free_file(File* file) {
  free(file->name);
  free(file->bytes);
  free(file);
}

/* The renderer is done with every copy of this document read so far. */
static void host_release(void* user, const epub_char16* path) {
  Host* host = user;
  char* name = to_utf8(path);
  for (File** link = &host->files; *link;) {
    if (strcmp((*link)->name, name) == 0) {
      File* gone = *link;
      *link = gone->next;
      free_file(gone);
    } else {
      link = &(*link)->next;
    }
  }
  free(name);
}

int main(int argc, char** argv) {
  const char* book = argc > 1 ? argv[1] : EPUB_SAMPLE;
  printf("EpubReader %s, book %s\n", EPUBREADER_VERSION_STRING, book);
  int error = 0;
  Host host = {zip_open(book, ZIP_RDONLY, &error), NULL};
  if (!host.zip) {
    fprintf(stderr, "epub_c_host: cannot open %s as a zip archive\n", book);
    return 1;
  }

  EpubReaderHostOptions options = {0};
  options.read = host_read;
  options.release = host_release;
  options.userData = &host;
  options.settings.setting1 = 400; /* MuPDF renderer: page width and height, */
  options.settings.setting2 = 600; /* in points */
  EpubReader* reader = EpubReader_new(&options);

  int status = 1;
  uint32_t length = 0;
  uint8_t* mimetype = read_entry(host.zip, "mimetype", &length);
  if (mimetype) EpubReader_readMimeType(reader, mimetype, (int32_t)length);
  free(mimetype);
  uint8_t* container = read_entry(host.zip, "META-INF/container.xml", &length);
  const epub_char16* opf = container ? EpubReader_readContainer(reader, container, length) : NULL;
  free(container);
  if (!opf) {
    fprintf(stderr, "epub_c_host: %s is not a publication the engine can open\n", book);
    goto done;
  }

  print_text("Package document", opf);
  const EpubReaderPublicationMetadata* meta = EpubReader_getPublicationMetadata(reader);
  print_text("Title", meta->title);
  print_text("Creator", meta->creator);
  print_text("Language", meta->language);
  print_text("NCX author", EpubReader_getNcxDocAuthor(reader));

  const EpubReaderSpineList* spine = EpubReader_getSpine(reader);
  printf("Reading order (%u):\n", spine->count);
  for (const EpubReaderSpineNode* node = spine->first; node; node = node->next) {
    char* href = to_utf8(node->item->href);
    char* type = to_utf8(node->item->mediaType);
    printf("  %s (%s)\n", href, type);
    free(href);
    free(type);
  }

  const EpubReaderNavList* toc = EpubReader_getNavMap(reader);
  printf("Contents (%d):\n", toc ? toc->count : 0);
  for (const EpubReaderNavNode* node = toc ? toc->first : NULL; node; node = node->next) {
    char* label = to_utf8(node->entry->label);
    char* src = to_utf8(node->entry->src);
    printf("  %*s%s -> %s\n", 2 * (node->depth - 1), "", label, src);
    free(label);
    free(src);
  }

  EpubReader_loadAll(reader, NULL, NULL);
  int32_t pages = EpubReader_getPageCount(reader);
  printf("Pages: %d\n", pages);
  if (pages <= 0) {
    fprintf(stderr, "epub_c_host: the renderer laid out no pages\n");
    goto done;
  }

  /* Page 1 (the first after the cover) at one pixel per point. */
  PendrelBitmap bitmap = {NULL, 400, 600, 400 * 4};
  bitmap.pixels = calloc((size_t)bitmap.stride * (size_t)bitmap.height, 1);
  EpubReader_draw(reader, pages > 1 ? 1 : 0, (intptr_t)&bitmap, 0, 0, 100);
  size_t inked = 0;
  for (size_t i = 0; i < (size_t)bitmap.stride * (size_t)bitmap.height; i += 4) {
    if (bitmap.pixels[i] < 128) ++inked;
  }
  free(bitmap.pixels);
  printf("Drawn page %d: %zu dark pixels\n", pages > 1 ? 1 : 0, inked);
  status = inked > 0 ? 0 : 1;
  if (status) fprintf(stderr, "epub_c_host: the page came out blank\n");

done:
  EpubReader_free(&reader);
  while (host.files) {
    File* next = host.files->next;
    free_file(host.files);
    host.files = next;
  }
  zip_close(host.zip);
  return status;
}
