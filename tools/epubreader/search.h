// The search of `epubreader search`, shared with the web reader: every hit
// of a text in a book whose documents are all laid out.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "session.h"

namespace epubreader {

struct SearchHit {
  int32_t page;       // publication page, from 0
  uint32_t from, to;  // markable positions of the first and last word
  std::string line;   // the line(s) the hit is on, UTF-8
};

struct SearchResult {
  std::vector<SearchHit> hits;
  int32_t engineCount = 0;  // the renderer's own count, to cross-check
};

// Runs the renderer's search on every document that has pages and places
// its hits on pages and markable positions from the words of the
// documents that hold any. `progress` hears (documents begun, documents).
// With `workers` (not yet laid out), they lay the book out and each
// document is searched by its worker as soon as it is laid out.
class Workers;
SearchResult searchBook(Session& session, const std::u16string& needle, bool matchCase,
                        const std::function<void(size_t, size_t)>& progress = {},
                        Workers* workers = nullptr);

}  // namespace epubreader
