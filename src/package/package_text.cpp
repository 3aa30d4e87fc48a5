#include "package/package_text.h"

#include <cstddef>

#include "decode_steps.h"
#include "vorozovorevare.h"

namespace epub::package {

TextBuffer zeroedText(size_t units) { return base::allocateText(units, base::Fill::kZeroed); }

TextBuffer uninitialisedText(size_t units) {
  return base::allocateText(units, base::Fill::kLeftAsIs);
}

// The encoding library writes every unit it announced (see toUCS2LE), so
// its texts need no zero fill first.
template <>
inline constexpr bool kConverterFillsText<KWT::CVorozoVorevare> = true;

void decodePackageText(PackageText& text, const uint8_t* bytes, uint32_t length) {
  decodePackageTextWith<KWT::CVorozoVorevare>(text, bytes, length);
}

}  // namespace epub::package
