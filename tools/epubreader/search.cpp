// search: every hit of a text, with its page, positions and line.
#include "search.h"

#include <EpubReader/pendrel_mupdf.h>
#include <strings.h>

#include <cwctype>
#include <filesystem>
#include <mutex>
#include <optional>

#include "commands.h"
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
  std::u16string text;
  uint32_t position;  // markable position
  int32_t page;       // publication page, from 0
  int32_t y;          // top of the word on its page, for the line around a hit
};

// The words of one document, in reading order, through the Content forms of
// the object queries, appended to `words`; `base` is the markable position
// of the document's first object.
void collectWords(Session& session, const SpineDoc& doc, uint32_t base, std::vector<Word>& words) {
  EpubReader* r = session.reader();
  const char16_t* path = doc.href.c_str();
  for (int32_t page = 0; page < doc.pages; ++page) {
    const uint32_t firstIndex = EpubReader_getContentMarkablePosition(r, path, page);
    const uint32_t count = EpubReader_getContentObjectCount(r, path, page);
    for (uint32_t k = 0; k < count; ++k) {
      PendrelObjectInfo info{};
      if (!EpubReader_getContentObjectInfo(r, path, page, k, &info, 0) ||
          info.type != PENDREL_OBJECT_WORD)
        continue;
      const uint32_t index = firstIndex + k;
      const char16_t* text = EpubReader_getContentScrapText(r, path, index, index);
      words.push_back({text ? text : u"", base + index, doc.firstPage + page, info.y});
    }
  }
}

std::u32string codePoints(std::u16string_view text, bool matchCase) {
  std::u32string out;
  for (size_t i = 0; i < text.size();) {
    const char32_t c = epub::utf::nextCodePoint(text, i);
    out.push_back(matchCase ? c : char32_t(std::towlower(wint_t(c))));
  }
  return out;
}

struct Hit {
  size_t firstWord, lastWord;
};

// Non-overlapping hits of the needle in words[from..] joined by single
// spaces, as the renderer counts them in one document, appended to `hits`.
void findHits(const std::vector<Word>& words, size_t from, const std::u16string& needleText,
              bool matchCase, std::vector<Hit>& hits) {
  std::u32string needle;
  for (char32_t c : codePoints(needleText, matchCase)) {
    const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r';
    if (space && (needle.empty() || needle.back() == ' ')) continue;
    needle.push_back(space ? U' ' : c);
  }
  while (!needle.empty() && needle.back() == ' ') needle.pop_back();
  if (needle.empty()) return;
  std::u32string joined;
  std::vector<size_t> wordOf;  // the word of each character of `joined`
  for (size_t w = from; w < words.size(); ++w) {
    if (!joined.empty()) {
      joined.push_back(U' ');
      wordOf.push_back(w);
    }
    for (char32_t c : codePoints(words[w].text, matchCase)) {
      joined.push_back(c);
      wordOf.push_back(w);
    }
  }
  size_t at = 0;
  while ((at = joined.find(needle, at)) != std::u32string::npos) {
    hits.push_back({wordOf[at], wordOf[at + needle.size() - 1]});
    at += needle.size();
  }
}

std::string lineAround(const std::vector<Word>& words, const Hit& hit) {
  size_t from = hit.firstWord, to = hit.lastWord;
  const Word& start = words[from];
  const Word& end = words[to];
  while (from > 0 && words[from - 1].page == start.page && words[from - 1].y == start.y) --from;
  while (to + 1 < words.size() && words[to + 1].page == end.page && words[to + 1].y == end.y) ++to;
  std::u16string line;
  for (size_t w = from; w <= to; ++w) line += (line.empty() ? u"" : u" ") + words[w].text;
  return toUtf8(line);
}

}  // namespace

SearchResult searchBook(Session& session, const std::u16string& needle, bool matchCase,
                        const std::function<void(size_t, size_t)>& progress, Workers* workers) {
  // The renderer's search of each document says which documents hold hits;
  // only their words are read to place the hits on pages and positions.
  // With workers, each searches the documents it laid out; the documents'
  // finds are joined in reading order.
  struct Found {
    int32_t count = 0;
    std::vector<Word> words;
    std::vector<Hit> hits;
  };
  const size_t n = session.spine().size();
  std::vector<Found> found(n);
  std::mutex mutex;
  size_t begun = 0;
  const auto searchDocument = [&](Session& s, size_t d) {
    const SpineDoc& doc = session.spine()[d];
    if (progress) {
      std::lock_guard lock(mutex);
      progress(++begun, n);
    }
    if (doc.pages == 0) return;
    // The search reads the document again; its buffer goes back after.
    const int32_t count = EpubReader_searchContent(s.reader(), doc.href.c_str(), 0, 0, 0);
    s.settle();
    if (count <= 0) return;
    Found& f = found[d];
    f.count = count;
    const uint32_t base =
        workers ? doc.firstObject : EpubReader_getMarkablePosition(s.reader(), doc.firstPage);
    collectWords(s, doc, base, f.words);
    s.settle();
    findHits(f.words, 0, needle, matchCase, f.hits);
  };
  const auto context = [&](Session& s) {
    EpubReader_setSearchContext(s.reader(), needle.c_str(), matchCase ? 1 : 0);
  };
  if (workers) {
    workers->forEachWorker(context);
    workers->forEachDocument(searchDocument);
    workers->forEachWorker([](Session& s) { EpubReader_clearSearchDatas(s.reader()); });
  } else {
    context(session);
    for (size_t d = 0; d < n; ++d) searchDocument(session, d);
    EpubReader_clearSearchDatas(session.reader());
  }
  SearchResult result;
  for (Found& f : found) {
    result.engineCount += f.count;
    for (const auto& h : f.hits)
      result.hits.push_back({f.words[h.firstWord].page, f.words[h.firstWord].position,
                             f.words[h.lastWord].position, lineAround(f.words, h)});
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
  std::optional<Workers> workers;
  if (jobs > 1) {
    session.countObjects = true;  // the workers place words by their documents' first positions
    workers.emplace(path, session, jobs);
    workers->layOut();
  } else {
    session.load();
  }

  Progress bar("searching");
  const SearchResult found = searchBook(
      session, needle, matchCase,
      [&](size_t done, size_t count) { bar.show(uint32_t(done), uint32_t(count)); },
      workers ? &*workers : nullptr);
  bar.finish();
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
