// The navigation points of an NCX record as one line each, in document
// order: ">" per level, id, class, playOrder, descendant count, content src
// and the labels, "|" between them (an absent string reads as empty). A
// whole record compares as one vector of lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "package/package_record.h"

namespace epub::package::test {

inline std::u16string plain(const char16_t* s) { return s ? std::u16string(s) : std::u16string(); }

inline std::u16string number(int32_t n) {
  const std::string digits = std::to_string(n);
  return std::u16string(digits.begin(), digits.end());
}

// The points from `first` up to `end`, at `depth`, and those below them.
inline void appendPointLines(const NcxRecord& n, size_t first, size_t end, int depth,
                             std::vector<std::u16string>& lines) {
  for (size_t i = first; i < end; i = n.after(i)) {
    const NavigationPoint& p = n.points[i];
    std::u16string line = std::u16string(size_t(depth), u'>') + plain(p.id) + u"|" +
                          plain(p.className) + u"|" + plain(p.playOrder) + u"|" +
                          number(p.descendantCount) + u"|" + plain(p.contentSrc);
    for (const char16_t* label : n.labelsOf(p)) line += u"|" + plain(label);
    lines.push_back(std::move(line));
    appendPointLines(n, i + 1, n.after(i), depth + 1, lines);
  }
}

inline std::vector<std::u16string> pointLines(const NcxRecord& n) {
  std::vector<std::u16string> lines;
  appendPointLines(n, 0, n.points.size(), 0, lines);
  return lines;
}

}  // namespace epub::package::test
