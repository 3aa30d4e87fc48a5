// The renderer's text helpers for hrefs and CSS, free of MuPDF: container
// paths from hrefs, style sheets brought to one UTF-8 text with their
// @import rules followed (MuPDF's CSS parser reads UTF-8 only and skips
// @import), the background declarations found and rewritten for MuPDF's
// matcher, and the cheap scans of a document's <link> elements.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pendrel_mupdf {

// Whether `s` ends with `suffix` (written in lower case), ASCII letters
// compared without case.
bool endsWithNoCase(std::string_view s, std::string_view suffix);

// Whether a container path names a font file, by its extension.
bool isFontFile(std::string_view path);

// `s` with each %XX escape replaced by the byte it stands for.
std::string percentDecoded(std::string_view s);

// The full container path of `href` written in the file at `base`
// (percent-decoded, "." and ".." resolved, query and fragment dropped);
// empty when it leaves the container or names another scheme.
std::string resolveHref(std::string_view base, std::string_view href);

// The folder MuPDF joins the hrefs of the file at `path` to ("." for the
// container root).
std::string folderOf(std::string_view path);

// `path` written relative to the folder `folder` ("" = container root).
std::string relativePath(std::string_view folder, std::string_view path);

// A style sheet's bytes as UTF-8. The encoding is the byte-order mark's,
// else the sheet's @charset, else `declared` (the linking element's
// charset), else UTF-8. UTF-16, ISO-8859-1, Windows-1252 and US-ASCII are
// converted; other labels are taken as UTF-8.
std::string cssToUtf8(std::string_view bytes, std::string_view declared = {});

// The href and charset attributes of the document's <link> elements that
// have both, in document order (attribute values as written, entities not
// expanded). Only the part before <body is read.
std::vector<std::pair<std::string, std::string>> linkCharsets(std::string_view xhtml);

// The href of every <link> element before <body (cheap scan, values as
// written).
std::vector<std::string> linkHrefs(std::string_view xhtml);

// Whether CSS text (a sheet, or a style attribute's declarations) sets a
// background image: a `background` or `background-image` declaration whose
// value holds a url().
bool setsBackgroundImage(std::string_view css);

// Whether a document may need its markup prepared before MuPDF parses it:
// it holds an <object>, an @import or a background image of its own, or an
// empty end tag "</>" (after which MuPDF's HTML5 reading of an unknown
// element leaves it without a name, and its box builder crashes on that).
bool mayNeedPreparing(std::string_view xhtml);

// CSS text for finding the elements with a background image with MuPDF's
// own matcher, which keeps only properties it knows: `background` and
// `background-image` declarations become `src`, `background-repeat`
// `widows`, `background-size` `orphans` and `background-position` `quotes`; every url() target
// becomes "/" and its full container path, resolved against `base` (the file the text was written
// in). Rules without such declarations, and comments, are left out.
std::string backgroundRules(std::string_view css, std::string_view base);

// Reads a style sheet by full container path, already as UTF-8.
using ReadSheet = std::function<std::optional<std::string>(const std::string& path)>;

// The sheet at `path` with every @import rule replaced by the imported
// sheet's text (itself expanded, up to eight levels, for screen or all
// media), and url() references inside imported text rewritten relative to
// `path`'s folder, where the result is read from. @charset rules are dropped.
std::string expandImports(std::string_view css, std::string_view path, const ReadSheet& read);

}  // namespace pendrel_mupdf
