/* A host written in C: proves the public header and the records it reads
 * work from C. Opens a small publication served from memory and checks what
 * a C reader application would read. Returns NULL on success, else what
 * went wrong. */
#include <string.h>

#include "epubreader.h"

struct file {
  const char16_t* path;
  const char* bytes;
};

static const char container[] =
    "<?xml version=\"1.0\"?><container><rootfiles>"
    "<rootfile full-path=\"content.opf\" media-type=\"application/oebps-package+xml\"/>"
    "</rootfiles></container>";

static const struct file files[] = {
    {u"content.opf",
     "<package unique-identifier=\"id\"><metadata>"
     "<dc:title>C Host</dc:title><dc:identifier id=\"id\">u</dc:identifier>"
     "<dc:date>2001</dc:date></metadata>"
     "<manifest><item id=\"a\" href=\"a.xhtml\" media-type=\"application/xhtml+xml\"/>"
     "<item id=\"n\" href=\"toc.ncx\" media-type=\"application/x-dtbncx+xml\"/></manifest>"
     "<spine><itemref idref=\"a\"/></spine></package>"},
    {u"toc.ncx",
     "<ncx><head><meta name=\"x\" content=\"y\"/></head><docTitle><text>T</text></docTitle>"
     "<navMap><navPoint id=\"p\" playOrder=\"1\"><navLabel><text>L</text></navLabel>"
     "<content src=\"a.xhtml\"/><navPoint id=\"q\"><content src=\"a.xhtml#q\"/></navPoint>"
     "</navPoint></navMap></ncx>"},
};

static int reads;

static int same(const char16_t* a, const char16_t* b) {
  if (!a || !b) return a == b;
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}

static bool read_file(void* user, const char16_t* path, const uint8_t** bytes, uint32_t* length) {
  size_t i;
  (void)user;
  ++reads;
  for (i = 0; i < sizeof files / sizeof files[0]; ++i) {
    if (same(files[i].path, path)) {
      *bytes = (const uint8_t*)files[i].bytes;
      *length = (uint32_t)strlen(files[i].bytes);
      return true;
    }
  }
  return false;
}

const char* c_host_run(void) {
  EpubReaderHostOptions options;
  EpubReader* reader;
  const EpubReaderPublicationMetadata* meta;
  const EpubReaderSpineList* spine;
  const EpubReaderNavList* nav;
  const char* failure = NULL;

  memset(&options, 0, sizeof options);
  options.read = read_file;
  reads = 0;
  reader = EpubReader_new(&options);
  if (!reader) return "no handle";
  if (!EpubReader_readMimeType(reader, (const uint8_t*)"application/epub+zip", 20))
    failure = "mimetype refused";
  else if (!same(EpubReader_readContainer(reader, (const uint8_t*)container,
                                          (uint32_t)strlen(container)),
                 u"content.opf"))
    failure = "opfPath";
  else if (reads != 2)
    failure = "read count";
  if (!failure) {
    meta = EpubReader_getPublicationMetadata(reader);
    spine = EpubReader_getSpine(reader);
    nav = EpubReader_getNavMap(reader);
    if (!meta || !same(meta->title, u"C Host") || meta->date != NULL ||
        !same(meta->identifier, u"") || !same(meta->rights, u""))
      failure = "metadata";
    else if (!spine || spine->count != 1 || !spine->first || spine->first->next ||
             !same(spine->first->item->href, u"a.xhtml"))
      failure = "spine";
    else if (!nav || nav->count != 2 || nav->first->depth != 1 ||
             !same(nav->first->entry->label, u"L") || nav->first->next->depth != 2 ||
             nav->first->next->entry->label != NULL ||
             !same(nav->first->next->entry->playOrder, u"") || nav->first->next->next)
      failure = "navigation";
    else if (!same(EpubReader_getNcxDocTitle(reader), u"T") ||
             EpubReader_getNcxDocAuthor(reader) != NULL)
      failure = "ncx strings";
  }
  EpubReader_free(&reader);
  if (!failure && reader != NULL) failure = "handle not cleared";
  return failure;
}
