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

#include "epubreader.h"
#include "zip_host.h"

static void print_text(const char16_t* s) {
  static char buffer[1 << 16];
  if (!s)
    fputs("(none)", stdout);
  else if (zip_host_utf8(s, buffer, sizeof buffer))
    fputs(buffer, stdout);
  else
    fputs("(too long)", stdout);
}

int main(int argc, char** argv) {
  struct zip_host host;
  EpubReaderHostOptions options;
  EpubReader* reader;
  const EpubReaderPublicationMetadata* meta;
  const EpubReaderSpineList* spine;
  const EpubReaderNavList* nav;
  const EpubReaderSpineNode* s;
  const EpubReaderNavNode* n;
  const char16_t* opf;
  int load = 0, error = 0, i;
  const char* path = NULL;

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
  if (!zip_host_open(&host, path)) {
    fprintf(stderr, "epubinfo: cannot open %s as a zip archive\n", path);
    return 1;
  }

  options = zip_host_options(&host);
  reader = EpubReader_new(&options);
  opf = zip_host_open_publication(&host, reader);
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
  zip_host_close(&host);
  return error;
}
