// Reading and editing MuPDF 1.21's laid-out boxes and flows. MuPDF's pools
// pack objects without aligning them, so they are read and written by
// copying bytes.
#pragma once

#include <cstddef>
#include <cstring>

#include "mupdf_html.h"

namespace pendrel_mupdf {

template <class T>
T loadAt(const void* p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

inline bool isBlockType(unsigned type) {
  return type == BOX_BLOCK || type == BOX_TABLE || type == BOX_TABLE_ROW || type == BOX_TABLE_CELL;
}

// What the renderer reads of a box.
struct BoxView {
  unsigned type;
  fz_html_box *up, *down, *next;
  const char* id;
  const fz_css_style* style;
  float x, y, w, b;
  float padding[4];
};

inline BoxView view(const fz_html_box* box) {
  const char* at = reinterpret_cast<const char*>(box);
  fz_html_box head;
  std::memcpy(static_cast<void*>(&head), at, offsetof(fz_html_box, u));
  BoxView v{head.bits & 7,   head.up,         head.down,       head.next,
            head.id,         head.style,      head.s.layout.x, head.s.layout.y,
            head.s.layout.w, head.s.layout.b, {0, 0, 0, 0}};
  if (isBlockType(v.type))
    std::memcpy(v.padding, at + offsetof(fz_html_box, u.block.padding), sizeof v.padding);
  return v;
}

inline void setStyle(fz_html_box* box, const fz_css_style* style) {
  std::memcpy(reinterpret_cast<char*>(box) + offsetof(fz_html_box, style), &style, sizeof style);
}

// The box after `box` in tree order (children first).
inline fz_html_box* nextBox(fz_html_box* box) {
  BoxView v = view(box);
  if (v.down) return v.down;
  while (box && !v.next) {
    box = v.up;
    if (box) v = view(box);
  }
  return box ? v.next : nullptr;
}

inline fz_css_style* newStyle(fz_context* ctx, fz_pool* pool) {
  fz_css_style* volatile style = nullptr;
  fz_try(ctx) {
    style = static_cast<fz_css_style*>(fz_pool_alloc(ctx, pool, sizeof(fz_css_style)));
  }
  fz_catch(ctx) { style = nullptr; }
  return style;
}

template <class T>
void storeAt(void* p, const T& value) {
  std::memcpy(p, &value, sizeof value);
}

// A block box's margin, border or padding (top, right, bottom, left).
struct Edges {
  float side[4];
};
inline constexpr size_t kMarginAt = offsetof(fz_html_box, u.block.margin);
inline constexpr size_t kBorderAt = offsetof(fz_html_box, u.block.border);
inline constexpr size_t kPaddingAt = offsetof(fz_html_box, u.block.padding);

inline Edges edgesOf(const fz_html_box* box, size_t at) {
  return loadAt<Edges>(reinterpret_cast<const char*>(box) + at);
}
inline void setEdges(fz_html_box* box, size_t at, const Edges& edges) {
  storeAt(reinterpret_cast<char*>(box) + at, edges);
}

// A laid-out box's content rectangle (x, y, w, b), set in place.
inline void setPlace(fz_html_box* box, float x, float w) {
  char* at = reinterpret_cast<char*>(box) + offsetof(fz_html_box, s.layout);
  storeAt(at, x);
  storeAt(at + 2 * sizeof(float), w);
}

// The first item of a flow box.
inline fz_html_flow* flowHead(const fz_html_box* box) {
  return loadAt<fz_html_flow*>(reinterpret_cast<const char*>(box) + offsetof(fz_html_box, u.flow));
}

}  // namespace pendrel_mupdf
