// Package readers not built yet.
#include "package/package_text.h"
#include "package/paths.h"
#include "package/readers.h"

namespace epub::package {

void decodePackageText(PackageText& text, const uint8_t* bytes, uint32_t length) {
  text.bytes = bytes;
  text.byteLength = length;
  text.text = std::make_unique<char16_t[]>(1);
  text.length = 0;
  text.hasText = true;
}
void setPackageLocation(PackageLocation&, std::u16string_view) {}
std::vector<std::u16string_view> splitPath(std::u16string_view) { return {}; }
std::u16string resolvePath(std::u16string_view, std::u16string_view href) {
  return std::u16string(href);
}
std::u16string decodeHref(std::u16string_view href) { return std::u16string(href); }
bool parseContainer(const char16_t*, PackageLocation&) { return false; }
void parsePackageDocument(const char16_t*, PackageRecord&) {}
void parseNcx(const char16_t*, PackageRecord&) {}

}  // namespace epub::package
