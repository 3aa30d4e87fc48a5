#include "budgets.h"

#include <algorithm>
#include <initializer_list>
#include <unordered_map>
#include <utility>
#include <vector>

namespace pendrel_mupdf {
namespace {

// Entities are short; a '&' followed by more is text.
constexpr size_t kLongestEntity = 32;

bool isSpaceByte(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool isNameByte(char c) {
  return !isSpaceByte(c) && c != '>' && c != '/' && c != '<' && c != '=' && c != '"' && c != '\'';
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

bool isAnyOf(std::string_view name, std::initializer_list<std::string_view> names) {
  for (std::string_view n : names)
    if (equalsNoCase(name, n)) return true;
  return false;
}

// HTML's void elements, written without an end tag in markup that is not
// well-formed: they open no level.
bool isVoid(std::string_view name) {
  return isAnyOf(name, {"br", "img", "hr", "meta", "link", "input", "col", "area", "base", "wbr",
                        "source", "param", "embed", "track"});
}

// Elements an open one of the same name ends in HTML (<p>a<p>b).
bool endsItsLike(std::string_view name) {
  return isAnyOf(name, {"p", "li", "dt", "dd", "tr", "td", "th", "option"});
}

// Elements inside which a word goes on: the tag between two runs of
// letters breaks no word. Every other tag ends the word before it.
bool isInline(std::string_view name) {
  return isAnyOf(name, {"a",    "b",    "i",   "em",  "strong", "span", "small", "sub",  "sup",
                        "code", "tt",   "u",   "s",   "q",      "abbr", "cite",  "kbd",  "var",
                        "mark", "font", "big", "bdi", "bdo",    "dfn",  "samp",  "time", "del",
                        "ins",  "ruby", "rt",  "rp",  "strike", "nobr"});
}

// The local name of a tag name (svg:use is use).
std::string_view localName(std::string_view name) {
  size_t colon = name.rfind(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// Text bytes where no break may go: a UTF-8 continuation byte.
bool isContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }
// The lead byte of a character MuPDF may break a line after without white
// space: CJK ideographs, kana, Hangul and full-width forms (U+3000 to
// U+DFFF, U+F000 to U+FFFF).
bool breaksLikeSpace(char c) {
  auto b = static_cast<unsigned char>(c);
  return (b >= 0xE3 && b <= 0xED) || b == 0xEF;
}

// The value of attribute `name` (any prefix) in a start tag's text.
std::string_view attribute(std::string_view tag, std::string_view name) {
  size_t i = 0;
  while (i < tag.size()) {
    while (i < tag.size() && !isNameByte(tag[i])) ++i;
    size_t start = i;
    while (i < tag.size() && isNameByte(tag[i])) ++i;
    std::string_view attr = tag.substr(start, i - start);
    while (i < tag.size() && isSpaceByte(tag[i])) ++i;
    if (i >= tag.size() || tag[i] != '=') continue;
    ++i;
    while (i < tag.size() && isSpaceByte(tag[i])) ++i;
    std::string_view value;
    if (i < tag.size() && (tag[i] == '"' || tag[i] == '\'')) {
      size_t close = tag.find(tag[i], i + 1);
      if (close == std::string_view::npos) return {};
      value = tag.substr(i + 1, close - i - 1);
      i = close + 1;
    } else {
      start = i;
      while (i < tag.size() && !isSpaceByte(tag[i]) && tag[i] != '>') ++i;
      value = tag.substr(start, i - start);
    }
    if (localName(attr) == name) return value;
  }
  return {};
}

// The elements of markup with their ids and <use> targets, for counting
// what an SVG image draws once expanded.
struct Element {
  int64_t parent;
  std::string_view id, use;  // use: the target's id, for a <use>
};

// Elements drawn with every <use> expanded, up to limit + 1 (a cycle
// counts as over the limit): each element is itself, its children and,
// for a <use>, its target. Walked with a stack of its own.
uint64_t expandedElements(const std::vector<Element>& elements, uint64_t limit) {
  const size_t n = elements.size();
  std::vector<int64_t> firstChild(n, -1), nextSibling(n, -1);
  for (size_t i = n; i-- > 0;)
    if (elements[i].parent >= 0) {
      nextSibling[i] = firstChild[static_cast<size_t>(elements[i].parent)];
      firstChild[static_cast<size_t>(elements[i].parent)] = static_cast<int64_t>(i);
    }
  std::unordered_map<std::string_view, size_t> byId;
  for (size_t i = 0; i < n; ++i)
    if (!elements[i].id.empty()) byId.emplace(elements[i].id, i);
  enum : uint8_t { kNew, kOpen, kDone };
  std::vector<uint8_t> state(n, kNew);
  std::vector<uint64_t> weight(n, 0);
  auto target = [&](size_t i) -> int64_t {
    std::string_view use = elements[i].use;
    if (use.empty() || use[0] != '#') return -1;
    auto found = byId.find(use.substr(1));
    return found == byId.end() ? -1 : static_cast<int64_t>(found->second);
  };
  uint64_t total = 0;
  std::vector<size_t> stack;
  for (size_t root = 0; root < n; ++root) {
    if (elements[root].parent >= 0) continue;
    stack.push_back(root);
    while (!stack.empty()) {
      size_t e = stack.back();
      if (state[e] == kNew) {
        state[e] = kOpen;
        for (int64_t c = firstChild[e]; c >= 0; c = nextSibling[static_cast<size_t>(c)])
          stack.push_back(static_cast<size_t>(c));
        if (int64_t t = target(e); t >= 0) {
          if (state[static_cast<size_t>(t)] == kOpen) return limit + 1;
          stack.push_back(static_cast<size_t>(t));
        }
        continue;
      }
      stack.pop_back();
      if (state[e] == kDone) continue;
      uint64_t w = 1;
      for (int64_t c = firstChild[e]; c >= 0; c = nextSibling[static_cast<size_t>(c)])
        w += weight[static_cast<size_t>(c)];
      if (int64_t t = target(e); t >= 0) {
        if (state[static_cast<size_t>(t)] != kDone) return limit + 1;
        w += weight[static_cast<size_t>(t)];
      }
      weight[e] = w > limit ? limit + 1 : w;
      state[e] = kDone;
    }
    total += weight[root];
    if (total > limit) return limit + 1;
  }
  return total;
}

// One pass over markup: nesting, word lengths and <use> elements measured
// and, when `out` is given, the markup written within the budgets.
class Scan {
 public:
  // Elements are listed only for markup that may hold a <use>.
  Scan(std::string_view markup, std::string* out, bool dropUses)
      : in_(markup),
        out_(out),
        dropUses_(dropUses),
        listElements_(markup.find("<use") != std::string_view::npos ||
                      markup.find(":use") != std::string_view::npos) {}

  void run() {
    size_t i = 0;
    while (i < in_.size()) {
      if (in_[i] == '<') {
        i = markup(i);
      } else {
        text(in_[i]);
        ++i;
      }
    }
  }

  size_t deepest = 0;
  bool longWord = false, hasUse = false;
  std::vector<Element> elements;

 private:
  struct Open {
    std::string_view name;
    bool dropped;
    int64_t element;
  };

  void emit(std::string_view s) {
    if (out_) out_->append(s);
  }

  // A text byte: a space goes in before it when the word has grown to the
  // budget, never inside a character or an entity.
  void text(char c) {
    const bool space = isSpaceByte(c) || breaksLikeSpace(c);
    const bool inEntity = entity_ > 0;
    if (inEntity && (c == ';' || space || ++entity_ > kLongestEntity)) entity_ = 0;
    if (space) {
      run_ = 0;
    } else {
      if (!inEntity && !isContinuation(c) && run_ >= kMaxWordBytes) {
        longWord = true;
        run_ = 0;
        emit(" ");
      }
      if (c == '&') entity_ = 1;
      ++run_;
    }
    if (out_) out_->push_back(c);
  }

  // A comment, declaration, processing instruction, CDATA section or tag
  // at `i`; returns the index after it. A '<' that starts none is text.
  size_t markup(size_t i) {
    std::string_view rest = in_.substr(i);
    auto skipTo = [&](std::string_view end) {
      size_t close = in_.find(end, i);
      size_t after = close == std::string_view::npos ? in_.size() : close + end.size();
      emit(in_.substr(i, after - i));
      return after;
    };
    if (rest.substr(0, 4) == "<!--") return skipTo("-->");
    if (rest.substr(0, 9) == "<![CDATA[") return skipTo("]]>");
    if (rest.size() > 1 && (rest[1] == '!' || rest[1] == '?')) return skipTo(">");
    const bool closing = rest.size() > 1 && rest[1] == '/';
    size_t nameStart = i + (closing ? 2 : 1), nameEnd = nameStart;
    while (nameEnd < in_.size() && isNameByte(in_[nameEnd])) ++nameEnd;
    if (nameEnd == nameStart) {
      text('<');
      return i + 1;
    }
    std::string_view name = in_.substr(nameStart, nameEnd - nameStart);
    if (!isInline(name)) run_ = 0;
    size_t end = tagEnd(nameEnd);
    std::string_view tag = in_.substr(i, end - i);
    if (closing) {
      endTag(name, tag);
      return end;
    }
    const bool selfClosing = tag.size() >= 2 && tag[tag.size() - 2] == '/';
    const bool use = localName(name) == "use";
    hasUse = hasUse || use;
    if (endsItsLike(name) && !open_.empty() && equalsNoCase(open_.back().name, name))
      open_.pop_back();
    int64_t element = -1;
    if (listElements_) {
      int64_t parent = open_.empty() ? -1 : open_.back().element;
      elements.push_back({parent, attribute(tag, "id"), use ? attribute(tag, "href") : ""});
      element = static_cast<int64_t>(elements.size() - 1);
    }
    const bool drop = use && dropUses_;
    if (selfClosing || isVoid(name)) {
      if (!drop) emit(tag);
      deepest = std::max(deepest, open_.size() + 1);
      return end;
    }
    const bool tooDeep = open_.size() >= kMaxNesting;
    open_.push_back({name, drop || tooDeep, element});
    deepest = std::max(deepest, open_.size());
    if (!drop && !tooDeep) emit(tag);
    if (isAnyOf(name, {"script", "style"})) return rawText(end, name);
    return end;
  }

  // The index after the '>' closing a tag, quoted attribute values stepped
  // over.
  size_t tagEnd(size_t i) const {
    char quote = 0;
    for (; i < in_.size(); ++i) {
      char c = in_[i];
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '>') {
        return i + 1;
      }
    }
    return in_.size();
  }

  // An end tag closes the open element of its name among the innermost few
  // (and those inside it); one closing none of them is kept as it is.
  void endTag(std::string_view name, std::string_view tag) {
    constexpr size_t kLookedAt = 16;
    for (size_t k = 0; k < open_.size() && k < kLookedAt; ++k) {
      const Open& o = open_[open_.size() - 1 - k];
      if (!equalsNoCase(o.name, name)) continue;
      const bool dropped = o.dropped;
      open_.resize(open_.size() - 1 - k);
      if (!dropped) emit(tag);
      return;
    }
    emit(tag);
  }

  // The text of a script or style element, copied up to its end tag.
  size_t rawText(size_t i, std::string_view name) {
    size_t j = i;
    while ((j = in_.find("</", j)) != std::string_view::npos) {
      if (equalsNoCase(in_.substr(j + 2, name.size()), name)) break;
      j += 2;
    }
    if (j == std::string_view::npos) j = in_.size();
    emit(in_.substr(i, j - i));
    return j;
  }

  std::string_view in_;
  std::string* out_;
  bool dropUses_, listElements_;
  std::vector<Open> open_;
  size_t run_ = 0, entity_ = 0;
};

}  // namespace

std::optional<Bounded> withinBudgets(std::string_view markup) {
  Scan measure(markup, nullptr, false);
  measure.run();
  const bool deep = measure.deepest > kMaxNesting;
  const bool uses =
      measure.hasUse && expandedElements(measure.elements, kMaxSvgElements) > kMaxSvgElements;
  if (!deep && !measure.longWord && !uses) return std::nullopt;
  Bounded bounded;
  bounded.markup.reserve(markup.size() + markup.size() / kMaxWordBytes + 16);
  Scan write(markup, &bounded.markup, uses);
  write.run();
  bounded.flattened = deep;
  bounded.wordsBroken = measure.longWord;
  bounded.usesDropped = uses;
  return bounded;
}

bool svgWithinBudgets(std::string_view svg) {
  if (svg.size() > kMaxSvgBytes) return false;
  Scan measure(svg, nullptr, false);
  measure.run();
  return measure.deepest <= kMaxNesting &&
         expandedElements(measure.elements, kMaxSvgElements) <= kMaxSvgElements;
}

uint64_t svgElements(std::string_view svg) {
  Scan measure(svg, nullptr, false);
  measure.run();
  return expandedElements(measure.elements, kMaxSvgElements);
}

}  // namespace pendrel_mupdf
