// What the renderer spends at most on one document, whatever its content,
// and why; each budget is reported through renderer callback 2 when a
// document hits it (reasons kOver*, after those of archive.h). A document
// within every budget goes to MuPDF unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pendrel_mupdf {

inline constexpr size_t kBudgetMiB = size_t(1) << 20;

// Element nesting. MuPDF builds, lays out and draws boxes recursively, at
// about 1 KiB of stack per level: 256 levels fit a host thread of 1 MiB with
// room to spare (browsers stop their parsers at 512), and no book comes
// near. Elements deeper than this are left out around their content, which
// joins the element at the limit (flattened, never recursed into).
inline constexpr size_t kMaxNesting = 256;

// A document's size as the host gives it, decoded. MuPDF keeps 25 to 40
// bytes per byte of markup laid out (30 MiB of <div>a</div> take 1.2 GB):
// a document of 16 MiB stays near 600 MB. A larger document is refused (not
// loaded).
inline constexpr size_t kMaxDocumentBytes = 16 * kBudgetMiB;

// The layouts kept besides the one in use (see layout.cpp) are dropped
// once their documents hold more than this between them, so the largest
// documents cost at most about two layouts at once.
inline constexpr size_t kMaxCachedLayoutBytes = kMaxDocumentBytes;

// One word: MuPDF's line breaking costs more than the square of a word's
// length. Past this many bytes without white space a space is put in, so a
// word of megabytes costs no more than words of this length.
inline constexpr size_t kMaxWordBytes = 2048;

// An SVG file, and the elements an SVG image draws once every <use> is
// expanded (MuPDF expands them when drawing, with no limit; ten levels of
// ten <use> are ten billion shapes). An SVG file past either is unusable; in
// a document, its inline SVG images lose their <use> elements.
inline constexpr size_t kMaxSvgBytes = 16 * kBudgetMiB;
inline constexpr uint64_t kMaxSvgElements = uint64_t(1) << 20;

// The images one document uses, counted once per file however often it is
// referenced (every reference shares the file's bytes): their pixels and
// their bytes. Images past either are drawn as missing.
inline constexpr uint64_t kMaxDocumentImagePixels = uint64_t(1) << 28;  // 256 megapixels
inline constexpr size_t kMaxDocumentImageBytes = 256 * kBudgetMiB;

// Style sheets one layout reads (links, and the imports within them):
// MuPDF matches every rule of every sheet against every element. Further
// sheets are skipped.
inline constexpr size_t kMaxStyleSheets = 64;

// Why a document was reported through renderer callback 2 for a budget;
// the resource named is the document itself, or the SVG file, image or
// style sheet refused.
enum : intptr_t {
  kOverNesting = 3,
  kOverDocumentSize = 4,
  kOverWordLength = 5,
  kOverSvg = 6,
  kOverImages = 7,
  kOverStyleSheets = 8,
};

// Markup rewritten within the nesting, word and SVG budgets, with the
// budgets it hit.
struct Bounded {
  std::string markup;
  bool flattened = false, wordsBroken = false, usesDropped = false;
};

// `markup` within budgets, or nullopt when it already is (the usual case:
// a single scan, nothing copied).
std::optional<Bounded> withinBudgets(std::string_view markup);

// Whether an SVG file is within the SVG budgets and the nesting budget.
bool svgWithinBudgets(std::string_view svg);

// The elements an SVG file draws once every <use> is expanded, counted up
// to kMaxSvgElements + 1.
uint64_t svgElements(std::string_view svg);

}  // namespace pendrel_mupdf
