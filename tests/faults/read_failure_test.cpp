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

// What the host sees after the run.
struct Outcome {
  bool opened = false;
  bool hasMetadata = false;
  std::string ncxTitle;  // "null" for a null pointer
  bool hasAuthor = false;
  bool hasSpine = false;
  bool hasNavMap = false;
  bool loadedAll = false;
  int32_t total = 0;
  bool reloaded = false;
  int32_t pagesOfA = 0;
  int progressCalls = 0;
  size_t reads = 0;
};

std::string text(const char16_t* s) { return s ? testrenderer::utf8(s) : "null"; }

Outcome run(int failAt) {
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

  Outcome o;
  EpubReader_readMimeType(reader, bytes("application/epub+zip"), 20);
  o.opened = EpubReader_readContainer(reader, bytes(kContainer), length(kContainer)) != nullptr;
  o.hasMetadata = EpubReader_getPublicationMetadata(reader) != nullptr;
  o.ncxTitle = text(EpubReader_getNcxDocTitle(reader));
  o.hasAuthor = EpubReader_getNcxDocAuthor(reader) != nullptr;
  o.hasSpine = EpubReader_getSpine(reader) != nullptr;
  o.hasNavMap = EpubReader_getNavMap(reader) != nullptr;
  o.loadedAll = EpubReader_loadAll(reader, FailingHost::progress, &host);
  o.total = EpubReader_getPageCount(reader);
  EpubReader_deleteContent(reader, u"a.xhtml");
  o.reloaded = EpubReader_loadContent(reader, u"a.xhtml", nullptr, nullptr);
  o.pagesOfA = EpubReader_getContentPageCount(reader, u"a.xhtml");
  o.progressCalls = host.progressCalls;
  o.reads = host.reads.size();
  EpubReader_free(&reader);
  EXPECT_EQ(reader, nullptr);
  EXPECT_TRUE(testrenderer::handles().empty());
  return o;
}

TEST(ReadFailure, EachCallFailingInTurnGivesTheDocumentedValues) {
  // With no failure: OPF, NCX, a, b, c, then a again after its delete.
  const Outcome clean = run(-1);
  ASSERT_EQ(clean.reads, 6u);
  EXPECT_TRUE(clean.opened && clean.hasSpine && clean.hasNavMap && clean.reloaded);
  EXPECT_EQ(clean.total, 9);

  struct Row {
    const char* failing;
    Outcome expected;
  };
  const std::vector<Row> rows = {
      // The OPF: opening fails and no publication exists; nothing else is read.
      {"OPF", {false, false, "null", false, false, false, false, 0, false, 0, 0, 1}},
      // The NCX: the publication opens without title, author or contents.
      {"NCX", {true, true, "", false, true, false, true, 9, true, 2, 3, 6}},
      // A content document: it stays unloaded and out of the total, the
      // others load and the progress callback still runs for every item.
      {"a.xhtml", {true, true, "Contents", true, true, true, true, 7, true, 2, 3, 6}},
      {"b.xhtml", {true, true, "Contents", true, true, true, true, 6, true, 2, 3, 6}},
      {"c.xhtml", {true, true, "Contents", true, true, true, true, 5, true, 2, 3, 6}},
      // The reload after the delete: the document stays unloaded and keeps
      // the page count it had.
      {"a.xhtml again", {true, true, "Contents", true, true, true, true, 9, false, 2, 3, 6}},
  };
  for (size_t k = 0; k < rows.size(); ++k) {
    SCOPED_TRACE(rows[k].failing);
    const Outcome o = run(static_cast<int>(k));
    const Outcome& e = rows[k].expected;
    EXPECT_EQ(o.opened, e.opened);
    EXPECT_EQ(o.hasMetadata, e.hasMetadata);
    EXPECT_EQ(o.ncxTitle, e.ncxTitle);
    EXPECT_EQ(o.hasAuthor, e.hasAuthor);
    EXPECT_EQ(o.hasSpine, e.hasSpine);
    EXPECT_EQ(o.hasNavMap, e.hasNavMap);
    EXPECT_EQ(o.loadedAll, e.loadedAll);
    EXPECT_EQ(o.total, e.total);
    EXPECT_EQ(o.reloaded, e.reloaded);
    EXPECT_EQ(o.pagesOfA, e.pagesOfA);
    EXPECT_EQ(o.progressCalls, e.progressCalls);
    EXPECT_EQ(o.reads, e.reads);
  }
}

}  // namespace
}  // namespace faulttest
