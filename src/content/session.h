// The Publication session: all state of one open publication, shared by the
// Reader handle (which owns it) and the content operations (which work on
// it). Kept in its own header so that neither side includes the other.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "epubreader.h"
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
};

struct Session {
  EpubReaderReadCallback read = nullptr;
  EpubReaderRendererCallback1 rendererCallback1 = nullptr;
  EpubReaderRendererCallback2 rendererCallback2 = nullptr;
  EpubReaderReleaseCallback release = nullptr;
  void* userData = nullptr;

  std::u16string mimeType;
  package::PackageLocation location;                // opfPath, OPF directory, rootfile media type
  std::unique_ptr<package::PackageRecord> package;  // present once a publication is open
  ZaveVevode* renderer = nullptr;
  // Sum of page counts as of the last loadAll or publication-wide layout
  // change; deliberately not refreshed by single-document operations.
  int32_t totalPageCount = 0;
  std::vector<ContentItem> contents;  // spine order, duplicates included

  // Where each full path first occurs in the table, and the manifest href of
  // the spine entry that put it there. Built when the publication opens (the
  // table never changes afterwards), so lookups by path cost no scan.
  struct PathEntry {
    size_t index;
    const char16_t* href;  // owned by the Package record
  };
  std::unordered_map<std::u16string, PathEntry> firstByPath;

  // Appends a Content item for a manifest item of the spine.
  void addContent(std::u16string path, const char16_t* href);

  explicit Session(const EpubReaderHostOptions& options);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  bool isOpen() const { return package != nullptr; }

  // Calls the host's read callback with both outputs preset to null and 0.
  bool readFile(const std::u16string& path, const uint8_t** bytes, uint32_t* length) const;
  void releaseFile(const std::u16string& path) const;
};

}  // namespace epub
