#include "package/package_text.h"

#include <cstddef>

#include "package/decode_steps.h"
#include "vorozovorevare.h"

namespace epub::package {

namespace {
// A decoded text beyond 1 MiB is a mapping of its own.
constexpr size_t kMappedAboveBytes = size_t(1) << 20;
}  // namespace

TextBuffer zeroedText(size_t units) { return xml::allocateText(units, true, kMappedAboveBytes); }

TextBuffer uninitialisedText(size_t units) {
  return xml::allocateText(units, false, kMappedAboveBytes);
}

// The encoding library writes every unit it announced (see toUCS2LE), so
// its texts need no zero fill first.
template <>
inline constexpr bool kConverterFillsText<KWT::CVorozoVorevare> = true;

void decodePackageText(PackageText& text, const uint8_t* bytes, uint32_t length) {
  decodePackageTextWith<KWT::CVorozoVorevare>(text, bytes, length);
}

}  // namespace epub::package
