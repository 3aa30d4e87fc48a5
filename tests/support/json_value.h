// Test support: a small JSON reader for the facts files that the fixture
// generator writes beside each publication. Strings come back as UTF-16,
// the library's own text type, with \u escapes (surrogate pairs included)
// taken as they are.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace epub::testing {

class JsonValue {
 public:
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };

  // Parses a whole document; nothing when it is not well-formed JSON.
  static std::optional<JsonValue> parse(std::string_view text);
  // Reads and parses a file.
  static std::optional<JsonValue> parseFile(const std::string& path);

  Kind kind() const { return kind_; }
  bool isNull() const { return kind_ == Kind::kNull; }
  bool asBool() const { return boolean_; }
  double asNumber() const { return number_; }
  const std::u16string& asString() const { return string_; }
  const std::vector<JsonValue>& items() const { return items_; }
  // The member with that key, or a shared null value when there is none.
  const JsonValue& operator[](std::string_view key) const;
  bool has(std::string_view key) const;

 private:
  friend class JsonParser;
  Kind kind_ = Kind::kNull;
  bool boolean_ = false;
  double number_ = 0;
  std::u16string string_;
  std::vector<JsonValue> items_;
  // Object members: keys (UTF-8) and values side by side; a repeated key
  // keeps its last value.
  std::vector<std::string> keys_;
  std::vector<JsonValue> values_;
};

}  // namespace epub::testing
