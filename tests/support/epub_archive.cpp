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

namespace {

void putUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace

std::string toUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      putUtf8(out, 0x10000 + ((char32_t(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      putUtf8(out, 0xFFFD);
    } else {
      putUtf8(out, c);
    }
  }
  return out;
}

std::u16string fromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<uint8_t>(text[i]);
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    const size_t need = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : 1;
    char32_t c = b & (0x3F >> need);
    bool ok = b >= 0xC2 && b <= 0xF4 && i + need < text.size();
    for (size_t k = 1; ok && k <= need; ++k) {
      const auto t = static_cast<uint8_t>(text[i + k]);
      ok = (t & 0xC0) == 0x80;
      c = (c << 6) | (t & 0x3F);
    }
    const char32_t least = need == 1 ? 0x80 : need == 2 ? 0x800 : 0x10000;
    if (!ok || c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      out.push_back(0xFFFD);  // one replacement per bad lead byte
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
    i += need + 1;
  }
  return out;
}

}  // namespace epub::testing
