// A bounded soak test: random sequences of content exports (loads, deletes,
// layout changes, scraps, search, draws and queries with random pages, paths
// and positions, null and unknown paths included) on random publications
// against a scripted renderer. Nothing may crash or leak, page counts must
// follow a small model of the Content table, and every other answer must lie
// within what the table allows.
#include <algorithm>
#include <optional>
#include <random>

#include "content_fixture.h"

namespace contenttest {
namespace {

#ifdef EPUB_SANITIZED
constexpr int kRounds = 20;
constexpr int kStepsPerRound = 1500;
#else
constexpr int kRounds = 60;
constexpr int kStepsPerRound = 10000;
#endif

constexpr intptr_t kScrapText = 7;  // the renderer's text pointer, as a value

class Soak : public ContentTest {
 protected:
  struct ModelItem {
    std::u16string path;
    std::string href;
    int32_t pageCount = 0;
    bool loaded = false;
  };
  struct HostPath {
    std::u16string text;
    bool isNull = false;
    std::optional<size_t> item;  // the first item it names, if any
    const char16_t* get() const { return isNull ? nullptr : text.c_str(); }
  };

  std::mt19937 random{20240611};
  std::vector<ModelItem> items;
  std::vector<HostPath> paths;
  std::map<std::u16string, std::vector<uint32_t>> indexes;  // per document, as scripted
  int32_t total = 0;

  int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }
  bool chance(int percent) { return pick(1, 100) <= percent; }

  // Page counts and object indexes (non-decreasing) the renderer reports
  // from now on, for every document.
  void relayout() {
    for (auto& [path, list] : indexes) {
      const int pages = pick(0, 4);
      list.assign(static_cast<size_t>(pages) + 1, 0);
      uint32_t index = static_cast<uint32_t>(pick(0, 2));
      for (uint32_t& v : list) {
        v = index;
        index += static_cast<uint32_t>(pick(0, 6));
      }
      testrenderer::setPageCount(path, pages);
      testrenderer::setObjectIndexes(path, list);
    }
  }
  int32_t rendererPages(const std::u16string& path) {
    return static_cast<int32_t>(indexes.at(path).size()) - 1;
  }
  uint32_t objectsOf(const ModelItem& item) {
    const auto& list = indexes.at(item.path);
    return list[std::min<size_t>(static_cast<size_t>(std::max(item.pageCount, 0)),
                                 list.size() - 1)];
  }
  uint32_t allObjects() {
    uint32_t sum = 0;
    for (const ModelItem& item : items) sum += objectsOf(item);
    return sum;
  }
  int32_t allPages() {
    int32_t sum = 0;
    for (const ModelItem& item : items) sum += item.pageCount;
    return sum;
  }
  bool readable(const std::u16string& path) {
    return host.files.count(path) && !host.unreadable.count(path);
  }

  // A publication of 0 to 8 documents, some named twice in the spine, some
  // spine entries naming nothing.
  void openRandom() {
    std::vector<Item> manifest;
    std::vector<std::string> spine;
    const int documents = pick(0, 8);
    for (int i = 0; i < documents; ++i) {
      manifest.push_back({"d" + std::to_string(i), "t/d" + std::to_string(i) + ".xhtml"});
    }
    const int entries = documents ? pick(0, 8) : pick(0, 2);
    for (int i = 0; i < entries; ++i) {
      spine.push_back(chance(10) || !documents ? "missing"
                                               : "d" + std::to_string(pick(0, documents - 1)));
    }
    open(manifest, spine);
    for (const std::string& idref : spine) {
      if (idref == "missing") continue;
      const std::string href = manifest[std::stoul(idref.substr(1))].href;
      items.push_back({fullPath(href), href});
    }
    for (const Item& item : manifest) indexes[fullPath(item.href)];
    relayout();

    auto firstItem = [&](const std::u16string& full) -> std::optional<size_t> {
      for (size_t i = 0; i < items.size(); ++i)
        if (items[i].path == full) return i;
      return std::nullopt;
    };
    paths = {{u"", true, std::nullopt},
             {u"", false, std::nullopt},
             {u"nowhere.xhtml", false, std::nullopt},
             {u"OEBPS", false, std::nullopt}};
    for (const Item& item : manifest) {
      const std::u16string href = wide(item.href);
      std::u16string upper = href;
      std::transform(upper.begin(), upper.end(), upper.begin(),
                     [](char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; });
      const auto found = firstItem(u"OEBPS/" + href);
      paths.push_back({href, false, found});
      paths.push_back({u"OEBPS/" + href, false, found});
      paths.push_back({u"/OEBPS/" + href, false, found});
      paths.push_back({u"./t/../" + href, false, found});
      paths.push_back({upper, false, std::nullopt});
    }
  }

