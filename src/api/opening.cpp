#include "opening.h"

#include <new>

#include "base/ansi_text.h"
#include "host_records.h"
#include "package/package_text.h"
#include "package/paths.h"
#include "package/readers.h"

namespace epub::api {
namespace {

// Runs one package reader over decoded bytes, handing it the text.
template <class Reader>
auto withDecodedText(const uint8_t* bytes, uint32_t length, Reader&& reader) {
  package::PackageText text;
  package::decodePackageText(text, bytes, length);
  return reader(xml::XmlText(std::move(text.text), size_t(text.length)));
}

const char16_t* openPublication(EpubReader& reader, const uint8_t* bytes, uint32_t length) {
  Session& s = reader.session;

  // 1. The container document names the package document.
  if (!bytes) length = 0;
  const bool found = withDecodedText(bytes, length, [&](xml::XmlText text) {
    return package::parseContainer(std::move(text), s.location);
  });
  if (!found) return nullptr;

  // 2. The package document, read with its path as the container gives it.
  const uint8_t* opfBytes = nullptr;
  uint32_t opfLength = 0;
  if (!s.readFile(s.location.opfPath, &opfBytes, &opfLength)) return nullptr;
  if (!opfBytes) opfLength = 0;
  auto record = std::make_unique<package::PackageRecord>();
  record->opfBytes = opfBytes;
  record->opfLength = opfLength;
  withDecodedText(opfBytes, opfLength, [&](xml::XmlText text) {
    package::parsePackageDocument(std::move(text), *record);
    return true;
  });
  s.package = std::move(record);
  const package::PackageRecord& pkg = *s.package;
  const std::u16string& base = s.location.opfDirectory;

  // 3. The Content table: one item per spine entry found in the manifest.
  s.reserveContents(pkg.spineItems.size());
  for (const package::ManifestItem* item : pkg.spineItems) {
    s.addContent(package::resolvePath(base, item->href), item->href.c_str());
  }

  // 4. The NCX; nothing in it, nor its absence, changes the outcome.
  std::u16string ncxHref = pkg.ncxItemHref;
  if (ncxHref.empty()) {
    if (const package::ManifestItem* toc = pkg.findManifestItem(pkg.toc)) ncxHref = toc->href;
  }
  const uint8_t* ncxBytes = nullptr;
  uint32_t ncxLength = 0;
  if (s.readFile(package::resolvePath(base, ncxHref), &ncxBytes, &ncxLength)) {
    if (!ncxBytes) ncxLength = 0;
    withDecodedText(ncxBytes, ncxLength, [&](xml::XmlText text) {
      package::parseNcx(std::move(text), *s.package);
      return true;
    });
  }

  // 5. The metadata record the host reads.
  buildMetadataRecord(reader);
  return s.location.opfPath.c_str();
}

}  // namespace

bool readMimeType(Session& s, const uint8_t* bytes, int32_t length) {
  s.mimeType = base::ansiText(bytes, length);
  return true;
}

const char16_t* readContainer(EpubReader& reader, const uint8_t* bytes, uint32_t length) {
  Session& s = reader.session;
  // A second publication on the same handle would leave the host holding
  // records of the first while the Content table mixed both: refuse it.
  if (s.isOpen()) return nullptr;
  // Opening is all or nothing: out of memory anywhere leaves the session
  // as it was before the call, so the host can free memory and try again.
  // The metadata record is the last thing set, so only the package, the
  // Content table and the location need putting back.
  package::PackageLocation before = s.location;
  try {
    return openPublication(reader, bytes, length);
  } catch (const std::bad_alloc&) {
    s.package.reset();
    s.clearContents();
    s.location = std::move(before);
    throw;
  }
}

}  // namespace epub::api
