#include "resources.h"

#include <vector>

namespace pendrel_mupdf {
namespace {

// Resources inlined into one document, in bytes before encoding: a bound so
// a hostile publication cannot make a document grow without limit.
constexpr size_t kResourceBudget = 32u << 20;

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

std::string lowered(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = lower(c);
  return out;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = lower(c);
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// Position of the '>' closing the tag whose attributes start at `from`,
// skipping quoted values; npos when the tag never closes.
size_t tagEnd(std::string_view text, size_t from) {
  for (size_t i = from; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"' || c == '\'') {
      size_t close = text.find(c, i + 1);
      if (close == std::string_view::npos) return close;
      i = close;
    } else if (c == '>') {
      return i;
    }
  }
  return std::string_view::npos;
}

struct Span {
  size_t begin = 0, end = 0;
  bool found = false;
};

// The value of attribute `name` among the tag's attributes text[from, to).
Span attribute(std::string_view text, size_t from, size_t to, std::string_view name) {
  size_t i = from;
  while (i < to) {
    while (i < to && (isBlank(text[i]) || text[i] == '/')) ++i;
    size_t nameBegin = i;
    while (i < to && !isBlank(text[i]) && text[i] != '=' && text[i] != '>' && text[i] != '/') ++i;
    std::string_view attr = text.substr(nameBegin, i - nameBegin);
    while (i < to && isBlank(text[i])) ++i;
    if (i >= to || text[i] != '=') {
      if (attr.empty()) ++i;
      continue;
    }
    ++i;
    while (i < to && isBlank(text[i])) ++i;
    Span value;
    if (i < to && (text[i] == '"' || text[i] == '\'')) {
      size_t close = text.find(text[i], i + 1);
      if (close == std::string_view::npos || close > to) return {};
      value = {i + 1, close, true};
      i = close + 1;
    } else {
      value.begin = i;
      while (i < to && !isBlank(text[i]) && text[i] != '>') ++i;
      value.end = i;
      value.found = true;
    }
    if (lowered(attr) == name) return value;
  }
  return {};
}

std::string base64(std::string_view bytes) {
  static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    uint32_t v = static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])) << 16 |
                 static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 1])) << 8 |
                 static_cast<uint8_t>(bytes[i + 2]);
    out += {digits[v >> 18], digits[(v >> 12) & 63], digits[(v >> 6) & 63], digits[v & 63]};
  }
  if (i < bytes.size()) {
    uint32_t v = static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 1])) << 8;
    out += digits[v >> 18];
    out += digits[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? digits[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

// The media type to give the image's data URI.
std::string_view imageType(std::string_view bytes, std::string_view path) {
  if (bytes.starts_with("\x89PNG")) return "image/png";
  if (bytes.starts_with("\xFF\xD8")) return "image/jpeg";
  if (bytes.starts_with("GIF8")) return "image/gif";
  std::string name = lowered(path);
  if (name.ends_with(".svg")) return "image/svg+xml";
  // MuPDF accepts data URIs of the image types it knows only, then tells
  // the format from the bytes: other raster images pass as PNG.
  return "image/png";
}

}  // namespace

std::string resolveHref(std::string_view base, std::string_view href) {
  href = href.substr(0, std::min(href.find('#'), href.find('?')));
  size_t colon = href.find(':');
  if (href.empty() || (colon != std::string_view::npos && colon < href.find('/'))) return {};
  std::string decoded;
  for (size_t i = 0; i < href.size(); ++i) {
    int hi = 0, lo = 0;
    if (href[i] == '%' && i + 2 < href.size() && (hi = hexValue(href[i + 1])) >= 0 &&
        (lo = hexValue(href[i + 2])) >= 0) {
      decoded += static_cast<char>(hi * 16 + lo);
      i += 2;
    } else {
      decoded += href[i];
    }
  }
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

std::optional<std::string> inlineResources(std::string_view xhtml, std::string_view base,
                                           const ReadResource& read) {
  std::string out;
  size_t copied = 0, budget = kResourceBudget;
  auto fetch = [&](std::string_view href, std::string& path) -> std::optional<std::string_view> {
    path = resolveHref(base, href);
    if (path.empty()) return std::nullopt;
    std::optional<std::string_view> bytes = read(path);
    if (!bytes || bytes->size() > budget) return std::nullopt;
    budget -= bytes->size();
    return bytes;
  };
  size_t i = 0;
  while ((i = xhtml.find('<', i)) != std::string_view::npos) {
    if (xhtml.substr(i, 4) == "<!--") {
      size_t close = xhtml.find("-->", i + 4);
      if (close == std::string_view::npos) break;
      i = close + 3;
      continue;
    }
    size_t nameEnd = i + 1;
    while (nameEnd < xhtml.size() && !isBlank(xhtml[nameEnd]) && xhtml[nameEnd] != '>' &&
           xhtml[nameEnd] != '/')
      ++nameEnd;
    std::string name = lowered(xhtml.substr(i + 1, nameEnd - i - 1));
    size_t end = tagEnd(xhtml, nameEnd);
    if (end == std::string_view::npos) break;
    std::string path;
    if (name == "img") {
      Span src = attribute(xhtml, nameEnd, end, "src");
      if (src.found) {
        if (auto bytes = fetch(xhtml.substr(src.begin, src.end - src.begin), path)) {
          out.append(xhtml.substr(copied, src.begin - copied));
          out += "data:";
          out += imageType(*bytes, path);
          out += ";base64,";
          out += base64(*bytes);
          copied = src.end;
        }
      }
    } else if (name == "link") {
      Span rel = attribute(xhtml, nameEnd, end, "rel");
      Span href = attribute(xhtml, nameEnd, end, "href");
      if (rel.found && href.found &&
          lowered(xhtml.substr(rel.begin, rel.end - rel.begin)).find("stylesheet") !=
              std::string::npos) {
        auto css = fetch(xhtml.substr(href.begin, href.end - href.begin), path);
        if (css && css->find("]]>") == std::string_view::npos) {
          out.append(xhtml.substr(copied, i - copied));
          out += "<style type=\"text/css\">/*<![CDATA[*/\n";
          out += *css;
          out += "\n/*]]>*/</style>";
          copied = end + 1;
        }
      }
    }
    i = end + 1;
  }
  if (copied == 0) return std::nullopt;
  out.append(xhtml.substr(copied));
  return out;
}

}  // namespace pendrel_mupdf