  const HostPath& anyPath() { return paths[static_cast<size_t>(pick(0, int(paths.size()) - 1))]; }
  int32_t anyPage() {
    switch (pick(0, 9)) {
      case 0:
        return INT32_MIN;
      case 1:
        return INT32_MAX;
      default:
        return pick(-3, allPages() + 3);
    }
  }
  uint32_t anyPosition() {
    if (chance(10)) return UINT32_MAX - static_cast<uint32_t>(pick(0, 3));
    return static_cast<uint32_t>(pick(0, static_cast<int>(allObjects()) + 5));
  }

  void reload(const HostPath& path) {
    if (!path.item) return;
    ModelItem& item = items[*path.item];
    if (item.loaded) item = {item.path, item.href, 0, false};
    if (!readable(item.path)) return;
    item.pageCount = rendererPages(item.path);
    item.loaded = true;
  }
  void recount() {
    total = 0;
    for (ModelItem& item : items) total += item.pageCount = rendererPages(item.path);
  }

  void step() {
    // The host's files come and go.
    if (chance(10) && !items.empty()) {
      const std::u16string& path = items[static_cast<size_t>(pick(0, int(items.size()) - 1))].path;
      if (host.unreadable.count(path)) {
        host.unreadable.erase(path);
      } else {
        host.unreadable.insert(path);
      }
    }
    const HostPath& path = anyPath();
    const int32_t page = anyPage();
    const uint32_t position = anyPosition();
    const int32_t pages = allPages();
    switch (pick(0, 23)) {
      case 0: {
        ASSERT_TRUE(EpubReader_loadAll(reader, Host::progress, progressContext));
        total = 0;
        for (ModelItem& item : items) {
          if (!item.loaded && readable(item.path)) {
            item.pageCount = rendererPages(item.path);
            item.loaded = true;
          }
          total += item.pageCount;
        }
        std::vector<std::string> progress;
        for (const std::string& entry : host.takeLog())
          if (entry.rfind("progress", 0) == 0) progress.push_back(entry);
        ASSERT_EQ(progress.size(), items.size());
        for (size_t i = 0; i < progress.size(); ++i) {
          ASSERT_EQ(progress[i], "progress(" + std::to_string(items.size()) + ", " +
                                     std::to_string(i + 1) + ")");
        }
        break;
      }
      case 1: {
        bool expected = false;
        if (path.item && !items[*path.item].loaded && readable(items[*path.item].path)) {
          expected = true;
          items[*path.item].pageCount = rendererPages(items[*path.item].path);
          items[*path.item].loaded = true;
        }
        ASSERT_EQ(EpubReader_loadContent(reader, path.get(), nullptr, nullptr), expected);
        break;
      }
      case 2:
        EpubReader_deleteContent(reader, path.get());
        if (path.item) items[*path.item].loaded = false;
        break;
      case 3:
        relayout();
        if (chance(50)) {
          EpubReader_changeFont(reader, 1, 2, 3, 4);
        } else {
          EpubReader_changeClientSize(reader, pick(100, 900));
        }
        recount();
        break;
      case 4:
        relayout();
        switch (pick(0, 2)) {
          case 0:
            EpubReader_changeContentFont(reader, path.get(), 1, 2, 3, 4);
            break;
          case 1:
            EpubReader_changeContentClientSize(reader, path.get(), 5);
            break;
          default:
            EpubReader_changeContentFontAndClientSize(reader, path.get(), 1, 2, 3, 4, 5);
        }
        reload(path);
        break;
      case 5:
        ASSERT_EQ(EpubReader_getPageCount(reader), total);
        ASSERT_EQ(EpubReader_getContentPageCount(reader, path.get()),
                  path.item ? items[*path.item].pageCount : 0);
        break;
      case 6: {
        int32_t before = 0;
        for (size_t i = 0; i < items.size() && (!path.item || i < *path.item); ++i)
          before += items[i].pageCount;
        ASSERT_EQ(EpubReader_getTotalPageBeforeContent(reader, path.get()), before);
        break;
      }
      case 7: {
        const char16_t* name = EpubReader_getFileName(reader, page);
        ASSERT_EQ(name, EpubReader_getContentByPage(reader, page));
        if (page >= pages) {
          ASSERT_EQ(name, nullptr);
        }
        if (name) {
          ASSERT_TRUE(std::any_of(items.begin(), items.end(), [&](const ModelItem& item) {
            return std::u16string(name) == wide(item.href);
          }));
        }
        break;
      }
      case 8: {
        const uint32_t mark = EpubReader_getMarkablePosition(reader, page);
        ASSERT_LE(mark, allObjects());
        if (page < 0 || page > total) {
          ASSERT_EQ(mark, 0u);
        }
        break;
      }
      case 9: {
        const int32_t at = EpubReader_getPageMarkPosition(reader, position);
        ASSERT_GE(at, 0);
        ASSERT_LE(at, pages);
        break;
      }
      case 10: {
        const int32_t inDocument =
            chance(50) ? EpubReader_getContentPageMarkPosition(reader, path.get(), position)
                       : EpubReader_getContentPageAtPosUTF8(reader, path.get(), position);
        if (items.empty()) {
          ASSERT_EQ(inDocument, 0);
        } else if (!path.item) {
          ASSERT_EQ(inDocument, -1);
        } else {
          ASSERT_GE(inDocument, -1);
          ASSERT_LT(inDocument, std::max(items[*path.item].pageCount, 0));
        }
        break;
      }
      case 11: {
        const bool inRange = path.item && page >= 0 && page < items[*path.item].pageCount;
        const uint32_t index = EpubReader_getContentMarkablePosition(reader, path.get(), page);
        if (!inRange) {
          ASSERT_EQ(index, 0u);
        }
        if (inRange) {
          ASSERT_LE(index, objectsOf(items[*path.item]));
        }
        ASSERT_EQ(EpubReader_getContentObjectIndexUTF8(reader, path.get(), page),
                  inRange ? 100u + uint32_t(page) : 0u);
        ASSERT_EQ(EpubReader_getContentObjectCountUTF8(reader, path.get(), page),
                  inRange ? 200u + uint32_t(page) : 0u);
        break;
      }
      case 12: {
        const int32_t link = EpubReader_getLink(reader, path.get(), 1);
        const int32_t contentLink = EpubReader_getContentLink(reader, path.get(), 1);
        if (!path.item) {
          ASSERT_EQ(link, -1);
          ASSERT_EQ(contentLink, -1);
        } else {
          ASSERT_EQ(contentLink, 3);
          ASSERT_GE(link, 3);
          ASSERT_LE(link, pages + 3);
        }
        break;
      }
      case 13: {
        const bool inRange = page >= 0 && page < total && page < pages;
        const intptr_t type = EpubReader_getObjectType(reader, page, 1);
        const bool anchor = EpubReader_isAnchor(reader, page, 1);
        const char16_t* href = EpubReader_getHref(reader, page, 1);
        const intptr_t image = EpubReader_getImage(reader, page, 1);
        if (!(page >= 0 && page < total)) {
          ASSERT_EQ(type, 0);
          ASSERT_FALSE(anchor);
          ASSERT_EQ(href, nullptr);
          ASSERT_EQ(image, 0);
        } else if (inRange) {
          ASSERT_GE(type, 1);  // the renderer was asked: 1 + page within the document
          ASSERT_LE(type, 1 + page);
          ASSERT_TRUE(anchor);
        }
        break;
      }
      case 14: {
        const bool inRange = path.item && page >= 0 && page < items[*path.item].pageCount;
        const intptr_t want = inRange ? 1 + page : 0;
        ASSERT_EQ(EpubReader_getContentObjectType(reader, path.get(), page, 1), want);
        ASSERT_EQ(EpubReader_getContentImage(reader, path.get(), page, 1), want);
        ASSERT_EQ(EpubReader_isContentAnchor(reader, path.get(), page, 1), inRange);
        ASSERT_EQ(num(EpubReader_getContentHref(reader, path.get(), page, 1)), num(want));
        ASSERT_EQ(num(EpubReader_getContentMarkableString(reader, path.get(), page)), num(want));
        ASSERT_EQ(EpubReader_getContentObjectCount(reader, path.get(), page),
                  inRange ? 1u + uint32_t(page) % 19 : 0u);
        break;
      }
      case 15: {
        const char16_t* first = EpubReader_getMarkableString(reader, page);
        const uint32_t count = EpubReader_getObjectCount(reader, page);
        if (page < 0 || page > total) {
          ASSERT_EQ(first, nullptr);
          ASSERT_EQ(count, 0u);
        }
        ASSERT_LE(count, 20u * (items.size() + 1));
        break;
      }
      case 16: {
        // The plain form shifts the renderer's 30 and 40 by the objects
        // before the page; the Content form leaves them as they are.
        uint32_t record[6] = {1, 2, 0, 0, 5, 6};
        const bool ok = EpubReader_getObjectInfo(reader, page, 1, record, 2);
        if (page < 0 || page >= total) {
          ASSERT_FALSE(ok);
        }
        if (ok) {
          ASSERT_LE(30u, record[2]);
          ASSERT_LE(record[2], 30u + allObjects());
          ASSERT_EQ(record[3] - record[2], 10u);
        }
        const bool contentOk =
            EpubReader_getContentObjectInfo(reader, path.get(), page, 1, record + 1, 2);
        if (contentOk) {
          ASSERT_EQ(record[3], 30u);
          ASSERT_EQ(record[4], 40u);
        }
        ASSERT_EQ(record[0], 1u);
        ASSERT_EQ(record[1], 2u);
        ASSERT_EQ(record[5], 6u);
        break;
      }
      case 17:
        EpubReader_draw(reader, page, 1, 2, 3, 4);
        EpubReader_drawContent(reader, path.get(), page, 1, 2, 3, 4);
        break;
      case 18: {
        const uint32_t end =
            chance(50) ? position + static_cast<uint32_t>(pick(0, 9)) : anyPosition();
        switch (pick(0, 4)) {
          case 0:
            EpubReader_addScrap(reader, position, end, 1, 2);
            break;
          case 1:
            EpubReader_modifyScrap(reader, position, end, 1, 2);
            break;
          case 2:
            EpubReader_removeScrap(reader, position, end);
            break;
          case 3:
            EpubReader_drawSelectionBox(reader, 1, 2, position, end, 3, 4);
            break;
          default:
            EpubReader_clearScrap(reader);
        }
        const char16_t* text = EpubReader_getScrapText(reader, position, end);
        if (position >= allObjects()) {
          ASSERT_EQ(text, nullptr);
        }
        if (text) {
          ASSERT_EQ(reinterpret_cast<intptr_t>(text), kScrapText);
        }
        break;
      }
      case 19: {
        EpubReader_addContentScrap(reader, path.get(), position, position, 1, 2);
        EpubReader_modifyContentScrap(reader, path.get(), position, position, 1, 2);
        EpubReader_removeContentScrap(reader, path.get(), position, position);
        EpubReader_clearContentScrap(reader, path.get());
        EpubReader_drawContentSelectionBox(reader, path.get(), 1, 2, position, position, 3, 4);
        ASSERT_EQ(reinterpret_cast<intptr_t>(
                      EpubReader_getContentScrapText(reader, path.get(), position, position)),
                  kScrapText);
        break;
      }
      case 20: {
        // The renderer finds one hit per document it is given.
        const auto readableItems = std::count_if(
            items.begin(), items.end(), [&](const ModelItem& item) { return readable(item.path); });
        ASSERT_EQ(EpubReader_search(reader, 1, 2, 3), readableItems);
        break;
      }
      case 21: {
        const int32_t hits = EpubReader_searchContent(reader, path.get(), 1, 2, 3);
        ASSERT_TRUE(hits == -1 || hits == 1);
        if (path.item) {
          ASSERT_EQ(hits, readable(items[*path.item].path) ? 1 : -1);
        }
        EpubReader_setSearchDrawItem(reader, path.get(), 1, 2);
        break;
      }
      default:
        // The renderer lays out again without the library being told:
        // stored counts must not move.
        relayout();
        for (const ModelItem& item : items) {
          const auto first = std::find_if(items.begin(), items.end(),
                                          [&](const ModelItem& m) { return m.path == item.path; });
          ASSERT_EQ(EpubReader_getContentPageCount(reader, item.path.c_str()), first->pageCount);
        }
        break;
    }
    host.takeLog();
  }
};

TEST_F(Soak, RandomExportSequencesStayWithinBounds) {
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    if (round > 0) {
      // A fresh handle per publication; the old one must free cleanly.
      EpubReader_free(&reader);
      ASSERT_EQ(reader, nullptr);
      testrenderer::reset();
      host.files.clear();
      host.unreadable.clear();
      items.clear();
      indexes.clear();
      total = 0;
      EpubReaderHostOptions options{};
      options.read = Host::read;
      options.release = Host::release;
      options.userData = &host;
      reader = EpubReader_new(&options);
      renderer = testrenderer::handles()[0];
    }
    testrenderer::setRecording(false);
    testrenderer::answer("getLink", [](const Call&) -> intptr_t { return 3; });
    testrenderer::answer("getObjectType", [](const Call& c) { return 1 + c.args[0]; });
    testrenderer::answer("getImage", [](const Call& c) { return 1 + c.args[0]; });
    testrenderer::answer("getHref", [](const Call& c) { return 1 + c.args[0]; });
    testrenderer::answer("getFirstStringPage", [](const Call& c) { return 1 + c.args[0]; });
    testrenderer::answer("getObjectCount", [](const Call& c) { return 1 + c.args[0] % 19; });
    testrenderer::answer("isAnchor", [](const Call&) -> intptr_t { return 1; });
    testrenderer::answer("getObjectIndexUTF8", [](const Call& c) { return 100 + c.args[0]; });
    testrenderer::answer("getObjectCountUTF8", [](const Call& c) { return 200 + c.args[0]; });
    testrenderer::answer("getScrapText", [](const Call&) { return kScrapText; });
    testrenderer::answer("search", [](const Call&) -> intptr_t { return 1; });
    testrenderer::answer("getObjectInfo", [](const Call& c) -> intptr_t {
      auto* record = reinterpret_cast<uint32_t*>(c.args[2]);
      record[2] = 30;
      record[3] = 40;
      return c.args[0] % 2 == 0;
    });
    ASSERT_NO_FATAL_FAILURE(openRandom());
    testrenderer::setRecording(false);
    for (int i = 0; i < kStepsPerRound; ++i) {
      ASSERT_NO_FATAL_FAILURE(step()) << "step " << i;
    }
  }
}

}  // namespace
}  // namespace contenttest
