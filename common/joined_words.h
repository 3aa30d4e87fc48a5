// Text search over words joined by single spaces, as the renderer counts its
// hits and the command places them: the same needle finds the same words in
// both. Header-only, like utf.h.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

namespace epub::text {

// ASCII letters lowered without any case table; `lower` for the rest.
template <class Lower>
char32_t fold(char32_t c, Lower lower) {
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
  return lower(c);
}

class JoinedWords {
 public:
  void reserve(size_t characters, size_t words) {
    text_.reserve(characters + words);
    starts_.reserve(words);
  }
  // Begins the next word; the caller appends its characters to the string
  // returned. The space before a word counts as the word's own.
  std::u32string& next() {
    starts_.push_back(text_.size());
    if (!text_.empty()) text_.push_back(U' ');
    return text_;
  }
  // hit(first, last) for each non-overlapping occurrence of `needle`, from
  // the left, with the indexes (in next() order) of the words it touches.
  template <class Hit>
  void find(const std::u32string& needle, Hit hit) const {
    if (needle.empty()) return;
    for (size_t at = 0; (at = text_.find(needle, at)) != std::u32string::npos; at += needle.size())
      hit(wordAt(at), wordAt(at + needle.size() - 1));
  }

 private:
  size_t wordAt(size_t at) const {
    return size_t(std::upper_bound(starts_.begin(), starts_.end(), at) - starts_.begin()) - 1;
  }

  std::u32string text_;
  std::vector<size_t> starts_;  // where each word begins in text_
};

}  // namespace epub::text
