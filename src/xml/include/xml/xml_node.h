// The library's own forgiving XML reader for UTF-16 text: a tree of
// reference-counted node records reached through CXmlNode handles, the parser
// that builds it and the case-insensitive queries the package readers use.
//
// A query on the null handle answers "nothing" (null, 0 or the null handle),
// so readers can chain queries without checking each step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace epub::xml {

struct XmlNodeData;

// Parse error codes. 0, 1 and 2 still return a tree; the others give the
// null handle.
enum XmlError : int32_t {
  kXmlOk = 0,
  kXmlMismatchedEnd = 1,  // end tag closes another element, or text ends inside one
  kXmlNoElement = 2,      // the document node holds no element
  kXmlBadTagOpen = 4,     // "<" or "<?" in content not followed by a word
  kXmlBadEndTag = 5,      // "</" not followed by a word and ">"
  kXmlStrayEndTag = 6,    // an end tag reached the document node
  kXmlUnclosedClear = 7,  // comment, CDATA, DOCTYPE or PRE without its close
  kXmlBadTagToken = 8,    // unexpected token inside a start tag
  kXmlBadEntity = 12,     // entity or character reference not decodable
};

// Kinds of the document-order entries. Attributes take no part in the order,
// so kind 1 never occurs.
enum XmlOrderKind : int32_t { kOrderChild = 0, kOrderText = 2, kOrderClear = 3 };

// A document-order entry packs an item's kind with its index among the items
// of that kind (its position among the children, texts or clear sections).
// These three are the only place that knows how.
constexpr int32_t orderEntry(XmlOrderKind kind, int32_t index) noexcept { return index * 4 + kind; }
constexpr XmlOrderKind orderKind(int32_t entry) noexcept { return XmlOrderKind(entry & 3); }
constexpr int32_t orderIndex(int32_t entry) noexcept { return entry >> 2; }

struct XmlAttributeView {
  const char16_t* name;
  const char16_t* value;  // null for an attribute written without a value
};

struct XmlClearView {
  const char16_t* value;
  const char16_t* open;   // the clear-tag table's open string, e.g. u"<!--"
  const char16_t* close;  // its close string ("]>" for a DOCTYPE with a subset)
};

// Allocated room of a record's arrays, in entries.
struct XmlRoomView {
  int32_t children;
  int32_t texts;
  int32_t clears;
  int32_t attributes;
  int32_t order;
};

// A NUL-terminated UTF-16 text to parse. A borrowed text need only live
// during the parse, which copies it into the tree (whole, or a large one
// string by string); a text handed over is parsed where it lies (and
// changed), its strings staying in it, and goes with the tree.
class XmlText {
 public:
  // A handed-over text with the function that releases it.
  using Owned = std::unique_ptr<char16_t[], void (*)(char16_t*)>;

  XmlText(const char16_t* borrowed) noexcept : borrowed_(borrowed) {}
  // `bound`: the index of a NUL that ends the buffer (an earlier NUL still
  // ends the text); saves the parse a scan for it.
  XmlText(const char16_t* borrowed, size_t bound) noexcept
      : borrowed_(borrowed), bound_(bound), bounded_(true) {}
  // Any stateless deleter; `bound` as above.
  template <class Deleter>
  XmlText(std::unique_ptr<char16_t[], Deleter> owned, size_t bound) noexcept
      : borrowed_(owned.get()),
        owned_(owned.release(), &release<Deleter>),
        bound_(bound),
        bounded_(true) {}

  const char16_t* get() const noexcept { return borrowed_; }
  // Whether the text came with its bound, and the bound.
  bool bounded() const noexcept { return bounded_; }
  size_t bound() const noexcept { return bound_; }
  // The handed-over text, or null for a borrowed one.
  Owned takeOwned() noexcept { return std::move(owned_); }

 private:
  template <class Deleter>
  static void release(char16_t* text) noexcept {
    Deleter()(text);
  }
  const char16_t* borrowed_;
  Owned owned_{nullptr, nullptr};
  size_t bound_ = 0;
  bool bounded_ = false;
};

