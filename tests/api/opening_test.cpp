// Opening a publication through the exports: what the read callback is asked
// for, the records the host reads, and every way opening can fail.
#include "host_fixture.h"

namespace {

using epubtest::ReaderTest;

const char* kContainer = R"(<?xml version="1.0" encoding="UTF-8"?>
<container version="1.0" xmlns="urn:oasis:names:tc:opendocument:xmlns:container">
  <rootfiles>
    <rootfile full-path="OEBPS/content.opf" media-type="application/oebps-package+xml"/>
  </rootfiles>
</container>)";

const char* kOpf = R"(<?xml version="1.0" encoding="UTF-8"?>
<package xmlns="http://www.idpf.org/2007/opf" unique-identifier="BookId" version="2.0">
  <metadata xmlns:dc="http://purl.org/dc/elements/1.1/" xmlns:opf="http://www.idpf.org/2007/opf">
    <dc:title>The &amp; Title</dc:title>
    <dc:creator opf:role="aut">Ann Author</dc:creator>
    <dc:subject>Tests</dc:subject>
    <dc:description>About it</dc:description>
    <dc:publisher>Pub</dc:publisher>
    <dc:contributor>Con</dc:contributor>
    <dc:date opf:event="publication">2020-01-01</dc:date>
    <dc:type>Text</dc:type>
    <dc:format>epub</dc:format>
    <dc:identifier id="BookId">urn:uuid:1234</dc:identifier>
    <dc:identifier id="isbn">978-0</dc:identifier>
    <dc:source>Src</dc:source>
    <dc:language>en</dc:language>
    <dc:relation>Rel</dc:relation>
    <dc:coverage>Cov</dc:coverage>
    <dc:rights>Rights</dc:rights>
  </metadata>
  <manifest>
    <item id="ncx" href="toc.ncx" media-type="application/x-dtbncx+xml"/>
    <item id="c1" href="Text/ch%201.xhtml" media-type="application/xhtml+xml"/>
    <item id="c2" href="Text/ch2.xhtml" media-type="application/xhtml+xml"/>
  </manifest>
  <spine toc="ncx">
    <itemref idref="c1"/>
    <itemref idref="missing"/>
    <itemref idref="c2" linear="no"/>
    <itemref idref="c1"/>
  </spine>
</package>)";

const char* kNcx = R"(<?xml version="1.0" encoding="UTF-8"?>
<ncx xmlns="http://www.daisy.org/z3986/2005/ncx/" version="2005-1">
  <head><meta name="dtb:uid" content="urn:uuid:1234"/></head>
  <docTitle><text>NCX Title</text></docTitle>
  <docAuthor><text>First Author</text></docAuthor>
  <docAuthor><text>Second Author</text></docAuthor>
  <navMap>
    <navPoint id="p1" playOrder="1">
      <navLabel><text>One</text></navLabel>
      <content src="Text/ch%201.xhtml"/>
      <navPoint id="p1a" playOrder="2">
        <navLabel><text>One A</text></navLabel>
        <content src="Text/ch%201.xhtml#a"/>
      </navPoint>
      <navPoint id="p1b" playOrder="3">
        <content src="Text/ch%201.xhtml#b"/>
      </navPoint>
    </navPoint>
    <navPoint id="p2" playOrder="4">
      <navLabel><text>Two</text></navLabel>
      <content src="Text/ch2.xhtml"/>
    </navPoint>
  </navMap>
</ncx>)";

std::string u8(const char16_t* s) { return s ? testrenderer::utf8(s) : "(null)"; }

const uint8_t* bytes(const char* s) { return reinterpret_cast<const uint8_t*>(s); }

class OpeningTest : public ReaderTest {
 protected:
  void serveDefault() {
    host.files[u"OEBPS/content.opf"] = kOpf;
    host.files[u"OEBPS/toc.ncx"] = kNcx;
  }
  const char16_t* open(const char* container = kContainer) {
    return EpubReader_readContainer(reader, bytes(container),
                                    static_cast<uint32_t>(strlen(container)));
  }
};

TEST_F(OpeningTest, ReadsPackageAndNcxInOrderAndReturnsTheOpfPath) {
  serveDefault();
  const char16_t* opf = open();
  EXPECT_EQ(u8(opf), "OEBPS/content.opf");
  // The OPF with the container's path as written, then the NCX resolved
  // against the OPF folder; content documents are not read yet.
  EXPECT_EQ(host.log, (std::vector<std::string>{"read(OEBPS/content.opf)", "read(OEBPS/toc.ncx)"}));
  EXPECT_TRUE(testrenderer::calls().empty());
}

