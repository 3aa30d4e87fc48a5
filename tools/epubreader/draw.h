// Pages drawn by the commands: the page selection options and PNG output.
#pragma once

#include <EpubReader/pendrel_mupdf.h>

#include <string>
#include <vector>

#include "session.h"

namespace epubreader {

// A bitmap of the zoomed page size for the renderer to draw into.
struct Canvas {
  std::vector<uint8_t> pixels;
  PendrelBitmap bitmap{};

  explicit Canvas(const Layout& layout);
};

// Draws a publication page (from 0) into a PNG file; Failure when the file
// cannot be written.
void drawPng(Session& session, int32_t page, const std::string& file);
// The same for a page of a document (its index in the reading order).
void drawDocumentPng(Session& session, size_t doc, int32_t page, const std::string& file);

// The pages --page, --pages or --all name (0-based), else every page, laid
// out as far as they reach; a book without pages fails.
std::vector<int32_t> selectedPages(Session& session, const Arguments& args);

}  // namespace epubreader
