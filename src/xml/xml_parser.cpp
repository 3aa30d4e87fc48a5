// The forgiving parser's token state machine: one forward pass over
// NUL-terminated UTF-16 text that builds the node tree. It tolerates missing
// and misnested end tags but gives up on an unknown entity, an unclosed
// comment or CDATA section, or a stray token inside a start tag. The usual
// shapes of markup are read by the shortcuts of xml_fast_paths.h, everything
// else token by token.
#include "xml_parser.h"

#include <cstdint>
#include <cstring>

#include "xml_fast_paths.h"
#include "xml_scan.h"
#include "xml_syntax.h"

namespace epub::xml::detail {

Token Parser::readWord(size_t start) noexcept {
  const char16_t* t = text_;
  size_t pos = start + 1;  // the first character was checked by the caller
  for (;; ++pos) {
    pos = wordEnd(t, pos);
    const char16_t c = t[pos];
    if (c == u'\0' || c == u'<' || c == u'>' || c == u'=' || (c == u'/' && t[pos + 1] == u'>')) {
      position_ = pos;
      break;
    }
    if (isSpace(c)) {
      position_ = pos + 1;  // the whitespace is consumed
      break;
    }
  }
  return {Tok::kWord, start, pos - start, nullptr};
}

Token Parser::nextToken() noexcept {
  const char16_t* t = text_;
  size_t pos = position_;
  while (isSpace(t[pos])) ++pos;
  const char16_t c = t[pos];
  auto fixed = [&](Tok kind, size_t length) {
    position_ = pos + length;
    return Token{kind, pos, length, nullptr};
  };
  switch (c) {
    case u'\0':
      return fixed(Tok::kEnd, 0);
    case u'"':
    case u'\'': {
      // A quote not closed before the next "<" is just part of a word.
      const size_t j = findEither(t, pos + 1, length_, c, u'<');
      if (t[j] == c) return fixed(Tok::kQuoted, j + 1 - pos);
      return readWord(pos);
    }
    case u'/':
      if (t[pos + 1] == u'>') return fixed(Tok::kEmptyClose, 2);
      return readWord(pos);
    case u'<': {
      if (const ClearTag* tag = clearTagAt(t + pos)) {
        Token token = fixed(Tok::kClearOpen, tag->openLength);
        token.clear = tag;
        return token;
      }
      const Tok kind = markupOpenedBy(t[pos + 1]);
      return fixed(kind, kind == Tok::kTagOpen ? 1 : 2);
    }
    case u'=':
      return fixed(Tok::kEquals, 1);
    case u'>':
      return fixed(Tok::kTagClose, 1);
    default:
      return readWord(pos);
  }
}

// An end tag's word names an element when it equals the element's name over
// the name's length and the text goes on with whitespace or markup there.
bool Parser::endTagMatches(size_t word, const Frame& element) const noexcept {
  const char16_t* name = element.node->name;
  if (name == nullptr) return false;
  const char16_t* w = text_ + word;
  const size_t n = element.nameLength;
  // Mostly the end tag repeats the name exactly: four units at a time while
  // it does, never reading past the text's end (the word may be shorter
  // than the name). A NUL in the text differs from every name character, so
  // the loop below stops in time.
  const size_t readable = length_ + 1 - word;
  size_t i = 0;
  for (; i + 4 <= n && i + 4 <= readable; i += 4) {
    uint64_t a;
    uint64_t b;
    std::memcpy(&a, w + i, sizeof a);
    std::memcpy(&b, name + i, sizeof b);
    if (a != b) break;
  }
  for (; i < n; ++i) {
    if (w[i] != name[i] && foldLetter(w[i]) != foldLetter(name[i])) return false;
  }
  const char16_t after = w[n];
  return isSpace(after) || after == u'/' || after == u'<' || after == u'>' || after == u'=';
}

size_t Parser::find(size_t from, const char16_t* pattern, size_t length) const noexcept {
  const char16_t first = pattern[0];
  for (size_t j = from;; ++j) {
    j = findEither(text_, j, length_, first, first);
    if (text_[j] == u'\0') return kNone;
    size_t k = 1;
    while (k < length && text_[j + k] == pattern[k]) ++k;
    if (k == length) return j;
  }
}

// Reads a clear section; the position is just past its open string.
bool Parser::readClearSection(XmlNodeData* node, const ClearTag& tag) {
  const size_t from = position_;
  const char16_t* close = tag.close;
  size_t closeLength = tag.closeLength;
  size_t end = kNone;
  if (&tag == &kDoctype) {
    // A "<" before the ">" means an internal subset, closed by "]>".
    size_t j = from;
    while (text_[j] != u'\0' && text_[j] != u'>' && text_[j] != u'<') ++j;
    if (text_[j] == u'>') {
      end = j;
    } else if (text_[j] == u'<') {
      close = kSubsetClose;
      closeLength = 2;
      end = find(from, close, closeLength);
    }
  } else {
    end = find(from, close, closeLength);
  }
  if (end == kNone) {
    error_ = kXmlUnclosedClear;
    return false;
  }
  if (end > from) {
    char16_t* value = keep(from, end - from);  // verbatim
    clears_.push_back(XmlClear{value, tag.open, close});
    order_.push_back(orderEntry(kOrderClear, node->clearCount));
    ++node->clearCount;
  }
  position_ = end + closeLength;
  return true;
}

// The element `node` is closed. Walks out to the element whose content goes
// on, closing the enclosing elements that a misnested end tag also closes.
// False when the parse is over.
bool Parser::closeEnclosing(XmlNodeData*& node) {
  for (;;) {
    if (node == document_) return false;
    XmlNodeData* parent = node->parent;
    if (pendingEnd_ == kNone) {
      node = parent;
      return true;
    }
    if (parent->name == nullptr) {
      error_ = kXmlStrayEndTag;
      return false;
    }
    if (endTagMatches(pendingEnd_, frames_.back())) pendingEnd_ = kNone;
    close(false);  // closed by a misnested end tag: the grown room stays
    node = parent;
  }
}

// The text ended inside `node`: keep what was read. Only an ordinary element
// left open counts as a (tolerated) error; an open top-level declaration is
// the normal case.
void Parser::endOfText(XmlNodeData* node) {
  if (tagNode_ != nullptr) frameTag();
  if (!node->isDeclaration && node->parent != nullptr) error_ = kXmlMismatchedEnd;
  flushText(node, position_);
}

bool Parser::endTag(XmlNodeData*& node, size_t nameStart) {
  pendingText_ = position_;
  if (!endTagMatches(nameStart, frames_.back())) {
    error_ = kXmlMismatchedEnd;
    pendingEnd_ = nameStart;
  }
  close(true);
  return closeElement(node);
}

template <bool Shortcuts>
void Parser::run() {
  XmlNodeData* node = document_;  // the document node starts in content
  bool inTag = false;
  TagState state = TagState::kName;
  size_t nameStart = 0;  // pending attribute name, in the text
  size_t nameLength = 0;

  for (;;) {
    if constexpr (Shortcuts) {
      Shortcut taken = Shortcut::kOtherShape;
      if (!inTag) {
        skipToMarkup();
        taken = readStartTag(node, inTag, state);
        if (taken == Shortcut::kOtherShape) taken = readEndTag(node);
      } else if (state == TagState::kName) {
        if (!readQuotedAttributes(node)) {
          error_ = kXmlBadEntity;
          return;
        }
        taken = readTagEnd(node, inTag);
      }
      if (taken == Shortcut::kParseOver) return;
      if (taken == Shortcut::kRead) continue;
    }
    const Token token = nextToken();
    if (token.kind == Tok::kEnd) {
      endOfText(node);
      return;
    }

    if (!inTag) {
      switch (token.kind) {
        case Tok::kTagOpen:
        case Tok::kDeclOpen: {
          if (!flushText(node, token.start)) return;
          const Token name = nextToken();
          if (name.kind != Tok::kWord) {
            error_ = kXmlBadTagOpen;
            return;
          }
          node = openChild(node, name, token.kind == Tok::kDeclOpen);
          inTag = true;
          state = TagState::kName;
          break;
        }
        case Tok::kEndOpen: {
          if (!flushText(node, token.start)) return;
          const Token name = nextToken();
          if (name.kind != Tok::kWord || nextToken().kind != Tok::kTagClose) {
            error_ = kXmlBadEndTag;
            return;
          }
          if (!endTag(node, name.start)) return;
          break;
        }
        case Tok::kClearOpen:
          if (!flushText(node, token.start)) return;
          if (!readClearSection(node, *token.clear)) return;
          pendingText_ = position_;
          break;
        default:
          break;  // words, quotes, ">", "=" and "/>" stay in the text run
      }
      continue;
    }

    switch (state) {
      case TagState::kName:
        if (token.kind == Tok::kWord) {
          nameStart = token.start;
          nameLength = token.length;
          state = TagState::kEquals;
        } else if (token.kind == Tok::kTagClose || token.kind == Tok::kEmptyClose) {
          inTag = false;
          if (!endStartTag(node, token.kind == Tok::kEmptyClose)) return;
        } else {
          error_ = kXmlBadTagToken;
          return;
        }
        break;

      case TagState::kEquals:
        if (token.kind == Tok::kWord) {
          holdAttribute(node, nameStart, nameLength, false, 0, 0);
          nameStart = token.start;
          nameLength = token.length;
        } else if (token.kind == Tok::kEquals) {
          state = TagState::kValue;
        } else if (token.kind == Tok::kTagClose || token.kind == Tok::kEmptyClose) {
          pendingText_ = position_;
          bool empty = token.kind == Tok::kEmptyClose;
          // "<?name ...?>": the "?" ends the last word. It closes the
          // instruction only below the top level; a top-level declaration
          // stays open and holds the rest of the document.
          if (node->isDeclaration && text_[nameStart + nameLength - 1] == u'?') {
            --nameLength;
            if (node->parent->parent != nullptr) empty = true;
          }
          if (nameLength != 0) holdAttribute(node, nameStart, nameLength, false, 0, 0);
          inTag = false;
          if (!empty) {
            frameTag();
          } else {
            closeTag();
            if (!closeElement(node)) return;
          }
        } else {
          error_ = kXmlBadTagToken;
          return;
        }
        break;

      case TagState::kValue:
        if (token.kind == Tok::kWord || token.kind == Tok::kQuoted) {
          size_t start = token.start;
          size_t length = token.length;
          if (node->isDeclaration && text_[start + length - 1] == u'?') --length;
          if (token.kind == Tok::kQuoted) {
            ++start;
            length -= 2;
          }
          if (!holdAttribute(node, nameStart, nameLength, true, start, length)) {
            error_ = kXmlBadEntity;
            return;
          }
          state = TagState::kName;
        } else {
          error_ = kXmlBadTagToken;
          return;
        }
        break;
    }
  }
}

void Parser::parse(bool shortcuts) {
  pushFrame(document_, 0);
  if (shortcuts) {
    run<true>();
  } else {
    run<false>();
  }
  if (tagNode_ != nullptr) frameTag();  // the parse stopped inside a start tag
  writeTerminators(true);
  // Elements still open (the text ended, or the parse stopped) keep the room
  // their arrays grew to.
  while (!frames_.empty()) close(false);
}

}  // namespace epub::xml::detail
