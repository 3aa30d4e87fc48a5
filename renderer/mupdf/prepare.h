// A content document's markup made ready for MuPDF 1.21's HTML engine where
// that engine falls short: <object> images become <img>, @import rules in
// <style> elements are followed, SVG files named by inline SVG images are
// drawn inline, words are given soft hyphens, and elements with a CSS background image are
// found (MuPDF's parser drops the property and its layout draws none) so the
// renderer can draw them. The document is parsed into MuPDF's DOM, edited
// and written back as well-formed XHTML.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "hyphenate.h"
#include "tables.h"

extern "C" {
#include <mupdf/fitz.h>
}

namespace pendrel_mupdf {

// Background-repeat as bits: tiles along x, along y.
enum : unsigned { kRepeatX = 1, kRepeatY = 2 };
// Background-size: the image's own size, scaled to cover or to fit the box.
enum class BackgroundSize { Auto, Cover, Contain };

// Background-position along one axis: a fraction of the room the box
// leaves around the image, plus points.
struct Offset {
  float fraction = 0, points = 0;
};

struct Background {
  std::string id;     // the element's id (given one when it had none)
  std::string image;  // full container path of the image
  unsigned repeat = kRepeatX | kRepeatY;
  BackgroundSize size = BackgroundSize::Auto;
  Offset x, y;
};

struct Prepared {
  std::string xhtml;
  std::vector<Background> backgrounds;
  HyphenatedWords hyphenated;  // the words given soft hyphens
  Tables tables;               // cells whose content is wrapped for laying out
  std::string measuring;       // the markup the tables are measured in (see tables.h)
};

struct PrepareHost {
  // A style sheet by full container path as UTF-8 with its imports in
  // place, or nullopt.
  std::function<std::optional<std::string>(const std::string& path)> sheet;
  // Whether the host has an image file (by full container path).
  std::function<bool(const std::string& path)> has;
  // An SVG file's text, for drawing it inline (see svg_images.h).
  std::function<std::optional<std::string>(const std::string& path)> svg;
  // Soft hyphens put into the text (see hyphenate.h).
  HyphenationOptions hyphenation;
  // Whether the markup the tables are measured in is wanted (not when the
  // renderer remembers where their cells go).
  bool measureTables = true;
};

// The document at container path `path` prepared; nullopt when it does not
// parse or needs nothing (well-formed markup with nothing to edit).
std::optional<Prepared> prepare(fz_context* ctx, std::string_view xhtml, const std::string& path,
                                const PrepareHost& host);

// Prefix of the ids given to elements that need one.
inline constexpr const char* kIdPrefix = "pendrel-bg-";

}  // namespace pendrel_mupdf
