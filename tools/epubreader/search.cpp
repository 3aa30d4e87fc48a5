// search: every hit of a text, with its page, positions and line.
#include "search.h"

#include <EpubReader/pendrel_mupdf.h>
#include <strings.h>

#include <algorithm>
#include <cwctype>
#include <deque>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "commands.h"
#include "joined_words.h"
#include "session.h"
#include "utf.h"
#include "workers.h"

namespace epubreader {

using epub::utf::toUtf8;

const char kSearchHelp[] =
    "usage: epubreader search [BOOK] TEXT [--case] [--json] [layout options]\n"
    "\n"
    "Finds TEXT in the whole publication (runs of white space in TEXT match\n"
    "the space between two words) and prints every hit: its page (counted\n"
    "from 1), its first and last markable positions and the line it is on.\n"
    "Put -- before a TEXT that starts with '-'.\n"
    "\n"
    "  --case          match letter case (default: ignore it)\n"
    "  --json          one JSON object instead of text\n"
    "  --jobs N        workers, each laying out and searching its share of the\n"
    "                  documents (default: the number of cores); the output is\n"
    "                  the same for every N\n";

namespace {

// One word of the publication, as the renderer counts objects.
struct Word {
  std::u16string_view text;  // in the document's page texts
  uint32_t position;         // markable position
  int32_t page;              // publication page, from 0
  int32_t docPage;           // page in the document
  uint32_t object;           // object on that page
  std::optional<int32_t> y;  // top of the word on its page, asked when a hit needs its line
};

// The words of one document, in reading order. Each page's words come from
// one scrap of all its objects: words never hold a space and the scrap
// leaves out images, so the scrap's words are the page's word objects in
// order; only a page that holds images has its objects' records asked.
struct DocumentWords {
  std::deque<std::u16string> texts;  // the words' storage
  std::vector<Word> words;
};

// `base` is the markable position of the document's first object, `first`
// the publication page of its first page.
void collectWords(Session& session, const SpineDoc& doc, uint32_t base, int32_t first,
                  DocumentWords& out) {
  EpubReader* r = session.reader();
  const char16_t* path = doc.href.c_str();
  out.texts.clear();
  out.words.clear();
  std::vector<std::u16string_view> split;
  std::vector<std::pair<uint32_t, int32_t>> tops;  // a page's word objects and their tops
  for (int32_t page = 0; page < doc.pages; ++page) {
    const uint32_t firstIndex = EpubReader_getContentMarkablePosition(r, path, page);
    const uint32_t count = EpubReader_getContentObjectCount(r, path, page);
    if (count == 0) continue;
    const char16_t* scrap =
        EpubReader_getContentScrapText(r, path, firstIndex, firstIndex + count - 1);
    const std::u16string& text = out.texts.emplace_back(scrap ? scrap : u"");
    split.clear();
    for (std::u16string_view rest = text; !rest.empty();) {
      const size_t space = std::min(rest.find(u' '), rest.size());
      split.push_back(rest.substr(0, space));
      rest.remove_prefix(std::min(space + 1, rest.size()));
    }
    const int32_t at = first + page;
    if (split.size() == count) {
      for (uint32_t k = 0; k < count; ++k)
        out.words.push_back({split[k], base + firstIndex + k, at, page, k, {}});
      continue;
    }
    tops.clear();
    for (uint32_t k = 0; k < count; ++k) {
      PendrelObjectInfo info{};
      if (EpubReader_getContentObjectInfo(r, path, page, k, &info, 0) &&
          info.type == PENDREL_OBJECT_WORD)
        tops.emplace_back(k, info.y);
    }
    for (size_t i = 0; i < tops.size(); ++i) {
      const auto [k, y] = tops[i];
      std::u16string_view word;
      if (tops.size() == split.size()) {
        word = split[i];
      } else {
        const char16_t* one =
            EpubReader_getContentScrapText(r, path, firstIndex + k, firstIndex + k);
        word = out.texts.emplace_back(one ? one : u"");
      }
      out.words.push_back({word, base + firstIndex + k, at, page, k, y});
    }
  }
}

// The top of a word on its page (0 when the renderer has no record of it).
int32_t topOf(Session& session, const SpineDoc& doc, Word& w) {
  if (!w.y) {
    PendrelObjectInfo info{};
    EpubReader_getContentObjectInfo(session.reader(), doc.href.c_str(), w.docPage, w.object, &info,
                                    0);
    w.y = info.y;
  }
  return *w.y;
}

void appendCodePoints(std::u16string_view text, bool matchCase, std::u32string& out) {
  for (size_t i = 0; i < text.size();) {
    const char32_t c = epub::utf::nextCodePoint(text, i);
    out.push_back(matchCase ? c : epub::text::fold(c, [](char32_t k) {
      return char32_t(std::towlower(wint_t(k)));
    }));
  }
}

struct Hit {
  size_t firstWord, lastWord;
};

// Non-overlapping hits of the needle in the words joined by single spaces,
// as the renderer counts them in one document.
std::vector<Hit> findHits(const std::vector<Word>& words, const std::u16string& needleText,
                          bool matchCase) {
  std::vector<Hit> hits;
  std::u32string needle, folded;
  appendCodePoints(needleText, matchCase, folded);
  for (char32_t c : folded) {
    const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r';
    if (space && (needle.empty() || needle.back() == ' ')) continue;
    needle.push_back(space ? U' ' : c);
  }
  while (!needle.empty() && needle.back() == ' ') needle.pop_back();
  if (needle.empty()) return hits;
  epub::text::JoinedWords joined;
  size_t length = 0;
  for (const Word& w : words) length += w.text.size();
  joined.reserve(length, words.size());
  for (const Word& w : words) appendCodePoints(w.text, matchCase, joined.next());
  joined.find(needle, [&](size_t first, size_t last) { hits.push_back({first, last}); });
  return hits;
}

std::string lineAround(Session& session, const SpineDoc& doc, std::vector<Word>& words,
                       const Hit& hit) {
  size_t from = hit.firstWord, to = hit.lastWord;
  Word& start = words[from];
  Word& end = words[to];
  auto sameLine = [&](Word& w, Word& as) {
    return w.page == as.page && topOf(session, doc, w) == topOf(session, doc, as);
  };
  while (from > 0 && sameLine(words[from - 1], start)) --from;
  while (to + 1 < words.size() && sameLine(words[to + 1], end)) ++to;
  std::u16string line;
  for (size_t w = from; w <= to; ++w) {
    if (!line.empty()) line += u' ';
    line += words[w].text;
  }
  return toUtf8(line);
}

}  // namespace

SearchResult searchBook(Session& session, const std::u16string& needle, bool matchCase,
                        const std::function<void(size_t, size_t)>& progress, Workers* workers) {
  // The renderer's search of each document says which documents hold hits;
  // only their words are read to place the hits on pages and positions.
  // Workers search each document as soon as they have laid it out, while
  // its bytes are still held for the search to read again, and place its
  // hits from the document's start; they are moved to the publication's
  // pages and positions once every count is known, and joined in reading
  // order.
  struct Found {
    int32_t count = 0;
    std::vector<SearchHit> hits;
  };
  const size_t n = session.spine().size();
  std::vector<Found> found(n);
  const auto searchDocument = [&](Session& s, size_t d, uint32_t base, int32_t first,
                                  DocumentWords& words) {
    const SpineDoc& doc = s.spine()[d];
    if (doc.pages == 0) return;
    const int32_t count = EpubReader_searchContent(s.reader(), doc.href.c_str(), 0, 0, 0);
    if (count <= 0) return;
    found[d].count = count;
    collectWords(s, doc, base, first, words);
    for (const Hit& h : findHits(words.words, needle, matchCase))
      found[d].hits.push_back({words.words[h.firstWord].page, words.words[h.firstWord].position,
                               words.words[h.lastWord].position,
                               lineAround(s, doc, words.words, h)});
  };
  const auto context = [&](Session& s) {
    EpubReader_setSearchContext(s.reader(), needle.c_str(), matchCase ? 1 : 0);
  };
  if (workers) {
    // Set before loading, the search lets the renderer read each
    // document's words from the layout that counts its pages.
    workers->forEachWorker(context);
    workers->layOut([&](Session& s, size_t d) {
      DocumentWords words;
      searchDocument(s, d, 0, 0, words);
    });
    workers->forEachWorker([](Session& s) { EpubReader_clearSearchDatas(s.reader()); });
    for (size_t d = 0; d < n; ++d)
      for (SearchHit& h : found[d].hits) {
        h.page += session.spine()[d].firstPage;
        h.from += session.spine()[d].firstObject;
        h.to += session.spine()[d].firstObject;
      }
  } else {
    context(session);
    DocumentWords words;
    for (size_t d = 0; d < n; ++d) {
      if (progress) progress(d + 1, n);
      const SpineDoc& doc = session.spine()[d];
      searchDocument(session, d, EpubReader_getMarkablePosition(session.reader(), doc.firstPage),
                     doc.firstPage, words);
      // The search read the document again; its buffer goes back.
      session.settle();
    }
    EpubReader_clearSearchDatas(session.reader());
  }
  SearchResult result;
  for (Found& f : found) {
    result.engineCount += f.count;
    for (auto& h : f.hits) result.hits.push_back(std::move(h));
  }
  return result;
}

int runSearch(const Arguments& args) {
  Layout layout;
  layout.read(args);
  const auto& p = args.positional();
  if (p.empty()) throw UsageError{"search needs the TEXT to find"};
  // A lone word naming an .epub file is the book, not the text.
  std::error_code ec;
  if (p.size() == 1 && p[0].size() > 5 &&
      strcasecmp(p[0].c_str() + p[0].size() - 5, ".epub") == 0 &&
      std::filesystem::is_regular_file(p[0], ec))
    throw UsageError{"search needs the TEXT to find in " + p[0]};
  if (p.size() > 2) throw UsageError{"unexpected argument '" + p.back() + "'"};
  const std::optional<std::string> path =
      p.size() == 2 ? std::optional<std::string>(p[0]) : std::nullopt;
  const std::u16string needle = epub::utf::fromUtf8(p.back());
  const bool matchCase = args.has("--case");
  Session session(path, layout);
  const unsigned jobs = jobsOption(args, session);
  SearchResult found;
  if (jobs > 1) {
    session.countObjects = true;  // the workers place words by their documents' first positions
    Workers workers(path, session, jobs);
    found = searchBook(session, needle, matchCase, {}, &workers);
  } else {
    // Set before loading, the search lets the renderer read each
    // document's words from the layout that counts its pages.
    EpubReader_setSearchContext(session.reader(), needle.c_str(), matchCase ? 1 : 0);
    session.load();
    Progress bar("searching");
    found = searchBook(session, needle, matchCase, [&](size_t done, size_t count) {
      bar.show(uint32_t(done), uint32_t(count));
    });
    bar.finish();
  }
  const auto& hits = found.hits;
  if (size_t(found.engineCount) != hits.size())
    std::fprintf(stderr, "epubreader: warning: the renderer counts %d hits, the pages show %zu\n",
                 found.engineCount, hits.size());

  if (args.has("--json")) {
    Json list = Json::array();
    for (const auto& h : hits)
      list.push_back({{"page", h.page + 1}, {"from", h.from}, {"to", h.to}, {"line", h.line}});
    printJson(
        {{"text", p.back()}, {"matchCase", matchCase}, {"count", hits.size()}, {"hits", list}});
    return session.finish(kDone);
  }
  printUtf8(std::to_string(hits.size()) + " hit" + (hits.size() == 1 ? "" : "s") + " of \"" +
            p.back() + "\"" + (matchCase ? " (matching case)" : "") + "\n");
  for (const auto& h : hits)
    printUtf8("page " + std::to_string(h.page + 1) + "  positions " + std::to_string(h.from) + "-" +
              std::to_string(h.to) + "  " + h.line + "\n");
  return session.finish(kDone);
}

}  // namespace epubreader
