/*
 * A C host that drives the engine and the MuPDF renderer from a thread with
 * a 1 MiB stack, as hosts on small threads do: serves the book's files from
 * libzip, inflating each in bounded chunks up to 256 MiB, opens the book,
 * lays every document out and draws the first and the last page. Every
 * problem is a warning on stderr. Exit 0, 3 when the book warned of damage
 * or a budget, 1 when it could not be opened.
 */
#include <EpubReader/pendrel_mupdf.h>
#include <epubreader.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zip.h>

enum { kStack = 1 << 20, kChunk = 1 << 16 };
static const size_t kMaxEntry = (size_t)256 << 20;

/* A file served to the engine, kept until the release callback names it. */
typedef struct File {
  char* name;
  uint8_t* bytes;
  struct File* next;
} File;

typedef struct Host {
  const char* path;
  zip_t* zip;
  File* files;
  int damaged;
  int status;
} Host;

static void warn(Host* host, const char* name, const char* what) {
  fprintf(stderr, "stack_host: warning: %s: %s\n", name, what);
  host->damaged = 1;
}

/* UTF-16 to a new UTF-8 string; unpaired surrogates become U+FFFD. */
static char* to_utf8(const epub_char16* text) {
  size_t n = 0;
  while (text && text[n]) ++n;
  char* out = malloc(n * 3 + 1);
  char* o = out;
  if (!out) return NULL;
  for (size_t i = 0; i < n; ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00u);
    else if (c >= 0xD800 && c < 0xE000)
      c = 0xFFFD;
    int extra = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    *o++ = (char)(extra ? ((0xFF80u >> extra) & 0xFF) | (c >> (6 * extra)) : c);
    while (extra--) *o++ = (char)(0x80 | ((c >> (6 * extra)) & 0x3F));
  }
  *o = '\0';
  return out;
}

/* An entry inflated chunk by chunk, never sized from the directory's claim,
 * up to the per-entry budget; NULL (with a warning unless it is absent). */
static uint8_t* read_entry(Host* host, const char* name, uint32_t* length) {
  zip_file_t* file = zip_fopen(host->zip, name, 0);
  if (!file) return NULL;
  size_t size = 0, room = 0;
  uint8_t* bytes = NULL;
  for (;;) {
    if (room - size < kChunk) {
      size_t want = room ? room * 2 : kChunk;
      if (want > kMaxEntry + kChunk) want = kMaxEntry + kChunk;
      uint8_t* grown = realloc(bytes, want);
      if (!grown) break;
      bytes = grown;
      room = want;
    }
    zip_int64_t got = zip_fread(file, bytes + size, kChunk);
    if (got < 0) break;
    if (got == 0) {
      zip_fclose(file);
      *length = (uint32_t)size;
      return bytes;
    }
    size += (size_t)got;
    if (size > kMaxEntry) {
      zip_fclose(file);
      free(bytes);
      warn(host, name, "inflates past the budget of 256 MiB per entry");
      return NULL;
    }
  }
  zip_fclose(file);
  free(bytes);
  warn(host, name, "cannot be inflated (damaged, or no memory)");
  return NULL;
}

static bool host_read(void* user, const epub_char16* path, const uint8_t** bytes,
                      uint32_t* length) {
  Host* host = user;
  File* file = calloc(1, sizeof *file);
  if (file) file->name = to_utf8(path);
  if (file && file->name) file->bytes = read_entry(host, file->name, length);
  if (!file || !file->bytes) {
    if (file) free(file->name);
    free(file);
    return false;
  }
  file->next = host->files;
  host->files = file;
  *bytes = file->bytes;
  return true;
}

static void host_release(void* user, const epub_char16* path) {
  Host* host = user;
  char* name = to_utf8(path);
  for (File** link = &host->files; name && *link;) {
    File* file = *link;
    if (strcmp(file->name, name) == 0) {
      *link = file->next;
      free(file->name);
      free(file->bytes);
      free(file);
    } else {
      link = &file->next;
    }
  }
  free(name);
}

/* Renderer callback 2: a resource missing (1), unusable (2) or over one of
 * the renderer's budgets (3 to 8). */
static bool host_report(void* user, intptr_t document, intptr_t resource, intptr_t reason) {
  static const char* const kWhy[] = {"is not in the archive",
                                     "cannot be used",
                                     "is past the nesting depth budget",
                                     "is past the document size budget",
                                     "is past the word length budget",
                                     "is past the SVG budget",
                                     "is past the budget for image pixels and bytes",
                                     "is past the budget of style sheets"};
  (void)document;
  char* name = to_utf8((const epub_char16*)resource);
  warn(user, name ? name : "?",
       reason >= 1 && reason <= 8 ? kWhy[reason - 1] : "was refused by the renderer");
  free(name);
  return true;
}

static void* drive(void* arg) {
  Host* host = arg;
  EpubReaderHostOptions options = {0};
  options.read = host_read;
  options.release = host_release;
  options.rendererCallback2 = host_report;
  options.userData = host;
  EpubReader* reader = EpubReader_new(&options);
  uint32_t length = 0;
  uint8_t* mimetype = read_entry(host, "mimetype", &length);
  if (mimetype) EpubReader_readMimeType(reader, mimetype, (int32_t)length);
  free(mimetype);
  uint8_t* container = read_entry(host, "META-INF/container.xml", &length);
  const epub_char16* opf = container ? EpubReader_readContainer(reader, container, length) : NULL;
  free(container);
  if (opf) {
    static uint8_t pixels[400 * 600 * 4];
    PendrelBitmap bitmap = {pixels, 400, 600, 400 * 4};
    EpubReader_loadAll(reader, NULL, NULL);
    int32_t pages = EpubReader_getPageCount(reader);
    if (pages > 0) EpubReader_draw(reader, 0, (intptr_t)&bitmap, 0, 0, 0);
    if (pages > 1) EpubReader_draw(reader, pages - 1, (intptr_t)&bitmap, 0, 0, 0);
    printf("pages %d\n", pages);
    host->status = host->damaged ? 3 : 0;
  } else {
    fprintf(stderr, "stack_host: %s: not a publication the engine can open\n", host->path);
  }
  EpubReader_free(&reader);
  return NULL;
}

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: stack_host book.epub\n");
    return 2;
  }
  int error = 0;
  Host host = {argv[1], zip_open(argv[1], ZIP_RDONLY, &error), NULL, 0, 1};
  if (!host.zip) {
    fprintf(stderr, "stack_host: %s: not a zip archive\n", argv[1]);
    return 1;
  }
  pthread_attr_t attr;
  pthread_t thread;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, kStack);
  if (pthread_create(&thread, &attr, drive, &host) != 0) return 1;
  pthread_join(thread, NULL);
  pthread_attr_destroy(&attr);
  while (host.files) {
    File* file = host.files;
    host.files = file->next;
    free(file->name);
    free(file->bytes);
    free(file);
  }
  zip_close(host.zip);
  return host.status;
}
