// Helpers shared by the fuzz targets: carving one input into the parts of a
// publication, and reading small numbers off the front of a byte program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace epubfuzz {

// Parts of a carved input are separated by this marker (also in every
// dictionary): four bytes no UTF-8 or ASCII text contains.
inline constexpr std::string_view kSeparator{"\0@@\0", 4};

// Splits `data` at the separator into at most `count` parts; the last part
// takes the rest of the input, separators included. Missing parts are
// absent from the result (a host then fails to read that file).
inline std::vector<std::string_view> carve(const uint8_t* data, size_t size, size_t count) {
  std::vector<std::string_view> parts;
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  while (parts.size() + 1 < count) {
    size_t at = rest.find(kSeparator);
    if (at == std::string_view::npos) break;
    parts.push_back(rest.substr(0, at));
    rest.remove_prefix(at + kSeparator.size());
  }
  parts.push_back(rest);
  return parts;
}

inline const uint8_t* bytesOf(std::string_view part) {
  return reinterpret_cast<const uint8_t*>(part.data());
}

// Reads the next byte of a program, 0 once it is exhausted.
class Program {
 public:
  explicit Program(std::string_view bytes) : bytes_(bytes) {}
  bool done() const { return at_ >= bytes_.size(); }
  uint8_t byte() { return done() ? 0 : static_cast<uint8_t>(bytes_[at_++]); }
  // Small signed numbers around 0 matter most (page -1, 0, one past the
  // end); a 0xFF prefix reaches the whole 32-bit range.
  int32_t number() {
    uint8_t b = byte();
    if (b != 0xFF) return static_cast<int32_t>(static_cast<int8_t>(b));
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | byte();
    return static_cast<int32_t>(v);
  }

 private:
  std::string_view bytes_;
  size_t at_ = 0;
};

// Reads every code unit of a library string, so that a dangling or
// unterminated one shows up under AddressSanitizer at the call that
// returned it.
inline size_t touch(const char16_t* text) { return text ? std::u16string_view(text).size() : 0; }

}  // namespace epubfuzz
