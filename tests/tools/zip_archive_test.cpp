// The command's zip reader on archives written here byte by byte, each
// opened from memory and from a file: what it finds and what it says of
// entries that are damaged or that it cannot inflate.
#include "zip_archive.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using epubreader::ZipArchive;

struct Item {
  std::string name, data;
  bool deflate = false;
  uint16_t flags = 0;
  int method = -1;          // written in both headers when set
  int localMethod = -1;     // written in the local header only when set
  uint32_t crcXor = 0;      // spoils the CRC in both headers
  uint32_t claimExtra = 0;  // added to the inflated size in both headers
};

void put16(std::string& out, uint32_t v) {
  out.push_back(char(v & 0xFF));
  out.push_back(char((v >> 8) & 0xFF));
}
void put32(std::string& out, uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

std::string rawDeflate(const std::string& data) {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, data.size()), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// An archive of the items; the directory holds only the first `listed`
// entries while its end record counts them all.
std::string zipOf(const std::vector<Item>& items, size_t listed = SIZE_MAX) {
  std::string out, directory;
  for (size_t i = 0; i < items.size(); ++i) {
    const Item& it = items[i];
    const std::string stored = it.deflate ? rawDeflate(it.data) : it.data;
    const uint32_t method = it.method >= 0 ? uint32_t(it.method) : it.deflate ? 8 : 0;
    const uint32_t crc =
        uint32_t(crc32(0, reinterpret_cast<const Bytef*>(it.data.data()), uInt(it.data.size()))) ^
        it.crcXor;
    auto header = [&](uint32_t m) {
      std::string h;
      put16(h, 20), put16(h, it.flags), put16(h, m), put32(h, 0), put32(h, crc);
      put32(h, uint32_t(stored.size())), put32(h, uint32_t(it.data.size()) + it.claimExtra);
      put16(h, uint32_t(it.name.size()));
      return h;
    };
    const uint32_t offset = uint32_t(out.size());
    out += "PK\3\4" + header(it.localMethod >= 0 ? uint32_t(it.localMethod) : method);
    put16(out, 0), out += it.name + stored;
    if (i >= listed) continue;
    directory += "PK\1\2";
    put16(directory, 20), directory += header(method);
    put16(directory, 0), put16(directory, 0), put16(directory, 0), put16(directory, 0);
    put32(directory, 0), put32(directory, offset), directory += it.name;
  }
  const uint32_t at = uint32_t(out.size());
  out += directory + "PK\5\6";
  put16(out, 0), put16(out, 0), put16(out, uint32_t(items.size())),
      put16(out, uint32_t(items.size()));
  put32(out, uint32_t(directory.size())), put32(out, at), put16(out, 0);
  return out;
}

// What reading `name` gives: its bytes, "missing", or "damaged: <why>".
std::string outcome(ZipArchive& zip, const std::string& name) {
  const ZipArchive::Entry* entry = zip.find(name);
  if (!entry) return "missing";
  std::vector<uint8_t> bytes;
  const std::string problem = zip.read(*entry, bytes);
  return problem.empty() ? std::string(bytes.begin(), bytes.end()) : "damaged: " + problem;
}

TEST(ZipArchive, FindsAndReadsEntriesOrSaysWhatIsWrong) {
  const std::string text(3000, 'x'), chapter = "<p>The keeper's log, line after line.</p>";
  struct Case {
    const char* what;
    std::vector<Item> items;
    size_t listed;
    std::string ask, expected;
  };
  const std::vector<Case> cases = {
      {"stored",
       {{"mimetype", "application/epub+zip"}},
       SIZE_MAX,
       "mimetype",
       "application/epub+zip"},
      {"deflated, longer than one read",
       {{"OEBPS/c.xhtml", text + chapter, true}},
       SIZE_MAX,
       "OEBPS/c.xhtml",
       text + chapter},
      {"an empty entry", {{"empty", ""}}, SIZE_MAX, "empty", ""},
      {"names are exact", {{"OEBPS/c.xhtml", chapter}}, SIZE_MAX, "oebps/c.xhtml", "missing"},
      // 0x82 is e acute in CP437; valid UTF-8 stays as it is, flagged or not.
      {"a CP437 name", {{"caf\x82.xhtml", chapter}}, SIZE_MAX, "caf\xC3\xA9.xhtml", chapter},
      {"a UTF-8 name",
       {{"\xC3\xBC"
         "ber.xhtml",
         chapter}},
       SIZE_MAX,
       "\xC3\xBC"
       "ber.xhtml",
       chapter},
      {"the first of two entries of one name",
       {{"a", "first"}, {"a", "second"}},
       SIZE_MAX,
       "a",
       "first"},
      {"encrypted", {{"c", chapter, false, 1}}, SIZE_MAX, "c", "damaged: it is encrypted"},
      {"bzip2",
       {{"c", chapter, false, 0, 12}},
       SIZE_MAX,
       "c",
       "damaged: compression method 12 is not supported"},
      {"local header differs",
       {{"c", chapter, false, 0, -1, 8}},
       SIZE_MAX,
       "c",
       "damaged: its local header differs from its directory entry"},
      {"a wrong CRC", {{"c", chapter, true, 0, -1, -1, 1}}, SIZE_MAX, "c", "damaged: CRC error"},
      {"shorter than claimed",
       {{"c", chapter, false, 0, -1, -1, 0, 5}},
       SIZE_MAX,
       "c",
       "damaged: shorter than its directory entry says"},
      {"deflated, shorter than claimed",
       {{"c", chapter, true, 0, -1, -1, 0, 5}},
       SIZE_MAX,
       "c",
       "damaged: shorter than its directory entry says"},
      // A directory that breaks off keeps the entries listed before it.
      {"before the break", {{"a", "one"}, {"b", "two"}}, 1, "a", "one"},
      {"after the break", {{"a", "one"}, {"b", "two"}}, 1, "b", "missing"},
  };
  const std::string path = testing::TempDir() + "zip_archive_test.zip";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string bytes = zipOf(c.items, c.listed);
    std::string why;
    auto inMemory = ZipArchive::openMemory(bytes.data(), bytes.size(), why);
    ASSERT_TRUE(inMemory) << why;
    EXPECT_EQ(outcome(*inMemory, c.ask), c.expected);
    FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    auto onDisk = ZipArchive::openFile(path, why);
    ASSERT_TRUE(onDisk) << why;
    EXPECT_EQ(outcome(*onDisk, c.ask), c.expected);
  }

  // Archives that do not open, and why.
  const std::string whole = zipOf({{"a", chapter}});
  struct Refused {
    std::string bytes, why;
  } const refused[] = {
      {"not a zip at all", "not a zip archive"},
      {whole.substr(0, whole.size() / 2),
       "a truncated zip archive (it starts as one, but the directory at its end is missing)"},
  };
  for (const Refused& r : refused) {
    FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(r.bytes.data(), 1, r.bytes.size(), file);
    std::fclose(file);
    std::string why;
    EXPECT_FALSE(ZipArchive::openFile(path, why));
    EXPECT_EQ(why, r.why);
  }
  std::remove(path.c_str());
}

}  // namespace
