#include "sniff.h"

#include <algorithm>

namespace vorozo {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

size_t skipSpace(std::string_view s, size_t i) {
  while (i < s.size() && isSpace(s[i])) ++i;
  return i;
}

// Reads `name = value` at i (the name already matched and i just past it);
// the value may be quoted with either quote. Returns false when no value
// follows.
bool readAssignedValue(std::string_view s, size_t& i, std::string_view& value,
                       bool unquotedStopsAtSemicolon) {
  i = skipSpace(s, i);
  if (i >= s.size() || s[i] != '=') return false;
  i = skipSpace(s, i + 1);
  if (i >= s.size()) return false;
  if (s[i] == '"' || s[i] == '\'') {
    size_t close = s.find(s[i], i + 1);
    if (close == std::string_view::npos) return false;
    value = s.substr(i + 1, close - i - 1);
    i = close + 1;
    return true;
  }
  size_t start = i;
  while (i < s.size() && !isSpace(s[i]) && s[i] != '>' &&
         !(unquotedStopsAtSemicolon && s[i] == ';'))
    ++i;
  value = s.substr(start, i - start);
  return true;
}

// The charset named inside a content attribute ("text/html; charset=x").
std::string_view charsetFromContent(std::string_view content) {
  size_t i = 0;
  while ((i = content.find("charset", i)) != std::string_view::npos) {
    i += 7;
    std::string_view value;
    size_t j = i;
    if (readAssignedValue(content, j, value, true)) return value;
  }
  return {};
}

struct MetaTag {
  std::string_view charset, httpEquiv, content;
};

// Parses the attributes of a tag from i (just past its name) to its '>'.
// Returns the position after the tag.
size_t parseAttributes(std::string_view s, size_t i, MetaTag& tag) {
  while (true) {
    while (i < s.size() && (isSpace(s[i]) || s[i] == '/')) ++i;
    if (i >= s.size()) return i;
    if (s[i] == '>') return i + 1;
    size_t start = i;
    while (i < s.size() && !isSpace(s[i]) && s[i] != '/' && s[i] != '>' && s[i] != '=') ++i;
    if (i == start) ++i;  // a stray '=': step over it
    std::string_view name = s.substr(start, i - start);
    size_t next = skipSpace(s, i);
    if (next >= s.size() || s[next] != '=') continue;  // an attribute without value
    std::string_view value;
    // After '=', only an unterminated quote or the end of the window leaves
    // no value: either way the tag runs to the end.
    if (!readAssignedValue(s, i, value, false)) return s.size();
    if (name == "charset") tag.charset = value;
    if (name == "http-equiv") tag.httpEquiv = value;
    if (name == "content") tag.content = value;
  }
}

}  // namespace

uint32_t markLength(std::string_view charset, const uint8_t* b, uint32_t n) {
  if (charset == "UTF-8" && n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return 3;
  if (charset == "UTF-16LE" && n >= 2 && b[0] == 0xFF && b[1] == 0xFE) return 2;
  if (charset == "UTF-16BE" && n >= 2 && b[0] == 0xFE && b[1] == 0xFF) return 2;
  if (charset == "UTF-32LE" && n >= 4 && b[0] == 0xFF && b[1] == 0xFE && b[2] == 0 && b[3] == 0)
    return 4;
  if (charset == "UTF-32BE" && n >= 4 && b[0] == 0 && b[1] == 0 && b[2] == 0xFE && b[3] == 0xFF)
    return 4;
  return 0;
}

const char* byteOrderMarkCharset(const uint8_t* bytes, uint32_t length) {
  // UTF-32LE before UTF-16LE: its mark begins with the other's.
  for (const char* charset : {"UTF-8", "UTF-32LE", "UTF-32BE", "UTF-16LE", "UTF-16BE"})
    if (markLength(charset, bytes, length) > 0) return charset;
  return nullptr;
}

Layout findLayout(const uint8_t* b, uint32_t n) {
  if (n < 4) return Layout::Bytes;
  auto ascii = [](uint8_t c) { return c != 0 && c < 0x80; };
  if (ascii(b[0]) && b[1] == 0 && b[2] == 0 && b[3] == 0) return Layout::Utf32LE;
  if (b[0] == 0 && b[1] == 0 && b[2] == 0 && ascii(b[3])) return Layout::Utf32BE;
  if (ascii(b[0]) && b[1] == 0 && ascii(b[2]) && b[3] == 0) return Layout::Utf16LE;
  if (b[0] == 0 && ascii(b[1]) && b[2] == 0 && ascii(b[3])) return Layout::Utf16BE;
  return Layout::Bytes;
}

const char* layoutCharset(Layout layout) {
  switch (layout) {
    case Layout::Utf16LE:
      return "UTF-16LE";
    case Layout::Utf16BE:
      return "UTF-16BE";
    case Layout::Utf32LE:
      return "UTF-32LE";
    case Layout::Utf32BE:
      return "UTF-32BE";
    case Layout::Bytes:
      break;
  }
  return nullptr;
}

std::string asciiWindow(const uint8_t* bytes, uint32_t length, uint32_t limit) {
  std::string out(std::min(length, limit), '\0');
  for (size_t k = 0; k < out.size(); ++k) {
    uint8_t c = bytes[k];
    if (c >= 0x80) c = 0x80;
    if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
    out[k] = static_cast<char>(c);
  }
  return out;
}

std::string_view xmlDeclaredLabel(std::string_view s) {
  size_t i = skipSpace(s, 0);
  if (s.substr(i, 5) != "<?xml" || i + 5 >= s.size() || !isSpace(s[i + 5])) return {};
  i += 5;
  size_t end = s.find("?>", i);
  std::string_view decl = s.substr(i, end == std::string_view::npos ? s.npos : end - i);
  size_t k = 0;
  while ((k = decl.find("encoding", k)) != std::string_view::npos) {
    bool standalone = k > 0 && isSpace(decl[k - 1]);
    k += 8;
    std::string_view value;
    size_t j = k;
    if (standalone && readAssignedValue(decl, j, value, false)) return value;
  }
  return {};
}

std::vector<std::string_view> metaDeclaredLabels(std::string_view s) {
  std::vector<std::string_view> labels;
  size_t i = 0;
  while ((i = s.find('<', i)) != std::string_view::npos) {
    if (s.substr(i, 4) == "<!--") {
      size_t close = s.find("-->", i + 4);
      if (close == std::string_view::npos) break;
      i = close + 3;
      continue;
    }
    if (s.substr(i, 5) != "<meta" ||
        (i + 5 < s.size() && !isSpace(s[i + 5]) && s[i + 5] != '/' && s[i + 5] != '>')) {
      ++i;
      continue;
    }
    MetaTag tag;
    i = parseAttributes(s, i + 5, tag);
    std::string_view label = tag.charset;
    if (label.empty() && tag.httpEquiv == "content-type") label = charsetFromContent(tag.content);
    if (!label.empty()) labels.push_back(label);
  }
  return labels;
}

}  // namespace vorozo
