#include "fonts.h"

#include <cstring>
#include <optional>
#include <string_view>

#include "archive.h"
#include "utf.h"

// MuPDF's look-up of an element's font family: the renderer links with
// MuPDF's calls to it wrapped (see __wrap_fz_load_html_font below).
extern "C" fz_font* __real_fz_load_html_font(fz_context* ctx, fz_html_font_set* set,
                                             const char* family, int is_bold, int is_italic,
                                             int is_small_caps);

namespace pendrel_mupdf {
namespace {

// Makes the host's font the default (serif) face of a font set in one
// style, faked bold or italic from the one file.
bool addHostStyle(fz_context* ctx, fz_html_font_set* set, fz_buffer* data, int bold, int italic) {
  fz_font* font = nullptr;
  fz_var(font);
  fz_try(ctx) {
    font = fz_new_font_from_buffer(ctx, nullptr, data, 0, 0);
    fz_font_flags(font)->fake_bold = bold;
    fz_font_flags(font)->fake_italic = italic;
    for (int smallCaps = 0; smallCaps < 2; ++smallCaps)
      fz_add_html_font_face(ctx, set, "serif", bold, italic, smallCaps, "<host>", font);
  }
  fz_always(ctx) { fz_drop_font(ctx, font); }
  fz_catch(ctx) { return false; }
  return true;
}

// False when memory ran out: a set missing faces would be kept for good.
// A host font MuPDF cannot read is left out.
bool addHostFace(fz_context* ctx, fz_html_font_set* set, fz_buffer* data) {
  for (int style = 0; style < 4; ++style)
    if (!addHostStyle(ctx, set, data, style & 1, (style & 2) >> 1))
      return fz_caught(ctx) != FZ_ERROR_MEMORY;
  return true;
}

// Registers MuPDF's own faces for a generic family under that name. MuPDF
// looks a family up among registered faces first and, failing an exact
// match, searches its whole table of built-in fonts by name (which never
// holds the generic names) for every element it styles; the faces found
// are the same, found at once.
bool addGenericFaces(fz_context* ctx, fz_html_font_set* set, const char* family) {
  // All four styles are looked up before any is registered: a registered
  // face would otherwise stand in for the styles looked up after it.
  fz_font* fonts[4] = {};
  fz_try(ctx) {
    for (int style = 0; style < 4; ++style)
      fonts[style] = __real_fz_load_html_font(ctx, set, family, style & 1, (style & 2) >> 1, 0);
    for (int style = 0; style < 4; ++style)
      for (int smallCaps = 0; fonts[style] && smallCaps < 2; ++smallCaps)
        fz_add_html_font_face(ctx, set, family, style & 1, (style & 2) >> 1, smallCaps, "<builtin>",
                              fonts[style]);
  }
  fz_catch(ctx) { return fz_caught(ctx) != FZ_ERROR_MEMORY; }
  return true;
}

// The generic families registered at their first look-up rather than with
// the set: most books never use them, and loading a face reads its font.
bool lazyGeneric(const char* family) {
  return family && (!std::strcmp(family, "sans-serif") || !std::strcmp(family, "monospace"));
}

bool hasGenericFaces(const fz_html_font_set* set, const char* family) {
  for (const fz_html_font_face* f = set->custom; f; f = f->next)
    if (!std::strcmp(f->family, family) && !std::strcmp(f->src, "<builtin>")) return true;
  return false;
}

void dropFaces(fz_context* ctx, fz_html_font_face* face) {
  while (face) {
    fz_html_font_face* next = face->next;
    fz_drop_font(ctx, face->font);
    fz_free(ctx, face->src);
    fz_free(ctx, face->family);
    fz_free(ctx, face);
    face = next;
  }
}

// Registers a generic family's faces as they would have been registered
// with the set: looked up with no other face registered (none bears a
// generic name but a document's), and placed after every face registered
// since, so that a document's face of that name still comes first. Out of
// memory leaves none registered and is thrown on.
void registerGeneric(fz_context* ctx, fz_html_font_set* set, const char* family) {
  fz_html_font_face* others = set->custom;
  set->custom = nullptr;
  const bool done = addGenericFaces(ctx, set, family);
  fz_html_font_face* added = set->custom;
  set->custom = others;
  if (!done) {
    dropFaces(ctx, added);
    fz_throw(ctx, FZ_ERROR_MEMORY, "out of memory registering the %s faces", family);
  }
  fz_html_font_face** tail = &set->custom;
  while (*tail) tail = &(*tail)->next;
  *tail = added;
}

}  // namespace

std::shared_ptr<FontSet> currentFonts(ZaveVevode& r) {
  if (r.fonts.current) return r.fonts.current;
  auto fonts = std::make_shared<FontSet>();
  fonts->ctx = r.ctx;
  fonts->embedded = r.overrides.embeddedFont != 0;
  fz_try(r.ctx) { fonts->set = fz_new_html_font_set(r.ctx); }
  fz_catch(r.ctx) { return nullptr; }
  // Out of memory gives no set, so that the next document tries again:
  // also when nothing failed that MuPDF saw, since FreeType (set up with
  // the first font) leaves out a module it had no memory for. Dropping
  // every font gives back FreeType, which the next set then sets up anew.
  r.allocationFailed = false;
  if (r.fonts.hostFont && !addHostFace(r.ctx, fonts->set, r.fonts.hostFont)) return nullptr;
  if (!r.fonts.hostFont && !addGenericFaces(r.ctx, fonts->set, "serif")) return nullptr;
  if (r.allocationFailed) return nullptr;
  r.fonts.current = fonts;
  return fonts;
}

void loadHostFont(ZaveVevode& r, const char16_t* path) {
  fz_context* ctx = r.ctx;
  fz_buffer* font = nullptr;
  if (path) {
    std::optional<std::string_view> data = readHost(r, epub::utf::toUtf8(path));
    if (!data) return;
    fz_font* probe = nullptr;
    fz_var(font);
    fz_var(probe);
    fz_try(ctx) {
      font = fz_new_buffer_from_copied_data(
          ctx, reinterpret_cast<const unsigned char*>(data->data()), data->size());
      probe = fz_new_font_from_buffer(ctx, nullptr, font, 0, 0);
    }
    fz_always(ctx) { fz_drop_font(ctx, probe); }
    fz_catch(ctx) {
      fz_drop_buffer(ctx, font);
      return;
    }
  }
  fz_drop_buffer(ctx, r.fonts.hostFont);
  r.fonts.hostFont = font;
  r.fonts.current.reset();
}

intptr_t useEmbeddedFonts(ZaveVevode& r, intptr_t use) {
  if ((use != 0) != (r.overrides.embeddedFont != 0)) r.fonts.current.reset();
  r.overrides.embeddedFont = use != 0;
  return 1;
}

}  // namespace pendrel_mupdf

// Every font-family look-up MuPDF makes while it styles a document.
extern "C" fz_font* __wrap_fz_load_html_font(fz_context* ctx, fz_html_font_set* set,
                                             const char* family, int is_bold, int is_italic,
                                             int is_small_caps) {
  if (pendrel_mupdf::lazyGeneric(family) && !pendrel_mupdf::hasGenericFaces(set, family))
    pendrel_mupdf::registerGeneric(ctx, set, family);
  return __real_fz_load_html_font(ctx, set, family, is_bold, is_italic, is_small_caps);
}
