// The handle lock as the content exports use it: the locked ones hold it for
// the whole call, the others never take it, and host callbacks running under
// it may call back into the library on the same thread.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <thread>

#include "content_fixture.h"

namespace contenttest {
namespace {

using namespace std::chrono_literals;

// Makes the first call of one renderer function block until released, so
// that the export making it stays inside.
class Gate {
 public:
  void install(const std::string& function) {
    armed_ = true;
    testrenderer::answer(function, [this](const Call&) -> intptr_t {
      if (!armed_.exchange(false)) return 0;
      std::unique_lock lock(mutex_);
      entered_ = true;
      changed_.notify_all();
      changed_.wait(lock, [&] { return open_; });
      return 0;
    });
  }
  bool waitEntered() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 10s, [&] { return entered_; });
  }
  void release() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }

 private:
  std::atomic<bool> armed_{false};
  std::mutex mutex_;
  std::condition_variable changed_;
  bool entered_ = false;
  bool open_ = false;
};

class Locking : public ContentTest {
 protected:
  void SetUp() override {
    ContentTest::SetUp();
    open({"a.xhtml", "b.xhtml"});
    script("a.xhtml", 2, {0, 3, 6});
    script("b.xhtml", 1, {0, 4});
  }
};

struct LockedRow {
  const char* name;
  std::function<void(EpubReader*)> prepare;  // brings the state the call needs
  const char* blocksIn;                      // renderer function it calls
  std::function<void(EpubReader*)> call;
};

// While a locked export is held inside the renderer, a locked export on
// another thread waits until it returns.
TEST_F(Locking, LockedContentExportsHoldTheLockForTheWholeCall) {
  const auto nothing = [](EpubReader*) {};
  const auto unloadA = [](EpubReader* r) { EpubReader_deleteContent(r, u"a.xhtml"); };
  const std::vector<LockedRow> rows = {
      {"loadAll", unloadA, "xhtml", [](EpubReader* r) { EpubReader_loadAll(r, nullptr, nullptr); }},
      {"loadContent", unloadA, "xhtml",
       [](EpubReader* r) { EpubReader_loadContent(r, u"a.xhtml", nullptr, nullptr); }},
      {"deleteContent", nothing, "deleteXhtml",
       [](EpubReader* r) { EpubReader_deleteContent(r, u"a.xhtml"); }},
      {"changeFont", nothing, "changeFont",
       [](EpubReader* r) { EpubReader_changeFont(r, 1, 2, 3, 4); }},
      {"changeClientSize", nothing, "calcPageSize",
       [](EpubReader* r) { EpubReader_changeClientSize(r, 1); }},
      {"changeContentFont", nothing, "changeFont",
       [](EpubReader* r) { EpubReader_changeContentFont(r, u"a.xhtml", 1, 2, 3, 4); }},
      {"changeContentClientSize", nothing, "calcPageSize",
       [](EpubReader* r) { EpubReader_changeContentClientSize(r, u"a.xhtml", 1); }},
      {"changeContentFontAndClientSize", nothing, "changeFont",
       [](EpubReader* r) {
         EpubReader_changeContentFontAndClientSize(r, u"a.xhtml", 1, 2, 3, 4, 5);
       }},
      {"draw", [](EpubReader* r) { EpubReader_loadAll(r, nullptr, nullptr); }, "draw",
       [](EpubReader* r) { EpubReader_draw(r, 0, 1, 2, 3, 4); }},
  };
  for (const LockedRow& row : rows) {
    SCOPED_TRACE(row.name);
    row.prepare(reader);
    Gate gate;
    gate.install(row.blocksIn);
    std::thread holder([&] { row.call(reader); });
    ASSERT_TRUE(gate.waitEntered()) << "never reached the renderer";

    std::atomic<bool> finished{false};
    std::thread waiter([&] {
      EpubReader_loadFont(reader, 0, 0, 0);
      finished = true;
    });
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(finished.load()) << "a locked export ran while the lock was held";
    gate.release();
    holder.join();
    waiter.join();
    EXPECT_TRUE(finished.load());
    testrenderer::answer(row.blocksIn, [](const Call&) -> intptr_t { return 0; });
  }
}

