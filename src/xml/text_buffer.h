// Buffers for large texts: the package readers' decoded texts and the XML
// reader's copies of borrowed texts.
#pragma once

#include <cstddef>
#include <memory>

namespace epub::xml {

// Releases a buffer from allocateText.
struct ReleaseText {
  void operator()(char16_t* text) const noexcept;
};
using TextBuffer = std::unique_ptr<char16_t[], ReleaseText>;

// `units` code units, zeroed with `zeroed`, else left as they are;
// std::bad_alloc when memory runs out.
//
// A buffer of more than `mappedAboveBytes` (its units and a 16-byte header) is
// a mapping of its own on Linux, in huge pages where the system allows them
// on request, its pages made present in one step; a few released ones, up
// to 64 MiB in all, are kept for the next buffers of about their sizes.
// Whether the C library serves a block of some megabytes from its heap or
// maps it afresh depends on what the process allocated and released before;
// mapped afresh, its pages fault in one at a time, which costs more than
// writing the text.
TextBuffer allocateText(size_t units, bool zeroed, size_t mappedAboveBytes);

}  // namespace epub::xml
