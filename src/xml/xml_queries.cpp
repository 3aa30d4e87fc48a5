// The questions package readers ask a handle. Every one answers "nothing"
// on the null handle, so calls can be chained without checks.
#include "xml/xml_node.h"
#include "xml/xml_node_data.h"

namespace epub::xml {

namespace {
CXmlNode handleTo(XmlNodeData* node) noexcept {
  retainNode(node);
  return CXmlNode(node);
}
}  // namespace

const char16_t* CXmlNode::name() const noexcept { return data_ ? data_->name : nullptr; }

int32_t CXmlNode::childCount() const noexcept { return data_ ? data_->childCount : 0; }

CXmlNode CXmlNode::childAt(int32_t position) const noexcept {
  if (!data_ || position < 0 || position >= data_->childCount) return CXmlNode();
  return handleTo(childrenOf(data_)[position]);
}

CXmlNode CXmlNode::findChild(std::u16string_view name, int32_t* cursor) const noexcept {
  if (!data_) return CXmlNode();
  // A negative cursor searches from the start.
  const int32_t from = (cursor && *cursor > 0) ? *cursor : 0;
  for (int32_t i = from; i < data_->childCount; ++i) {
    if (nameIs(childrenOf(data_)[i]->name, name)) {
      if (cursor) *cursor = i + 1;
      return handleTo(childrenOf(data_)[i]);
    }
  }
  return CXmlNode();
}

CXmlNode CXmlNode::nthChild(std::u16string_view name, int32_t k) const noexcept {
  if (!data_) return CXmlNode();
  if (k < 0) {
    for (int32_t i = data_->childCount - 1; i >= 0; --i) {
      if (nameIs(childrenOf(data_)[i]->name, name)) return handleTo(childrenOf(data_)[i]);
    }
    return CXmlNode();
  }
  // One scan does what k + 1 findChild calls sharing a cursor would.
  for (int32_t i = 0; i < data_->childCount; ++i) {
    if (nameIs(childrenOf(data_)[i]->name, name) && k-- == 0) return handleTo(childrenOf(data_)[i]);
  }
  return CXmlNode();
}

int32_t CXmlNode::countChildren(std::u16string_view name) const noexcept {
  if (!data_) return 0;
  int32_t count = 0;
  for (int32_t i = 0; i < data_->childCount; ++i) {
    if (nameIs(childrenOf(data_)[i]->name, name)) ++count;
  }
  return count;
}

const char16_t* CXmlNode::attribute(std::u16string_view name) const noexcept {
  if (!data_) return nullptr;
  // The first of duplicate attributes wins, whatever its letter case.
  for (int32_t i = 0; i < data_->attributeCount; ++i) {
    if (nameIs(attributesOf(data_)[i].name, name)) return attributesOf(data_)[i].value;
  }
  return nullptr;
}

void CXmlNode::attributes(const std::u16string_view* names, const char16_t** values,
                          int32_t count) const noexcept {
  if (count > 32) count = 32;
  for (int32_t k = 0; k < count; ++k) values[k] = nullptr;
  if (!data_ || count <= 0) return;
  const uint32_t all = count == 32 ? ~0u : (1u << count) - 1;
  uint32_t found = 0;  // bit k: names[k] has had its first match
  for (int32_t i = 0; i < data_->attributeCount && found != all; ++i) {
    const char16_t* name = attributesOf(data_)[i].name;
    // Most pairs differ in their first letter: compared before the rest.
    const char16_t first = foldLetter(name[0]);
    for (int32_t k = 0; k < count; ++k) {
      if ((found >> k & 1u) == 0 && (names[k].empty() || foldLetter(names[k][0]) == first) &&
          nameIs(name, names[k])) {
        values[k] = attributesOf(data_)[i].value;
        found |= 1u << k;
      }
    }
  }
}

const char16_t* CXmlNode::childNameAt(int32_t position) const noexcept {
  if (!data_ || position < 0 || position >= data_->childCount) return nullptr;
  return childrenOf(data_)[position]->name;
}

const char16_t* CXmlNode::firstText() const noexcept {
  return (data_ && data_->textCount > 0) ? textsOf(data_)[0] : nullptr;
}

}  // namespace epub::xml
