// The frame every export shares, as one table: each export once, with the
// value it gives for a null handle, what it gives on a handle with no
// publication open (then each renderer call it made there), and whether it
// holds the handle lock. The header declares exactly these functions (that
// the shared library exports exactly these, scripts/check_install.sh and
// scripts/check_win32_exports.sh check). The tsan preset runs the Locking
// tests under ThreadSanitizer.
#include <atomic>
#include <fstream>
#include <functional>
#include <set>
#include <thread>
#include <type_traits>
#include <utility>

#include "api/reader.h"
#include "host_fixture.h"

namespace epubtest {
namespace {

using Exports = ReaderTest;
using Locking = ReaderTest;

// An answer as text: "none" for void, "null" or "set" for a pointer.
template <class Call>
std::string answerOf(Call&& call) {
  using Result = decltype(call());
  if constexpr (std::is_void_v<Result>)
    return (call(), "none");
  else if constexpr (std::is_pointer_v<Result>)
    return call() ? "set" : "null";
  else if constexpr (std::is_same_v<Result, bool>)
    return call() ? "true" : "false";
  else
    return std::to_string(call());
}

struct Export {
  std::string name;     // without the EpubReader_ prefix
  const char* failure;  // for a null handle ("" for new, which takes none)
  const char* fresh;    // on a handle with no publication, then each renderer call
  bool locked;
  std::function<std::string(EpubReader*&)> call;
};

constexpr bool kLocked = true, kFree = false;
const char16_t* const p = u"p";  // resolved against no folder: "p"
uint32_t record[8];

// clang-format off
#define ROW(name, failure, fresh, locked, ...) Export{#name, failure, fresh, locked, \
    [](EpubReader*& r) { \
      return answerOf([&] { return EpubReader_##name(r __VA_OPT__(,) __VA_ARGS__); }); }}
// clang-format on

const std::vector<Export> kTable = {
    // A null options record gives a handle whose callbacks all fail.
    {"new", "", "set new free", kFree,
     [](EpubReader*&) {
       EpubReader* made = EpubReader_new(nullptr);
       return (EpubReader_free(&made), "set");
     }},
    // Free clears the host's variable, so a second free does nothing.
    {"free", "cleared", "cleared free", kLocked,
     [](EpubReader*& r) { return (EpubReader_free(&r), r ? "kept" : "cleared"); }},
    ROW(loadFont, "none", "none loadFont(7, -8, 9)", kLocked, 7, -8, 9),
    ROW(readMimeType, "false", "true", kLocked, bytes("application/epub+zip"), 20),
    ROW(readContainer, "null", "set", kLocked, bytes(kContainer), length(kContainer)),
    // The records: metadata is read without the lock.
    ROW(getPublicationMetadata, "null", "null", kFree),
    ROW(getNcxDocTitle, "null", "null", kLocked),
    ROW(getNcxDocAuthor, "null", "null", kLocked),
    ROW(getSpine, "null", "null", kLocked),
    ROW(getNavMap, "null", "null", kLocked),
    // The forwarding exports hand over their arguments and return the
    // renderer's answer (7).
    ROW(setDrawOnlyThisColor, "0", "7 setDrawOnlyThisColor(5)", kFree, 5),
    ROW(setUseOnlyThisTextAlign, "0", "7 setUseOnlyThisTextAlign(2)", kFree, 2),
    ROW(setUseEpubEmbeddedFont, "0", "7 setUseEpubEmbeddedFont(-1)", kFree, -1),
    ROW(setSearchContext, "0", "7 setSearchContext(word, 21)", kFree, u"word", 21),
    ROW(clearSearchDatas, "0", "7 clearSearchDatas()", kFree),
    ROW(getPageCount, "0", "0", kFree),
    // Loading: nothing is open, so nothing loads.
    ROW(loadAll, "false", "false", kLocked, nullptr, nullptr),
    ROW(loadContent, "false", "false", kLocked, p, nullptr, nullptr),
    ROW(deleteContent, "none", "none", kLocked, p),
    // Addressing: an empty table gives 0 where a null handle gives -1.
    ROW(getContentPageCount, "0", "0", kFree, p),
    ROW(getTotalPageBeforeContent, "0", "0", kFree, p),
    ROW(getFileName, "null", "null", kFree, 0),
    ROW(getContentByPage, "null", "null", kFree, 0),
    ROW(getMarkablePosition, "0", "0", kFree, 0),
    ROW(getContentMarkablePosition, "0", "0", kFree, p, 0),
    ROW(getPageMarkPosition, "-1", "0", kFree, 3),
    ROW(getContentPageMarkPosition, "-1", "0", kFree, p, 3),
    ROW(getContentPageAtPosUTF8, "-1", "0", kFree, p, 3),
    ROW(getContentObjectIndexUTF8, "0", "0", kFree, p, 0),
    ROW(getContentObjectCountUTF8, "0", "0", kFree, p, 0),
    // Drawing and object queries: nothing to draw or ask about; only draw locks.
    ROW(draw, "none", "none", kLocked, 0, 1, 2, 3, 4),
    ROW(drawContent, "none", "none", kFree, p, 0, 1, 2, 3, 4),
    ROW(getLink, "-1", "-1", kFree, p, 1),
    ROW(getContentLink, "-1", "-1", kFree, p, 1),
    ROW(getObjectType, "0", "0", kFree, 0, 1),
    ROW(getContentObjectType, "0", "0", kFree, p, 0, 1),
    ROW(isAnchor, "false", "false", kFree, 0, 1),
    ROW(isContentAnchor, "false", "false", kFree, p, 0, 1),
    ROW(getHref, "null", "null", kFree, 0, 1),
    ROW(getContentHref, "null", "null", kFree, p, 0, 1),
    ROW(getImage, "0", "0", kFree, 0, 1),
    ROW(getContentImage, "0", "0", kFree, p, 0, 1),
    ROW(getMarkableString, "null", "null", kFree, 0),
    ROW(getContentMarkableString, "null", "null", kFree, p, 0),
    ROW(getObjectCount, "0", "0", kFree, 0),
    ROW(getContentObjectCount, "0", "0", kFree, p, 0),
    ROW(getObjectInfo, "false", "false", kFree, 0, 1, record, 2),
    ROW(getContentObjectInfo, "false", "false", kFree, p, 0, 1, record, 2),
    // Layout changes: the renderer is told even with nothing open.
    ROW(changeFont, "none", "none changeFont(1, 2, 3, 4, 1)", kLocked, 1, 2, 3, 4),
    ROW(changeClientSize, "none", "none calcPageSize(6, 1)", kLocked, 6),
    ROW(changeContentFont, "none", "none changeFont(1, 2, 3, 4, 0)", kLocked, p, 1, 2, 3, 4),
    ROW(changeContentClientSize, "none", "none calcPageSize(6, 0)", kLocked, p, 6),
    ROW(changeContentFontAndClientSize, "none", "none changeFont(1, 2, 3, 4, 0) calcPageSize(6, 0)",
        kLocked, p, 1, 2, 3, 4, 6),
    // Scraps: the plain forms find no document; the Content forms do not
    // look, and pass the path resolved against the (empty) OPF folder.
    ROW(addScrap, "none", "none", kFree, 1, 2, 3, 4),
    ROW(modifyScrap, "none", "none", kFree, 1, 2, 3, 4),
    ROW(removeScrap, "none", "none", kFree, 1, 2),
    ROW(getScrapText, "null", "null", kFree, 1, 2),
    ROW(clearScrap, "none", "none", kFree),
    ROW(drawSelectionBox, "none", "none", kFree, 1, 2, 3, 4, 5, 6),
    ROW(addContentScrap, "none", "none addScrap(p, 1, 2, 3, 4)", kFree, p, 1, 2, 3, 4),
    ROW(modifyContentScrap, "none", "none modifyScrap(p, 1, 2, 3, 4)", kFree, p, 1, 2, 3, 4),
    ROW(removeContentScrap, "none", "none removeScrap(p, 1, 2)", kFree, p, 1, 2),
    ROW(getContentScrapText, "null", "set getScrapText(p, 1, 2)", kFree, p, 1, 2),
    ROW(clearContentScrap, "none", "none clearScrap(p)", kFree, p),
    ROW(drawContentSelectionBox, "none", "none drawSelectionBox(p, 1, 2, 3, 4, 5, 6)", kFree, p, 1,
        2, 3, 4, 5, 6),
    // Search: nothing to sum; one document is read, and fails to.
    ROW(search, "-1", "0", kFree, 1, 2, 3),
    ROW(searchContent, "-1", "-1", kFree, p, 1, 2, 3),
    ROW(setSearchDrawItem, "none", "none setSearchDrawItem(p, 1, 2)", kFree, p, 1, 2),
};

#undef ROW

std::set<std::string> tableNames() {
  std::set<std::string> names;
  for (const Export& e : kTable) names.insert("EpubReader_" + e.name);
  return names;
}

// Every line of the header that declares an export begins with its macro.
TEST_F(Exports, HeaderDeclaresTheSixtyEightFunctionsOfTheTable) {
  std::ifstream header(std::string(EPUB_SOURCE_DIR) + "/include/epubreader.h");
  std::set<std::string> declared;
  for (std::string line; std::getline(header, line);) {
    const std::string head = line.substr(0, line.find('('));
    if (line.rfind("EPUBREADER_API ", 0) == 0)
      declared.insert(head.substr(head.find_last_of(" *") + 1));
  }
  EXPECT_EQ(kTable.size(), 68u);
  EXPECT_EQ(declared, tableNames());
}

// A null handle gives the failure value and reaches neither the renderer nor
// the host (a null address given to free does nothing either). On a handle
// with no publication open only the exports that need no Content item reach
// the renderer, with that handle's own renderer handle; the renderer answers 7.
TEST_F(Exports, NullAndEmptyHandlesGiveTheRowsValues) {
  for (const char* function :
       {"setDrawOnlyThisColor", "setUseOnlyThisTextAlign", "setUseEpubEmbeddedFont",
        "setSearchContext", "clearSearchDatas", "getScrapText"})
    testrenderer::answer(function, [](const testrenderer::Call&) -> intptr_t { return 7; });
  EpubReader_free(nullptr);
  for (const Export& e : kTable) {
    EpubReader* none = nullptr;
    if (*e.failure) {
      EXPECT_EQ(e.call(none), e.failure) << e.name << " on a null handle";
    }
    EXPECT_TRUE(testrenderer::calls().empty() && host.log.empty()) << e.name << " on a null handle";
    EpubReader* fresh = host.reader(false);
    const ZaveVevode* own = testrenderer::handles().back();
    testrenderer::clearCalls();
    std::string got = e.call(fresh);
    for (const testrenderer::Call& c : testrenderer::calls()) {
      EXPECT_TRUE(c.handle == own || e.name == "new") << e.name << " reached another renderer";
      got += " " + (c.function == "new" || c.function == "free" ? c.function : c.str());
    }
    EXPECT_EQ(got, e.fresh) << e.name;
    EpubReader_free(&fresh);
    testrenderer::clearCalls();
    host.log.clear();
  }
}

// Whether a thread is blocked on the handle lock, which the caller holds
// once. The lock's own state tells: glibc's futex word turns 2 when a thread
// blocks on it; a critical section, as Wine counts it, is entered once more
// (its LockCount, from -1) for every waiter.
bool someoneWaits(EpubReader* reader) {
#ifdef _WIN32
  auto& section = reinterpret_cast<CRITICAL_SECTION&>(reader->lock);
  return InterlockedCompareExchange(&section.LockCount, 0, 0) >= section.RecursionCount;
#else
  static_assert(sizeof(epub::api::HandleLock) == sizeof(std::recursive_mutex));
  auto& mutex = reinterpret_cast<std::recursive_mutex&>(reader->lock);
  return __atomic_load_n(&mutex.native_handle()->__data.__lock, __ATOMIC_ACQUIRE) > 1;
#endif
}

// While this thread holds the lock, another calls the export on an open
// publication: a locked export is seen waiting for the lock, any other
// returns meanwhile. No timing is involved: the loop ends on either event.
TEST_F(Locking, ExactlyTheLockedExportsWaitForTheLock) {
  for (const Export& e : kTable) {
    EpubReader* r = host.reader(true);
    r->lock.lock();
    std::atomic<bool> returned{false};
    std::thread caller([&] { returned = (e.call(r), true); });
    bool waited = false;
    while (!returned && !(waited = someoneWaits(r))) std::this_thread::yield();
    r->lock.unlock();
    caller.join();
    EXPECT_EQ(waited, e.locked) << e.name << (waited ? " waited" : " did not wait");
    EpubReader_free(&r);  // unless the free row did
  }
}

// Callbacks run under the lock on the caller's thread and may call any
// export there: each row is called from a renderer answer (inside loadFont),
// from the read callback (loadContent) and from the release callback
// (deleteContent), and returns (free aside, which would take the handle from
// under the call).
std::function<void()> reenter;
void reenterOnce() {
  if (reenter) std::exchange(reenter, nullptr)();
}

TEST_F(Locking, EveryExportReentersFromACallbackUnderTheLock) {
  EpubReaderHostOptions options = host.options();
  options.read = [](void* user, const char16_t* path, const uint8_t** data, uint32_t* size) {
    reenterOnce();
    return Host::read(user, path, data, size);
  };
  options.release = [](void* user, const char16_t* path) {
    reenterOnce();
    Host::release(user, path);
  };
  testrenderer::answer("loadFont", [](const testrenderer::Call&) {
    reenterOnce();
    return intptr_t{0};
  });
  const char16_t* ch2 = u"Text/ch2.xhtml";
  for (const char* site : {"loadFont", "read", "release"})
    for (const Export& e : kTable) {
      if (e.name == "free") continue;
      EpubReader* r = EpubReader_new(&options);
      ASSERT_NE(EpubReader_readContainer(r, bytes(kContainer), length(kContainer)), nullptr);
      if (site == std::string("release")) EpubReader_loadContent(r, ch2, nullptr, nullptr);
      std::string got;
      reenter = [&] { got = e.call(r); };
      if (site == std::string("loadFont")) EpubReader_loadFont(r, 1, 2, 3);
      if (site == std::string("read")) EpubReader_loadContent(r, ch2, nullptr, nullptr);
      if (site == std::string("release")) EpubReader_deleteContent(r, ch2);
      EXPECT_FALSE(got.empty()) << e.name << " from " << site;
      EpubReader_free(&r);
    }
  reenter = nullptr;
}

// The locked rows from three threads at once, a hundred rounds each, with a
// document deleted and loaded again in every round: the lock orders them
// all (ThreadSanitizer checks) and the publication ends whole.
TEST_F(Locking, LockedExportsFromSeveralThreads) {
  testrenderer::setRecording(false);
  testrenderer::setPageCount(u"OEBPS/Text/ch 1.xhtml", 2);
  testrenderer::setPageCount(u"OEBPS/Text/ch2.xhtml", 3);
  EpubReader* r = host.reader(true);
  const auto rounds = [&] {
    for (int i = 0; i < 100; ++i) {
      for (const Export& e : kTable)
        if (e.locked && e.name != "free") e.call(r);
      EpubReader_deleteContent(r, u"Text/ch2.xhtml");
      EpubReader_loadContent(r, u"Text/ch2.xhtml", nullptr, nullptr);
    }
  };
  std::thread first(rounds), second(rounds);
  rounds();
  first.join();
  second.join();
  EXPECT_TRUE(EpubReader_loadAll(r, nullptr, nullptr));
  EXPECT_EQ(EpubReader_getPageCount(r), 7);
  EpubReader_free(&r);
}

}  // namespace
}  // namespace epubtest
