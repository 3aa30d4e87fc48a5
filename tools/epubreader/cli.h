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

struct Failure {
  std::string message;
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

 private:
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

  void read(const Arguments& args);

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

std::optional<std::string> bookArgument(const Arguments& args, size_t maxPositional);
void printUtf8(const std::string& s);
void printJson(const Json& json);

}  // namespace epubreader
