/* A minimal 32-bit Windows host: opens a publication held in memory through
 * EpubReader.dll and prints its reading order. Built by the win32 preset to
 * prove that a C program links against the import library through the public
 * header's dllimport declarations; run it on Windows with the three DLLs
 * beside it. Exit status 0 when the publication opened with one spine item. */
#include <epubreader.h>
#include <stdio.h>
#include <string.h>

static const char kMimeType[] = "application/epub+zip";
static const char kContainer[] =
    "<?xml version=\"1.0\"?>"
    "<container version=\"1.0\" xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\">"
    "<rootfiles><rootfile full-path=\"OEBPS/content.opf\" "
    "media-type=\"application/oebps-package+xml\"/></rootfiles></container>";
static const char kPackage[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"2.0\" unique-identifier=\"id\">"
    "<metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
    "<dc:title>Smoke</dc:title><dc:identifier id=\"id\">smoke-1</dc:identifier></metadata>"
    "<manifest><item id=\"c1\" href=\"c1.xhtml\" media-type=\"application/xhtml+xml\"/></manifest>"
    "<spine><itemref idref=\"c1\"/></spine></package>";
static const char kChapter[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<html xmlns=\"http://www.w3.org/1999/xhtml\"><body><p>Hello</p></body></html>";

/* Compares a UTF-16 path with an ASCII one. */
static bool samePath(const epub_char16* path, const char* ascii) {
  size_t i = 0;
  for (; path[i] != 0 && ascii[i] != 0; ++i)
    if (path[i] != (epub_char16)(unsigned char)ascii[i]) return false;
  return path[i] == 0 && ascii[i] == 0;
}

static bool readFile(void* userData, const epub_char16* path, const uint8_t** bytes,
                     uint32_t* length) {
  (void)userData;
  const char* text = NULL;
  if (samePath(path, "OEBPS/content.opf")) text = kPackage;
  if (samePath(path, "OEBPS/c1.xhtml")) text = kChapter;
  if (!text) return false;
  *bytes = (const uint8_t*)text;
  *length = (uint32_t)strlen(text);
  return true;
}

int main(void) {
  EpubReaderHostOptions options;
  memset(&options, 0, sizeof options);
  options.read = readFile;
  EpubReader* reader = EpubReader_new(&options);
  if (!reader) return 1;
  int status = 1;
  if (EpubReader_readMimeType(reader, (const uint8_t*)kMimeType, (int32_t)(sizeof kMimeType - 1)) &&
      EpubReader_readContainer(reader, (const uint8_t*)kContainer,
                               (uint32_t)(sizeof kContainer - 1))) {
    const EpubReaderSpineList* spine = EpubReader_getSpine(reader);
    if (spine) {
      printf("spine items: %u\n", (unsigned)spine->count);
      if (spine->count == 1) status = 0;
    }
  }
  EpubReader_free(&reader);
  return status;
}
