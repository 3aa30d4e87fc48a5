// MuPDF's HTML engine below its document handler. MuPDF 1.21's XHTML handler,
// opened from a stream, reads resources from the process's working directory
// and takes no archive; the renderer therefore drives the functions the
// handler itself calls (global symbols of libmupdf.a, not in its installed
// headers), giving the parser an archive of its own, and its CSS matcher.
// Only the leading members the renderer reads are declared (whole structures
// where it copies them); they match MuPDF 1.21 built with NDEBUG
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

// A font set: MuPDF's default faces, then the registered ones, newest
// first.
typedef struct fz_html_font_face_s fz_html_font_face;
struct fz_html_font_face_s {
  char* family;
  int is_bold, is_italic, is_small_caps;
  fz_font* font;
  char* src;
  fz_html_font_face* next;
};
struct fz_html_font_set_s {
  fz_font* fonts[12];
  fz_html_font_face* custom;
};
typedef struct fz_css_s fz_css;
typedef struct fz_css_value_s fz_css_value;

// CSS: a parsed sheet set, the values a declaration holds, and the
// properties the parser keeps, indexed by their number.
enum { CSS_KEYWORD = 256, CSS_HASH, CSS_STRING, CSS_NUMBER, CSS_LENGTH, CSS_PERCENT, CSS_URI };
enum { PRO_ORPHANS = 32, PRO_QUOTES = 40, PRO_SRC = 41, PRO_WIDOWS = 48, NUM_PROPERTIES = 51 };

struct fz_css_s {
  fz_pool* pool;
  void* rule;
};

struct fz_css_value_s {
  int type;
  char* data;
  fz_css_value* args;
  fz_css_value* next;
};

typedef struct fz_css_match_s {
  struct fz_css_match_s* up;
  short spec[NUM_PROPERTIES];
  fz_css_value* value[NUM_PROPERTIES];
} fz_css_match;

// A computed style, whole: boxes share them, so one is copied to change it.
typedef struct {
  float value;
  int unit;
} fz_css_number;

typedef struct {
  unsigned char r, g, b, a;
} fz_css_color;

typedef struct {
  fz_css_number font_size;
  fz_css_number width, height;
  fz_css_number margin[4];
  fz_css_number padding[4];
  fz_css_number border_width[4];
  fz_css_number text_indent;
  unsigned int visibility : 2;
  unsigned int white_space : 3;
  unsigned int text_align : 2;
  unsigned int vertical_align : 3;
  unsigned int list_style_type : 4;
  unsigned int page_break_before : 3;
  unsigned int page_break_after : 3;
  unsigned int border_style_0 : 1;
  unsigned int border_style_1 : 1;
  unsigned int border_style_2 : 1;
  unsigned int border_style_3 : 1;
  unsigned int small_caps : 1;
  unsigned int overflow_wrap : 1;
  unsigned int blank : 5;
  fz_css_number line_height;
  fz_css_number leading;
  fz_css_color background_color;
  fz_css_color border_color[4];
  fz_css_color color;
  fz_font* font;
} fz_css_style;

enum { BOX_BLOCK, BOX_FLOW, BOX_INLINE, BOX_TABLE, BOX_TABLE_ROW, BOX_TABLE_CELL };
enum { V_VISIBLE = 0 };
enum { BOX_T = 0, BOX_R = 1, BOX_B = 2, BOX_L = 3 };

// A box: its type (the low three bits of `bits`), its place in the tree, its
// element's id, its style and, after layout, its content rectangle; block
// boxes (block, table, row, cell) also carry their margin, border and padding.
struct fz_html_box_s {
  unsigned int bits;
  fz_html_box *up, *down, *next;
  const char *id, *href;
  const fz_css_style* style;
  union {
    struct {
      void *last_child, *flow_tail;
    } build;
    struct {
      float x, y, w, b, em;
    } layout;
  } s;
  union {
    struct {
      void* head;
    } flow;
    struct {
      float margin[4];
      float border[4];
      float padding[4];
    } block;
  } u;
};

// A flow item (word, space, break, image...): its type (the low three bits
// of `bits`; the language and script fill a second word) and, after layout,
// its rectangle.
enum { FLOW_WORD = 0, FLOW_SPACE = 1, FLOW_BREAK = 2, FLOW_IMAGE = 3 };
typedef struct fz_html_flow_s fz_html_flow;
struct fz_html_flow_s {
  unsigned int bits, more_bits;
  float x, y, w, h;
  fz_html_box* box;
  fz_html_flow* next;
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
fz_css* fz_new_css(fz_context* ctx);
void fz_parse_css(fz_context* ctx, fz_css* css, const char* source, const char* file);
void fz_drop_css(fz_context* ctx, fz_css* css);
void fz_match_css(fz_context* ctx, fz_css_match* match, fz_css_match* up, fz_css* css,
                  fz_xml* node);

}  // extern "C"

#ifdef __cplusplus
#include <cstddef>
static_assert(sizeof(void*) != 8 ||
                  (sizeof(fz_css_style) == 184 && offsetof(fz_css_style, background_color) == 148 &&
                   offsetof(fz_html_box, u) == 80 && sizeof(fz_css_match) == 520 &&
                   offsetof(fz_html_flow, next) == 32 && sizeof(fz_html_flow) == 40),
              "MuPDF 1.21's HTML structures as built on 64-bit Debian");
#endif
