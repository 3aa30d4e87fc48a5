// Opening a publication through the exports: what the read callback is asked
// for, the records the host reads, and the ways opening can fail.
#include "host_fixture.h"

namespace epubtest {
namespace {

using OpeningTest = ReaderTest;

// The records as text: the metadata fields in their order, the spine list
// (count, then id|href|media type per node), the navigation list (reserved
// field and count, then depth, id, playOrder, reserved, label and src per
// node), and the NCX title and author.
std::string records(EpubReader* r) {
  std::string out;
  if (const EpubReaderPublicationMetadata* m = EpubReader_getPublicationMetadata(r))
    for (const char16_t* field : {m->title, m->creator, m->subject, m->description, m->publisher,
                                  m->contributor, m->date, m->type, m->format, m->identifier,
                                  m->source, m->language, m->relation, m->coverage, m->rights})
      out += u8(field) + "|";
  if (const EpubReaderSpineList* spine = EpubReader_getSpine(r)) {
    out += "\nspine " + std::to_string(spine->count);
    for (const EpubReaderSpineNode* n = spine->first; n; n = n->next)
      out += ", " + u8(n->item->id) + "|" + u8(n->item->href) + "|" + u8(n->item->mediaType);
  }
  if (const EpubReaderNavList* nav = EpubReader_getNavMap(r)) {
    out += "\nnav " + std::to_string(nav->reserved) + " " + std::to_string(nav->count);
    for (const EpubReaderNavNode* n = nav->first; n; n = n->next)
      out += ", " + std::to_string(n->depth) + " " + u8(n->entry->id) + " " +
             u8(n->entry->playOrder) + " " + u8(n->entry->reserved) + " " + u8(n->entry->label) +
             " " + u8(n->entry->src);
  }
  return out + "\n" + u8(EpubReader_getNcxDocTitle(r)) + "|" + u8(EpubReader_getNcxDocAuthor(r));
}

TEST_F(OpeningTest, OpensAndHandsTheRecordsOver) {
  // The OPF at the container's path as written, then the NCX resolved
  // against the OPF folder; no content document yet, nor the renderer.
  EXPECT_EQ(u8(EpubReader_readContainer(reader, bytes(kContainer), length(kContainer))),
            "OEBPS/content.opf");
  EXPECT_EQ(host.log, (std::vector<std::string>{"read(OEBPS/content.opf)", "read(OEBPS/toc.ncx)"}));
  EXPECT_TRUE(testrenderer::calls().empty());
  // No date, nor the unique identifier (the other one is handed over); the
  // spine's idrefs naming no item left out, duplicates kept, hrefs
  // percent-decoded; the navigation map depth first, absent attributes
  // empty, a missing label null.
  EXPECT_EQ(records(reader),
            "The & Title|Ann|Sub|Des|Pub|Con|(null)|Typ|For|978-0|Src|en|Rel|Cov|Rig|\n"
            "spine 3, c1|Text/ch 1.xhtml|application/xhtml+xml, "
            "c2|Text/ch2.xhtml|application/xhtml+xml, c1|Text/ch 1.xhtml|application/xhtml+xml\n"
            "nav 0 4, 1 p1 1 (null) One Text/ch%201.xhtml, 2 p1a 2 (null) 1A #a, "
            "2 p1b  (null) (null) #b, 1 p2 4 (null) Two ch2\nNCX Title|First");
  // The records are built once; a second open is refused, reads nothing
  // and keeps them.
  const EpubReaderSpineList* spine = EpubReader_getSpine(reader);
  const EpubReaderNavList* nav = EpubReader_getNavMap(reader);
  host.log.clear();
  EXPECT_EQ(EpubReader_readContainer(reader, bytes(kContainer), length(kContainer)), nullptr);
  EXPECT_TRUE(host.log.empty());
  EXPECT_TRUE(EpubReader_getSpine(reader) == spine && EpubReader_getNavMap(reader) == nav);
  // The Content table: one item per spine list node, at its full path.
  testrenderer::setPageCount(u"OEBPS/Text/ch 1.xhtml", 2);
  testrenderer::setPageCount(u"OEBPS/Text/ch2.xhtml", 3);
  ASSERT_TRUE(EpubReader_loadAll(reader, nullptr, nullptr));
  EXPECT_EQ(host.log,
            (std::vector<std::string>{"read(OEBPS/Text/ch 1.xhtml)", "read(OEBPS/Text/ch2.xhtml)",
                                      "read(OEBPS/Text/ch 1.xhtml)"}));
  EXPECT_EQ(EpubReader_getPageCount(reader), 7);
}

// A container or OPF that cannot be used gives null and no publication, and
// nothing more is read; the handle can open afterwards. A missing, broken or
// empty NCX does not stop opening: empty title, no author, no navigation.
// The mimetype text is stored, never examined.
TEST_F(OpeningTest, FailuresAndMissingParts) {
  for (const auto& [what, container] : std::vector<std::pair<const char*, const char*>>{
           {"empty", ""},
           {"garbage", "\xff\xfe\x00garbage<<<&"},
           {"no rootfiles", "<container><x/></container>"},
           {"media type in other case",
            R"(<container><rootfiles><rootfile full-path="OEBPS/content.opf" )"
            R"(media-type="Application/oebps-package+xml"/></rootfiles></container>)"},
           {"unreadable OPF", kContainer}}) {
    Host failing;
    if (container == kContainer) failing.files.clear();
    EpubReader* r = failing.reader(false);
    EXPECT_EQ(EpubReader_readContainer(r, bytes(container), length(container)), nullptr) << what;
    EXPECT_EQ(failing.log.size(), container == kContainer ? 1u : 0u) << what;
    EXPECT_EQ(records(r), "\n(null)|(null)") << what;
    EXPECT_FALSE(EpubReader_loadAll(r, nullptr, nullptr)) << what;
    failing.files = Host().files;
    EXPECT_NE(EpubReader_readContainer(r, bytes(kContainer), length(kContainer)), nullptr) << what;
    EpubReader_free(&r);
  }
  for (const char* ncx : std::initializer_list<const char*>{
           nullptr, "", "<ncx><navMap>&bogus;</navMap></ncx>", "<ncx><navMap/></ncx>"}) {
    Host plain;
    plain.files.erase(u"OEBPS/toc.ncx");
    if (ncx) plain.files[u"OEBPS/toc.ncx"] = ncx;
    EpubReader* r = plain.reader(true);
    const std::string seen = records(r);
    EXPECT_EQ(seen.substr(seen.rfind('\n')), "\n|(null)") << (ncx ? ncx : "no NCX");
    EXPECT_EQ(EpubReader_getNavMap(r), nullptr) << (ncx ? ncx : "no NCX");
    EpubReader_free(&r);
  }
  for (const auto& [text, count] : std::vector<std::pair<const char*, int32_t>>{
           {"", 0}, {"\x80\x9f\xff", 3}, {"x", -5}, {"z", -1}, {nullptr, 4}})
    EXPECT_TRUE(EpubReader_readMimeType(reader, bytes(text), count)) << count;
}

}  // namespace
}  // namespace epubtest
