// The three package readers: container document, package document (OPF)
// and NCX. Each works on text decoded by decodePackageText, borrowed or
// handed over (see xml::XmlText).
#pragma once

#include "package/package_record.h"
#include "package/paths.h"
#include "xml/xml_node.h"

namespace epub::package {

// Finds the first rootfile with the package media type; on success records
// its path, folder and media type in `location` and returns true. On failure
// `location` is left as it was.
bool parseContainer(xml::XmlText text, PackageLocation& location);

// Stores a manifest item under `id` with its href percent-decoded; an item
// already stored under the same id is replaced.
void addManifestItem(PackageRecord& record, std::u16string_view id, std::u16string_view href,
                     std::u16string_view mediaType);

// Fills metadata, manifest, spine (with its manifest items), guide and the
// NCX item. Never fails.
void parsePackageDocument(xml::XmlText text, PackageRecord& record);

// Fills record.ncx. Writes "head count == 0" to standard output when the NCX
// has no head or an empty one.
void parseNcx(xml::XmlText text, PackageRecord& record);

}  // namespace epub::package
