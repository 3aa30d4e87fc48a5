// Inline SVG images whose <image> names an SVG file. MuPDF 1.21's SVG
// reader draws only raster files there ("ignoring external image"), so the
// <image> gives way to groups holding the file's drawing, placed in the
// image's box as its preserveAspectRatio says. One level only: the drawing's
// own <image> elements stay as they are (their hrefs written for the
// document's folder), so a file naming itself, or files naming each other,
// cannot loop.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

extern "C" {
#include <mupdf/fitz.h>
}

namespace pendrel_mupdf {

// Whether markup may hold such an image: an <image> tag naming ".svg".
bool mayHoldSvgImages(std::string_view xhtml);

// An SVG file's text by full container path, or nullopt (reported by the
// host) when it is missing or past the SVG budgets.
using SvgReader = std::function<std::optional<std::string>(const std::string& path)>;

// Replaces each <image> in an inline <svg> of `dom` (the document at
// container path `path`) that names an SVG file the reader gives; returns
// how many. The drawings inlined into one document share the budgets of one
// SVG file (bytes, and elements once every <use> is expanded), and the
// nesting budget holds for the document with them; images past them stay.
size_t inlineSvgImages(fz_context* ctx, fz_xml* dom, const std::string& path,
                       const SvgReader& read);

}  // namespace pendrel_mupdf
