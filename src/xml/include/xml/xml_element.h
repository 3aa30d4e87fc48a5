// A non-owning view of one record of a tree, for readers that walk a large
// tree while a CXmlNode handle into it keeps the tree alive. A view copies
// no handle and counts no reference, and its queries are inline: a reader
// visiting every record pays neither a call nor a reference count per step.
// A view is valid only as long as some handle holds the tree and no record
// of it is taken out (by releasing its last handle).
#pragma once

#include <cstdint>
#include <string_view>

#include "xml/xml_node.h"
#include "xml/xml_node_data.h"

namespace epub::xml {

class XmlElement {
 public:
  XmlElement() noexcept = default;  // the null view: no name, no children
  explicit XmlElement(const CXmlNode& node) noexcept : data_(node.data()) {}
  explicit XmlElement(XmlNodeData* data) noexcept : data_(data) {}

  bool isNull() const noexcept { return data_ == nullptr; }
  // What CXmlNode::name, childCount, attributeCount and firstText answer.
  const char16_t* name() const noexcept { return data_ ? data_->name : nullptr; }
  // The element holding this one; the null view for the document node.
  XmlElement parent() const noexcept { return XmlElement(data_ ? data_->parent : nullptr); }
  int32_t childCount() const noexcept { return data_ ? data_->childCount : 0; }
  int32_t attributeCount() const noexcept { return data_ ? data_->attributeCount : 0; }
  const char16_t* firstText() const noexcept {
    return data_ && data_->textCount > 0 ? textsOf(data_)[0] : nullptr;
  }
  // Unchecked: `position` lies in [0, childCount()), `index` in
  // [0, attributeCount()).
  XmlElement childAt(int32_t position) const noexcept {
    return XmlElement(childrenOf(data_)[position]);
  }
  XmlAttributeView attributeAt(int32_t index) const noexcept {
    const XmlAttribute& a = attributesOf(data_)[index];
    return {a.name, a.value};
  }

  // A number a reader leaves on the record, to find what it read there
  // again later; 0 until one is set. The tree itself never reads it.
  uint32_t mark() const noexcept { return data_ ? data_->mark : 0; }
  void setMark(uint32_t mark) const noexcept {
    if (data_ != nullptr) data_->mark = mark;
  }

 private:
  XmlNodeData* data_ = nullptr;
};

// Told, during a parse, of each element named exactly `name` (letter case
// included) as soon as its record is complete: its end tag was read, or the
// element was closed otherwise. The records below it are complete too and
// every string in them is terminated. A reader of a large tree reads such
// elements here, while they are still in the processor's caches, rather than
// in a walk after the parse; a mark left on the element finds its reading
// again. The parse may still fail after the call, and the tree then goes.
//
// The watch answers whether the parse may give back the records below the
// element: if so, the element is left with its name, parent and mark only
// (no children, texts or attributes), and the records that stood below it
// are reused for what follows. Every string the watch read stays valid as
// long as the tree. A reader of a large tree that keeps only such strings
// thus holds a tree of the watched elements' records alone, and the parse
// writes into memory still in the caches.
struct XmlCloseWatch {
  std::u16string_view name;
  bool (*closed)(void* context, XmlElement element);
  void* context;
};

// CXmlNode::parseDocument, telling `watch` of the elements it names.
CXmlNode parseDocumentWatching(XmlText text, const char16_t* rootName, const XmlCloseWatch& watch,
                               int32_t* error = nullptr);

}  // namespace epub::xml
