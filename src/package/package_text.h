// Package file text decoding: the bytes of a container document, OPF or NCX
// become NUL-terminated UTF-16 text for the XML reader.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>

namespace epub::package {

// A wide text buffer from calloc: zero-filled memory that the C library can
// often hand out without writing it (fresh pages are zero already).
struct FreeText {
  void operator()(char16_t* text) const noexcept { std::free(text); }
};
using TextBuffer = std::unique_ptr<char16_t[], FreeText>;

// `units` zero code units; std::bad_alloc when memory runs out.
inline TextBuffer zeroedText(size_t units) {
  void* p = std::calloc(units, sizeof(char16_t));
  if (p == nullptr) throw std::bad_alloc();
  return TextBuffer(static_cast<char16_t*>(p));
}

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
