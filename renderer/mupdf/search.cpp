#include "search.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "joined_words.h"
#include "layout.h"
#include "objects.h"
#include "utf.h"

namespace pendrel_mupdf {
namespace {

char32_t folded(const SearchState& s, char32_t c) {
  if (s.matchCase) return c;
  return epub::text::fold(
      c, [](char32_t k) { return static_cast<char32_t>(fz_tolower(static_cast<int>(k))); });
}

// Appends the code points of `text`, folded, as toCodePoints reads them,
// without a copy: fz_chartorune reads at most four bytes, so only a tail
// shorter than that is read from a terminated copy.
void appendCodePoints(const SearchState& s, std::string_view text, std::u32string& out) {
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end) {
    int rune = 0;
    if (static_cast<unsigned char>(*p) < 0x80) {
      rune = static_cast<unsigned char>(*p++);
    } else if (end - p >= 4) {
      p += fz_chartorune(&rune, p);
    } else {
      char tail[5] = {};
      std::copy(p, end, tail);
      p += fz_chartorune(&rune, tail);
    }
    out.push_back(folded(s, static_cast<char32_t>(rune)));
  }
}

// Finds the needle in the document's words joined by single spaces; a hit
// covers the words it touches.
std::vector<Hit> findHits(const SearchState& s, const Objects& o) {
  std::vector<Hit> found;
  if (s.needle.empty()) return found;
  epub::text::JoinedWords joined;
  std::vector<uint32_t> object;  // the object of each word joined
  joined.reserve(o.text.size(), o.size());
  for (size_t i = 0; i < o.size(); ++i) {
    if (o.type[i] != PENDREL_OBJECT_WORD) continue;
    object.push_back(static_cast<uint32_t>(i));
    appendCodePoints(s, o.word(i), joined.next());
  }
  joined.find(s.needle, [&](size_t first, size_t last) {
    found.push_back({object[first], object[last]});
  });
  return found;
}

}  // namespace

intptr_t setNeedle(ZaveVevode& r, const char16_t* text, intptr_t flags) {
  SearchState& s = r.search;
  s.matchCase = (flags & 1) != 0;
  s.needle.clear();
  for (char32_t c : toCodePoints(epub::utf::toUtf8(text))) {
    if (isSpace(static_cast<int>(c))) {
      if (!s.needle.empty() && s.needle.back() != U' ') s.needle.push_back(U' ');
      continue;
    }
    s.needle.push_back(folded(s, c));
  }
  while (!s.needle.empty() && s.needle.back() == U' ') s.needle.pop_back();
  return 1;
}

int32_t searchDocument(ZaveVevode& r, const char16_t* path, const uint8_t* bytes, uint32_t length) {
  if (!bytes || length == 0 || r.search.needle.empty()) return 0;
  std::string_view markup(reinterpret_cast<const char*>(bytes), length);
  std::vector<Hit> found;
  // The loaded document's own bytes lay out as it is laid out: its objects,
  // read once, are the words a layout of them would give.
  if (Document* loaded = findDocument(r, path); loaded && loaded->bytes == markup) {
    const Objects& text = objectsOf(r, *loaded);
    if (!text.complete) return 0;
    found = findHits(r.search, text);
  } else {
    Document scratch = scratchDocument(r, path, markup);
    Laid laid = layOut(r, scratch, markup, scratch.layout, nullptr);
    fz_html* html = laid.html;
    if (!html) return 0;
    Objects text;
    bool ok =
        extract(r.ctx, html, pagesOf(html), scratch.layout, text, &laid.hyphenated, &laid.paints);
    release(r.ctx, laid);
    if (!ok) return 0;
    found = findHits(r.search, text);
  }
  auto count = static_cast<int32_t>(found.size());
  r.search.hits[path] = std::move(found);
  return count;
}

void markHit(ZaveVevode& r, const char16_t* path, intptr_t hit) {
  r.search.drawHitPath = path;
  r.search.drawHit = hit;
}

intptr_t clearSearch(ZaveVevode& r) {
  SearchState& s = r.search;
  s.needle.clear();
  s.hits.clear();
  s.drawHitPath.clear();
  s.drawHit = -1;
  return 1;
}

}  // namespace pendrel_mupdf
