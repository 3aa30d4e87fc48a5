// The forgiving parser: one forward pass over NUL-terminated UTF-16 text
// that builds the node tree. It tolerates missing and misnested end tags but
// gives up on an unknown entity, an unclosed comment or CDATA section, or a
// stray token inside a start tag.
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
// the parse has passed it); the tree keeps the text. A text handed over is
// parsed where it lies; a borrowed one is first copied whole, which costs
// less than copying its strings one by one: into the tree's arena, or a
// large one into a buffer of its own (see allocateText) that the tree keeps.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "address_sanitizer.h"
#include "xml/text_buffer.h"
#include "xml/xml_element.h"
#include "xml/xml_names.h"
#include "xml/xml_node.h"
#include "xml/xml_node_data.h"

namespace epub::xml {

namespace {

constexpr size_t kNone = static_cast<size_t>(-1);

// Whitespace is exactly these four, nothing from beyond ASCII.
constexpr uint64_t kSpaceBits = (1ull << ' ') | (1ull << '\t') | (1ull << '\r') | (1ull << '\n');
constexpr bool isSpace(char16_t c) noexcept { return c < 64 && ((kSpaceBits >> c) & 1) != 0; }

// The characters that may end a word: whitespace, "<", ">", "=", NUL and
// "/" (the last only before ">").
constexpr uint64_t kWordEndBits =
    kSpaceBits | (1ull << '<') | (1ull << '>') | (1ull << '=') | (1ull << '/') | 1ull;
constexpr bool mayEndWord(char16_t c) noexcept { return c < 64 && ((kWordEndBits >> c) & 1) != 0; }

// The first unit at or after i that may end a word. Names are mostly
// letters, which the first test passes.
inline size_t wordEnd(const char16_t* t, size_t i) noexcept {
  for (;; ++i) {
    const char16_t c = t[i];
    if (__builtin_expect(c >= 64, 1)) continue;
    if (((kWordEndBits >> c) & 1) != 0) return i;
  }
}

// A character that a word token starts with: no quote, no whitespace and
// no delimiter, and no "!" or "?" (which after "<" open other tokens).
constexpr bool startsPlainWord(char16_t c) noexcept {
  return !mayEndWord(c) && c != u'"' && c != u'\'' && c != u'!' && c != u'?';
}

// Scans eight code units at a time where the processor has SSE2. A scan
// never loads beyond the text's terminating NUL: the last few units before
// it are looked at one by one.
#if defined(__SSE2__)
inline __m128i load8(const char16_t* p) noexcept {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline __m128i equal16(__m128i units, char16_t c) noexcept {
  return _mm_cmpeq_epi16(units, _mm_set1_epi16(static_cast<short>(c)));
}
// The unit at which a compare mask (two bits per unit) first hits, found by
// branches rather than a bit scan. The next scan starts where this one ends:
// with a predicted branch the processor starts it at once, where a bit scan
// would make it wait for the loads and compares. Measured: a fifth of a
// large parse. The empty statements keep the compiler from turning the
// branches into conditional moves, which would wait the same way.
inline size_t firstHit(int mask) noexcept {
  unsigned m = unsigned(mask);
  size_t k = 0;
  if ((m & 0xFF) == 0) {
    m >>= 8;
    k += 4;
    asm volatile("" : "+r"(k), "+r"(m));
  }
  if ((m & 0xF) == 0) {
    m >>= 4;
    k += 2;
    asm volatile("" : "+r"(k), "+r"(m));
  }
  if ((m & 0x3) == 0) {
    k += 1;
    asm volatile("" : "+r"(k));
  }
  return k;
}
#endif

// The first `a`, `b` or NUL at or after `from`, in a text whose NUL is at
// `length`.
size_t findEither(const char16_t* t, size_t from, [[maybe_unused]] size_t length, char16_t a,
                  char16_t b) noexcept {
#if defined(__SSE2__)
  for (; from + 8 <= length + 1; from += 8) {
    const __m128i units = load8(t + from);
    const __m128i hits = _mm_or_si128(_mm_or_si128(equal16(units, a), equal16(units, b)),
                                      _mm_cmpeq_epi16(units, _mm_setzero_si128()));
    const int mask = _mm_movemask_epi8(hits);
    if (mask != 0) return from + firstHit(mask);
  }
#endif
  while (t[from] != a && t[from] != b && t[from] != u'\0') ++from;
  return from;
}

#if defined(__SSE2__)
// What comes after an "&" in a scan for the end of a value: only the end is
// looked for.
__attribute__((noinline)) size_t valueEndAfterEntity(const char16_t* t, size_t at, size_t length,
                                                     char16_t quote) noexcept {
  return findEither(t, at + 1, length, quote, u'<');
}
#endif

// The first `Quote`, "<" or NUL at or after `from`, as findEither; sets
// `entity` when an "&" comes before it. `Quote` is '"', "'" or "<" (for a
// text between tags), each compared with a constant.
template <char16_t Quote>
__attribute__((always_inline)) inline size_t findValueEnd(const char16_t* t, size_t from,
                                                          [[maybe_unused]] size_t length,
                                                          bool& entity) noexcept {
#if defined(__SSE2__)
  // '"' (0x22) and "'" (0x27) each differ from "&" (0x26) in one bit: with
  // that bit set in every unit, one compare finds both.
  constexpr short kBit = Quote == u'"' ? 4 : Quote == u'\'' ? 1 : 0;
  for (; from + 8 <= length + 1; from += 8) {
    const __m128i units = load8(t + from);
    __m128i hits = _mm_or_si128(equal16(units, u'<'), _mm_cmpeq_epi16(units, _mm_setzero_si128()));
    if constexpr (kBit != 0) {
      hits = _mm_or_si128(hits, equal16(_mm_or_si128(units, _mm_set1_epi16(kBit)), u'&' | kBit));
    } else {
      hits = _mm_or_si128(hits, equal16(units, u'&'));
    }
    const int mask = _mm_movemask_epi8(hits);
    if (mask == 0) continue;
    // Mostly the value's end; "&" is rare.
    const size_t at = from + firstHit(mask);
    if (__builtin_expect(t[at] != u'&', 1)) return at;
    entity = true;
    return valueEndAfterEntity(t, at, length, Quote);
  }
#endif
  for (;; ++from) {
    const char16_t c = t[from];
    if (c == Quote || c == u'<' || c == u'\0') return from;
    if (c == u'&') entity = true;
  }
}

// Index of the first unit among [from, end) of t that is not whitespace, or
// end. The text between two tags is mostly a line end and indentation. The
// loads may look past `end`, never past the text's `length` units.
__attribute__((always_inline)) inline size_t skipSpaces(const char16_t* t, size_t from, size_t end,
                                                        [[maybe_unused]] size_t length) noexcept {
#if defined(__SSE2__)
  for (; from < end && from + 8 <= length; from += 8) {
    const __m128i units = load8(t + from);
    // Tab (0x09) and CR (0x0D) differ in one bit: one compare finds both.
    const __m128i spaces = _mm_or_si128(_mm_or_si128(equal16(units, u' '), equal16(units, u'\n')),
                                        equal16(_mm_or_si128(units, _mm_set1_epi16(4)), u'\r'));
    const int mask = _mm_movemask_epi8(spaces) ^ 0xFFFF;
    if (mask != 0) return std::min(from + firstHit(mask), end);
  }
  if (from >= end) return end;
#endif
  while (from < end && isSpace(t[from])) ++from;
  return from;
}

// Index of the first `c` among the n units at p, or n.
size_t indexIn(const char16_t* p, size_t n, char16_t c) noexcept {
  size_t i = 0;
#if defined(__SSE2__)
  for (; i + 8 <= n; i += 8) {
    const int mask = _mm_movemask_epi8(equal16(load8(p + i), c));
    if (mask != 0) return i + firstHit(mask);
  }
#endif
  while (i < n && p[i] != c) ++i;
  return i;
}

// The length of a NUL-terminated text: eight units at a time from an
// aligned position, where a load never reaches into another page. Not under
// AddressSanitizer, which would see the reads past the NUL.
#if defined(__SSE2__) && !defined(EPUB_ADDRESS_SANITIZED)
size_t textLength(const char16_t* text) noexcept {
  const char16_t* p = text;
  if ((reinterpret_cast<uintptr_t>(p) & 1) != 0) return std::char_traits<char16_t>::length(text);
  for (; (reinterpret_cast<uintptr_t>(p) & 15) != 0; ++p) {
    if (*p == u'\0') return size_t(p - text);
  }
  for (;; p += 8) {
    const int mask = _mm_movemask_epi8(
        _mm_cmpeq_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128()));
    if (mask != 0) return size_t(p - text) + firstHit(mask);
  }
}
#else
size_t textLength(const char16_t* text) noexcept {
  return std::char_traits<char16_t>::length(text);
}
#endif

// Sections kept verbatim. Opens are matched case-sensitively in this order,
// so "<pre>" is an ordinary element. Records keep pointers to these strings.
struct ClearTag {
  const char16_t* open;
  size_t openLength;
  const char16_t* close;
  size_t closeLength;
};
constexpr ClearTag kClearTags[] = {
    {u"<![CDATA[", 9, u"]]>", 3},
    {u"<!DOCTYPE", 9, u">", 1},
    {u"<!--", 4, u"-->", 3},
    {u"<PRE>", 5, u"</PRE>", 6},
};
constexpr const ClearTag& kDoctype = kClearTags[1];
constexpr const ClearTag& kComment = kClearTags[2];
// Close of a DOCTYPE with an internal subset.
constexpr const char16_t* kSubsetClose = u"]>";

// Named entities, matched case-insensitively ("&AMP;" is "&"). Names are
// written in lower case so that only the text side needs folding.
struct Entity {
  const char16_t* text;
  size_t length;
  char16_t value;
};
constexpr Entity kEntities[] = {
    {u"&amp;", 5, u'&'},  {u"&lt;", 4, u'<'},    {u"&gt;", 4, u'>'},
    {u"&quot;", 6, u'"'}, {u"&apos;", 6, u'\''},
};

const Entity* matchEntity(const char16_t* p, size_t remaining) noexcept {
  for (const Entity& entity : kEntities) {
    if (remaining < entity.length) continue;
    size_t k = 0;
    while (k < entity.length && foldLetter(p[k]) == entity.text[k]) ++k;
    if (k == entity.length) return &entity;
  }
  return nullptr;
}

bool isNumericReference(const char16_t* p, size_t remaining) noexcept {
  return remaining >= 3 && p[1] == u'#';
}

// Index of the first `;` of a numeric reference at p, or kNone when the
// text or a NUL comes first.
size_t numericReferenceEnd(const char16_t* p, size_t remaining) noexcept {
  size_t j = 2;  // past "&#"
  if (j < remaining && (p[j] == u'x' || p[j] == u'X')) ++j;
  while (j < remaining && p[j] != u';' && p[j] != u'\0') ++j;
  return j < remaining && p[j] == u';' ? j : kNone;
}

int digitValue(char16_t c, bool hex) noexcept {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (hex && c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (hex && c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Entity decoding runs in two passes over the n code units at p. The first
// returns how many code units the decoded text has, or kNone when a reference
// cannot be decoded; it stops early at a NUL and then lowers n to match.
size_t decodedLength(const char16_t* p, size_t& n) noexcept {
  size_t count = 0;
  for (size_t i = 0; i < n; ++count) {
    if (p[i] == u'\0') {
      n = i;
      break;
    }
    if (p[i] != u'&') {
      ++i;
    } else if (isNumericReference(p + i, n - i)) {
      const size_t end = numericReferenceEnd(p + i, n - i);
      if (end == kNone) return kNone;
      i += end + 1;
    } else {
      const Entity* entity = matchEntity(p + i, n - i);
      if (entity == nullptr) return kNone;  // a bare "&" or "&nbsp;" fails the parse
      i += entity->length;
    }
  }
  return count;
}

// The second pass writes the decoded code units to out, which may be p
// itself: a reference is never shorter than what it stands for. False when a
// character reference holds a stray character. A character reference keeps
// only the low 16 bits of its number (no surrogate pairs), and "&#;" gives
// the code unit 0.
bool writeDecoded(const char16_t* p, size_t n, char16_t* out) noexcept {
  for (size_t i = 0; i < n;) {
    if (p[i] != u'&') {
      *out++ = p[i++];
    } else if (isNumericReference(p + i, n - i)) {
      size_t j = i + 2;
      const bool hex = p[j] == u'x' || p[j] == u'X';
      if (hex) ++j;
      uint32_t number = 0;  // wraps harmlessly: only the low 16 bits are kept
      for (; j < n && p[j] != u';'; ++j) {
        const int digit = digitValue(p[j], hex);
        if (digit < 0) return false;
        number = number * (hex ? 16u : 10u) + uint32_t(digit);
      }
      *out++ = char16_t(number & 0xFFFFu);
      i = j + 1;
    } else {
      const Entity* entity = matchEntity(p + i, n - i);
      *out++ = entity->value;
      i += entity->length;
    }
  }
  return true;
}

enum class Tok {
  kWord = 0,
  kQuoted = 1,
  kTagOpen = 2,     // "<"
  kEndOpen = 3,     // "</"
  kTagClose = 4,    // ">"
  kEquals = 5,      // "="
  kDeclOpen = 6,    // "<?"
  kEmptyClose = 7,  // "/>"
  kClearOpen = 8,   // an open string of the clear-tag table
  kEnd = 9,
};

struct Token {
  Tok kind;
  size_t start;  // index in the text
  size_t length;
  const ClearTag* clear;  // for kClearOpen
};

// What a start tag expects next: an attribute name or the end of the tag
// (A0), "=" or more after a name (A1), a value after "=" (A2).
enum class TagState { kA0, kA1, kA2 };

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
  // terminated afterwards, whatever the outcome.
  void parse();
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

  void run();
  // Opens a frame for `node`, whose entries start at the stacks' tops.
  void pushFrame(XmlNodeData* node, size_t nameLength);
  // In a start tag, expecting an attribute name: reads each whole
  // `name="value"` that follows (no whitespace around "=", the value closed
  // before any "<") in one step, as the three tokens would have been read,
  // up to the whitespace-skipped text of any other shape. False when a value
  // cannot be decoded.
  bool readQuotedAttributes(XmlNodeData* node);
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
  __attribute__((always_inline)) char16_t* keep(size_t start, size_t n);
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
                                                        bool isDeclaration);
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
  bool endStartTag(XmlNodeData*& node, bool empty);
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
  // came before it.
  size_t textScan_ = 0;
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

void Parser::writeTerminators(bool all) noexcept {
  size_t i = 0;
  for (; i < terminators_.size() && (all || terminators_[i] < position_); ++i) {
    text_[terminators_[i]] = u'\0';
  }
  terminators_.erase(terminators_.begin(), terminators_.begin() + ptrdiff_t(i));
}

inline char16_t* Parser::keep(size_t start, size_t n) {
  terminate(start + n);
  return text_ + start;
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
  if (count == kNone) return nullptr;
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
  if (count == kNone) return false;
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

inline XmlNodeData* Parser::openChild(XmlNodeData* node, const Token& name, bool isDeclaration) {
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
      const char16_t next = t[pos + 1];
      if (next == u'!' || next == u'P') {
        for (const ClearTag& tag : kClearTags) {
          size_t k = 0;
          while (k < tag.openLength && t[pos + k] == tag.open[k]) ++k;
          if (k == tag.openLength) {
            Token token = fixed(Tok::kClearOpen, k);
            token.clear = &tag;
            return token;
          }
        }
      }
      if (next == u'/') return fixed(Tok::kEndOpen, 2);
      if (next == u'?') return fixed(Tok::kDeclOpen, 2);
      return fixed(Tok::kTagOpen, 1);
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

void Parser::parse() {
  pushFrame(document_, 0);
  run();
  if (tagNode_ != nullptr) frameTag();  // the parse stopped inside a start tag
  writeTerminators(true);
  // Elements still open (the text ended, or the parse stopped) keep the room
  // their arrays grew to.
  while (!frames_.empty()) close(false);
}

bool Parser::readQuotedAttributes(XmlNodeData* node) {
  char16_t* const t = text_;
  size_t pos = position_;
  for (;;) {
    while (isSpace(t[pos])) ++pos;
    // A word starts here unless the character is a quote or a delimiter.
    const char16_t first = t[pos];
    if (mayEndWord(first) || first == u'"' || first == u'\'') break;
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

bool Parser::endStartTag(XmlNodeData*& node, bool empty) {
  pendingText_ = position_;
  if (!empty) {
    frameTag();
    return true;
  }
  closeTag();
  return closeElement(node);
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

void Parser::run() {
  XmlNodeData* node = document_;  // the document node starts in content
  bool inTag = false;
  TagState state = TagState::kA0;
  size_t nameStart = 0;  // pending attribute name, in the text
  size_t nameLength = 0;

  for (;;) {
    if (!inTag) {
      // Content mode ignores every token but those that begin with "<", and
      // no word or quoted string runs across a "<": go straight to the next.
      // A run that starts here starts with its first non-whitespace unit,
      // and one of only whitespace is no run.
      size_t at = position_;
      if (pendingText_ == at) {
        // Tags often follow each other directly: no call for no spaces.
        if (isSpace(text_[at])) at = skipSpaces(text_, at, length_, length_);
        pendingText_ = text_[at] == u'<' ? kNone : at;
      }
      // The scan for the next "<" notes whether a reference comes before it,
      // so a text run found to have none is not scanned again.
      textScan_ = at;
      textEntity_ = false;
      if (text_[at] != u'<') at = findValueEnd<u'<'>(text_, at, length_, textEntity_);
      position_ = at;
      // The usual shapes "<name" and "</name>" are read here directly, as
      // the tokens would read them; anything else takes the general path.
      const char16_t next = text_[at] == u'<' ? text_[at + 1] : u'\0';
      if (startsPlainWord(next) && next != u'P') {  // "<PRE>" opens a clear section
        position_ = at + 1;                         // passed: the text before can end on the "<"
        if (!flushText(node, at)) return;
        // The name, as readWord would read it: it ends at whitespace (which
        // is consumed) or markup, at "/" only before ">".
        const size_t end = wordEnd(text_, at + 2);
        Token name{Tok::kWord, at + 1, end - at - 1, nullptr};
        if (__builtin_expect(text_[end] == u'/' && text_[end + 1] != u'>', 0)) {
          name = readWord(at + 1);
        } else {
          position_ = isSpace(text_[end]) ? end + 1 : end;
        }
        // "<name>" and "<name/>" end here: read past the end first, so the
        // name's terminator can be written over its ">" or "/" at once.
        const char16_t c = text_[position_];
        if (c == u'>' || (c == u'/' && text_[position_ + 1] == u'>')) {
          position_ += c == u'>' ? 1 : 2;
          node = openChild(node, name, false);
          if (!endStartTag(node, c == u'/')) return;
          continue;
        }
        node = openChild(node, name, false);
        inTag = true;
        state = TagState::kA0;
        continue;
      }
      if (next == u'/' && startsPlainWord(text_[at + 2])) {
        const size_t end = wordEnd(text_, at + 3);
        if (text_[end] == u'>') {
          position_ = end + 1;
          if (!flushText(node, at)) return;
          if (!endTag(node, at + 2)) return;
          continue;
        }
      }
    } else if (state == TagState::kA0) {
      if (!readQuotedAttributes(node)) {
        error_ = kXmlBadEntity;
        return;
      }
      // The start tag's usual ends, as the tokens would read them.
      const char16_t c = text_[position_];
      if (c == u'>' || (c == u'/' && text_[position_ + 1] == u'>')) {
        position_ += c == u'>' ? 1 : 2;
        inTag = false;
        if (!endStartTag(node, c == u'/')) return;
        continue;
      }
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
          state = TagState::kA0;
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
      case TagState::kA0:
        if (token.kind == Tok::kWord) {
          nameStart = token.start;
          nameLength = token.length;
          state = TagState::kA1;
        } else if (token.kind == Tok::kTagClose || token.kind == Tok::kEmptyClose) {
          inTag = false;
          if (!endStartTag(node, token.kind == Tok::kEmptyClose)) return;
        } else {
          error_ = kXmlBadTagToken;
          return;
        }
        break;

      case TagState::kA1:
        if (token.kind == Tok::kWord) {
          holdAttribute(node, nameStart, nameLength, false, 0, 0);
          nameStart = token.start;
          nameLength = token.length;
        } else if (token.kind == Tok::kEquals) {
          state = TagState::kA2;
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

      case TagState::kA2:
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
          state = TagState::kA0;
        } else {
          error_ = kXmlBadTagToken;
          return;
        }
        break;
    }
  }
}

}  // namespace

size_t unitsBeforeNul(const char16_t* text) noexcept { return textLength(text); }

namespace {

// A borrowed text of fewer units is copied into the tree's arena, a larger
// one into a buffer of its own. A block that large in the arena would be
// one of its own too, which the C library maps afresh for many a parse once
// other trees are alive, and its pages would fault in one at a time.
constexpr size_t kArenaCopyUnits = size_t(256) << 10;  // 512 KiB

// Parses `text` (a NUL at `length`, or earlier), which the tree owns, into
// the tree in `top`.
CXmlNode parseText(CXmlNode top, char16_t* text, size_t length, const char16_t* rootName,
                   int32_t* error, const XmlCloseWatch* watch) {
  Parser parser(text, length, top.data(), watch);
  parser.parse();
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

CXmlNode parseWith(XmlText text, const char16_t* rootName, int32_t* error,
                   const XmlCloseWatch* watch) {
  if (error) *error = kXmlOk;
  if (text.get() == nullptr) return CXmlNode();
  // The document node; its handle owns the tree's arena from here on.
  XmlArena* arena = XmlArena::create();
  CXmlNode top(newNode(*arena, nullptr, false));
  if (XmlText::Owned owned = text.takeOwned()) {
    char16_t* in = owned.get();
    arena->adopt(std::move(owned));
    return parseText(std::move(top), in, text.bound(), rootName, error, watch);
  }
  const size_t length = text.bounded() ? text.bound() : textLength(text.get());
  if (length < kArenaCopyUnits) {
    char16_t* copy = arena->allocateArray<char16_t>(length + 1);
    std::memcpy(copy, text.get(), (length + 1) * sizeof(char16_t));
    return parseText(std::move(top), copy, length, rootName, error, watch);
  }
  TextBuffer copy = allocateText(length + 1, false, 0);
  std::memcpy(copy.get(), text.get(), (length + 1) * sizeof(char16_t));
  char16_t* in = copy.get();
  arena->adopt(XmlText::Owned(copy.release(), [](char16_t* t) { ReleaseText()(t); }));
  return parseText(std::move(top), in, length, rootName, error, watch);
}

}  // namespace

CXmlNode CXmlNode::parseDocument(XmlText text, const char16_t* rootName, int32_t* error) {
  return parseWith(std::move(text), rootName, error, nullptr);
}

CXmlNode parseDocumentWatching(XmlText text, const char16_t* rootName, const XmlCloseWatch& watch,
                               int32_t* error) {
  return parseWith(std::move(text), rootName, error, &watch);
}

}  // namespace epub::xml
