#include "host_records.h"

#include <vector>

namespace epub::api {
namespace {

using package::MetadataField;
using package::NavigationPoint;

// Each list lives in one block: the header, then its nodes, then the records
// the nodes point to. The header comes first, so the block is released
// through the pointer the handle keeps.
template <class List, class Node, class Item>
List* newListBlock(size_t count, Node*& nodes, Item*& items) {
  const size_t nodeOffset = (sizeof(List) + alignof(Node) - 1) / alignof(Node) * alignof(Node);
  const size_t itemOffset =
      (nodeOffset + count * sizeof(Node) + alignof(Item) - 1) / alignof(Item) * alignof(Item);
  char* block = static_cast<char*>(::operator new(itemOffset + count * sizeof(Item)));
  nodes = reinterpret_cast<Node*>(block + nodeOffset);
  items = reinterpret_cast<Item*>(block + itemOffset);
  return reinterpret_cast<List*>(block);
}

// Writes every navigation point, in document order, into the list's nodes
// and entries, with its depth (1 for the navigation map's top level).
void fillNavigation(const package::NcxRecord& ncx, EpubReaderNavNode* nodes,
                    EpubReaderNavEntry* entries, size_t count) {
  // The end of each open point's range: a point's depth is one more than
  // the number of ranges it lies in.
  std::vector<size_t> ends;
  for (size_t n = 0; n < count; ++n) {
    while (!ends.empty() && ends.back() <= n) ends.pop_back();
    const NavigationPoint& point = ncx.points[n];
    EpubReaderNavEntry& entry = entries[n];
    entry.id = point.id;
    entry.playOrder = point.playOrder;
    entry.reserved = nullptr;
    entry.label = point.labelCount == 0 ? nullptr : point.labels[0];
    entry.src = point.contentSrc;
    nodes[n] = EpubReaderNavNode{static_cast<int32_t>(ends.size() + 1), &entry, nullptr};
    if (n > 0) nodes[n - 1].next = &nodes[n];
    if (point.descendantCount > 0) ends.push_back(ncx.after(n));
  }
}

}  // namespace

void buildMetadataRecord(EpubReader& reader) {
  const package::Metadata& m = reader.session.package->metadata;
  auto* record = new EpubReaderPublicationMetadata{};
  record->title = m[package::kTitle].c_str();
  record->creator = m[package::kCreator].c_str();
  record->subject = m[package::kSubject].c_str();
  record->description = m[package::kDescription].c_str();
  record->publisher = m[package::kPublisher].c_str();
  record->contributor = m[package::kContributor].c_str();
  record->date = nullptr;  // none of the three dates is handed over
  record->type = m[package::kType].c_str();
  record->format = m[package::kFormat].c_str();
  record->identifier = m[package::kIdentifier].c_str();
  record->source = m[package::kSource].c_str();
  record->language = m[package::kLanguage].c_str();
  record->relation = m[package::kRelation].c_str();
  record->coverage = m[package::kCoverage].c_str();
  record->rights = m[package::kRights].c_str();
  delete reader.metadata;
  reader.metadata = record;
}

const char16_t* ncxDocTitle(Session& s) {
  if (!s.isOpen()) return nullptr;
  return s.package->ncx.docTitle.third.c_str();
}

const char16_t* ncxDocAuthor(Session& s) {
  if (!s.isOpen() || s.package->ncx.docAuthors.empty()) return nullptr;
  return s.package->ncx.docAuthors.front().third.c_str();
}

const EpubReaderSpineList* spineList(EpubReader& reader) {
  const Session& s = reader.session;
  if (!s.isOpen()) return nullptr;
  if (reader.spine) return reader.spine;
  // The spine entries found in the manifest, as the package reader found them.
  const std::vector<const package::ManifestItem*>& found = s.package->spineItems;
  EpubReaderSpineNode* nodes = nullptr;
  EpubReaderSpineItem* items = nullptr;
  auto* list = newListBlock<EpubReaderSpineList, EpubReaderSpineNode, EpubReaderSpineItem>(
      found.size(), nodes, items);
  list->count = static_cast<uint32_t>(found.size());
  list->first = found.empty() ? nullptr : nodes;
  for (size_t i = 0; i < found.size(); ++i) {
    const package::ManifestItem& item = *found[i];
    items[i] = EpubReaderSpineItem{item.id.c_str(), item.href.c_str(), item.mediaType.c_str()};
    nodes[i] = EpubReaderSpineNode{&items[i], i + 1 < found.size() ? &nodes[i + 1] : nullptr};
  }
  reader.spine = list;
  return list;
}

const EpubReaderNavList* navigationList(EpubReader& reader) {
  const Session& s = reader.session;
  if (!s.isOpen()) return nullptr;
  if (reader.navigation) return reader.navigation;
  const package::NcxRecord& ncx = s.package->ncx;
  // Nothing is stored for an empty map, so a later call looks again.
  if (ncx.points.empty()) return nullptr;
  EpubReaderNavNode* nodes = nullptr;
  EpubReaderNavEntry* entries = nullptr;
  const size_t count = ncx.points.size();
  auto* list =
      newListBlock<EpubReaderNavList, EpubReaderNavNode, EpubReaderNavEntry>(count, nodes, entries);
  try {
    *list = EpubReaderNavList{0, ncx.navPointCount, nodes};
    fillNavigation(ncx, nodes, entries, count);
  } catch (...) {
    ::operator delete(static_cast<void*>(list));
    throw;
  }
  reader.navigation = list;
  return list;
}

void freeHostRecords(EpubReader& reader) {
  delete reader.metadata;
  reader.metadata = nullptr;
  // Each list is one block (see newListBlock); the strings belong to the
  // Package record and stay.
  ::operator delete(static_cast<void*>(reader.spine));
  reader.spine = nullptr;
  ::operator delete(static_cast<void*>(reader.navigation));
  reader.navigation = nullptr;
}

}  // namespace epub::api
