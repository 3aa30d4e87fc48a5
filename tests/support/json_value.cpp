#include "support/json_value.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "support/epub_archive.h"

namespace epub::testing {

class JsonParser {
 public:
  explicit JsonParser(std::string_view text) : text_(text) {}

  std::optional<JsonValue> document() {
    JsonValue value;
    if (!parseValue(value, 0)) return std::nullopt;
    skipSpace();
    if (pos_ != text_.size()) return std::nullopt;
    return value;
  }

 private:
  static constexpr int kMaxDepth = 200;

  void skipSpace() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                   text_[pos_] == '\n' || text_[pos_] == '\r')) {
      ++pos_;
    }
  }

  bool literal(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }

  bool hex4(char32_t& out) {
    if (pos_ + 4 > text_.size()) return false;
    out = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = text_[pos_++];
      int v = c >= '0' && c <= '9'   ? c - '0'
              : c >= 'a' && c <= 'f' ? c - 'a' + 10
              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                     : -1;
      if (v < 0) return false;
      out = out * 16 + static_cast<char32_t>(v);
    }
    return true;
  }

  bool parseString(std::u16string& out) {
    if (pos_ >= text_.size() || text_[pos_] != '"') return false;
    ++pos_;
    std::string raw;  // UTF-8 runs between escapes
    auto flush = [&] {
      out += fromUtf8(raw);
      raw.clear();
    };
    while (pos_ < text_.size()) {
      const char c = text_[pos_++];
      if (c == '"') {
        flush();
        return true;
      }
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        raw.push_back(c);
        continue;
      }
      if (pos_ >= text_.size()) return false;
      const char e = text_[pos_++];
      char16_t unit = 0;
      switch (e) {
        case '"':
          unit = u'"';
          break;
        case '\\':
          unit = u'\\';
          break;
        case '/':
          unit = u'/';
          break;
        case 'b':
          unit = u'\b';
          break;
        case 'f':
          unit = u'\f';
          break;
        case 'n':
          unit = u'\n';
          break;
        case 'r':
          unit = u'\r';
          break;
        case 't':
          unit = u'\t';
          break;
        case 'u': {
          char32_t v = 0;
          if (!hex4(v)) return false;
          unit = static_cast<char16_t>(v);
          break;
        }
        default:
          return false;
      }
      flush();
      out.push_back(unit);
    }
    return false;
  }

  bool parseValue(JsonValue& value, int depth) {
    if (depth > kMaxDepth) return false;
    skipSpace();
    if (pos_ >= text_.size()) return false;
    const char c = text_[pos_];
    if (c == 'n') return literal("null");
    if (c == 't' || c == 'f') {
      value.kind_ = JsonValue::Kind::kBool;
      value.boolean_ = c == 't';
      return literal(c == 't' ? "true" : "false");
    }
    if (c == '"') {
      value.kind_ = JsonValue::Kind::kString;
      return parseString(value.string_);
    }
    if (c == '[') {
      ++pos_;
      value.kind_ = JsonValue::Kind::kArray;
      skipSpace();
      if (pos_ < text_.size() && text_[pos_] == ']') return ++pos_, true;
      for (;;) {
        value.items_.emplace_back();
        if (!parseValue(value.items_.back(), depth + 1)) return false;
        skipSpace();
        if (pos_ < text_.size() && text_[pos_] == ',') {
          ++pos_;
          continue;
        }
        return pos_ < text_.size() && text_[pos_++] == ']';
      }
    }
    if (c == '{') {
      ++pos_;
      value.kind_ = JsonValue::Kind::kObject;
      skipSpace();
      if (pos_ < text_.size() && text_[pos_] == '}') return ++pos_, true;
      for (;;) {
        skipSpace();
        std::u16string key;
        if (!parseString(key)) return false;
        skipSpace();
        if (pos_ >= text_.size() || text_[pos_++] != ':') return false;
        JsonValue member;
        if (!parseValue(member, depth + 1)) return false;
        value.keys_.push_back(toUtf8(key));
        value.values_.push_back(std::move(member));
        skipSpace();
        if (pos_ < text_.size() && text_[pos_] == ',') {
          ++pos_;
          continue;
        }
        return pos_ < text_.size() && text_[pos_++] == '}';
      }
    }
    // A number: strtod on a bounded copy of the number's characters.
    size_t end = pos_;
    while (end < text_.size() &&
           std::string_view("+-0123456789.eE").find(text_[end]) != std::string_view::npos) {
      ++end;
    }
    if (end == pos_) return false;
    const std::string digits(text_.substr(pos_, end - pos_));
    char* stop = nullptr;
    value.kind_ = JsonValue::Kind::kNumber;
    value.number_ = std::strtod(digits.c_str(), &stop);
    if (stop != digits.c_str() + digits.size()) return false;
    pos_ = end;
    return true;
  }

  std::string_view text_;
  size_t pos_ = 0;
};

std::optional<JsonValue> JsonValue::parse(std::string_view text) {
  return JsonParser(text).document();
}

std::optional<JsonValue> JsonValue::parseFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream all;
  all << in.rdbuf();
  return parse(all.str());
}

const JsonValue& JsonValue::operator[](std::string_view key) const {
  static const JsonValue kNull;
  for (size_t i = keys_.size(); i-- > 0;) {
    if (keys_[i] == key) return values_[i];
  }
  return kNull;
}

bool JsonValue::has(std::string_view key) const {
  for (const std::string& k : keys_) {
    if (k == key) return true;
  }
  return false;
}

}  // namespace epub::testing