// While another thread holds the lock, none of the unlocked content exports
// waits for it.
TEST_F(Locking, UnlockedContentExportsNeverWait) {
  EpubReader_loadAll(reader, nullptr, nullptr);
  uint32_t record[8] = {};
  const std::vector<std::pair<const char*, std::function<void()>>> calls = {
      {"getContentPageCount", [&] { EpubReader_getContentPageCount(reader, u"a.xhtml"); }},
      {"getTotalPageBeforeContent",
       [&] { EpubReader_getTotalPageBeforeContent(reader, u"b.xhtml"); }},
      {"getFileName", [&] { EpubReader_getFileName(reader, 1); }},
      {"getContentByPage", [&] { EpubReader_getContentByPage(reader, 1); }},
      {"getMarkablePosition", [&] { EpubReader_getMarkablePosition(reader, 2); }},
      {"getContentMarkablePosition",
       [&] { EpubReader_getContentMarkablePosition(reader, u"a.xhtml", 1); }},
      {"getPageMarkPosition", [&] { EpubReader_getPageMarkPosition(reader, 5); }},
      {"getContentPageMarkPosition",
       [&] { EpubReader_getContentPageMarkPosition(reader, u"a.xhtml", 5); }},
      {"getContentPageAtPosUTF8",
       [&] { EpubReader_getContentPageAtPosUTF8(reader, u"a.xhtml", 5); }},
      {"getContentObjectIndexUTF8",
       [&] { EpubReader_getContentObjectIndexUTF8(reader, u"a.xhtml", 1); }},
      {"getContentObjectCountUTF8",
       [&] { EpubReader_getContentObjectCountUTF8(reader, u"a.xhtml", 1); }},
      {"drawContent", [&] { EpubReader_drawContent(reader, u"a.xhtml", 0, 1, 2, 3, 4); }},
      {"getLink", [&] { EpubReader_getLink(reader, u"b.xhtml", 1); }},
      {"getContentLink", [&] { EpubReader_getContentLink(reader, u"b.xhtml", 1); }},
      {"getObjectType", [&] { EpubReader_getObjectType(reader, 1, 1); }},
      {"getContentObjectType", [&] { EpubReader_getContentObjectType(reader, u"a.xhtml", 1, 1); }},
      {"isAnchor", [&] { EpubReader_isAnchor(reader, 1, 1); }},
      {"isContentAnchor", [&] { EpubReader_isContentAnchor(reader, u"a.xhtml", 1, 1); }},
      {"getHref", [&] { EpubReader_getHref(reader, 1, 1); }},
      {"getContentHref", [&] { EpubReader_getContentHref(reader, u"a.xhtml", 1, 1); }},
      {"getImage", [&] { EpubReader_getImage(reader, 1, 1); }},
      {"getContentImage", [&] { EpubReader_getContentImage(reader, u"a.xhtml", 1, 1); }},
      {"getMarkableString", [&] { EpubReader_getMarkableString(reader, 1); }},
      {"getContentMarkableString",
       [&] { EpubReader_getContentMarkableString(reader, u"a.xhtml", 1); }},
      {"getObjectCount", [&] { EpubReader_getObjectCount(reader, 1); }},
      {"getContentObjectCount", [&] { EpubReader_getContentObjectCount(reader, u"a.xhtml", 1); }},
      {"getObjectInfo", [&] { EpubReader_getObjectInfo(reader, 2, 1, record, 2); }},
      {"getContentObjectInfo",
       [&] { EpubReader_getContentObjectInfo(reader, u"a.xhtml", 1, 1, record, 2); }},
      {"addScrap", [&] { EpubReader_addScrap(reader, 1, 2, 3, 4); }},
      {"modifyScrap", [&] { EpubReader_modifyScrap(reader, 1, 2, 3, 4); }},
      {"removeScrap", [&] { EpubReader_removeScrap(reader, 1, 2); }},
      {"getScrapText", [&] { EpubReader_getScrapText(reader, 1, 2); }},
      {"clearScrap", [&] { EpubReader_clearScrap(reader); }},
      {"drawSelectionBox", [&] { EpubReader_drawSelectionBox(reader, 1, 2, 3, 4, 5, 6); }},
      {"addContentScrap", [&] { EpubReader_addContentScrap(reader, u"a.xhtml", 1, 2, 3, 4); }},
      {"modifyContentScrap",
       [&] { EpubReader_modifyContentScrap(reader, u"a.xhtml", 1, 2, 3, 4); }},
      {"removeContentScrap", [&] { EpubReader_removeContentScrap(reader, u"a.xhtml", 1, 2); }},
      {"getContentScrapText", [&] { EpubReader_getContentScrapText(reader, u"a.xhtml", 1, 2); }},
      {"clearContentScrap", [&] { EpubReader_clearContentScrap(reader, u"a.xhtml"); }},
      {"drawContentSelectionBox",
       [&] { EpubReader_drawContentSelectionBox(reader, u"a.xhtml", 1, 2, 3, 4, 5, 6); }},
      {"search", [&] { EpubReader_search(reader, 1, 2, 3); }},
      {"searchContent", [&] { EpubReader_searchContent(reader, u"a.xhtml", 1, 2, 3); }},
      {"setSearchDrawItem", [&] { EpubReader_setSearchDrawItem(reader, u"a.xhtml", 1, 2); }},
      {"getPageCount", [&] { EpubReader_getPageCount(reader); }},
  };

  Gate gate;
  gate.install("calcPageSize");
  std::thread holder([&] { EpubReader_changeClientSize(reader, 1); });
  ASSERT_TRUE(gate.waitEntered());
  std::atomic<size_t> done{0};
  auto all = std::async(std::launch::async, [&] {
    for (const auto& call : calls) {
      call.second();
      ++done;
    }
  });
  const bool finished = all.wait_for(10s) == std::future_status::ready;
  gate.release();
  holder.join();
  all.wait();
  EXPECT_TRUE(finished) << calls[std::min(done.load(), calls.size() - 1)].first
                        << " waited for the lock";
}

