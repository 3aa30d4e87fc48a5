#include "package_check.h"

#include <cstring>
#include <pugixml.hpp>
#include <string_view>

#include "utf.h"

namespace epubreader {

namespace {

// The text as UTF-8: UTF-16 files (by byte-order mark, or by the zero
// bytes of "<?" written in UTF-16) are converted, others taken as they are.
std::string asUtf8(const std::vector<uint8_t>& bytes) {
  const size_t n = bytes.size();
  const bool little =
      n >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == '<' && bytes[1] == 0));
  const bool big =
      n >= 2 && ((bytes[0] == 0xFE && bytes[1] == 0xFF) || (bytes[0] == 0 && bytes[1] == '<'));
  if (!little && !big) return std::string(bytes.begin(), bytes.end());
  std::u16string wide;
  for (size_t i = 0; i + 1 < n; i += 2)
    wide.push_back(static_cast<char16_t>(little ? bytes[i] | bytes[i + 1] << 8
                                                : bytes[i] << 8 | bytes[i + 1]));
  if (!wide.empty() && wide[0] == 0xFEFF) wide.erase(0, 1);
  return epub::utf::toUtf8(wide);
}

std::string lineOf(std::string_view text, size_t at) {
  size_t line = 1;
  for (size_t i = 0; i < at && i < text.size(); ++i) line += text[i] == '\n';
  return "line " + std::to_string(line) + ": ";
}

bool startsNoCase(std::string_view text, size_t at, std::string_view word) {
  if (text.size() - at < word.size()) return false;
  for (size_t k = 0; k < word.size(); ++k)
    if (std::tolower(static_cast<unsigned char>(text[at + k])) != word[k]) return false;
  return true;
}

// A reference at text[at] (an '&') as the engine decodes it: one of the
// five entities (any letter case) or a character reference up to ';'.
std::optional<std::string> badReference(std::string_view text, size_t at) {
  if (at + 2 < text.size() && text[at + 1] == '#') {
    size_t i = at + 2;
    const bool hex = text[i] == 'x' || text[i] == 'X';
    if (hex) ++i;
    const size_t semi = text.find(';', i);
    if (semi == std::string_view::npos)
      return "a character reference '" + std::string(text.substr(at, 12)) + "' has no ';'";
    for (size_t k = i; k < semi; ++k)
      if (!(hex ? std::isxdigit(static_cast<unsigned char>(text[k]))
                : std::isdigit(static_cast<unsigned char>(text[k]))))
        return "the character reference '" + std::string(text.substr(at, semi + 1 - at)) +
               "' holds a character that is not a digit";
    return std::nullopt;
  }
  for (std::string_view known : {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"})
    if (startsNoCase(text, at, known)) return std::nullopt;
  size_t end = at + 1;
  while (end < text.size() && end - at < 40 &&
         (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_' ||
          text[end] == '-' || text[end] == '.'))
    ++end;
  if (end < text.size() && text[end] == ';' && end > at + 1)
    return "the entity '" + std::string(text.substr(at, end + 1 - at)) +
           "' is not one of the five the XML reader knows (&amp; &lt; &gt; &quot; &apos;; a "
           "DOCTYPE's own entities are not read), so the whole file is refused";
  return std::string(
      "a bare '&' (written as &amp; it would be read), so the whole file is "
      "refused");
}

// The clear sections the engine keeps verbatim, with how each one ends.
struct Clear {
  std::string_view open, close;
};
const Clear kClear[] = {
    {"<![CDATA[", "]]>"}, {"<!DOCTYPE", ">"}, {"<!--", "-->"}, {"<PRE>", "</PRE>"}};

// The first construct the engine's reader refuses that a strict parser may
// let through: references, and clear sections left open.
std::optional<std::string> engineRefusal(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&') {
      if (auto bad = badReference(text, i)) return lineOf(text, i) + *bad;
      continue;
    }
    if (text[i] != '<') continue;
    for (const Clear& c : kClear) {
      if (text.compare(i, c.open.size(), c.open) != 0) continue;
      size_t from = i + c.open.size(), end;
      std::string_view close = c.close;
      if (c.open == "<!DOCTYPE") {
        const size_t gt = text.find('>', from), lt = text.find('<', from);
        if (lt < gt) close = "]>";
      }
      end = text.find(close, from);
      if (end == std::string_view::npos)
        return lineOf(text, i) + std::string(c.open) + " is never closed by " + std::string(close) +
               ", so the whole file is refused";
      i = end + close.size() - 1;
      break;
    }
  }
  return std::nullopt;
}

std::string_view localName(const char* name) {
  std::string_view n(name);
  const size_t colon = n.rfind(':');
  return colon == std::string_view::npos ? n : n.substr(colon + 1);
}

bool sameNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && startsNoCase(a, 0, std::string(b));
}

}  // namespace

std::optional<std::string> xmlRefusal(const std::vector<uint8_t>& bytes) {
  const std::string text = asUtf8(bytes);
  if (auto refused = engineRefusal(text)) return refused;
  pugi::xml_document doc;
  const pugi::xml_parse_result parsed = doc.load_buffer(text.data(), text.size());
  if (parsed) return std::nullopt;
  return lineOf(text, static_cast<size_t>(parsed.offset)) + "the XML is not well-formed (" +
         parsed.description() + ")";
}

std::string containerProblem(const std::vector<uint8_t>& bytes) {
  if (auto refused = xmlRefusal(bytes)) return *refused;
  pugi::xml_document doc;
  const std::string text = asUtf8(bytes);
  doc.load_buffer(text.data(), text.size());
  std::string types;
  size_t rootfiles = 0;
  for (const auto& x : doc.select_nodes("/*/*/*")) {
    const pugi::xml_node node = x.node();
    if (!sameNoCase(node.name(), "rootfile")) continue;
    ++rootfiles;
    for (const auto& a : node.attributes())
      if (sameNoCase(a.name(), "media-type"))
        types += std::string(types.empty() ? "" : ", ") + "'" + a.value() + "'";
  }
  if (rootfiles == 0) return "names no package document (it has no rootfile element)";
  return "names no package document: no rootfile has the media-type "
         "application/oebps-package+xml, written exactly (" +
         (types.empty() ? std::string("none has a media-type") : "found " + types) + ")";
}

std::optional<std::string> packageProblem(const std::vector<uint8_t>& bytes) {
  if (auto refused = xmlRefusal(bytes)) return refused;
  pugi::xml_document doc;
  const std::string text = asUtf8(bytes);
  doc.load_buffer(text.data(), text.size());
  const pugi::xml_node root = doc.document_element();
  const std::string_view name = root.name();
  if (localName(root.name()) == "package" && name != "package")
    return "the package element is written " + std::string(name) +
           ": the engine reads only an unprefixed package element";
  return std::nullopt;
}

}  // namespace epubreader
