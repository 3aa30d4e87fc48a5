// Test support: reads the files of an .epub (a zip archive) by their path
// inside the container, as a host application would for the library.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "utf.h"

struct zip;

namespace epub::testing {

class EpubArchive {
 public:
  // Opens the archive read-only; isOpen() tells whether that worked.
  explicit EpubArchive(const std::string& path);
  ~EpubArchive();
  EpubArchive(const EpubArchive&) = delete;
  EpubArchive& operator=(const EpubArchive&) = delete;

  bool isOpen() const { return archive_ != nullptr; }

  // The bytes of the file at `path` (UTF-8, exact match), or nothing when
  // the archive holds no such file or it cannot be read.
  std::optional<std::vector<uint8_t>> read(std::string_view path) const;
  // The same with a UTF-16 path, as the library asks for files.
  std::optional<std::vector<uint8_t>> read(std::u16string_view path) const;

  // Every file name in the archive, in archive order.
  std::vector<std::string> names() const;

 private:
  zip* archive_ = nullptr;
};

// UTF-16 to UTF-8 and back; unpaired surrogates and bad bytes become U+FFFD.
using epub::utf::fromUtf8;
using epub::utf::toUtf8;

}  // namespace epub::testing
