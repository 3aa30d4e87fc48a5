#include "page_memory.h"

#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace epubreader::memory {
namespace fs = std::filesystem;

namespace {

// "path size mtime" of a file, or empty when it cannot be looked at.
std::string identity(const std::string& path) {
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return {};
  std::error_code ec;
  const fs::path absolute = fs::absolute(path, ec);
  return (ec ? path : absolute.string()) + " " + std::to_string(st.st_size) + " " +
         std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) + "\n";
}

// The engine, renderer and encoding libraries this process has loaded.
int addLibrary(dl_phdr_info* info, size_t, void* data) {
  const std::string name = info->dlpi_name ? info->dlpi_name : "";
  const std::string base = fs::path(name).filename().string();
  for (const char* library : {"libEpubReader", "libPendrel", "libVorozoVorevare"})
    if (base.rfind(library, 0) == 0) *static_cast<std::string*>(data) += identity(name);
  return 0;
}

fs::path folder() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  const char* home = std::getenv("HOME");
  if (cache && *cache) return fs::path(cache) / "epubreader" / "pages";
  if (home && *home) return fs::path(home) / ".cache" / "epubreader" / "pages";
  return {};
}

// The file of a key: its 64-bit FNV-1a hash in hex. The file holds the key
// itself too, so that two keys of one hash never mix.
fs::path fileOf(const std::string& key) {
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : key) hash = (hash ^ c) * 1099511628211ull;
  char name[24];
  std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(hash));
  const fs::path dir = folder();
  return dir.empty() ? fs::path() : dir / name;
}

constexpr char kSeparator[] = "--\n";

}  // namespace

std::optional<std::string> keyFor(const std::optional<std::string>& book, const Layout& layout) {
  std::string key = "epubreader page counts 1\n";
  if (book) {
    if (*book == "-") return std::nullopt;
    const std::string file = identity(*book);
    if (file.empty()) return std::nullopt;
    key += file;
  } else {
    key += "(built-in sample)\n";
  }
  key += std::to_string(layout.width) + "x" + std::to_string(layout.height) + " " +
         std::to_string(layout.fontSize) + " " + std::to_string(layout.css.size()) + "\n" +
         layout.css + "\n";
  if (layout.hyphenate != 0)
    key += "hyphenate " + std::to_string(layout.hyphenate) + " " + layout.language + "\n";
  std::error_code ec;
  const std::string self = identity(fs::read_symlink("/proc/self/exe", ec).string());
  if (ec || self.empty()) return std::nullopt;
  key += self;
  dl_iterate_phdr(addLibrary, &key);
  return key;
}

std::optional<std::vector<int32_t>> recall(const std::string& key, size_t documents) {
  const fs::path file = fileOf(key);
  if (file.empty()) return std::nullopt;
  std::ifstream in(file, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  const std::string head = key + kSeparator;
  if (text.compare(0, head.size(), head) != 0) return std::nullopt;
  std::istringstream counts(text.substr(head.size()));
  std::vector<int32_t> pages;
  for (int64_t n; counts >> n;) {
    if (n < 0 || n > INT32_MAX || pages.size() == documents) return std::nullopt;
    pages.push_back(int32_t(n));
  }
  if (!counts.eof() || pages.size() != documents) return std::nullopt;
  return pages;
}

void remember(const std::string& key, const std::vector<int32_t>& pages) {
  const fs::path file = fileOf(key);
  if (file.empty()) return;
  std::error_code ec;
  fs::create_directories(file.parent_path(), ec);
  const fs::path temporary = file.string() + "." + std::to_string(::getpid());
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << key << kSeparator;
    for (int32_t n : pages) out << n << '\n';
    if (!out.flush()) {
      out.close();
      fs::remove(temporary, ec);
      return;
    }
  }
  fs::rename(temporary, file, ec);
  if (ec) fs::remove(temporary, ec);
}

void forget(const std::string& key) {
  const fs::path file = fileOf(key);
  std::error_code ec;
  if (!file.empty()) fs::remove(file, ec);
}

}  // namespace epubreader::memory
