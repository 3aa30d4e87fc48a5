// The markup side of table layout (see tables.h): the cells found in the
// DOM, the presentational attributes read, the blocks written around each
// cell's content and their styles.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>

#include "dom_walk.h"
#include "tables.h"

namespace pendrel_mupdf {
namespace {

constexpr std::string_view kCellId = " id=\"pendrel-cell-";
constexpr std::string_view kInner = "-in";
// Wide enough that no cell's content wraps while it is measured.
constexpr float kMeasuringWidth = 20000;
constexpr uint32_t kMaxSpan = 1000;

bool isCell(fz_xml* node) { return fz_xml_is_tag(node, "td") || fz_xml_is_tag(node, "th"); }

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

// A length in CSS: two decimals (whatever the C locale) and its unit.
void number(std::string& out, float value, const char* unit = "pt") {
  char buf[32];
  auto [end, error] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 2);
  out.append(buf, error == std::errc() ? end : buf);
  out += unit;
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
  number(out, value, percent ? "%" : "pt");
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
        n = nextPast(n, table);
      } else if (isCell(n)) {
        found.cells.push_back(n);
        tables.cells.push_back(
            {span(fz_xml_att(n, "colspan")), span(fz_xml_att(n, "rowspan")), number});
        std::string hints = cellHints;
        commonHints(n, hints);
        const char* cellAlign = fz_xml_att(n, "align");
        if (cellAlign && isWord(cellAlign)) hints += std::string("text-align:") + cellAlign + ";";
        if (!hints.empty()) found.hints.emplace_back(n, std::move(hints));
        n = nextPast(n, table);
      } else {
        if (fz_xml_is_tag(n, "col") && info.columns.size() < kMaxTableColumns) {
          ColumnWidth w;
          w.value = pixels(fz_xml_att(n, "width"), &w.percent);
          if (const char* colStyle = fz_xml_att(n, "style")) styleWidth(colStyle, w);
          const uint32_t count = std::min(span(fz_xml_att(n, "span")), kMaxTableColumns);
          info.columns.insert(info.columns.end(), count, w);
        }
        n = nextInTree(n, table);
      }
    }
    tables.tables.push_back(std::move(info));
    node = nextPast(table, top);
  }
  return found;
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
  const std::string id = std::string(kCellIdPrefix) + std::to_string(n);
  return "<div id=\"" + id + "\"><div id=\"" + id + std::string(kInner) + "\">";
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
