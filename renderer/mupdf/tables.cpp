#include "tables.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "dom_walk.h"

namespace pendrel_mupdf {
namespace {

constexpr std::string_view kCellId = " id=\"pendrel-cell-";
constexpr std::string_view kInner = "-in";
// Wide enough that no cell's content wraps while it is measured.
constexpr float kMeasuringWidth = 20000;
// Between separate borders, as browsers' default border-spacing.
constexpr float kSpacing = 2;
constexpr uint32_t kMaxSpan = 1000;
// Wider tables are left as MuPDF lays them out.
constexpr uint32_t kMaxColumns = 1000;
// Added to a cell's widest line so that rounding its width cannot wrap it.
constexpr float kSlack = 0.1f;

bool isCell(fz_xml* node) { return fz_xml_is_tag(node, "td") || fz_xml_is_tag(node, "th"); }

// The node after `node` and all below it, staying below `top`.
fz_xml* skipBelow(fz_xml* node, fz_xml* top) {
  while (node != top && !fz_xml_next(node)) node = fz_xml_up(node);
  return node != top ? fz_xml_next(node) : nullptr;
}

uint32_t span(const char* text) {
  uint32_t n = 1;
  if (!text) return n;
  while (*text == ' ') ++text;
  std::from_chars(text, text + std::strlen(text), n);
  return std::clamp<uint32_t>(n, 1, kMaxSpan);
}

// Cell `n`'s number read from markup just after kCellId; `inner` tells the
// inner block's id from the outer one's.
bool cellNumber(std::string_view rest, size_t* n, bool* inner, size_t* length) {
  auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), *n);
  if (error != std::errc()) return false;
  std::string_view after = rest.substr(end - rest.data());
  *inner = after.substr(0, kInner.size()) == kInner;
  if (*inner) after.remove_prefix(kInner.size());
  if (after.empty() || after[0] != '"') return false;
  *length = after.data() + 1 - rest.data();
  return true;
}

void number(std::string& out, float value) {
  char buf[32];
  auto [end, error] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 2);
  out.append(buf, error == std::errc() ? end : buf);
  out += "pt";
}

void edges(std::string& out, const char* name, const float (&side)[4]) {
  out += name;
  out += ':';
  for (int i = 0; i < 4; ++i) {
    if (i) out += ' ';
    number(out, side[i]);
  }
  out += ';';
}

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
  constexpr std::string_view prefix = kCellId.substr(5);  // pendrel-cell-
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
      if (col + width > kMaxColumns) return;
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

// A presentational length ("4", "4px", "50%"): its number, -1 when it is
// none; `percent` (when given) tells a percentage.
float pixels(const char* text, bool* percent) {
  if (percent) *percent = false;
  if (!text) return -1;
  while (*text == ' ') ++text;
  float value = -1;
  const char* end = text + std::strlen(text);
  auto [stop, error] = std::from_chars(text, end, value);
  if (error != std::errc() || value < 0 || value > 100000) return -1;
  std::string_view unit(stop, static_cast<size_t>(end - stop));
  if (unit == "%" && percent) {
    *percent = true;
  } else if (!unit.empty() && unit != "px") {
    return -1;
  }
  return value;
}

void appendHint(std::string& out, const char* name, float value, bool percent, const char* rest) {
  out += name;
  out += ':';
  char buf[32];
  auto [end, error] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 2);
  out.append(buf, error == std::errc() ? end : buf);
  out += percent ? "%" : "pt";
  out += rest;
  out += ';';
}

// Whether an attribute's value is a plain word or colour (no CSS of its own).
bool isWord(const char* text) {
  if (!*text) return false;
  for (; *text; ++text)
    if (!std::isalnum(static_cast<unsigned char>(*text)) && *text != '#') return false;
  return true;
}

// `width` and `bgcolor`, as on tables and cells.
void commonHints(fz_xml* element, std::string& hints) {
  bool percent = false;
  const float width = pixels(fz_xml_att(element, "width"), &percent);
  if (width >= 0) appendHint(hints, "width", width, percent, "");
  const char* colour = fz_xml_att(element, "bgcolor");
  if (colour && isWord(colour)) hints += std::string("background-color:") + colour + ";";
}

// A `width` declaration in a column's style attribute (points, px or percent).
void styleWidth(std::string_view style, ColumnWidth& w) {
  size_t at = style.find("width");
  if (at == std::string_view::npos || (at > 0 && style[at - 1] == '-')) return;
  size_t value = style.find_first_not_of(" \t:", at + 5);
  if (value == std::string_view::npos) return;
  size_t end = style.find_first_of(";\"", value);
  std::string text(style.substr(value, end == std::string_view::npos ? end : end - value));
  while (!text.empty() && text.back() == ' ') text.pop_back();
  if (text.size() > 2 && text.compare(text.size() - 2, 2, "pt") == 0) text.resize(text.size() - 2);
  bool percent = false;
  const float v = pixels(text.c_str(), &percent);
  if (v >= 0) w = {v, percent};
}

}  // namespace

bool mayHoldTables(std::string_view xhtml) {
  for (size_t at = xhtml.find('<'); at != std::string_view::npos; at = xhtml.find('<', at + 1)) {
    std::string_view rest = xhtml.substr(at + 1, 6);
    if (rest.size() == 6 && (rest[0] | 0x20) == 't' && (rest[1] | 0x20) == 'a' &&
        (rest[2] | 0x20) == 'b' && (rest[3] | 0x20) == 'l' && (rest[4] | 0x20) == 'e' &&
        std::string_view(" \t\r\n/>").find(rest[5]) != std::string_view::npos)
      return true;
  }
  return false;
}

