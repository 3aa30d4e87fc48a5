#include "png_writer.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace epubreader {

namespace {

struct PngFailure {
  char message[200];
};

void onError(png_structp png, png_const_charp message) {
  auto* failure = static_cast<PngFailure*>(png_get_error_ptr(png));
  std::snprintf(failure->message, sizeof failure->message, "%s", message);
  png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

// No exception may cross libpng's C frames: a failed allocation becomes
// libpng's own error.
void appendBytes(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  bool full = false;
  try {
    out->insert(out->end(), data, data + length);
  } catch (const std::bad_alloc&) {
    full = true;
  }
  if (full) png_error(png, "out of memory");
}

void flushNothing(png_structp) {}

// Only plain C objects live in this frame, so the long jump of libpng's
// error handling skips no destructor. Rows go to `file`, else to `memory`.
bool writeRows(FILE* file, std::vector<uint8_t>* memory, const PendrelBitmap& bitmap,
               PngFailure& failure, int level, int filter) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, onError, onWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  if (file)
    png_init_io(png, file);
  else
    png_set_write_fn(png, memory, appendBytes, flushNothing);
  png_set_compression_level(png, level);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, filter);
  png_set_IHDR(png, info, static_cast<png_uint_32>(bitmap.width),
               static_cast<png_uint_32>(bitmap.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
  png_write_info(png, info);
  png_set_filler(png, 0, PNG_FILLER_AFTER);
  for (int32_t y = 0; y < bitmap.height; ++y)
    png_write_row(png, bitmap.pixels + static_cast<size_t>(y) * static_cast<size_t>(bitmap.stride));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool writePng(const std::string& path, const PendrelBitmap& bitmap, std::string& error) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  PngFailure failure{};
  // Pages are mostly flat colour: a fast deflate level and the Up filter
  // keep files small without making writing the slow part of drawing.
  const bool written = writeRows(file, nullptr, bitmap, failure, 3, PNG_FILTER_UP);
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    error = "cannot write " + path + ": " + (failure.message[0] ? failure.message : "write failed");
    return false;
  }
  return true;
}

bool encodePng(const PendrelBitmap& bitmap, std::vector<uint8_t>& out, std::string& error) {
  out.clear();
  // Room for a page that compresses to a fifth of its RGB bytes.
  out.reserve(size_t(bitmap.width) * size_t(bitmap.height) * 3 / 5);
  PngFailure failure{};
  // A page on its way to a browser: the fastest level, and no filter, which
  // on pages of text also gives the smallest output at that level.
  if (writeRows(nullptr, &out, bitmap, failure, 1, PNG_FILTER_NONE)) return true;
  error =
      std::string("cannot encode the page: ") + (failure.message[0] ? failure.message : "failed");
  return false;
}

size_t countInk(const PendrelBitmap& bitmap) {
  size_t ink = 0;
  for (int32_t y = 0; y < bitmap.height; ++y) {
    const uint8_t* row =
        bitmap.pixels + static_cast<size_t>(y) * static_cast<size_t>(bitmap.stride);
    for (int32_t x = 0; x < bitmap.width; ++x, row += 4)
      if (row[0] < 200 || row[1] < 200 || row[2] < 200) ++ink;
  }
  return ink;
}

}  // namespace epubreader
