// The read callback failing at each of its calls in turn, while a
// publication is opened, loaded, and one document deleted and loaded again:
// every export answers with its documented value for that failure, the
// bytes a failing callback left in its out-parameters are never used, and
// the handle frees cleanly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "epubreader.h"
#include "faults/faults_publication.h"
#include "test_renderer.h"

namespace faulttest {
namespace {

struct FailingHost {
  int failAt = -1;  // index of the read call that fails
  std::vector<std::u16string> reads;
  int progressCalls = 0;
  uint8_t bait = 0;  // what a failing read points at, with a length it lacks

  static bool read(void* user, const char16_t* path, const uint8_t** out, uint32_t* size) {
    auto* host = static_cast<FailingHost*>(user);
    const std::u16string p = path ? path : u"";
    const int call = static_cast<int>(host->reads.size());
    host->reads.push_back(p);
    const char* text = file(p);
    if (call == host->failAt || !text) {
      *out = &host->bait;
      *size = 1u << 20;
      return false;
    }
    *out = bytes(text);
    *size = length(text);
    return true;
  }
  static void progress(void* context, uint32_t, uint32_t) {
    ++static_cast<FailingHost*>(context)->progressCalls;
  }
};

std::string text(const char16_t* s) { return s ? testrenderer::utf8(s) : "null"; }
std::string flag(bool b) { return b ? "1" : "0"; }

// What the host sees after the run: opened, metadata, NCX title, author,
// spine, navigation map, loadAll, total, reloaded, pages of a, progress
// calls, reads.
std::string run(int failAt) {
  testrenderer::reset();
  // Pages per document: a 2, b 3, c 4.
  testrenderer::setPageCount(u"OEBPS/a.xhtml", 2);
  testrenderer::setPageCount(u"OEBPS/b.xhtml", 3);
  testrenderer::setPageCount(u"OEBPS/c.xhtml", 4);
  FailingHost host;
  host.failAt = failAt;
  EpubReaderHostOptions options{};
  options.read = FailingHost::read;
  options.userData = &host;
  EpubReader* reader = EpubReader_new(&options);
  EpubReader_readMimeType(reader, bytes("application/epub+zip"), 20);
  // Each part in its own statement: the calls must run in this order.
  std::string o = flag(EpubReader_readContainer(reader, bytes(kContainer), length(kContainer)));
  o += " " + flag(EpubReader_getPublicationMetadata(reader));
  o += " " + text(EpubReader_getNcxDocTitle(reader));
  o += " " + flag(EpubReader_getNcxDocAuthor(reader));
  o += " " + flag(EpubReader_getSpine(reader));
  o += " " + flag(EpubReader_getNavMap(reader));
  o += " " + flag(EpubReader_loadAll(reader, FailingHost::progress, &host));
  o += " " + std::to_string(EpubReader_getPageCount(reader));
  EpubReader_deleteContent(reader, u"a.xhtml");
  o += " " + flag(EpubReader_loadContent(reader, u"a.xhtml", nullptr, nullptr));
  o += " " + std::to_string(EpubReader_getContentPageCount(reader, u"a.xhtml"));
  o += " " + std::to_string(host.progressCalls) + " " + std::to_string(host.reads.size());
  EpubReader_free(&reader);
  EXPECT_EQ(reader, nullptr);
  EXPECT_TRUE(testrenderer::handles().empty());
  return o;
}

TEST(ReadFailure, EachCallFailingInTurnGivesTheDocumentedValues) {
  // With no failure: OPF, NCX, a, b, c, then a again after its delete.
  EXPECT_EQ(run(-1), "1 1 Contents 1 1 1 1 9 1 2 3 6");
  const std::vector<std::pair<const char*, const char*>> rows = {
      // The OPF: opening fails and no publication exists; nothing else is read.
      {"OPF", "0 0 null 0 0 0 0 0 0 0 0 1"},
      // The NCX: the publication opens without title, author or contents.
      {"NCX", "1 1  0 1 0 1 9 1 2 3 6"},
      // A content document: it stays unloaded and out of the total, the
      // others load and the progress callback still runs for every item.
      {"a.xhtml", "1 1 Contents 1 1 1 1 7 1 2 3 6"},
      {"b.xhtml", "1 1 Contents 1 1 1 1 6 1 2 3 6"},
      {"c.xhtml", "1 1 Contents 1 1 1 1 5 1 2 3 6"},
      // The reload after the delete: the document stays unloaded and keeps
      // the page count it had.
      {"a.xhtml again", "1 1 Contents 1 1 1 1 9 0 2 3 6"},
  };
  for (size_t k = 0; k < rows.size(); ++k)
    EXPECT_EQ(run(static_cast<int>(k)), rows[k].second) << "failing: " << rows[k].first;
}

}  // namespace
}  // namespace faulttest
