// A zip archive read through minizip, which needs only zlib: the command
// loads no archive library's crypto and compression dependencies for the
// one format an .epub uses (stored and deflated entries).
//
// The central directory is read once, at open, into a name index; a name
// not flagged as UTF-8 and not valid UTF-8 is read as CP437, the way zip
// tools of that age wrote it. A name that occurs twice is found as its
// first entry. An entry is inflated only up to the size its directory entry
// claims, and its CRC is checked when all of it has been read.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace epubreader {

class ZipArchive {
 public:
  struct Entry {
    uint64_t size = 0;  // inflated, as the directory claims it
    uint64_t directoryOffset = 0, number = 0;
    bool encrypted = false;
    unsigned method = 0;
  };

  // Opens a file. On failure, returns null and sets why to what follows
  // "<file>: " in a message: not a zip archive, a truncated one, or one
  // whose directory is unreadable.
  static std::unique_ptr<ZipArchive> openFile(const std::string& path, std::string& why);
  // Opens an archive held in memory; the bytes must outlive the archive.
  static std::unique_ptr<ZipArchive> openMemory(const void* data, size_t size, std::string& why);
  ~ZipArchive();
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;

  const Entry* find(const std::string& name) const;

  // Inflates the whole entry into bytes. Returns the empty string, or what
  // is wrong with the entry (its bytes are then not to be used).
  std::string read(const Entry& entry, std::vector<uint8_t>& bytes);

 private:
  struct Memory;
  ZipArchive() = default;
  // Reads the directory of an archive minizip opened (null when it could
  // not) into the index.
  static std::unique_ptr<ZipArchive> indexed(void* unz, std::unique_ptr<Memory> memory,
                                             std::string& why);

  std::unique_ptr<Memory> memory_;  // the bytes of an archive held in memory
  void* unz_ = nullptr;             // minizip's unzFile
  std::unordered_map<std::string, Entry> entries_;
};

}  // namespace epubreader
