// A host that reads real .epub files with libzip: every publication the
// fixture script generated opens through the exports, and what the host
// reads matches what the generator was told to write.
#include <filesystem>
#include <list>

#include "host_fixture.h"
#include "support/epub_archive.h"
#include "support/facts.h"

namespace {

using epub::testing::EpubArchive;
using epub::testing::Facts;

struct ZipHost {
  EpubArchive* archive;
  std::list<std::vector<uint8_t>> buffers;  // alive until the handle is freed
  std::vector<std::u16string> reads;

  static bool read(void* user, const char16_t* path, const uint8_t** bytes, uint32_t* length) {
    auto* host = static_cast<ZipHost*>(user);
    host->reads.push_back(path);
    auto data = host->archive->read(std::u16string_view(path));
    if (!data) return false;
    host->buffers.push_back(std::move(*data));
    *bytes = host->buffers.back().data();
    *length = static_cast<uint32_t>(host->buffers.back().size());
    return true;
  }
};

std::u16string text(const char16_t* s) { return s ? s : u"(null)"; }

std::vector<std::filesystem::path> fixtures() {
  std::vector<std::filesystem::path> out;
  for (const auto& entry :
       std::filesystem::directory_iterator(std::filesystem::path(EPUB_BINARY_DIR) / "fixtures"))
    if (entry.path().extension() == ".facts") out.push_back(entry.path());
  std::sort(out.begin(), out.end());
  return out;
}

TEST(ZipHost, GeneratedPublicationsOpenWithWhatTheGeneratorWrote) {
  const auto facts = fixtures();
  ASSERT_GE(facts.size(), 3u);
  for (const auto& factsPath : facts) {
    SCOPED_TRACE(factsPath.filename().string());
    auto facts = Facts::read(factsPath.string());
    ASSERT_TRUE(facts);
    const Facts& f = *facts;
    EpubArchive archive((factsPath.parent_path() / epub::testing::toUtf8(f.one("file"))).string());
    ASSERT_TRUE(archive.isOpen());

    testrenderer::reset();
    ZipHost host{&archive, {}, {}};
    EpubReaderHostOptions options{};
    options.read = ZipHost::read;
    options.userData = &host;
    EpubReader* reader = EpubReader_new(&options);

    auto mimetype = archive.read(std::string_view("mimetype"));
    ASSERT_TRUE(mimetype);
    EXPECT_TRUE(
        EpubReader_readMimeType(reader, mimetype->data(), static_cast<int32_t>(mimetype->size())));
    auto container = archive.read(std::string_view("META-INF/container.xml"));
    ASSERT_TRUE(container);
    const char16_t* opf = EpubReader_readContainer(reader, container->data(),
                                                   static_cast<uint32_t>(container->size()));
    ASSERT_NE(opf, nullptr);
    EXPECT_EQ(text(opf), f.one("opf_path"));
    // The package document, then the NCX.
    ASSERT_EQ(host.reads.size(), 2u);
    EXPECT_EQ(host.reads[1], f.one("ncx_path"));

    const EpubReaderPublicationMetadata* meta = EpubReader_getPublicationMetadata(reader);
    ASSERT_NE(meta, nullptr);
    EXPECT_EQ(text(meta->title), f.one("title"));
    // One value per field: the last creator wins.
    EXPECT_EQ(text(meta->creator), f.all("authors").back());
    EXPECT_EQ(text(meta->language), f.one("language"));
    EXPECT_EQ(text(meta->identifier), f.one("other_identifier"));
    EXPECT_EQ(meta->date, nullptr);

    const auto ncxAuthors = f.all("ncx_authors");
    EXPECT_EQ(text(EpubReader_getNcxDocAuthor(reader)),
              ncxAuthors.empty() ? u"(null)" : ncxAuthors.front());

    std::vector<std::u16string> spine;
    const EpubReaderSpineList* list = EpubReader_getSpine(reader);
    ASSERT_NE(list, nullptr);
    for (const EpubReaderSpineNode* n = list->first; n; n = n->next) spine.push_back(n->item->href);
    const std::vector<std::u16string> expectedSpine = f.all("spine");
    EXPECT_EQ(spine, expectedSpine);
    EXPECT_EQ(list->count, expectedSpine.size());

    std::vector<std::u16string> toc, expectedToc;
    const EpubReaderNavList* nav = EpubReader_getNavMap(reader);
    ASSERT_NE(nav, nullptr);
    for (const EpubReaderNavNode* n = nav->first; n; n = n->next)
      toc.push_back(std::u16string(n->depth, u'>') + text(n->entry->label) + u" " +
                    text(n->entry->src));
    for (const std::u16string& entry : f.all("toc")) {
      const auto e = epub::testing::fields(entry);  // depth, label, src
      expectedToc.push_back(std::u16string(std::stoul(epub::testing::toUtf8(e.at(0))) + 1, u'>') +
                            e.at(1) + u" " + e.at(2));
    }
    EXPECT_EQ(toc, expectedToc);
    EXPECT_EQ(nav->count, static_cast<int32_t>(expectedToc.size()));

    // Loading hands the renderer every spine document under its full path.
    host.reads.clear();
    EXPECT_TRUE(EpubReader_loadAll(reader, nullptr, nullptr));
    std::u16string folder(opf);
    folder.erase(folder.rfind(u'/') == std::u16string::npos ? 0 : folder.rfind(u'/') + 1);
    std::vector<std::u16string> expectedReads;
    for (const std::u16string& href : expectedSpine) expectedReads.push_back(folder + href);
    EXPECT_EQ(host.reads, expectedReads);
    EXPECT_EQ(testrenderer::callStrings("xhtml").size(), expectedReads.size());

    EpubReader_free(&reader);
  }
}

}  // namespace
