// What the parser reads, stored: strings terminated and decoded where they
// stand, the entries of the open elements on the parser's stacks, the
// records' arrays made when an element closes, and the close watch.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "xml_entities.h"
#include "xml_parser.h"
#include "xml_scan.h"

namespace epub::xml::detail {

void Parser::writeTerminators(bool all) noexcept {
  size_t i = 0;
  for (; i < terminators_.size() && (all || terminators_[i] < position_); ++i) {
    text_[terminators_[i]] = u'\0';
  }
  terminators_.erase(terminators_.begin(), terminators_.begin() + ptrdiff_t(i));
}

char16_t* Parser::decodedString(size_t start, size_t n, size_t* length, bool plain) {
  char16_t* p = text_ + start;
  const size_t i = plain ? n : indexIn(p, n, u'&');
  if (i == n) {
    *length = n;
    return keep(start, n);
  }
  size_t rest = n - i;
  const size_t count = decodedLength(p + i, rest);
  if (count == kUndecodable) return nullptr;
  // A decoded text is never longer than its source: decoded where it
  // stands.
  if (!writeDecoded(p + i, rest, p + i)) return nullptr;
  *length = i + count;
  return keep(start, i + count);
}

// Appends the n code units at `start`, entity-decoded, to the last text of
// the frame's element, which moves to the arena for it. Its room doubles
// when it must grow, so a long run of merges stays linear. False when a
// reference cannot be decoded.
bool Parser::appendDecoded(Frame& frame, size_t start, size_t n) {
  const char16_t* p = text_ + start;
  const bool plain = indexIn(p, n, u'&') == n;
  const size_t count = plain ? n : decodedLength(p, n);
  if (count == kUndecodable) return false;
  char16_t*& last = texts_.back();
  const size_t need = frame.lastTextLength + count + 1;
  if (need > frame.lastTextRoom) {
    const size_t room = std::max(need, 2 * frame.lastTextRoom);
    char16_t* grown = arena_.allocateArray<char16_t>(room);
    ++arenaTexts_;
    std::memcpy(grown, last, frame.lastTextLength * sizeof(char16_t));
    last = grown;
    frame.lastTextRoom = room;
  }
  char16_t* out = last + frame.lastTextLength;
  if (plain) {
    std::memcpy(out, p, n * sizeof(char16_t));
  } else if (!writeDecoded(p, n, out)) {
    return false;
  }
  out[count] = u'\0';
  frame.lastTextLength += count;
  return true;
}

void Parser::pushFrame(XmlNodeData* node, size_t nameLength) {
  // Field by field: a frame built aside and copied in would be read back
  // with wide loads from narrower stores, which stalls.
  Frame& frame = frames_.emplace_back();
  frame.node = node;
  frame.nameLength = nameLength;
  frame.attributes = nullptr;
  frame.peakClears = 0;
  frame.peakOrder = 0;
  frame.arenaTexts = arenaTexts_;
}

void Parser::frameTag() {
  pushFrame(tagNode_, tagNameLength_);
  frames_.back().attributes = takeTagAttributes(tagNode_->attributeCount);
  tagNode_ = nullptr;
}

void Parser::closeTag() {
  closeWithAttributes(tagNode_, takeTagAttributes(tagNode_->attributeCount));
  completed(tagNode_, tagNameLength_);
  tagNode_ = nullptr;
}

void Parser::tellWatch(XmlNodeData* node) {
  const std::u16string_view name = watch_->name;
  if (node->name == nullptr ||
      std::memcmp(node->name, name.data(), name.size() * sizeof(char16_t)) != 0) {
    return;
  }
  // The parse has passed every string below the element: their ends are
  // written now rather than at the next start tag.
  if (!terminators_.empty()) writeTerminators(false);
  if (watch_->closed(watch_->context, XmlElement(node))) releaseContent(node);
}

void Parser::releaseContent(XmlNodeData* node) noexcept {
  // An element told of at its start tag's end has no frame and no text.
  const Frame& frame = frames_.back();
  if (frame.node == node && frame.arenaTexts != arenaTexts_) return;
  // Everything below the element was allocated after its record: its
  // attributes, the records of its descendants and its arrays.
  if (!arena_.rewindTo(reinterpret_cast<char*>(node + 1))) return;
  node->arrays = nullptr;
  node->childCount = 0;
  node->attributeCount = 0;
  node->textCount = 0;
  node->clearCount = 0;
}

bool Parser::holdAttribute(XmlNodeData* node, size_t nameStart, size_t nameLength, bool hasValue,
                           size_t valueStart, size_t valueLength) {
  char16_t* value = nullptr;
  if (hasValue) {
    size_t length = 0;
    value = decodedString(valueStart, valueLength, &length);
    if (value == nullptr) return false;
  }
  appendAttribute(node, keep(nameStart, nameLength), value);
  return true;
}

// Takes the entries from `from` on off a stack. Unlike resize, never grows
// it, so no call for growing is compiled in.
template <class T>
__attribute__((always_inline)) inline void dropFrom(std::vector<T>& stack, size_t from) {
  stack.erase(stack.begin() + ptrdiff_t(from), stack.end());
}

// Copies the top `count` entries of a stack, an element's entries of one
// kind, to its array, and takes them off the stack.
template <class T>
__attribute__((always_inline)) inline void moveEntries(std::vector<T>& stack, T* array,
                                                       int32_t count) {
  if (count <= 0) return;
  const size_t from = stack.size() - size_t(count);
  const T* entries = stack.data() + from;
  // An element mostly has a few entries of each kind: a loop beats a call.
  if (count <= 4) {
    for (int32_t i = 0; i < count; ++i) array[i] = entries[i];
  } else {
    std::memcpy(array, entries, size_t(count) * sizeof(T));
  }
  dropFrom(stack, from);
}

void Parser::moveTagAttributes() {
  const auto* first = reinterpret_cast<const XmlAttribute*>(tagBlock_ + 1);
  const size_t count = size_t(tagEnd_ - first);
  const size_t room = std::max<size_t>(2 * count, kArrayStep);
  auto* block = static_cast<XmlArrays*>(
      arena_.allocate(sizeof(XmlArrays) + room * sizeof(XmlAttribute), alignof(XmlArrays)));
  auto* moved = reinterpret_cast<XmlAttribute*>(block + 1);
  if (count != 0) std::memcpy(moved, first, count * sizeof(XmlAttribute));
  tagBlock_ = block;
  tagEnd_ = moved + count;
  tagLimit_ = reinterpret_cast<char*>(moved + room);
  tagTaken_ = true;
}

void Parser::close(bool exact) {
  const Frame& frame = frames_.back();
  XmlNodeData* node = frame.node;
  if (exact && (node->childCount | node->textCount | node->clearCount) == 0) {
    // Most elements hold attributes only: their block is ready.
    closeWithAttributes(node, frame.attributes);
    completed(node, frame.nameLength);
    frames_.pop_back();
    return;
  }
  const XmlRooms rooms =
      exact ? XmlRooms{node->childCount, node->textCount, node->clearCount, node->attributeCount,
                       orderCountOf(node)}
            : XmlRooms{roomAfter(node->childCount, kArrayStep),
                       roomAfter(node->textCount, kArrayStep),
                       roomAfter(std::max(node->clearCount, frame.peakClears), kArrayStep),
                       roomAfter(node->attributeCount, kArrayStep),
                       roomAfter(std::max(orderCountOf(node), frame.peakOrder), kOrderStep)};
  XmlArrays* block = newArrays(*node->arena, rooms);
  node->arrays = block;
  if (block != nullptr) {
    moveEntries(children_, childrenIn(block), node->childCount);
    moveEntries(texts_, textsIn(block), node->textCount);
    if (node->attributeCount > 0) {
      std::memcpy(attributesIn(block), reinterpret_cast<const XmlAttribute*>(frame.attributes + 1),
                  size_t(node->attributeCount) * sizeof(XmlAttribute));
    }
    moveEntries(clears_, clearsIn(block), node->clearCount);
    moveEntries(order_, orderIn(block), orderCountOf(node));
  }
  completed(node, frame.nameLength);
  frames_.pop_back();
}

// Stores the pending text run, from pendingText_ up to `end`, as a text
// item of `node`, the innermost open element.
bool Parser::storeText(XmlNodeData* node, size_t end) {
  size_t start = skipSpaces(text_, pendingText_, end, length_);
  if (start == end) {
    pendingText_ = kNone;
    return true;
  }
  while (isSpace(text_[end - 1])) --end;
  Frame& frame = frames_.back();

  // A comment between two texts disappears and the texts join without a
  // separator: "One <!-- x --> Two" reads as "OneTwo".
  const int32_t total = orderCountOf(node);
  if (total >= 2) {
    const int32_t last = order_[order_.size() - 1];
    const int32_t before = order_[order_.size() - 2];
    if (orderKind(last) == kOrderClear && clears_.back().open == kComment.open &&
        orderKind(before) == kOrderText) {
      if (!appendDecoded(frame, start, end - start)) {
        error_ = kXmlBadEntity;
        return false;
      }
      pendingText_ = kNone;
      // The rooms the element's arrays grew to stay.
      frame.peakClears = std::max(frame.peakClears, node->clearCount);
      frame.peakOrder = std::max(frame.peakOrder, total);
      clears_.pop_back();
      order_.pop_back();
      --node->clearCount;
      return true;
    }
  }

  size_t length = 0;
  char16_t* out = decodedString(start, end - start, &length, start >= textScan_ && !textEntity_);
  if (out == nullptr) {
    error_ = kXmlBadEntity;
    return false;
  }
  pendingText_ = kNone;
  texts_.push_back(out);
  order_.push_back(orderEntry(kOrderText, node->textCount));
  ++node->textCount;
  frame.lastTextLength = length;
  frame.lastTextRoom = 0;  // in the text: a merge moves it to the arena
  return true;
}

}  // namespace epub::xml::detail
