#include "cli.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>

namespace epubreader {

const char kLayoutHelp[] =
    "  --width W       page width in points, 16 to 8192 (default 600)\n"
    "  --height H      page height in points, 16 to 8192 (default 800)\n"
    "  --font-size S   font size in points, 1 to 400 (default 12)\n"
    "  --css FILE      a user style sheet over the book's own: its rules come\n"
    "                  after the book's, so they win at equal specificity\n"
    "  --hyphenate H   none, justified or all: hyphenate no text (default),\n"
    "                  justified text or all text, in the book's dc:language\n"
    "                  where its markup gives none\n";

const std::vector<std::string> kLayoutOptions = {"--width", "--height", "--font-size", "--css",
                                                 "--hyphenate"};

const char kZoomHelp[] =
    "  --zoom Z        pixels per 100 points, 10 to 800 (default 100: one pixel\n"
    "                  a point, so the image is W x H pixels)\n"
    "  -r DPI          the same as pixels per inch, 8 to 576 (72 is --zoom 100)\n";

const std::vector<std::string> kZoomOptions = {"--zoom", "-r"};

namespace {
// A user style sheet larger than this is refused.
constexpr size_t kMaxCssBytes = size_t(1) << 20;
}  // namespace

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

Arguments::Arguments(std::vector<std::string> args, std::vector<std::string> flags,
                     std::vector<std::string> valued)
    : words_(args) {
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

void Layout::read(const Arguments& args) {
  if (auto v = args.value("--width")) width = int(parseBounded("--width", *v, 16, 8192));
  if (auto v = args.value("--height")) height = int(parseBounded("--height", *v, 16, 8192));
  if (auto v = args.value("--font-size")) fontSize = int(parseBounded("--font-size", *v, 1, 400));
  if (args.has("--zoom") && args.has("-r")) throw UsageError{"give --zoom or -r, not both"};
  if (auto v = args.value("--zoom")) zoom = int(parseBounded("--zoom", *v, 10, 800));
  if (auto v = args.value("-r")) zoom = int((parseBounded("-r", *v, 8, 576) * 100 + 36) / 72);
  if (auto file = args.value("--css")) {
    std::ifstream in(*file, std::ios::binary);
    if (!in) throw Failure{"cannot read the style sheet " + *file + ": " + std::strerror(errno)};
    css.assign(std::istreambuf_iterator<char>(in), {});
    if (css.size() > kMaxCssBytes) throw Failure{*file + ": a style sheet over 1 MiB"};
    if (css.find('\0') != std::string::npos) throw Failure{*file + ": not a style sheet"};
  }
  if (auto v = args.value("--hyphenate")) {
    static const char* const kModes[] = {"none", "justified", "all"};
    const auto mode = std::find(std::begin(kModes), std::end(kModes), *v);
    if (mode == std::end(kModes))
      throw UsageError{"--hyphenate '" + *v + "': it must be none, justified or all"};
    hyphenate = int(mode - std::begin(kModes));
  }
  if (width * zoom / 100 > 16384 || height * zoom / 100 > 16384)
    throw UsageError{"the zoomed page is larger than 16384 pixels on a side"};
}

std::optional<std::string> bookArgument(const Arguments& args, size_t maxPositional) {
  const auto& p = args.positional();
  if (p.size() > maxPositional) throw UsageError{"unexpected argument '" + p.back() + "'"};
  if (p.empty()) return std::nullopt;
  return p.front();
}

std::vector<int32_t> parsePageList(const std::string& option, const std::string& text,
                                   int32_t pages, const std::string& describe) {
  auto page = [&](const std::string& word) -> int32_t {
    if (word == "N") return pages;
    const auto value = parseNumber(word);
    if (!value)
      throw UsageError{option + " '" + text + "': '" + word + "' is not a page: " + describe};
    if (*value < 1 || *value > pages)
      throw UsageError{option + " " + text + ": page " + word + " is out of range: " + describe};
    return static_cast<int32_t>(*value);
  };
  std::vector<int32_t> out;
  std::set<int32_t> seen;
  size_t at = 0;
  do {
    size_t end = text.find(',', at);
    if (end == std::string::npos) end = text.size();
    const std::string item = text.substr(at, end - at);
    const size_t dash = item.find('-', 1);
    const int32_t first = page(item.substr(0, dash));
    const int32_t last = dash == std::string::npos ? first : page(item.substr(dash + 1));
    if (first > last) throw UsageError{option + " " + item + " runs backwards"};
    for (int32_t p = first; p <= last; ++p)
      if (seen.insert(p).second) out.push_back(p - 1);
    at = end + 1;
  } while (at <= text.size());
  return out;
}

void printUtf8(const std::string& s) { std::fwrite(s.data(), 1, s.size(), stdout); }

void printJson(const Json& json) {
  printUtf8(json.dump(2, ' ', false, Json::error_handler_t::replace));
  std::putchar('\n');
}

void finishOutput() {
  if (std::fflush(stdout) != 0 || std::ferror(stdout))
    throw Failure{std::string("cannot write the output: ") + std::strerror(errno)};
}

}  // namespace epubreader
