#include "tables.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "dom_walk.h"

namespace pendrel_mupdf {
namespace {

// Between separate borders, as browsers' default border-spacing.
constexpr float kSpacing = 2;
// Added to a cell's widest line so that rounding its width cannot wrap it.
constexpr float kSlack = 0.1f;

// A laid-out box and the boxes below it, in tree order.
template <class Visit>
void walkBelow(const fz_html_box* top, Visit visit) {
  fz_html_box* box = const_cast<fz_html_box*>(top);
  while (box) {
    BoxView v = view(box);
    visit(box, v);
    if (v.down) {
      box = v.down;
      continue;
    }
    while (box != top && !view(box).next) box = view(box).up;
    box = box != top ? view(box).next : nullptr;
  }
}

// The boxes of the cells' outer blocks by cell number.
std::vector<fz_html_box*> outerBlocks(const fz_html* html, size_t cells) {
  std::vector<fz_html_box*> outer(cells, nullptr);
  constexpr std::string_view prefix = kCellIdPrefix;
  walkBelow(html->tree.root, [&](fz_html_box* box, const BoxView& v) {
    if (v.type != BOX_BLOCK || !v.id || std::strncmp(v.id, prefix.data(), prefix.size()) != 0)
      return;
    std::string_view rest = v.id + prefix.size();
    size_t n = 0;
    auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), n);
    if (error == std::errc() && *end == '\0' && n < cells) outer[n] = box;
  });
  return outer;
}

// The cell's inner block: the outer block's only child.
fz_html_box* innerOf(fz_html_box* outer) {
  fz_html_box* inner = outer ? view(outer).down : nullptr;
  return inner && view(inner).type == BOX_BLOCK ? inner : nullptr;
}

float emOf(const fz_html_box* box) {
  return loadAt<float>(reinterpret_cast<const char*>(box) + offsetof(fz_html_box, s.layout.em));
}

// A length in points, or -1 when it is auto or not a length.
float resolve(fz_css_number n, float em, float whole) {
  switch (n.unit) {
    case 'p':
      return n.value;
    case 'm':
      return n.value * em;
    case '%':
      return n.value * whole / 100;
    default:
      return -1;
  }
}

struct Measure {
  float narrowest = 0, widest = 0;  // content widths, spacing outside
};

// The widest word or image and the widest line of a cell's inner block, as
// laid out with room for every line: the cell's narrowest and widest
// content, each with the indent of the block it is in.
Measure measure(const fz_html_box* inner) {
  Measure m;
  const float left = view(inner).x;
  walkBelow(inner, [&](fz_html_box* box, const BoxView& v) {
    if (v.type != BOX_FLOW) return;
    const float indent = std::max(0.0f, v.x - left);
    bool open = false;
    float y = 0, from = 0, to = 0;
    for (fz_html_flow* p = flowHead(box); p;) {
      fz_html_flow f = loadAt<fz_html_flow>(p);
      p = f.next;
      const unsigned type = f.bits & 7;
      if (type != FLOW_WORD && type != FLOW_IMAGE) continue;
      m.narrowest = std::max(m.narrowest, indent + f.w);
      if (open && f.y == y) {
        from = std::min(from, f.x);
        to = std::max(to, f.x + f.w);
        continue;
      }
      if (open) m.widest = std::max(m.widest, indent + to - from);
      open = true;
      y = f.y;
      from = f.x;
      to = f.x + f.w;
    }
    if (open) m.widest = std::max(m.widest, indent + to - from);
  });
  m.widest = std::max(m.widest, m.narrowest);
  return m;
}

// One cell of a table's grid.
struct Slot {
  size_t cell;
  uint32_t col, span, row, rows;
  float narrowest, widest;  // border box
};

