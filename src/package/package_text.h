// Package file text decoding: the bytes of a container document, OPF or NCX
// become NUL-terminated UTF-16 text for the XML reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "xml/text_buffer.h"

namespace epub::package {

using xml::ReleaseText;
using xml::TextBuffer;

// `units` zero code units; std::bad_alloc when memory runs out.
//
// A buffer beyond 1 MiB (the decoded OPF or NCX of a book with a few
// thousand documents) is a mapping of its own on Linux, reused by the next
// open (see xml::allocateText): from the C library, such a block is at
// times mapped afresh, and the decoder then faults it in one page at a
// time, which costs more than reading the text.
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