TEST_F(OpeningTest, MetadataRecordCarriesFourteenFieldsAndNeverTheDate) {
  serveDefault();
  ASSERT_NE(open(), nullptr);
  const EpubReaderPublicationMetadata* m = EpubReader_getPublicationMetadata(reader);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m, EpubReader_getPublicationMetadata(reader));
  const std::vector<std::pair<const char16_t*, std::string>> fields = {
      {m->title, "The & Title"},
      {m->creator, "Ann Author"},
      {m->subject, "Tests"},
      {m->description, "About it"},
      {m->publisher, "Pub"},
      {m->contributor, "Con"},
      {m->date, "(null)"},
      {m->type, "Text"},
      {m->format, "epub"},
      // The unique identifier is kept back; the other one is handed over.
      {m->identifier, "978-0"},
      {m->source, "Src"},
      {m->language, "en"},
      {m->relation, "Rel"},
      {m->coverage, "Cov"},
      {m->rights, "Rights"}};
  for (size_t i = 0; i < fields.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(u8(fields[i].first), fields[i].second);
  }
}

TEST_F(OpeningTest, SpineListFollowsSpineOrderSkippingMissingIdrefs) {
  serveDefault();
  ASSERT_NE(open(), nullptr);
  const EpubReaderSpineList* spine = EpubReader_getSpine(reader);
  ASSERT_NE(spine, nullptr);
  EXPECT_EQ(spine, EpubReader_getSpine(reader));  // built once
  std::vector<std::string> got;
  for (const EpubReaderSpineNode* n = spine->first; n; n = n->next)
    got.push_back(u8(n->item->id) + "|" + u8(n->item->href) + "|" + u8(n->item->mediaType));
  EXPECT_EQ(spine->count, 3u);
  EXPECT_EQ(got, (std::vector<std::string>{"c1|Text/ch 1.xhtml|application/xhtml+xml",
                                           "c2|Text/ch2.xhtml|application/xhtml+xml",
                                           "c1|Text/ch 1.xhtml|application/xhtml+xml"}));
}

TEST_F(OpeningTest, NavigationListIsDepthFirstPreOrderWithDepths) {
  serveDefault();
  ASSERT_NE(open(), nullptr);
  const EpubReaderNavList* nav = EpubReader_getNavMap(reader);
  ASSERT_NE(nav, nullptr);
  EXPECT_EQ(nav, EpubReader_getNavMap(reader));
  EXPECT_EQ(nav->reserved, 0u);
  EXPECT_EQ(nav->count, 4);
  std::vector<std::string> got;
  for (const EpubReaderNavNode* n = nav->first; n; n = n->next) {
    const EpubReaderNavEntry* e = n->entry;
    EXPECT_EQ(e->reserved, nullptr);
    got.push_back(std::to_string(n->depth) + " " + u8(e->id) + " " + u8(e->playOrder) + " " +
                  u8(e->label) + " " + u8(e->src));
  }
  EXPECT_EQ(got, (std::vector<std::string>{
                     "1 p1 1 One Text/ch%201.xhtml", "2 p1a 2 One A Text/ch%201.xhtml#a",
                     "2 p1b 3 (null) Text/ch%201.xhtml#b", "1 p2 4 Two Text/ch2.xhtml"}));
  EXPECT_EQ(u8(EpubReader_getNcxDocTitle(reader)), "NCX Title");
  EXPECT_EQ(u8(EpubReader_getNcxDocAuthor(reader)), "First Author");
}

TEST_F(OpeningTest, ContentTableHoldsResolvedPathsInSpineOrderWithDuplicates) {
  serveDefault();
  host.files[u"OEBPS/Text/ch 1.xhtml"] = "<html/>";
  host.files[u"OEBPS/Text/ch2.xhtml"] = "<html/>";
  ASSERT_NE(open(), nullptr);
  host.log.clear();
  testrenderer::setPageCount(u"OEBPS/Text/ch 1.xhtml", 2);
  testrenderer::setPageCount(u"OEBPS/Text/ch2.xhtml", 3);
  ASSERT_TRUE(EpubReader_loadAll(reader, nullptr, nullptr));
  EXPECT_EQ(host.log,
            (std::vector<std::string>{"read(OEBPS/Text/ch 1.xhtml)", "read(OEBPS/Text/ch2.xhtml)",
                                      "read(OEBPS/Text/ch 1.xhtml)"}));
  EXPECT_EQ(EpubReader_getPageCount(reader), 7);
  EXPECT_EQ(EpubReader_getTotalPageBeforeContent(reader, u"Text/ch2.xhtml"), 2);
}

