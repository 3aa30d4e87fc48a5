// Node records of the XML tree and the functions that build and release
// them. Only the parser, the handle class and the tree's own tests see this.
//
// Arrays are moved as bytes when they grow (see setRoom in xml_tree.cpp),
// and strings are malloc'ed so that the comment merge can extend a text. Exhausted memory throws
// std::bad_alloc; each builder either completes or leaves the record as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace epub::xml {

struct FreeDeleter {
  void operator()(void* p) const noexcept { std::free(p); }
};
// A malloc'ed, NUL-terminated wide string on its way into a record.
using OwnedString = std::unique_ptr<char16_t, FreeDeleter>;

// An attribute's name and value share one malloc'ed block: the name and its
// NUL, then the value and its NUL. Freeing the name frees both.
struct XmlAttribute {
  char16_t* name;
  char16_t* value;  // null: written without a value
};

struct XmlClear {
  char16_t* value;
  const char16_t* open;   // points into the clear-tag table
  const char16_t* close;  // likewise ("]>" for a DOCTYPE with an internal subset)
};

struct XmlNodeData {
  char16_t* name;  // null for the document node; stored in the record's block
  int32_t childCount;
  int32_t textCount;
  int32_t clearCount;
  int32_t attributeCount;
  bool isDeclaration;
  // Not owning. Null for the document node and for a record taken out of its
  // tree. While a record is being destroyed it links the records still to be
  // destroyed instead (see releaseNode).
  XmlNodeData* parent;
  XmlNodeData** children;  // each entry holds one reference
  char16_t** texts;
  XmlClear* clears;
  XmlAttribute* attributes;
  int32_t* order;  // index * 4 + kind, kind 0 child, 2 text, 3 clear
  int32_t referenceCount;

  // Allocated room of the arrays above, in entries; 0 while unallocated.
  int32_t childRoom;
  int32_t textRoom;
  int32_t clearRoom;
  int32_t attributeRoom;
  int32_t orderRoom;
  // Length and room of the last text item, which the comment merge extends.
  size_t lastTextLength;
  size_t lastTextRoom;
};

inline int32_t orderCountOf(const XmlNodeData* node) noexcept {
  return node->childCount + node->textCount + node->clearCount;
}

// Copies n code units into a new NUL-terminated string.
OwnedString copyString(const char16_t* s, size_t n);
// A new record with reference count 1 and no parent; name may be null.
XmlNodeData* newNode(const char16_t* name, size_t nameLength, bool isDeclaration);

void retainNode(XmlNodeData* node) noexcept;
// Drops one reference; the last one destroys the record and every record of
// its subtree that no handle holds, without recursion.
void releaseNode(XmlNodeData* node) noexcept;

// Record builders. Each appends at the end of the document order.
XmlNodeData* addChildNode(XmlNodeData* node, const char16_t* name, size_t nameLength,
                          bool isDeclaration);
// A new attribute block holding a copy of the name and, with hasValue, room
// for a value of valueLength code units (NUL-terminated, otherwise unset).
XmlAttribute newAttribute(const char16_t* name, size_t nameLength, bool hasValue,
                          size_t valueLength);
// Appends an attribute and takes over its block, also when it throws.
void addAttributeTo(XmlNodeData* node, XmlAttribute attribute);
// Appends `count` attributes and takes over their strings; with `exact`
// the attributes' room ends up exactly full, as after a shrink.
void adoptAttributes(XmlNodeData* node, const XmlAttribute* items, int32_t count, bool exact);
void addTextTo(XmlNodeData* node, OwnedString text, size_t length);
// Appends `text` to the last text item (the comment merge).
void appendToLastText(XmlNodeData* node, const char16_t* text, size_t length);
void addClearTo(XmlNodeData* node, OwnedString value, const char16_t* open, const char16_t* close);
void removeClearFrom(XmlNodeData* node, int32_t index) noexcept;
// Reduces every array to its number of entries.
void shrinkNode(XmlNodeData* node) noexcept;

// Case-insensitive (A-Z) comparison of a NUL-terminated name with a whole
// name; a null name matches nothing.
bool nameIs(const char16_t* name, std::u16string_view wanted) noexcept;

}  // namespace epub::xml
