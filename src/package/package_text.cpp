#include "package/package_text.h"

#include "package/decode_steps.h"
#include "vorozovorevare.h"

namespace epub::package {

void decodePackageText(PackageText& text, const uint8_t* bytes, uint32_t length) {
  decodePackageTextWith<KWT::CVorozoVorevare>(text, bytes, length);
}

}  // namespace epub::package
