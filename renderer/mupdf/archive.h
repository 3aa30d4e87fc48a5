// Every read of a publication's files: through the host's read trampoline,
// behind an fz_archive MuPDF's parser reads from, for the markup
// preparation, for background images and for the host's font. Resources the
// host lacks or that are unusable are reported to the host once per
// document (renderer callback 2).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "renderer.h"

namespace pendrel_mupdf {

// Why a resource was reported through renderer callback 2.
enum : intptr_t { kResourceMissing = 1, kResourceUnreadable = 2 };

// What one parse of a document reads resources for: the document they are
// reported for (null: report nothing), the folder MuPDF joins references to,
// the last resource served (MuPDF's next warning may declare it unusable)
// and the SVG files served so far, whose own references MuPDF joins to the
// document's folder too.
struct Parse {
  ZaveVevode& r;
  Document* reportFor;
  std::string base;
  std::string lastServed;
  std::vector<std::string> svgServed;
};

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
