// The command's memory of page counts: each document's pages for a book
// under one layout, kept in the user's cache folder
// ($XDG_CACHE_HOME/epubreader/pages, else ~/.cache/epubreader/pages) once a
// command has laid the whole book out without damage. `render --page` and
// `--pages` then lay out only the documents holding the pages asked for,
// instead of every document before them, and draw the same pages.
//
// A memory belongs to the book file (its path, size and modification time),
// the layout (page size, font size, user style sheet, hyphenation) and the programs that
// made it (the command, the engine and its libraries, by path, size and
// modification time): a change of any of them is a new key, and a document
// whose pages turn out otherwise makes the command forget the memory and
// lay the book out in order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli.h"

namespace epubreader::memory {

// The key for a book file (nullopt: the built-in sample) under a layout;
// nullopt for standard input or a file that cannot be looked at.
std::optional<std::string> keyFor(const std::optional<std::string>& book, const Layout& layout);

// The page counts remembered for a key, if there are `documents` of them.
std::optional<std::vector<int32_t>> recall(const std::string& key, size_t documents);

// Keeps page counts for a key (written whole or not at all); failures to
// write are ignored: the memory only saves time.
void remember(const std::string& key, const std::vector<int32_t>& pages);

// Removes what is remembered for a key.
void forget(const std::string& key);

}  // namespace epubreader::memory
