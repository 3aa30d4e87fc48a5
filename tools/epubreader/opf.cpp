#include "opf.h"

#include <cstring>

namespace epubreader {

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::string joinPath(const std::string& base, std::string_view href, bool decode,
                     bool keepFragment) {
  const size_t hash = href.find('#');
  const std::string fragment =
      keepFragment && hash != std::string_view::npos ? std::string(href.substr(hash)) : "";
  href = href.substr(0, hash);
  std::string decoded;
  for (size_t i = 0; i < href.size(); ++i) {
    if (decode && href[i] == '%' && i + 2 < href.size() && hexValue(href[i + 1]) >= 0 &&
        hexValue(href[i + 2]) >= 0) {
      decoded.push_back(static_cast<char>(hexValue(href[i + 1]) * 16 + hexValue(href[i + 2])));
      i += 2;
    } else {
      decoded.push_back(href[i]);
    }
  }
  const auto slash = base.rfind('/');
  std::string joined = slash == std::string::npos ? std::string() : base.substr(0, slash + 1);
  joined = decoded.starts_with('/') ? decoded.substr(1) : joined + decoded;
  std::vector<std::string> parts;
  size_t i = 0;
  while (i <= joined.size()) {
    size_t end = joined.find('/', i);
    if (end == std::string::npos) end = joined.size();
    const std::string part = joined.substr(i, end - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = end + 1;
  }
  std::string out;
  for (const auto& p : parts) out += (out.empty() ? "" : "/") + p;
  return out.empty() ? out : out + fragment;
}

std::string_view localName(const char* name) {
  std::string_view n(name);
  const auto colon = n.rfind(':');
  return colon == std::string_view::npos ? n : n.substr(colon + 1);
}

bool isElement(const pugi::xml_node& node, std::string_view name) {
  return node.type() == pugi::node_element && localName(node.name()) == name;
}

pugi::xml_node child(const pugi::xml_node& parent, std::string_view name) {
  for (auto c : parent.children())
    if (isElement(c, name)) return c;
  return {};
}

const char* attribute(const pugi::xml_node& node, std::string_view name) {
  for (auto a : node.attributes())
    if (localName(a.name()) == name) return a.value();
  return "";
}

bool hasToken(std::string_view list, std::string_view token) {
  size_t i = 0;
  while (i < list.size()) {
    while (i < list.size() && isSpace(list[i])) ++i;
    size_t end = i;
    while (end < list.size() && !isSpace(list[end])) ++end;
    if (list.substr(i, end - i) == token) return true;
    i = end;
  }
  return false;
}

pugi::xml_node nextInTree(const pugi::xml_node& node, const pugi::xml_node& root) {
  if (node.first_child()) return node.first_child();
  for (pugi::xml_node at = node; at && at != root; at = at.parent())
    if (at.next_sibling()) return at.next_sibling();
  return {};
}

std::string textOf(const pugi::xml_node& node) {
  std::string out;
  for (pugi::xml_node at = node.first_child(); at; at = nextInTree(at, node)) {
    if (at.type() != pugi::node_pcdata && at.type() != pugi::node_cdata) continue;
    for (const char* c = at.value(); *c; ++c) {
      if (!isSpace(*c))
        out.push_back(*c);
      else if (!out.empty() && out.back() != ' ')
        out.push_back(' ');
    }
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

bool parseXml(pugi::xml_document& doc, const std::vector<uint8_t>& bytes) {
  return doc.load_buffer(bytes.data(), bytes.size(), pugi::parse_default | pugi::parse_ws_pcdata);
}

std::string PackageFile::last(std::string_view name) const {
  for (auto it = metadata.rbegin(); it != metadata.rend(); ++it)
    if (it->first == name) return it->second;
  return {};
}

std::string PackageFile::first(std::string_view name) const {
  for (const auto& [key, value] : metadata)
    if (key == name) return value;
  return {};
}

const ManifestItem* PackageFile::byId(std::string_view id) const {
  for (const auto& item : manifest)
    if (!id.empty() && item.id == id) return &item;
  return nullptr;
}

const ManifestItem* PackageFile::byProperty(std::string_view property) const {
  for (const auto& item : manifest)
    if (hasToken(item.properties, property)) return &item;
  return nullptr;
}

std::string PackageFile::ncxPath() const {
  for (const auto& item : manifest)
    if (item.mediaType == "application/x-dtbncx+xml") return item.path;
  const ManifestItem* toc = byId(spineToc);
  return toc ? toc->path : std::string();
}

PackageFile readPackageFile(Book& book) {
  PackageFile out;
  auto bytes = book.read(book.packagePath());
  pugi::xml_document doc;
  if (!bytes || !parseXml(doc, *bytes)) return out;
  out.read = true;
  const pugi::xml_node package = doc.document_element();
  const std::string_view unique = attribute(package, "unique-identifier");
  static const char* const kDublinCore[] = {
      "title",  "creator",    "subject", "description", "publisher", "contributor", "date",  "type",
      "format", "identifier", "source",  "language",    "relation",  "coverage",    "rights"};
  for (auto e : child(package, "metadata").children()) {
    if (e.type() != pugi::node_element) continue;
    const std::string_view name = localName(e.name());
    if (name == "meta") {
      if (std::string_view(attribute(e, "property")) == "dcterms:modified")
        out.modified = textOf(e);
      if (std::string_view(attribute(e, "name")) == "cover")
        out.coverMeta = attribute(e, "content");
      continue;
    }
    for (const char* dc : kDublinCore)
      if (name == dc) out.metadata.emplace_back(dc, textOf(e));
    if (name == "identifier" && !unique.empty() && unique == attribute(e, "id"))
      out.uniqueIdentifier = textOf(e);
  }
  for (auto item : child(package, "manifest").children())
    if (isElement(item, "item"))
      out.manifest.push_back({attribute(item, "id"),
                              joinPath(book.packagePath(), attribute(item, "href"), true),
                              attribute(item, "media-type"), attribute(item, "properties")});
  out.spineToc = attribute(child(package, "spine"), "toc");
  for (auto ref : child(package, "guide").children())
    if (isElement(ref, "reference"))
      out.guide.emplace_back(attribute(ref, "type"),
                             joinPath(book.packagePath(), attribute(ref, "href"), true, true));
  return out;
}

}  // namespace epubreader
