#include "toc.h"

#include <pugixml.hpp>

#include "opf.h"
#include "package_check.h"
#include "utf.h"

namespace epubreader {

namespace {

// Builds a tree from entries given in pre-order with their depths (1 at the
// top), moving entries deeper than the cap up to it.
class TreeBuilder {
 public:
  TreeBuilder(std::vector<TocEntry>& top, bool& capped) : capped_(capped) { open_.push_back(&top); }
  void add(size_t depth, TocEntry entry) {
    if (depth < 1) depth = 1;
    if (depth > kMaxTocDepth) {
      depth = kMaxTocDepth;
      capped_ = true;
    }
    while (open_.size() > depth) open_.pop_back();
    while (open_.size() < depth) {
      auto* last = open_.back();
      if (last->empty()) last->push_back({});
      open_.push_back(&last->back().children);
    }
    open_.back()->push_back(std::move(entry));
  }

 private:
  std::vector<std::vector<TocEntry>*> open_;
  bool& capped_;
};

// The label and target of a navigation list item: its first a or span.
TocEntry navEntry(const pugi::xml_node& li) {
  for (auto c : li.children())
    if (isElement(c, "a") || isElement(c, "span")) return {textOf(c), attribute(c, "href"), {}};
  return {};
}

// An ol of li items, each holding its own ol: walked with a stack of the
// lists being read.
void readNavList(const pugi::xml_node& ol, std::vector<TocEntry>& out, bool& capped) {
  TreeBuilder tree(out, capped);
  std::vector<pugi::xml_node> items;  // the next li to read at each depth
  items.push_back(ol.first_child());
  while (!items.empty()) {
    pugi::xml_node& li = items.back();
    while (li && !isElement(li, "li")) li = li.next_sibling();
    if (!li) {
      items.pop_back();
      continue;
    }
    const pugi::xml_node current = li;
    li = li.next_sibling();
    tree.add(items.size(), navEntry(current));
    if (const pugi::xml_node inner = child(current, "ol")) items.push_back(inner.first_child());
  }
}

bool readNav(Book& book, const PackageFile& package, Toc& toc) {
  const ManifestItem* item = package.byProperty("nav");
  if (!item) return false;
  auto bytes = book.read(item->path);
  pugi::xml_document nav;
  if (!bytes || !parseXml(nav, *bytes)) return false;
  toc.navPath = item->path;
  pugi::xml_node chosen;
  for (pugi::xml_node node = nav.first_child(); node; node = nextInTree(node, nav)) {
    if (!isElement(node, "nav")) continue;
    const std::string_view type = attribute(node, "type");
    bool ignored = false;
    if (hasToken(type, "landmarks")) readNavList(child(node, "ol"), toc.landmarks, ignored);
    if (hasToken(type, "page-list")) readNavList(child(node, "ol"), toc.pageList, ignored);
    if (hasToken(type, "toc") && (!chosen || !hasToken(attribute(chosen, "type"), "toc")))
      chosen = node;
    if (!chosen && !hasToken(type, "landmarks") && !hasToken(type, "page-list")) chosen = node;
  }
  if (!chosen || toc.source != Toc::Source::None) return true;
  toc.source = Toc::Source::Nav;
  toc.path = item->path;
  readNavList(child(chosen, "ol"), toc.entries, toc.capped);
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
  const PackageFile package = readPackageFile(book);
  const EpubReaderNavList* list = EpubReader_getNavMap(reader);
  if (list && list->first) {
    toc.source = Toc::Source::Ncx;
    toc.path = package.ncxPath();
    // The engine flattens the tree in pre-order with depths; rebuild it.
    TreeBuilder tree(toc.entries, toc.capped);
    for (const EpubReaderNavNode* n = list->first; n; n = n->next)
      tree.add(n->depth < 1 ? 1 : static_cast<size_t>(n->depth),
               {epub::utf::toUtf8(n->entry->label), epub::utf::toUtf8(n->entry->src), {}});
  } else if (const std::string ncx = package.ncxPath(); !ncx.empty()) {
    if (auto bytes = book.read(ncx))
      if (auto refused = xmlRefusal(*bytes))
        book.damage(ncx + ", " + *refused + "; its contents are left out");
  }
  readNav(book, package, toc);
  return toc;
}

std::string tocTarget(const Toc& toc, const TocEntry& entry) {
  return entry.href.empty() ? std::string() : joinPath(toc.path, entry.href, true, true);
}

}  // namespace epubreader
