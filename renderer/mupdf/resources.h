// Brings a content document's images and style sheets into the document
// itself. MuPDF's HTML handler, opened from memory, reads resources only
// from the working directory; the renderer instead fetches them through the
// host's read trampoline and hands MuPDF a document that needs nothing else:
// images become data: URIs, linked style sheets become <style> elements.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace pendrel_mupdf {

// Reads a file of the publication by full container path (UTF-8); nullopt
// when the host has no such file.
using ReadResource = std::function<std::optional<std::string_view>(const std::string& path)>;

// The full container path of `href` written in the document at `base`
// (percent-decoded, "." and ".." resolved, query and fragment dropped);
// empty when it leaves the container or names another scheme.
std::string resolveHref(std::string_view base, std::string_view href);

// The document with its resources inlined; nullopt when nothing changed.
std::optional<std::string> inlineResources(std::string_view xhtml, std::string_view base,
                                           const ReadResource& read);

}  // namespace pendrel_mupdf
