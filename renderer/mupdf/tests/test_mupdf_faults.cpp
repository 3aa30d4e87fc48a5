// Memory running out at each C++ allocation in turn inside the MuPDF
// renderer: every export in turn completes, returns its failure value or
// raises std::bad_alloc and nothing else; called again on the same handle
// with memory back it answers as a run without failures does; and once the
// handle is freed every block is back, MuPDF's too. The test program
// replaces operator new.
#include <EpubReader/pendrel_mupdf.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <malloc.h>

#include <cstring>
#include <functional>
#include <iterator>
#include <new>
#include <string>

#include "pendrel.h"
#include "support/failing_new.h"

using failingnew::fired;

#if !EPUB_SANITIZED
// The C allocator too, as MuPDF inside the renderer library sees it through
// the dynamic linker: a countdown makes one call return null. HarfBuzz (a
// system library) allocates from the C library itself and, refused, hands
// back its inert empty buffer without a word, which MuPDF shapes nothing
// with and no caller can tell: its calls are passed over, and the failure
// goes to the next call.
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
}
namespace {
thread_local long mallocCountdown = -1;
bool mallocFails(void* caller) {
  if (mallocCountdown < 0 || mallocCountdown-- != 0) return false;
  Dl_info info;
  if (dladdr(caller, &info) && info.dli_fname && std::strstr(info.dli_fname, "libharfbuzz")) {
    mallocCountdown = 0;
    return false;
  }
  return fired = true;
}
}  // namespace
extern "C" __attribute__((visibility("default"))) void* malloc(std::size_t size) {
  return mallocFails(__builtin_return_address(0)) ? nullptr : __libc_malloc(size);
}
extern "C" __attribute__((visibility("default"))) void* calloc(std::size_t n, std::size_t size) {
  return mallocFails(__builtin_return_address(0)) ? nullptr : __libc_calloc(n, size);
}
extern "C" __attribute__((visibility("default"))) void* realloc(void* p, std::size_t size) {
  return mallocFails(__builtin_return_address(0)) ? nullptr : __libc_realloc(p, size);
}
#endif

