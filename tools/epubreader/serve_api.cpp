#include "serve_api.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string_view>

#include "utf.h"

extern "C" {
extern const unsigned char epubreader_web_library_html[], epubreader_web_reader_html[],
    epubreader_web_reader_js[], epubreader_web_library_js[], epubreader_web_style_css[];
extern const size_t epubreader_web_library_html_size, epubreader_web_reader_html_size,
    epubreader_web_reader_js_size, epubreader_web_library_js_size, epubreader_web_style_css_size;
}

namespace epubreader {

namespace {

using httplib::Request;
using httplib::Response;

struct Asset {
  const char* name;
  const unsigned char* data;
  const size_t* size;
  const char* type;
};

const Asset kAssets[] = {
    {"reader.js", epubreader_web_reader_js, &epubreader_web_reader_js_size, "text/javascript"},
    {"library.js", epubreader_web_library_js, &epubreader_web_library_js_size, "text/javascript"},
    {"style.css", epubreader_web_style_css, &epubreader_web_style_css_size, "text/css"},
};

std::string text(const unsigned char* data, size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

// A request that cannot be answered: the status and why.
struct Refusal {
  int status;
  std::string message;
};

std::string escapeHtml(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    const char* entity = c == '&'    ? "&amp;"
                         : c == '<'  ? "&lt;"
                         : c == '>'  ? "&gt;"
                         : c == '"'  ? "&quot;"
                         : c == '\'' ? "&#39;"
                                     : nullptr;
    if (entity)
      out += entity;
    else
      out += c;
  }
  return out;
}

void replaceAll(std::string& s, std::string_view from, const std::string& to) {
  for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
    s.replace(at, from.size(), to);
}

void sendJson(Response& res, const Json& json, int status = 200) {
  res.status = status;
  res.set_header("Cache-Control", "no-store");
  res.set_content(json.dump(-1, ' ', false, Json::error_handler_t::replace), "application/json");
}

void sendHtml(Response& res, const std::string& html, int status = 200) {
  res.status = status;
  res.set_header("Cache-Control", "no-store");
  res.set_content(html, "text/html; charset=utf-8");
}

void sendPng(Response& res, const std::vector<uint8_t>& png) {
  res.set_header("Cache-Control", "no-store");
  res.set_content(reinterpret_cast<const char*>(png.data()), png.size(), "image/png");
}

std::string errorPage(const std::string& heading, const std::string& detail) {
  return "<!doctype html><html lang=\"en\"><head><meta charset=\"utf-8\"><title>" +
         escapeHtml(heading) +
         "</title><link rel=\"stylesheet\" href=\"/assets/style.css\"></head>"
         "<body class=\"message\"><main><h1>" +
         escapeHtml(heading) + "</h1><p>" + escapeHtml(detail) +
         "</p><p><a href=\"/\">Back to the start</a></p></main></body></html>\n";
}

// The reader page for a book, or the page that says why it cannot be read.
void sendReader(Response& res, LibraryBook& entry) {
  if (!entry.book->error().empty())
    return sendHtml(res, errorPage("This book cannot be opened", entry.book->error()), 500);
  std::string html = text(epubreader_web_reader_html, epubreader_web_reader_html_size);
  replaceAll(html, "{{BOOK}}", entry.id);
  replaceAll(html, "{{TITLE}}", escapeHtml(entry.book->title()));
  sendHtml(res, html);
}

// A whole number parameter from low to high; `fallback` when it is absent.
long long number(const Request& req, const char* name, long long low, long long high,
                 std::optional<long long> fallback = std::nullopt) {
  const std::string range =
      " must be a number from " + std::to_string(low) + " to " + std::to_string(high);
  if (req.get_param_value_count(name) > 1)
    throw Refusal{400, std::string(name) + " is given more than once"};
  if (!req.has_param(name)) {
    if (fallback) return *fallback;
    throw Refusal{400, std::string("the parameter ") + name + " is missing: it" + range};
  }
  const auto value = parseNumber(req.get_param_value(name));
  if (!value || *value < low || *value > high) throw Refusal{400, std::string(name) + range};
  return *value;
}

View viewOf(const Request& req) {
  const View fallback;
  return {int(number(req, "w", 50, 4096, fallback.width)),
          int(number(req, "h", 50, 4096, fallback.height)),
          int(number(req, "font", 4, 200, fallback.fontSize))};
}

int32_t pageOf(const Request& req) { return int32_t(number(req, "n", 0, INT32_MAX)); }

uint32_t positionOf(const Request& req, const char* name) {
  return uint32_t(number(req, name, 0, UINT32_MAX));
}

Refusal noPage(OpenBook& book, const View& view, int32_t page) {
  const BookStatus status = book.status(view);
  return {404, "no page " + std::to_string(page) + ": pages run from 0 to " +
                   std::to_string(status.pages - 1)};
}

Json contentsJson(const std::vector<ContentsEntry>& entries) {
  Json out = Json::array();
  for (const auto& e : entries) {
    Json j{{"label", e.label}, {"page", e.page < 0 ? Json() : Json(e.page)}};
    if (!e.children.empty()) j["children"] = contentsJson(e.children);
    out.push_back(std::move(j));
  }
  return out;
}

Json highlightJson(const Highlight& h) {
  return {{"from", h.from}, {"to", h.to}, {"text", h.text}};
}

using BookHandler = std::function<void(const Request&, Response&, OpenBook&)>;

// The CPU time of the calling thread, in milliseconds.
double threadMilliseconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// A route under /api/books/ID: the book found by its id, refusals, and the
// answer's server time and its thread's CPU time reported as browsers show
// them (on a busy machine the CPU time is the steadier figure).
httplib::Server::Handler bookRoute(Library& library, BookHandler handler) {
  return [&library, handler](const Request& req, Response& res) {
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = threadMilliseconds();
    try {
      LibraryBook* entry = library.find(req.matches[1].str());
      if (!entry) throw Refusal{404, "no such book"};
      if (!entry->book->error().empty()) throw Refusal{500, entry->book->error()};
      handler(req, res, *entry->book);
    } catch (const Refusal& refusal) {
      sendJson(res, {{"error", refusal.message}}, refusal.status);
    }
    const std::chrono::duration<double, std::milli> spent =
        std::chrono::steady_clock::now() - start;
    char timing[64];
    std::snprintf(timing, sizeof timing, "app;dur=%.2f, cpu;dur=%.2f", spent.count(),
                  threadMilliseconds() - cpuStart);
    res.set_header("Server-Timing", timing);
  };
}

void addBookRoutes(httplib::Server& server, Library& library) {
  const std::string book = R"(/api/books/([0-9a-z-]{1,40}))";
  server.Get(book, bookRoute(library, [&](const Request& req, Response& res, OpenBook& b) {
               const BookStatus status = b.status(viewOf(req));
               sendJson(res, {{"id", req.matches[1].str()},
                              {"title", b.title()},
                              {"author", b.author()},
                              {"pages", status.pages},
                              {"complete", status.complete},
                              {"current", status.current},
                              {"contents", contentsJson(status.contents)},
                              {"damaged", status.damaged}});
             }));
  server.Get(book + "/cover.png",
             bookRoute(library, [](const Request&, Response& res, OpenBook& b) {
               std::vector<uint8_t> png;
               if (!b.drawCover(180, 240, png)) throw Refusal{404, "the book has no pages"};
               sendPng(res, png);
             }));
  server.Get(
      book + "/page.png", bookRoute(library, [](const Request& req, Response& res, OpenBook& b) {
        const View view = viewOf(req);
        const int32_t page = pageOf(req);
        const int zoom = int(number(req, "zoom", 25, 400, 100));
        const long long width = view.width * zoom / 100, height = view.height * zoom / 100;
        if (width > 8192 || height > 8192 || width * height > 4096 * 4096)
          throw Refusal{400, "the page would be larger than 8192 pixels a side or 16 megapixels"};
        std::optional<std::pair<uint32_t, uint32_t>> mark;
        if (req.has_param("from") || req.has_param("to"))
          mark = {{positionOf(req, "from"), positionOf(req, "to")}};
        std::vector<uint8_t> png;
        if (!b.drawPage(view, page, zoom, mark, png)) throw noPage(b, view, page);
        sendPng(res, png);
      }));
  server.Get(book + "/objects",
             bookRoute(library, [](const Request& req, Response& res, OpenBook& b) {
               const View view = viewOf(req);
               const int32_t page = pageOf(req);
               const auto found = b.objects(view, page);
               if (!found) throw noPage(b, view, page);
               Json list = Json::array();
               for (const auto& o : found->objects)
                 list.push_back({o.x, o.y, o.width, o.height, o.position, o.anchor ? 1 : 0});
               sendJson(res, {{"page", page}, {"first", found->first}, {"objects", list}});
             }));
  server.Get(book + "/link", bookRoute(library, [](const Request& req, Response& res, OpenBook& b) {
               const View view = viewOf(req);
               const int32_t page = pageOf(req);
               const auto to = b.follow(view, page, positionOf(req, "pos"));
               sendJson(res, {{"page", to ? Json(*to) : Json()}});
             }));
  server.Get(book + "/locate",
             bookRoute(library, [](const Request& req, Response& res, OpenBook& b) {
               const uint32_t position = positionOf(req, "pos");
               const auto page = b.locate(viewOf(req), position);
               if (!page)
                 throw Refusal{404, "the book has no position " + std::to_string(position)};
               sendJson(res, {{"page", *page}});
             }));
  server.Get(
      book + "/search", bookRoute(library, [](const Request& req, Response& res, OpenBook& b) {
        const std::string q = req.get_param_value("q");
        if (q.empty() || q.size() > 200 || req.get_param_value_count("q") != 1)
          throw Refusal{400, "q must be one text of 1 to 200 bytes"};
        const bool matchCase = number(req, "case", 0, 1, 0) == 1;
        const SearchResult found = b.search(viewOf(req), epub::utf::fromUtf8(q), matchCase);
        const size_t kListed = 500;
        Json list = Json::array();
        for (size_t i = 0; i < found.hits.size() && i < kListed; ++i) {
          const SearchHit& h = found.hits[i];
          list.push_back({{"page", h.page}, {"from", h.from}, {"to", h.to}, {"line", h.line}});
        }
        sendJson(res, {{"count", found.hits.size()}, {"hits", list}});
      }));
  const std::string highlights = book + "/highlights";
  server.Get(highlights, bookRoute(library, [](const Request&, Response& res, OpenBook& b) {
               Json list = Json::array();
               for (const auto& h : b.highlights()) list.push_back(highlightJson(h));
               sendJson(res, list);
             }));
  server.Post(highlights, bookRoute(library, [](const Request& req, Response& res, OpenBook& b) {
                Highlight added;
                const std::string why =
                    b.addHighlight(positionOf(req, "from"), positionOf(req, "to"), added);
                if (!why.empty()) throw Refusal{400, why};
                sendJson(res, highlightJson(added), 201);
              }));
  server.Delete(highlights, bookRoute(library, [](const Request& req, Response& res, OpenBook& b) {
                  if (!b.removeHighlight(positionOf(req, "from"), positionOf(req, "to")))
                    throw Refusal{404, "no such highlight"};
                  sendJson(res, {{"removed", true}});
                }));
}

}  // namespace

void addRoutes(httplib::Server& server, Library& library) {
  server.set_pre_routing_handler([](const Request& req, Response& res) {
    if (req.params.size() <= kMostParameters) return httplib::Server::HandlerResponse::Unhandled;
    sendJson(res, {{"error", "more than " + std::to_string(kMostParameters) + " parameters"}}, 400);
    return httplib::Server::HandlerResponse::Handled;
  });
  // Answers that carry nothing yet (an unknown path, a refused method) get
  // a page or a JSON error that says so.
  server.set_error_handler([](const Request& req, Response& res) {
    if (!res.body.empty()) return;
    const char* reason = res.status == 404   ? " not found"
                         : res.status == 413 ? " request too large"
                         : res.status == 414 ? " address too long"
                         : res.status == 405 ? " method not allowed"
                         : res.status == 400 ? " bad request"
                                             : "";
    const std::string what = std::to_string(res.status) + reason;
    if (req.path.starts_with("/api/"))
      sendJson(res, {{"error", what}}, res.status);
    else
      sendHtml(res, errorPage(what, "There is nothing at " + req.path + "."), res.status);
  });
  server.set_exception_handler([](const Request&, Response& res, std::exception_ptr) {
    sendJson(res, {{"error", "the server failed to answer"}}, 500);
  });

  server.Get("/", [&library](const Request&, Response& res) {
    if (library.isFolder())
      return sendHtml(res, text(epubreader_web_library_html, epubreader_web_library_html_size));
    sendReader(res, library.books().front());
  });
  server.Get(R"(/read/([0-9a-z-]{1,40}))", [&library](const Request& req, Response& res) {
    if (LibraryBook* entry = library.find(req.matches[1].str())) return sendReader(res, *entry);
    sendHtml(res, errorPage("No such book", "This server has no book of that id."), 404);
  });
  server.Get(R"(/assets/([a-z]+\.[a-z]+))", [](const Request& req, Response& res) {
    for (const auto& a : kAssets)
      if (req.matches[1].str() == a.name) {
        res.set_header("Cache-Control", "no-cache");
        return res.set_content(reinterpret_cast<const char*>(a.data), *a.size, a.type);
      }
    res.status = 404;
  });
  server.Get("/favicon.ico", [](const Request&, Response& res) { res.status = 204; });
  server.Get("/api/books", [&library](const Request&, Response& res) {
    Json list = Json::array();
    for (auto& b : library.books()) {
      Json j{
          {"id", b.id}, {"file", b.file}, {"title", b.book->title()}, {"author", b.book->author()}};
      if (!b.book->error().empty()) j["error"] = b.book->error();
      list.push_back(std::move(j));
    }
    sendJson(res, list);
  });
  addBookRoutes(server, library);
}

}  // namespace epubreader
