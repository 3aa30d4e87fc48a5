// render and highlight: pages drawn into PNG files.
#include <EpubReader/pendrel_mupdf.h>

#include <filesystem>

#include "commands.h"
#include "png_writer.h"
#include "session.h"
#include "utf.h"

namespace epubreader {

using epub::utf::toUtf8;

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

namespace {

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

}  // namespace

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

}  // namespace epubreader
