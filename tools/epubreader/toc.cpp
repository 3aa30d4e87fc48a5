#include "toc.h"

#include <cstring>
#include <pugixml.hpp>
#include <string_view>

#include "utf.h"

namespace epubreader {

namespace {

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

// The value of an attribute named `name` in any namespace (epub:type, type).
const char* attribute(const pugi::xml_node& node, std::string_view name) {
  for (auto a : node.attributes())
    if (localName(a.name()) == name) return a.value();
  return "";
}

bool hasToken(std::string_view list, std::string_view token) {
  size_t i = 0;
  while (i < list.size()) {
    while (i < list.size() && std::strchr(" \t\r\n", list[i])) ++i;
    size_t end = i;
    while (end < list.size() && !std::strchr(" \t\r\n", list[end])) ++end;
    if (list.substr(i, end - i) == token) return true;
    i = end;
  }
  return false;
}

// All text below the node, runs of white space collapsed to one space.
std::string text(const pugi::xml_node& node) {
  std::string raw;
  for (auto d : node.select_nodes(".//text()")) raw += d.node().value();
  std::string out;
  for (char c : raw) {
    const bool space = c == ' ' || c == '\t' || c == '\r' || c == '\n';
    if (space) {
      if (!out.empty() && out.back() != ' ') out.push_back(' ');
    } else {
      out.push_back(c);
    }
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string resolveHref(const std::string& base, std::string_view href) {
  href = href.substr(0, href.find('#'));
  std::string decoded;
  for (size_t i = 0; i < href.size(); ++i) {
    if (href[i] == '%' && i + 2 < href.size() && hexValue(href[i + 1]) >= 0 &&
        hexValue(href[i + 2]) >= 0) {
      decoded.push_back(static_cast<char>(hexValue(href[i + 1]) * 16 + hexValue(href[i + 2])));
      i += 2;
    } else {
      decoded.push_back(href[i]);
    }
  }
  std::vector<std::string> parts;
  const auto slash = base.rfind('/');
  std::string joined = (slash == std::string::npos ? std::string() : base.substr(0, slash + 1));
  joined = decoded.starts_with('/') ? decoded.substr(1) : joined + decoded;
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
  return out;
}

namespace {

std::vector<TocEntry> navList(const pugi::xml_node& ol) {
  std::vector<TocEntry> out;
  for (auto li : ol.children()) {
    if (!isElement(li, "li")) continue;
    TocEntry entry;
    for (auto c : li.children()) {
      if (isElement(c, "a") || isElement(c, "span")) {
        if (entry.label.empty()) {
          entry.label = text(c);
          entry.href = attribute(c, "href");
        }
      } else if (isElement(c, "ol")) {
        entry.children = navList(c);
      }
    }
    out.push_back(std::move(entry));
  }
  return out;
}

bool readPackage(Book& book, pugi::xml_document& package) {
  auto opf = book.read(book.packagePath());
  return opf && package.load_buffer(opf->data(), opf->size());
}

// Where the NCX lies, found the way the engine finds it: the manifest item
// of the NCX media type, else the item the spine's toc names.
std::string ncxPath(Book& book) {
  pugi::xml_document package;
  if (!readPackage(book, package)) return {};
  const auto manifest = child(package.document_element(), "manifest");
  const std::string_view toc = attribute(child(package.document_element(), "spine"), "toc");
  std::string byToc;
  for (auto item : manifest.children()) {
    if (!isElement(item, "item")) continue;
    if (std::string_view(attribute(item, "media-type")) == "application/x-dtbncx+xml")
      return resolveHref(book.packagePath(), attribute(item, "href"));
    if (byToc.empty() && !toc.empty() && toc == attribute(item, "id"))
      byToc = resolveHref(book.packagePath(), attribute(item, "href"));
  }
  return byToc;
}

bool readNav(Book& book, Toc& toc) {
  pugi::xml_document package;
  if (!readPackage(book, package)) return false;
  std::string href;
  for (auto item : child(package.document_element(), "manifest").children())
    if (isElement(item, "item") && hasToken(attribute(item, "properties"), "nav")) {
      href = attribute(item, "href");
      break;
    }
  if (href.empty()) return false;
  const std::string path = resolveHref(book.packagePath(), href);
  auto bytes = book.read(path);
  if (!bytes) return false;
  pugi::xml_document nav;
  if (!nav.load_buffer(bytes->data(), bytes->size())) return false;
  pugi::xml_node chosen;
  for (auto x : nav.select_nodes("//*")) {
    const auto node = x.node();
    if (!isElement(node, "nav")) continue;
    if (hasToken(attribute(node, "type"), "toc")) {
      chosen = node;
      break;
    }
    if (!chosen) chosen = node;
  }
  if (!chosen) return false;
  toc.source = Toc::Source::Nav;
  toc.path = path;
  toc.entries = navList(child(chosen, "ol"));
  return true;
}

}  // namespace

const char* sourceName(Toc::Source source) {
  switch (source) {
    case Toc::Source::Ncx:
      return "NCX";
    case Toc::Source::Nav:
      return "navigation document";
    case Toc::Source::None:
      break;
  }
  return "none";
}

Toc readToc(Book& book, EpubReader* reader) {
  Toc toc;
  const EpubReaderNavList* list = EpubReader_getNavMap(reader);
  if (list && list->first) {
    toc.source = Toc::Source::Ncx;
    toc.path = ncxPath(book);
    // The engine flattens the tree in pre-order with depths; rebuild it.
    std::vector<std::vector<TocEntry>*> open{&toc.entries};
    for (const EpubReaderNavNode* n = list->first; n; n = n->next) {
      const size_t depth = n->depth < 1 ? 1 : static_cast<size_t>(n->depth);
      while (open.size() > depth) open.pop_back();
      while (open.size() < depth) {
        auto* last = open.back();
        if (last->empty()) last->push_back({});
        open.push_back(&last->back().children);
      }
      open.back()->push_back(
          {epub::utf::toUtf8(n->entry->label), epub::utf::toUtf8(n->entry->src), {}});
    }
    return toc;
  }
  readNav(book, toc);
  return toc;
}

}  // namespace epubreader
