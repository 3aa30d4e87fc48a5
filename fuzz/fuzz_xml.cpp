// The XML reader: every input is parsed once with each root name the
// readers ask for (and none), and the resulting tree is walked with every
// query. Input bytes are widened one to one, or read as UTF-16LE after a
// FF FE byte-order mark so that any code unit (lone surrogates, U+FFFF)
// can occur.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "xml/xml_node.h"

using epub::xml::CXmlNode;

namespace {

const char16_t* const kRootNames[] = {nullptr, u"", u"container", u"package", u"ncx", u"html"};

std::u16string widen(const uint8_t* data, size_t size) {
  std::u16string text;
  if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
    for (size_t i = 2; i + 1 < size; i += 2)
      text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  } else {
    text.assign(data, data + size);
  }
  return text;
}

// Depth-first over the whole tree without recursion (a hostile document may
// nest deeper than the stack allows), asking each node everything.
void walk(const CXmlNode& top) {
  std::vector<CXmlNode> pending{top};
  while (!pending.empty()) {
    CXmlNode node = std::move(pending.back());
    pending.pop_back();
    epubfuzz::touch(node.name());
    epubfuzz::touch(node.firstText());
    for (int32_t i = 0; i < node.textCount(); ++i) epubfuzz::touch(node.textAt(i));
    for (int32_t i = 0; i < node.clearCount(); ++i) {
      auto clear = node.clearAt(i);
      epubfuzz::touch(clear.value);
      epubfuzz::touch(clear.open);
      epubfuzz::touch(clear.close);
    }
    for (int32_t i = 0; i < node.attributeCount(); ++i) {
      auto attribute = node.attributeAt(i);
      epubfuzz::touch(attribute.name);
      epubfuzz::touch(attribute.value);
      if (attribute.name) epubfuzz::touch(node.attribute(attribute.name));
    }
    for (int32_t i = 0; i < node.orderCount(); ++i) node.orderAt(i);
    for (int32_t i = -1; i <= node.childCount(); ++i) {
      CXmlNode child = node.childAt(i);
      if (child.isNull()) continue;
      if (const char16_t* name = child.name()) {
        int32_t cursor = 0;
        node.findChild(name, &cursor);
        node.nthChild(name, -1);
        node.countChildren(name);
      }
      pending.push_back(std::move(child));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string text = widen(data, size);
  for (const char16_t* root : kRootNames) {
    int32_t error = -1;
    CXmlNode tree = CXmlNode::parseDocument(text.c_str(), root, &error);
    walk(tree);
  }
  return 0;
}
