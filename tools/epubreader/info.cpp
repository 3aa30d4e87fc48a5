// info and toc: what the book holds, as text or JSON.
#include "commands.h"
#include "session.h"
#include "toc.h"
#include "utf.h"

namespace epubreader {

using epub::utf::toUtf8;

const char kInfoHelp[] =
    "usage: epubreader info [BOOK] [--json] [layout options]\n"
    "\n"
    "Prints the metadata, the reading order (with each document's pages), the\n"
    "table of contents as an indented tree and the page count at the given\n"
    "page size. Pages are counted from 1.\n"
    "\n"
    "  --json          one JSON object instead of text\n";

const char kTocHelp[] =
    "usage: epubreader toc [BOOK] [--json]\n"
    "\n"
    "Prints the table of contents as an indented tree, and which source it\n"
    "came from: the NCX when the publication has one, otherwise the EPUB 3\n"
    "navigation document (the manifest item with properties=\"nav\").\n"
    "\n"
    "  --json          one JSON object instead of text\n";

namespace {

Json tocJson(const std::vector<TocEntry>& entries) {
  Json out = Json::array();
  for (const auto& e : entries) {
    Json j{{"label", e.label}, {"href", e.href}};
    if (!e.children.empty()) j["children"] = tocJson(e.children);
    out.push_back(std::move(j));
  }
  return out;
}

void printTocTree(const std::vector<TocEntry>& entries, int depth) {
  for (const auto& e : entries) {
    printUtf8(std::string(size_t(depth) * 2, ' ') + e.label + "  -> " + e.href + "\n");
    printTocTree(e.children, depth + 1);
  }
}

std::string tocHeading(const Toc& toc) {
  std::string s = sourceName(toc.source);
  if (!toc.path.empty()) s += " " + toc.path;
  return s;
}

}  // namespace

int runInfo(const Arguments& args) {
  Layout layout;
  layout.read(args);
  Session session(bookArgument(args, 1), layout);
  const int32_t pages = session.load();
  const Toc toc = readToc(session.book(), session.reader());
  const EpubReaderPublicationMetadata* m = EpubReader_getPublicationMetadata(session.reader());
  const std::pair<const char*, const char16_t*> fields[] = {{"title", m->title},
                                                            {"creator", m->creator},
                                                            {"subject", m->subject},
                                                            {"description", m->description},
                                                            {"publisher", m->publisher},
                                                            {"contributor", m->contributor},
                                                            {"type", m->type},
                                                            {"format", m->format},
                                                            {"identifier", m->identifier},
                                                            {"source", m->source},
                                                            {"language", m->language},
                                                            {"relation", m->relation},
                                                            {"coverage", m->coverage},
                                                            {"rights", m->rights}};
  const std::string ncxTitle = toUtf8(EpubReader_getNcxDocTitle(session.reader()));
  const std::string ncxAuthor = toUtf8(EpubReader_getNcxDocAuthor(session.reader()));

  if (args.has("--json")) {
    Json metadata = Json::object();
    for (const auto& [name, value] : fields) metadata[name] = toUtf8(value);
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
         {"metadata", metadata},
         {"ncx", {{"title", ncxTitle}, {"author", ncxAuthor}}},
         {"spine", spine},
         {"toc",
          {{"source", sourceName(toc.source)},
           {"path", toc.path},
           {"entries", tocJson(toc.entries)}}},
         {"layout",
          {{"width", layout.width}, {"height", layout.height}, {"fontSize", layout.fontSize}}},
         {"pages", pages}});
    return session.finish(kDone);
  }
  printUtf8("file: " + session.book().name() + "\npackage: " + session.book().packagePath() + "\n");
  for (const auto& [name, value] : fields)
    if (value && *value) printUtf8(std::string(name) + ": " + toUtf8(value) + "\n");
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
  std::printf("pages: %d (%d x %d points, font size %d)\n", pages, layout.width, layout.height,
              layout.fontSize);
  return session.finish(kDone);
}

int runToc(const Arguments& args) {
  Session session(bookArgument(args, 1), Layout());
  const Toc toc = readToc(session.book(), session.reader());
  if (args.has("--json")) {
    printJson({{"source", sourceName(toc.source)},
               {"path", toc.path},
               {"entries", tocJson(toc.entries)}});
  } else {
    printUtf8("source: " + tocHeading(toc) + "\n");
    printTocTree(toc.entries, 0);
  }
  return session.finish(kDone);
}

}  // namespace epubreader
