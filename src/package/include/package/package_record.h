// The Package record: everything read from the package document (OPF) and
// the NCX of one publication. Strings handed to the host point into this
// record, so nothing in it changes after the open step has filled it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/memory_policy.h"
#include "base/string_index.h"
#include "xml/xml_node.h"

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

// The NCX record's own storage below (its parsed tree aside, whose memory the
// XML reader manages) holds no block of 64 KiB or more: freeing such a block
// makes the C library give memory at the heap's top back to the system, and
// the next publication opened would fault its pages in again one by one,
// which costs more than reading it.

// Small arrays packed into blocks of 32 KiB: a navigation point's label
// list costs no allocation of its own.
class RecordPool {
 public:
  RecordPool() = default;
  RecordPool(RecordPool&&) noexcept = default;
  RecordPool& operator=(RecordPool&&) noexcept = default;

  // Room for `count` pointers, uninitialised.
  const char16_t** pointers(size_t count);

 private:
  // `alignment` is a power of two. While no block exists, left_ is 0 and
  // every request takes the slow way.
  void* allocate(size_t bytes, size_t alignment) {
    const size_t skip = (0 - reinterpret_cast<uintptr_t>(cursor_)) & (alignment - 1);
    if (skip + bytes > left_) return allocateInNewBlock(bytes);
    char* out = cursor_ + skip;
    cursor_ = out + bytes;
    left_ -= skip + bytes;
    return out;
  }
  void* allocateInNewBlock(size_t bytes);

  std::vector<std::unique_ptr<char[]>> blocks_;
  char* cursor_ = nullptr;
  size_t left_ = 0;
};

// A growable array kept in pages of kPageEntries entries, so that it grows
// without moving entries and without one large block.
template <class T, size_t kPageEntries>
class PagedArray {
 public:
  size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }
  T& operator[](size_t i) noexcept { return pages_[i / kPageEntries][i % kPageEntries]; }
  const T& operator[](size_t i) const noexcept {
    return pages_[i / kPageEntries][i % kPageEntries];
  }
  void push_back(const T& value) { (*this)[grow()] = value; }
  void push_back(T&& value) { (*this)[grow()] = std::move(value); }
  // Takes the last entry out; its place is reused by the next push_back.
  T popBack() {
    T value = std::move((*this)[size_ - 1]);
    --size_;
    return value;
  }

 private:
  // The index of a new last entry, on a new page when the last one is full.
  size_t grow() {
    if (size_ == pages_.size() * kPageEntries) {
      pages_.push_back(std::make_unique_for_overwrite<T[]>(kPageEntries));
    }
    return size_++;
  }

  std::vector<std::unique_ptr<T[]>> pages_;
  size_t size_ = 0;
};

// The manifest's items, found by id (exact). A later item with an id
// already present replaces that item where it stands, so there is one item
// per id. Items never move once added: pointers to them and to their strings
// stay valid while the manifest lives.
class Manifest {
  using Items = PagedArray<ManifestItem, memory::kManifestPageEntries>;
  // An item's id, as the index reads it.
  struct IdOf {
    const Items* items;
    std::u16string_view operator()(uint32_t at) const noexcept { return (*items)[at].id; }
  };

 public:
  size_t size() const noexcept { return items_.size(); }
  bool empty() const noexcept { return items_.empty(); }
  // Makes room for `count` ids without growing the index.
  void reserve(size_t count) { index_.reserve(count, IdOf{&items_}); }
  void put(ManifestItem item);
  // The item stored under exactly this id, or null.
  const ManifestItem* find(std::u16string_view id) const noexcept {
    const uint32_t at = index_.find(id, IdOf{&items_});
    return at == StringIndex::kNone ? nullptr : &items_[at];
  }

 private:
  Items items_;
  StringIndex index_;
};

// One navPoint element. Its strings are never null (a missing attribute is
// ""); they lie in the NCX record's tree, the array of label texts in its
// pool.
struct NavigationPoint {
  const char16_t* id;
  const char16_t* className;
  const char16_t* playOrder;
  const char16_t* contentSrc;     // src of the last content child, as written
  const char16_t* const* labels;  // one text per navLabel child, in document order
  int32_t labelCount;
  int32_t descendantCount;  // the points that follow it in `points` and lie below it
};

struct NcxRecord {
  std::unordered_map<std::u16string, StringTriple> metas;
  StringTriple docTitle;
  std::vector<StringTriple> docAuthors;
  std::vector<LabelRecord> navInfos;
  std::vector<LabelRecord> navMapLabels;
  // Every navigation point at all depths, in document order (pre-order): a
  // point's descendants follow it, its first child (if any) right after it,
  // each next sibling after the previous one's descendants. The points of
  // the navigation map's top level start at 0.
  PagedArray<NavigationPoint, memory::kNavigationPageEntries> points;
  RecordPool pool;
  // The parsed NCX, kept for the points' strings, which point into it:
  // nothing is copied out of the tree, and the tree goes with the record
  // rather than during the open. (A record read twice keeps both trees.)
  std::vector<xml::CXmlNode> trees;
  int32_t navPointCount = 0;

  // The point after `index` and all its descendants: its next sibling, or
  // the end of its parent's range.
  size_t after(size_t index) const noexcept {
    return index + 1 + size_t(points[index].descendantCount);
  }
  static std::span<const char16_t* const> labelsOf(const NavigationPoint& point) noexcept {
    return {point.labels, size_t(point.labelCount)};
  }
};

struct PackageRecord {
  // The host's OPF bytes; never released by the library.
  const uint8_t* opfBytes = nullptr;
  uint32_t opfLength = 0;

  std::u16string xmlns;
  std::u16string version;
  std::u16string uniqueIdentifierId;

  Metadata metadata;

  Manifest manifest;
  std::u16string toc;
  std::vector<SpineEntry> spine;
  // The manifest item of each spine entry that has one, in spine order: what
  // findManifestItem gives for each idref, looked up once, while the
  // manifest is fresh in the cache, by parsePackageDocument.
  std::vector<const ManifestItem*> spineItems;
  std::vector<GuideReference> guide;

  std::u16string ncxItemId;
  std::u16string ncxItemHref;  // as written, not decoded

  NcxRecord ncx;

  // The item stored under exactly this id, or null.
  const ManifestItem* findManifestItem(std::u16string_view id) const noexcept {
    return manifest.find(id);
  }
};

}  // namespace epub::package
