/* A Windows host that links nothing of the engine: it loads EpubReader.dll
 * with LoadLibraryW, finds each export by its undecorated name with
 * GetProcAddress, as a host built with another compiler would, and opens a
 * publication held in memory through the read callback. It reads every
 * field of the metadata record, the Spine list and the Navigation list at
 * its byte offset, and checks page addressing.
 *
 * The DLL's renderer is the recording test renderer (Pendrel.dll beside it);
 * the host scripts its page counts and object indexes through that DLL's C
 * entries. Run it from the folder that holds the three DLLs. Prints what it
 * checked; exit status 0 when every check held, 1 otherwise. */
#include <epubreader.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

typedef EpubReader* (*NewFn)(const EpubReaderHostOptions*);
typedef void (*FreeFn)(EpubReader**);
typedef bool (*ReadMimeTypeFn)(EpubReader*, const uint8_t*, int32_t);
typedef const epub_char16* (*ReadContainerFn)(EpubReader*, const uint8_t*, uint32_t);
typedef const EpubReaderPublicationMetadata* (*MetadataFn)(EpubReader*);
typedef const EpubReaderSpineList* (*SpineFn)(EpubReader*);
typedef const EpubReaderNavList* (*NavMapFn)(EpubReader*);
typedef const epub_char16* (*TextFn)(EpubReader*);
typedef bool (*LoadAllFn)(EpubReader*, EpubReaderProgressCallback, void*);
typedef int32_t (*PageCountFn)(EpubReader*);
typedef int32_t (*PathCountFn)(EpubReader*, const epub_char16*);
typedef const epub_char16* (*PageTextFn)(EpubReader*, int32_t);
typedef uint32_t (*MarkableFn)(EpubReader*, int32_t);
typedef int32_t (*PageOfMarkFn)(EpubReader*, uint32_t);
typedef void (*SetPageCountFn)(const epub_char16*, int32_t);
typedef void (*SetObjectIndexesFn)(const epub_char16*, const uint32_t*, uint32_t);

static struct {
  NewFn newReader;
  FreeFn freeReader;
  ReadMimeTypeFn readMimeType;
  ReadContainerFn readContainer;
  MetadataFn getPublicationMetadata;
  SpineFn getSpine;
  NavMapFn getNavMap;
  TextFn getNcxDocTitle;
  LoadAllFn loadAll;
  PageCountFn getPageCount;
  PathCountFn getContentPageCount;
  PathCountFn getTotalPageBeforeContent;
  PageTextFn getFileName;
  PageTextFn getContentByPage;
  MarkableFn getMarkablePosition;
  PageOfMarkFn getPageMarkPosition;
  SetPageCountFn setPageCount;
  SetObjectIndexesFn setObjectIndexes;
} api;

static int failures;

/* The address of an export, as the generic function type every function
 * pointer converts to and from; null (and reported) when it is missing. */
static void (*find(HMODULE module, const char* name))(void) {
  FARPROC address = GetProcAddress(module, name);
  if (!address) {
    printf("FAIL: no export named %s\n", name);
    ++failures;
  }
  return (void (*)(void))address;
}

