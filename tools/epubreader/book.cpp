#include "book.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <mutex>
#include <system_error>

#include "package_check.h"
#include "utf.h"

namespace epubreader {

namespace {

// The engine takes byte counts below 2 GiB.
constexpr uint64_t kMaxEntryBytes = 0x7FFFFFFF;
const char kMimeType[] = "application/epub+zip";

std::string megabytes(uint64_t bytes) { return std::to_string(bytes >> 20) + " MB"; }

// Text of the entry for a message: printable ASCII, the rest escaped.
std::string shown(const std::vector<uint8_t>& bytes) {
  std::string out;
  for (size_t i = 0; i < bytes.size() && i < 60; ++i) {
    const uint8_t c = bytes[i];
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c < 0x20 || c >= 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return bytes.size() > 60 ? out + "..." : out;
}

// The engine's NCX reader writes a diagnostic to standard output when an NCX
// has an empty head; this keeps it out of the command's own output (JSON
// included) while a publication opens. Books opened on several threads at
// once take turns, or one would put back another's /dev/null.
class QuietStdout {
 public:
  QuietStdout() : turn_(mutex()) {
    std::cout.flush();
    std::fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    const int null = ::open("/dev/null", O_WRONLY);
    if (saved_ >= 0 && null >= 0) dup2(null, STDOUT_FILENO);
    if (null >= 0) close(null);
  }
  ~QuietStdout() {
    std::cout.flush();
    std::fflush(stdout);
    if (saved_ >= 0) {
      dup2(saved_, STDOUT_FILENO);
      close(saved_);
    }
  }
  QuietStdout(const QuietStdout&) = delete;
  QuietStdout& operator=(const QuietStdout&) = delete;

 private:
  static std::mutex& mutex() {
    static std::mutex m;
    return m;
  }
  std::lock_guard<std::mutex> turn_;
  int saved_;
};

}  // namespace

uint64_t entryBudget = uint64_t(256) << 20;

std::unique_ptr<Book> Book::openFile(const std::string& path, std::string& error) {
  if (path == "-") {
    std::vector<uint8_t> input((std::istreambuf_iterator<char>(std::cin)), {});
    std::unique_ptr<Book> book = openMemory(input.data(), input.size(), "(standard input)", error);
    if (book) book->input_ = std::move(input);  // the vector's buffer moves with it
    return book;
  }
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (!std::filesystem::exists(status)) {
    error = path + ": no such file";
    return nullptr;
  }
  if (std::filesystem::is_directory(status)) {
    error = path + ": is a directory, not an .epub file";
    return nullptr;
  }
  if (FILE* probe = std::fopen(path.c_str(), "rb")) {
    std::fclose(probe);
  } else {
    error = path + ": cannot be read (" + std::strerror(errno) + ")";
    return nullptr;
  }
  std::string why;
  std::unique_ptr<ZipArchive> zip = ZipArchive::openFile(path, why);
  if (!zip) {
    error = path + ": " + why;
    return nullptr;
  }
  return checkEpub(std::move(zip), path, error);
}

std::unique_ptr<Book> Book::openMemory(const void* data, size_t size, const std::string& name,
                                       std::string& error) {
  std::string why;
  std::unique_ptr<ZipArchive> zip = ZipArchive::openMemory(data, size, why);
  if (!zip) {
    error = name + ": " + why;
    return nullptr;
  }
  return checkEpub(std::move(zip), name, error);
}

std::unique_ptr<Book> Book::checkEpub(std::unique_ptr<ZipArchive> zip, const std::string& name,
                                      std::string& error) {
  if (!zip->find("META-INF/container.xml")) {
    error = name + ": a zip archive but not an EPUB publication (no META-INF/container.xml)";
    return nullptr;
  }
  return std::unique_ptr<Book>(new Book(std::move(zip), name));
}

bool Book::has(const std::string& entry) const { return zip_->find(entry) != nullptr; }

void Book::damage(const std::string& what) {
  damages_.push_back(what);
  if (!quiet) std::fprintf(stderr, "epubreader: warning: %s: %s\n", name_.c_str(), what.c_str());
}

std::optional<std::vector<uint8_t>> Book::read(const std::string& entry) {
  const ZipArchive::Entry* found = zip_->find(entry);
  if (!found) {
    missing_.insert(entry);
    return std::nullopt;
  }
  const uint64_t limit = std::min(entryBudget, kMaxEntryBytes);
  std::string problem;
  std::vector<uint8_t> bytes;
  if (found->size > limit)
    problem = "larger than the budget of " + megabytes(limit + 1) +
              " per entry (--max-entry-mb): its directory entry says " +
              std::to_string(found->size) + " bytes";
  else
    problem = zip_->read(*found, bytes);
  if (problem.empty()) return bytes;
  if (damagedEntries_.insert(entry).second)
    damage("entry " + entry + " is damaged (" + problem + ")");
  return std::nullopt;
}

bool Book::readCallback(void* user, const char16_t* path, const uint8_t** bytes, uint32_t* length) {
  auto* book = static_cast<Book*>(user);
  if (!path || !*path) return false;
  auto* held = &book->substitutes_;
  auto found = held->find(path);
  if (found == held->end()) {
    held = &book->kept_;
    found = held->find(path);
  }
  if (found == held->end()) {
    held = &book->served_;
    found = held->find(path);
  }
  if (found == held->end()) {
    auto data = book->read(epub::utf::toUtf8(path));
    if (!data) return false;
    held = book->openingNow_ ? &book->kept_ : &book->served_;
    found = held->emplace(path, std::move(*data)).first;
  }
  *bytes = found->second.data();
  *length = static_cast<uint32_t>(found->second.size());
  return true;
}

void Book::releaseCallback(void* user, const char16_t* path) {
  if (path) static_cast<Book*>(user)->served_.erase(path);
}

void Book::settle() { served_.clear(); }

void Book::substitute(const std::string& entry, const std::string& bytes) {
  substitutes_[epub::utf::fromUtf8(entry)].assign(bytes.begin(), bytes.end());
}

// Renderer callback 2 of the MuPDF renderer: a resource a document needs is
// missing (1) or unusable (2), or the document or a resource is over one of
// the renderer's budgets (3 to 8, see renderer/mupdf/budgets.h); each
// resource is warned about once, and once for each budget.
bool Book::reportCallback(void* user, intptr_t document, intptr_t resource, intptr_t reason) {
  static const char* const budgets[] = {
      "nests elements deeper than the renderer's nesting depth budget (laid out flattened)",
      "is larger than the renderer's document size budget (not laid out)",
      "has a word longer than the renderer's word length budget (broken into pieces)",
      "is over the renderer's SVG budget for size or <use> expansion (left out)",
      "is over the renderer's budget for a document's image pixels and bytes (left out)",
      "is past the renderer's budget of style sheets per document (left out)"};
  auto* book = static_cast<Book*>(user);
  const auto* doc = reinterpret_cast<const char16_t*>(document);
  const auto* res = reinterpret_cast<const char16_t*>(resource);
  const std::string path = res ? epub::utf::toUtf8(res) : std::string("?");
  const bool budget = reason >= 3 && reason < 3 + static_cast<intptr_t>(std::size(budgets));
  if (!book->reported_.insert(budget ? path + '\n' + std::to_string(reason) : path).second)
    return true;
  const std::string why =
      reason == 1   ? "is not in the archive"
      : reason == 2 ? "cannot be used (it does not decode, or is too large)"
      : budget      ? budgets[reason - 3]
                    : "was refused by the renderer (reason " + std::to_string(reason) + ")";
  book->damage(path + ", needed by " + (doc ? epub::utf::toUtf8(doc) : std::string("?")) + ", " +
               why);
  return true;
}

// A missing or different mimetype entry is only a warning: the engine
// does not read it, and many readers open such books.
void Book::checkMimetype() {
  if (quiet) return;
  if (!has("mimetype")) {
    std::fprintf(stderr, "epubreader: warning: %s: there is no mimetype entry\n", name_.c_str());
    return;
  }
  auto mimetype = read("mimetype");
  if (!mimetype) return;
  const size_t n = sizeof kMimeType - 1;
  const bool starts = mimetype->size() >= n && std::memcmp(mimetype->data(), kMimeType, n) == 0;
  if (starts && mimetype->size() == n) return;
  const bool lineEnd = starts && std::all_of(mimetype->begin() + n, mimetype->end(), [](uint8_t c) {
                         return c == '\n' || c == '\r' || c == ' ' || c == '\t';
                       });
  std::fprintf(
      stderr, "epubreader: warning: %s: the mimetype entry is '%s'%s\n", name_.c_str(),
      shown(*mimetype).c_str(),
      lineEnd ? ", with white space after application/epub+zip" : ", not application/epub+zip");
}

EpubReader* Book::open(const EpubReaderRendererSettings& settings, std::string& error) {
  EpubReaderHostOptions options{};
  options.read = readCallback;
  options.rendererCallback2 = reportCallback;
  options.release = releaseCallback;
  options.userData = this;
  options.settings = settings;
  EpubReader* reader = EpubReader_new(&options);
  if (!reader) {
    error = name_ + ": the engine could not start";
    return nullptr;
  }
  checkMimetype();
  if (auto mimetype = read("mimetype")) {
    opening_.push_back(std::move(*mimetype));
    EpubReader_readMimeType(reader, opening_.back().data(),
                            static_cast<int32_t>(opening_.back().size()));
  }
  auto container = read("META-INF/container.xml");
  if (!container) {
    error = name_ + ": META-INF/container.xml cannot be read";
    EpubReader_free(&reader);
    return nullptr;
  }
  opening_.push_back(std::move(*container));
  missing_.clear();
  const size_t damagedBefore = damagedEntries_.size();
  const char16_t* opf;
  {
    QuietStdout quiet;
    openingNow_ = true;
    opf = EpubReader_readContainer(reader, opening_.back().data(),
                                   static_cast<uint32_t>(opening_.back().size()));
    openingNow_ = false;
  }
  if (!opf) {
    if (!missing_.empty())
      error = name_ + ": the package document " + *missing_.begin() + " is not in the archive";
    else if (damagedEntries_.size() > damagedBefore)
      error = name_ + ": the package document cannot be read";
    else
      error = name_ + ": META-INF/container.xml " + containerProblem(opening_.back());
    EpubReader_free(&reader);
    return nullptr;
  }
  packagePath_ = epub::utf::toUtf8(opf);
  return reader;
}

}  // namespace epubreader
