// The renderer handle: made from the host's options, freed with everything
// it holds, and the small services every module shares (text conversion,
// the loaded documents, texts handed to the host).
#include "renderer.h"

#include <cstdlib>

#include "archive.h"
#include "bands.h"
#include "layout.h"
#include "utf.h"

namespace pendrel_mupdf {
namespace {

float sideOr(intptr_t v, float fallback) {
  return v > 0 && v <= kMaxPageSide ? static_cast<float>(v) : fallback;
}

}  // namespace

std::u32string toCodePoints(std::string_view s) {
  std::u32string out;
  std::string padded(s);  // fz_chartorune reads a terminated string
  const char* p = padded.c_str();
  const char* end = p + padded.size();
  while (p < end) {
    int rune = 0;
    p += fz_chartorune(&rune, p);
    out.push_back(static_cast<char32_t>(rune));
  }
  return out;
}

void appendUtf16(std::u16string& out, std::string_view utf8) {
  for (char32_t c : toCodePoints(utf8)) epub::utf::appendUtf16(out, c);
}

bool isSpace(int c) {
  return c <= 0x20 || c == 0xA0 || c == 0x3000 || (c >= 0x2000 && c <= 0x200B);
}

Document* findDocument(ZaveVevode& r, const char16_t* path) {
  auto it = r.layouts.documents.find(path);
  return it == r.layouts.documents.end() ? nullptr : it->second.get();
}

const char16_t* hand(ZaveVevode& r, std::string_view utf8) {
  r.returned.clear();
  appendUtf16(r.returned, utf8);
  return r.returned.c_str();
}

intptr_t setTextColour(ZaveVevode& r, intptr_t colour) {
  r.overrides.textColour = colour;
  return 1;
}

intptr_t setTextAlign(ZaveVevode& r, intptr_t align) {
  r.overrides.textAlign = align;
  return 1;
}

namespace {

void* allocateForMupdf(void* handle, size_t size) {
  void* p = std::malloc(size);
  if (!p) static_cast<ZaveVevode*>(handle)->allocationFailed = true;
  return p;
}

void* reallocateForMupdf(void* handle, void* old, size_t size) {
  void* p = std::realloc(old, size);
  if (!p && size) static_cast<ZaveVevode*>(handle)->allocationFailed = true;
  return p;
}

void freeForMupdf(void*, void* p) { std::free(p); }

}  // namespace

}  // namespace pendrel_mupdf

using namespace pendrel_mupdf;

extern "C" PENDREL_API ZaveVevode* ZaveVevode_new(const ZaveVevodeOptions* options) {
  // The handle comes first: the context's allocator lives in it and must
  // outlive the context. Out of memory half-way gives back what was made
  // before it is raised.
  //
  // Handles may be used on different threads, one thread each. Every
  // context is made alone, never cloned, so none of its state (store,
  // glyph cache, FreeType library and fonts) is shared with another and it
  // needs no locks: MuPDF's lock calls on a context without them do
  // nothing. MuPDF also records the context that shapes text in one
  // variable of the whole process, for a bundled shaper's allocations; the
  // shaper linked here is the system's, which allocates with malloc and
  // never reads that variable.
  auto made = std::make_unique<ZaveVevode>();
  made->allocator = {made.get(), allocateForMupdf, reallocateForMupdf, freeForMupdf};
  fz_context* ctx = fz_new_context(&made->allocator, nullptr, FZ_STORE_DEFAULT);
  if (!ctx) return nullptr;
  ZaveVevode* r = made.release();
  r->ctx = ctx;
  try {
    // MuPDF's warnings are heard only while a document is parsed (layout.cpp).
    fz_set_warning_callback(ctx, quietWarnings, nullptr);
    fz_set_error_callback(ctx, quietWarnings, nullptr);
    fz_tune_image_decode(ctx, decodeWholeImages, nullptr);
    if (options) {
      r->host.read = options->read;
      r->host.report = options->callback2;
      r->host.context = options->context;
      r->host.settings = options->settings;
      const ZaveVevodeSettings& s = options->settings;
      if (s.setting9) r->host.userSheet = reinterpret_cast<const char*>(s.setting9);
      Layout& layout = r->layouts.current;
      layout.width = sideOr(s.setting1, kDefaultWidth);
      layout.height = sideOr(s.setting2, kDefaultHeight);
      layout.em =
          s.setting3 > 0 && s.setting3 <= kMaxEm ? static_cast<float>(s.setting3) : kDefaultEm;
    }
  } catch (...) {
    ZaveVevode_free(&r);
    throw;
  }
  return r;
}

extern "C" PENDREL_API void ZaveVevode_free(ZaveVevode** renderer) {
  if (!renderer || !*renderer) return;
  ZaveVevode* r = *renderer;
  dropLayouts(*r);
  r->fonts.current.reset();
  dropResourceCache(r->ctx, r->resources);
  fz_drop_buffer(r->ctx, r->fonts.hostFont);
  fz_drop_context(r->ctx);
  delete r;
  *renderer = nullptr;
}
