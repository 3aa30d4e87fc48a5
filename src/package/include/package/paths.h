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

// Records the OPF path as written and its folder (up to the last "/").
void setPackageLocation(PackageLocation& location, std::u16string_view fullPath);
// The segments between runs of "/"; never an empty one. Views into `path`.
std::vector<std::u16string_view> splitPath(std::u16string_view path);
// The full container path of `href` relative to the folder `base`.
std::u16string resolvePath(std::u16string_view base, std::u16string_view href);
// Percent-decodes a manifest href (only when it holds a "%"; "+" is then a
// space). The bytes are read as UTF-8 (on Windows by MultiByteToWideChar),
// each maximal ill-formed subsequence becoming one U+FFFD on every platform;
// an escaped zero byte ends the href.
std::u16string decodeHref(std::u16string_view href);

}  // namespace epub::package
