// Node records of the XML tree and the functions that build and release
// them. Only the parser, the handle class and the tree's own tests see this.
//
// Every record of a tree, with its arrays and strings, lives in one arena
// that is released as a whole when the last handle into the tree goes (see
// XmlArena). The strings of a tree parsed from a text handed over lie in
// that text, which the arena holds. Exhausted memory throws std::bad_alloc; each builder either
// completes or leaves the record as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string_view>

#include "xml/xml_names.h"
#include "xml/xml_node.h"

namespace epub::xml {

// The memory of one tree: chunks obtained from operator new (the largest
// size possibly from a small cache of released ones) and handed out front to
// back, never released one by one, and the text a parse was handed. It counts the handles that
// refer to any of its records; when the last one goes, nothing can reach the
// tree any more and the chunks are released without visiting a record.
class XmlArena {
 public:
  // A new arena holding one reference (the handle of its first record).
  static XmlArena* create();
  static void destroy(XmlArena* arena) noexcept;

  void* allocate(size_t bytes, size_t alignment);
  template <class T>
  T* allocateArray(size_t count) {
    return static_cast<T*>(allocate(count * sizeof(T), alignof(T)));
  }
  // A NUL-terminated copy of n code units.
  char16_t* copyString(const char16_t* s, size_t n);
  // Keeps `text` until the arena goes.
  void adopt(XmlText::Owned text) noexcept { adopted_ = std::move(text); }

  // The free part of the current chunk, from its first byte aligned to
  // `alignment` (possibly past the end: no room) to its end. A caller may
  // write there and then take what it wrote, as long as nothing is allocated
  // in between.
  char* freeFrom(size_t alignment) const noexcept {
    return reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(cursor_) + alignment - 1) &
                                   ~(alignment - 1));
  }
  char* freeEnd() const noexcept { return limit_; }
  // Takes the free bytes up to `end` as allocated.
  void take(char* end) noexcept { cursor_ = end; }
  // Gives back everything allocated from `at` on, when `at` lies in the
  // current chunk at or before the cursor; false, giving back nothing, when
  // it does not (a chunk was started since). The next allocations reuse the
  // bytes while they are still in the processor's caches.
  bool rewindTo(char* at) noexcept;

  int64_t references = 1;

 private:
  struct Chunk {
    Chunk* previous;
    size_t bytes;
  };
  XmlArena() = default;
  void* allocateSlow(size_t bytes, size_t alignment);

  char* base_ = nullptr;  // where the current chunk's allocations start
  char* cursor_ = nullptr;
  char* limit_ = nullptr;
  Chunk* chunks_ = nullptr;
  size_t nextChunkBytes_ = 0;
  XmlText::Owned adopted_{nullptr, nullptr};
};

inline void* XmlArena::allocate(size_t bytes, size_t alignment) {
  const uintptr_t at = reinterpret_cast<uintptr_t>(freeFrom(alignment));
  const uintptr_t limit = reinterpret_cast<uintptr_t>(limit_);
  if (cursor_ != nullptr && at <= limit && bytes <= size_t(limit - at)) {
    cursor_ = reinterpret_cast<char*>(at + bytes);
    return reinterpret_cast<void*>(at);
  }
  return allocateSlow(bytes, alignment);
}

// An attribute's name and value, NUL-terminated, in the tree's arena.
struct XmlAttribute {
  char16_t* name;
  char16_t* value;  // null: written without a value
};

struct XmlClear {
  char16_t* value;
  const char16_t* open;   // points into the clear-tag table
  const char16_t* close;  // likewise ("]>" for a DOCTYPE with an internal subset)
};

// Room of a record's arrays, in entries.
struct XmlRooms {
  int32_t children;
  int32_t texts;
  int32_t clears;
  int32_t attributes;
  int32_t order;
};

// A record's arrays live in one block: this header with their rooms, then
// the children, texts, attributes, clear sections and order entries, each
// with the room the header gives it.
struct alignas(XmlClear) XmlArrays {  // aligned for the pointers after it
  XmlRooms rooms;
  int32_t unused;
};
static_assert(sizeof(XmlArrays) % alignof(XmlClear) == 0);

// A record is kept to 64 bytes, one cache line: a reader walking a large
// tree touches a record, its arrays' block and the strings, and smaller
// records miss the cache less often.
struct XmlNodeData {
  char16_t* name;  // null for the document node
  // Not owning. Null for the document node and for a record taken out of its
  // tree. While records are being released it links the records still to be
  // visited instead (see releaseNode).
  XmlNodeData* parent;
  XmlArrays* arrays;  // null while every room is 0
  XmlArena* arena;
  // Not in the order of XmlRooms: a compiler that read them as one vector
  // right after they were written one by one would stall on the store.
  int32_t childCount;
  int32_t attributeCount;
  int32_t referenceCount;
  int32_t textCount;
  int32_t clearCount;
  // A number a reader of the tree left on the record (see XmlElement::mark);
  // 0 until one does.
  uint32_t mark;
  bool isDeclaration;
};
static_assert(sizeof(XmlNodeData) <= 64);