// Host callbacks run under the lock, on the caller's thread: the read and
// release callbacks may call locked exports without blocking.
TEST_F(Locking, CallbacksReenterOnTheSameThread) {
  std::vector<std::string> seen;
  host.onRead = [&](const std::u16string& path) {
    EpubReader_draw(reader, 0, 0, 0, 0, 0);
    EpubReader_deleteContent(reader, u"nowhere.xhtml");
    seen.push_back("read " + testrenderer::utf8(path) + " total " +
                   std::to_string(EpubReader_getPageCount(reader)));
  };
  host.onRelease = [&](const std::u16string& path) {
    // Straight back in: the document just released is loaded again.
    host.onRead = nullptr;
    const bool again = EpubReader_loadContent(reader, path.c_str(), nullptr, nullptr);
    seen.push_back("reloaded " + flag(again));
  };
  auto done = std::async(std::launch::async, [&] {
    EpubReader_loadAll(reader, nullptr, nullptr);
    EpubReader_deleteContent(reader, u"a.xhtml");
  });
  ASSERT_EQ(done.wait_for(10s), std::future_status::ready) << "a callback blocked on the lock";
  EXPECT_EQ(seen, (std::vector<std::string>{"read OEBPS/a.xhtml total 0",
                                            "read OEBPS/b.xhtml total 2", "reloaded true"}));
  EXPECT_EQ(rendererCalls(),
            (std::vector<std::string>{xhtml("a.xhtml"), "getPageLength(OEBPS/a.xhtml)",
                                      "draw(OEBPS/a.xhtml, 0, 0, 0, 0, 0)", xhtml("b.xhtml"),
                                      "getPageLength(OEBPS/b.xhtml)", "deleteXhtml(OEBPS/a.xhtml)",
                                      xhtml("a.xhtml"), "getPageLength(OEBPS/a.xhtml)"}));
}

}  // namespace
}  // namespace contenttest
