// serve, as epubreader runs it: in a program of its own, epubreader-serve.
// Only that program links the HTTP library and, through it, OpenSSL, which
// every other command would otherwise map and start at each run (2.4 MB of
// memory and a few milliseconds). The program lies beside this one in a
// build folder, and in the library's libexec folder once installed.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "commands.h"

namespace epubreader {

namespace fs = std::filesystem;

namespace {

std::string serveProgram() {
  std::error_code ec;
  const fs::path here = fs::read_symlink("/proc/self/exe", ec).parent_path();
  for (const fs::path& candidate :
       {here / "epubreader-serve", here / EPUBREADER_BIN_TO_LIBEXEC / "epubreader-serve"})
    if (access(candidate.c_str(), X_OK) == 0) return candidate.lexically_normal().string();
  throw Failure{"the web server program epubreader-serve is not installed beside " +
                (here / "epubreader").string()};
}

}  // namespace

int runServe(const Arguments& args) {
  const std::string program = serveProgram();
  std::vector<std::string> words = {program, "serve"};
  words.insert(words.end(), args.words().begin(), args.words().end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  std::fflush(stdout);
  execv(program.c_str(), argv.data());
  throw Failure{"cannot start " + program + ": " + std::strerror(errno)};
}

}  // namespace epubreader
