// The NCX reader: head, title, authors and the navigation map (at any
// depth) from decoded NCX bytes. The record is destroyed at the end of each
// run, so a deep map also checks that its release needs no deep recursion.
#include <cstdint>

#include "package/package_text.h"
#include "package/readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  epub::package::PackageText text;
  epub::package::decodePackageText(text, data, static_cast<uint32_t>(size));
  epub::package::PackageRecord record;
  if (text.hasText) epub::package::parseNcx(text.text.get(), record);
  text.release();
  return 0;
}
