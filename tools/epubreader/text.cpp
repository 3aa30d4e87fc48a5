// text: the book's words in reading order, in paragraphs.
#include <EpubReader/pendrel_mupdf.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>

#include "commands.h"
#include "session.h"
#include "utf.h"
#include "workers.h"

namespace epubreader {

using epub::utf::toUtf8;

const char kTextHelp[] =
    "usage: epubreader text [BOOK] [--pages A-B] [--json] [layout options]\n"
    "\n"
    "Prints the text of the book, or of the pages asked for, in reading order:\n"
    "the words as the pages show them, one paragraph a line, a blank line\n"
    "between paragraphs. A line begins a paragraph when there is more space\n"
    "above it than between the lines of one, when it is indented or set in\n"
    "another size, or when the line above ends short; every document begins\n"
    "one. The documents are laid out only as far as the last page asked for.\n"
    "\n"
    "  --pages LIST    pages such as 1-20 or 3,5-9,N (N the last page)\n"
    "  --json          each page with its paragraphs and their first and last\n"
    "                  markable positions, as one JSON object (\"continued\":\n"
    "                  the page's first paragraph began on the page before)\n"
    "  --objects       with --json: each page also names its document and\n"
    "                  lists its words and images, each with its box in\n"
    "                  points from the page's top left\n"
    "  --jobs N        without --pages: workers, each laying out its share of\n"
    "                  the documents (default: the number of cores); the output\n"
    "                  is the same for every N\n";

namespace {

struct Paragraph {
  uint32_t from, to;  // markable positions of the first and last word
  std::string text;
};

// A word or image on a page, for --objects.
struct Object {
  PendrelObjectInfo info;
  std::string text;  // a word's
};

struct PageText {
  int32_t page;  // publication page, from 0
  // Whether the first paragraph goes on from the page before.
  bool continued = false;
  std::vector<Paragraph> paragraphs;
  std::vector<Object> objects;  // filled for --objects only
};

// The words and images of one page of a document, in reading order.
std::vector<Object> objectsOf(EpubReader* r, const char16_t* href, int32_t page) {
  std::vector<Object> objects;
  const uint32_t firstIndex = EpubReader_getContentMarkablePosition(r, href, page);
  const uint32_t count = EpubReader_getContentObjectCount(r, href, page);
  for (uint32_t k = 0; k < count; ++k) {
    Object object{};
    if (!EpubReader_getContentObjectInfo(r, href, page, k, &object.info, 0) ||
        (object.info.type != PENDREL_OBJECT_WORD && object.info.type != PENDREL_OBJECT_IMAGE))
      continue;
    if (object.info.type == PENDREL_OBJECT_WORD) {
      const uint32_t i = firstIndex + k;
      const char16_t* word = EpubReader_getContentScrapText(r, href, i, i);
      if (word) object.text = toUtf8(word);
    }
    objects.push_back(std::move(object));
  }
  return objects;
}

// A line of words on a page: the words' object indexes in the document and
// the box around them.
struct Line {
  uint32_t first, last;
  int32_t top, bottom, left, right;
};

// The lines of one page of a document, in reading order.
std::vector<Line> linesOf(EpubReader* r, const char16_t* href, int32_t page) {
  std::vector<Line> lines;
  const uint32_t firstIndex = EpubReader_getContentMarkablePosition(r, href, page);
  const uint32_t count = EpubReader_getContentObjectCount(r, href, page);
  for (uint32_t k = 0; k < count; ++k) {
    PendrelObjectInfo info{};
    if (!EpubReader_getContentObjectInfo(r, href, page, k, &info, 0) ||
        info.type != PENDREL_OBJECT_WORD)
      continue;
    // A word whose top is below the middle of the line begins the next.
    Line* line = lines.empty() ? nullptr : &lines.back();
    if (line && 2 * info.y < line->top + line->bottom) {
      line->last = firstIndex + k;
      line->top = std::min(line->top, info.y);
      line->bottom = std::max(line->bottom, info.y + info.height);
      line->left = std::min(line->left, info.x);
      line->right = std::max(line->right, info.x + info.width);
    } else {
      lines.push_back({firstIndex + k, firstIndex + k, info.y, info.y + info.height, info.x,
                       info.x + info.width});
    }
  }
  return lines;
}

// The paragraphs of some pages of one document (pages within it, in order).
std::vector<PageText> documentText(Session& s, const SpineDoc& doc,
                                   const std::vector<int32_t>& pages, bool objects) {
  EpubReader* r = s.reader();
  const char16_t* href = doc.href.c_str();
  std::vector<PageText> out;
  int32_t lastPage = -2;
  for (int32_t page : pages) {
    PageText text{doc.firstPage + page, false, {}, {}};
    const std::vector<Line> lines = linesOf(r, href, page);
    int32_t right = 0;  // where the page's full lines end
    for (const Line& line : lines) right = std::max(right, line.right);
    for (size_t i = 0; i < lines.size(); ++i) {
      const Line& line = lines[i];
      const int32_t height = line.bottom - line.top;
      // A line begins a paragraph when there is more space above it than
      // between the lines of one, when it is indented or set in another
      // size, or when the line above ends short of the others. A page's
      // first line goes on with the paragraph of the page before, when
      // that page was printed.
      bool starts;
      if (i > 0) {
        const Line& above = lines[i - 1];
        const int32_t aboveHeight = above.bottom - above.top;
        starts = line.top - above.bottom > std::max(2, height / 2) ||
                 line.left > above.left + height / 2 ||
                 std::abs(height - aboveHeight) * 5 > aboveHeight ||
                 above.right < right - 3 * aboveHeight;
      } else {
        starts = page != lastPage + 1;
        text.continued = !starts;
      }
      const char16_t* words = EpubReader_getContentScrapText(r, href, line.first, line.last);
      const std::string said = words ? toUtf8(words) : std::string();
      if (starts || text.paragraphs.empty())
        text.paragraphs.push_back(
            {doc.firstObject + line.first, doc.firstObject + line.last, said});
      else {
        Paragraph& p = text.paragraphs.back();
        p.to = doc.firstObject + line.last;
        p.text += (p.text.empty() || said.empty() ? "" : " ") + said;
      }
    }
    if (objects) text.objects = objectsOf(r, href, page);
    lastPage = page;
    out.push_back(std::move(text));
  }
  s.settle();
  return out;
}

void printText(const std::vector<PageText>& pages, bool& first) {
  for (const auto& page : pages)
    for (size_t i = 0; i < page.paragraphs.size(); ++i) {
      const bool goesOn = i == 0 && page.continued;
      printUtf8((first ? "" : goesOn ? " " : "\n\n") + page.paragraphs[i].text);
      first = false;
    }
}

}  // namespace

int runText(const Arguments& args) {
  Layout layout;
  layout.read(args);
  Session session(bookArgument(args, 1), layout);
  session.countObjects = true;
  // The pages asked for, by document.
  std::vector<std::vector<int32_t>> wanted(session.spine().size());
  std::vector<std::vector<PageText>> found(session.spine().size());
  const bool objects = args.has("--objects") && args.has("--json");
  const unsigned jobs = args.has("--pages") ? 1 : jobsOption(args, session);
  if (jobs > 1) {
    Workers workers(bookArgument(args, 1), session, jobs);
    workers.layOut();
    Progress bar("reading");
    std::mutex mutex;
    uint32_t done = 0;
    workers.forEachDocument([&](Session& worker, size_t d) {
      std::vector<int32_t> all(size_t(session.spine()[d].pages));
      for (size_t p = 0; p < all.size(); ++p) all[p] = int32_t(p);
      found[d] = documentText(worker, session.spine()[d], all, objects);
      std::lock_guard lock(mutex);
      bar.show(++done, uint32_t(found.size()));
    });
  } else {
    std::vector<int32_t> list;
    if (auto v = args.value("--pages")) {
      list = session.pageList("--pages", *v);
      std::sort(list.begin(), list.end());
    } else {
      list.resize(size_t(session.load()));
      for (size_t p = 0; p < list.size(); ++p) list[p] = int32_t(p);
    }
    for (int32_t page : list) {
      const int d = session.docOfPage(page);
      wanted[size_t(d)].push_back(page - session.spine()[size_t(d)].firstPage);
    }
    Progress bar("reading");
    for (size_t d = 0; d < wanted.size(); ++d) {
      if (!wanted[d].empty())
        found[d] = documentText(session, session.spine()[d], wanted[d], objects);
      bar.show(uint32_t(d + 1), uint32_t(wanted.size()));
    }
  }
  if (args.has("--json")) {
    Json pages = Json::array();
    for (size_t d = 0; d < found.size(); ++d)
      for (const auto& page : found[d]) {
        Json paragraphs = Json::array();
        for (const auto& p : page.paragraphs)
          paragraphs.push_back({{"from", p.from}, {"to", p.to}, {"text", p.text}});
        Json entry = {
            {"page", page.page + 1}, {"continued", page.continued}, {"paragraphs", paragraphs}};
        if (objects) {
          Json list = Json::array();
          for (const auto& o : page.objects) {
            const PendrelObjectInfo& i = o.info;
            Json item = {{"kind", i.type == PENDREL_OBJECT_WORD ? "word" : "image"},
                         {"x", i.x},
                         {"y", i.y},
                         {"width", i.width},
                         {"height", i.height}};
            if (i.type == PENDREL_OBJECT_WORD) item["text"] = o.text;
            list.push_back(std::move(item));
          }
          entry["document"] = toUtf8(session.spine()[d].href);
          entry["objects"] = std::move(list);
        }
        pages.push_back(std::move(entry));
      }
    printJson({{"file", session.book().name()}, {"pages", pages}});
    return session.finish(kDone);
  }
  bool first = true;
  for (const auto& doc : found) printText(doc, first);
  if (!first) printUtf8("\n");
  return session.finish(kDone);
}

}  // namespace epubreader
