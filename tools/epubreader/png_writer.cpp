#include "png_writer.h"

#include <png.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csetjmp>
#include <csignal>
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
bool writeRows(FILE* file, std::vector<uint8_t>* memory, const PageRows& rows, PngFailure& failure,
               int level, int filter) {
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
  png_set_IHDR(png, info, static_cast<png_uint_32>(rows.width),
               static_cast<png_uint_32>(rows.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
  png_write_info(png, info);
  png_set_filler(png, 0, PNG_FILLER_AFTER);
  for (int32_t y = 0; y < rows.height; ++y) png_write_row(png, rows.row(rows.context, y));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

const uint8_t* bitmapRow(void* context, int32_t y) {
  const auto* bitmap = static_cast<const PendrelBitmap*>(context);
  return bitmap->pixels + static_cast<size_t>(y) * static_cast<size_t>(bitmap->stride);
}

PageRows rowsOf(const PendrelBitmap& bitmap) {
  return {bitmap.width, bitmap.height, bitmapRow,
          const_cast<void*>(static_cast<const void*>(&bitmap))};
}

}  // namespace

namespace {

// The temporary files being written, for the interrupt handler to remove:
// one slot for each thread that writes at a time.
std::atomic<const char*> partial[kMostWriters];

void removePartial(int signal) {
  for (auto& slot : partial)
    if (const char* name = slot.load()) unlink(name);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// Holds a slot while one file is written.
class PartialSlot {
 public:
  explicit PartialSlot(const char* name) {
    for (auto& slot : partial) {
      const char* none = nullptr;
      if (slot.compare_exchange_strong(none, name)) {
        slot_ = &slot;
        return;
      }
    }
  }
  ~PartialSlot() {
    if (slot_) slot_->store(nullptr);
  }
  PartialSlot(const PartialSlot&) = delete;
  PartialSlot& operator=(const PartialSlot&) = delete;

 private:
  std::atomic<const char*>* slot_ = nullptr;
};

}  // namespace

void removePartialFilesOnInterrupt() {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, removePartial);
}

bool writePng(const std::string& path, const PendrelBitmap& bitmap, std::string& error) {
  return writePng(path, rowsOf(bitmap), error);
}

bool writePng(const std::string& path, const PageRows& rows, std::string& error) {
  // Written beside its final name and renamed when complete, so that an
  // interrupted command leaves only whole files.
  const std::string temporary = path + ".part";
  PartialSlot slot(temporary.c_str());
  FILE* file = std::fopen(temporary.c_str(), "wb");
  if (!file) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  PngFailure failure{};
  // Pages are mostly flat colour: a fast deflate level and the Up filter
  // keep files small without making writing the slow part of drawing.
  const bool written = writeRows(file, nullptr, rows, failure, 3, PNG_FILTER_UP);
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
    const int why = errno;
    std::remove(temporary.c_str());
    error = "cannot write " + path + ": " +
            (failure.message[0]  ? failure.message
             : written && closed ? std::strerror(why)
                                 : "write failed");
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
  if (writeRows(nullptr, &out, rowsOf(bitmap), failure, 1, PNG_FILTER_NONE)) return true;
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
