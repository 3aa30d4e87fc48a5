#include "support/facts.h"

#include <fstream>

#include "support/epub_archive.h"

namespace epub::testing {

std::optional<Facts> Facts::read(const std::string& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  Facts facts;
  for (std::string line; std::getline(in, line);) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    facts.lines_.emplace_back(line.substr(0, tab),
                              fromUtf8(std::string_view(line).substr(tab + 1)));
  }
  return facts;
}

std::u16string Facts::one(std::string_view key) const {
  for (const auto& [k, v] : lines_)
    if (k == key) return v;
  return {};
}

std::vector<std::u16string> Facts::all(std::string_view key) const {
  std::vector<std::u16string> out;
  for (const auto& [k, v] : lines_)
    if (k == key) out.push_back(v);
  return out;
}

std::vector<std::u16string> fields(const std::u16string& value) {
  std::vector<std::u16string> out(1);
  for (char16_t c : value) {
    if (c == u'\t')
      out.emplace_back();
    else
      out.back() += c;
  }
  return out;
}

}  // namespace epub::testing
