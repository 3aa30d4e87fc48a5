// An .epub opened as a zip archive (zip_archive.h) and served to the engine the way an e-book
// application does it: the host hands over the mimetype and container bytes,
// and every other file is read lazily, when the engine's read callback (or
// the renderer's, through it) asks for it.
//
// Nothing in the zip is trusted: an entry is inflated in bounded chunks up
// to a budget (entryBudget, --max-entry-mb), never into a buffer sized from
// the directory's claim, and an entry over the budget, over 2 GiB, failing
// its CRC check or inflating to another size than claimed is damage.
// Damage, a document the engine dropped and a resource the renderer could
// not use are warned about on stderr, one line each, and make the command's
// exit status 3.
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "epubreader.h"
#include "zip_archive.h"

namespace epubreader {

// The budget of one zip entry's inflated bytes (--max-entry-mb), for every
// book the process opens.
extern uint64_t entryBudget;

class Book {
 public:
  // Opens a file, "-" for standard input. On failure, returns null and sets
  // error to one line that says why (missing, a directory, not a zip archive
  // or a truncated one, or a zip archive that is not an EPUB publication).
  static std::unique_ptr<Book> openFile(const std::string& path, std::string& error);
  // Opens an archive held in memory (the built-in sample); the bytes must
  // outlive the Book.
  static std::unique_ptr<Book> openMemory(const void* data, size_t size, const std::string& name,
                                          std::string& error);
  Book(const Book&) = delete;
  Book& operator=(const Book&) = delete;

  const std::string& name() const { return name_; }

  // The whole entry, or nothing when it is missing (remembered, see
  // missing()) or damaged (warned about once).
  std::optional<std::vector<uint8_t>> read(const std::string& entry);
  bool has(const std::string& entry) const;

  // Creates the engine's handle for this book (settings come from the
  // caller) and hands it the mimetype and container bytes. On failure,
  // returns null and sets error.
  EpubReader* open(const EpubReaderRendererSettings& settings, std::string& error);

  // The package document's full path, valid after a successful open.
  const std::string& packagePath() const { return packagePath_; }

  // Warns about damage (one line naming the book) and counts it.
  void damage(const std::string& what);
  // A second opening of a book (a worker's) keeps its warnings to itself:
  // only counted and listed in damages().
  bool quiet = false;
  size_t damaged() const { return damages_.size(); }
  // What each warning said, in order.
  const std::vector<std::string>& damages() const { return damages_; }
  // Whether the read callback was asked for this entry and lacked it.
  bool missing(const std::string& entry) const { return missing_.count(entry) > 0; }
  bool wasDamaged(const std::string& entry) const { return damagedEntries_.count(entry) > 0; }

  // Serves `bytes` for `entry` from now on, in place of the archive's.
  void substitute(const std::string& entry, const std::string& bytes);

  // Frees the buffers served since the last call. The MuPDF renderer
  // copies what it is given, and the engine does not read a content
  // document's bytes after handing them over, so the session calls this
  // whenever no export is running (and from the load progress, between
  // documents). The package files read while opening stay.
  void settle();

 private:
  Book(std::unique_ptr<ZipArchive> zip, std::string name)
      : zip_(std::move(zip)), name_(std::move(name)) {}
  static std::unique_ptr<Book> checkEpub(std::unique_ptr<ZipArchive> zip, const std::string& name,
                                         std::string& error);
  static bool readCallback(void* user, const char16_t* path, const uint8_t** bytes,
                           uint32_t* length);
  static bool reportCallback(void* user, intptr_t document, intptr_t resource, intptr_t reason);
  static void releaseCallback(void* user, const char16_t* path);
  void checkMimetype();

  std::unique_ptr<ZipArchive> zip_;
  std::string name_;
  std::vector<uint8_t> input_;  // the archive read from standard input
  std::string packagePath_;
  std::vector<std::string> damages_;
  std::set<std::string> damagedEntries_, missing_, reported_;
  // Buffers served, by path: a file asked for again is served from here
  // until settle(); those read while opening are kept.
  std::map<std::u16string, std::vector<uint8_t>> served_, kept_, substitutes_;
  std::list<std::vector<uint8_t>> opening_;  // mimetype and container bytes
  bool openingNow_ = false;
};

}  // namespace epubreader
