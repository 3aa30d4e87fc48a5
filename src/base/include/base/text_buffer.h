// Buffers for large texts: the package readers' decoded texts and the XML
// reader's copies of borrowed texts. Where each comes from (the C library's
// heap, or a mapping of its own kept for reuse) is the memory policy's
// choice (base/memory_policy.h), not the caller's.
#pragma once

#include <cstddef>
#include <memory>

namespace epub::base {

// Releases a buffer from allocateText.
struct ReleaseText {
  void operator()(char16_t* text) const noexcept;
};
using TextBuffer = std::unique_ptr<char16_t[], ReleaseText>;

enum class Fill { kZeroed, kLeftAsIs };

// `units` code units, zeroed or left as they are (for a text its writer
// fills whole); std::bad_alloc when memory runs out.
TextBuffer allocateText(size_t units, Fill fill);

}  // namespace epub::base
