// Memory running out at each C++ allocation in turn inside the MuPDF
// renderer: every export in turn completes, returns its failure value or
// raises std::bad_alloc and nothing else; called again on the same handle
// with memory back it answers as a run without failures does; and once the
// handle is freed every block is back, MuPDF's too. The test program
// replaces operator new.
#include <EpubReader/pendrel_mupdf.h>
#include <gtest/gtest.h>
#include <malloc.h>

#include <functional>
#include <iterator>
#include <new>
#include <string>

#include "pendrel.h"
#include "support/failing_new.h"

using failingnew::fired;

namespace {

const char16_t* kDoc = u"OEBPS/ch.xhtml";
const std::string kText =
    "<?xml version=\"1.0\"?><html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>t</title>"
    "<link rel=\"stylesheet\" href=\"s.css\"/></head><body><h1>Title</h1><p>alpha beta gamma "
    "delta</p><p><img src=\"red.svg\"/> epsilon zeta alpha</p></body></html>";
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

// Runs the renderer's whole life with allocation `n` failing (none when
// negative); `answers` gets every step's answer, in order.
Result runWithFailure(long n, std::string& answers) {
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
  failingnew::countdown = n;
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
      failingnew::countdown = -1;
      try {
        step();
      } catch (...) {
        return Result::kOtherException;
      }
    }
  }
  failingnew::countdown = -1;
  answers.clear();
  for (const std::string& o : out) answers += o;
  ZaveVevode_free(&r);
  return result;
}

// Each allocation in turn, every seventh past the first 400 (which keeps
// the run short).
TEST(MupdfAllocationFailure, EachAllocationFailingInTurnLeavesAUsableRendererAndNoLeak) {
  std::string expected;
  ASSERT_EQ(runWithFailure(-1, expected), Result::kCompleted);
  ASSERT_EQ(expected.substr(0, 6), "new 1 ") << expected;
  // Room made once, so that the answers hold no block of their own while
  // blocks are counted; and one failure raised first, since the first
  // exception through a library makes the C++ runtime keep buffers.
  std::string answers;
  answers.reserve(512);
  runWithFailure(0, answers);
  long failures = 0;
  for (long n = 0;; n += n < 400 ? 1 : 7) {
    const long before = failingnew::live.load();
    const size_t heapBefore = heapInUse();
    const Result result = runWithFailure(n, answers);
    ASSERT_NE(result, Result::kOtherException) << "allocation " << n;
    EXPECT_EQ(answers, expected) << "allocation " << n << " failing in " << failedStep
                                 << " left the renderer unusable";
    ASSERT_EQ(failingnew::live.load(), before)
        << "allocation " << n << " failing in " << failedStep << " left blocks behind";
    ASSERT_EQ(heapInUse(), heapBefore)
        << "allocation " << n << " failing in " << failedStep << " left MuPDF's blocks behind";
    if (!fired) break;
    ++failures;
    ASSERT_LT(n, 200000) << "the run never completes";
  }
  EXPECT_GT(failures, 100);
}

}  // namespace
