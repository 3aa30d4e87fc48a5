#include "api/host_records.h"

#include <memory>

namespace epub::api {
namespace {

using package::MetadataField;
using package::NavigationPoint;

// Appends a navigation point and, depth first, all its descendants. An
// explicit stack keeps a deeply nested NCX from exhausting the call stack.
EpubReaderNavNode** appendNavigation(const std::vector<std::unique_ptr<NavigationPoint>>& top,
                                     EpubReaderNavNode** tail) {
  struct Frame {
    const std::vector<std::unique_ptr<NavigationPoint>>* points;
    size_t next;
  };
  std::vector<Frame> stack{{&top, 0}};
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.next == frame.points->size()) {
      stack.pop_back();
      continue;
    }
    const NavigationPoint& point = *(*frame.points)[frame.next++];
    auto entry = std::make_unique<EpubReaderNavEntry>();
    entry->id = point.id.c_str();
    entry->playOrder = point.playOrder.c_str();
    entry->reserved = nullptr;
    entry->label = point.labels.empty() ? nullptr : point.labels.front().text.third.c_str();
    entry->src = point.contentSrc.c_str();
    auto* node =
        new EpubReaderNavNode{static_cast<int32_t>(stack.size()), entry.release(), nullptr};
    *tail = node;
    tail = &node->next;
    if (!point.children.empty()) stack.push_back({&point.children, 0});
  }
  return tail;
}

// Frees a (possibly half-built) list node by node, each node's record before the node, then the
// header. The strings belong to the Package record and stay.
template <class List>
void freeList(List*& list) {
  if (!list) return;
  for (auto* node = list->first; node;) {
    auto* next = node->next;
    if constexpr (requires { node->item; }) {
      delete node->item;
    } else {
      delete node->entry;
    }
    delete node;
    node = next;
  }
  delete list;
  list = nullptr;
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
  auto* list = new EpubReaderSpineList{0, nullptr};
  // Out of memory half-way: what was built is freed before the exception
  // leaves, and a later call builds the list afresh.
  try {
    EpubReaderSpineNode** tail = &list->first;
    for (const package::SpineEntry& entry : s.package->spine) {
      const package::ManifestItem* item = s.package->findManifestItem(entry.idref);
      if (!item) continue;
      auto spineItem = std::make_unique<EpubReaderSpineItem>(
          EpubReaderSpineItem{item->id.c_str(), item->href.c_str(), item->mediaType.c_str()});
      *tail = new EpubReaderSpineNode{spineItem.release(), nullptr};
      tail = &(*tail)->next;
      ++list->count;
    }
  } catch (...) {
    freeList(list);
    throw;
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
  if (ncx.navPoints.empty()) return nullptr;
  auto* list = new EpubReaderNavList{0, ncx.navPointCount, nullptr};
  try {
    appendNavigation(ncx.navPoints, &list->first);
  } catch (...) {
    freeList(list);
    throw;
  }
  reader.navigation = list;
  return list;
}

void freeHostRecords(EpubReader& reader) {
  delete reader.metadata;
  reader.metadata = nullptr;
  freeList(reader.spine);
  freeList(reader.navigation);
}

}  // namespace epub::api
