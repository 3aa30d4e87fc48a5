#include "library.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace epubreader {

namespace fs = std::filesystem;

namespace {

// A stable id from the file's name (FNV-1a), so that what a browser keeps
// per book (its last position) survives a restart of the server.
std::string idOf(const std::string& name) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (unsigned char c : name) hash = (hash ^ c) * 0x100000001b3ull;
  char text[17];
  std::snprintf(text, sizeof text, "%012llx", static_cast<unsigned long long>(hash >> 16));
  return text;
}

bool isEpubName(const fs::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  return extension == ".epub";
}

}  // namespace

Library::Library(const std::optional<std::string>& path) {
  if (!path) {
    description_ = "the built-in sample";
    add(std::nullopt, "(built-in sample)");
    return;
  }
  std::error_code ec;
  const auto status = fs::status(*path, ec);
  if (!fs::exists(status)) throw Failure{*path + ": no such file or folder"};
  if (!fs::is_directory(status)) {
    description_ = *path;
    add(*path, fs::path(*path).filename().string());
    return;
  }
  folder_ = true;
  std::vector<fs::path> files;
  for (fs::directory_iterator it(*path, ec), end; !ec && it != end; it.increment(ec))
    if (isEpubName(it->path()) && it->is_regular_file(ec)) files.push_back(it->path());
  if (ec) throw Failure{*path + ": cannot be listed (" + ec.message() + ")"};
  std::sort(files.begin(), files.end());
  if (files.size() > kMostBooks) {
    std::fprintf(stderr, "epubreader: warning: %s holds %zu books; the first %zu are served\n",
                 path->c_str(), files.size(), kMostBooks);
    files.resize(kMostBooks);
  }
  for (const auto& file : files) add(file.string(), file.filename().string());
  description_ =
      std::to_string(books_.size()) + " book" + (books_.size() == 1 ? "" : "s") + " in " + *path;
}

void Library::add(const std::optional<std::string>& path, const std::string& file) {
  std::string id = path ? idOf(file) : "sample";
  for (int n = 2; find(id); ++n) id = (path ? idOf(file) : "sample") + "-" + std::to_string(n);
  auto book = std::make_unique<OpenBook>(path, path ? *path + ".highlights.json" : "");
  if (!book->error().empty())
    std::fprintf(stderr, "epubreader: warning: %s\n", book->error().c_str());
  books_.push_back({id, file, std::move(book)});
}

LibraryBook* Library::find(std::string_view id) {
  for (auto& b : books_)
    if (b.id == id) return &b;
  return nullptr;
}

}  // namespace epubreader