bool collapsesBorders(std::string_view css) {
  constexpr std::string_view name = "border-collapse";
  for (size_t at = css.find(name); at != std::string_view::npos; at = css.find(name, at + 1)) {
    size_t value = css.find_first_not_of(" \t\r\n:", at + name.size());
    if (value != std::string_view::npos && css.substr(value, 8) == "collapse") return true;
  }
  return false;
}

TableMarkup findTableCells(fz_xml* top, Tables& tables) {
  TableMarkup found;
  for (fz_xml* node = top; node;) {
    if (!fz_xml_is_tag(node, "table")) {
      node = nextInTree(node, top);
      continue;
    }
    fz_xml* table = node;
    const char* style = fz_xml_att(table, "style");
    if (style && collapsesBorders(style)) tables.collapse = true;
    TableInfo info;
    const float spacing = pixels(fz_xml_att(table, "cellspacing"), nullptr);
    if (spacing >= 0) info.spacing = spacing;
    std::string tableHints, cellHints;
    const float border = pixels(fz_xml_att(table, "border"), nullptr);
    if (border > 0) {
      appendHint(tableHints, "border", border, false, " solid #808080");
      cellHints += "border:1pt solid #808080;";
    }
    const float padding = pixels(fz_xml_att(table, "cellpadding"), nullptr);
    if (padding >= 0) appendHint(cellHints, "padding", padding, false, "");
    commonHints(table, tableHints);
    const char* align = fz_xml_att(table, "align");
    if (align && std::strcmp(align, "center") == 0)
      tableHints += "margin-left:auto;margin-right:auto;";
    if (!tableHints.empty()) found.hints.emplace_back(table, std::move(tableHints));
    const uint32_t number = static_cast<uint32_t>(tables.tables.size());
    found.tables.push_back(table);
    for (fz_xml* n = fz_xml_down(table); n;) {
      if (fz_xml_is_tag(n, "table")) {
        n = skipBelow(n, table);
      } else if (isCell(n)) {
        found.cells.push_back(n);
        tables.cells.push_back(
            {span(fz_xml_att(n, "colspan")), span(fz_xml_att(n, "rowspan")), number});
        std::string hints = cellHints;
        commonHints(n, hints);
        const char* cellAlign = fz_xml_att(n, "align");
        if (cellAlign && isWord(cellAlign)) hints += std::string("text-align:") + cellAlign + ";";
        if (!hints.empty()) found.hints.emplace_back(n, std::move(hints));
        n = skipBelow(n, table);
      } else {
        if (fz_xml_is_tag(n, "col") && info.columns.size() < kMaxColumns) {
          ColumnWidth w;
          w.value = pixels(fz_xml_att(n, "width"), &w.percent);
          if (const char* colStyle = fz_xml_att(n, "style")) styleWidth(colStyle, w);
          const uint32_t count = std::min(span(fz_xml_att(n, "span")), kMaxColumns);
          info.columns.insert(info.columns.end(), count, w);
        }
        n = nextInTree(n, table);
      }
    }
    tables.tables.push_back(std::move(info));
    node = skipBelow(table, top);
  }
  return found;
}

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

std::unordered_set<fz_xml*> outsideTables(fz_xml* root, const std::vector<fz_xml*>& tables) {
  std::unordered_set<fz_xml*> holding, omitted;
  for (fz_xml* table : tables)
    for (fz_xml* up = table; up && holding.insert(up).second;) up = fz_xml_up(up);
  fz_xml* html = fz_xml_find(root, "html");
  for (fz_xml* node : holding) {
    if (node == html || fz_xml_is_tag(node, "table")) continue;
    for (fz_xml* child = fz_xml_down(node); child; child = fz_xml_next(child))
      if (fz_xml_tag(child) && !holding.count(child)) omitted.insert(child);
  }
  return omitted;
}

std::string cellStart(size_t n) {
  std::string id = "pendrel-cell-" + std::to_string(n);
  return "<div id=\"" + id + "\"><div id=\"" + id + "-in\">";
}

std::string styleTableCells(std::string_view xhtml, const TablePlan* plan) {
  std::string out;
  out.reserve(xhtml.size() + xhtml.size() / 4);
  size_t from = 0;
  for (size_t at = xhtml.find(kCellId); at != std::string_view::npos;
       at = xhtml.find(kCellId, at + 1)) {
    size_t n = 0, length = 0;
    bool inner = false;
    if (!cellNumber(xhtml.substr(at + kCellId.size()), &n, &inner, &length)) continue;
    const size_t end = at + kCellId.size() + length;
    out.append(xhtml.substr(from, end - from));
    from = end;
    const CellPlan* cell =
        plan && n < plan->cells.size() && plan->cells[n].placed ? &plan->cells[n] : nullptr;
    out += " style=\"margin:0;border:0;";
    if (!plan && !inner) {
      out += "padding:0;width:";
      number(out, kMeasuringWidth);
      out += ';';
    } else if (cell && !inner) {
      out += "padding:0;margin-top:";
      number(out, cell->marginTop);
      out += ";margin-left:";
      number(out, cell->marginLeft);
      out += ";width:";
      number(out, cell->width);
      out += ';';
    } else if (cell) {
      const Edges& b = cell->border;
      const Edges& p = cell->padding;
      edges(
          out, "padding",
          {b.side[BOX_T] + p.side[BOX_T], p.side[BOX_R] + (cell->drawRight ? b.side[BOX_R] : 0),
           p.side[BOX_B] + (cell->drawBottom ? b.side[BOX_B] : 0), b.side[BOX_L] + p.side[BOX_L]});
    } else {
      out += "padding:0;";
    }
    out += '"';
  }
  out.append(xhtml.substr(from));
  return out;
}

}  // namespace pendrel_mupdf
