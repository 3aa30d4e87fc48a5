// epubreader: the command-line reader built on the engine's public exports.
// It plays the host as an e-book application does (see book.h) and draws
// with the renderer the engine loads, the MuPDF one by default, whose bitmap
// record it fills. Without BOOK, every command uses the built-in sample.
#include <clocale>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "book.h"
#include "commands.h"
#include "png_writer.h"

namespace epubreader {
namespace {

const char kMainHelp[] =
    "usage: epubreader [--help] [--version] COMMAND [BOOK] [OPTIONS]\n"
    "\n"
    "Reads EPUB publications with the EpubReader engine. Without BOOK, every\n"
    "command works on the built-in sample publication; BOOK - reads the book\n"
    "from standard input.\n"
    "\n"
    "commands:\n"
    "  info       metadata, reading order, table of contents and page count\n"
    "  toc        the table of contents (NCX, else the EPUB 3 navigation document)\n"
    "  render     draw pages as PNG files\n"
    "  search     every hit of a text: page, markable positions, surrounding line\n"
    "  text       the text in reading order, in paragraphs, as text or JSON\n"
    "  highlight  mark a span of markable positions and draw the page holding it\n"
    "  cover      draw the cover as a PNG file\n"
    "  extract    write the book's images and fonts into a folder\n"
    "  convert    write the pages as one PDF, with outline and live links\n"
    "  serve      read in the browser: a local web server for a book or a folder\n"
    "\n"
    "Run 'epubreader COMMAND --help' for a command's options.\n"
    "\n"
    "Pages are counted from 1 on the command line. Markable positions (the\n"
    "engine's count of words and images across the whole publication) from 0.\n"
    "\n"
    "Every command takes --max-entry-mb M (1 to 2047, default 256): no zip entry\n"
    "is inflated past M megabytes.\n"
    "\n"
    "Exit status: 0 done; 1 the book or an output file could not be used (output\n"
    "that could not be written included); 2 bad command line; 3 the book is\n"
    "damaged, each problem named in a warning: entries that fail to inflate, fail\n"
    "their CRC check or pass the budget, documents of the reading order missing\n"
    "or not laid out, resources the renderer reports missing or unusable, or a\n"
    "package file the engine's XML reader refuses (with its line).\n";

struct Command {
  const char* name;
  int (*run)(const Arguments&);
  const char* help;
  bool layout, zoom;
  std::vector<std::string> flags, valued;
};

const Command kCommands[] = {
    {"info", runInfo, kInfoHelp, true, false, {"--json"}, {"--jobs"}},
    {"toc", runToc, kTocHelp, false, false, {"--json"}, {}},
    {"render",
     runRender,
     kRenderHelp,
     true,
     true,
     {"--all"},
     {"--page", "--pages", "-o", "--jobs"}},
    {"search", runSearch, kSearchHelp, true, false, {"--case", "--json"}, {"--jobs"}},
    {"text", runText, kTextHelp, true, false, {"--json", "--objects"}, {"--pages", "--jobs"}},
    {"highlight", runHighlight, kHighlightHelp, true, true, {}, {"--from", "--to", "-o"}},
    {"cover", runCover, kCoverHelp, true, true, {}, {"-o"}},
    {"extract", runExtract, kExtractHelp, false, false, {}, {"-o"}},
    {"convert", runConvert, kConvertHelp, true, false, {}, {"--pages", "-o"}},
    {"serve", runServe, kServeHelp, false, false, {}, {"--port", "--host"}},
};

// Prints to stdout, then checks that it was written.
int printHelp(const char* text, bool layout, bool zoom) {
  std::fputs(text, stdout);
  if (zoom) std::fputs(kZoomHelp, stdout);
  if (layout) std::printf("\nlayout options:\n%s", kLayoutHelp);
  finishOutput();
  return kDone;
}

int run(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::fputs(kMainHelp, stderr);
    return kUsage;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help")
    return printHelp(kMainHelp, false, false);
  if (args[0] == "--version") {
    std::printf("epubreader %s\n", EPUBREADER_VERSION);
    finishOutput();
    return kDone;
  }
  for (const auto& command : kCommands) {
    if (args[0] != command.name) continue;
    try {
      std::vector<std::string> valued = command.valued;
      if (command.layout) valued.insert(valued.end(), kLayoutOptions.begin(), kLayoutOptions.end());
      if (command.zoom) valued.insert(valued.end(), kZoomOptions.begin(), kZoomOptions.end());
      valued.push_back("--max-entry-mb");
      const Arguments parsed({args.begin() + 1, args.end()}, command.flags, valued);
      if (parsed.help()) return printHelp(command.help, command.layout, command.zoom);
      if (auto v = parsed.value("--max-entry-mb"))
        entryBudget = uint64_t(parseBounded("--max-entry-mb", *v, 1, 2047)) << 20;
      removePartialFilesOnInterrupt();
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
  // Case-insensitive search folds letters beyond ASCII too; the other
  // commands keep the C locale and do not map the locale's character data.
  if (argc > 1 && std::strcmp(argv[1], "search") == 0) std::setlocale(LC_CTYPE, "C.UTF-8");
  try {
    return epubreader::run(argc, argv);
  } catch (const epubreader::Failure& e) {
    std::fprintf(stderr, "epubreader: %s\n", e.message.c_str());
    return e.status;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "epubreader: out of memory\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "epubreader: %s\n", e.what());
  }
  return epubreader::kFailed;
}
