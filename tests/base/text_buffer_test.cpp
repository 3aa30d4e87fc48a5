// Large text buffers: a released mapping serves the next request of about
// its size, with what it held still in it; a few are kept at once, within a
// bound, larger ones before smaller ones.
#include "base/text_buffer.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "base/address_sanitizer.h"

namespace epub::base {
namespace {

// Mappings are kept on Linux only, outside AddressSanitizer builds.
#if defined(__linux__) && !defined(EPUB_ADDRESS_SANITIZED)
constexpr size_t kMiB = size_t(1) << 20;

TEST(TextBuffer, ReleasedMappingsServeTheNextTexts) {
  struct Step {
    const char* buffer;  // a name for the buffer held
    size_t mib;          // 0: release the buffer
    // For a new buffer: the mark of the released one that serves it, or 0
    // for fresh pages. Every new buffer is marked with its step's number.
    char16_t servedBy;
  };
  const Step steps[] = {
      // Released and asked for again at once.
      {"a", 40, 0},  // 1
      {"a", 0, 0},   // 2
      {"a", 40, 1},  // 3
      // Beyond the bound: never kept.
      {"b", 70, 0},  // 4
      {"b", 0, 0},   // 5
      {"b", 70, 0},  // 6
      {"b", 0, 0},   // 7
      // Three held at once come back, each to a request of its size; one
      // less than half the size of the smallest kept gets fresh pages.
      {"c", 10, 0},  // 8
      {"d", 5, 0},   // 9
      {"c", 0, 0},   // 10
      {"d", 0, 0},   // 11
      {"a", 0, 0},   // 12
      {"e", 2, 0},   // 13
      {"e", 0, 0},   // 14
      {"d", 5, 9},   // 15
      {"c", 9, 8},   // 16
      {"a", 39, 3},  // 17
      // A larger one makes room by dropping smaller ones kept, as many as
      // the bound needs: here all four.
      {"c", 0, 0},    // 18
      {"d", 0, 0},    // 19
      {"f", 30, 0},   // 20
      {"f", 0, 0},    // 21
      {"a", 0, 0},    // 22
      {"c", 10, 0},   // 23
      {"a", 40, 17},  // 24
      {"f", 30, 0},   // 25
  };
  // Whatever earlier parses left kept goes: a buffer of the whole bound,
  // released, drops all others, and is then held through the steps.
  const size_t wholeBound = (64 * kMiB - 16) / 2;
  allocateText(wholeBound, Fill::kLeftAsIs).reset();
  const TextBuffer bound = allocateText(wholeBound, Fill::kLeftAsIs);
  std::map<std::string, TextBuffer> held;
  for (size_t i = 0; i < std::size(steps); ++i) {
    const Step& step = steps[i];
    SCOPED_TRACE("step " + std::to_string(i + 1));
    if (step.mib == 0) {
      held.erase(step.buffer);
      continue;
    }
    TextBuffer text = allocateText(step.mib * kMiB / 2, Fill::kLeftAsIs);
    EXPECT_EQ(text[0], step.servedBy);
    text[0] = char16_t(i + 1);
    text[step.mib * kMiB / 2 - 1] = u'x';  // every unit can be written
    held[step.buffer] = std::move(text);
  }
}
#endif

}  // namespace
}  // namespace epub::base
