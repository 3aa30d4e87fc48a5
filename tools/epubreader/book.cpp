#include "book.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <system_error>

#include "utf.h"

namespace epubreader {

namespace {

// "<file>: <what>", with libzip's reason in parentheses when it says more
// than `what` does.
std::string zipFailure(const std::string& file, const std::string& what, zip_error_t* error) {
  std::string reason = zip_error_strerror(error);
  if (!reason.empty()) reason[0] = static_cast<char>(std::tolower(reason[0]));
  if (reason.empty() || reason == what) return file + ": " + what;
  return file + ": " + what + " (" + reason + ")";
}

// The engine's NCX reader writes a diagnostic to standard output when an NCX
// has an empty head; this keeps it out of the command's own output (JSON
// included) while a publication opens.
class QuietStdout {
 public:
  QuietStdout() {
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
  int saved_;
};

}  // namespace

std::unique_ptr<Book> Book::openFile(const std::string& path, std::string& error) {
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
  int code = 0;
  zip_t* zip = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
  if (!zip) {
    zip_error_t ze;
    zip_error_init_with_code(&ze, code);
    const bool notZip = code == ZIP_ER_NOZIP || code == ZIP_ER_INCONS;
    error = zipFailure(path, notZip ? "not a zip archive" : "cannot be read", &ze);
    zip_error_fini(&ze);
    return nullptr;
  }
  return checkEpub(zip, path, error);
}

std::unique_ptr<Book> Book::openMemory(const void* data, size_t size, const std::string& name,
                                       std::string& error) {
  zip_error_t ze;
  zip_error_init(&ze);
  zip_source_t* source = zip_source_buffer_create(data, size, 0, &ze);
  zip_t* zip = source ? zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &ze) : nullptr;
  if (!zip) {
    if (source) zip_source_free(source);
    error = zipFailure(name, "not a zip archive", &ze);
    zip_error_fini(&ze);
    return nullptr;
  }
  zip_error_fini(&ze);
  return checkEpub(zip, name, error);
}

std::unique_ptr<Book> Book::checkEpub(zip_t* zip, const std::string& name, std::string& error) {
  std::unique_ptr<Book> book(new Book(zip, name));
  if (zip_name_locate(zip, "META-INF/container.xml", 0) < 0) {
    error = name + ": a zip archive but not an EPUB publication (no META-INF/container.xml)";
    return nullptr;
  }
  return book;
}

Book::~Book() {
  if (zip_) zip_discard(zip_);
}

std::optional<std::vector<uint8_t>> Book::read(const std::string& entry) {
  const zip_int64_t index = zip_name_locate(zip_, entry.c_str(), 0);
  if (index < 0) {
    missing_.push_back(entry);
    return std::nullopt;
  }
  zip_stat_t st;
  if (zip_stat_index(zip_, static_cast<zip_uint64_t>(index), 0, &st) != 0 ||
      !(st.valid & ZIP_STAT_SIZE) || st.size > 0x7FFFFFFF)
    return std::nullopt;
  std::string problem;
  std::vector<uint8_t> bytes(static_cast<size_t>(st.size));
  zip_file_t* file = zip_fopen_index(zip_, static_cast<zip_uint64_t>(index), 0);
  if (!file) {
    problem = zip_error_strerror(zip_get_error(zip_));
    zip_error_clear(zip_);
  } else {
    // Reading one byte past the end makes libzip check the CRC.
    uint8_t extra;
    const zip_int64_t got = zip_fread(file, bytes.data(), st.size);
    if (got != static_cast<zip_int64_t>(st.size) || zip_fread(file, &extra, 1) != 0)
      problem = got < 0 || zip_error_code_zip(zip_file_get_error(file)) != ZIP_ER_OK
                    ? zip_file_strerror(file)
                    : "shorter or longer than its directory entry says";
    zip_fclose(file);
  }
  if (problem.empty()) return bytes;
  for (const auto& seen : damaged_)
    if (seen == entry) return std::nullopt;
  damaged_.push_back(entry);
  std::fprintf(stderr, "epubreader: warning: %s: entry %s is damaged (%s)\n", name_.c_str(),
               entry.c_str(), problem.c_str());
  return std::nullopt;
}

bool Book::readCallback(void* user, const char16_t* path, const uint8_t** bytes, uint32_t* length) {
  auto* book = static_cast<Book*>(user);
  if (!path || !*path) return false;
  auto data = book->read(epub::utf::toUtf8(path));
  if (!data) return false;
  auto& list = book->transient_ ? book->transientHeld_ : book->held_[path];
  list.push_back(std::move(*data));
  *bytes = list.back().data();
  *length = static_cast<uint32_t>(list.back().size());
  return true;
}

void Book::releaseCallback(void* user, const char16_t* path) {
  if (path) static_cast<Book*>(user)->held_.erase(path);
}

Book::Transient::~Transient() {
  book_.transient_ = false;
  book_.transientHeld_.clear();
}

EpubReader* Book::open(const EpubReaderRendererSettings& settings, std::string& error) {
  EpubReaderHostOptions options{};
  options.read = readCallback;
  options.release = releaseCallback;
  options.userData = this;
  options.settings = settings;
  EpubReader* reader = EpubReader_new(&options);
  if (!reader) {
    error = name_ + ": the engine could not start";
    return nullptr;
  }
  auto mimetype = read("mimetype");
  static const char kMimeType[] = "application/epub+zip";
  if (!mimetype || mimetype->size() != sizeof kMimeType - 1 ||
      std::memcmp(mimetype->data(), kMimeType, sizeof kMimeType - 1) != 0)
    std::fprintf(stderr, "epubreader: warning: %s: the mimetype entry is not %s\n", name_.c_str(),
                 kMimeType);
  if (mimetype) {
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
  const char16_t* opf;
  {
    QuietStdout quiet;
    opf = EpubReader_readContainer(reader, opening_.back().data(),
                                   static_cast<uint32_t>(opening_.back().size()));
  }
  if (!opf) {
    if (!missing_.empty())
      error = name_ + ": the package document " + missing_.front() + " is not in the archive";
    else if (!damaged_.empty())
      error = name_ + ": the package document " + damaged_.back() + " cannot be read";
    else
      error = name_ + ": META-INF/container.xml names no package document";
    EpubReader_free(&reader);
    return nullptr;
  }
  packagePath_ = epub::utf::toUtf8(opf);
  return reader;
}

}  // namespace epubreader
