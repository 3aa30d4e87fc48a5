#include "archive.h"

#include <algorithm>
#include <cstring>

#include "bands.h"
#include "budgets.h"
#include "css_text.h"
#include "gif.h"

namespace pendrel_mupdf {
namespace {

// 64 megapixels (8192 x 8192): larger pictures are reported as unusable, as
// decoding one would cost gigabytes.
constexpr int64_t kMaxImagePixels = int64_t(1) << 26;
// The side an image is decoded at to check it: formats that can (JPEG)
// decode at a fraction of their size, so a large picture costs no large
// bitmap.
constexpr float kCheckSide = 128;
// Raster background images kept at once; past that the cache starts again.
constexpr size_t kKeptImages = 64;

void dropImages(fz_context* ctx, std::unordered_map<std::string, fz_image*>& images) {
  for (auto& [path, image] : images) fz_drop_image(ctx, image);
  images.clear();
}

void report(Parse& p, const std::string& resource, intptr_t reason) {
  report(p.r, p.reportFor, resource, reason);
}

// The pixels of an image file that decodes completely, else 0. MuPDF
// decodes images only when drawing them, and a failure there would end the
// page's drawing; a broken image is refused here instead, so MuPDF stands
// its alternative in.
uint64_t imageDecodes(ZaveVevode& r, const std::string& path, std::string_view data) {
  auto known = r.resources.imageChecked.find(path);
  if (known != r.resources.imageChecked.end()) return known->second;
  fz_context* ctx = r.ctx;
  unsigned char magic[8] = {};
  std::memcpy(magic, data.data(), std::min<size_t>(8, data.size()));
  volatile uint64_t pixels = 0;
  fz_buffer* buf = nullptr;
  fz_image* image = nullptr;
  fz_pixmap* pixmap = nullptr;
  fz_var(buf);
  fz_var(image);
  fz_var(pixmap);
  fz_try(ctx) {
    const int format = fz_recognize_image_format(ctx, magic);
    if (format != FZ_IMAGE_UNKNOWN) {
      buf = fz_new_buffer_from_copied_data(ctx, reinterpret_cast<const unsigned char*>(data.data()),
                                           data.size());
      image = fz_new_image_from_buffer(ctx, buf);
      // A GIF's frames are decoded each at its own size, whatever the
      // picture's: their pixels count too.
      if (static_cast<int64_t>(image->w) * image->h > kMaxImagePixels)
        fz_throw(ctx, FZ_ERROR_GENERIC, "image too large");
      if (format == FZ_IMAGE_GIF &&
          gifDecodedPixels(data, kMaxImagePixels) > uint64_t(kMaxImagePixels))
        fz_throw(ctx, FZ_ERROR_GENERIC, "GIF frames too large");
      fz_matrix small = fz_scale(kCheckSide, kCheckSide);
      int w = 0, h = 0;
      pixmap = fz_get_pixmap_from_image(ctx, image, nullptr, &small, &w, &h);
      pixels = std::max<uint64_t>(1, static_cast<uint64_t>(image->w) * image->h);
    }
  }
  fz_always(ctx) {
    fz_drop_pixmap(ctx, pixmap);
    fz_drop_image(ctx, image);
    fz_drop_buffer(ctx, buf);
  }
  fz_catch(ctx) { pixels = 0; }
  r.resources.imageChecked.emplace(path, pixels);
  return pixels;
}

// Whether an image's pixels and bytes fit the document's image budget,
// counted once per file (every reference shares its bytes).
bool withinImageBudget(Parse& p, uint64_t pixels, size_t bytes) {
  if (p.imagePixels + pixels > kMaxDocumentImagePixels ||
      p.imageBytes + bytes > kMaxDocumentImageBytes)
    return false;
  p.imagePixels += pixels;
  p.imageBytes += bytes;
  return true;
}

// Whether one more style sheet fits the budget of sheets read, counted in
// `sheets`; the one past it is reported.
bool anotherSheet(Parse& p, size_t& sheets, const std::string& path) {
  if (sheets >= kMaxStyleSheets) {
    report(p, path, kOverStyleSheets);
    return false;
  }
  ++sheets;
  return true;
}

// A style sheet as UTF-8 with its imports in place (missing imports
// reported), or nullopt when the host lacks it; it and its imports count
// in `sheets`.
std::optional<std::string> sheetText(Parse& p, const std::string& path, size_t& sheets,
                                     std::optional<std::string_view> data = std::nullopt) {
  if (!data) data = readHost(p.r, path);
  if (!data) return std::nullopt;
  auto read = [&p, &sheets](const std::string& imported) -> std::optional<std::string> {
    if (!anotherSheet(p, sheets, imported)) return std::nullopt;
    std::optional<std::string_view> bytes = readHost(p.r, imported);
    if (!bytes) {
      report(p, imported, kResourceMissing);
      return std::nullopt;
    }
    return cssToUtf8(*bytes);
  };
  std::string_view declared;
  if (p.reportFor)
    for (const auto& [sheetPath, charset] : p.reportFor->charsets)
      if (sheetPath == path) declared = charset;
  return expandImports(cssToUtf8(*data, declared), path, read);
}

// MuPDF joins the references inside an SVG file to the document's folder:
// a name the host lacks is looked for beside the SVG files served for the
// document, the latest first.
std::optional<std::string> besideSvg(Parse& p, std::string_view name) {
  std::string prefix = p.base;
  prefix += '/';
  if (p.svgServed.empty() || name.substr(0, prefix.size()) != prefix) return std::nullopt;
  std::string_view href = name.substr(prefix.size());
  for (auto svg = p.svgServed.rbegin(); svg != p.svgServed.rend(); ++svg) {
    std::string path = resolveHref(*svg, href);
    if (!path.empty() && readHost(p.r, path)) return path;
  }
  return std::nullopt;
}

// The bytes of one file the first time a parse needs it, or null
// (reported), checked against the budgets: an SVG file's size and
// expansion, the images' pixels and bytes.
fz_buffer* serveOnce(Parse& p, std::string path, const char* name) {
  ZaveVevode& r = p.r;
  std::optional<std::string_view> data = readHost(r, path);
  if (!data) {
    if (std::optional<std::string> beside = besideSvg(p, name)) {
      path = std::move(*beside);
      data = readHost(r, path);
    }
  }
  if (!data) {
    report(p, path, kResourceMissing);
    return nullptr;
  }
  std::optional<std::string> sheet;
  if (endsWithNoCase(path, ".css")) {
    sheet = sheetText(p, path, p.sheets, data);
    r.resources.sheetBackgrounds[path] = setsBackgroundImage(*sheet);
    data = *sheet;
  } else if (endsWithNoCase(path, ".svg")) {
    if (!svgWithinBudgets(*data)) {
      report(p, path, kOverSvg);
      return nullptr;
    }
    p.svgServed.push_back(path);
  } else if (!isFontFile(path)) {
    const uint64_t pixels = imageDecodes(r, path, *data);
    if (!pixels) {
      report(p, path, kResourceUnreadable);
      return nullptr;
    }
    if (!withinImageBudget(p, pixels, data->size())) {
      report(p, path, kOverImages);
      return nullptr;
    }
  }
  fz_buffer* buf = nullptr;
  fz_var(buf);
  fz_try(r.ctx) {
    buf = fz_new_buffer_from_copied_data(
        r.ctx, reinterpret_cast<const unsigned char*>(data->data()), data->size());
  }
  fz_catch(r.ctx) { buf = nullptr; }
  if (buf) p.lastServed = path;
  return buf;
}

// The bytes MuPDF gets for an archive entry, or null (reported when the
// host lacks the file, it is unusable or over a budget). Style sheets come
// as UTF-8 with their imports in place, each reference counted against the
// budget of sheets; other files are served once per parse, shared by every
// reference.
fz_buffer* serve(Parse& p, const char* name) {
  ZaveVevode& r = p.r;
  std::string path = resolveHref("", name);
  p.lastServed.clear();
  if (path.empty()) return nullptr;
  bool embeddedFonts = !p.reportFor || !p.reportFor->fonts || p.reportFor->fonts->embedded;
  if (isFontFile(path) && !embeddedFonts) return nullptr;
  const bool isSheet = endsWithNoCase(path, ".css");
  if (!isSheet) {
    auto known = p.served.find(path);
    if (known != p.served.end()) {
      if (known->second) p.lastServed = path;
      return known->second ? fz_keep_buffer(r.ctx, known->second) : nullptr;
    }
  } else if (!anotherSheet(p, p.sheets, path)) {
    return nullptr;
  }
  // The entry is made first, so nothing is kept that an out-of-memory
  // exception could lose.
  auto slot = isSheet ? p.served.end() : p.served.emplace(path, nullptr).first;
  fz_buffer* buf = serveOnce(p, path, name);
  if (slot != p.served.end() && buf) slot->second = fz_keep_buffer(r.ctx, buf);
  return buf;
}

// An fz_archive over the publication: every entry is fetched through the
// host's read trampoline. It claims to hold every name, so MuPDF never turns
// to the file system; a name the host lacks fails when read.
struct HostArchive {
  fz_archive super;
  Parse* parse;
};

int archiveHas(fz_context*, fz_archive*, const char*) { return 1; }

// Serves an entry inside MuPDF's frames: a C++ exception (out of memory)
// stops here and MuPDF sees the entry fail, so it never unwinds MuPDF's
// frames past their own handlers.
fz_buffer* serveInMupdf(fz_archive* arch, const char* name) noexcept {
  try {
    return serve(*reinterpret_cast<HostArchive*>(arch)->parse, name);
  } catch (...) {
    return nullptr;
  }
}

fz_buffer* archiveRead(fz_context* ctx, fz_archive* arch, const char* name) {
  // A distinct warning before each entry, so MuPDF's warning about this
  // entry is never folded into an identical earlier one.
  fz_warn(ctx, "pendrel: reading %s", name);
  fz_buffer* buf = serveInMupdf(arch, name);
  if (!buf) fz_throw(ctx, FZ_ERROR_GENERIC, "cannot read %s", name);
  return buf;
}

fz_stream* archiveOpen(fz_context* ctx, fz_archive* arch, const char* name) {
  fz_buffer* buf = archiveRead(ctx, arch, name);
  fz_stream* stream = nullptr;
  fz_try(ctx) { stream = fz_open_buffer(ctx, buf); }
  fz_always(ctx) { fz_drop_buffer(ctx, buf); }
  fz_catch(ctx) { fz_rethrow(ctx); }
  return stream;
}

// Whether MuPDF's warning names the resource just served: the reference it
// quotes (after the failure text, maybe in quotes) resolves to a path with
// the same file name. A data: URI or another scheme names no file.
bool namesServed(std::string_view message, const std::string& served) {
  size_t quote = message.find('\'');
  std::string_view ref = message;
  if (quote != std::string_view::npos) {
    ref = message.substr(quote + 1);
    ref = ref.substr(0, ref.find('\''));
  } else {
    size_t space = message.rfind(' ');
    ref = space == std::string_view::npos ? message : message.substr(space + 1);
  }
  // Resolved below a deep enough folder that "../" never leaves it: only
  // the file name counts.
  std::string path = resolveHref("0/1/2/3/4/5/6/7/8/9/a/b/c/d/e/f/x", ref);
  if (path.empty()) return false;
  std::string_view file = std::string_view(path).substr(path.rfind('/') + 1);
  return served.size() >= file.size() &&
         served.compare(served.size() - file.size(), file.size(), file) == 0;
}

void heardWarning(Parse& p, const char* message) {
  if (!p.reportFor || p.lastServed.empty()) return;
  static const char* const failures[] = {"html: cannot load image", "cannot load font-face",
                                         "ignoring stylesheet", "svg: ignoring external image"};
  for (const char* failure : failures)
    if (std::strncmp(message, failure, std::strlen(failure)) == 0 &&
        namesServed(message + std::strlen(failure), p.lastServed)) {
      std::string resource = std::move(p.lastServed);
      p.lastServed.clear();
      report(p, resource, kResourceUnreadable);
      return;
    }
}

}  // namespace

Parse::~Parse() {
  for (auto& [path, buf] : served) fz_drop_buffer(r.ctx, buf);
}

void report(ZaveVevode& r, Document* d, const std::string& resource, intptr_t reason) {
  if (!d) return;
  // Resources are reported once whatever the reason; a budget once per
  // resource.
  std::string key = resource;
  if (reason > kResourceUnreadable) key += '\0' + std::to_string(reason);
  if (!d->reported.insert(std::move(key)).second || !r.host.report) return;
  std::u16string wide;
  appendUtf16(wide, resource);
  r.host.report(r.host.context, reinterpret_cast<intptr_t>(d->path.c_str()),
                reinterpret_cast<intptr_t>(wide.c_str()), reason);
}

std::optional<std::string_view> readHost(const ZaveVevode& r, const std::string& path) {
  if (!r.host.read || path.empty()) return std::nullopt;
  std::u16string wide;
  appendUtf16(wide, path);
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  if (!r.host.read(r.host.context, wide.c_str(), &data, &size) || !data) return std::nullopt;
  return std::string_view(reinterpret_cast<const char*>(data), size);
}

fz_archive* newArchive(Parse& parse) {
  fz_context* ctx = parse.r.ctx;
  HostArchive* volatile archive = nullptr;
  fz_try(ctx) {
    archive = reinterpret_cast<HostArchive*>(
        fz_new_archive_of_size(ctx, nullptr, static_cast<int>(sizeof(HostArchive))));
    archive->super.format = "publication";
    archive->super.has_entry = archiveHas;
    archive->super.read_entry = archiveRead;
    archive->super.open_entry = archiveOpen;
    archive->parse = &parse;
  }
  fz_catch(ctx) { archive = nullptr; }
  return archive ? &archive->super : nullptr;
}

PrepareHost preparingHost(Parse& parse) {
  PrepareHost host;
  host.sheet = [&parse](const std::string& sheet) -> std::optional<std::string> {
    if (!anotherSheet(parse, parse.preparedSheets, sheet)) return std::nullopt;
    std::optional<std::string> text = sheetText(parse, sheet, parse.preparedSheets);
    if (!text) report(parse, sheet, kResourceMissing);
    return text;
  };
  host.has = [&parse](const std::string& image) {
    if (readHost(parse.r, image)) return true;
    report(parse, image, kResourceMissing);
    return false;
  };
  host.svg = [&parse](const std::string& svg) -> std::optional<std::string> {
    std::optional<std::string_view> data = readHost(parse.r, svg);
    if (!data || !svgWithinBudgets(*data)) {
      report(parse, svg, data ? intptr_t(kOverSvg) : intptr_t(kResourceMissing));
      return std::nullopt;
    }
    return std::string(*data);
  };
  return host;
}

fz_image* backgroundImage(Parse& parse, fz_archive* archive, const std::string& path) {
  ZaveVevode& r = parse.r;
  fz_context* ctx = r.ctx;
  auto& images = r.resources.backgroundImages;
  auto known = images.find(path);
  if (known != images.end()) return fz_keep_image(ctx, known->second);
  std::string name = path;  // serve() takes names as the archive gets them
  fz_buffer* buf = serve(parse, name.c_str());
  if (!buf) return nullptr;
  std::string folder = folderOf(path);
  fz_image* volatile image = nullptr;
  volatile bool svg = endsWithNoCase(path, ".svg");
  fz_try(ctx) {
    image = svg ? fz_new_image_from_svg(ctx, buf, folder.c_str(), archive)
                : fz_new_image_from_buffer(ctx, buf);
  }
  fz_always(ctx) { fz_drop_buffer(ctx, buf); }
  fz_catch(ctx) { image = nullptr; }
  if (!image) {
    report(parse, path, kResourceUnreadable);
    return nullptr;
  }
  drawWholeWhenClipped(image);
  // Raster images that load are shared; a failure is tried (and reported)
  // again for each document, as is an SVG file with its own references.
  if (!svg) {
    if (images.size() >= kKeptImages) dropImages(ctx, images);
    images.emplace(path, fz_keep_image(ctx, image));
  }
  return image;
}

void parseWarnings(void* parse, const char* message) {
  try {
    heardWarning(*static_cast<Parse*>(parse), message);
  } catch (...) {
    // Out of memory inside MuPDF's warning: the report is lost, MuPDF's
    // frames are left intact.
  }
}

void quietWarnings(void*, const char*) {}

void dropResourceCache(fz_context* ctx, ResourceCache& cache) {
  dropImages(ctx, cache.backgroundImages);
}

}  // namespace pendrel_mupdf
