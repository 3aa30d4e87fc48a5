// Node records: creation, the record builders, reference counting and
// release, and the handle's copy semantics.
#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#define EPUB_XML_MREMAP 1
#endif

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

#include "xml/xml_node.h"
#include "xml/xml_node_data.h"

namespace epub::xml {

namespace {

// Arrays of a record start with room for kArrayStep entries and grow by that
// many whenever an addition would fill them; the order array, which holds an
// entry for every child, text and clear section, uses kOrderStep.
constexpr int32_t kArrayStep = 50;
constexpr int32_t kOrderStep = 150;

// Storage of the arrays. An array's size alone tells where it lives: below
// kMappedBytes on the heap, from there on in a memory mapping of its own.
//
// Arrays grow by a fixed step of entries, and growing by a fixed step copies
// an array of n entries n/step times if every growth moves it: quadratic for
// an element with hundreds of thousands of children. The arrays hold only
// pointers, ints and plain structs, so they can be moved as bytes: small ones
// grow with realloc, which mostly extends in place, and large ones with
// mremap, which moves page tables and never copies. Relying on realloc alone
// is not enough: glibc maps large blocks separately only below a threshold
// that grows as the process frees large blocks, and above it realloc copies.
// Where there is no mremap, every array lives on the heap.
#if defined(EPUB_XML_MREMAP)
constexpr size_t kMappedBytes = size_t(256) << 10;

size_t pageBytes(size_t bytes) noexcept {
  static const size_t page = size_t(sysconf(_SC_PAGESIZE));
  return (bytes + page - 1) / page * page;
}
#else
constexpr size_t kMappedBytes = SIZE_MAX;
#endif

void freeBlock(void* block, [[maybe_unused]] size_t bytes) noexcept {
  if (block == nullptr) return;
#if defined(EPUB_XML_MREMAP)
  if (bytes >= kMappedBytes) {
    munmap(block, pageBytes(bytes));
    return;
  }
#endif
  std::free(block);
}

// Resizes a block of oldBytes (null and 0 for none) to newBytes > 0, keeping
// the contents that fit. Null when memory is exhausted; the block is then
// left as it was.
void* resizeBlock(void* block, size_t oldBytes, size_t newBytes) noexcept {
  const bool wasMapped = oldBytes >= kMappedBytes;
  const bool mapped = newBytes >= kMappedBytes;
  if (!wasMapped && !mapped) return std::realloc(block, newBytes);
#if defined(EPUB_XML_MREMAP)
  if (wasMapped && mapped) {
    const size_t from = pageBytes(oldBytes);
    const size_t to = pageBytes(newBytes);
    if (from == to) return block;
    void* moved = mremap(block, from, to, MREMAP_MAYMOVE);
    return moved == MAP_FAILED ? nullptr : moved;
  }
  // Crossing the threshold copies once.
  void* fresh = nullptr;
  if (mapped) {
    fresh = mmap(nullptr, pageBytes(newBytes), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                 -1, 0);
    if (fresh == MAP_FAILED) return nullptr;
  } else {
    fresh = std::malloc(newBytes);
    if (fresh == nullptr) return nullptr;
  }
  if (oldBytes != 0) std::memcpy(fresh, block, std::min(oldBytes, newBytes));
  freeBlock(block, oldBytes);
  return fresh;
#else
  return nullptr;  // unreachable: nothing is mapped
#endif
}

template <class T>
void setRoom(T*& array, int32_t& room, int32_t newRoom) {
  static_assert(std::is_trivially_copyable_v<T>);
  void* block = resizeBlock(array, size_t(room) * sizeof(T), size_t(newRoom) * sizeof(T));
  if (block == nullptr) throw std::bad_alloc();
  array = static_cast<T*>(block);
  room = newRoom;
}

// Makes room for one more entry: grows by `step` when the addition would
// fill the array. The first room is one step.
template <class T>
void growRoom(T*& array, int32_t& room, int32_t count, int32_t step) {
  if (count + 1 >= room) setRoom(array, room, room + step);
}

template <class T>
void freeArray(T* array, int32_t room) noexcept {
  freeBlock(array, size_t(room) * sizeof(T));
}

template <class T>
void shrinkRoom(T*& array, int32_t& room, int32_t count) noexcept {
  if (room == count) return;
  if (count == 0) {
    freeArray(array, room);
    array = nullptr;
  } else if (void* exact =
                 resizeBlock(array, size_t(room) * sizeof(T), size_t(count) * sizeof(T))) {
    array = static_cast<T*>(exact);
  } else {
    return;  // keeping the larger block is harmless
  }
  room = count;
}

// Removes the order entry `index * 4 + kind` and lowers by one the index of
// every later entry of that kind. `total` is the entry count before removal.
// Scans from the end, so removing a recent item costs little.
void removeOrderEntry(XmlNodeData* node, int32_t total, int32_t kind, int32_t index) noexcept {
  const int32_t entry = index * 4 + kind;
  for (int32_t j = total - 1; j >= 0; --j) {
    const int32_t e = node->order[j];
    if (e == entry) {
      std::memmove(node->order + j, node->order + j + 1, size_t(total - 1 - j) * sizeof(int32_t));
      return;
    }
    if ((e & 3) == kind && e > entry) node->order[j] = e - 4;
  }
}

// Takes a record whose last reference went out of its parent's children.
void detachFromParent(XmlNodeData* node) noexcept {
  XmlNodeData* parent = node->parent;
  node->parent = nullptr;
  for (int32_t i = 0; i < parent->childCount; ++i) {
    if (parent->children[i] != node) continue;
    const int32_t total = orderCountOf(parent);
    std::memmove(parent->children + i, parent->children + i + 1,
                 size_t(parent->childCount - 1 - i) * sizeof(XmlNodeData*));
    --parent->childCount;
    removeOrderEntry(parent, total, kOrderChild, i);
    return;
  }
}

void freeContents(XmlNodeData* node) noexcept {
  for (int32_t i = 0; i < node->textCount; ++i) std::free(node->texts[i]);
  for (int32_t i = 0; i < node->clearCount; ++i) std::free(node->clears[i].value);
  for (int32_t i = 0; i < node->attributeCount; ++i) std::free(node->attributes[i].name);
  freeArray(node->children, node->childRoom);
  freeArray(node->texts, node->textRoom);
  freeArray(node->clears, node->clearRoom);
  freeArray(node->attributes, node->attributeRoom);
  freeArray(node->order, node->orderRoom);
  std::free(node);  // the name shares the record's block
}

}  // namespace

OwnedString copyString(const char16_t* s, size_t n) {
  auto* out = static_cast<char16_t*>(std::malloc((n + 1) * sizeof(char16_t)));
  if (out == nullptr) throw std::bad_alloc();
  if (n != 0) std::memcpy(out, s, n * sizeof(char16_t));
  out[n] = u'\0';
  return OwnedString(out);
}

XmlNodeData* newNode(const char16_t* name, size_t nameLength, bool isDeclaration) {
  // The name lives in the record's own block, right after the record.
  const size_t nameBytes = name ? (nameLength + 1) * sizeof(char16_t) : 0;
  void* block = std::malloc(sizeof(XmlNodeData) + nameBytes);
  if (block == nullptr) throw std::bad_alloc();
  auto* node = new (block) XmlNodeData{};
  if (name) {
    node->name = reinterpret_cast<char16_t*>(node + 1);
    if (nameLength != 0) std::memcpy(node->name, name, nameLength * sizeof(char16_t));
    node->name[nameLength] = u'\0';
  }
  node->isDeclaration = isDeclaration;
  node->referenceCount = 1;
  return node;
}

void retainNode(XmlNodeData* node) noexcept { ++node->referenceCount; }

void releaseNode(XmlNodeData* node) noexcept {
  if (--node->referenceCount > 0) return;
  if (node->parent != nullptr) detachFromParent(node);
  // Records to destroy are chained through their parent field, which nothing
  // reads any more once the count is 0. A deep tree is thus released in a
  // loop with no recursion and no allocation.
  XmlNodeData* pending = node;
  while (pending != nullptr) {
    XmlNodeData* current = pending;
    pending = current->parent;
    for (int32_t i = 0; i < current->childCount; ++i) {
      XmlNodeData* child = current->children[i];
      child->parent = nullptr;  // a child still held elsewhere becomes a detached root
      if (--child->referenceCount == 0) {
        child->parent = pending;
        pending = child;
      }
    }
    freeContents(current);
  }
}

XmlNodeData* addChildNode(XmlNodeData* node, const char16_t* name, size_t nameLength,
                          bool isDeclaration) {
  const int32_t total = orderCountOf(node);
  growRoom(node->children, node->childRoom, node->childCount, kArrayStep);
  growRoom(node->order, node->orderRoom, total, kOrderStep);
  XmlNodeData* child = newNode(name, nameLength, isDeclaration);
  child->parent = node;  // the parent's entry holds the child's first reference
  node->order[total] = node->childCount * 4 + kOrderChild;
  node->children[node->childCount++] = child;
  return child;
}

XmlAttribute newAttribute(const char16_t* name, size_t nameLength, bool hasValue,
                          size_t valueLength) {
  const size_t units = nameLength + 1 + (hasValue ? valueLength + 1 : 0);
  auto* block = static_cast<char16_t*>(std::malloc(units * sizeof(char16_t)));
  if (block == nullptr) throw std::bad_alloc();
  if (nameLength != 0) std::memcpy(block, name, nameLength * sizeof(char16_t));
  block[nameLength] = u'\0';
  char16_t* value = nullptr;
  if (hasValue) {
    value = block + nameLength + 1;
    value[valueLength] = u'\0';
  }
  return XmlAttribute{block, value};
}

void addAttributeTo(XmlNodeData* node, XmlAttribute attribute) {
  OwnedString owner(attribute.name);
  growRoom(node->attributes, node->attributeRoom, node->attributeCount, kArrayStep);
  node->attributes[node->attributeCount++] = attribute;
  owner.release();
}

void adoptAttributes(XmlNodeData* node, const XmlAttribute* items, int32_t count, bool exact) {
  if (count == 0) return;
  const int32_t total = node->attributeCount + count;
  // The room these additions one by one would have left, or the exact size.
  int32_t room = node->attributeRoom;
  if (exact) {
    room = total;
  } else {
    for (int32_t c = node->attributeCount; c < total; ++c) {
      if (c + 1 >= room) room += kArrayStep;
    }
  }
  if (room != node->attributeRoom) setRoom(node->attributes, node->attributeRoom, room);
  std::memcpy(node->attributes + node->attributeCount, items, size_t(count) * sizeof(XmlAttribute));
  node->attributeCount = total;
}

void addTextTo(XmlNodeData* node, OwnedString text, size_t length) {
  const int32_t total = orderCountOf(node);
  growRoom(node->texts, node->textRoom, node->textCount, kArrayStep);
  growRoom(node->order, node->orderRoom, total, kOrderStep);
  node->order[total] = node->textCount * 4 + kOrderText;
  node->texts[node->textCount++] = text.release();
  node->lastTextLength = length;
  node->lastTextRoom = length + 1;
}

void appendToLastText(XmlNodeData* node, const char16_t* text, size_t length) {
  char16_t*& last = node->texts[node->textCount - 1];
  const size_t need = node->lastTextLength + length + 1;
  if (need > node->lastTextRoom) {
    // Doubling keeps a long run of merges (text, comment, text, ...) linear.
    const size_t room = need > 2 * node->lastTextRoom ? need : 2 * node->lastTextRoom;
    void* grown = std::realloc(last, room * sizeof(char16_t));
    if (grown == nullptr) throw std::bad_alloc();
    last = static_cast<char16_t*>(grown);
    node->lastTextRoom = room;
  }
  std::memcpy(last + node->lastTextLength, text, length * sizeof(char16_t));
  node->lastTextLength += length;
  last[node->lastTextLength] = u'\0';
}

void addClearTo(XmlNodeData* node, OwnedString value, const char16_t* open, const char16_t* close) {
  const int32_t total = orderCountOf(node);
  growRoom(node->clears, node->clearRoom, node->clearCount, kArrayStep);
  growRoom(node->order, node->orderRoom, total, kOrderStep);
  node->order[total] = node->clearCount * 4 + kOrderClear;
  node->clears[node->clearCount++] = XmlClear{value.release(), open, close};
}

void removeClearFrom(XmlNodeData* node, int32_t index) noexcept {
  if (index < 0 || index >= node->clearCount) return;
  const int32_t total = orderCountOf(node);
  std::free(node->clears[index].value);
  std::memmove(node->clears + index, node->clears + index + 1,
               size_t(node->clearCount - 1 - index) * sizeof(XmlClear));
  --node->clearCount;
  removeOrderEntry(node, total, kOrderClear, index);
}

void shrinkNode(XmlNodeData* node) noexcept {
  shrinkRoom(node->children, node->childRoom, node->childCount);
  shrinkRoom(node->texts, node->textRoom, node->textCount);
  shrinkRoom(node->clears, node->clearRoom, node->clearCount);
  shrinkRoom(node->attributes, node->attributeRoom, node->attributeCount);
  shrinkRoom(node->order, node->orderRoom, orderCountOf(node));
  if (node->textCount > 0 && node->lastTextRoom > node->lastTextLength + 1) {
    char16_t*& last = node->texts[node->textCount - 1];
    if (void* exact = std::realloc(last, (node->lastTextLength + 1) * sizeof(char16_t))) {
      last = static_cast<char16_t*>(exact);
      node->lastTextRoom = node->lastTextLength + 1;
    }
  }
}

// ---- Handles ---------------------------------------------------------------

namespace {
// The shared null handle: constant-initialised, so it exists before any
// other static object could ask for it, and is never changed.
constinit const CXmlNode gNullNode{};
}  // namespace

const CXmlNode& CXmlNode::null() noexcept { return gNullNode; }

CXmlNode::CXmlNode(const CXmlNode& other) noexcept : data_(other.data_) {
  if (data_ != nullptr) retainNode(data_);
}

CXmlNode::CXmlNode(CXmlNode&& other) noexcept : data_(std::exchange(other.data_, nullptr)) {}

CXmlNode& CXmlNode::operator=(const CXmlNode& other) noexcept {
  if (other.data_ == data_) return *this;  // self-assignment changes no count
  if (other.data_ != nullptr) retainNode(other.data_);
  XmlNodeData* old = std::exchange(data_, other.data_);
  if (old != nullptr) releaseNode(old);
  return *this;
}

CXmlNode& CXmlNode::operator=(CXmlNode&& other) noexcept {
  if (&other == this) return *this;
  XmlNodeData* old = std::exchange(data_, std::exchange(other.data_, nullptr));
  if (old != nullptr) releaseNode(old);
  return *this;
}

CXmlNode::~CXmlNode() {
  if (data_ != nullptr) releaseNode(data_);
}

// ---- Inspection ------------------------------------------------------------

bool CXmlNode::isDeclaration() const noexcept { return data_ && data_->isDeclaration; }
bool CXmlNode::hasParent() const noexcept { return data_ && data_->parent; }
int32_t CXmlNode::textCount() const noexcept { return data_ ? data_->textCount : 0; }
int32_t CXmlNode::clearCount() const noexcept { return data_ ? data_->clearCount : 0; }
int32_t CXmlNode::attributeCount() const noexcept { return data_ ? data_->attributeCount : 0; }
int32_t CXmlNode::orderCount() const noexcept { return data_ ? orderCountOf(data_) : 0; }
int32_t CXmlNode::referenceCount() const noexcept { return data_ ? data_->referenceCount : 0; }

const char16_t* CXmlNode::textAt(int32_t index) const noexcept {
  if (!data_ || index < 0 || index >= data_->textCount) return nullptr;
  return data_->texts[index];
}

XmlClearView CXmlNode::clearAt(int32_t index) const noexcept {
  if (!data_ || index < 0 || index >= data_->clearCount) return {};
  const XmlClear& c = data_->clears[index];
  return {c.value, c.open, c.close};
}

XmlAttributeView CXmlNode::attributeAt(int32_t index) const noexcept {
  if (!data_ || index < 0 || index >= data_->attributeCount) return {};
  return {data_->attributes[index].name, data_->attributes[index].value};
}

int32_t CXmlNode::orderAt(int32_t index) const noexcept {
  if (!data_ || index < 0 || index >= orderCountOf(data_)) return -1;
  return data_->order[index];
}

XmlRoomView CXmlNode::room() const noexcept {
  if (!data_) return {};
  return {data_->childRoom, data_->textRoom, data_->clearRoom, data_->attributeRoom,
          data_->orderRoom};
}

// ---- Builders for tests ----------------------------------------------------

CXmlNode CXmlNode::makeDocumentNode() { return CXmlNode(newNode(nullptr, 0, false)); }

CXmlNode CXmlNode::addChild(std::u16string_view name, bool isDeclaration) const {
  if (!data_) return CXmlNode();
  XmlNodeData* child = addChildNode(data_, name.data(), name.size(), isDeclaration);
  retainNode(child);  // the returned handle's own reference
  return CXmlNode(child);
}

void CXmlNode::addAttribute(std::u16string_view name, const char16_t* value) const {
  if (!data_) return;
  const size_t valueLength = value ? std::char_traits<char16_t>::length(value) : 0;
  XmlAttribute attribute = newAttribute(name.data(), name.size(), value != nullptr, valueLength);
  if (valueLength != 0) std::memcpy(attribute.value, value, valueLength * sizeof(char16_t));
  addAttributeTo(data_, attribute);
}

void CXmlNode::addText(std::u16string_view text) const {
  if (!data_) return;
  addTextTo(data_, copyString(text.data(), text.size()), text.size());
}

void CXmlNode::addClear(std::u16string_view value, const char16_t* open,
                        const char16_t* close) const {
  if (!data_) return;
  addClearTo(data_, copyString(value.data(), value.size()), open, close);
}

void CXmlNode::removeClear(int32_t index) const {
  if (data_) removeClearFrom(data_, index);
}

void CXmlNode::shrink() const {
  if (data_) shrinkNode(data_);
}

}  // namespace epub::xml
