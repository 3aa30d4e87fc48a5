#include "support/epub_archive.h"

#include <zip.h>

namespace epub::testing {

EpubArchive::EpubArchive(const std::string& path) {
  int error = 0;
  archive_ = zip_open(path.c_str(), ZIP_RDONLY, &error);
}

EpubArchive::~EpubArchive() {
  if (archive_ != nullptr) zip_discard(archive_);
}

std::optional<std::vector<uint8_t>> EpubArchive::read(std::string_view path) const {
  if (archive_ == nullptr) return std::nullopt;
  const std::string name(path);
  const zip_int64_t index = zip_name_locate(archive_, name.c_str(), 0);
  if (index < 0) return std::nullopt;
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat_index(archive_, static_cast<zip_uint64_t>(index), 0, &stat) != 0 ||
      (stat.valid & ZIP_STAT_SIZE) == 0) {
    return std::nullopt;
  }
  zip_file_t* file = zip_fopen_index(archive_, static_cast<zip_uint64_t>(index), 0);
  if (file == nullptr) return std::nullopt;
  std::vector<uint8_t> bytes(static_cast<size_t>(stat.size));
  zip_uint64_t done = 0;
  while (done < stat.size) {
    const zip_int64_t got = zip_fread(file, bytes.data() + done, stat.size - done);
    if (got <= 0) break;
    done += static_cast<zip_uint64_t>(got);
  }
  zip_fclose(file);
  if (done != stat.size) return std::nullopt;
  return bytes;
}

std::optional<std::vector<uint8_t>> EpubArchive::read(std::u16string_view path) const {
  return read(std::string_view(toUtf8(path)));
}

std::vector<std::string> EpubArchive::names() const {
  std::vector<std::string> result;
  if (archive_ == nullptr) return result;
  const zip_int64_t count = zip_get_num_entries(archive_, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* name = zip_get_name(archive_, static_cast<zip_uint64_t>(i), 0);
    if (name != nullptr) result.emplace_back(name);
  }
  return result;
}

}  // namespace epub::testing
