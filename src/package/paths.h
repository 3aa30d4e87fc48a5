// Paths inside the container: the package location, joining the OPF folder
// with an href, and percent-decoding of manifest hrefs. Full paths are
// compared by exact string equality elsewhere, so these rules decide which
// spellings name the same file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace epub::package {

// Where the package document lives, as the container document names it.
struct PackageLocation {
  std::u16string opfPath;       // exactly as written in the container
  std::u16string opfDirectory;  // opfPath up to and including its last "/"
  std::u16string rootfileMediaType;
};

void setPackageLocation(PackageLocation& location, std::u16string_view fullPath);
std::vector<std::u16string_view> splitPath(std::u16string_view path);
std::u16string resolvePath(std::u16string_view base, std::u16string_view href);
std::u16string decodeHref(std::u16string_view href);

}  // namespace epub::package