static bool findExports(void) {
  HMODULE engine = LoadLibraryW(L"EpubReader.dll");
  if (!engine) {
    printf("FAIL: LoadLibraryW(EpubReader.dll): error %lu\n", (unsigned long)GetLastError());
    return false;
  }
  /* Already loaded as the engine's renderer: this only finds it. */
  HMODULE renderer = GetModuleHandleW(L"Pendrel.dll");
  if (!renderer) {
    printf("FAIL: Pendrel.dll was not loaded with the engine\n");
    return false;
  }
  const int before = failures;
  api.newReader = (NewFn)find(engine, "EpubReader_new");
  api.freeReader = (FreeFn)find(engine, "EpubReader_free");
  api.readMimeType = (ReadMimeTypeFn)find(engine, "EpubReader_readMimeType");
  api.readContainer = (ReadContainerFn)find(engine, "EpubReader_readContainer");
  api.getPublicationMetadata = (MetadataFn)find(engine, "EpubReader_getPublicationMetadata");
  api.getSpine = (SpineFn)find(engine, "EpubReader_getSpine");
  api.getNavMap = (NavMapFn)find(engine, "EpubReader_getNavMap");
  api.getNcxDocTitle = (TextFn)find(engine, "EpubReader_getNcxDocTitle");
  api.loadAll = (LoadAllFn)find(engine, "EpubReader_loadAll");
  api.getPageCount = (PageCountFn)find(engine, "EpubReader_getPageCount");
  api.getContentPageCount = (PathCountFn)find(engine, "EpubReader_getContentPageCount");
  api.getTotalPageBeforeContent = (PathCountFn)find(engine, "EpubReader_getTotalPageBeforeContent");
  api.getFileName = (PageTextFn)find(engine, "EpubReader_getFileName");
  api.getContentByPage = (PageTextFn)find(engine, "EpubReader_getContentByPage");
  api.getMarkablePosition = (MarkableFn)find(engine, "EpubReader_getMarkablePosition");
  api.getPageMarkPosition = (PageOfMarkFn)find(engine, "EpubReader_getPageMarkPosition");
  api.setPageCount = (SetPageCountFn)find(renderer, "TestRenderer_setPageCount");
  api.setObjectIndexes = (SetObjectIndexesFn)find(renderer, "TestRenderer_setObjectIndexes");
  return failures == before;
}

/* The publication: its OPF in OEBPS/, a UTF-8 title, a percent-escaped
 * href and a two-level table of contents. */
static const char kContainer[] =
    "<?xml version=\"1.0\"?>"
    "<container version=\"1.0\" xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\">"
    "<rootfiles><rootfile full-path=\"OEBPS/content.opf\" "
    "media-type=\"application/oebps-package+xml\"/></rootfiles></container>";
