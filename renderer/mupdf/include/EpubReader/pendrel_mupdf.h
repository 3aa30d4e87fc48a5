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

/* Packs a page size in points for ZaveVevode_calcPageSize. */
#define PENDREL_PAGE_SIZE(width, height) \
  ((((intptr_t)(width)&0xFFFF) << 16) | ((intptr_t)(height)&0xFFFF))

#ifdef __cplusplus
}
#endif

#endif /* PENDREL_MUPDF_H */
