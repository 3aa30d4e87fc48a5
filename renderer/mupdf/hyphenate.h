// Hyphenation of a document's text before MuPDF lays it out: libhyphen's
// dictionaries by language, soft hyphens (U+00AD) put at the break points
// of long words, where MuPDF may break the line and draws a '-'.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

extern "C" {
#include <mupdf/fitz.h>
}

namespace pendrel_mupdf {

// Renderer setting 7: which text is hyphenated.
enum class Hyphenation : uint8_t { Off = 0, Justified = 1, All = 2 };

// Orders text by its bytes with ASCII letters lowercased: MuPDF draws a
// word in the case `text-transform` gives it.
struct LessNoCase {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const;
};

// The words hyphenated in a document, each as its white-space delimited
// token (with its punctuation): the pieces a line break at a soft hyphen
// leaves are joined back only when they make one of these.
using HyphenatedWords = std::set<std::string, LessNoCase>;

// What the host's settings say of a document's hyphenation: which text,
// the language of text without a lang of its own, whether the body is
// justified by default, an alignment forced on every element (true:
// justified), and the host's style sheet.
struct HyphenationOptions {
  Hyphenation mode = Hyphenation::Off;
  std::string language;
  bool justified = false;
  std::optional<bool> forcedJustify;
  std::string sheet;
};

// The text nodes of a parsed document given soft hyphens, with their new
// text, by the language of each (`xml:lang`, `lang`, else the options'),
// where `hyphens` (`none`, `manual`: not; `auto`: yes) or the mode and the
// alignment ask for it, as the options, the rules of `sheets` (the
// document's, in order, then the host's) for simple selectors and style
// attributes say. Nothing when the document holds soft hyphens of its own:
// its line breaks are the author's.
std::unordered_map<fz_xml*, std::string> hyphenateDocument(fz_xml* root,
                                                           const HyphenationOptions& options,
                                                           const std::vector<std::string>& sheets,
                                                           HyphenatedWords& words);

// Whether `words` holds a token `prefix` starts and is longer than (ASCII
// case aside).
bool startsHyphenatedWord(const HyphenatedWords& words, std::string_view prefix);

// `text` (UTF-8) with soft hyphens at the break points of its words, by
// `language`'s dictionary (loaded once a process, shared by threads),
// adding each word hyphenated to `words`. Only
// tokens of letters (with punctuation around them) of at least five letters
// are hyphenated; a token at the start (end) of `text` only when
// `openStart` (`openEnd`), that is when no word continues it from a
// neighbouring node.
std::string hyphenateText(std::string_view text, std::string_view language, bool openStart,
                          bool openEnd, HyphenatedWords& words);

// The value of declaration `name` in a style attribute or a sheet's
// declaration block, trimmed and lowercased; empty when it has none.
std::string declaredValue(std::string_view declarations, std::string_view name);

}  // namespace pendrel_mupdf
