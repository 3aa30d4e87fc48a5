// The package document as the command reads it itself, with pugixml: what
// the engine's records do not carry (dates, the unique identifier, the
// manifest's media types and properties, the cover, the guide), and
// metadata in any namespace prefix. The engine's own reading stays the
// reference for everything it hands over.
#pragma once

#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "book.h"

namespace epubreader {

// `href` joined to the folder of the file `base` ("." and ".." resolved, a
// fragment kept when `keepFragment`), percent-decoded first when `decode`.
std::string joinPath(const std::string& base, std::string_view href, bool decode = false,
                     bool keepFragment = false);

// Element and attribute names without their prefix, and the helpers that
// read a document by them without recursion.
std::string_view localName(const char* name);
bool isElement(const pugi::xml_node& node, std::string_view name);
pugi::xml_node child(const pugi::xml_node& parent, std::string_view name);
const char* attribute(const pugi::xml_node& node, std::string_view name);
bool hasToken(std::string_view list, std::string_view token);
// All text below the node, runs of white space collapsed to one space.
std::string textOf(const pugi::xml_node& node);
// The node after `node` in document order below `root`, or null.
pugi::xml_node nextInTree(const pugi::xml_node& node, const pugi::xml_node& root);
// Parses XML keeping white-space-only text (the space between two inline
// elements is text).
bool parseXml(pugi::xml_document& doc, const std::vector<uint8_t>& bytes);

struct ManifestItem {
  std::string id, path, mediaType, properties;  // path: full container path
};

struct PackageFile {
  bool read = false;
  // Dublin Core elements in document order: local name and text.
  std::vector<std::pair<std::string, std::string>> metadata;
  std::string uniqueIdentifier, modified;
  std::vector<ManifestItem> manifest;
  std::string spineToc, coverMeta;
  // Guide references: type and full path (with its fragment).
  std::vector<std::pair<std::string, std::string>> guide;

  // The last value of a Dublin Core element (the engine's rule), else "".
  std::string last(std::string_view name) const;
  std::string first(std::string_view name) const;
  const ManifestItem* byId(std::string_view id) const;
  const ManifestItem* byProperty(std::string_view property) const;
  // Where the NCX lies, found the way the engine finds it.
  std::string ncxPath() const;
};

PackageFile readPackageFile(Book& book);

}  // namespace epubreader
