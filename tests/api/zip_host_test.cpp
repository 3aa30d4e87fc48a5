// A host that reads real .epub files with libzip: every publication the
// fixture script generated opens through the exports, and what the host
// reads matches what the generator was told to write.
#include <filesystem>
#include <list>

#include "host_fixture.h"
#include "support/epub_archive.h"
#include "support/json_value.h"

namespace {

using epub::testing::EpubArchive;
using epub::testing::JsonValue;

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
    if (entry.path().extension() == ".json") out.push_back(entry.path());
  std::sort(out.begin(), out.end());
  return out;
}

TEST(ZipHost, GeneratedPublicationsOpenWithWhatTheGeneratorWrote) {
  const auto facts = fixtures();
  ASSERT_GE(facts.size(), 3u);
  for (const auto& factsPath : facts) {
    SCOPED_TRACE(factsPath.filename().string());
    auto json = JsonValue::parseFile(factsPath.string());
    ASSERT_TRUE(json);
    const JsonValue& f = *json;
    EpubArchive archive(
        (factsPath.parent_path() / epub::testing::toUtf8(f["file"].asString())).string());
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
    EXPECT_EQ(text(opf), f["opf_path"].asString());
    // The package document, then the NCX.
    ASSERT_EQ(host.reads.size(), 2u);
    EXPECT_EQ(host.reads[1], f["ncx_path"].asString());

    const EpubReaderPublicationMetadata* meta = EpubReader_getPublicationMetadata(reader);
    ASSERT_NE(meta, nullptr);
    EXPECT_EQ(text(meta->title), f["title"].asString());
    // One value per field: the last creator wins.
    EXPECT_EQ(text(meta->creator), f["authors"].items().back().asString());
    EXPECT_EQ(text(meta->language), f["language"].asString());
    EXPECT_EQ(text(meta->identifier), f["other_identifier"].asString());
    EXPECT_EQ(meta->date, nullptr);

    const auto& ncxAuthors = f["ncx_authors"].items();
    EXPECT_EQ(text(EpubReader_getNcxDocAuthor(reader)),
              ncxAuthors.empty() ? u"(null)" : ncxAuthors.front().asString());

    std::vector<std::u16string> spine, expectedSpine;
    const EpubReaderSpineList* list = EpubReader_getSpine(reader);
    ASSERT_NE(list, nullptr);
    for (const EpubReaderSpineNode* n = list->first; n; n = n->next) spine.push_back(n->item->href);
    for (const JsonValue& href : f["spine"].items()) expectedSpine.push_back(href.asString());
    EXPECT_EQ(spine, expectedSpine);
    EXPECT_EQ(list->count, expectedSpine.size());

    std::vector<std::u16string> toc, expectedToc;
    const EpubReaderNavList* nav = EpubReader_getNavMap(reader);
    ASSERT_NE(nav, nullptr);
    for (const EpubReaderNavNode* n = nav->first; n; n = n->next)
      toc.push_back(std::u16string(n->depth, u'>') + text(n->entry->label) + u" " +
                    text(n->entry->src));
    for (const JsonValue& entry : f["toc"].items())
      expectedToc.push_back(
          std::u16string(static_cast<size_t>(entry["depth"].asNumber()) + 1, u'>') +
          entry["label"].asString() + u" " + entry["src"].asString());
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