// The arrays in a block, and those of a record. Each is valid for as many
// entries as its count; a record without a block (all rooms 0) has none.
inline XmlNodeData** childrenIn(XmlArrays* block) noexcept {
  return reinterpret_cast<XmlNodeData**>(block + 1);
}
inline char16_t** textsIn(XmlArrays* block) noexcept {
  return reinterpret_cast<char16_t**>(childrenIn(block) + block->rooms.children);
}
inline XmlAttribute* attributesIn(XmlArrays* block) noexcept {
  return reinterpret_cast<XmlAttribute*>(textsIn(block) + block->rooms.texts);
}
inline XmlClear* clearsIn(XmlArrays* block) noexcept {
  return reinterpret_cast<XmlClear*>(attributesIn(block) + block->rooms.attributes);
}
inline int32_t* orderIn(XmlArrays* block) noexcept {  // entries of orderEntry
  return reinterpret_cast<int32_t*>(clearsIn(block) + block->rooms.clears);
}
inline XmlNodeData** childrenOf(const XmlNodeData* node) noexcept {
  return childrenIn(node->arrays);
}
inline char16_t** textsOf(const XmlNodeData* node) noexcept { return textsIn(node->arrays); }
inline XmlAttribute* attributesOf(const XmlNodeData* node) noexcept {
  return attributesIn(node->arrays);
}
inline XmlClear* clearsOf(const XmlNodeData* node) noexcept { return clearsIn(node->arrays); }
inline int32_t* orderOf(const XmlNodeData* node) noexcept { return orderIn(node->arrays); }
inline XmlRooms roomsOf(const XmlNodeData* node) noexcept {
  return node->arrays ? node->arrays->rooms : XmlRooms{};
}

// The bytes of a block with these rooms.
inline size_t arraysBytes(const XmlRooms& r) noexcept {
  return sizeof(XmlArrays) + (size_t(r.children) + size_t(r.texts)) * sizeof(void*) +
         size_t(r.attributes) * sizeof(XmlAttribute) + size_t(r.clears) * sizeof(XmlClear) +
         size_t(r.order) * sizeof(int32_t);
}

inline bool noRoom(const XmlRooms& r) noexcept {
  return (r.children | r.texts | r.clears | r.attributes | r.order) == 0;
}

// A block with `rooms` in `arena`, or null when all are 0; its entries are
// left for the caller to write. Inline: the parser makes one for most
// elements it closes.
inline XmlArrays* newArrays(XmlArena& arena, const XmlRooms& rooms) {
  if (noRoom(rooms)) return nullptr;
  auto* block = static_cast<XmlArrays*>(arena.allocate(arraysBytes(rooms), alignof(XmlArrays)));
  block->rooms = rooms;
  block->unused = 0;
  return block;
}

// Gives the record a new block with `rooms` holding its entries, which must
// fit. The old block stays in the arena.
void setRooms(XmlNodeData* node, const XmlRooms& rooms);

inline int32_t orderCountOf(const XmlNodeData* node) noexcept {
  return node->childCount + node->textCount + node->clearCount;
}

// Arrays of a record start with room for kArrayStep entries and grow by that
// many whenever an addition would fill them; the order array, which holds an
// entry for every child, text and clear section, uses kOrderStep.
constexpr int32_t kArrayStep = 50;
constexpr int32_t kOrderStep = 150;

// The room an array of `count` entries and room `room` has after one more
// addition.
constexpr int32_t roomForOneMore(int32_t count, int32_t room, int32_t step) noexcept {
  return count + 1 >= room ? room + step : room;
}

// The room an array has grown to, addition by addition as above, once it has
// held at most `peak` entries (0: it never held one).
constexpr int32_t roomAfter(int32_t peak, int32_t step) noexcept {
  return peak == 0 ? 0 : (peak / step + 1) * step;
}
static_assert(roomAfter(1, kArrayStep) == roomForOneMore(0, 0, kArrayStep));
static_assert(roomAfter(49, kArrayStep) == kArrayStep);
static_assert(roomAfter(50, kArrayStep) == roomForOneMore(49, kArrayStep, kArrayStep));

// A new record with reference count 1 and no parent, in `arena`; the name
// (may be null) is used as it is, not copied. Inline: the parser makes one
// for every element.
inline XmlNodeData* newNode(XmlArena& arena, char16_t* name, bool isDeclaration) {
  void* at = arena.allocate(sizeof(XmlNodeData), alignof(XmlNodeData));
  return new (at) XmlNodeData{name, nullptr, nullptr, &arena, 0, 0, 1, 0, 0, 0, isDeclaration};
}

void retainNode(XmlNodeData* node) noexcept;
// Drops one reference. When it was the last handle into the tree the whole
// arena goes; otherwise a record left without references is taken out of its
// tree, and the records below it that no handle holds go with it (their
// memory stays in the arena until the arena goes).
void releaseNode(XmlNodeData* node) noexcept;

// Record builders, for trees built outside the parser. Each copies its
// strings into the record's arena and appends at the end of the document
// order.
XmlNodeData* addChildNode(XmlNodeData* node, const char16_t* name, size_t nameLength,
                          bool isDeclaration);
void addAttributeTo(XmlNodeData* node, std::u16string_view name, const char16_t* value,
                    size_t valueLength);
void addTextTo(XmlNodeData* node, std::u16string_view text);
void addClearTo(XmlNodeData* node, std::u16string_view value, const char16_t* open,
                const char16_t* close);
void removeClearFrom(XmlNodeData* node, int32_t index) noexcept;
// Reduces every array to its number of entries.
void shrinkNode(XmlNodeData* node) noexcept;

// Case-insensitive (A-Z) comparison of a NUL-terminated name with a whole
// name; a null name matches nothing. Inline: the queries call it for every
// child or attribute they pass.
inline bool nameIs(const char16_t* name, std::u16string_view wanted) noexcept {
  if (name == nullptr) return false;
  for (size_t i = 0; i < wanted.size(); ++i) {
    // A NUL in the name ends it: the wanted name is longer (or holds a NUL,
    // which no name can).
    if (name[i] == u'\0' || foldLetter(name[i]) != foldLetter(wanted[i])) return false;
  }
  return name[wanted.size()] == u'\0';
}

}  // namespace epub::xml
