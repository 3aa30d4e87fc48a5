// The three package readers: container document, package document (OPF)
// and NCX. Each works on text decoded by decodePackageText.
#pragma once

#include "package/package_record.h"
#include "package/paths.h"

namespace epub::package {

// Finds the first rootfile with the package media type; on success records
// its path, folder and media type in `location` and returns true. On failure
// `location` is left as it was.
bool parseContainer(const char16_t* text, PackageLocation& location);

// Stores a manifest item under `id` with its href percent-decoded; an item
// already stored under the same id is replaced.
void addManifestItem(PackageRecord& record, std::u16string_view id, std::u16string_view href,
                     std::u16string_view mediaType);

// Fills metadata, manifest, spine, guide and the NCX item. Never fails.
void parsePackageDocument(const char16_t* text, PackageRecord& record);

// Fills record.ncx. Writes "head count == 0" to standard output when the NCX
// has no head or an empty one.
void parseNcx(const char16_t* text, PackageRecord& record);

}  // namespace epub::package