class CXmlNode {
 public:
  CXmlNode() noexcept = default;  // the null handle
  CXmlNode(const CXmlNode& other) noexcept;
  CXmlNode(CXmlNode&& other) noexcept;
  CXmlNode& operator=(const CXmlNode& other) noexcept;
  CXmlNode& operator=(CXmlNode&& other) noexcept;
  ~CXmlNode();

  // The shared, process-wide null handle.
  static const CXmlNode& null() noexcept;

  // Parses NUL-terminated UTF-16 text. With a root name, returns the element
  // of that name (case-insensitive): the top node itself or one of its child
  // elements; without one (null or empty), the top node. Returns the null
  // handle for a null text, a fatal parse error or a missing root. `error`,
  // when given, receives the parse's error code.
  static CXmlNode parseDocument(XmlText text, const char16_t* rootName, int32_t* error = nullptr);

  // Queries. Names compare whole, case-insensitively for A-Z only.
  bool isNull() const noexcept { return data_ == nullptr; }
  const char16_t* name() const noexcept;  // null for the document node
  int32_t childCount() const noexcept;
  CXmlNode childAt(int32_t position) const noexcept;
  // Searches child elements from *cursor (or 0); on a match sets *cursor to
  // the match's position + 1.
  CXmlNode findChild(std::u16string_view name, int32_t* cursor = nullptr) const noexcept;
  // k >= 0: the k-th child with that name; k < 0: the last one.
  CXmlNode nthChild(std::u16string_view name, int32_t k) const noexcept;
  int32_t countChildren(std::u16string_view name) const noexcept;
  // First attribute with that name; null when absent or written without value.
  const char16_t* attribute(std::u16string_view name) const noexcept;
  // What attribute(names[k]) answers, into values[k], for up to 32 names in
  // one pass over the attributes.
  void attributes(const std::u16string_view* names, const char16_t** values,
                  int32_t count) const noexcept;
  // The name of the child element at `position` without making a handle:
  // childAt(position).name().
  const char16_t* childNameAt(int32_t position) const noexcept;
  const char16_t* firstText() const noexcept;

  // Inspection of the record, for tests and tools. Out-of-range indexes give
  // null views and -1 order entries.
  bool isDeclaration() const noexcept;
  bool hasParent() const noexcept;
  int32_t textCount() const noexcept;
  const char16_t* textAt(int32_t index) const noexcept;
  int32_t clearCount() const noexcept;
  XmlClearView clearAt(int32_t index) const noexcept;
  int32_t attributeCount() const noexcept;
  XmlAttributeView attributeAt(int32_t index) const noexcept;
  int32_t orderCount() const noexcept;
  int32_t orderAt(int32_t index) const noexcept;
  int32_t referenceCount() const noexcept;
  XmlRoomView room() const noexcept;

  // Record builders, used by tests of the tree (the parser calls the record
  // functions of xml_node_data.h directly). All copy their strings; on the
  // null handle they do nothing and addChild returns the null handle.
  static CXmlNode makeDocumentNode();
  CXmlNode addChild(std::u16string_view name, bool isDeclaration) const;
  void addAttribute(std::u16string_view name, const char16_t* value) const;  // value may be null
  void addText(std::u16string_view text) const;
  void addClear(std::u16string_view value, const char16_t* open, const char16_t* close) const;
  void removeClear(int32_t index) const;
  void shrink() const;

  XmlNodeData* data() const noexcept { return data_; }
  // Takes over one reference to `adopt` (no reference is added).
  explicit CXmlNode(XmlNodeData* adopt) noexcept : data_(adopt) {}

 private:
  XmlNodeData* data_ = nullptr;
};

// Whole-name comparison, case-insensitive for A-Z only.
bool namesEqual(std::u16string_view a, std::u16string_view b) noexcept;

// The length of a NUL-terminated text (a name, value or text of a tree),
// found eight units at a time where the processor allows.
size_t unitsBeforeNul(const char16_t* text) noexcept;

}  // namespace epub::xml
