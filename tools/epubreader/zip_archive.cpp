#include "zip_archive.h"

#include <unzip.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "utf.h"

namespace epubreader {

namespace {

constexpr size_t kChunk = size_t(1) << 16;
constexpr unsigned long kUtf8Flag = 1u << 11, kEncryptedFlag = 1;

// Code points of the bytes 0x80 to 0xFF in CP437.
constexpr char16_t kCp437[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

// The name as UTF-8: as stored when it is flagged or valid UTF-8, read as
// CP437 otherwise.
std::string utf8Name(std::string raw, unsigned long flags) {
  const bool ascii = std::all_of(raw.begin(), raw.end(), [](char c) { return c >= 0; });
  if (ascii || (flags & kUtf8Flag) || epub::utf::toUtf8(epub::utf::fromUtf8(raw)) == raw)
    return raw;
  std::string out;
  for (const char c : raw) {
    const auto b = static_cast<unsigned char>(c);
    epub::utf::appendUtf8(out, b < 0x80 ? char32_t(b) : char32_t(kCp437[b - 0x80]));
  }
  return out;
}

// Whether the file starts as a zip archive and lacks the end-of-directory
// record a whole one ends with.
bool truncatedZip(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  char head[4] = {};
  bool truncated = std::fread(head, 1, sizeof head, file) == 4 && !std::memcmp(head, "PK\3\4", 4);
  // The record (22 bytes) ends the file, after a comment of at most 64 KiB.
  std::vector<char> tail(22 + 0xFFFF);
  if (truncated && std::fseek(file, 0, SEEK_END) == 0) {
    const long size = std::ftell(file);
    const long from = std::max(0L, size - static_cast<long>(tail.size()));
    if (size >= 0 && std::fseek(file, from, SEEK_SET) == 0) {
      tail.resize(std::fread(tail.data(), 1, static_cast<size_t>(size - from), file));
      const char record[] = "PK\5\6";
      truncated = std::search(tail.begin(), tail.end(), record, record + 4) == tail.end();
    }
  }
  std::fclose(file);
  return truncated;
}

// What a negative answer of unzReadCurrentFile means.
std::string readFailure(int code) {
  switch (code) {
    case UNZ_ERRNO:
      return "it runs past the end of the archive";
    case Z_DATA_ERROR:
      return "its compressed data is corrupt";
    case Z_BUF_ERROR:
      return "its compressed data ends early";
    case Z_MEM_ERROR:
      throw std::bad_alloc();
    default:
      return "it cannot be inflated (zlib error " + std::to_string(code) + ")";
  }
}

}  // namespace

// An archive held in memory, as minizip's file: one stream, the bytes and a
// position.
struct ZipArchive::Memory {
  const uint8_t* data;
  uint64_t size, at = 0;