// What the exports answer when opening fails, or never happened.
TEST_F(OpeningTest, FailuresGiveNullAndLeaveNoPublication) {
  struct Row {
    const char* what;
    const char* container;
    bool serveOpf;
    std::vector<std::string> reads;
  };
  const std::vector<Row> rows = {
      {"empty container", "", true, {}},
      {"garbage bytes", "\xff\xfe\x00garbage<<<&", true, {}},
      {"no rootfiles", "<container><x/></container>", true, {}},
      {"media type in other case",
       R"(<container><rootfiles><rootfile full-path="OEBPS/content.opf" media-type="Application/oebps-package+xml"/></rootfiles></container>)",
       true,
       {}},
      {"unreadable OPF", kContainer, false, {"read(OEBPS/content.opf)"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    testrenderer::reset();
    EpubReaderHostOptions o = host.options();
    EpubReader* r = EpubReader_new(&o);
    host.files.clear();
    host.log.clear();
    if (row.serveOpf) serveDefault();
    EXPECT_EQ(EpubReader_readContainer(r, bytes(row.container),
                                       static_cast<uint32_t>(strlen(row.container))),
              nullptr);
    EXPECT_EQ(host.log, row.reads);
    EXPECT_EQ(EpubReader_getPublicationMetadata(r), nullptr);
    EXPECT_EQ(EpubReader_getSpine(r), nullptr);
    EXPECT_EQ(EpubReader_getNavMap(r), nullptr);
    EXPECT_EQ(EpubReader_getNcxDocTitle(r), nullptr);
    EXPECT_FALSE(EpubReader_loadAll(r, nullptr, nullptr));
    // A failed open leaves the handle free to open again.
    host.files.clear();
    serveDefault();
    EXPECT_EQ(u8(EpubReader_readContainer(r, bytes(kContainer), strlen(kContainer))),
              "OEBPS/content.opf");
    EpubReader_free(&r);
  }
}

// A missing or broken NCX does not stop the publication from opening.
TEST_F(OpeningTest, MissingOrBrokenNcxStillOpens) {
  for (const char* ncx : {static_cast<const char*>(nullptr), "<ncx><navMap>&bogus;</navMap></ncx>",
                          "", "<ncx><navMap/></ncx>"}) {
    SCOPED_TRACE(ncx ? ncx : "(missing)");
    testrenderer::reset();
    EpubReaderHostOptions o = host.options();
    EpubReader* r = EpubReader_new(&o);
    host.files.clear();
    host.files[u"OEBPS/content.opf"] = kOpf;
    if (ncx) host.files[u"OEBPS/toc.ncx"] = ncx;
    EXPECT_NE(EpubReader_readContainer(r, bytes(kContainer), strlen(kContainer)), nullptr);
    EXPECT_EQ(u8(EpubReader_getNcxDocTitle(r)), "");
    EXPECT_EQ(EpubReader_getNcxDocAuthor(r), nullptr);
    EXPECT_EQ(EpubReader_getNavMap(r), nullptr);
    EXPECT_EQ(EpubReader_getSpine(r)->count, 3u);
    EpubReader_free(&r);
  }
}

// A second open on the same handle is refused, so records the host holds
// keep pointing at the first publication.
TEST_F(OpeningTest, SecondOpenIsRefusedAndRecordsStay) {
  serveDefault();
  ASSERT_NE(open(), nullptr);
  const EpubReaderSpineList* spine = EpubReader_getSpine(reader);
  const EpubReaderPublicationMetadata* meta = EpubReader_getPublicationMetadata(reader);
  host.log.clear();
  EXPECT_EQ(open(), nullptr);
  EXPECT_TRUE(host.log.empty());
  EXPECT_EQ(EpubReader_getSpine(reader), spine);
  EXPECT_EQ(EpubReader_getPublicationMetadata(reader), meta);
  EXPECT_EQ(u8(meta->title), "The & Title");
}

TEST_F(OpeningTest, MimeTypeIsAcceptedWhateverItHolds) {
  const std::vector<std::pair<const char*, int32_t>> rows = {{"application/epub+zip", 20},
                                                             {"", 0},
                                                             {"\x80\x9f\xff", 3},
                                                             {"x", -5},
                                                             {"z", -1},
                                                             {nullptr, 4}};
  for (const auto& [text, length] : rows) {
    EXPECT_TRUE(EpubReader_readMimeType(reader, bytes(text), length));
  }
}

// A read callback that calls locked exports on the same handle while the
// publication is being opened does not deadlock.
TEST_F(OpeningTest, ReadCallbackMayReenterLockedExports) {
  serveDefault();
  struct Reentry {
    EpubReader* reader;
    epubtest::Host* host;
    int calls = 0;
  } state{reader, &host};
  EpubReaderHostOptions o = host.options();
  o.userData = &state;
  o.read = [](void* user, const char16_t* path, const uint8_t** b, uint32_t* n) {
    auto* s = static_cast<Reentry*>(user);
    ++s->calls;
    EpubReader_getSpine(s->reader);
    EpubReader_getNcxDocTitle(s->reader);
    EpubReader_readMimeType(s->reader, bytes("m"), 1);
    return epubtest::Host::read(s->host, path, b, n);
  };
  EpubReader* r = EpubReader_new(&o);
  state.reader = r;
  EXPECT_NE(EpubReader_readContainer(r, bytes(kContainer), strlen(kContainer)), nullptr);
  EXPECT_EQ(state.calls, 2);
  EpubReader_free(&r);
}

}  // namespace
