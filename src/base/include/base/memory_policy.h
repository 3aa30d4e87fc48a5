// What the engine keeps or sizes on purpose to trade memory for speed: each
// cache and block size, how much it holds, and why. The layers that use
// them (the XML tree's arena, the text buffers, the package record's pools
// and paged arrays) carry no thresholds of their own.
#pragma once

#include <cstddef>

namespace epub::memory {

inline constexpr size_t kKiB = size_t(1) << 10;
inline constexpr size_t kMiB = size_t(1) << 20;

// ---- Text buffers: decoded package texts, the XML reader's large copies ----

// A text buffer larger than this is a mapping of its own on Linux, in huge
// pages where the system allows them, its pages made present in one step.
// From the C library a block of some megabytes is at times mapped afresh
// (depending on what the process allocated and released before), and its
// pages then fault in one at a time, which costs more than writing the text.
// 1 MiB is about the decoded OPF or NCX of a book of a few thousand
// documents.
inline constexpr size_t kTextMappedAboveBytes = 1 * kMiB;

// Released mappings kept for the next texts of about their sizes (no smaller
// than half): a process that opens one large book after another reuses their
// pages instead of having fresh ones made present each time. An open holds a
// few large texts at once (the OPF, the NCX, the parser's copy of a borrowed
// text), so four are kept, within 64 MiB in all, until the process ends; a
// larger one displaces smaller ones.
inline constexpr size_t kKeptTextMappings = 4;
inline constexpr size_t kKeptTextMappingBytes = 64 * kMiB;

// ---- The XML tree's arena ----

// Chunks start small, since most trees are small, and double up to a
// ceiling; a request of more than a quarter of the next chunk gets a block
// of its own.
inline constexpr size_t kArenaFirstChunkBytes = 8 * kKiB;
inline constexpr size_t kArenaLargestChunkBytes = 1 * kMiB;

// Released chunks of the largest size kept for the next large tree, shared
// by all threads. Measured: 8 steadies the opens of publications of 1,000
// to 10,000 documents; 16 or more made the largest ones (and other code in
// the process) fault more, the memory held back changing where the C
// library maps and trims.
inline constexpr size_t kArenaCachedChunks = 8;

// A text the parser may not change is copied before it is parsed in place:
// below this many code units into the tree's arena, above it into a text
// buffer of its own that the tree keeps.
inline constexpr size_t kArenaCopyMaxUnits = 256 * kKiB;  // 512 KiB of UTF-16

// ---- The package record ----

// Blocks of the pool that holds the host records' string pointers; a
// request over a quarter block gets a block of its own.
inline constexpr size_t kRecordPoolBlockBytes = 32 * kKiB;

// Paged arrays grow by whole pages and never move an entry: the manifest's
// items and the NCX's navigation points, whose strings the host holds.
inline constexpr size_t kManifestPageEntries = 256;
inline constexpr size_t kNavigationPageEntries = 512;

}  // namespace epub::memory
