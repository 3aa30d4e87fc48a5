// The package document reader: metadata, manifest, spine and guide from
// decoded OPF bytes, then the lookups opening makes (each spine idref in the
// manifest, each href resolved against a folder).
#include <cstdint>

#include "package/package_text.h"
#include "package/paths.h"
#include "package/readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  epub::package::PackageText text;
  epub::package::decodePackageText(text, data, static_cast<uint32_t>(size));
  epub::package::PackageRecord record;
  record.opfBytes = data;
  record.opfLength = static_cast<uint32_t>(size);
  if (text.hasText) epub::package::parsePackageDocument(text.text.get(), record);
  text.release();
  for (const auto& entry : record.spine)
    if (const auto* item = record.findManifestItem(entry.idref))
      epub::package::resolvePath(u"OEBPS/", item->href);
  if (const auto* toc = record.findManifestItem(record.toc))
    epub::package::resolvePath(u"OEBPS/", toc->href);
  return 0;
}
