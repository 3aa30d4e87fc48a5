// Memory running out at each allocation in turn while a publication is
// opened and laid out: the export in progress raises std::bad_alloc and
// nothing else, the same call then succeeds on the same handle, and the
// handle can be freed without a leak. The test program replaces operator
// new with a countdown (support/failing_new.h). Under AddressSanitizer
// (the asan preset) and valgrind every run is checked for leaks.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <string>

#include "epubreader.h"
#include "faults/faults_publication.h"
#include "support/failing_new.h"
#include "test_renderer.h"

using failingnew::countdown;
using failingnew::live;

namespace faulttest {
namespace {

bool serve(void*, const char16_t* path, const uint8_t** out, uint32_t* size) {
  const char* text = file(path ? path : u"");
  if (!text) return false;
  *out = bytes(text);
  *size = length(text);
  return true;
}

enum class Result { kCompleted, kOutOfMemory, kOtherException };

// What a full open gives: each record present, and the pages laid out.
const char kOpened[] = "opf spine nav title author metadata pages 3";

// Creates a handle, opens the publication, reads every host record and lays
// it out, with the n-th allocation failing. A step that ran out of memory is
// tried again on the same handle with memory back, so the outcome shows
// whether the failure left the handle usable: a half-open session refuses
// the retry or lays out fewer documents. Then the handle is freed.
Result openWithFailingAllocation(long n, std::string& opened) {
  EpubReaderHostOptions options{};
  options.read = serve;
  EpubReader* reader = nullptr;
  std::string record[8];
  const auto present = [](const void* p, const char* name) { return p ? name : ""; };
  // Each step stores its record's name when present.
  const std::function<void()> steps[] = {
      [&] { reader = EpubReader_new(&options); },
      [&] { EpubReader_readMimeType(reader, bytes("application/epub+zip"), 20); },
      [&] {
        record[0] = present(EpubReader_readContainer(reader, bytes(kContainer), length(kContainer)),
                            "opf ");
      },
      [&] { record[1] = present(EpubReader_getSpine(reader), "spine "); },
      [&] { record[2] = present(EpubReader_getNavMap(reader), "nav "); },
      [&] { record[3] = present(EpubReader_getNcxDocTitle(reader), "title "); },
      [&] { record[4] = present(EpubReader_getNcxDocAuthor(reader), "author "); },
      [&] { record[5] = present(EpubReader_getPublicationMetadata(reader), "metadata"); },
      [&] {
        EpubReader_loadAll(reader, nullptr, nullptr);
        record[6] = " pages " + std::to_string(EpubReader_getPageCount(reader));
      },
  };
  Result result = Result::kCompleted;
  countdown = n;
  for (const auto& step : steps) {
    try {
      step();
    } catch (const std::bad_alloc&) {
      result = Result::kOutOfMemory;
      countdown = -1;
      try {
        step();
      } catch (...) {
        result = Result::kOtherException;
      }
    } catch (...) {
      result = Result::kOtherException;
    }
    if (result == Result::kOtherException) break;
  }
  countdown = -1;
  opened.clear();
  for (const std::string& r : record) opened += r;
  EpubReader_free(&reader);
  EXPECT_EQ(reader, nullptr);
  return result;
}

TEST(AllocationFailure, EachAllocationFailingInTurnRaisesBadAllocOnly) {
  testrenderer::reset();
  testrenderer::setRecording(false);
  for (const char16_t* path : {u"OEBPS/a.xhtml", u"OEBPS/b.xhtml", u"OEBPS/c.xhtml"})
    testrenderer::setPageCount(path, 1);
  // One full run first, so that buffers kept for the whole process (the
  // test renderer's handle list) exist before blocks are counted.
  std::string warmUp;
  ASSERT_EQ(openWithFailingAllocation(-1, warmUp), Result::kCompleted);
  long failures = 0;
  for (long n = 0;; ++n) {
    const long before = live.load();
    Result result;
    {
      std::string opened;
      result = openWithFailingAllocation(n, opened);
      // Whether or not an allocation failed, the retry opened it all.
      EXPECT_EQ(opened, kOpened) << "allocation " << n << " failing left a half-open handle";
    }
    ASSERT_NE(result, Result::kOtherException) << "allocation " << n;
    // Completed: the countdown outlived the run, every allocation has been
    // tried.
    const bool completed = result == Result::kCompleted;
    ASSERT_EQ(live.load(), before) << "blocks left behind when allocation " << n << " failed";
    if (completed) break;
    ++failures;
    ASSERT_LT(n, 100000) << "opening never completes";
  }
  // Opening this small publication allocates about a hundred times.
  EXPECT_GT(failures, 50);
  EXPECT_TRUE(testrenderer::handles().empty());
  testrenderer::reset();
}

}  // namespace
}  // namespace faulttest
