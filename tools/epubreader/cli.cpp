#include "cli.h"

#include <algorithm>
#include <charconv>

namespace epubreader {

const char kLayoutHelp[] =
    "  --width W       page width in points, 16 to 8192 (default 600)\n"
    "  --height H      page height in points, 16 to 8192 (default 800)\n"
    "  --font-size S   font size in points, 1 to 400 (default 12)\n";

const std::vector<std::string> kLayoutOptions = {"--width", "--height", "--font-size"};

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

void Layout::read(const Arguments& args) {
  if (auto v = args.value("--width")) width = int(parseBounded("--width", *v, 16, 8192));
  if (auto v = args.value("--height")) height = int(parseBounded("--height", *v, 16, 8192));
  if (auto v = args.value("--font-size")) fontSize = int(parseBounded("--font-size", *v, 1, 400));
  if (auto v = args.value("--zoom")) zoom = int(parseBounded("--zoom", *v, 10, 800));
  if (width * zoom / 100 > 16384 || height * zoom / 100 > 16384)
    throw UsageError{"the zoomed page is larger than 16384 pixels on a side"};
}

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

}  // namespace epubreader
