// Writing a drawn page as a PNG file with libpng.
#pragma once

#include <EpubReader/pendrel_mupdf.h>

#include <cstdint>
#include <string>
#include <vector>

namespace epubreader {

// Writes the RGBA bitmap as an 8-bit RGB PNG (alpha dropped: pages are
// opaque), through a temporary file beside it. Returns false and sets
// error when the file cannot be written.
bool writePng(const std::string& path, const PendrelBitmap& bitmap, std::string& error);

// The rows of an RGBA page as the writer takes them: `row(context, y)`
// gives row y, asked for once each, from 0 down.
struct PageRows {
  int32_t width = 0, height = 0;
  const uint8_t* (*row)(void* context, int32_t y) = nullptr;
  void* context = nullptr;
};

// The same from rows given one at a time, so that the whole page need not
// be held.
bool writePng(const std::string& path, const PageRows& rows, std::string& error);

// At most this many threads write files at once.
constexpr size_t kMostWriters = 64;

// From now on an interrupt (Ctrl-C) or termination removes the temporary
// files being written before the process ends.
void removePartialFilesOnInterrupt();

// The same PNG into `out`, compressed for speed rather than size; false (with error set) when
// libpng fails.
bool encodePng(const PendrelBitmap& bitmap, std::vector<uint8_t>& out, std::string& error);

// Pixels that are not near-white: how much was drawn.
size_t countInk(const PendrelBitmap& bitmap);

}  // namespace epubreader
