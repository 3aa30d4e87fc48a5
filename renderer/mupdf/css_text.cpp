#include "css_text.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

#include "utf.h"

namespace pendrel_mupdf {
namespace {

// Bounds on @import: nesting depth and the expanded sheet's size, so a
// hostile publication cannot make a sheet grow without limit.
constexpr int kMaxImportDepth = 8;
constexpr size_t kMaxSheetBytes = 8u << 20;
// The longest @charset label taken: every registered encoding name is
// shorter; a longer "label" is a stray quote, not a rule.
constexpr size_t kMaxCharsetLabel = 40;

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool isNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || static_cast<unsigned char>(c) >= 0x80;
}

std::string lowered(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = lower(c);
  return out;
}

bool startsWithNoCase(std::string_view s, size_t at, std::string_view word) {
  if (s.size() - at < word.size()) return false;
  for (size_t k = 0; k < word.size(); ++k)
    if (lower(s[at + k]) != word[k]) return false;
  return true;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = lower(c);
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

using epub::utf::appendUtf8;

std::string fromUtf16(std::string_view bytes, bool bigEndian) {
  std::string out;
  out.reserve(bytes.size() / 2);
  auto unit = [&](size_t i) -> uint32_t {
    auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
    return bigEndian ? (a << 8 | b) : (b << 8 | a);
  };
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    uint32_t c = unit(i);
    if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes.size()) {
      uint32_t low = unit(i + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        appendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    appendUtf8(out, c >= 0xD800 && c < 0xE000 ? 0xFFFD : c);
  }
  return out;
}

// Windows-1252 (which also serves the ISO-8859-1 and US-ASCII labels, as
// browsers do): 0x80-0x9F carry the code page's punctuation.
std::string fromWindows1252(std::string_view bytes) {
  static const uint16_t high[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
  std::string out;
  out.reserve(bytes.size());
  for (char ch : bytes) {
    auto c = static_cast<unsigned char>(ch);
    appendUtf8(out, c >= 0x80 && c < 0xA0 ? high[c - 0x80] : c);
  }
  return out;
}

enum class Encoding { Utf8, Utf16Le, Utf16Be, Windows1252 };

// The encoding a label names; nullopt for labels taken as UTF-8.
std::optional<Encoding> encodingOf(std::string_view label, bool allowUtf16) {
  std::string l = lowered(label);
  if (l == "iso-8859-1" || l == "latin1" || l == "iso8859-1" || l == "l1" || l == "windows-1252" ||
      l == "cp1252" || l == "us-ascii" || l == "ascii")
    return Encoding::Windows1252;
  if (allowUtf16 && (l == "utf-16" || l == "utf-16le" || l == "utf16")) return Encoding::Utf16Le;
  if (allowUtf16 && l == "utf-16be") return Encoding::Utf16Be;
  return std::nullopt;
}

// The label of a leading @charset "label"; rule, empty without one.
std::string_view charsetRule(std::string_view text) {
  constexpr std::string_view kRule = "@charset \"";
  if (text.substr(0, kRule.size()) != kRule) return {};
  size_t close = text.find('"', kRule.size());
  if (close == std::string_view::npos || close - kRule.size() > kMaxCharsetLabel) return {};
  return text.substr(kRule.size(), close - kRule.size());
}

// Skips a string starting at its quote; returns the position after it.
size_t skipString(std::string_view s, size_t at) {
  char quote = s[at];
  size_t i = at + 1;
  while (i < s.size() && s[i] != quote && s[i] != '\n') i += s[i] == '\\' ? 2 : 1;
  return std::min(i + 1, s.size());
}

// The target of url(...) or of a string at `at`; `end` receives the
// position after it. nullopt when neither starts there.
std::optional<std::string> readTarget(std::string_view s, size_t at, size_t& end) {
  size_t i = at;
  bool isUrl = startsWithNoCase(s, i, "url(");
  if (isUrl) {
    i += 4;
    while (i < s.size() && isBlank(s[i])) ++i;
  }
  std::string target;
  if (i < s.size() && (s[i] == '"' || s[i] == '\'')) {
    size_t close = skipString(s, i);
    for (size_t k = i + 1; k < close && s[k] != s[i]; ++k) {
      if (s[k] == '\\' && k + 1 < close) ++k;
      target += s[k];
    }
    i = close;
  } else if (isUrl) {
    while (i < s.size() && s[i] != ')' && !isBlank(s[i])) target += s[i++];
  } else {
    return std::nullopt;
  }
  if (isUrl) {
    while (i < s.size() && s[i] != ')') ++i;
    if (i < s.size()) ++i;
  }
  end = i;
  return target;
}

bool mediaApplies(std::string_view media) {
  std::string m = lowered(media);
  if (m.find_first_not_of(" \t\r\n\f") == std::string::npos) return true;
  return m.find("screen") != std::string::npos || m.find("all") != std::string::npos;
}

void quoted(std::string& out, std::string_view target) {
  out += '"';
  for (char c : target) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\n') continue;
    out += c;
  }
  out += '"';
}

void expand(std::string_view css, std::string_view path, std::string_view folder, int depth,
            const ReadSheet& read, std::string& out) {
  size_t i = 0;
  while (i < css.size()) {
    char c = css[i];
    if (c == '/' && i + 1 < css.size() && css[i + 1] == '*') {
      size_t close = css.find("*/", i + 2);
      close = close == std::string_view::npos ? css.size() : close + 2;
      out.append(css.substr(i, close - i));
      i = close;
    } else if (c == '"' || c == '\'') {
      size_t close = skipString(css, i);
      out.append(css.substr(i, close - i));
      i = close;
    } else if (c == '@' && startsWithNoCase(css, i + 1, "charset")) {
      size_t semi = css.find(';', i);
      i = semi == std::string_view::npos ? css.size() : semi + 1;
    } else if (c == '@' && startsWithNoCase(css, i + 1, "import") &&
               (i + 7 >= css.size() || !isNameChar(css[i + 7]))) {
      size_t j = i + 7;
      while (j < css.size() && isBlank(css[j])) ++j;
      size_t after = j;
      std::optional<std::string> target = readTarget(css, j, after);
      size_t semi = css.find(';', after);
      if (semi == std::string_view::npos) semi = css.size();
      if (target && depth < kMaxImportDepth && mediaApplies(css.substr(after, semi - after))) {
        std::string resolved = resolveHref(path, *target);
        std::optional<std::string> text;
        if (!resolved.empty()) text = read(resolved);
        if (text && out.size() + text->size() <= kMaxSheetBytes) {
          expand(*text, resolved, folder, depth + 1, read, out);
          out += '\n';
        }
      }
      i = std::min(semi + 1, css.size());
    } else if (depth > 0 && (c == 'u' || c == 'U') && startsWithNoCase(css, i, "url(") &&
               (i == 0 || !isNameChar(css[i - 1]))) {
      size_t after = i;
      std::optional<std::string> target = readTarget(css, i, after);
      std::string resolved = target ? resolveHref(path, *target) : std::string();
      out += "url(";
      quoted(out, resolved.empty() ? *target : relativePath(folder, resolved));
      out += ')';
      i = after;
    } else {
      out += c;
      ++i;
    }
    if (out.size() > kMaxSheetBytes) return;
  }
}

std::vector<std::string_view> components(std::string_view path) {
  std::vector<std::string_view> parts;
  while (!path.empty()) {
    size_t slash = path.find('/');
    std::string_view part = path.substr(0, slash);
    if (!part.empty()) parts.push_back(part);
    path = slash == std::string_view::npos ? std::string_view{} : path.substr(slash + 1);
  }
  return parts;
}

}  // namespace

std::string percentDecoded(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    int hi = 0, lo = 0;
    if (s[i] == '%' && i + 2 < s.size() && (hi = hexValue(s[i + 1])) >= 0 &&
        (lo = hexValue(s[i + 2])) >= 0) {
      out += static_cast<char>(hi * 16 + lo);
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::string resolveHref(std::string_view base, std::string_view href) {
  href = href.substr(0, std::min(href.find('#'), href.find('?')));
  size_t colon = href.find(':');
  if (href.empty() || (colon != std::string_view::npos && colon < href.find('/'))) return {};
  const std::string decoded = percentDecoded(href);
  std::string joined;
  if (decoded.front() != '/') {
    size_t slash = base.rfind('/');
    if (slash != std::string_view::npos) joined.assign(base.substr(0, slash + 1));
  }
  joined += decoded;
  std::vector<std::string_view> parts;
  std::string_view rest = joined;
  while (!rest.empty()) {
    size_t slash = rest.find('/');
    std::string_view part = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (parts.empty()) return {};
      parts.pop_back();
    } else {
      parts.push_back(part);
    }
  }
  std::string out;
  for (std::string_view part : parts) {
    if (!out.empty()) out += '/';
    out += part;
  }
  return out;
}

std::string folderOf(std::string_view path) {
  size_t slash = path.rfind('/');
  return slash == std::string_view::npos || slash == 0 ? "." : std::string(path.substr(0, slash));
}

std::string relativePath(std::string_view folder, std::string_view path) {
  std::vector<std::string_view> from = components(folder), to = components(path);
  size_t common = 0;
  while (common < from.size() && common + 1 < to.size() && from[common] == to[common]) ++common;
  std::string out;
  for (size_t k = common; k < from.size(); ++k) out += "../";
  for (size_t k = common; k < to.size(); ++k) {
    out += to[k];
    if (k + 1 < to.size()) out += '/';
  }
  return out;
}

std::string cssToUtf8(std::string_view bytes, std::string_view declared) {
  auto starts = [&](std::string_view prefix) { return bytes.substr(0, prefix.size()) == prefix; };
  using namespace std::string_view_literals;
  if (starts("\xEF\xBB\xBF")) return std::string(bytes.substr(3));
  if (starts("\xFF\xFE")) return fromUtf16(bytes.substr(2), false);
  if (starts("\xFE\xFF")) return fromUtf16(bytes.substr(2), true);
  // A UTF-16 @charset rule without a byte-order mark.
  if (starts("@\0c\0h\0"sv)) return fromUtf16(bytes, false);
  if (starts("\0@\0c\0h"sv)) return fromUtf16(bytes, true);
  std::optional<Encoding> encoding;
  std::string_view rule = charsetRule(bytes);
  if (!rule.empty()) {
    encoding = encodingOf(rule, false);
  } else if (!declared.empty()) {
    encoding = encodingOf(declared, true);
  }
  switch (encoding.value_or(Encoding::Utf8)) {
    case Encoding::Utf16Le:
      return fromUtf16(bytes, false);
    case Encoding::Utf16Be:
      return fromUtf16(bytes, true);
    case Encoding::Windows1252:
      return fromWindows1252(bytes);
    case Encoding::Utf8:
      break;
  }
  return std::string(bytes);
}

namespace {

// Calls `found(attributes)` for each <link> element before <body, with its
// attributes as name (lowered) and value pairs.
template <class Found>
void forEachLink(std::string_view head, Found found) {
  std::vector<std::pair<std::string, std::string_view>> attributes;
  for (size_t i = 0; i + 5 <= head.size(); ++i) {
    if (head[i] != '<') continue;
    if (startsWithNoCase(head, i + 1, "body")) break;
    if (!startsWithNoCase(head, i + 1, "link") || i + 5 >= head.size() || isNameChar(head[i + 5]))
      continue;
    // The tag's attributes: name = "value" | 'value' | value, up to '>'.
    attributes.clear();
    size_t j = i + 5;
    while (j < head.size() && head[j] != '>') {
      while (j < head.size() && (isBlank(head[j]) || head[j] == '/')) ++j;
      size_t name = j;
      while (j < head.size() && isNameChar(head[j])) ++j;
      std::string attribute = lowered(head.substr(name, j - name));
      while (j < head.size() && isBlank(head[j])) ++j;
      if (attribute.empty() || j >= head.size() || head[j] != '=') {
        if (attribute.empty() && j < head.size() && head[j] != '>') ++j;
        continue;
      }
      ++j;
      while (j < head.size() && isBlank(head[j])) ++j;
      size_t begin = j, end;
      if (j < head.size() && (head[j] == '"' || head[j] == '\'')) {
        end = head.find(head[j], j + 1);
        if (end == std::string_view::npos) end = head.size();
        begin = j + 1;
        j = std::min(end + 1, head.size());
      } else {
        while (j < head.size() && !isBlank(head[j]) && head[j] != '>') ++j;
        end = j;
      }
      attributes.emplace_back(std::move(attribute), head.substr(begin, end - begin));
    }
    found(attributes);
    i = j;
  }
}

std::string_view attributeOf(const std::vector<std::pair<std::string, std::string_view>>& list,
                             std::string_view name) {
  std::string_view value;
  for (const auto& [key, v] : list)
    if (key == name) value = v;
  return value;
}

// The background declarations the matcher copy renames, longest first.
constexpr std::pair<std::string_view, std::string_view> kRenamed[] = {
    {"background-position", "quotes"}, {"background-repeat", "widows"}, {"background-image", "src"},
    {"background-size", "orphans"},    {"background", "src"},
};

// The length of the declaration name at `at` ("name" blanks ":") that
// kRenamed holds, and its index; 0 when none starts there.
size_t renamedAt(std::string_view css, size_t at, size_t* which) {
  for (size_t k = 0; k < std::size(kRenamed); ++k) {
    std::string_view name = kRenamed[k].first;
    if (!startsWithNoCase(css, at, name)) continue;
    size_t j = at + name.size();
    if (j < css.size() && isNameChar(css[j])) continue;
    while (j < css.size() && isBlank(css[j])) ++j;
    if (j < css.size() && css[j] == ':') {
      *which = k;
      return name.size();
    }
  }
  return 0;
}

// Whether the declaration whose name starts at `at` holds a url() before
// its end (';', '}', or a quote or '<' ending the attribute or element it
// is written in).
bool declaresUrl(std::string_view css, size_t at) {
  size_t colon = css.find(':', at);
  size_t end = css.find_first_of(";}\"<", colon);
  if (end == std::string_view::npos) end = css.size();
  for (size_t k = colon; k + 4 <= end; ++k)
    if (startsWithNoCase(css, k, "url(")) return true;
  return false;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> linkCharsets(std::string_view xhtml) {
  std::vector<std::pair<std::string, std::string>> found;
  forEachLink(xhtml, [&](const auto& attributes) {
    std::string_view href = attributeOf(attributes, "href");
    std::string_view charset = attributeOf(attributes, "charset");
    if (!href.empty() && !charset.empty()) found.emplace_back(href, charset);
  });
  return found;
}

std::vector<std::string> linkHrefs(std::string_view xhtml) {
  std::vector<std::string> found;
  forEachLink(xhtml, [&](const auto& attributes) {
    std::string_view href = attributeOf(attributes, "href");
    if (!href.empty()) found.emplace_back(href);
  });
  return found;
}

bool setsBackgroundImage(std::string_view css) {
  // The name's tail in lower and in upper case (any first letter), found
  // with the library's fast search.
  for (std::string_view tail : {"ackground", "ACKGROUND"}) {
    for (size_t found = css.find(tail, 1); found != std::string_view::npos;
         found = css.find(tail, found + 1)) {
      size_t at = found - 1, which = 0;
      if (renamedAt(css, at, &which) == 0 || kRenamed[which].second != "src") continue;
      if (declaresUrl(css, at)) return true;
    }
  }
  return false;
}

bool mayNeedPreparing(std::string_view xhtml) {
  return xhtml.find("<object") != std::string_view::npos ||
         xhtml.find("@import") != std::string_view::npos ||
         xhtml.find("</>") != std::string_view::npos || setsBackgroundImage(xhtml);
}

std::string backgroundRules(std::string_view css, std::string_view base) {
  std::string out;
  out.reserve(css.size());
  size_t i = 0;
  // Whether the next name starts a declaration: after '{', ';' or the start.
  bool declarationStart = true;
  // Open blocks: where their rule starts in `out`, whether they rename a
  // declaration, whether they hold blocks themselves.
  struct Block {
    size_t start;
    bool renamed, nested;
  };
  std::vector<Block> blocks;
  size_t ruleStart = 0;
  while (i < css.size()) {
    char c = css[i];
    size_t which = 0, length = 0;
    if (c == '/' && i + 1 < css.size() && css[i + 1] == '*') {
      size_t close = css.find("*/", i + 2);
      i = close == std::string_view::npos ? css.size() : close + 2;
      continue;
    }
    if (c == '{') {
      if (!blocks.empty()) blocks.back().nested = true;
      blocks.push_back({ruleStart, false, false});
    } else if (c == '}' && !blocks.empty()) {
      Block block = blocks.back();
      blocks.pop_back();
      // A rule without background declarations matches for nothing here.
      if (!block.renamed && !block.nested) {
        out.resize(block.start);
        ruleStart = out.size();
        declarationStart = true;
        ++i;
        continue;
      }
      if (block.renamed && !blocks.empty()) blocks.back().renamed = true;
    }
    if (c == '"' || c == '\'') {
      size_t close = skipString(css, i);
      out.append(css.substr(i, close - i));
      i = close;
      declarationStart = false;
    } else if (declarationStart && (length = renamedAt(css, i, &which)) > 0) {
      out += kRenamed[which].second;
      i += length;
      declarationStart = false;
      if (!blocks.empty()) blocks.back().renamed = true;
    } else if ((c == 'u' || c == 'U') && startsWithNoCase(css, i, "url(") &&
               (i == 0 || !isNameChar(css[i - 1]))) {
      size_t after = i;
      std::optional<std::string> target = readTarget(css, i, after);
      std::string resolved = target ? resolveHref(base, *target) : std::string();
      if (resolved.empty()) {
        out.append(css.substr(i, after - i));
      } else {
        std::string escaped = "/";
        for (char ch : resolved) escaped += ch == '%' ? std::string("%25") : std::string(1, ch);
        out += "url(";
        quoted(out, escaped);
        out += ')';
      }
      i = after;
      declarationStart = false;
    } else {
      out += c;
      ++i;
      if (c == '{' || c == ';')
        declarationStart = true;
      else if (!isBlank(c))
        declarationStart = false;
      if (c == '{' || c == '}' || (c == ';' && blocks.empty())) ruleStart = out.size();
    }
  }
  return out;
}

std::string expandImports(std::string_view css, std::string_view path, const ReadSheet& read) {
  std::string out;
  out.reserve(css.size());
  std::string_view folder =
      path.substr(0, path.rfind('/') == std::string_view::npos ? 0 : path.rfind('/'));
  expand(css, path, folder, 0, read, out);
  return out;
}

bool endsWithNoCase(std::string_view s, std::string_view suffix) {
  if (s.size() < suffix.size()) return false;
  const std::string_view tail = s.substr(s.size() - suffix.size());
  for (size_t i = 0; i < suffix.size(); ++i) {
    const char c = tail[i];
    if ((c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c) != suffix[i]) return false;
  }
  return true;
}

bool isFontFile(std::string_view path) {
  for (std::string_view ext : {".ttf", ".otf", ".ttc", ".woff", ".woff2", ".cff", ".pfb", ".pfa"})
    if (endsWithNoCase(path, ext)) return true;
  return false;
}

}  // namespace pendrel_mupdf