// Column widths (content of the columns, spacing between them left out)
// by the browsers' automatic table layout: each column as wide as its
// widest content when the table has room, else shared out between its
// narrowest and widest in proportion; a table of a set width spreads what
// is left over its columns by their widest content. A column's set width
// (from <col>) is its narrowest and widest both.
std::vector<float> columnWidths(const std::vector<Slot>& slots, const std::vector<float>& set,
                                float room, bool fixed, float spacing) {
  const uint32_t columns = static_cast<uint32_t>(set.size());
  std::vector<float> low(columns, 0), high(columns, 0);
  for (const Slot& s : slots)
    if (s.span == 1) {
      low[s.col] = std::max(low[s.col], s.narrowest);
      high[s.col] = std::max(high[s.col], s.widest);
    }
  // A column's set width, never below its narrowest content.
  for (uint32_t c = 0; c < columns; ++c)
    if (set[c] >= 0) low[c] = high[c] = std::max(low[c], set[c]);
  std::vector<const Slot*> spanning;
  for (const Slot& s : slots)
    if (s.span > 1) spanning.push_back(&s);
  std::sort(spanning.begin(), spanning.end(), [](const Slot* a, const Slot* b) {
    return a->span != b->span ? a->span < b->span : a->cell < b->cell;
  });
  for (const Slot* s : spanning) {
    const float between = static_cast<float>(s->span - 1) * spacing;
    float lowSum = between, highSum = between;
    for (uint32_t c = s->col; c < s->col + s->span; ++c) {
      lowSum += low[c];
      highSum += high[c];
    }
    for (uint32_t c = s->col; c < s->col + s->span; ++c) {
      if (s->narrowest > lowSum) low[c] += (s->narrowest - lowSum) / static_cast<float>(s->span);
      if (s->widest > highSum) {
        const float share = highSum - between > 0 ? high[c] / (highSum - between)
                                                  : 1.0f / static_cast<float>(s->span);
        high[c] += (s->widest - highSum) * share;
      }
    }
  }
  float lowSum = 0, highSum = 0;
  for (uint32_t c = 0; c < columns; ++c) {
    high[c] = std::max(high[c], low[c]);
    lowSum += low[c];
    highSum += high[c];
  }
  const float target = fixed             ? std::max(room, lowSum)
                       : highSum <= room ? highSum
                                         : std::max(lowSum, room);
  // Room left over goes to the columns without a set width, if any.
  uint32_t unset = 0;
  float freeHigh = 0;
  for (uint32_t c = 0; c < columns; ++c)
    if (set[c] < 0) ++unset, freeHigh += high[c];
  const bool allShare = unset == 0;
  if (allShare) unset = columns, freeHigh = highSum;
  std::vector<float> widths(columns);
  for (uint32_t c = 0; c < columns; ++c) {
    if (target >= highSum) {
      const bool shares = allShare || set[c] < 0;
      const float share = !shares        ? 0
                          : freeHigh > 0 ? high[c] / freeHigh
                                         : 1.0f / static_cast<float>(unset);
      widths[c] = high[c] + (target - highSum) * share;
    } else if (highSum > lowSum) {
      widths[c] = low[c] + (high[c] - low[c]) * (target - lowSum) / (highSum - lowSum);
    } else {
      widths[c] = low[c];
    }
  }
  return widths;
}

