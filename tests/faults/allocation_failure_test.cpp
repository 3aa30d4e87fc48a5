// Memory running out at each allocation in turn while a publication is
// opened: the export in progress raises std::bad_alloc and nothing else, and
// the handle (when there is one) can still be freed without a leak. This
// test program replaces the global operator new with a countdown; the
// library's own allocations go through it as well. Under AddressSanitizer
// (the asan preset) and valgrind every run is checked for leaks.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "epubreader.h"
#include "faults/faults_publication.h"
#include "test_renderer.h"

namespace {

// Allocations left before the failing one; negative when disarmed.
thread_local long countdown = -1;
// Blocks allocated and not yet freed, so that a leak shows without a
// leak checker too.
std::atomic<long> live{0};

void* allocate(std::size_t size) {
  if (countdown >= 0 && countdown-- == 0) throw std::bad_alloc();
  if (void* p = std::malloc(size ? size : 1)) {
    ++live;
    return p;
  }
  throw std::bad_alloc();
}

void release(void* p) {
  if (!p) return;
  --live;
  std::free(p);
}

}  // namespace

// The library's calls of operator new resolve to these through the dynamic
// linker, so they count too.
__attribute__((visibility("default"))) void* operator new(std::size_t size) {
  return allocate(size);
}
__attribute__((visibility("default"))) void* operator new[](std::size_t size) {
  return allocate(size);
}
__attribute__((visibility("default"))) void operator delete(void* p) noexcept { release(p); }
__attribute__((visibility("default"))) void operator delete[](void* p) noexcept { release(p); }
__attribute__((visibility("default"))) void operator delete(void* p, std::size_t) noexcept {
  release(p);
}
__attribute__((visibility("default"))) void operator delete[](void* p, std::size_t) noexcept {
  release(p);
}

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

// Creates a handle and opens the publication, reading every host record,
// with the n-th allocation failing; then frees the handle with memory back.
Result openWithFailingAllocation(long n, std::string& opened) {
  EpubReaderHostOptions options{};
  options.read = serve;
  EpubReader* reader = nullptr;
  Result result = Result::kCompleted;
  countdown = n;
  try {
    reader = EpubReader_new(&options);
    EpubReader_readMimeType(reader, bytes("application/epub+zip"), 20);
    const char16_t* opf = EpubReader_readContainer(reader, bytes(kContainer), length(kContainer));
    const EpubReaderSpineList* spine = EpubReader_getSpine(reader);
    const EpubReaderNavList* nav = EpubReader_getNavMap(reader);
    const char16_t* title = EpubReader_getNcxDocTitle(reader);
    const char16_t* author = EpubReader_getNcxDocAuthor(reader);
    const EpubReaderPublicationMetadata* metadata = EpubReader_getPublicationMetadata(reader);
    countdown = -1;
    opened = std::string(opf ? "opf " : "") + (spine ? "spine " : "") + (nav ? "nav " : "") +
             (title ? "title " : "") + (author ? "author " : "") + (metadata ? "metadata" : "");
  } catch (const std::bad_alloc&) {
    result = Result::kOutOfMemory;
  } catch (...) {
    result = Result::kOtherException;
  }
  countdown = -1;
  EpubReader_free(&reader);
  EXPECT_EQ(reader, nullptr);
  return result;
}

TEST(AllocationFailure, EachAllocationFailingInTurnRaisesBadAllocOnly) {
  testrenderer::reset();
  testrenderer::setRecording(false);
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
      // Completed: the countdown outlived the run, every allocation has
      // been tried.
      if (result == Result::kCompleted) {
        EXPECT_EQ(opened, "opf spine nav title author metadata");
      }
    }
    ASSERT_NE(result, Result::kOtherException) << "allocation " << n;
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
