// MuPDF's HTML engine below its document handler. MuPDF 1.21's XHTML handler,
// opened from a stream, reads resources from the process's working directory
// and takes no archive; the renderer therefore drives the functions the
// handler itself calls (global symbols of libmupdf.a, not in its installed
// headers), giving the parser an archive of its own. Only the leading members
// the renderer reads are declared; they match MuPDF 1.21 built with NDEBUG
// (as Debian builds it), and the build refuses any other MuPDF version.
#pragma once

extern "C" {
#include <mupdf/fitz.h>
}

#if FZ_VERSION_MAJOR != 1 || FZ_VERSION_MINOR != 21
#error "the MuPDF renderer drives MuPDF 1.21's HTML engine; check mupdf_html.h for this version"
#endif

extern "C" {

typedef struct fz_html_font_set_s fz_html_font_set;
typedef struct fz_html_box_s fz_html_box;

// The leading members of a box: the root's layout gives the document's height.
struct fz_html_box_s {
  unsigned int bits;
  fz_html_box *up, *down, *next;
  const char *id, *href;
  const void* style;
  struct {
    float x, y, w, b, em;
  } layout;
};

typedef struct fz_html_s {
  struct {
    fz_storable storable;
    fz_pool* pool;
    fz_html_box* root;
  } tree;
  float page_w, page_h;
  float layout_w, layout_h, layout_em;
  float page_margin[4];
  char* title;
} fz_html;

fz_html_font_set* fz_new_html_font_set(fz_context* ctx);
void fz_drop_html_font_set(fz_context* ctx, fz_html_font_set* set);
void fz_add_html_font_face(fz_context* ctx, fz_html_font_set* set, const char* family, int is_bold,
                           int is_italic, int is_small_caps, const char* src, fz_font* font);
fz_font* fz_load_html_font(fz_context* ctx, fz_html_font_set* set, const char* family, int is_bold,
                           int is_italic, int is_small_caps);
fz_html* fz_parse_xhtml(fz_context* ctx, fz_html_font_set* set, fz_archive* zip,
                        const char* base_uri, fz_buffer* buf, const char* user_css);
void fz_layout_html(fz_context* ctx, fz_html* html, float w, float h, float em);
void fz_draw_html(fz_context* ctx, fz_device* dev, fz_matrix ctm, fz_html* html, int page);
float fz_find_html_target(fz_context* ctx, fz_html* html, const char* id);
fz_link* fz_load_html_links(fz_context* ctx, fz_html* html, int page, const char* base_uri);
void fz_drop_html(fz_context* ctx, fz_html* html);

}  // extern "C"
