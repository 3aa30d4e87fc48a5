// Node records: the arena, creation, the record builders, reference counting
// and release, and the handle's copy semantics.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

#include "base/address_sanitizer.h"
#include "base/memory_policy.h"
#include "xml/xml_node.h"
#include "xml/xml_node_data.h"

namespace epub::xml {

// ---- Arena -----------------------------------------------------------------

namespace {
// Chunks start small and double up to a ceiling; a request of more than a
// quarter of the next chunk (a long array or the parser's copy of a large
// text) gets a block of its own (see memory_policy.h).
constexpr size_t kFirstChunkBytes = memory::kArenaFirstChunkBytes;
constexpr size_t kLargestChunkBytes = memory::kArenaLargestChunkBytes;
constexpr size_t kChunkAlignment = alignof(std::max_align_t);

size_t headerBytes(size_t chunkHeader) noexcept {
  return (chunkHeader + kChunkAlignment - 1) / kChunkAlignment * kChunkAlignment;
}

// Released chunks of the largest size, kept for the next large tree. A
// block this size that went back to the C library would be returned to the
// system (or mapped fresh), and the next tree would fault its pages in again
// one by one, which costs more than building the records. The cache is
// bounded (memory_policy.h) and shared by all threads, each taking or keeping a chunk under a
// spin lock held for a few instructions; what it holds at exit stays
// reachable. Trivially destructible, so a tree released during the
// process's exit can still hand its chunks back.
class ChunkCache {
 public:
  void* take() noexcept {
    lock();
    void* chunk = count_ > 0 ? chunks_[--count_] : nullptr;
    busy_.clear(std::memory_order_release);
    return chunk;
  }
  // False when the cache is full: the caller releases the chunk. Under
  // AddressSanitizer nothing is kept, so that a read of a released tree's
  // memory is still caught.
  bool keep(void* chunk) noexcept {
#if defined(EPUB_ADDRESS_SANITIZED)
    (void)chunk;
    return false;
#else
    lock();
    const bool kept = count_ < kCachedChunks;
    if (kept) chunks_[count_++] = chunk;
    busy_.clear(std::memory_order_release);
    return kept;
#endif
  }

