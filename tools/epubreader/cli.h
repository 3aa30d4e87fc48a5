// The command line's shared parts: exit statuses, errors, arguments, the
// layout options, the progress bar and output.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "epubreader.h"

namespace epubreader {

using Json = nlohmann::ordered_json;

enum Exit { kDone = 0, kFailed = 1, kUsage = 2, kDamaged = 3 };

extern const char kLayoutHelp[];

struct UsageError {
  std::string message;
};

// The command could not do its work; `status` is kDamaged when that comes
// of damage already warned about.
struct Failure {
  std::string message;
  int status = kFailed;
};

std::optional<long long> parseNumber(std::string_view text);
// A number from low to high, else a usage error naming the option and range.
long long parseBounded(const std::string& option, const std::string& text, long long low,
                       long long high);

// One command's arguments: options with or without a value, and the
// positional words in order.
class Arguments {
 public:
  Arguments(std::vector<std::string> args, std::vector<std::string> flags,
            std::vector<std::string> valued);

  bool help() const { return help_; }
  bool has(const std::string& option) const { return value(option).has_value(); }
  std::optional<std::string> value(const std::string& option) const {
    std::optional<std::string> found;
    for (const auto& [name, v] : values_)
      if (name == option) found = v;
    return found;
  }
  const std::vector<std::string>& positional() const { return positional_; }
  // The words as given, after the command's name.
  const std::vector<std::string>& words() const { return words_; }

 private:
  std::vector<std::string> words_;
  bool help_ = false;
  std::vector<std::pair<std::string, std::string>> values_;
  std::vector<std::string> positional_;
};

extern const std::vector<std::string> kLayoutOptions;

struct Layout {
  int width = 600;
  int height = 800;
  int fontSize = 12;
  int zoom = 100;
  std::string css;       // the user style sheet (--css), empty for none
  int hyphenate = 0;     // --hyphenate: 0 none, 1 justified text, 2 all text
  std::string language;  // the package's dc:language, set by the session

  // The host's style sheet: the user's, then the language for hyphenation.
  std::string sheet() const {
    if (hyphenate == 0 || language.empty()) return css;
    return css + "\nhtml { -pendrel-language: " + language + "; }\n";
  }

  // Reads the layout options, --zoom or -r, and the --css file.
  void read(const Arguments& args);

  // The MuPDF renderer's settings: page size, em, hyphenation and as
  // setting 9 `sheet` (from sheet()), which the renderer copies when it
  // starts.
  EpubReaderRendererSettings settings(const std::string& sheet) const {
    EpubReaderRendererSettings s{};
    s.setting1 = width;
    s.setting2 = height;
    s.setting3 = fontSize;
    s.setting7 = static_cast<uint8_t>(hyphenate);
    if (!sheet.empty()) s.setting9 = reinterpret_cast<intptr_t>(sheet.c_str());
    return s;
  }
};

// The zoom options of the commands that draw: --zoom Z or -r DPI.
extern const char kZoomHelp[];
extern const std::vector<std::string> kZoomOptions;

// A page list such as "1,3,5-9,N" (N: the last page), checked against a
// book of `pages` pages: 0-based pages in the order given, each once.
// `describe` says how the book's pages run, for the usage errors.
std::vector<int32_t> parsePageList(const std::string& option, const std::string& text,
                                   int32_t pages, const std::string& describe);

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

// The BOOK argument ("-" is standard input), if given.
std::optional<std::string> bookArgument(const Arguments& args, size_t maxPositional);
void printUtf8(const std::string& s);
void printJson(const Json& json);
// Flushes standard output; a Failure when it could not be written.
void finishOutput();

}  // namespace epubreader
