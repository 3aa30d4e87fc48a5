#include "hyphenate.h"

#include <hyphen.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "dom_walk.h"

namespace pendrel_mupdf {
namespace {

// Where Debian's hyphenation packages put their dictionaries.
constexpr const char* kDictionaryFolder = "/usr/share/hyphen/";
// Letters a word needs to be hyphenated, and the most it may have (longer
// ones are broken by the budgets anyway).
constexpr size_t kMinLetters = 5, kMaxWordBytes = 120;

struct FreeDictionary {
  void operator()(HyphenDict* d) const { hnj_hyphen_free(d); }
};

// Dictionaries by file name, loaded on first use (null when missing).
HyphenDict* dictionaryFile(const std::string& name) {
  static std::mutex lock;
  static std::map<std::string, std::unique_ptr<HyphenDict, FreeDictionary>> loaded;
  std::lock_guard<std::mutex> guard(lock);
  auto it = loaded.find(name);
  if (it == loaded.end())
    it = loaded.emplace(name, hnj_hyphen_load((kDictionaryFolder + name).c_str())).first;
  return it->second.get();
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The first file name, in order, of a regional dictionary of `language`
// (hyph_ll_RR.dic), or "" when there is none; looked up once a language.
std::string firstRegional(const std::string& language) {
  static std::mutex lock;
  static std::map<std::string, std::string> found;
  std::lock_guard<std::mutex> guard(lock);
  auto it = found.find(language);
  if (it != found.end()) return it->second;
  std::string first;
  const std::string prefix = "hyph_" + language + "_";
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(kDictionaryFolder, error)) {
    std::string name = entry.path().filename().string();
    if (name.starts_with(prefix) && name.ends_with(".dic") && (first.empty() || name < first))
      first = std::move(name);
  }
  found.emplace(language, first);
  return first;
}

// The dictionary of a language tag: hyph_ll_RR.dic, else hyph_ll.dic, else
// a regional one.
HyphenDict* dictionaryFor(std::string_view tag) {
  size_t cut = tag.find_first_of("-_");
  std::string language, region;
  for (char c : tag.substr(0, cut)) language += lower(c);
  if (language.empty() || language.size() > 8) return nullptr;
  for (char c : language)
    if (c < 'a' || c > 'z') return nullptr;
  if (cut != std::string_view::npos) {
    std::string_view rest = tag.substr(cut + 1);
    for (char c : rest.substr(0, rest.find_first_of("-_"))) region += upper(c);
  }
  bool plain = region.size() == 2 && region[0] >= 'A' && region[0] <= 'Z' && region[1] >= 'A' &&
               region[1] <= 'Z';
  if (plain)
    if (HyphenDict* d = dictionaryFile("hyph_" + language + "_" + region + ".dic")) return d;
  if (HyphenDict* d = dictionaryFile("hyph_" + language + ".dic")) return d;
  // Some packages have regional files only (hyph_pl_PL.dic, hyph_es_ES.dic,
  // hyph_sv_SE.dic): the language's own country, else its first region.
  std::string own;
  for (char c : language) own += upper(c);
  if (HyphenDict* d = dictionaryFile("hyph_" + language + "_" + own + ".dic")) return d;
  const std::string regional = firstRegional(language);
  return regional.empty() ? nullptr : dictionaryFile(regional);
}

// The code point at s[i] and its length in bytes (a stray byte counts as one).
char32_t decode(std::string_view s, size_t i, size_t* length) {
  auto b = static_cast<unsigned char>(s[i]);
  size_t n = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
  if (i + n > s.size()) n = 1;
  char32_t c = n == 1 ? b : b & (0x7F >> n);
  for (size_t k = 1; k < n; ++k) c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
  *length = n;
  return c;
}

bool isLetter(char32_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  return c >= 0xC0 && c != 0xD7 && c != 0xF7 && !(c >= 0x2000 && c <= 0x206F) &&
         !(c >= 0x3000 && c <= 0x303F);
}

// Characters MuPDF may break a line after, or that make a token no word.
bool breaksOrJoins(char32_t c) {
  return c == '-' || c == '/' || c == 0xAD || (c >= '0' && c <= '9') ||
         (c >= 0x2010 && c <= 0x2015);
}

bool isWhite(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// White space as the objects take it: it ends a word.
bool isSpaceAt(std::string_view s, size_t i, size_t* length) {
  char32_t c = decode(s, i, length);
  return c <= 0x20 || c == 0xA0 || c == 0x3000 || (c >= 0x2000 && c <= 0x200B);
}

// The letters of a token (its only run of letters, between punctuation),
// as a byte range; false when the token is no such word.
bool lettersOf(std::string_view token, size_t* begin, size_t* end) {
  bool seen = false, done = false;
  for (size_t i = 0, n = 0; i < token.size(); i += n) {
    char32_t c = decode(token, i, &n);
    if (breaksOrJoins(c)) return false;
    if (isLetter(c)) {
      if (done) return false;
      if (!seen) *begin = i;
      seen = true;
      *end = i + n;
    } else if (seen) {
      done = true;
    }
  }
  return seen;
}

// The byte offsets after which `word` may be broken.
std::vector<size_t> breaksOf(HyphenDict* dict, std::string_view word) {
  std::vector<size_t> ends;  // byte offset after each character
  size_t letters = 0;
  for (size_t i = 0, n = 0; i < word.size(); i += n, ++letters) {
    decode(word, i, &n);
    ends.push_back(i + n);
  }
  std::vector<size_t> out;
  if (letters < kMinLetters || word.size() > kMaxWordBytes) return out;
  std::string lowered(word);
  for (char& c : lowered) c = lower(c);
  std::vector<char> hyphens(word.size() + 5);
  char** rep = nullptr;
  int* pos = nullptr;
  int* cut = nullptr;
  const int size = static_cast<int>(word.size());
  if (hnj_hyphen_hyphenate3(dict, lowered.c_str(), size, hyphens.data(), nullptr, &rep, &pos, &cut,
                            2, 3, 2, 3) == 0) {
    // UTF-8 dictionaries answer by character, the others by byte.
    const size_t count = dict->utf8 ? ends.size() : word.size();
    for (size_t i = 0; i + 1 < count; ++i)
      if ((hyphens[i] & 1) && !(rep && rep[i])) out.push_back(dict->utf8 ? ends[i] : i + 1);
  }
  if (rep) {
    for (size_t i = 0; i < word.size(); ++i) std::free(rep[i]);
    std::free(rep);
  }
  std::free(pos);
  std::free(cut);
  return out;
}

bool isOneOf(const char* tag, std::initializer_list<const char*> names) {
  for (const char* name : names)
    if (fz_strcasecmp(tag, name) == 0) return true;
  return false;
}

// Elements whose text is never hyphenated: not shown, not prose, or laid
// out as written. Tables too: MuPDF sizes a column by its cells' words, so
// a hyphenated word would change the table's widths and with them whether
// the words of adjacent cells without white space between them
// (`<th>Season</th><th>Hours lit</th>`) are read as one object or two.
bool isSkipped(const char* tag) {
  return isOneOf(tag, {"head", "script", "style", "svg", "math", "pre", "code", "kbd", "samp", "tt",
                       "textarea", "title", "table"});
}

// Elements a word cannot run through: a text node beside one (or first or
// last in one) starts or ends its words there.
bool isBoundary(fz_xml* element) {
  const char* tag = element ? fz_xml_tag(element) : nullptr;
  return tag &&
         isOneOf(tag, {"p",      "div",        "li",         "h1",      "h2",     "h3",     "h4",
                       "h5",     "h6",         "blockquote", "td",      "th",     "dd",     "dt",
                       "body",   "section",    "article",    "aside",   "header", "footer", "nav",
                       "figure", "figcaption", "caption",    "address", "main",   "ol",     "ul",
                       "dl",     "table",      "tr",         "br",      "hr",     "img"});
}

// Whether MuPDF may break a line after `c` when a letter follows: its
// line breaking follows the Unicode classes, breaking after '-', '/',
// dashes, '!', '?', '%', '+', ideographs and others. Letters outside the
// ideographic scripts, digits and the punctuation here never allow it.
bool mayBreakAfter(char32_t c) {
  if (c < 0x80)
    return !((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
             std::strchr(".,;:'\"()[]&*=_~@#", static_cast<int>(c)));
  if (c == 0xAB || c == 0xBB || c == 0xB7 || (c >= 0x2018 && c <= 0x201D)) return false;
  return c < 0xC0 || c == 0xD7 || c == 0xF7 || c >= 0x2000;
}

// Whether a text's line breaks can fall only at its white space: each
// character that allows a break is followed by white space (or is last,
// when `openEnd`).
bool breaksOnlyAtSpaces(std::string_view text, bool openEnd) {
  for (size_t i = 0, n = 0; i < text.size(); i += n) {
    char32_t c = decode(text, i, &n);
    if (isSpaceAt(text, i, &n) || !mayBreakAfter(c)) continue;
    size_t next = 0;
    if (i + n < text.size() ? !isSpaceAt(text, i + n, &next) : !openEnd) return false;
  }
  return true;
}

// The element whose line boxes a node's text is laid out in: its nearest
// ancestor of the boundary elements.
fz_xml* blockOf(fz_xml* node) {
  for (node = fz_xml_up(node); node && !isBoundary(node);) node = fz_xml_up(node);
  return node;
}

bool endsOpen(fz_xml* text) {
  fz_xml* after = fz_xml_next(text);
  return after ? isBoundary(after) : isBoundary(fz_xml_up(text));
}

// Reads every text node: false when one holds a soft hyphen; else the
// blocks holding text whose line breaks may fall other than at white space
// go into `mixed`. Their objects depend on where their lines end, so they
// are not hyphenated.
bool scan(fz_xml* node, std::unordered_set<fz_xml*>& mixed) {
  for (; node; node = nextInTree(node)) {
    if (const char* text = fz_xml_text(node)) {
      if (std::strstr(text, "\xC2\xAD")) return false;
      if (!breaksOnlyAtSpaces(text, endsOpen(node))) mixed.insert(blockOf(node));
    }
  }
  return true;
}

// What declarations say of `hyphens` (with its prefixed forms: auto, or
// none and manual) and of `text-align` (justify or not).
void readDeclarations(std::string_view declarations, std::optional<bool>& hyphens,
                      std::optional<bool>& justified) {
  std::string value = declaredValue(declarations, "hyphens");
  for (const char* name : {"-webkit-hyphens", "-epub-hyphens"})
    if (value.empty()) value = declaredValue(declarations, name);
  if (value.starts_with("auto")) hyphens = true;
  if (value.starts_with("none") || value.starts_with("manual")) hyphens = false;
  std::string align = declaredValue(declarations, "text-align");
  if (!align.empty()) justified = align.starts_with("justify");
}

// A style sheet's rule setting `hyphens` or `text-align` for a simple
// selector: a tag (or `*`, or none), classes and an id.
struct Rule {
  std::string tag, id;
  std::vector<std::string> classes;
  std::optional<bool> hyphens, justified;
};

bool isIdentChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || static_cast<unsigned char>(c) >= 0x80;
}

// A simple selector read into `rule`; false for any other selector.
bool readSelector(std::string_view selector, Rule& rule) {
  size_t at = 0;
  while (at < selector.size() && (isIdentChar(selector[at]) || selector[at] == '*')) ++at;
  rule.tag = selector.substr(0, at);
  if (rule.tag == "*") rule.tag.clear();
  while (at < selector.size()) {
    char kind = selector[at++];
    size_t from = at;
    while (at < selector.size() && isIdentChar(selector[at])) ++at;
    if (at == from || (kind != '.' && kind != '#')) return false;
    std::string name(selector.substr(from, at - from));
    if (kind == '#') rule.id = std::move(name);
    if (kind == '.') rule.classes.push_back(std::move(name));
  }
  return !selector.empty();
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && isWhite(s.front())) s.remove_prefix(1);
  while (!s.empty() && isWhite(s.back())) s.remove_suffix(1);
  return s;
}

// The rules of a sheet that set `hyphens` or `text-align` for simple
// selectors, in order; at-rules (`@media` with what it holds) are passed
// over.
void addRules(std::string_view css, std::vector<Rule>& rules) {
  std::string text;
  for (size_t at = 0; at < css.size();) {
    size_t open = css.find("/*", at);
    text += css.substr(at, open == std::string_view::npos ? open : open - at);
    size_t close = open == std::string_view::npos ? open : css.find("*/", open + 2);
    at = close == std::string_view::npos ? css.size() : close + 2;
  }
  for (size_t at = 0; at < text.size();) {
    size_t open = text.find('{', at);
    if (open == std::string::npos) break;
    std::string_view prelude(text.data() + at, open - at);
    if (size_t semi = prelude.rfind(';'); semi != std::string_view::npos)
      prelude.remove_prefix(semi + 1);  // after statements such as @import
    prelude = trimmed(prelude);
    size_t close = open;  // the brace that closes this one
    for (int depth = 0; close < text.size(); ++close) {
      if (text[close] == '{') ++depth;
      if (text[close] == '}' && --depth == 0) break;
    }
    std::string_view body(text.data() + open + 1, std::min(close, text.size()) - open - 1);
    at = close + 1;
    Rule rule;
    if (prelude.starts_with('@')) continue;
    readDeclarations(body, rule.hyphens, rule.justified);
    if (!rule.hyphens && !rule.justified) continue;
    for (size_t from = 0; from <= prelude.size();) {
      size_t comma = std::min(prelude.find(',', from), prelude.size());
      Rule one = rule;
      if (readSelector(trimmed(prelude.substr(from, comma - from)), one))
        rules.push_back(std::move(one));
      from = comma + 1;
    }
  }
}

bool hasClass(const char* list, std::string_view name) {
  std::string_view classes = list ? list : "";
  for (size_t at = 0; at < classes.size();) {
    size_t end = at;
    while (end < classes.size() && !isWhite(classes[end])) ++end;
    if (classes.substr(at, end - at) == name) return true;
    at = end + 1;
  }
  return false;
}

bool matches(const Rule& rule, fz_xml* element) {
  if (!rule.tag.empty() && fz_strcasecmp(rule.tag.c_str(), fz_xml_tag(element)) != 0) return false;
  const char* id = fz_xml_att(element, "id");
  if (!rule.id.empty() && (!id || rule.id != id)) return false;
  const char* classes = fz_xml_att(element, "class");
  for (const std::string& name : rule.classes)
    if (!hasClass(classes, name)) return false;
  return true;
}

// What an element's text inherits: its language, whether it is justified,
// and `hyphens` (nullopt: not set).
struct Inherited {
  std::string language;
  bool justified;
  std::optional<bool> hyphens;
};

// The sheets' rules in order, then the style attribute.
Inherited inheritedBy(fz_xml* element, const Inherited& up, const std::vector<Rule>& rules,
                      const HyphenationOptions& options) {
  Inherited in = up;
  const char* lang = fz_xml_att(element, "xml:lang");
  if (!lang || !*lang) lang = fz_xml_att(element, "lang");
  if (lang && *lang) in.language = lang;
  std::optional<bool> justified;
  for (const Rule& rule : rules)
    if (matches(rule, element)) {
      if (rule.hyphens) in.hyphens = rule.hyphens;
      if (rule.justified) justified = rule.justified;
    }
  if (const char* style = fz_xml_att(element, "style"))
    readDeclarations(style, in.hyphens, justified);
  if (justified) in.justified = *justified;
  if (options.forcedJustify) in.justified = *options.forcedJustify;
  return in;
}

}  // namespace

std::unordered_map<fz_xml*, std::string> hyphenateDocument(fz_xml* root,
                                                           const HyphenationOptions& options,
                                                           const std::vector<std::string>& sheets,
                                                           HyphenatedWords& words) {
  std::unordered_map<fz_xml*, std::string> texts;
  std::unordered_set<fz_xml*> mixed;
  if (options.mode == Hyphenation::Off || !root || !scan(root, mixed)) return texts;
  std::vector<Rule> rules;
  for (const std::string& sheet : sheets) addRules(sheet, rules);
  addRules(options.sheet, rules);
  Inherited top{options.language, options.justified, std::nullopt};
  if (options.forcedJustify) top.justified = *options.forcedJustify;
  std::vector<std::pair<fz_xml*, Inherited>> pending;
  if (fz_xml_tag(root)) pending.emplace_back(root, inheritedBy(root, top, rules, options));
  while (!pending.empty()) {
    auto [element, in] = std::move(pending.back());
    pending.pop_back();
    bool on = in.hyphens.value_or(options.mode == Hyphenation::All || in.justified);
    for (fz_xml* child = fz_xml_down(element); child; child = fz_xml_next(child)) {
      if (const char* tag = fz_xml_tag(child)) {
        if (!isSkipped(tag)) pending.emplace_back(child, inheritedBy(child, in, rules, options));
        continue;
      }
      const char* text = fz_xml_text(child);
      if (!on || !text || in.language.empty() || mixed.count(blockOf(child))) continue;
      fz_xml* before = fz_xml_prev(child);
      bool openStart = before ? isBoundary(before) : isBoundary(element);
      std::string hyphenated = hyphenateText(text, in.language, openStart, endsOpen(child), words);
      if (hyphenated.size() != std::strlen(text)) texts.emplace(child, std::move(hyphenated));
    }
  }
  return texts;
}

bool LessNoCase::operator()(std::string_view a, std::string_view b) const {
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    auto x = static_cast<unsigned char>(lower(a[i])), y = static_cast<unsigned char>(lower(b[i]));
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

bool startsHyphenatedWord(const HyphenatedWords& words, std::string_view prefix) {
  auto it = words.lower_bound(prefix);
  return it != words.end() && it->size() > prefix.size() &&
         !LessNoCase()(prefix, std::string_view(*it).substr(0, prefix.size()));
}

std::string hyphenateText(std::string_view text, std::string_view language, bool openStart,
                          bool openEnd, HyphenatedWords& words) {
  HyphenDict* dict = dictionaryFor(language);
  if (!dict) return std::string(text);
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (size_t i = 0, n = 0; i < text.size();) {
    if (isSpaceAt(text, i, &n)) {
      out += text.substr(i, n);
      i += n;
      continue;
    }
    size_t stop = i;
    while (stop < text.size() && !isSpaceAt(text, stop, &n)) stop += n;
    std::string_view token = text.substr(i, stop - i);
    size_t begin = 0, end = 0;
    std::vector<size_t> breaks;
    if ((i > 0 || openStart) && (stop < text.size() || openEnd) && lettersOf(token, &begin, &end))
      breaks = breaksOf(dict, token.substr(begin, end - begin));
    if (breaks.empty()) {
      out += token;
    } else {
      words.emplace(token);
      size_t from = 0;
      for (size_t at : breaks) {
        out += token.substr(from, begin + at - from);
        out += "\xC2\xAD";
        from = begin + at;
      }
      out += token.substr(from);
    }
    i = stop;
  }
  return out;
}

std::string declaredValue(std::string_view declarations, std::string_view name) {
  std::string value;
  for (size_t at = 0; at < declarations.size();) {
    size_t semi = declarations.find(';', at);
    std::string_view item =
        declarations.substr(at, semi == std::string_view::npos ? semi : semi - at);
    at = semi == std::string_view::npos ? declarations.size() : semi + 1;
    size_t colon = item.find(':');
    if (colon == std::string_view::npos) continue;
    auto trim = [](std::string_view s) {
      while (!s.empty() && isWhite(s.front())) s.remove_prefix(1);
      while (!s.empty() && isWhite(s.back())) s.remove_suffix(1);
      return s;
    };
    std::string_view key = trim(item.substr(0, colon));
    if (key.size() != name.size()) continue;
    bool same = true;
    for (size_t k = 0; k < key.size(); ++k) same = same && lower(key[k]) == name[k];
    if (!same) continue;
    value.clear();  // the last declaration wins
    for (char c : trim(item.substr(colon + 1))) value += lower(c);
  }
  return value;
}

}  // namespace pendrel_mupdf