 private:
  static constexpr size_t kCachedChunks = memory::kArenaCachedChunks;
  void lock() noexcept {
    while (busy_.test_and_set(std::memory_order_acquire)) {
    }
  }
  std::atomic_flag busy_ = ATOMIC_FLAG_INIT;
  void* chunks_[kCachedChunks] = {};
  size_t count_ = 0;
};

constinit ChunkCache gChunkCache;

void* newChunk(size_t bytes) {
  if (bytes == kLargestChunkBytes) {
    if (void* chunk = gChunkCache.take()) return chunk;
  }
  return ::operator new(bytes);
}
}  // namespace

XmlArena* XmlArena::create() {
  const size_t header = headerBytes(sizeof(Chunk));
  const size_t self = headerBytes(sizeof(XmlArena));
  char* block = static_cast<char*>(::operator new(kFirstChunkBytes));
  auto* chunk = new (block) Chunk{nullptr, kFirstChunkBytes};
  auto* arena = new (block + header) XmlArena();
  arena->chunks_ = chunk;
  arena->base_ = block + header + self;
  arena->cursor_ = arena->base_;
  arena->limit_ = block + kFirstChunkBytes;
  arena->nextChunkBytes_ = kFirstChunkBytes * 2;
  return arena;
}

void XmlArena::destroy(XmlArena* arena) noexcept {
  arena->adopted_.reset();
  // The arena itself lives in its oldest chunk, the last one of the list.
  Chunk* chunk = arena->chunks_;
  while (chunk != nullptr) {
    Chunk* previous = chunk->previous;
    if (chunk->bytes != kLargestChunkBytes || !gChunkCache.keep(chunk)) {
      ::operator delete(static_cast<void*>(chunk));
    }
    chunk = previous;
  }
}

void* XmlArena::allocateSlow(size_t bytes, size_t alignment) {
  const size_t header = headerBytes(sizeof(Chunk));
  // A request that fits half the largest chunk (the parser's copy of a
  // mid-sized text) starts one and leaves the rest of it for the records.
  // Blocks of this size returned to the C library would, once freed, let it
  // trim the heap, and the next tree would fault its pages in afresh.
  if (bytes > nextChunkBytes_ / 4 && bytes + alignment <= kLargestChunkBytes / 2) {
    nextChunkBytes_ = kLargestChunkBytes;
  }
  const bool own = bytes > nextChunkBytes_ / 4;
  const size_t chunkBytes = own ? header + bytes + alignment : nextChunkBytes_;
  if (chunkBytes < bytes) throw std::bad_alloc();  // the size overflowed
  char* block = static_cast<char*>(newChunk(chunkBytes));
  chunks_ = new (block) Chunk{chunks_, chunkBytes};
  char* start = block + header;
  if (own) {
    // The current chunk stays the one that small requests are served from.
    const uintptr_t at =
        (reinterpret_cast<uintptr_t>(start) + alignment - 1) & ~uintptr_t(alignment - 1);
    return reinterpret_cast<void*>(at);
  }
  nextChunkBytes_ = std::min(nextChunkBytes_ * 2, kLargestChunkBytes);
  base_ = start;
  cursor_ = start;
  limit_ = block + chunkBytes;
  return allocate(bytes, alignment);
}

bool XmlArena::rewindTo(char* at) noexcept {
  const auto a = reinterpret_cast<uintptr_t>(at);
  if (a < reinterpret_cast<uintptr_t>(base_) || a > reinterpret_cast<uintptr_t>(cursor_)) {
    return false;
  }
#if defined(EPUB_ADDRESS_SANITIZED)
  // A record still read after it was given back reads this, not the
  // record, until the bytes are reused.
  std::memset(at, 0xA5, size_t(cursor_ - at));
#endif
  cursor_ = at;
  return true;
}

char16_t* XmlArena::copyString(const char16_t* s, size_t n) {
  char16_t* out = allocateArray<char16_t>(n + 1);
  if (n != 0) std::memcpy(out, s, n * sizeof(char16_t));
  out[n] = u'\0';
  return out;
}

void setRooms(XmlNodeData* node, const XmlRooms& rooms) {
  XmlArrays* old = node->arrays;
  XmlArrays* block = newArrays(*node->arena, rooms);
  if (old != nullptr && block != nullptr) {
    auto move = [](auto* to, const auto* from, int32_t count) {
      if (count > 0) std::memcpy(to, from, size_t(count) * sizeof(*from));
    };
    move(childrenIn(block), childrenIn(old), node->childCount);
    move(textsIn(block), textsIn(old), node->textCount);
    move(attributesIn(block), attributesIn(old), node->attributeCount);
    move(clearsIn(block), clearsIn(old), node->clearCount);
    move(orderIn(block), orderIn(old), orderCountOf(node));
  }
  node->arrays = block;
}

namespace {

// Makes room for one more child, text, clear section or attribute (and its
// order entry): an array grows by its step when the addition would fill it.
void growFor(XmlNodeData* node, int32_t XmlRooms::*room, int32_t count, bool ordered) {
  const XmlRooms rooms = roomsOf(node);
  XmlRooms wanted = rooms;
  wanted.*room = roomForOneMore(count, rooms.*room, kArrayStep);
  if (ordered) wanted.order = roomForOneMore(orderCountOf(node), rooms.order, kOrderStep);
  if (wanted.*room != rooms.*room || wanted.order != rooms.order) setRooms(node, wanted);
}

// Removes the order entry of the item `index` of `kind` and lowers by one the
// index of every later item of that kind. `total` is the entry count before
// removal. Scans from the end, so removing a recent item costs little.
void removeOrderEntry(XmlNodeData* node, int32_t total, XmlOrderKind kind, int32_t index) noexcept {
  const int32_t entry = orderEntry(kind, index);
  for (int32_t j = total - 1; j >= 0; --j) {
    int32_t* order = orderOf(node);
    const int32_t e = order[j];
    if (e == entry) {
      std::memmove(order + j, order + j + 1, size_t(total - 1 - j) * sizeof(int32_t));
      return;
    }
    if (orderKind(e) == kind && orderIndex(e) > index)
      order[j] = orderEntry(kind, orderIndex(e) - 1);
  }
}

// Takes a record whose last reference went out of its parent's children.
void detachFromParent(XmlNodeData* node) noexcept {
  XmlNodeData* parent = node->parent;
  node->parent = nullptr;
  for (int32_t i = 0; i < parent->childCount; ++i) {
    XmlNodeData** children = childrenOf(parent);
    if (children[i] != node) continue;
    const int32_t total = orderCountOf(parent);
    std::memmove(children + i, children + i + 1,
                 size_t(parent->childCount - 1 - i) * sizeof(XmlNodeData*));
    --parent->childCount;
    removeOrderEntry(parent, total, kOrderChild, i);
    return;
  }
}

}  // namespace

void retainNode(XmlNodeData* node) noexcept {
  ++node->referenceCount;
  ++node->arena->references;
}

void releaseNode(XmlNodeData* node) noexcept {
  XmlArena* arena = node->arena;
  --node->referenceCount;
  if (--arena->references == 0) {
    // No handle reaches any record of the tree: it goes in one step.
    XmlArena::destroy(arena);
    return;
  }
  if (node->referenceCount > 0) return;
  if (node->parent != nullptr) detachFromParent(node);
  // Some other handle still holds a record of this tree. Walk the records
  // below this one: the ones left without references are dropped, and a
  // child still held elsewhere becomes the root of a detached tree. Records
  // to visit are chained through their parent field, which nothing reads
  // any more once the count is 0, so a deep tree is walked in a loop with no
  // recursion and no allocation.
  XmlNodeData* pending = node;
  while (pending != nullptr) {
    XmlNodeData* current = pending;
    pending = current->parent;
    for (int32_t i = 0; i < current->childCount; ++i) {
      XmlNodeData* child = childrenOf(current)[i];
      child->parent = nullptr;
      if (--child->referenceCount == 0) {
        child->parent = pending;
        pending = child;
      }
    }
    current->childCount = 0;
    current->parent = nullptr;
  }
}

XmlNodeData* addChildNode(XmlNodeData* node, const char16_t* name, size_t nameLength,
                          bool isDeclaration) {
  XmlArena& arena = *node->arena;
  const int32_t total = orderCountOf(node);
  growFor(node, &XmlRooms::children, node->childCount, true);
  XmlNodeData* child = newNode(arena, arena.copyString(name, nameLength), isDeclaration);
  child->parent = node;  // the parent's entry holds the child's first reference
  orderOf(node)[total] = orderEntry(kOrderChild, node->childCount);
  childrenOf(node)[node->childCount++] = child;
  return child;
}

void addAttributeTo(XmlNodeData* node, std::u16string_view name, const char16_t* value,
                    size_t valueLength) {
  XmlArena& arena = *node->arena;
  growFor(node, &XmlRooms::attributes, node->attributeCount, false);
  const XmlAttribute attribute{arena.copyString(name.data(), name.size()),
                               value ? arena.copyString(value, valueLength) : nullptr};
  attributesOf(node)[node->attributeCount++] = attribute;
}

void addTextTo(XmlNodeData* node, std::u16string_view text) {
  XmlArena& arena = *node->arena;
  const int32_t total = orderCountOf(node);
  growFor(node, &XmlRooms::texts, node->textCount, true);
  char16_t* copy = arena.copyString(text.data(), text.size());
  orderOf(node)[total] = orderEntry(kOrderText, node->textCount);
  textsOf(node)[node->textCount++] = copy;
}

void addClearTo(XmlNodeData* node, std::u16string_view value, const char16_t* open,
                const char16_t* close) {
  XmlArena& arena = *node->arena;
  const int32_t total = orderCountOf(node);
  growFor(node, &XmlRooms::clears, node->clearCount, true);
  char16_t* copy = arena.copyString(value.data(), value.size());
  orderOf(node)[total] = orderEntry(kOrderClear, node->clearCount);
  clearsOf(node)[node->clearCount++] = XmlClear{copy, open, close};
}

void removeClearFrom(XmlNodeData* node, int32_t index) noexcept {
  if (index < 0 || index >= node->clearCount) return;
  const int32_t total = orderCountOf(node);
  std::memmove(clearsOf(node) + index, clearsOf(node) + index + 1,
               size_t(node->clearCount - 1 - index) * sizeof(XmlClear));
  --node->clearCount;
  removeOrderEntry(node, total, kOrderClear, index);
}

void shrinkNode(XmlNodeData* node) noexcept {
  setRooms(node, XmlRooms{node->childCount, node->textCount, node->clearCount, node->attributeCount,
                          orderCountOf(node)});
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
  return textsOf(data_)[index];
}

XmlClearView CXmlNode::clearAt(int32_t index) const noexcept {
  if (!data_ || index < 0 || index >= data_->clearCount) return {};
  const XmlClear& c = clearsOf(data_)[index];
  return {c.value, c.open, c.close};
}

XmlAttributeView CXmlNode::attributeAt(int32_t index) const noexcept {
  if (!data_ || index < 0 || index >= data_->attributeCount) return {};
  const XmlAttribute& a = attributesOf(data_)[index];
  return {a.name, a.value};
}

int32_t CXmlNode::orderAt(int32_t index) const noexcept {
  if (!data_ || index < 0 || index >= orderCountOf(data_)) return -1;
  return orderOf(data_)[index];
}

XmlRoomView CXmlNode::room() const noexcept {
  if (!data_) return {};
  const XmlRooms r = roomsOf(data_);
  return {r.children, r.texts, r.clears, r.attributes, r.order};
}

// ---- Builders for tests ----------------------------------------------------

CXmlNode CXmlNode::makeDocumentNode() {
  XmlArena* arena = XmlArena::create();
  // The first record always fits the arena's first chunk: nothing can throw
  // between the arena's creation and the handle that owns it.
  return CXmlNode(newNode(*arena, nullptr, false));
}

CXmlNode CXmlNode::addChild(std::u16string_view name, bool isDeclaration) const {
  if (!data_) return CXmlNode();
  XmlNodeData* child = addChildNode(data_, name.data(), name.size(), isDeclaration);
  retainNode(child);  // the returned handle's own reference
  return CXmlNode(child);
}

void CXmlNode::addAttribute(std::u16string_view name, const char16_t* value) const {
  if (!data_) return;
  const size_t valueLength = value ? std::char_traits<char16_t>::length(value) : 0;
  addAttributeTo(data_, name, value, valueLength);
}

void CXmlNode::addText(std::u16string_view text) const {
  if (!data_) return;
  addTextTo(data_, text);
}

void CXmlNode::addClear(std::u16string_view value, const char16_t* open,
                        const char16_t* close) const {
  if (!data_) return;
  addClearTo(data_, value, open, close);
}

void CXmlNode::removeClear(int32_t index) const {
  if (data_) removeClearFrom(data_, index);
}

void CXmlNode::shrink() const {
  if (data_) shrinkNode(data_);
}

}  // namespace epub::xml