static const char kPackage[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"2.0\" unique-identifier=\"id\">"
    "<metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
    "<dc:title>Caf\xC3\xA9 Stories</dc:title><dc:creator>A. Writer</dc:creator>"
    "<dc:subject>Subject</dc:subject><dc:description>Description</dc:description>"
    "<dc:publisher>Publisher</dc:publisher><dc:contributor>Contributor</dc:contributor>"
    "<dc:date>2001-02-03</dc:date><dc:type>Type</dc:type><dc:format>Format</dc:format>"
    "<dc:identifier id=\"id\">host-1</dc:identifier><dc:identifier>isbn-2</dc:identifier>"
    "<dc:source>Source</dc:source><dc:language>en</dc:language>"
    "<dc:relation>Relation</dc:relation><dc:coverage>Coverage</dc:coverage>"
    "<dc:rights>Rights</dc:rights></metadata>"
    "<manifest>"
    "<item id=\"c1\" href=\"Text/c%201.xhtml\" media-type=\"application/xhtml+xml\"/>"
    "<item id=\"c2\" href=\"c2.xhtml\" media-type=\"application/xhtml+xml\"/>"
    "<item id=\"ncx\" href=\"toc.ncx\" media-type=\"application/x-dtbncx+xml\"/>"
    "</manifest><spine toc=\"ncx\"><itemref idref=\"c1\"/><itemref idref=\"c2\"/></spine>"
    "</package>";
static const char kNcx[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<ncx xmlns=\"http://www.daisy.org/z3986/2005/ncx/\" version=\"2005-1\">"
    "<docTitle><text>Caf\xC3\xA9 Stories</text></docTitle><navMap>"
    "<navPoint id=\"n1\" playOrder=\"1\"><navLabel><text>One</text></navLabel>"
    "<content src=\"Text/c%201.xhtml\"/>"
    "<navPoint id=\"n2\" playOrder=\"2\"><navLabel><text>One, part two</text></navLabel>"
    "<content src=\"Text/c%201.xhtml#p2\"/></navPoint></navPoint>"
    "<navPoint id=\"n3\" playOrder=\"3\"><content src=\"c2.xhtml\"/></navPoint>"
    "</navMap></ncx>";
static const char kChapter[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<html xmlns=\"http://www.w3.org/1999/xhtml\"><body><p>Text</p></body></html>";

static const struct {
  const epub_char16* path;
  const char* text;
} kFiles[] = {{u"OEBPS/content.opf", kPackage},
              {u"OEBPS/toc.ncx", kNcx},
              {u"OEBPS/Text/c 1.xhtml", kChapter},
              {u"OEBPS/c2.xhtml", kChapter}};
enum { kFileCount = sizeof kFiles / sizeof kFiles[0] };
static int readCounts[kFileCount];

static bool same(const epub_char16* a, const epub_char16* b) {
  if (!a || !b) return a == b;
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}

static bool readFile(void* userData, const epub_char16* path, const uint8_t** bytes,
                     uint32_t* length) {
  (void)userData;
  for (int i = 0; i < kFileCount; ++i) {
    if (same(path, kFiles[i].path)) {
      ++readCounts[i];
      *bytes = (const uint8_t*)kFiles[i].text;
      *length = (uint32_t)strlen(kFiles[i].text);
      return true;
    }
  }
  return false;
}

static void check(bool held, const char* what) {
  if (!held) {
    printf("FAIL: %s\n", what);
    ++failures;
  }
}

/* A record field as a host built with another compiler reads it: at its
 * byte offset, the fixed 32-bit one on i686 (the first argument) and the
 * natural one of 8-byte pointers on x86-64. */
#define OFFSET(i686, x86_64) (sizeof(void*) == 4 ? (size_t)(i686) : (size_t)(x86_64))

static const void* pointerAt(const void* record, size_t offset) {
  const void* value;
  memcpy(&value, (const char*)record + offset, sizeof value);
  return value;
}

static uint32_t u32At(const void* record, size_t offset) {
  uint32_t value;
  memcpy(&value, (const char*)record + offset, sizeof value);
  return value;
}

static void checkText(const void* record, size_t offset, const epub_char16* expected,
                      const char* what) {
  if (!same((const epub_char16*)pointerAt(record, offset), expected)) {
    printf("FAIL: %s (byte %u)\n", what, (unsigned)offset);
    ++failures;
  }
}

static void checkMetadataAndSpine(EpubReader* reader) {
  /* The fifteen Dublin Core strings, one pointer each; date is never handed
   * over and the identifier is the one that is not the unique one. */
  static const epub_char16* const fields[15] = {u"Caf\u00E9 Stories",
                                                u"A. Writer",
                                                u"Subject",
                                                u"Description",
                                                u"Publisher",
                                                u"Contributor",
                                                NULL,
                                                u"Type",
                                                u"Format",
                                                u"isbn-2",
                                                u"Source",
                                                u"en",
                                                u"Relation",
                                                u"Coverage",
                                                u"Rights"};
  const void* meta = api.getPublicationMetadata(reader);
  check(meta != NULL, "metadata record");
  for (int i = 0; meta && i < 15; ++i) {
    checkText(meta, OFFSET(4 * i, 8 * i), fields[i], "metadata: field");
  }

  /* Header {count, first}; node {item, next}; item {id, href, mediaType}. */
  const void* spine = api.getSpine(reader);
  check(spine && u32At(spine, 0) == 2, "spine: count of two");
  const void* node = spine ? pointerAt(spine, OFFSET(4, 8)) : NULL;
  static const epub_char16* const items[2][2] = {{u"c1", u"Text/c 1.xhtml"}, {u"c2", u"c2.xhtml"}};
  for (int i = 0; i < 2 && node; ++i, node = pointerAt(node, OFFSET(4, 8))) {
    const void* item = pointerAt(node, 0);
    checkText(item, 0, items[i][0], "spine: item id");
    checkText(item, OFFSET(4, 8), items[i][1], "spine: item href, percent-decoded");
    checkText(item, OFFSET(8, 16), u"application/xhtml+xml", "spine: item media type");
  }
  check(node == NULL, "spine: list ends after two nodes");
  printf("metadata and spine checked\n");
}

static void checkNavigation(EpubReader* reader) {
  static const struct {
    uint32_t depth;
    const epub_char16* id;
    const epub_char16* playOrder;
    const epub_char16* label;
    const epub_char16* src;
  } expected[] = {{1, u"n1", u"1", u"One", u"Text/c%201.xhtml"},
                  {2, u"n2", u"2", u"One, part two", u"Text/c%201.xhtml#p2"},
                  {1, u"n3", u"3", NULL, u"c2.xhtml"}};
  /* Header {reserved, count, first}; node {depth, entry, next}; entry {id,
   * playOrder, reserved, label, src}. */
  const void* nav = api.getNavMap(reader);
  check(nav && u32At(nav, 0) == 0 && u32At(nav, 4) == 3, "navigation: reserved 0, count 3");
  const void* node = nav ? pointerAt(nav, 8) : NULL;
  for (int i = 0; i < 3 && node; ++i, node = pointerAt(node, OFFSET(8, 16))) {
    check(u32At(node, 0) == expected[i].depth, "navigation: node depth");
    const void* entry = pointerAt(node, OFFSET(4, 8));
    checkText(entry, 0, expected[i].id, "navigation: entry id");
    checkText(entry, OFFSET(4, 8), expected[i].playOrder, "navigation: entry playOrder");
    checkText(entry, OFFSET(8, 16), NULL, "navigation: entry reserved");
    checkText(entry, OFFSET(12, 24), expected[i].label, "navigation: entry label");
    checkText(entry, OFFSET(16, 32), expected[i].src, "navigation: entry source as written");
  }
  check(node == NULL, "navigation: list ends after three entries");
  check(same(api.getNcxDocTitle(reader), u"Caf\u00E9 Stories"), "navigation: NCX title");
  printf("navigation list checked\n");
}

static void checkPages(EpubReader* reader) {
  /* Pages 0-2 in the first document (objects from 0, 4 and 9; 12 in all),
   * pages 3-4 in the second (from 0 and 5; 7 in all). */
  static const uint32_t first[] = {0, 4, 9, 12};
  static const uint32_t second[] = {0, 5, 7};
  api.setPageCount(u"OEBPS/Text/c 1.xhtml", 3);
  api.setObjectIndexes(u"OEBPS/Text/c 1.xhtml", first, 4);
  api.setPageCount(u"OEBPS/c2.xhtml", 2);
  api.setObjectIndexes(u"OEBPS/c2.xhtml", second, 3);

  check(api.loadAll(reader, NULL, NULL), "pages: loadAll");
  check(readCounts[2] == 1 && readCounts[3] == 1, "pages: each document read once, by full path");
  check(api.getPageCount(reader) == 5, "pages: five in all");
  check(api.getContentPageCount(reader, u"Text/c 1.xhtml") == 3, "pages: three in the first");
  check(api.getTotalPageBeforeContent(reader, u"c2.xhtml") == 3, "pages: three before the second");
  check(same(api.getFileName(reader, 2), u"Text/c 1.xhtml"), "pages: page 2 in the first");
  check(same(api.getContentByPage(reader, 3), u"c2.xhtml"), "pages: page 3 in the second");
  check(api.getContentByPage(reader, 5) == NULL, "pages: no page 5");
  check(api.getMarkablePosition(reader, 4) == 17, "pages: page 4 starts at object 12 + 5");
  check(api.getMarkablePosition(reader, 5) == 19, "pages: past the end, every object");
  check(api.getPageMarkPosition(reader, 10) == 2, "pages: object 10 on page 2");
  check(api.getPageMarkPosition(reader, 12) == 3, "pages: object 12 on page 3");
  printf("page addressing checked\n");
}

int main(void) {
  setvbuf(stdout, NULL, _IONBF, 0);
  if (!findExports()) return 1;

  EpubReaderHostOptions options;
  memset(&options, 0, sizeof options);
  options.read = readFile;
  EpubReader* reader = api.newReader(&options);
  if (!reader) {
    printf("FAIL: EpubReader_new\n");
    return 1;
  }
  static const char kMimeType[] = "application/epub+zip";
  check(api.readMimeType(reader, (const uint8_t*)kMimeType, (int32_t)(sizeof kMimeType - 1)),
        "mimetype accepted");
  const epub_char16* opf =
      api.readContainer(reader, (const uint8_t*)kContainer, (uint32_t)(sizeof kContainer - 1));
  check(same(opf, u"OEBPS/content.opf"), "container names OEBPS/content.opf");
  if (opf) {
    checkMetadataAndSpine(reader);
    checkNavigation(reader);
    checkPages(reader);
  }
  api.freeReader(&reader);
  check(reader == NULL, "handle cleared by EpubReader_free");

  if (failures) {
    printf("win_dll_host: %d check(s) failed\n", failures);
    return 1;
  }
  printf("win_dll_host: all checks held\n");
  return 0;
}
