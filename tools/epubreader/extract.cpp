// cover and extract: files of the book written out.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>

#include "commands.h"
#include "draw.h"
#include "opf.h"
#include "png_writer.h"

namespace epubreader {

const char kCoverHelp[] =
    "usage: epubreader cover [BOOK] [-o FILE] [layout options] [--zoom Z | -r DPI]\n"
    "\n"
    "Draws the book's cover into a PNG file (default cover.png) at the page\n"
    "size and zoom, and prints where the cover came from and the file. The\n"
    "cover is the image the package document names (its cover meta, else the\n"
    "EPUB 3 cover-image property), drawn alone on the page at the page's\n"
    "width; else the first page of the document the guide names as the\n"
    "cover; else page 1.\n"
    "\n"
    "  -o FILE         the PNG file to write\n";

const char kExtractHelp[] =
    "usage: epubreader extract [BOOK] [-o DIR]\n"
    "\n"
    "Writes the book's images and fonts (the manifest items with an image or\n"
    "font media type, or a font file's extension) into DIR under their\n"
    "container paths, and prints each file's path. A file the archive lacks\n"
    "or cannot inflate is damage (a warning, exit status 3).\n"
    "\n"
    "  -o DIR          the folder to write into, created if missing (default .)\n";

namespace {

// `path` written relative to the folder of the file `from`, percent-encoded
// where an href must be.
std::string relativeHref(const std::string& from, const std::string& path) {
  std::vector<std::string> folder, target;
  for (auto* parts : {&folder, &target}) {
    const std::string& s = parts == &folder ? from : path;
    size_t at = 0;
    for (size_t slash; (slash = s.find('/', at)) != std::string::npos; at = slash + 1)
      parts->push_back(s.substr(at, slash - at));
    if (parts == &target) parts->push_back(s.substr(at));
  }
  size_t common = 0;
  while (common < folder.size() && common + 1 < target.size() && folder[common] == target[common])
    ++common;
  std::string out;
  for (size_t k = common; k < folder.size(); ++k) out += "../";
  for (size_t k = common; k < target.size(); ++k) {
    if (k > common) out += '/';
    for (unsigned char c : target[k]) {
      if (std::isalnum(c) || std::strchr("-._~!$'()*+,;=:@", c)) {
        out.push_back(static_cast<char>(c));
      } else {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%%%02X", c);
        out += hex;
      }
    }
  }
  return out;
}

bool isFontOrImage(const ManifestItem& item) {
  static const std::set<std::string> kFontTypes = {
      "application/font-woff",       "application/font-woff2",     "application/font-sfnt",
      "application/x-font-ttf",      "application/x-font-otf",     "application/x-font-truetype",
      "application/x-font-opentype", "application/vnd.ms-opentype"};
  const std::string& t = item.mediaType;
  if (t.starts_with("image/") || t.starts_with("font/") || kFontTypes.count(t)) return true;
  const std::string ext = std::filesystem::path(item.path).extension().string();
  return ext == ".ttf" || ext == ".otf" || ext == ".woff" || ext == ".woff2";
}

// Writes a file without following a symbolic link in its place.
void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) throw Failure{"cannot write " + path + ": " + std::strerror(errno)};
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = errno;
      ::close(fd);
      throw Failure{"cannot write " + path + ": " + std::strerror(error)};
    }
    done += size_t(n);
  }
  if (::close(fd) != 0) throw Failure{"cannot write " + path + ": " + std::strerror(errno)};
}

}  // namespace

int runCover(const Arguments& args) {
  Layout layout;
  layout.read(args);
  const std::string file = args.value("-o").value_or("cover.png");
  Session session(bookArgument(args, 1), layout);
  const PackageFile package = readPackageFile(session.book());
  const ManifestItem* image = package.byId(package.coverMeta);
  std::string from = "the cover meta";
  if (!image || !image->mediaType.starts_with("image/")) {
    image = package.byProperty("cover-image");
    from = "the cover-image property";
  }
  std::string guide;
  for (const auto& [type, path] : package.guide)
    if (type == "cover" && guide.empty()) guide = path.substr(0, path.find('#'));
  const SpineDoc* slot = session.spine().empty() ? nullptr : &session.spine().front();
  const SpineDoc* guided = nullptr;
  for (const auto& doc : session.spine())
    if (!guided && !guide.empty() && doc.path == guide) guided = &doc;
  std::string said;
  if (image && slot && session.book().has(image->path)) {
    // The image on a page of its own, served in place of the first document.
    session.book().substitute(
        slot->path,
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><html xmlns=\"http://www.w3.org/1999/xhtml\">"
        "<head><title>cover</title><style>@page { margin: 0 } body { margin: 0; padding: 0 }"
        " img { display: block; width: 100% }</style></head><body><img alt=\"\" src=\"" +
            relativeHref(slot->path, image->path) + "\"/></body></html>");
    said = "image " + image->path + " (" + from + ")";
  } else if (guided) {
    slot = guided;
    said = "document " + guided->path + " (the guide)";
  } else {
    slot = nullptr;
  }
  if (slot) {
    EpubReader_loadContent(session.reader(), slot->href.c_str(), nullptr, nullptr);
    session.settle();
    if (EpubReader_getContentPageCount(session.reader(), slot->href.c_str()) <= 0)
      throw Failure{session.book().name() + ": the cover (" + said + ") could not be drawn",
                    kDamaged};
    Canvas canvas(layout);
    EpubReader_drawContent(session.reader(), slot->href.c_str(), 0,
                           reinterpret_cast<intptr_t>(&canvas.bitmap), 0, 0, layout.zoom);
    session.settle();
    std::string error;
    if (!writePng(file, canvas.bitmap, error)) throw Failure{error};
  } else {
    if (!session.reachPage(0)) throw session.noPages();
    said = "page 1 (the book names no cover)";
    drawPng(session, 0, file);
  }
  printUtf8("cover: " + said + "\n" + file + "\n");
  return session.finish(kDone);
}

int runExtract(const Arguments& args) {
  const std::string folder = args.value("-o").value_or(".");
  Session session(bookArgument(args, 1), Layout());
  const PackageFile package = readPackageFile(session.book());
  std::set<std::string> written;
  for (const ManifestItem& item : package.manifest) {
    if (!isFontOrImage(item) || item.path.empty() || !written.insert(item.path).second) continue;
    auto bytes = session.book().read(item.path);
    if (!bytes) {
      if (session.book().missing(item.path))
        session.book().damage(item.path + " is in the manifest but not in the archive");
      continue;
    }
    // Container paths are joined and cleaned ("." and ".." resolved), so
    // they stay inside the folder.
    const std::filesystem::path out = std::filesystem::path(folder) / item.path;
    std::error_code ec;
    std::filesystem::create_directories(out.parent_path(), ec);
    if (ec)
      throw Failure{"cannot create the folder " + out.parent_path().string() + ": " + ec.message()};
    writeFile(out.string(), *bytes);
    printUtf8(out.string() + "\n");
  }
  return session.finish(kDone);
}

}  // namespace epubreader
