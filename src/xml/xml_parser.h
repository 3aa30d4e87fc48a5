// The parser's state for one parse: the token state machine (xml_parser.cpp)
// with its shortcuts for the usual shapes of markup (xml_fast_paths.h), and
// what stores the records it reads (xml_parse_records.cpp).
//
// Element nesting is followed without recursion: the open elements are the
// chain of parent pointers from the current record up to the document node,
// and the only state an enclosing element keeps while a child is open is
// "in content, right after that child's start tag" and its entries waiting
// on the parser's stacks. So a document nested a hundred thousand levels
// deep parses in constant call stack.
//
// The text is parsed in place: names, values and texts are pointers into it,
// entity-decoded where they stand and NUL-terminated by writing over the
// delimiter that ends them (a delimiter the parser has yet to read only once
// the parse has passed it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "xml/xml_element.h"
#include "xml/xml_node.h"
#include "xml/xml_node_data.h"
#include "xml_syntax.h"

namespace epub::xml::detail {

class Parser {
 public:
  // `text` is the tree's to change.
  Parser(char16_t* text, size_t length, XmlNodeData* document, const XmlCloseWatch* watch) noexcept
      : text_(text),
        length_(length),
        arena_(*document->arena),
        document_(document),
        watch_(watch) {}
  Parser(const Parser&) = delete;
  Parser& operator=(const Parser&) = delete;

  // Parses the whole text; every element is closed and every string
  // terminated afterwards, whatever the outcome. Without `shortcuts` every
  // token is read by the token reader, the usual shapes of markup included.
  void parse(bool shortcuts);
  int32_t error() const noexcept { return error_; }

 private:
  // The elements still open, innermost last. Their children, texts, clear
  // sections and order entries wait on the stacks below until the element
  // closes: the innermost element's are always the top ones, as many as its
  // counts.
  struct Frame {
    // Left uninitialized: pushFrame writes what is read before it is
    // written, and zeroing first takes a string store.
    Frame() noexcept {}  // NOLINT(modernize-use-equals-default)
    XmlNodeData* node;
    size_t nameLength;  // the name is terminated only once the parse has passed it
    // The block the start tag's attributes stand in (their rooms not yet
    // written), or null when it had none.
    XmlArrays* attributes;
    // Length and room (NUL included) of the element's last text, which a
    // comment merge extends; set when the element's first text is stored.
    size_t lastTextLength;
    size_t lastTextRoom;
    // The most clear sections and order entries the element held before a
    // comment merge took one of each away: their arrays' rooms stay grown.
    int32_t peakClears;
    int32_t peakOrder;
    uint32_t arenaTexts;  // the parse's count when the element opened
  };

  // The token state machine, from the document node's content to the end
  // of the parse; with `Shortcuts`, the usual shapes of markup are read by
  // the functions below.
  template <bool Shortcuts>
  void run();

  // Shortcuts: each reads one usual shape of markup directly, as the tokens
  // would read it (xml_fast_paths.h), or answers kOtherShape and leaves the
  // text to the tokens. Inline in the state machine's loop, as they were
  // written there: as calls they cost a sixth of a parse.
  enum class Shortcut { kRead, kOtherShape, kParseOver };
  // In content: moves to the next "<" or the end of the text, noting where
  // the pending text run starts and whether it holds a reference.
  __attribute__((always_inline)) void skipToMarkup();
  // "<name", and the tag's end when it follows the name directly.
  __attribute__((always_inline)) Shortcut readStartTag(XmlNodeData*& node, bool& inTag,
                                                       TagState& state);
  // "</name>".
  __attribute__((always_inline)) Shortcut readEndTag(XmlNodeData*& node);
  // In a start tag, expecting an attribute name: reads each whole
  // `name="value"` that follows (no whitespace around "=", the value closed
  // before any "<") in one step, up to the whitespace-skipped text of any
  // other shape. False when a value cannot be decoded.
  __attribute__((always_inline)) bool readQuotedAttributes(XmlNodeData* node);
  // The start tag's ">" or "/>".
  __attribute__((always_inline)) Shortcut readTagEnd(XmlNodeData*& node, bool& inTag);