// Plans one table of the measuring layout.
void planTable(fz_html_box* table, const std::vector<fz_html_box*>& outer,
               const std::unordered_map<fz_html_box*, size_t>& numbers, const Tables& tables,
               TablePlan& plan) {
  const BoxView t = view(table);
  std::vector<Slot> slots;
  std::vector<uint32_t> busy;  // rows each column is still taken for
  uint32_t row = 0, columns = 0;
  for (fz_html_box* r = t.down; r; r = view(r).next, ++row) {
    if (view(r).type != BOX_TABLE_ROW) continue;
    uint32_t col = 0;
    for (fz_html_box* c = view(r).down; c; c = view(c).next) {
      BoxView cv = view(c);
      auto it = cv.type == BOX_TABLE_CELL && cv.down ? numbers.find(cv.down) : numbers.end();
      if (it == numbers.end()) continue;
      const size_t n = it->second;
      while (col < busy.size() && busy[col] > 0) ++col;
      const TableCell& spans = tables.cells[n];
      const uint32_t width = spans.colspan;
      if (col + width > kMaxTableColumns) return;
      if (busy.size() < col + width) busy.resize(col + width, 0);
      for (uint32_t k = col; k < col + width; ++k) busy[k] = spans.rowspan;
      fz_html_box* inner = innerOf(outer[n]);
      Measure m = inner ? measure(inner) : Measure{};
      CellPlan& p = plan.cells[n];
      p.border = edgesOf(c, kBorderAt);
      p.padding = edgesOf(c, kPaddingAt);
      const fz_css_style style = loadAt<fz_css_style>(cv.style);
      const float set = resolve(style.width, emOf(c), t.w);
      slots.push_back(
          {n, col, width, row, spans.rowspan, m.narrowest, std::max(m.widest + kSlack, set)});
      if (set >= 0) slots.back().narrowest = std::max(slots.back().narrowest, set);
      col += width;
      columns = std::max(columns, col);
    }
    for (uint32_t& b : busy)
      if (b > 0) --b;
  }
  const uint32_t rows = row;
  if (slots.empty()) return;
  const TableInfo& info = tables.tables[tables.cells[slots.front().cell].table];
  const float spacing = tables.collapse ? 0 : info.spacing >= 0 ? info.spacing : kSpacing;
  // Spacing inside each cell's border box: in the collapsing model a cell
  // draws its left and top borders, and its right and bottom ones only at
  // the table's edge, so neighbours share one border.
  for (Slot& s : slots) {
    CellPlan& p = plan.cells[s.cell];
    p.drawRight = !tables.collapse || s.col + s.span == columns;
    p.drawBottom = !tables.collapse || s.row + s.rows >= rows;
    const float around = p.border.side[BOX_L] + p.padding.side[BOX_L] + p.padding.side[BOX_R] +
                         (p.drawRight ? p.border.side[BOX_R] : 0);
    s.narrowest += around;
    s.widest += around;
  }
  const float gaps = static_cast<float>(columns + 1) * spacing;
  const fz_css_style ts = loadAt<fz_css_style>(t.style);
  const bool fixed = ts.width.unit != 'a';
  std::vector<float> set(columns, -1);
  for (uint32_t c = 0; c < columns && c < info.columns.size(); ++c) {
    const ColumnWidth& w = info.columns[c];
    if (w.value >= 0) set[c] = w.percent ? w.value * (t.w - gaps) / 100 : w.value;
  }
  std::vector<float> widths = columnWidths(slots, set, t.w - gaps, fixed, spacing);
  float total = gaps;
  for (float w : widths) total += w;
  float offset = 0;
  if (ts.margin[BOX_L].unit == 'a' && ts.margin[BOX_R].unit == 'a' && t.up) {
    const BoxView parent = view(t.up);
    offset = std::max(0.0f, (parent.x + parent.w - t.x - total) / 2);
  }
  std::vector<float> left(columns + 1);
  left[0] = t.x + offset + spacing;
  for (uint32_t c = 0; c < columns; ++c) left[c + 1] = left[c] + widths[c] + spacing;
  const uint32_t grid = static_cast<uint32_t>(plan.grids.size());
  plan.grids.push_back({t.x + offset, total});
  for (const Slot& s : slots) {
    CellPlan& p = plan.cells[s.cell];
    p.placed = true;
    p.grid = grid;
    p.lastRow = s.row + s.rows - 1;
    p.marginTop = spacing;
    p.marginLeft = left[s.col] - view(outer[s.cell]).x;
    p.width = left[s.col + s.span] - spacing - left[s.col];
  }
}

}  // namespace

