// Test support: the facts file the fixture generator writes beside each
// publication, one "key<TAB>value" line per fact (UTF-8; a list repeats its
// key). Values come back as UTF-16, the library's own text type.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace epub::testing {

class Facts {
 public:
  // Nothing when the file cannot be read.
  static std::optional<Facts> read(const std::string& path);

  // The first value of the key, empty when there is none.
  std::u16string one(std::string_view key) const;
  // Every value of the key, in file order.
  std::vector<std::u16string> all(std::string_view key) const;

 private:
  std::vector<std::pair<std::string, std::u16string>> lines_;
};

// A value's tab-separated fields (a table-of-contents entry: depth, label, src).
std::vector<std::u16string> fields(const std::u16string& value);

}  // namespace epub::testing