namespace {

const char16_t* kDoc = u"OEBPS/ch.xhtml";
const std::string kText =
    "<?xml version=\"1.0\"?><html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>t</title>"
    "<link rel=\"stylesheet\" href=\"s.css\"/></head><body><section><h1>Title</h1><p>alpha beta "
    "gamma delta</p><p><img src=\"red.svg\"/> epsilon zeta alpha <svg "
    "xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
    "width=\"20\" height=\"20\"><image width=\"20\" height=\"20\" xlink:href=\"red.svg\"/>"
    "</svg></p><table><tr><td>eta</td><td colspan=\"2\">theta</td></tr></table></section></body>"
    "</html>";
const std::string kSheet = "p { margin: 1em; color: #0000ff }";
const std::string kSvg =
    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"40\" height=\"40\"><rect width=\"40\" "
    "height=\"40\" fill=\"#e00000\"/></svg>";

bool read(void*, const char16_t* path, const uint8_t** bytes, uint32_t* length) {
  const std::u16string p = path ? path : u"";
  const std::string* file = p == u"OEBPS/s.css" ? &kSheet : p == u"OEBPS/red.svg" ? &kSvg : nullptr;
  if (!file) return false;
  *bytes = reinterpret_cast<const uint8_t*>(file->data());
  *length = static_cast<uint32_t>(file->size());
  return true;
}

// Bytes the C allocator has handed out, MuPDF's blocks included; exact
// only without glibc's per-thread cache, which ctest turns off. Under the
// sanitizers LeakSanitizer does this job.
size_t heapInUse() {
#if EPUB_SANITIZED
  return 0;
#else
  return mallinfo2().uordblks;
#endif
}

enum class Result { kCompleted, kFailed, kOtherException };

// The step of the renderer's life in which the armed failure happened.
const char* failedStep = "";
const char* const kStepNames[] = {"new",    "xhtml", "pages",  "draw",
                                  "search", "scrap", "layout", "objects"};

// Both allocators disarmed.
void disarm() {
  failingnew::countdown = -1;
#if !EPUB_SANITIZED
  mallocCountdown = -1;
#endif
}

// Runs the renderer's whole life with allocation `n` failing (none when
// negative), a C++ one or (`inC`) a C one; `answers` gets every step's
// answer, in order.
Result runWithFailure(long n, bool inC, std::string& answers) {
  ZaveVevode* r = nullptr;
  std::vector<uint8_t> pixels(200 * 300 * 4);
  PendrelBitmap bitmap{pixels.data(), 200, 300, 200 * 4};
  std::string out[8];
  const auto number = [](intptr_t v) { return std::to_string(v) + " "; };
  // clang-format off
  const std::function<void()> steps[] = {
      [&] { ZaveVevodeOptions options{read, nullptr, nullptr, nullptr, nullptr, {}};
            options.settings.setting1 = 200, options.settings.setting2 = 300;
            r = ZaveVevode_new(&options); out[0] = r ? "new " : ""; },
      [&] { out[1] = number(ZaveVevode_xhtml(r, kDoc, reinterpret_cast<const uint8_t*>(kText.data()),
                                             uint32_t(kText.size()), nullptr, nullptr)); },
      [&] { out[2] = number(ZaveVevode_getPageLength(r, kDoc)); },
      [&] { std::fill(pixels.begin(), pixels.end(), 0xFF);
            ZaveVevode_draw(r, kDoc, 0, reinterpret_cast<intptr_t>(&bitmap), 0, 0, 100);
            size_t ink = 0;
            for (size_t i = 0; i < pixels.size(); i += 4) ink += pixels[i + 1] < 128;
            out[3] = "ink " + number(intptr_t(ink)); },
      [&] { ZaveVevode_setSearchContext(r, u"alpha", 0);
            out[4] = number(ZaveVevode_search(r, kDoc, reinterpret_cast<const uint8_t*>(kText.data()),
                                              uint32_t(kText.size()), 0, 0, 0)); },
      [&] { ZaveVevode_addScrap(r, kDoc, 1, 2, 0xFFFF80, 0);
            const char16_t* scrap = ZaveVevode_getScrapText(r, kDoc, 1, 2);
            out[5] = number(scrap ? intptr_t(std::char_traits<char16_t>::length(scrap)) : -1); },
      [&] { ZaveVevode_changeFont(r, 30, 0, 0, 0, 1);
            out[6] = number(ZaveVevode_getPageLength(r, kDoc)); },
      [&] { out[7] = number(intptr_t(ZaveVevode_getObjectCount(r, kDoc, 0))); },
  };
  // clang-format on
  Result result = Result::kCompleted;
  fired = false;
#if !EPUB_SANITIZED
  (inC ? mallocCountdown : failingnew::countdown) = n;
#else
  failingnew::countdown = inC ? -1 : n;
#endif
  for (size_t k = 0; k < std::size(steps); ++k) {
    const auto& step = steps[k];
    const bool before = fired;
    try {
      step();
    } catch (const std::bad_alloc&) {
      result = Result::kFailed;
    } catch (...) {
      return Result::kOtherException;
    }
    // The failure happened in this step: it runs again with memory back,
    // on the handle as the failure left it.
    if (fired && !before) {
      failedStep = kStepNames[k];
      result = Result::kFailed;
      disarm();
      try {
        step();
      } catch (...) {
        return Result::kOtherException;
      }
    }
  }
  disarm();
  answers.clear();
  for (const std::string& o : out) answers += o;
  ZaveVevode_free(&r);
  return result;
}

// Each allocation in turn, every seventh past the first 400 (which keeps
// the run short): C++ ones, and outside the sanitizers C ones, which MuPDF
// turns into its own out-of-memory error.
TEST(MupdfAllocationFailure, EachAllocationFailingInTurnLeavesAUsableRendererAndNoLeak) {
  std::string expected;
  ASSERT_EQ(runWithFailure(-1, false, expected), Result::kCompleted);
  ASSERT_EQ(expected.substr(0, 6), "new 1 ") << expected;
  // Room made once, so that the answers hold no block of their own while
  // blocks are counted; and one failure raised first, since the first
  // exception through a library makes the C++ runtime keep buffers.
  std::string answers;
  answers.reserve(512);
  runWithFailure(0, false, answers);
  for (const bool inC : {false, !EPUB_SANITIZED}) {
    const char* kind = inC ? "C allocation " : "C++ allocation ";
    long failures = 0;
    for (long n = 0;; n += n < 400 ? 1 : 7) {
      const long before = failingnew::live.load();
      const size_t heapBefore = heapInUse();
      const Result result = runWithFailure(n, inC, answers);
      ASSERT_NE(result, Result::kOtherException) << kind << n;
      EXPECT_EQ(answers, expected)
          << kind << n << " failing in " << failedStep << " left the renderer unusable";
      ASSERT_EQ(failingnew::live.load(), before)
          << kind << n << " failing in " << failedStep << " left blocks behind";
      // MuPDF 1.21 itself loses a few bytes on some of its own error paths
      // (a font face record when copying its name fails), so the C
      // allocator's count is checked for C++ failures only.
      if (!inC) {
        ASSERT_EQ(heapInUse(), heapBefore)
            << kind << n << " failing in " << failedStep << " left MuPDF's blocks behind";
      }
      if (!fired) break;
      ++failures;
      ASSERT_LT(n, 200000) << kind << "the run never completes";
    }
    EXPECT_GT(failures, 100) << kind;
  }
}

}  // namespace
