// MuPDF sets a face's size before every word it measures or draws, and
// nearly always to the size it set last. FreeType does the whole request
// each time: the scaled metrics, then the hinter's scale, which it finds by
// searching its modules by name. That was a tenth of the time of laying a
// book out. MuPDF's archive is linked against this FT_Set_Char_Size, not
// FreeType's (the library's version script keeps it inside): a request that
// repeats the last one made here on the same size object is skipped while
// the size's metrics are still those that request left, so a size set any
// other way is never mistaken for it.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdlib>

namespace {

struct LastRequest {
  FT_F26Dot6 width, height;
  FT_UInt horizontal, vertical;
  FT_Size_Metrics metrics;
};

// Called by FreeType when it frees the size. The record is the C
// library's, as FreeType's own memory is.
void forget(void* size) { std::free(static_cast<FT_Size>(size)->generic.data); }

bool sameMetrics(const FT_Size_Metrics& a, const FT_Size_Metrics& b) {
  return a.x_ppem == b.x_ppem && a.y_ppem == b.y_ppem && a.x_scale == b.x_scale &&
         a.y_scale == b.y_scale && a.ascender == b.ascender && a.descender == b.descender &&
         a.height == b.height && a.max_advance == b.max_advance;
}

}  // namespace

extern "C" FT_Error FT_Set_Char_Size(FT_Face face, FT_F26Dot6 width, FT_F26Dot6 height,
                                     FT_UInt horizontal, FT_UInt vertical) {
  // FreeType's own defaults for the values left out, so that equal
  // requests compare equal.
  if (!width) width = height;
  if (!height) height = width;
  if (!horizontal) horizontal = vertical;
  if (!vertical) vertical = horizontal;
  if (width < 64) width = 64;
  if (height < 64) height = 64;
  if (!horizontal) horizontal = vertical = 72;

  FT_Size size = face ? face->size : nullptr;
  auto* last = size && size->generic.finalizer == forget
                   ? static_cast<LastRequest*>(size->generic.data)
                   : nullptr;
  if (last && last->width == width && last->height == height && last->horizontal == horizontal &&
      last->vertical == vertical && sameMetrics(last->metrics, size->metrics))
    return FT_Err_Ok;

  FT_Size_RequestRec request{FT_SIZE_REQUEST_TYPE_NOMINAL, width, height, horizontal, vertical};
  const FT_Error error = FT_Request_Size(face, &request);
  if (error || !size || face->size != size) return error;
  if (!last && !size->generic.data && !size->generic.finalizer) {
    last = static_cast<LastRequest*>(std::malloc(sizeof(LastRequest)));
    if (!last) return error;  // no memory for the record: the next request is done again
    size->generic.data = last;
    size->generic.finalizer = forget;
  }
  if (last) *last = {width, height, horizontal, vertical, size->metrics};
  return error;
}
