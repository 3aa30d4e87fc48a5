// epubreader: the command-line reader built on the engine's public exports.
// It plays the host as an e-book application does (see book.h) and draws
// with the renderer the engine loads, the MuPDF one by default, whose bitmap
// record it fills. Without BOOK, every command uses the built-in sample.
#include <clocale>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "commands.h"

namespace epubreader {
namespace {

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
    "  serve      read in the browser: a local web server for a book or a folder\n"
    "\n"
    "Run 'epubreader COMMAND --help' for a command's options.\n"
    "\n"
    "Pages are counted from 1 on the command line. Markable positions (the\n"
    "engine's count of words and images across the whole publication) from 0.\n"
    "\n"
    "Exit status: 0 done; 1 the book or an output file could not be used;\n"
    "2 bad command line; 3 done, but the book is damaged (entries that failed to\n"
    "inflate or failed their CRC check were left out, each named in a warning).\n";

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
    {"serve", runServe, kServeHelp, false, false, {}, {"--port", "--host"}},
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