  // Opens a frame for `node`, whose entries start at the stacks' tops.
  void pushFrame(XmlNodeData* node, size_t nameLength);
  // An end tag naming `nameStart` was read, up to its ">". False when the
  // parse is over.
  bool endTag(XmlNodeData*& node, size_t nameStart);
  Token nextToken() noexcept;
  Token readWord(size_t start) noexcept;
  // The n units at `start` entity-decoded where they stand, as a string of
  // the tree; null when a reference cannot be decoded. `plain`: they are
  // known to hold no "&".
  char16_t* decodedString(size_t start, size_t n, size_t* length, bool plain = false);
  // The n units at `start` as a string of the tree.
  __attribute__((always_inline)) char16_t* keep(size_t start, size_t n) {
    terminate(start + n);
    return text_ + start;
  }
  // Ends a string of the tree at `at`: now when the parse has passed it,
  // else once it has.
  void terminate(size_t at) {
    if (at < position_) {
      text_[at] = u'\0';
    } else {
      terminateLater(at);
    }
  }
  __attribute__((noinline)) void terminateLater(size_t at) { terminators_.push_back(at); }
  void writeTerminators(bool all) noexcept;
  bool appendDecoded(Frame& frame, size_t start, size_t n);
  // Stores the text run pending, if any, up to `end`; false when the parse
  // is over.
  bool flushText(XmlNodeData* node, size_t end) {
    return pendingText_ == kNone || storeText(node, end);
  }
  bool storeText(XmlNodeData* node, size_t end);
  bool readClearSection(XmlNodeData* node, const ClearTag& tag);
  size_t find(size_t from, const char16_t* pattern, size_t length) const noexcept;
  bool endTagMatches(size_t word, const Frame& element) const noexcept;
  // The element `node` was closed: moves `node` to the element whose
  // content goes on. False when the parse is over.
  bool closeElement(XmlNodeData*& node) {
    // Mostly no misnested end tag is pending: the parent's content goes on.
    if (node == document_ || pendingEnd_ != kNone) return closeEnclosing(node);
    node = node->parent;
    return true;
  }
  bool closeEnclosing(XmlNodeData*& node);
  void endOfText(XmlNodeData* node);
  // Inline, like closeWithAttributes: every element passes through them, and
  // as calls their register saves and the moves around them cost about 5% of
  // a parse.
  __attribute__((always_inline)) XmlNodeData* openChild(XmlNodeData* node, const Token& name,
                                                        bool isDeclaration) {
    if (!terminators_.empty()) writeTerminators(false);
    XmlNodeData* child = newNode(arena_, keep(name.start, name.length), isDeclaration);
    child->parent = node;  // the parent's entry holds the child's first reference
    children_.push_back(child);
    order_.push_back(orderEntry(kOrderChild, node->childCount));
    ++node->childCount;
    tagNode_ = child;
    tagNameLength_ = name.length;
    beginTagAttributes();
    return child;
  }
  // Keeps an attribute of the start tag, its value (if any) entity-decoded;
  // false when the value cannot be decoded.
  bool holdAttribute(XmlNodeData* node, size_t nameStart, size_t nameLength, bool hasValue,
                     size_t valueStart, size_t valueLength);
  // Appends an attribute to `node`, the element whose start tag is read.
  void appendAttribute(XmlNodeData* node, char16_t* name, char16_t* value) {
    if (reinterpret_cast<uintptr_t>(tagEnd_ + 1) > reinterpret_cast<uintptr_t>(tagLimit_)) {
      moveTagAttributes();
    }
    *tagEnd_++ = XmlAttribute{name, value};
    ++node->attributeCount;
  }
  // The attributes of the start tag read are written where its arrays'
  // block will stand, in the arena's free part right after its record:
  // nothing else is allocated while a start tag is read. These begin that.
  void beginTagAttributes() noexcept {
    tagBlock_ = reinterpret_cast<XmlArrays*>(arena_.freeFrom(alignof(XmlArrays)));
    tagEnd_ = reinterpret_cast<XmlAttribute*>(tagBlock_ + 1);
    tagLimit_ = arena_.freeEnd();
    tagTaken_ = false;
  }
  // The start tag's attributes fill the chunk: they move to a block of
  // their own with room to grow.
  __attribute__((noinline)) void moveTagAttributes();
  // The block the start tag's attributes stand in, taken from the arena
  // now; null when the tag has none.
  XmlArrays* takeTagAttributes(int32_t count) noexcept {
    if (count == 0) return nullptr;
    if (!tagTaken_) arena_.take(reinterpret_cast<char*>(tagEnd_));
    return tagBlock_;
  }
  // The start tag read ends with ">": its element gets a frame for its
  // content.
  void frameTag();
  // The start tag read ends its element: its attributes, the only entries
  // it can have, move into its arrays.
  void closeTag();
  // Gives `node` the block its attributes (its only entries) stand in.
  static void closeWithAttributes(XmlNodeData* node, XmlArrays* block) noexcept {
    node->arrays = block;
    if (block != nullptr) {
      block->rooms = XmlRooms{0, 0, 0, node->attributeCount, 0};
      block->unused = 0;
    }
  }
  // Ends the start tag at its ">" (or "/>" when `empty`); false when the
  // parse is over.
  bool endStartTag(XmlNodeData*& node, bool empty) {
    pendingText_ = position_;
    if (!empty) {
      frameTag();
      return true;
    }
    closeTag();
    return closeElement(node);
  }
  // Moves the innermost open element's entries into arrays of its own: of
  // exactly their number with `exact`, else of the room they grew to.
  void close(bool exact);
  // The record of `node`, named by its first `nameLength` units, is
  // complete: tells the watch, if it names it.
  void completed(XmlNodeData* node, size_t nameLength) {
    if (watch_ != nullptr && nameLength == watch_->name.size()) tellWatch(node);
  }
  __attribute__((noinline)) void tellWatch(XmlNodeData* node);
  // Gives back the records below `node`, whose watch has read it, unless
  // the current chunk does not hold them all or a text lies among them.
  void releaseContent(XmlNodeData* node) noexcept;

