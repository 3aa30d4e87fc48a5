// Tables laid out as browsers lay them out. MuPDF 1.21 gives every column an
// equal share of the table's whole width, ignores colspan, rowspan and
// border-collapse, and draws each cell's padding and border outside its
// column. So each cell's content is written inside two blocks of the
// renderer's own: an outer one that places it and an inner one that carries
// the cell's spacing. The document is then laid out twice: first with the
// outer blocks far wider than any page, to read each cell's narrowest and
// widest content; then with the columns of the browsers' automatic table
// layout given to the outer blocks as a left margin and a width. After that
// layout each cell's border, padding and background move onto its inner
// block, stretched to the bottom of the cell's last row, and the boxes of
// the table and its rows onto the columns.
//
// What is left as MuPDF has it: nested tables (laid out by MuPDF inside
// their cell), vertical alignment (content starts at the row's top),
// border-spacing (2 points between separate borders, as browsers default)
// and right-to-left column order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "boxes.h"

namespace pendrel_mupdf {

// Tables of more columns are left as MuPDF lays them out.
inline constexpr uint32_t kMaxTableColumns = 1000;
// The ids of the blocks around cell N's content: pendrel-cell-N (outer)
// and pendrel-cell-N-in (inner).
inline constexpr std::string_view kCellIdPrefix = "pendrel-cell-";

struct TableCell {
  uint32_t colspan = 1, rowspan = 1;
  uint32_t table = 0;  // its table's place in Tables::tables
};

// A width set on a column (<col width> or style, <col span> counted): in
// points, or in percent of the table's room when `percent`; negative when
// none.
struct ColumnWidth {
  float value = -1;
  bool percent = false;
};

struct TableInfo {
  float spacing = -1;  // the `cellspacing` attribute, else negative
  std::vector<ColumnWidth> columns;
};

// The cells of the tables that are not inside another table, numbered in
// document order.
struct Tables {
  std::vector<TableCell> cells;
  std::vector<TableInfo> tables;
  bool collapse = false;  // the document's styles collapse table borders
};

// What findTableCells found: the cells, and the declarations browsers
// read from the tables' presentational attributes (`border`,
// `cellpadding`, `width`, `align`, `bgcolor`), to go before each
// element's own `style`.
struct TableMarkup {
  std::vector<fz_xml*> cells;
  std::vector<std::pair<fz_xml*, std::string>> hints;
  std::vector<fz_xml*> tables;  // the tables themselves
};

// The elements of the body that neither are nor hold one of `tables` but
// sit beside something that does: left out of the markup the tables are
// measured in, which then costs a layout of the tables alone.
std::unordered_set<fz_xml*> outsideTables(fz_xml* root, const std::vector<fz_xml*>& tables);

// Whether markup may hold a table (a cheap scan).
bool mayHoldTables(std::string_view xhtml);

// Whether style sheet text sets `border-collapse: collapse`.
bool collapsesBorders(std::string_view css);

// The cells (td and th) of the tables under `top` that are not inside
// another table, in document order, with their spans and their tables'
// columns and spacing added to `tables`.
TableMarkup findTableCells(fz_xml* top, Tables& tables);

// The start and end tags written around cell `n`'s content.
std::string cellStart(size_t n);
inline constexpr std::string_view kCellEnd = "</div></div>";

// Where one cell goes, from the measuring layout.
struct CellPlan {
  bool placed = false;
  float marginLeft = 0, marginTop = 0, width = 0;
  Edges border{}, padding{};  // the cell's own, as MuPDF computed them
  bool drawRight = true, drawBottom = true;
  uint32_t lastRow = 0;  // the cell's last row, counted in its table
  uint32_t grid = 0;     // its table's place in TablePlan::grids
};

struct TablePlan {
  std::vector<CellPlan> cells;  // by cell number
  struct Grid {
    float x, w;  // the columns' left edge and width, borders and spacing in
  };
  std::vector<Grid> grids;
};

// The markup with the style of each cell's two blocks: for measuring
// (`plan` null) or as planned.
std::string styleTableCells(std::string_view xhtml, const TablePlan* plan);

// The plan read from a layout of the markup styled for measuring.
TablePlan planTables(const fz_html* measured, const Tables& tables);

// Moves the cells' borders, padding and backgrounds, and the tables' and
// rows' boxes, in a layout of the markup styled as planned.
void finishTables(fz_context* ctx, fz_html* html, const TablePlan& plan);

}  // namespace pendrel_mupdf
