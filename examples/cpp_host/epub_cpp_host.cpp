// A C++ host of EpubReader: opens an .epub with libzip, lists the reading
// order with each document's pages and the first text of its first page,
// and searches the publication for a word with the MuPDF renderer.
//
// Usage: epub_cpp_host [book.epub [word]]   (default: the installed sample)
// Exit status 1 when the book cannot be opened, has no pages, or the
// default word is not found.
#include <epubreader.h>
#include <zip.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#ifndef EPUB_SAMPLE
#define EPUB_SAMPLE "sample.epub"
#endif

namespace {

std::string toUtf8(const char16_t* text) {
  std::string out;
  for (; text && *text; ++text) {
    char32_t c = *text;
    if (c >= 0xD800 && c < 0xDC00 && text[1] >= 0xDC00 && text[1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (*++text - 0xDC00);
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string toUtf16(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }

// The archive and the files handed to the engine: each stays until the
// release callback names it (the renderer may refer to the bytes).
class Archive {
 public:
  explicit Archive(const char* path) : zip_(zip_open(path, ZIP_RDONLY, nullptr), zip_close) {}
  bool isOpen() const { return zip_ != nullptr; }

  std::vector<uint8_t> entry(const std::string& name) const {
    zip_stat_t st;
    if (zip_stat(zip_.get(), name.c_str(), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE)) return {};
    std::unique_ptr<zip_file_t, decltype(&zip_fclose)> file(zip_fopen(zip_.get(), name.c_str(), 0),
                                                            zip_fclose);
    std::vector<uint8_t> bytes(st.size);
    if (!file ||
        zip_fread(file.get(), bytes.data(), st.size) != static_cast<zip_int64_t>(st.size)) {
      return {};
    }
    return bytes;
  }

  static bool read(void* self, const char16_t* path, const uint8_t** bytes, uint32_t* length) {
    auto& archive = *static_cast<Archive*>(self);
    std::string name = toUtf8(path);
    std::vector<uint8_t> data = archive.entry(name);
    if (data.empty()) return false;
    auto& kept = archive.served_[name];
    kept.push_back(std::move(data));
    *bytes = kept.back().data();
    *length = static_cast<uint32_t>(kept.back().size());
    return true;
  }

  static void release(void* self, const char16_t* path) {
    static_cast<Archive*>(self)->served_.erase(toUtf8(path));
  }

 private:
  std::unique_ptr<zip_t, decltype(&zip_close)> zip_;
  std::map<std::string, std::vector<std::vector<uint8_t>>> served_;
};

struct ReaderDeleter {
  void operator()(EpubReader* reader) const { EpubReader_free(&reader); }
};

}  // namespace

int main(int argc, char** argv) {
  const char* book = argc > 1 ? argv[1] : EPUB_SAMPLE;
  std::u16string word = toUtf16(argc > 2 ? argv[2] : "lamp");
  Archive archive(book);
  if (!archive.isOpen()) {
    std::fprintf(stderr, "epub_cpp_host: cannot open %s as a zip archive\n", book);
    return 1;
  }

  EpubReaderHostOptions options{};
  options.read = &Archive::read;
  options.release = &Archive::release;
  options.userData = &archive;
  std::unique_ptr<EpubReader, ReaderDeleter> reader(EpubReader_new(&options));

  std::vector<uint8_t> mimetype = archive.entry("mimetype");
  EpubReader_readMimeType(reader.get(), mimetype.data(), static_cast<int32_t>(mimetype.size()));
  std::vector<uint8_t> container = archive.entry("META-INF/container.xml");
  if (!EpubReader_readContainer(reader.get(), container.data(),
                                static_cast<uint32_t>(container.size()))) {
    std::fprintf(stderr, "epub_cpp_host: %s is not a publication the engine can open\n", book);
    return 1;
  }
  std::printf("EpubReader %s: \"%s\"\n", EPUBREADER_VERSION_STRING,
              toUtf8(EpubReader_getPublicationMetadata(reader.get())->title).c_str());

  EpubReader_loadAll(reader.get(), nullptr, nullptr);
  int32_t pages = EpubReader_getPageCount(reader.get());
  std::printf("%d pages\n", pages);

  // Each document's pages, where it starts, and the first line of its first
  // page; Content exports take the href as the spine gives it.
  for (auto* node = EpubReader_getSpine(reader.get())->first; node; node = node->next) {
    const char16_t* href = node->item->href;
    std::printf("%-16s pages %d from page %d: %s\n", toUtf8(href).c_str(),
                EpubReader_getContentPageCount(reader.get(), href),
                EpubReader_getTotalPageBeforeContent(reader.get(), href),
                toUtf8(EpubReader_getContentMarkableString(reader.get(), href, 0)).c_str());
  }

  EpubReader_setSearchContext(reader.get(), word.c_str(), 0);
  int32_t hits = EpubReader_search(reader.get(), 0, 0, 0);
  std::printf("\"%s\" found %d times\n", toUtf8(word.c_str()).c_str(), hits);
  EpubReader_clearSearchDatas(reader.get());
  // The sample's word is there: no hits means no real renderer answered.
  return pages > 0 && (argc > 2 || hits > 0) ? 0 : 1;
}
