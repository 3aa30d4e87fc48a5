// The books a server offers: one BOOK, the .epub files of a folder, or the
// built-in sample, each opened on the engine and addressed by an id of the
// server's own. No request names a file: ids are all a client sees.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "open_book.h"

namespace epubreader {

struct LibraryBook {
  std::string id;
  std::string file;  // the file's name, for messages and the library page
  std::unique_ptr<OpenBook> book;
};

class Library {
 public:
  static constexpr size_t kMostBooks = 1000;

  // Opens BOOK, or every .epub file of a folder (in name order), or the
  // sample. Failure when the path names neither a file nor a folder.
  explicit Library(const std::optional<std::string>& path);

  bool isFolder() const { return folder_; }
  // What is served, for the start-up message.
  const std::string& description() const { return description_; }
  std::vector<LibraryBook>& books() { return books_; }
  LibraryBook* find(std::string_view id);

 private:
  void add(const std::optional<std::string>& path, const std::string& file);

  bool folder_ = false;
  std::string description_;
  std::vector<LibraryBook> books_;
};

}  // namespace epubreader
