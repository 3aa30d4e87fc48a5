// epubreader: the command-line reader built on the engine's public exports.
// It plays the host as an e-book application does (see book.h) and draws
// with the renderer the engine loads, the MuPDF one by default, whose bitmap
// record it fills. Without BOOK, every command uses the built-in sample.
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <filesystem>
#include <iostream>
#include <new>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "book.h"
#include "epubreader.h"
#include "pendrel_mupdf.h"
#include "png_writer.h"
#include "toc.h"
#include "utf.h"

extern "C" const unsigned char epubreader_sample[];
extern "C" const size_t epubreader_sample_size;

namespace epubreader {
namespace {

using Json = nlohmann::ordered_json;
using epub::utf::toUtf8;

enum Exit { kDone = 0, kFailed = 1, kUsage = 2, kDamaged = 3 };

const char kSampleName[] = "(built-in sample)";

const char kMainHelp[] =
    "usage: epubreader [--help] [--version] COMMAND [BOOK] [OPTIONS]\n"
    "\n"
    "Reads EPUB publications with the EpubReader engine. Without BOOK, every\n"
    "command works on the built-in sample publication.\n"
    "\n"
    "commands:\n"
    "  info       metadata, reading order, table of contents and page count\n"
    "  toc        the table of contents (NCX, else the EPUB 3 navigation document)\n"
    "  render     draw pages as PNG files\n"
    "  search     every hit of a text: page, markable positions, surrounding line\n"
    "  highlight  mark a span of markable positions and draw the page holding it\n"
    "\n"
    "Run 'epubreader COMMAND --help' for a command's options.\n"
    "\n"
    "Pages are counted from 1 on the command line. Markable positions (the\n"
    "engine's count of words and images across the whole publication) from 0.\n"
    "\n"
    "Exit status: 0 done; 1 the book or an output file could not be used;\n"
    "2 bad command line; 3 done, but the book is damaged (entries that failed to\n"
    "inflate or failed their CRC check were left out, each named in a warning).\n";

const char kLayoutHelp[] =
    "  --width W       page width in points, 16 to 8192 (default 600)\n"
    "  --height H      page height in points, 16 to 8192 (default 800)\n"
    "  --font-size S   font size in points, 1 to 400 (default 12)\n";

const char kInfoHelp[] =
    "usage: epubreader info [BOOK] [--json] [layout options]\n"
    "\n"
    "Prints the metadata, the reading order (with each document's pages), the\n"
    "table of contents as an indented tree and the page count at the given\n"
    "page size. Pages are counted from 1.\n"
    "\n"
    "  --json          one JSON object instead of text\n";

const char kTocHelp[] =
    "usage: epubreader toc [BOOK] [--json]\n"
    "\n"
    "Prints the table of contents as an indented tree, and which source it\n"
    "came from: the NCX when the publication has one, otherwise the EPUB 3\n"
    "navigation document (the manifest item with properties=\"nav\").\n"
    "\n"
    "  --json          one JSON object instead of text\n";

const char kRenderHelp[] =
    "usage: epubreader render [BOOK] (--page N | --pages A-B | --all) [-o DIR]\n"
    "                         [layout options] [--zoom Z]\n"
    "\n"
    "Draws pages into PNG files DIR/page-NNN.png and prints each file's path.\n"
    "Pages are counted from 1: the first page of the book is page 1.\n"
    "A progress bar is shown on stderr when it is a terminal.\n"
    "\n"
    "  --page N        one page\n"
    "  --pages A-B     pages A to B, both included\n"
    "  --all           every page\n"
    "  -o DIR          folder for the files, created if missing (default .)\n"
    "  --zoom Z        pixels per 100 points, 10 to 800 (default 100: one pixel\n"
    "                  a point, so the image is W x H pixels)\n";

const char kSearchHelp[] =
    "usage: epubreader search [BOOK] TEXT [--case] [--json] [layout options]\n"
    "\n"
    "Finds TEXT in the whole publication (runs of white space in TEXT match\n"
    "the space between two words) and prints every hit: its page (counted\n"
    "from 1), its first and last markable positions and the line it is on.\n"
    "Put -- before a TEXT that starts with '-'.\n"
    "\n"
    "  --case          match letter case (default: ignore it)\n"
    "  --json          one JSON object instead of text\n";

const char kHighlightHelp[] =
    "usage: epubreader highlight [BOOK] --from POS --to POS [-o FILE]\n"
    "                            [layout options] [--zoom Z]\n"
    "\n"
    "Adds a highlight (a scrap) over markable positions POS to POS, both\n"
    "included (as 'search' prints them), prints its text and draws the page\n"
    "that holds its start into FILE (default highlight.png).\n"
    "\n"
    "  --from POS      first markable position\n"
    "  --to POS        last markable position\n"
    "  -o FILE         the PNG file to write\n"
    "  --zoom Z        pixels per 100 points, 10 to 800 (default 100)\n";

struct UsageError {
  std::string message;
};

struct Failure {
  std::string message;
};

std::optional<long long> parseNumber(std::string_view text) {
  long long value = 0;
  const auto end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

long long parseBounded(const std::string& option, const std::string& text, long long low,
                       long long high) {
  const auto value = parseNumber(text);
  if (!value)
    throw UsageError{option + " '" + text + "' is not a number: it must be " + std::to_string(low) +
                     " to " + std::to_string(high)};
  if (*value < low || *value > high)
    throw UsageError{option + " " + text + " is out of range: it must be " + std::to_string(low) +
                     " to " + std::to_string(high)};
  return *value;
}

// One command's arguments: options with or without a value, and the
// positional words in order.
class Arguments {
 public:
  Arguments(std::vector<std::string> args, std::vector<std::string> flags,
            std::vector<std::string> valued) {
    bool optionsEnded = false;  // after "--", every word is positional
    for (size_t i = 0; i < args.size(); ++i) {
      const std::string& a = args[i];
      if (optionsEnded) {
        positional_.push_back(a);
      } else if (a == "--") {
        optionsEnded = true;
      } else if (a == "--help" || a == "-h") {
        help_ = true;
      } else if (std::find(flags.begin(), flags.end(), a) != flags.end()) {
        values_.push_back({a, ""});
      } else if (std::find(valued.begin(), valued.end(), a) != valued.end()) {
        if (i + 1 >= args.size()) throw UsageError{a + " needs a value"};
        values_.push_back({a, args[++i]});
      } else if (a.size() > 1 && a[0] == '-' && !parseNumber(a)) {
        throw UsageError{"unknown option " + a};
      } else {
        positional_.push_back(a);
      }
    }
  }

  bool help() const { return help_; }
  bool has(const std::string& option) const { return value(option).has_value(); }
  std::optional<std::string> value(const std::string& option) const {
    std::optional<std::string> found;
    for (const auto& [name, v] : values_)
      if (name == option) found = v;
    return found;
  }
  const std::vector<std::string>& positional() const { return positional_; }

 private:
  bool help_ = false;
  std::vector<std::pair<std::string, std::string>> values_;
  std::vector<std::string> positional_;
};

const std::vector<std::string> kLayoutOptions = {"--width", "--height", "--font-size"};

struct Layout {
  int width = 600;
  int height = 800;
  int fontSize = 12;
  int zoom = 100;

  void read(const Arguments& args) {
    if (auto v = args.value("--width")) width = int(parseBounded("--width", *v, 16, 8192));
    if (auto v = args.value("--height")) height = int(parseBounded("--height", *v, 16, 8192));
    if (auto v = args.value("--font-size")) fontSize = int(parseBounded("--font-size", *v, 1, 400));
    if (auto v = args.value("--zoom")) zoom = int(parseBounded("--zoom", *v, 10, 800));
    if (width * zoom / 100 > 16384 || height * zoom / 100 > 16384)
      throw UsageError{"the zoomed page is larger than 16384 pixels on a side"};
  }

  EpubReaderRendererSettings settings() const {
    EpubReaderRendererSettings s{};
    s.setting1 = width;
    s.setting2 = height;
    s.setting3 = fontSize;
    return s;
  }
};

// A progress bar on stderr, drawn only when stderr is a terminal.
class Progress {
 public:
  explicit Progress(const char* what) : what_(what), enabled_(isatty(STDERR_FILENO) == 1) {}
  ~Progress() { finish(); }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void show(uint32_t done, uint32_t count) {
    if (!enabled_ || count == 0) return;
    const int width = 30, filled = int(uint64_t(done) * width / count);
    std::fprintf(stderr, "\r%-9s [%.*s%*s] %u/%u", what_, filled, "##############################",
                 width - filled, "", done, count);
    std::fflush(stderr);
    shown_ = true;
  }
  void finish() {
    if (shown_) std::fputs("\r\033[K", stderr);
    shown_ = false;
  }

 private:
  const char* what_;
  bool enabled_;
  bool shown_ = false;
};

// The engine's loadAll reports (documents, done) after each document; the
// renderer reports its own page counts through the same callback while it
// lays a document out. The bar follows the documents only.
struct LoadProgress {
  Progress bar{"loading"};
  uint32_t documents = 0;
  uint32_t done = 0;

  static void callback(void* context, uint32_t count, uint32_t done) {
    auto* self = static_cast<LoadProgress*>(context);
    if (count != self->documents || done < self->done) return;
    self->done = done;
    self->bar.show(done, count);
  }
};

struct SpineDoc {
  std::u16string href;  // relative to the package folder: the Content forms' path
  std::string id, mediaType;
  int32_t pages = 0;
  int32_t firstPage = 0;
};

// A book open on the engine, freed in the right order: the handle before
// the buffers it points into.
class Session {
 public:
  Session(const std::optional<std::string>& path, const Layout& layout) : layout_(layout) {
    std::string error;
    book_ = path ? Book::openFile(*path, error)
                 : Book::openMemory(epubreader_sample, epubreader_sample_size, kSampleName, error);
    if (!book_) throw Failure{error};
    reader_ = book_->open(layout.settings(), error);
    if (!reader_) throw Failure{error};
    const EpubReaderSpineList* spine = EpubReader_getSpine(reader_);
    for (const EpubReaderSpineNode* n = spine ? spine->first : nullptr; n; n = n->next)
      spine_.push_back(
          {n->item->href ? n->item->href : u"", toUtf8(n->item->id), toUtf8(n->item->mediaType)});
  }
  ~Session() { EpubReader_free(&reader_); }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  Book& book() { return *book_; }
  EpubReader* reader() { return reader_; }
  std::vector<SpineDoc>& spine() { return spine_; }
  const Layout& layout() const { return layout_; }

  // Loads every document into the renderer; returns the page count.
  int32_t load() {
    LoadProgress progress;
    progress.documents = static_cast<uint32_t>(spine_.size());
    EpubReader_loadAll(reader_, LoadProgress::callback, &progress);
    int32_t first = 0;
    for (auto& doc : spine_) {
      doc.pages = EpubReader_getContentPageCount(reader_, doc.href.c_str());
      doc.firstPage = first;
      first += doc.pages;
    }
    pages_ = EpubReader_getPageCount(reader_);
    return pages_;
  }
  int32_t pages() const { return pages_; }

  std::string describePages() const {
    return pages_ == 0 ? std::string("this book has no pages")
                       : "pages run from 1 to " + std::to_string(pages_) + " at " +
                             std::to_string(layout_.width) + " x " +
                             std::to_string(layout_.height) + " points";
  }

  // A command-line page (from 1) checked against the book: 0-based.
  int32_t page(const std::string& option, const std::string& text) const {
    const auto value = parseNumber(text);
    if (!value) throw UsageError{option + " '" + text + "' is not a number: " + describePages()};
    if (*value < 1 || *value > pages_)
      throw UsageError{option + " " + text + " is out of range: " + describePages()};
    return static_cast<int32_t>(*value - 1);
  }

  int finish(int status) const {
    if (status == kDone && !book_->damaged().empty()) {
      std::fprintf(stderr, "epubreader: %s is damaged: %zu entr%s could not be read\n",
                   book_->name().c_str(), book_->damaged().size(),
                   book_->damaged().size() == 1 ? "y" : "ies");
      return kDamaged;
    }
    return status;
  }

 private:
  Layout layout_;
  std::unique_ptr<Book> book_;
  EpubReader* reader_ = nullptr;
  std::vector<SpineDoc> spine_;
  int32_t pages_ = 0;
};

std::optional<std::string> bookArgument(const Arguments& args, size_t maxPositional) {
  const auto& p = args.positional();
  if (p.size() > maxPositional) throw UsageError{"unexpected argument '" + p.back() + "'"};
  if (p.empty()) return std::nullopt;
  return p.front();
}

void printUtf8(const std::string& s) { std::fwrite(s.data(), 1, s.size(), stdout); }

void printJson(const Json& json) {
  printUtf8(json.dump(2, ' ', false, Json::error_handler_t::replace));
  std::putchar('\n');
}

Json tocJson(const std::vector<TocEntry>& entries) {
  Json out = Json::array();
  for (const auto& e : entries) {
    Json j{{"label", e.label}, {"href", e.href}};
    if (!e.children.empty()) j["children"] = tocJson(e.children);
    out.push_back(std::move(j));
  }
  return out;
}

void printTocTree(const std::vector<TocEntry>& entries, int depth) {
  for (const auto& e : entries) {
    printUtf8(std::string(size_t(depth) * 2, ' ') + e.label + "  -> " + e.href + "\n");
    printTocTree(e.children, depth + 1);
  }
}

std::string tocHeading(const Toc& toc) {
  std::string s = sourceName(toc.source);
  if (!toc.path.empty()) s += " " + toc.path;
  return s;
}

int runInfo(const Arguments& args) {
  Layout layout;
  layout.read(args);
  Session session(bookArgument(args, 1), layout);
  const int32_t pages = session.load();
  const Toc toc = readToc(session.book(), session.reader());
  const EpubReaderPublicationMetadata* m = EpubReader_getPublicationMetadata(session.reader());
  const std::pair<const char*, const char16_t*> fields[] = {{"title", m->title},
                                                            {"creator", m->creator},
                                                            {"subject", m->subject},
                                                            {"description", m->description},
                                                            {"publisher", m->publisher},
                                                            {"contributor", m->contributor},
                                                            {"type", m->type},
                                                            {"format", m->format},
                                                            {"identifier", m->identifier},
                                                            {"source", m->source},
                                                            {"language", m->language},
                                                            {"relation", m->relation},
                                                            {"coverage", m->coverage},
                                                            {"rights", m->rights}};
  const std::string ncxTitle = toUtf8(EpubReader_getNcxDocTitle(session.reader()));
  const std::string ncxAuthor = toUtf8(EpubReader_getNcxDocAuthor(session.reader()));

  if (args.has("--json")) {
    Json metadata = Json::object();
    for (const auto& [name, value] : fields) metadata[name] = toUtf8(value);
    Json spine = Json::array();
    for (const auto& d : session.spine())
      spine.push_back({{"id", d.id},
                       {"href", toUtf8(d.href)},
                       {"mediaType", d.mediaType},
                       {"firstPage", d.pages ? d.firstPage + 1 : 0},
                       {"pages", d.pages}});
    printJson(
        {{"file", session.book().name()},
         {"package", session.book().packagePath()},
         {"metadata", metadata},
         {"ncx", {{"title", ncxTitle}, {"author", ncxAuthor}}},
         {"spine", spine},
         {"toc",
          {{"source", sourceName(toc.source)},
           {"path", toc.path},
           {"entries", tocJson(toc.entries)}}},
         {"layout",
          {{"width", layout.width}, {"height", layout.height}, {"fontSize", layout.fontSize}}},
         {"pages", pages}});
    return session.finish(kDone);
  }
  printUtf8("file: " + session.book().name() + "\npackage: " + session.book().packagePath() + "\n");
  for (const auto& [name, value] : fields)
    if (value && *value) printUtf8(std::string(name) + ": " + toUtf8(value) + "\n");
  if (!ncxTitle.empty()) printUtf8("ncx title: " + ncxTitle + "\n");
  if (!ncxAuthor.empty()) printUtf8("ncx author: " + ncxAuthor + "\n");
  std::printf("reading order (%zu):\n", session.spine().size());
  for (const auto& d : session.spine()) {
    printUtf8("  " + toUtf8(d.href) + "  [" + d.mediaType + "]  ");
    if (d.pages == 0)
      std::printf("no pages\n");
    else
      std::printf("pages %d-%d\n", d.firstPage + 1, d.firstPage + d.pages);
  }
  printUtf8("contents (" + tocHeading(toc) + "):\n");
  printTocTree(toc.entries, 1);
  std::printf("pages: %d (%d x %d points, font size %d)\n", pages, layout.width, layout.height,
              layout.fontSize);
  return session.finish(kDone);
}

int runToc(const Arguments& args) {
  Session session(bookArgument(args, 1), Layout());
  const Toc toc = readToc(session.book(), session.reader());
  if (args.has("--json")) {
    printJson({{"source", sourceName(toc.source)},
               {"path", toc.path},
               {"entries", tocJson(toc.entries)}});
  } else {
    printUtf8("source: " + tocHeading(toc) + "\n");
    printTocTree(toc.entries, 0);
  }
  return session.finish(kDone);
}

// A bitmap of the zoomed page size for the renderer to draw into.
struct Canvas {
  std::vector<uint8_t> pixels;
  PendrelBitmap bitmap{};

  explicit Canvas(const Layout& layout) {
    bitmap.width = layout.width * layout.zoom / 100;
    bitmap.height = layout.height * layout.zoom / 100;
    bitmap.stride = bitmap.width * 4;
    pixels.resize(size_t(bitmap.stride) * size_t(bitmap.height));
    bitmap.pixels = pixels.data();
  }
};

int runRender(const Arguments& args) {
  Layout layout;
  layout.read(args);
  const int chosen = args.has("--page") + args.has("--pages") + args.has("--all");
  if (chosen != 1) throw UsageError{"render needs exactly one of --page N, --pages A-B, --all"};
  const std::string folder = args.value("-o").value_or(".");
  Session session(bookArgument(args, 1), layout);
  const int32_t pages = session.load();
  int32_t first = 0, last = pages - 1;
  if (auto v = args.value("--page")) {
    first = last = session.page("--page", *v);
  } else if (auto v = args.value("--pages")) {
    const auto dash = v->find('-');
    if (dash == std::string::npos)
      throw UsageError{"--pages '" + *v + "' is not a range A-B: " + session.describePages()};
    first = session.page("--pages", v->substr(0, dash));
    last = session.page("--pages", v->substr(dash + 1));
    if (first > last) throw UsageError{"--pages " + *v + " runs backwards"};
  } else if (pages == 0) {
    throw Failure{session.book().name() + ": " + session.describePages()};
  }
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (!std::filesystem::is_directory(folder))
    throw Failure{"cannot create the folder " + folder + (ec ? ": " + ec.message() : "")};

  Canvas canvas(layout);
  const int digits = std::max<int>(3, int(std::to_string(pages).size()));
  Progress bar("drawing");
  for (int32_t page = first; page <= last; ++page) {
    EpubReader_draw(session.reader(), page, reinterpret_cast<intptr_t>(&canvas.bitmap), 0, 0,
                    layout.zoom);
    std::string number = std::to_string(page + 1);
    number.insert(0, size_t(std::max<int>(0, digits - int(number.size()))), '0');
    const std::string name = "page-" + number + ".png";
    const std::string path = (std::filesystem::path(folder) / name).string();
    std::string error;
    if (!writePng(path, canvas.bitmap, error)) throw Failure{error};
    bar.finish();
    printUtf8(path + "\n");
    bar.show(uint32_t(page - first + 1), uint32_t(last - first + 1));
  }
  return session.finish(kDone);
}

// One word of the publication, as the renderer counts objects.
struct Word {
  std::u16string text;
  uint32_t position;  // markable position
  int32_t page;       // publication page, from 0
  int32_t y;          // top of the word on its page, for the line around a hit
};

// The words of one document, in reading order, through the Content forms of
// the object queries, appended to `words`.
void collectWords(Session& session, const SpineDoc& doc, std::vector<Word>& words) {
  EpubReader* r = session.reader();
  const char16_t* path = doc.href.c_str();
  const uint32_t base = EpubReader_getMarkablePosition(r, doc.firstPage);
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

int runSearch(const Arguments& args) {
  Layout layout;
  layout.read(args);
  const auto& p = args.positional();
  if (p.empty()) throw UsageError{"search needs the TEXT to find"};
  if (p.size() > 2) throw UsageError{"unexpected argument '" + p.back() + "'"};
  const std::optional<std::string> path =
      p.size() == 2 ? std::optional<std::string>(p[0]) : std::nullopt;
  const std::u16string needle = epub::utf::fromUtf8(p.back());
  const bool matchCase = args.has("--case");
  Session session(path, layout);
  session.load();

  // The renderer's search of each document says which documents hold hits;
  // only their words are read to place the hits on pages and positions.
  EpubReader_setSearchContext(session.reader(), needle.c_str(), matchCase ? 1 : 0);
  int32_t engineCount = 0;
  std::vector<Word> words;
  std::vector<Hit> hits;
  Progress bar("searching");
  for (size_t d = 0; d < session.spine().size(); ++d) {
    const SpineDoc& doc = session.spine()[d];
    bar.show(uint32_t(d + 1), uint32_t(session.spine().size()));
    if (doc.pages == 0) continue;
    int32_t count;
    {
      Book::Transient transient(session.book());
      count = EpubReader_searchContent(session.reader(), doc.href.c_str(), 0, 0, 0);
    }
    if (count <= 0) continue;
    engineCount += count;
    const size_t from = words.size();
    collectWords(session, doc, words);
    findHits(words, from, needle, matchCase, hits);
  }
  bar.finish();
  EpubReader_clearSearchDatas(session.reader());
  if (size_t(engineCount) != hits.size())
    std::fprintf(stderr, "epubreader: warning: the renderer counts %d hits, the pages show %zu\n",
                 engineCount, hits.size());

  if (args.has("--json")) {
    Json list = Json::array();
    for (const auto& h : hits)
      list.push_back({{"page", words[h.firstWord].page + 1},
                      {"from", words[h.firstWord].position},
                      {"to", words[h.lastWord].position},
                      {"line", lineAround(words, h)}});
    printJson(
        {{"text", p.back()}, {"matchCase", matchCase}, {"count", hits.size()}, {"hits", list}});
    return session.finish(kDone);
  }
  printUtf8(std::to_string(hits.size()) + " hit" + (hits.size() == 1 ? "" : "s") + " of \"" +
            p.back() + "\"" + (matchCase ? " (matching case)" : "") + "\n");
  for (const auto& h : hits)
    printUtf8("page " + std::to_string(words[h.firstWord].page + 1) + "  positions " +
              std::to_string(words[h.firstWord].position) + "-" +
              std::to_string(words[h.lastWord].position) + "  " + lineAround(words, h) + "\n");
  return session.finish(kDone);
}

uint32_t parsePosition(const Arguments& args, const std::string& option, uint32_t objects) {
  const auto v = args.value(option);
  if (!v) throw UsageError{"highlight needs " + option + " POS"};
  const std::string range = objects == 0 ? std::string("this book has no markable positions")
                                         : "positions run from 0 to " + std::to_string(objects - 1);
  const auto value = parseNumber(*v);
  if (!value) throw UsageError{option + " '" + *v + "' is not a number: " + range};
  if (*value < 0 || *value >= objects)
    throw UsageError{option + " " + *v + " is out of range: " + range};
  return static_cast<uint32_t>(*value);
}

int runHighlight(const Arguments& args) {
  Layout layout;
  layout.read(args);
  if (!args.has("--from") || !args.has("--to"))
    throw UsageError{"highlight needs --from POS and --to POS"};
  const std::string file = args.value("-o").value_or("highlight.png");
  Session session(bookArgument(args, 1), layout);
  const int32_t pages = session.load();
  EpubReader* r = session.reader();
  const uint32_t objects = EpubReader_getMarkablePosition(r, pages);
  const uint32_t from = parsePosition(args, "--from", objects);
  const uint32_t to = parsePosition(args, "--to", objects);
  if (from > to) throw UsageError{"--from " + std::to_string(from) + " is after --to"};

  EpubReader_addScrap(r, from, to, 0, 0);
  const std::string text = toUtf8(EpubReader_getScrapText(r, from, to));
  const int32_t page = EpubReader_getPageMarkPosition(r, from);
  Canvas canvas(layout);
  EpubReader_draw(r, page, reinterpret_cast<intptr_t>(&canvas.bitmap), 0, 0, layout.zoom);
  std::string error;
  if (!writePng(file, canvas.bitmap, error)) throw Failure{error};
  printUtf8("page " + std::to_string(page + 1) + ": " + text + "\n" + file + "\n");
  return session.finish(kDone);
}

struct Command {
  const char* name;
  int (*run)(const Arguments&);
  const char* help;
  bool layout, zoom;
  std::vector<std::string> flags, valued;
};

const Command kCommands[] = {
    {"info", runInfo, kInfoHelp, true, false, {"--json"}, {}},
    {"toc", runToc, kTocHelp, false, false, {"--json"}, {}},
    {"render", runRender, kRenderHelp, true, true, {"--all"}, {"--page", "--pages", "-o"}},
    {"search", runSearch, kSearchHelp, true, false, {"--case", "--json"}, {}},
    {"highlight", runHighlight, kHighlightHelp, true, true, {}, {"--from", "--to", "-o"}},
};

int run(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::fputs(kMainHelp, stderr);
    return kUsage;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    std::fputs(kMainHelp, stdout);
    return kDone;
  }
  if (args[0] == "--version") {
    std::printf("epubreader %s\n", EPUBREADER_VERSION);
    return kDone;
  }
  for (const auto& command : kCommands) {
    if (args[0] != command.name) continue;
    try {
      std::vector<std::string> valued = command.valued;
      if (command.layout) valued.insert(valued.end(), kLayoutOptions.begin(), kLayoutOptions.end());
      if (command.zoom) valued.push_back("--zoom");
      const Arguments parsed({args.begin() + 1, args.end()}, command.flags, valued);
      if (parsed.help()) {
        std::fputs(command.help, stdout);
        if (command.layout) std::printf("\nlayout options:\n%s", kLayoutHelp);
        return kDone;
      }
      return command.run(parsed);
    } catch (const UsageError& e) {
      std::fprintf(stderr, "epubreader %s: %s (see 'epubreader %s --help')\n", command.name,
                   e.message.c_str(), command.name);
      return kUsage;
    }
  }
  std::fprintf(stderr, "epubreader: unknown command '%s' (see 'epubreader --help')\n",
               args[0].c_str());
  return kUsage;
}

}  // namespace
}  // namespace epubreader

int main(int argc, char** argv) {
  // Case-insensitive search folds letters beyond ASCII too.
  std::setlocale(LC_CTYPE, "C.UTF-8");
  try {
    return epubreader::run(argc, argv);
  } catch (const epubreader::Failure& e) {
    std::fprintf(stderr, "epubreader: %s\n", e.message.c_str());
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "epubreader: out of memory\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "epubreader: %s\n", e.what());
  }
  return epubreader::kFailed;
}
