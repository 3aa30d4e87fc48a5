// render and highlight: pages drawn into PNG files.
#include <filesystem>

#include "commands.h"
#include "draw.h"
#include "png_writer.h"
#include "utf.h"

namespace epubreader {

using epub::utf::toUtf8;

const char kRenderHelp[] =
    "usage: epubreader render [BOOK] (--page N | --pages LIST | --all) [-o DIR]\n"
    "                         [layout options] [--zoom Z | -r DPI]\n"
    "\n"
    "Draws pages into PNG files DIR/page-NNN.png and prints each file's path.\n"
    "NNN is the page number with leading zeros to three digits, or to as many\n"
    "as the book's page count has, so that the names sort in page order.\n"
    "Pages are counted from 1: the first page of the book is page 1.\n"
    "A progress bar is shown on stderr when it is a terminal.\n"
    "\n"
    "  --page N        one page (N alone is the last page)\n"
    "  --pages LIST    pages such as 1,3,5-9,N: single pages and ranges A-B\n"
    "                  (both included), N the last page\n"
    "  --all           every page\n"
    "  -o DIR          folder for the files, created if missing (default .)\n";

const char kHighlightHelp[] =
    "usage: epubreader highlight [BOOK] --from POS --to POS [-o FILE]\n"
    "                            [layout options] [--zoom Z | -r DPI]\n"
    "\n"
    "Adds a highlight (a scrap) over markable positions POS to POS, both\n"
    "included (as 'search' prints them), prints its text and draws the page\n"
    "that holds its start into FILE (default highlight.png).\n"
    "\n"
    "  --from POS      first markable position\n"
    "  --to POS        last markable position\n"
    "  -o FILE         the PNG file to write\n";

Canvas::Canvas(const Layout& layout) {
  bitmap.width = layout.width * layout.zoom / 100;
  bitmap.height = layout.height * layout.zoom / 100;
  bitmap.stride = bitmap.width * 4;
  pixels.resize(size_t(bitmap.stride) * size_t(bitmap.height));
  bitmap.pixels = pixels.data();
}

void drawPng(Session& session, int32_t page, const std::string& file) {
  Canvas canvas(session.layout());
  EpubReader_draw(session.reader(), page, reinterpret_cast<intptr_t>(&canvas.bitmap), 0, 0,
                  session.layout().zoom);
  session.settle();
  std::string error;
  if (!writePng(file, canvas.bitmap, error)) throw Failure{error};
}

namespace {

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

std::vector<int32_t> selectedPages(const Session& session, const Arguments& args) {
  for (const char* option : {"--page", "--pages"})
    if (auto v = args.value(option)) return session.pageList(option, *v);
  if (session.pages() == 0) throw session.noPages();
  std::vector<int32_t> all(static_cast<size_t>(session.pages()));
  for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int32_t>(i);
  return all;
}

int runRender(const Arguments& args) {
  Layout layout;
  layout.read(args);
  const int chosen = args.has("--page") + args.has("--pages") + args.has("--all");
  if (chosen != 1) throw UsageError{"render needs exactly one of --page N, --pages LIST, --all"};
  const std::string folder = args.value("-o").value_or(".");
  Session session(bookArgument(args, 1), layout);
  const int32_t pages = session.load();
  const std::vector<int32_t> list = selectedPages(session, args);
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (!std::filesystem::is_directory(folder))
    throw Failure{"cannot create the folder " + folder + (ec ? ": " + ec.message() : "")};

  const int digits = std::max<int>(3, int(std::to_string(pages).size()));
  Progress bar("drawing");
  for (size_t k = 0; k < list.size(); ++k) {
    std::string number = std::to_string(list[k] + 1);
    number.insert(0, size_t(std::max<int>(0, digits - int(number.size()))), '0');
    const std::string path = (std::filesystem::path(folder) / ("page-" + number + ".png")).string();
    drawPng(session, list[k], path);
    bar.finish();
    printUtf8(path + "\n");
    bar.show(uint32_t(k + 1), uint32_t(list.size()));
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
  drawPng(session, page, file);
  printUtf8("page " + std::to_string(page + 1) + ": " + text + "\n" + file + "\n");
  return session.finish(kDone);
}

}  // namespace epubreader
