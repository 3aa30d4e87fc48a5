// Every read of a publication's files: through the host's read trampoline,
// behind an fz_archive MuPDF's parser reads from, for the markup
// preparation, for background images and for the host's font. Resources the
// host lacks or that are unusable are reported to the host once per
// document (renderer callback 2).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "renderer.h"

namespace pendrel_mupdf {

// Why a resource was reported through renderer callback 2.
enum : intptr_t { kResourceMissing = 1, kResourceUnreadable = 2 };

// What one parse of a document reads resources for: the document they are
// reported for (null: report nothing), the folder MuPDF joins references to,
// the last resource served (MuPDF's next warning may declare it unusable)
// and the SVG files served so far, whose own references MuPDF joins to the
// document's folder too. Every reference to a file shares the bytes first
// served for it; what the files cost counts against the document's budgets.
struct Parse {
  ZaveVevode& r;
  Document* reportFor;
  std::string base;
  std::string lastServed;
  std::vector<std::string> svgServed;
  std::unordered_map<std::string, fz_buffer*> served;
  uint64_t imagePixels = 0, imageBytes = 0;
  size_t sheets = 0, preparedSheets = 0;

  Parse(ZaveVevode& renderer, Document* d, std::string folder)
      : r(renderer), reportFor(d), base(std::move(folder)) {}
  Parse(const Parse&) = delete;
  Parse& operator=(const Parse&) = delete;
  ~Parse();
};

// Tells the host, once per document, resource and reason, that a resource
// is missing or unusable or that a budget was hit: renderer callback 2
// with the document's path, the resource's full path and the reason.
void report(ZaveVevode& r, Document* d, const std::string& resource, intptr_t reason);

// A file of the publication by full container path, as the host holds it.
std::optional<std::string_view> readHost(const ZaveVevode& r, const std::string& path);

// An archive over the publication for `parse` (null when MuPDF fails).
fz_archive* newArchive(Parse& parse);

// The hooks through which the markup preparation reads style sheets and
// asks for images; what it misses is reported.
PrepareHost preparingHost(Parse& parse);

// A background image by full container path, with a reference for the
// caller (raster images are shared across documents), or null, reported,
// when missing or unusable.
fz_image* backgroundImage(Parse& parse, fz_archive* archive, const std::string& path);

// MuPDF's warning callback while `parse` (the user pointer) runs: a warning
// that the resource just served could not be used reports that resource.
void parseWarnings(void* parse, const char* message);
// The warning and error callback at all other times.
void quietWarnings(void* user, const char* message);

void dropResourceCache(fz_context* ctx, ResourceCache& cache);

}  // namespace pendrel_mupdf
