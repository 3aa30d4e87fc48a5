// Parsing a document: the text handed over is parsed where it lies, and a
// borrowed one is first copied whole, which costs less than copying its
// strings one by one: into the tree's arena, or a large one into a text
// buffer of its own (base/text_buffer.h) that the tree keeps. Then the
// element asked for is picked from the tree.
#include "xml_document.h"

#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

#include "base/memory_policy.h"
#include "base/text_buffer.h"
#include "xml/xml_element.h"
#include "xml/xml_node.h"
#include "xml/xml_node_data.h"
#include "xml_parser.h"
#include "xml_scan.h"

namespace epub::xml {

size_t unitsBeforeNul(const char16_t* text) noexcept { return detail::textLength(text); }

namespace {

// A borrowed text of fewer units is copied into the tree's arena, a larger
// one into a text buffer of its own (memory_policy.h). A block that large in
// the arena would be one of its own too, which the C library maps afresh for
// many a parse once other trees are alive, and its pages would fault in one
// at a time.
constexpr size_t kArenaCopyUnits = memory::kArenaCopyMaxUnits;

// How a parse reads: the watch to tell, if any, and whether with the
// parser's shortcuts.
struct Reading {
  const XmlCloseWatch* watch;
  bool shortcuts;
};

// Parses `text` (a NUL at `length`, or earlier), which the tree owns, into
// the tree in `top`.
CXmlNode parseText(CXmlNode top, char16_t* text, size_t length, const char16_t* rootName,
                   int32_t* error, Reading reading) {
  detail::Parser parser(text, length, top.data(), reading.watch);
  parser.parse(reading.shortcuts);
  int32_t code = parser.error();

  XmlNodeData* document = top.data();
  if (document->childCount == 0) code = kXmlNoElement;
  // A document node holding nothing but one element gives way to it; the
  // element loses its parent when the document node is released here.
  if (document->childCount == 1 && document->textCount == 0 && document->clearCount == 0 &&
      document->attributeCount == 0) {
    top = top.childAt(0);
  }
  if (error) *error = code;
  if (code != kXmlOk && code != kXmlMismatchedEnd && code != kXmlNoElement) return CXmlNode();

  if (rootName == nullptr || rootName[0] == u'\0') return top;
  const std::u16string_view wanted(rootName);
  if (nameIs(top.name(), wanted)) return top;
  // One level down: after a top-level "<?xml ...?>" the root element sits
  // inside the declaration. Releasing `top` leaves the result parentless.
  return top.findChild(wanted);
}

CXmlNode parseWith(XmlText text, const char16_t* rootName, int32_t* error, Reading reading) {
  if (error) *error = kXmlOk;
  if (text.get() == nullptr) return CXmlNode();
  // The document node; its handle owns the tree's arena from here on.
  XmlArena* arena = XmlArena::create();
  CXmlNode top(newNode(*arena, nullptr, false));
  if (XmlText::Owned owned = text.takeOwned()) {
    char16_t* in = owned.get();
    arena->adopt(std::move(owned));
    return parseText(std::move(top), in, text.bound(), rootName, error, reading);
  }
  const size_t length = text.bounded() ? text.bound() : detail::textLength(text.get());
  if (length < kArenaCopyUnits) {
    char16_t* copy = arena->allocateArray<char16_t>(length + 1);
    std::memcpy(copy, text.get(), (length + 1) * sizeof(char16_t));
    return parseText(std::move(top), copy, length, rootName, error, reading);
  }
  base::TextBuffer copy = base::allocateText(length + 1, base::Fill::kLeftAsIs);
  std::memcpy(copy.get(), text.get(), (length + 1) * sizeof(char16_t));
  char16_t* in = copy.get();
  arena->adopt(XmlText::Owned(copy.release(), [](char16_t* t) { base::ReleaseText()(t); }));
  return parseText(std::move(top), in, length, rootName, error, reading);
}

}  // namespace

CXmlNode CXmlNode::parseDocument(XmlText text, const char16_t* rootName, int32_t* error) {
  return parseWith(std::move(text), rootName, error, Reading{nullptr, true});
}

CXmlNode parseDocumentWatching(XmlText text, const char16_t* rootName, const XmlCloseWatch& watch,
                               int32_t* error) {
  return parseWith(std::move(text), rootName, error, Reading{&watch, true});
}

CXmlNode parseDocumentTokenByToken(XmlText text, const char16_t* rootName, int32_t* error) {
  return parseWith(std::move(text), rootName, error, Reading{nullptr, false});
}

}  // namespace epub::xml