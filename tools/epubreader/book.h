// An .epub opened with libzip and served to the engine the way an e-book
// application does it: the host hands over the mimetype and container bytes,
// and every other file is read lazily, when the engine's read callback asks
// for it. A buffer handed to the engine stays alive until the engine's
// release callback names its path, or until the Book closes.
#pragma once

#include <zip.h>

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "epubreader.h"

namespace epubreader {

class Book {
 public:
  // Opens a file. On failure, returns null and sets error to one line that
  // says why (missing, a directory, not a zip archive with libzip's reason,
  // or a zip archive that is not an EPUB publication).
  static std::unique_ptr<Book> openFile(const std::string& path, std::string& error);
  // Opens an archive held in memory (the built-in sample); the bytes must
  // outlive the Book.
  static std::unique_ptr<Book> openMemory(const void* data, size_t size, const std::string& name,
                                          std::string& error);
  ~Book();
  Book(const Book&) = delete;
  Book& operator=(const Book&) = delete;

  const std::string& name() const { return name_; }

  // The whole entry, or nothing when it is missing or damaged (a damaged
  // entry is remembered and reported on stderr once).
  std::optional<std::vector<uint8_t>> read(const std::string& entry);

  // Creates the engine's handle for this book (settings come from the
  // caller) and hands it the mimetype and container bytes. On failure,
  // returns null and sets error.
  EpubReader* open(const EpubReaderRendererSettings& settings, std::string& error);

  // The package document's full path, valid after a successful open.
  const std::string& packagePath() const { return packagePath_; }

  // Entries that failed to inflate or failed their CRC check.
  const std::vector<std::string>& damaged() const { return damaged_; }

  // Reads made while a Transient is alive are freed when it ends: the
  // engine's search reads documents without ever releasing them.
  class Transient {
   public:
    explicit Transient(Book& book) : book_(book) { book_.transient_ = true; }
    ~Transient();
    Transient(const Transient&) = delete;
    Transient& operator=(const Transient&) = delete;

   private:
    Book& book_;
  };

 private:
  Book(zip_t* zip, std::string name) : zip_(zip), name_(std::move(name)) {}
  static std::unique_ptr<Book> checkEpub(zip_t* zip, const std::string& name, std::string& error);
  static bool readCallback(void* user, const char16_t* path, const uint8_t** bytes,
                           uint32_t* length);
  static void releaseCallback(void* user, const char16_t* path);

  zip_t* zip_;
  std::string name_;
  std::string packagePath_;
  std::vector<std::string> damaged_;
  std::map<std::u16string, std::list<std::vector<uint8_t>>> held_;
  std::list<std::vector<uint8_t>> transientHeld_;
  std::list<std::vector<uint8_t>> opening_;  // mimetype and container bytes
  std::vector<std::string> missing_;         // entries asked for and not found
  bool transient_ = false;
};

}  // namespace epubreader
