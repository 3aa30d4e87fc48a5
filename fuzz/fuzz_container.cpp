// The container reader: bytes decoded as the library decodes
// META-INF/container.xml, the rootfile picked, and the OPF path it names
// split and resolved the way later steps use it.
#include <cstdint>

#include "package/package_text.h"
#include "package/paths.h"
#include "package/readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  epub::package::PackageText text;
  epub::package::decodePackageText(text, data, static_cast<uint32_t>(size));
  epub::package::PackageLocation location;
  if (text.hasText && epub::package::parseContainer(text.text.get(), location)) {
    epub::package::splitPath(location.opfPath);
    epub::package::resolvePath(location.opfDirectory, u"../toc.ncx");
    epub::package::resolvePath(location.opfDirectory, location.opfPath);
  }
  text.release();
  return 0;
}