  char16_t* text_;
  // A NUL stands here, at the text's end or after it: scans that load
  // several units at once never read beyond it.
  size_t length_;
  XmlArena& arena_;
  XmlNodeData* document_;
  const XmlCloseWatch* watch_;
  size_t pendingText_ = 0;  // start of the text run not yet stored, or kNone
  size_t position_ = 0;     // next character to read
  int32_t error_ = kXmlOk;
  size_t pendingEnd_ = kNone;  // an end tag's name still looking for its element
  // Where content was last scanned for the next "<", and whether an "&"
  // came before it; kNone while no scan has looked.
  size_t textScan_ = kNone;
  bool textEntity_ = false;
  // The element whose start tag is read, if any, and its name's length.
  // Only a tag ending with ">" gives the element a frame.
  XmlNodeData* tagNode_ = nullptr;
  size_t tagNameLength_ = 0;
  // Where its attributes' block stands, where the next attribute goes and
  // where the room ends; whether the block is taken from the arena yet.
  XmlArrays* tagBlock_ = nullptr;
  XmlAttribute* tagEnd_ = nullptr;
  char* tagLimit_ = nullptr;
  bool tagTaken_ = false;
  // How many texts the parse has moved into the arena (texts joined over a
  // comment): an element below which one was moved keeps its records.
  uint32_t arenaTexts_ = 0;

  std::vector<size_t> terminators_;  // ahead of the parse when noted, in order
  std::vector<Frame> frames_;
  std::vector<XmlNodeData*> children_;
  std::vector<char16_t*> texts_;
  std::vector<XmlClear> clears_;
  std::vector<int32_t> order_;
};

}  // namespace epub::xml::detail
