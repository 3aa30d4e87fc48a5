/*
 * Records shared between a host and the MuPDF renderer (libPendrel.so built
 * from renderer/mupdf). The engine passes these through as intptr_t values;
 * see renderer/mupdf/README.md for the meaning of every argument. Hosts
 * include it as <EpubReader/pendrel_mupdf.h>, in the build tree as where it
 * is installed.
 */
#ifndef PENDREL_MUPDF_H
#define PENDREL_MUPDF_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A host-owned bitmap: 8-bit RGBA, rows of `stride` bytes (at least
 * 4 * width), top row first. ZaveVevode_draw fills it opaque (alpha 255);
 * ZaveVevode_drawSelectionBox blends into what is already there. */
typedef struct PendrelBitmap {
  uint8_t* pixels;
  int32_t width;
  int32_t height;
  int32_t stride;
} PendrelBitmap;

/* Filled by ZaveVevode_getObjectInfo. Positions and sizes are in points of
 * the laid-out page (top-left origin). firstIndex and lastIndex are the
 * object's index within its document (the engine shifts them to
 * publication-wide positions). */
typedef struct PendrelObjectInfo {
  int32_t x;
  int32_t y;
  int32_t firstIndex;
  int32_t lastIndex;
  int32_t width;
  int32_t height;
  int32_t type;      /* as ZaveVevode_getObjectType: 1 word, 2 image */
  int32_t utf8Start; /* UTF-8 position of the object within its document */
} PendrelObjectInfo;

/* Values of ZaveVevode_getObjectType. */
enum { PENDREL_OBJECT_NONE = 0, PENDREL_OBJECT_WORD = 1, PENDREL_OBJECT_IMAGE = 2 };

/* A PDF written page by page: passed to ZaveVevode_draw (EpubReader_draw)
 * in place of a PendrelBitmap. Its first two members tell it apart: `none`
 * is null where a bitmap has its pixels, and `marker` is PENDREL_PDF_MARKER
 * where a bitmap has its (positive) width. Each draw adds the page as PDF
 * text and vector graphics at the document's page size in points, with its
 * links; the draw with `finish` 1 adds its page, then the outline and the
 * links' destinations, and writes `file`. A host that stops early draws once
 * more, any page, with `finish` -1, which forgets the pages. The record must
 * stay the same (and at the same address) from the first page to the last;
 * every pointer in it stays valid until then. */
#define PENDREL_PDF_MARKER ((int32_t)-0x504446) /* "PDF" */

/* One document of the reading order: where its pages start, so links and
 * outline entries into it find their page. */
typedef struct PendrelPdfDocument {
  const char* path;  /* full container path, UTF-8, as the renderer loaded it */
  int32_t firstPage; /* its first page as the host counts pages (from 0) */
} PendrelPdfDocument;

/* One outline entry, in pre-order. */
typedef struct PendrelPdfOutline {
  const char* title;  /* UTF-8 */
  const char* target; /* full container path, UTF-8, with an optional #fragment */
  int32_t depth;      /* 1 at the top level, one more for each level below */
} PendrelPdfOutline;

enum {
  PENDREL_PDF_ADDING = 0,  /* status: pages added, nothing written yet */
  PENDREL_PDF_WRITTEN = 1, /* status: the file is written */
  PENDREL_PDF_FAILED = -1  /* status: nothing more is added; see error */
};

typedef struct PendrelPdf {
  void* none;        /* null */
  int32_t marker;    /* PENDREL_PDF_MARKER */
  int32_t page;      /* in: the page this draw adds, as the host counts pages */
  int32_t finish;    /* in: 0 add the page, 1 add it and write the file, -1 forget */
  const char* file;  /* in: the PDF file to write (UTF-8 path) */
  const char* title; /* in: the PDF's title, or null */
  const PendrelPdfDocument* documents;
  int32_t documentCount;
  const PendrelPdfOutline* outline;
  int32_t outlineCount;
  void* state;     /* the renderer's: null before the first page and after the last */
  int32_t status;  /* out: a PENDREL_PDF_ value */
  int32_t pages;   /* out: pages added */
  char error[256]; /* out: why it failed, when status is PENDREL_PDF_FAILED */
} PendrelPdf;

/* Packs a page size in points for ZaveVevode_calcPageSize. */
#define PENDREL_PAGE_SIZE(width, height) \
  ((((intptr_t)(width)&0xFFFF) << 16) | ((intptr_t)(height)&0xFFFF))

#ifdef __cplusplus
}
#endif

#endif /* PENDREL_MUPDF_H */
