// info and toc: what the book holds, as text or JSON.
#include "commands.h"
#include "opf.h"
#include "session.h"
#include "toc.h"
#include "utf.h"
#include "workers.h"

namespace epubreader {

using epub::utf::toUtf8;

const char kInfoHelp[] =
    "usage: epubreader info [BOOK] [--json] [layout options]\n"
    "\n"
    "Prints the metadata (with the date, the unique identifier and the\n"
    "modification time, which the command reads from the package document,\n"
    "as it reads metadata written with a namespace prefix), the reading order\n"
    "(with each document's pages), the table of contents as an indented tree,\n"
    "the EPUB 3 landmarks and page list when the book has them, and the page\n"
    "count at the given page size. Pages are counted from 1.\n"
    "\n"
    "  --json          one JSON object instead of text\n"
    "  --jobs N        workers, each laying out its share of the documents\n"
    "                  (default: the number of cores); the output is the same\n"
    "                  for every N\n";

const char kTocHelp[] =
    "usage: epubreader toc [BOOK] [--json]\n"
    "\n"
    "Prints the table of contents as an indented tree, and which source it\n"
    "came from: the NCX when the publication has one, otherwise the EPUB 3\n"
    "navigation document (the manifest item with properties=\"nav\").\n"
    "Entries nested deeper than 32 levels are listed at level 32.\n"
    "\n"
    "  --json          one JSON object instead of text\n";

namespace {

// The tree is at most kMaxTocDepth deep, so this recursion is bounded.
Json tocJson(const std::vector<TocEntry>& entries) {
  Json out = Json::array();
  for (const auto& e : entries) {
    Json j{{"label", e.label}, {"href", e.href}};
    if (!e.children.empty()) j["children"] = tocJson(e.children);
    out.push_back(std::move(j));
  }
  return out;
}

void printTocTree(const std::vector<TocEntry>& entries, size_t indent) {
  forEachTocEntry(entries, [&](const TocEntry& e, size_t depth) {
    printUtf8(std::string((indent + depth - 1) * 2, ' ') + e.label + "  -> " + e.href + "\n");
  });
}

std::string tocHeading(const Toc& toc) {
  std::string s = sourceName(toc.source);
  if (!toc.path.empty()) s += " " + toc.path;
  return s;
}

Json tocObject(const Toc& toc) {
  return {
      {"source", sourceName(toc.source)}, {"path", toc.path}, {"entries", tocJson(toc.entries)}};
}

void noteCapped(const Toc& toc) {
  if (toc.capped)
    std::fprintf(stderr,
                 "epubreader: note: contents nested deeper than %zu levels are listed at "
                 "level %zu\n",
                 kMaxTocDepth, kMaxTocDepth);
}

}  // namespace

int runInfo(const Arguments& args) {
  Layout layout;
  layout.read(args);
  Session session(bookArgument(args, 1), layout);
  const unsigned jobs = jobsOption(args, session);
  const int32_t pages =
      jobs > 1 ? Workers(bookArgument(args, 1), session, jobs).layOut() : session.load();
  const Toc toc = readToc(session.book(), session.reader());
  const PackageFile package = readPackageFile(session.book());
  const EpubReaderPublicationMetadata* m = EpubReader_getPublicationMetadata(session.reader());
  const std::pair<const char*, const char16_t*> fields[] = {
      {"title", m->title},         {"creator", m->creator},
      {"subject", m->subject},     {"description", m->description},
      {"publisher", m->publisher}, {"contributor", m->contributor},
      {"date", nullptr},           {"type", m->type},
      {"format", m->format},       {"identifier", m->identifier},
      {"source", m->source},       {"language", m->language},
      {"relation", m->relation},   {"coverage", m->coverage},
      {"rights", m->rights}};
  // The engine's records, and where they are empty what the package
  // document holds in any prefix (the date the engine never hands over).
  std::vector<std::pair<std::string, std::string>> metadata;
  for (const auto& [name, value] : fields) {
    std::string text = value ? toUtf8(value) : "";
    if (text.empty())
      text = std::string_view(name) == "date" ? package.first(name) : package.last(name);
    if (std::string_view(name) == "identifier" && text == package.uniqueIdentifier) text.clear();
    metadata.emplace_back(name, text);
  }
  metadata.emplace_back("uniqueIdentifier", package.uniqueIdentifier);
  metadata.emplace_back("modified", package.modified);
  const std::string ncxTitle = toUtf8(EpubReader_getNcxDocTitle(session.reader()));
  const std::string ncxAuthor = toUtf8(EpubReader_getNcxDocAuthor(session.reader()));

  if (args.has("--json")) {
    Json meta = Json::object();
    for (const auto& [name, value] : metadata) meta[name] = value;
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
         {"metadata", meta},
         {"ncx", {{"title", ncxTitle}, {"author", ncxAuthor}}},
         {"spine", spine},
         {"toc", tocObject(toc)},
         {"landmarks", tocJson(toc.landmarks)},
         {"pageList", tocJson(toc.pageList)},
         {"layout",
          {{"width", layout.width}, {"height", layout.height}, {"fontSize", layout.fontSize}}},
         {"pages", pages}});
    noteCapped(toc);
    return session.finish(kDone);
  }
  printUtf8("file: " + session.book().name() + "\npackage: " + session.book().packagePath() + "\n");
  for (const auto& [name, value] : metadata)
    if (!value.empty())
      printUtf8((name == "uniqueIdentifier" ? std::string("unique identifier") : name) + ": " +
                value + "\n");
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
  if (!toc.landmarks.empty()) {
    std::printf("landmarks (%zu):\n", toc.landmarks.size());
    printTocTree(toc.landmarks, 1);
  }
  if (!toc.pageList.empty()) {
    std::string line = "page list (" + std::to_string(toc.pageList.size()) + "):";
    for (const auto& e : toc.pageList) line += " " + e.label;
    printUtf8(line + "\n");
  }
  std::printf("pages: %d (%d x %d points, font size %d)\n", pages, layout.width, layout.height,
              layout.fontSize);
  noteCapped(toc);
  return session.finish(kDone);
}

int runToc(const Arguments& args) {
  Session session(bookArgument(args, 1), Layout());
  const Toc toc = readToc(session.book(), session.reader());
  if (args.has("--json")) {
    printJson(tocObject(toc));
  } else {
    printUtf8("source: " + tocHeading(toc) + "\n");
    printTocTree(toc.entries, 0);
  }
  noteCapped(toc);
  return session.finish(kDone);
}

}  // namespace epubreader
