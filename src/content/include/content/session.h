// The Publication session: all state of one open publication, shared by the
// Reader handle (which owns it) and the content operations (which work on
// it). Kept in its own header so that neither side includes the other.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/string_index.h"
#include "package/package_record.h"
#include "package/paths.h"
#include "pendrel.h"

namespace epub {

// One document of the reading order.
struct ContentItem {
  // Pages as last reported by the renderer; 0 until first laid out. It
  // survives a delete, so publication pages keep counting the document.
  int32_t pageCount = 0;
  std::u16string path;  // full container path: the renderer's key
  bool loaded = false;
  const char16_t* href = nullptr;  // the spine entry's manifest href, owned by the Package record
};

// The host's four callbacks and their user data, as the Reader handle's
// options give them; their types are the public header's, written here so
// that this layer needs no part of that header.
struct HostCallbacks {
  bool (*read)(void* userData, const char16_t* path, const uint8_t** bytes,
               uint32_t* length) = nullptr;
  bool (*rendererCallback1)(void* userData, intptr_t value1, intptr_t value2) = nullptr;
  bool (*rendererCallback2)(void* userData, intptr_t value1, intptr_t value2,
                            intptr_t value3) = nullptr;
  void (*release)(void* userData, const char16_t* path) = nullptr;
  void* userData = nullptr;
};

struct Session {
  decltype(HostCallbacks::read) read = nullptr;
  decltype(HostCallbacks::rendererCallback1) rendererCallback1 = nullptr;
  decltype(HostCallbacks::rendererCallback2) rendererCallback2 = nullptr;
  decltype(HostCallbacks::release) release = nullptr;
  void* userData = nullptr;

  std::u16string mimeType;
  package::PackageLocation location;                // opfPath, OPF directory, rootfile media type
  std::unique_ptr<package::PackageRecord> package;  // present once a publication is open
  ZaveVevode* renderer = nullptr;
  // Sum of page counts as of the last loadAll or publication-wide layout
  // change; deliberately not refreshed by single-document operations.
  int32_t totalPageCount = 0;
  std::vector<ContentItem> contents;  // spine order, duplicates included

  // Makes room for `count` Content items.
  void reserveContents(size_t count);
  // Appends a Content item for a manifest item of the spine.
  void addContent(std::u16string path, const char16_t* href);
  // Empties the Content table and its index of paths.
  void clearContents() noexcept;
  // The index of the first Content item with exactly this path. The index of
  // paths behind it is built as the publication opens (the table never
  // changes afterwards), so a lookup costs no scan.
  std::optional<size_t> firstIndexOf(std::u16string_view path) const noexcept;

  // Creates the renderer with trampolines to the host's callbacks and the
  // host's thirteen settings.
  Session(const HostCallbacks& host, const ZaveVevodeSettings& settings);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  bool isOpen() const { return package != nullptr; }

  // Calls the host's read callback with both outputs preset to null and 0.
  bool readFile(const std::u16string& path, const uint8_t** bytes, uint32_t* length) const;
  void releaseFile(const std::u16string& path) const;

 private:
  // The path of the Content item at an index, as the index of paths reads it.
  struct PathOf {
    const std::vector<ContentItem>* contents;
    std::u16string_view operator()(uint32_t at) const noexcept { return (*contents)[at].path; }
  };
  StringIndex pathIndex_;
};

}  // namespace epub
