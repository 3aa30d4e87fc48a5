// A non-owning view of one record of a tree, for readers that walk a large
// tree while a CXmlNode handle into it keeps the tree alive. A view copies
// no handle and counts no reference, and its queries are inline: a reader
// visiting every record pays neither a call nor a reference count per step.
// A view is valid only as long as some handle holds the tree and no record
// of it is taken out (by releasing its last handle).
#pragma once

#include <cstdint>

#include "xml/xml_node.h"
#include "xml/xml_node_data.h"

namespace epub::xml {

class XmlElement {
 public:
  XmlElement() noexcept = default;  // the null view: no name, no children
  explicit XmlElement(const CXmlNode& node) noexcept : data_(node.data()) {}

  bool isNull() const noexcept { return data_ == nullptr; }
  // What CXmlNode::name, childCount, attributeCount and firstText answer.
  const char16_t* name() const noexcept { return data_ ? data_->name : nullptr; }
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

  // Hints for a reader that visits elements in an order it knows ahead: the
  // processor is asked to fetch the record's arrays block, or the records of
  // its children, before they are read. They change no answer.
  // prefetchChildren reads the arrays block itself, so it pays when
  // prefetchArrays was asked for the same element some work earlier.
  void prefetchArrays() const noexcept {
    if (data_ != nullptr) __builtin_prefetch(data_->arrays);
  }
  void prefetchChildren() const noexcept {
    if (data_ == nullptr || data_->arrays == nullptr) return;
    XmlNodeData* const* children = childrenOf(data_);
    for (int32_t i = 0; i < data_->childCount; ++i) __builtin_prefetch(children[i]);
  }

 private:
  explicit XmlElement(const XmlNodeData* data) noexcept : data_(data) {}
  const XmlNodeData* data_ = nullptr;
};

}  // namespace epub::xml
