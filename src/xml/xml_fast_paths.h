// The parser's shortcuts: the usual shapes of markup ("<name", "<name>",
// "</name>", name="value" and the start tag's end) read directly, each as
// the tokens would read it, which saves a token and a state change per step.
// Each decides with the syntax's own classes (xml_syntax.h), and anything
// else is left to the tokens. Included by the state machine only, which
// runs them inline.
#pragma once

#include "xml_parser.h"
#include "xml_scan.h"
#include "xml_syntax.h"

namespace epub::xml::detail {

inline void Parser::skipToMarkup() {
  // Content mode ignores every token but those that begin with "<", and no
  // word or quoted string runs across a "<": go straight to the next. A run
  // that starts here starts with its first non-whitespace unit, and one of
  // only whitespace is no run.
  size_t at = position_;
  if (pendingText_ == at) {
    // Tags often follow each other directly: no call for no spaces.
    if (isSpace(text_[at])) at = skipSpaces(text_, at, length_, length_);
    pendingText_ = text_[at] == u'<' ? kNone : at;
  }
  // The scan for the next "<" notes whether a reference comes before it, so
  // a text run found to have none is not scanned again.
  textScan_ = at;
  textEntity_ = false;
  if (text_[at] != u'<') at = findValueEnd<u'<'>(text_, at, length_, textEntity_);
  position_ = at;
}

inline Parser::Shortcut Parser::readStartTag(XmlNodeData*& node, bool& inTag, TagState& state) {
  const size_t at = position_;
  if (text_[at] != u'<' || !opensNamedTag(text_[at + 1])) return Shortcut::kOtherShape;
  position_ = at + 1;  // passed: the text before can end on the "<"
  if (!flushText(node, at)) return Shortcut::kParseOver;
  // The name, as readWord would read it: it ends at whitespace (which is
  // consumed) or markup, at "/" only before ">".
  const size_t end = wordEnd(text_, at + 2);
  Token name{Tok::kWord, at + 1, end - at - 1, nullptr};
  if (__builtin_expect(text_[end] == u'/' && text_[end + 1] != u'>', 0)) {
    name = readWord(at + 1);
  } else {
    position_ = isSpace(text_[end]) ? end + 1 : end;
  }
  // "<name>" and "<name/>" end here: read past the end first, so the name's
  // terminator can be written over its ">" or "/" at once.
  if (tagEndsAt(text_ + position_)) {
    const bool empty = text_[position_] == u'/';
    position_ += empty ? 2 : 1;
    node = openChild(node, name, false);
    return endStartTag(node, empty) ? Shortcut::kRead : Shortcut::kParseOver;
  }
  node = openChild(node, name, false);
  inTag = true;
  state = TagState::kName;
  return Shortcut::kRead;
}

inline Parser::Shortcut Parser::readEndTag(XmlNodeData*& node) {
  const size_t at = position_;
  if (text_[at] != u'<' || !opensEndTag(text_[at + 1]) || !startsWord(text_[at + 2])) {
    return Shortcut::kOtherShape;
  }
  const size_t end = wordEnd(text_, at + 3);
  if (text_[end] != u'>') return Shortcut::kOtherShape;
  position_ = end + 1;
  if (!flushText(node, at)) return Shortcut::kParseOver;
  return endTag(node, at + 2) ? Shortcut::kRead : Shortcut::kParseOver;
}

inline bool Parser::readQuotedAttributes(XmlNodeData* node) {
  char16_t* const t = text_;
  size_t pos = position_;
  for (;;) {
    while (isSpace(t[pos])) ++pos;
    if (!startsWord(t[pos])) break;
    const size_t equals = wordEnd(t, pos + 1);
    if (t[equals] != u'=') break;
    const char16_t quote = t[equals + 1];
    bool entity = false;
    size_t close;
    if (quote == u'"') {
      close = findValueEnd<u'"'>(t, equals + 2, length_, entity);
    } else if (quote == u'\'') {
      close = findValueEnd<u'\''>(t, equals + 2, length_, entity);
    } else {
      break;
    }
    if (t[close] != quote) break;
    // A quoted value ends with its quote, never with a declaration's "?".
    if (__builtin_expect(entity, 0)) {
      position_ = close + 1;
      if (!holdAttribute(node, pos, equals - pos, true, equals + 2, close - equals - 2)) {
        return false;
      }
    } else {
      // The usual case, as holdAttribute would keep it, without looking for
      // references again. Both ends lie behind the parse now.
      t[equals] = u'\0';
      t[close] = u'\0';
      appendAttribute(node, t + pos, t + equals + 2);
    }
    pos = close + 1;
  }
  position_ = pos;  // as the next token would skip the whitespace
  return true;
}

inline Parser::Shortcut Parser::readTagEnd(XmlNodeData*& node, bool& inTag) {
  if (!tagEndsAt(text_ + position_)) return Shortcut::kOtherShape;
  const bool empty = text_[position_] == u'/';
  position_ += empty ? 2 : 1;
  inTag = false;
  return endStartTag(node, empty) ? Shortcut::kRead : Shortcut::kParseOver;
}

}  // namespace epub::xml::detail