TablePlan planTables(const fz_html* measured, const Tables& tables) {
  TablePlan plan;
  plan.cells.resize(tables.cells.size());
  std::vector<fz_html_box*> outer = outerBlocks(measured, tables.cells.size());
  std::unordered_map<fz_html_box*, size_t> numbers;
  for (size_t n = 0; n < outer.size(); ++n)
    if (outer[n]) numbers.emplace(outer[n], n);
  std::unordered_set<fz_html_box*> seen;
  for (fz_html_box* box : outer) {
    fz_html_box* cell = box ? view(box).up : nullptr;
    fz_html_box* row = cell ? view(cell).up : nullptr;
    fz_html_box* table = row ? view(row).up : nullptr;
    if (!table || view(cell).type != BOX_TABLE_CELL || view(row).type != BOX_TABLE_ROW ||
        view(table).type != BOX_TABLE || !seen.insert(table).second)
      continue;
    planTable(table, outer, numbers, tables, plan);
  }
  return plan;
}

void finishTables(fz_context* ctx, fz_html* html, const TablePlan& plan) {
  std::vector<fz_html_box*> outer = outerBlocks(html, plan.cells.size());
  std::unordered_map<fz_html_box*, std::vector<fz_html_box*>> rowsOf;
  for (size_t n = 0; n < outer.size(); ++n) {
    const CellPlan& p = plan.cells[n];
    fz_html_box* inner = innerOf(outer[n]);
    fz_html_box* cell = outer[n] ? view(outer[n]).up : nullptr;
    fz_html_box* row = cell ? view(cell).up : nullptr;
    fz_html_box* table = row ? view(row).up : nullptr;
    if (!p.placed || !inner || !table || view(table).type != BOX_TABLE) continue;
    auto [rows, first] = rowsOf.try_emplace(table);
    if (first) {
      const TablePlan::Grid& g = plan.grids[p.grid];
      setPlace(table, g.x, g.w);
      for (fz_html_box* r = view(table).down; r; r = view(r).next) {
        rows->second.push_back(r);
        if (view(r).type == BOX_TABLE_ROW) setPlace(r, g.x, g.w);
      }
    }
    // The cell's last row ends where its border box must.
    const std::vector<fz_html_box*>& list = rows->second;
    const float bottom =
        list.empty() ? view(row).b : view(list[std::min<size_t>(p.lastRow, list.size() - 1)]).b;
    const BoxView in = view(inner);
    Edges border = p.border, padding = p.padding;
    if (!p.drawRight) border.side[BOX_R] = 0;
    if (!p.drawBottom) border.side[BOX_B] = 0;
    padding.side[BOX_B] +=
        std::max(0.0f, bottom - (in.b + padding.side[BOX_B] + border.side[BOX_B]));
    // The cell's colours go to the inner block; the cell itself draws
    // nothing where MuPDF put it.
    fz_css_style cellStyle = loadAt<fz_css_style>(view(cell).style);
    fz_css_style innerStyle = loadAt<fz_css_style>(in.style);
    std::memcpy(innerStyle.border_color, cellStyle.border_color, sizeof innerStyle.border_color);
    innerStyle.background_color = cellStyle.background_color;
    cellStyle.background_color.a = 0;
    fz_css_style* innerCopy = newStyle(ctx, html->tree.pool);
    fz_css_style* cellCopy = innerCopy ? newStyle(ctx, html->tree.pool) : nullptr;
    if (!cellCopy) continue;
    storeAt(innerCopy, innerStyle);
    storeAt(cellCopy, cellStyle);
    setStyle(inner, innerCopy);
    setStyle(cell, cellCopy);
    setEdges(inner, kBorderAt, border);
    setEdges(inner, kPaddingAt, padding);
    setEdges(cell, kBorderAt, Edges{});
    setEdges(cell, kPaddingAt, Edges{});
  }
}

}  // namespace pendrel_mupdf
