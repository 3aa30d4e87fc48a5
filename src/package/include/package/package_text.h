// Package file text decoding: the bytes of a container document, OPF or NCX
// become NUL-terminated UTF-16 text for the XML reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/text_buffer.h"

namespace epub::package {

using base::ReleaseText;
using base::TextBuffer;

// `units` zero code units; std::bad_alloc when memory runs out.
TextBuffer zeroedText(size_t units);
// The same, its units left as they are: for a text its writer fills whole.
TextBuffer uninitialisedText(size_t units);

struct PackageText {
  bool hasText = false;
  const uint8_t* bytes = nullptr;  // the host's buffer, not owned
  uint32_t byteLength = 0;
  TextBuffer text;     // NUL-terminated once hasText is set
  int32_t length = 0;  // code units, terminator excluded

  void release() {
    text.reset();
    hasText = false;
  }
};

// Decodes through the encoding library (detection, an optional second look
// for an XHTML declaration, conversion), or copies UTF-16LE after its
// byte-order mark.
void decodePackageText(PackageText& text, const uint8_t* bytes, uint32_t length);

}  // namespace epub::package