  static voidpf ZCALLBACK open(voidpf opaque, const void*, int) { return opaque; }
  static uLong ZCALLBACK read(voidpf, voidpf stream, void* buffer, uLong size) {
    auto* m = static_cast<Memory*>(stream);
    const uint64_t n = std::min<uint64_t>(size, m->size - std::min(m->at, m->size));
    if (n) std::memcpy(buffer, m->data + m->at, static_cast<size_t>(n));
    m->at += n;
    return static_cast<uLong>(n);
  }
  static uLong ZCALLBACK write(voidpf, voidpf, const void*, uLong) { return 0; }
  static ZPOS64_T ZCALLBACK tell(voidpf, voidpf stream) { return static_cast<Memory*>(stream)->at; }
  static long ZCALLBACK seek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    auto* m = static_cast<Memory*>(stream);
    const uint64_t base = origin == ZLIB_FILEFUNC_SEEK_CUR   ? m->at
                          : origin == ZLIB_FILEFUNC_SEEK_END ? m->size
                                                             : 0;
    if (offset > m->size || base + offset > m->size) return -1;
    m->at = base + offset;
    return 0;
  }
  static int ZCALLBACK close(voidpf, voidpf) { return 0; }
  static int ZCALLBACK error(voidpf, voidpf) { return 0; }
};

std::unique_ptr<ZipArchive> ZipArchive::openFile(const std::string& path, std::string& why) {
  zlib_filefunc64_def files;
  fill_fopen64_filefunc(&files);
  std::unique_ptr<ZipArchive> archive = indexed(unzOpen2_64(path.c_str(), &files), nullptr, why);
  if (!archive && why.empty())
    why = truncatedZip(path) ? "a truncated zip archive (it starts as one, but the directory at"
                               " its end is missing)"
                             : "not a zip archive";
  return archive;
}

std::unique_ptr<ZipArchive> ZipArchive::openMemory(const void* data, size_t size,
                                                   std::string& why) {
  auto memory = std::make_unique<Memory>(Memory{static_cast<const uint8_t*>(data), size});
  zlib_filefunc64_def functions{Memory::open, Memory::read,  Memory::write, Memory::tell,
                                Memory::seek, Memory::close, Memory::error, memory.get()};
  void* unz = unzOpen2_64("", &functions);
  std::unique_ptr<ZipArchive> archive = indexed(unz, std::move(memory), why);
  if (!archive && why.empty()) why = "not a zip archive";
  return archive;
}

std::unique_ptr<ZipArchive> ZipArchive::indexed(void* unz, std::unique_ptr<Memory> memory,
                                                std::string& why) {
  if (!unz) return nullptr;
  std::unique_ptr<ZipArchive> archive(new ZipArchive());
  archive->unz_ = unz;
  archive->memory_ = std::move(memory);
  // Names are at most 65,535 bytes; the buffer has room for the zero.
  std::string name(size_t(1) << 16, '\0');
  int step = unzGoToFirstFile(unz);
  while (step == UNZ_OK) {
    unz_file_info64 info;
    unz64_file_pos at;
    if (unzGetCurrentFileInfo64(unz, &info, name.data(), static_cast<uLong>(name.size()), nullptr,
                                0, nullptr, 0) != UNZ_OK ||
        unzGetFilePos64(unz, &at) != UNZ_OK)
      break;
    Entry entry{info.uncompressed_size, at.pos_in_zip_directory, at.num_of_file,
                (info.flag & kEncryptedFlag) != 0, static_cast<unsigned>(info.compression_method)};
    archive->entries_.emplace(utf8Name(name.substr(0, info.size_filename), info.flag), entry);
    step = unzGoToNextFile(unz);
  }
  // A directory that breaks off leaves the entries before the break.
  if (step != UNZ_END_OF_LIST_OF_FILE && archive->entries_.empty()) {
    why = "not a zip archive (its directory cannot be read)";
    return nullptr;
  }
  return archive;
}

ZipArchive::~ZipArchive() {
  if (unz_) unzClose(unz_);
}

const ZipArchive::Entry* ZipArchive::find(const std::string& name) const {
  const auto found = entries_.find(name);
  return found == entries_.end() ? nullptr : &found->second;
}

std::string ZipArchive::read(const Entry& entry, std::vector<uint8_t>& bytes) {
  bytes.clear();
  if (entry.encrypted) return "it is encrypted";
  if (entry.method != 0 && entry.method != Z_DEFLATED)
    return "compression method " + std::to_string(entry.method) + " is not supported";
  unz64_file_pos at{entry.directoryOffset, entry.number};
  if (unzGoToFilePos64(unz_, &at) != UNZ_OK) return "its directory entry cannot be read";
  if (unzOpenCurrentFile(unz_) != UNZ_OK)
    return "its local header differs from its directory entry";
  // The claim bounds the first reservation; minizip inflates no further
  // than the claim.
  bytes.reserve(static_cast<size_t>(std::min<uint64_t>(entry.size, 16 << 20)));
  std::string problem;
  while (bytes.size() < entry.size) {
    const size_t at = bytes.size();
    bytes.resize(at + static_cast<size_t>(std::min<uint64_t>(kChunk, entry.size - at)));
    const int got =
        unzReadCurrentFile(unz_, bytes.data() + at, static_cast<unsigned>(bytes.size() - at));
    if (got <= 0) {
      bytes.resize(at);
      problem = got == 0 ? "shorter than its directory entry says" : readFailure(got);
      break;
    }
    bytes.resize(at + static_cast<size_t>(got));
  }
  // Closing checks the CRC of an entry read to its end.
  if (unzCloseCurrentFile(unz_) == UNZ_CRCERROR && problem.empty()) problem = "CRC error";
  return problem;
}

}  // namespace epubreader
