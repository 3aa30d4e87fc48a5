// The Package record: everything read from the package document (OPF) and
// the NCX of one publication. Strings handed to the host point into this
// record, so nothing in it changes after the open step has filled it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace epub::package {

// Metadata fields in their fixed order; the host's record addresses them by
// this index.
// clang-format off
enum MetadataField : int {
  kTitle, kCreator, kSubject, kDescription, kPublisher, kContributor,
  kDate, kCreationDate, kModificationDate, kType, kFormat, kIdentifier,
  kSource, kLanguage, kRelation, kCoverage, kRights, kUniqueIdentifier,
  kMetadataFieldCount
};
// clang-format on

using Metadata = std::array<std::u16string, kMetadataFieldCount>;

struct ManifestItem {
  std::u16string id;
  std::u16string href;  // percent-decoded
  std::u16string mediaType;
};

struct SpineEntry {
  std::u16string idref;
  std::u16string linear;  // kept but never consulted
};

struct GuideReference {
  std::u16string type;
  std::u16string title;
  std::u16string href;
};

// (first, second, third): a meta record is (name, content, empty), a text
// record (empty, empty, text).
struct StringTriple {
  std::u16string first;
  std::u16string second;
  std::u16string third;
};

// An owned wide string that is usually empty, in one pointer (null for the
// empty string): the label record's strings that this library never fills
// cost a navigation point nothing this way.
class SpareString {
 public:
  SpareString() noexcept = default;
  explicit SpareString(std::u16string_view text) {
    if (text.empty()) return;
    units_ = new char16_t[text.size() + 1];
    text.copy(units_, text.size());
    units_[text.size()] = u'\0';
  }
  SpareString(const SpareString& other) : SpareString(other.view()) {}
  SpareString(SpareString&& other) noexcept : units_(std::exchange(other.units_, nullptr)) {}
  SpareString& operator=(SpareString other) noexcept {
    std::swap(units_, other.units_);
    return *this;
  }
  ~SpareString() { delete[] units_; }

  const char16_t* c_str() const noexcept { return units_ ? units_ : u""; }
  std::u16string_view view() const noexcept { return c_str(); }
  bool empty() const noexcept { return units_ == nullptr; }

 private:
  char16_t* units_ = nullptr;
};

struct SpareTriple {
  SpareString first;
  SpareString second;
  SpareString third;
};

// One navLabel or navInfo; only the label text (text.third) is filled.
struct LabelRecord {
  StringTriple text;
  std::array<SpareString, 5> extra;
  SpareTriple more;
};

struct NavigationPoint {
  std::vector<LabelRecord> labels;
  SpareString contentFirst;   // always empty
  std::u16string contentSrc;  // src of the last content child, as written
  std::vector<std::unique_ptr<NavigationPoint>> children;
  std::u16string id;
  std::u16string className;
  std::u16string playOrder;
  int32_t descendantCount = 0;

  NavigationPoint() = default;
  NavigationPoint(NavigationPoint&&) = default;
  NavigationPoint& operator=(NavigationPoint&&) = default;
  // The tree may be nested as deeply as the NCX was: release it with a
  // worklist instead of letting each level destroy the next recursively.
  ~NavigationPoint() {
    std::vector<std::unique_ptr<NavigationPoint>> pending = std::move(children);
    while (!pending.empty()) {
      std::unique_ptr<NavigationPoint> point = std::move(pending.back());
      pending.pop_back();
      for (auto& child : point->children) pending.push_back(std::move(child));
      point->children.clear();
    }
  }
};

struct NcxRecord {
  std::unordered_map<std::u16string, StringTriple> metas;
  StringTriple docTitle;
  std::vector<StringTriple> docAuthors;
  std::vector<LabelRecord> navInfos;
  std::vector<LabelRecord> navMapLabels;
  std::vector<std::unique_ptr<NavigationPoint>> navPoints;
  int32_t navPointCount = 0;
};

struct PackageRecord {
  // The host's OPF bytes; never released by the library.
  const uint8_t* opfBytes = nullptr;
  uint32_t opfLength = 0;

  std::u16string xmlns;
  std::u16string version;
  std::u16string uniqueIdentifierId;

  Metadata metadata;

  // Keyed by id (exact). The map's nodes never move, so pointers to an
  // item's strings stay valid.
  std::unordered_map<std::u16string, ManifestItem> manifest;
  std::u16string toc;
  std::vector<SpineEntry> spine;
  std::vector<GuideReference> guide;

  std::u16string ncxItemId;
  std::u16string ncxItemHref;  // as written, not decoded

  NcxRecord ncx;

  // The item stored under exactly this id, or null.
  const ManifestItem* findManifestItem(const std::u16string& id) const {
    auto it = manifest.find(id);
    return it == manifest.end() ? nullptr : &it->second;
  }
};

}  // namespace epub::package
