// A book's highlights, kept in a JSON file beside the book (or only in
// memory, for the built-in sample or when the file cannot be written).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace epubreader {

struct Highlight {
  uint32_t from, to;  // markable positions, both included
  std::string text;
};

class HighlightStore {
 public:
  static constexpr size_t kMost = 10000;

  // Reads `file` when it exists; a file that is not a list of highlights is
  // left alone (and never overwritten) with a warning.
  explicit HighlightStore(std::string file);

  const std::vector<Highlight>& all() const { return list_; }
  // Replaces the highlight of the same span, or adds it in position order;
  // false when the book has as many as it may.
  bool put(const Highlight& h);
  bool remove(uint32_t from, uint32_t to);
  const Highlight* find(uint32_t from, uint32_t to) const;

 private:
  void save();

  std::string file_;
  std::vector<Highlight> list_;
  bool writable_ = true;
};

}  // namespace epubreader
