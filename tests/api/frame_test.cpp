// The frame every export shares. The export table below names each export
// once with the value it gives for a null handle, what it gives on a handle
// with no publication open (and the renderer calls it makes there), and
// whether it holds the handle lock. The header declares exactly these
// functions, the shared library exports exactly these, and each behaves as
// its row says. The lock is recursive, so callbacks running under it may call
// locked exports on the same thread, and it orders locked exports racing
// from several threads (the tsan preset runs the Locking tests under
// ThreadSanitizer).
#include <atomic>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <functional>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>
#include <type_traits>

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
  const char* name;     // without the EpubReader_ prefix
  const char* failure;  // for a null handle ("" for new, which takes none)
  const char* fresh;    // on a handle with no publication, then each renderer call
  bool locked;
  std::function<std::string(EpubReader*&)> call;
};

constexpr bool kLocked = true, kFree = false;

// clang-format off
#define ROW(name, failure, fresh, locked, ...) Export{#name, failure, fresh, locked, \
    [](EpubReader*& r) { return answerOf([&] { return EpubReader_##name(__VA_ARGS__); }); }}
// clang-format on

const std::vector<Export>& exportTable() {
  static const char16_t* p = u"p";  // resolved against no folder: "p"
  static uint32_t record[8];
  static const std::vector<Export> table = {
      // A null options record gives a handle whose callbacks all fail.
      {"new", "", "set new free", kFree,
       [](EpubReader*&) {
         EpubReader* made = EpubReader_new(nullptr);
         const std::string answer = made ? "set" : "null";
         EpubReader_free(&made);
         return answer;
       }},
      // Free clears the host's variable, so a second free does nothing.
      {"free", "cleared", "cleared free", kLocked,
       [](EpubReader*& r) { return (EpubReader_free(&r), r ? "kept" : "cleared"); }},
      ROW(loadFont, "none", "none loadFont(7, -8, 9)", kLocked, r, 7, -8, 9),
      ROW(readMimeType, "false", "true", kLocked, r, bytes("application/epub+zip"), 20),
      ROW(readContainer, "null", "set", kLocked, r, bytes(kContainer), length(kContainer)),
      ROW(getPublicationMetadata, "null", "null", kFree, r),
      ROW(getNcxDocTitle, "null", "null", kLocked, r),
      ROW(getNcxDocAuthor, "null", "null", kLocked, r),
      ROW(getSpine, "null", "null", kLocked, r),
      ROW(getNavMap, "null", "null", kLocked, r),
      // The forwarding exports hand over their arguments and return the
      // renderer's answer (7).
      ROW(setDrawOnlyThisColor, "0", "7 setDrawOnlyThisColor(5)", kFree, r, 5),
      ROW(setUseOnlyThisTextAlign, "0", "7 setUseOnlyThisTextAlign(2)", kFree, r, 2),
      ROW(setUseEpubEmbeddedFont, "0", "7 setUseEpubEmbeddedFont(-1)", kFree, r, -1),
      ROW(setSearchContext, "0", "7 setSearchContext(word, 21)", kFree, r, u"word", 21),
      ROW(clearSearchDatas, "0", "7 clearSearchDatas()", kFree, r),
      ROW(getPageCount, "0", "0", kFree, r),
      // Loading: nothing is open, so nothing loads.
      ROW(loadAll, "false", "false", kLocked, r, nullptr, nullptr),
      ROW(loadContent, "false", "false", kLocked, r, p, nullptr, nullptr),
      ROW(deleteContent, "none", "none", kLocked, r, p),
      // Addressing: an empty table gives 0 where a null handle gives -1.
      ROW(getContentPageCount, "0", "0", kFree, r, p),
      ROW(getTotalPageBeforeContent, "0", "0", kFree, r, p),
      ROW(getFileName, "null", "null", kFree, r, 0),
      ROW(getContentByPage, "null", "null", kFree, r, 0),
      ROW(getMarkablePosition, "0", "0", kFree, r, 0),
      ROW(getContentMarkablePosition, "0", "0", kFree, r, p, 0),
      ROW(getPageMarkPosition, "-1", "0", kFree, r, 3),
      ROW(getContentPageMarkPosition, "-1", "0", kFree, r, p, 3),
      ROW(getContentPageAtPosUTF8, "-1", "0", kFree, r, p, 3),
      ROW(getContentObjectIndexUTF8, "0", "0", kFree, r, p, 0),
      ROW(getContentObjectCountUTF8, "0", "0", kFree, r, p, 0),
      // Drawing and object queries: nothing to draw or ask about.
      ROW(draw, "none", "none", kLocked, r, 0, 1, 2, 3, 4),
      ROW(drawContent, "none", "none", kFree, r, p, 0, 1, 2, 3, 4),
      ROW(getLink, "-1", "-1", kFree, r, p, 1),
      ROW(getContentLink, "-1", "-1", kFree, r, p, 1),
      ROW(getObjectType, "0", "0", kFree, r, 0, 1),
      ROW(getContentObjectType, "0", "0", kFree, r, p, 0, 1),
      ROW(isAnchor, "false", "false", kFree, r, 0, 1),
      ROW(isContentAnchor, "false", "false", kFree, r, p, 0, 1),
      ROW(getHref, "null", "null", kFree, r, 0, 1),
      ROW(getContentHref, "null", "null", kFree, r, p, 0, 1),
      ROW(getImage, "0", "0", kFree, r, 0, 1),
      ROW(getContentImage, "0", "0", kFree, r, p, 0, 1),
      ROW(getMarkableString, "null", "null", kFree, r, 0),
      ROW(getContentMarkableString, "null", "null", kFree, r, p, 0),
      ROW(getObjectCount, "0", "0", kFree, r, 0),
      ROW(getContentObjectCount, "0", "0", kFree, r, p, 0),
      ROW(getObjectInfo, "false", "false", kFree, r, 0, 1, record, 2),
      ROW(getContentObjectInfo, "false", "false", kFree, r, p, 0, 1, record, 2),
      // Layout changes: the renderer is told even with nothing open.
      ROW(changeFont, "none", "none changeFont(1, 2, 3, 4, 1)", kLocked, r, 1, 2, 3, 4),
      ROW(changeClientSize, "none", "none calcPageSize(6, 1)", kLocked, r, 6),
      ROW(changeContentFont, "none", "none changeFont(1, 2, 3, 4, 0)", kLocked, r, p, 1, 2, 3, 4),
      ROW(changeContentClientSize, "none", "none calcPageSize(6, 0)", kLocked, r, p, 6),
      ROW(changeContentFontAndClientSize, "none",
          "none changeFont(1, 2, 3, 4, 0) calcPageSize(6, 0)", kLocked, r, p, 1, 2, 3, 4, 6),
      // Scraps: the plain forms find no document; the Content forms do not
      // look, and pass the path resolved against the (empty) OPF folder.
      ROW(addScrap, "none", "none", kFree, r, 1, 2, 3, 4),
      ROW(modifyScrap, "none", "none", kFree, r, 1, 2, 3, 4),
      ROW(removeScrap, "none", "none", kFree, r, 1, 2),
      ROW(getScrapText, "null", "null", kFree, r, 1, 2),
      ROW(clearScrap, "none", "none", kFree, r),
      ROW(drawSelectionBox, "none", "none", kFree, r, 1, 2, 3, 4, 5, 6),
      ROW(addContentScrap, "none", "none addScrap(p, 1, 2, 3, 4)", kFree, r, p, 1, 2, 3, 4),
      ROW(modifyContentScrap, "none", "none modifyScrap(p, 1, 2, 3, 4)", kFree, r, p, 1, 2, 3, 4),
      ROW(removeContentScrap, "none", "none removeScrap(p, 1, 2)", kFree, r, p, 1, 2),
      ROW(getContentScrapText, "null", "set getScrapText(p, 1, 2)", kFree, r, p, 1, 2),
      ROW(clearContentScrap, "none", "none clearScrap(p)", kFree, r, p),
      ROW(drawContentSelectionBox, "none", "none drawSelectionBox(p, 1, 2, 3, 4, 5, 6)", kFree, r,
          p, 1, 2, 3, 4, 5, 6),
      // Search: nothing to sum; one document is read, and fails to.
      ROW(search, "-1", "0", kFree, r, 1, 2, 3),
      ROW(searchContent, "-1", "-1", kFree, r, p, 1, 2, 3),
      ROW(setSearchDrawItem, "none", "none setSearchDrawItem(p, 1, 2)", kFree, r, p, 1, 2),
  };
  return table;
}

#undef ROW

std::set<std::string> tableNames() {
  std::set<std::string> names;
  for (const Export& e : exportTable()) names.insert(std::string("EpubReader_") + e.name);
  return names;
}

// Every EpubReader_* name followed by an opening parenthesis in the public
// header, comments left out.
TEST_F(Exports, HeaderDeclaresTheSixtyEightFunctionsOfTheTable) {
  std::stringstream header;
  header << std::ifstream(std::string(EPUB_SOURCE_DIR) + "/include/epubreader.h").rdbuf();
  const std::string text = header.str();
  std::string code;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 2, "/*") == 0) {
      i = text.find("*/", i) + 1;
    } else if (text.compare(i, 2, "//") == 0) {
      i = text.find('\n', i) - 1;
    } else {
      code += text[i];
    }
  }
  const auto word = [&](size_t i) {
    return i < code.size() && (isalnum(code[i]) || code[i] == '_');
  };
  std::set<std::string> declared;
  for (size_t at = code.find("EpubReader_"); at != std::string::npos;
       at = code.find("EpubReader_", at + 1)) {
    size_t end = at;
    while (word(end)) ++end;
    const size_t next = code.find_first_not_of(" \t\n", end);
    if ((at == 0 || !word(at - 1)) && next != std::string::npos && code[next] == '(')
      declared.insert(code.substr(at, end - at));
  }
  EXPECT_EQ(declared.size(), 68u);
  EXPECT_EQ(exportTable().size(), 68u);
  EXPECT_EQ(declared, tableNames());
}

// The shared library's dynamic symbols: the table's names and nothing else.
TEST_F(Exports, SharedLibraryExportsExactlyTheDeclaredFunctions) {
  FILE* pipe = popen((std::string("nm -D --defined-only ") + EPUB_LIBRARY_PATH).c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> found;
  char line[512];
  while (fgets(line, sizeof line, pipe)) {
    std::istringstream fields(line);
    std::string address, type, symbol;
    if (fields >> address >> type >> symbol) found.insert(symbol);
  }
  ASSERT_EQ(pclose(pipe), 0);
  EXPECT_EQ(found, tableNames());
}

// A null handle gives the failure value and reaches neither the renderer
// nor the host; a null address given to free does nothing either.
TEST_F(Exports, NullHandleGivesTheFailureValueAndTouchesNothing) {
  EpubReader_free(nullptr);
  for (const Export& e : exportTable()) {
    if (!*e.failure) continue;  // EpubReader_new takes no handle
    EpubReader* none = nullptr;
    EXPECT_EQ(e.call(none), e.failure) << e.name;
    EXPECT_TRUE(testrenderer::calls().empty()) << e.name;
    EXPECT_TRUE(host.log.empty()) << e.name;
  }
}

// On a handle with no publication open every export gives its empty value,
// and only those that need no Content item reach the renderer, with its own
// handle; the renderer answers 7.
TEST_F(Exports, HandleWithoutAPublicationGivesEmptyValues) {
  for (const char* function :
       {"setDrawOnlyThisColor", "setUseOnlyThisTextAlign", "setUseEpubEmbeddedFont",
        "setSearchContext", "clearSearchDatas", "getScrapText"})
    testrenderer::answer(function, [](const testrenderer::Call&) -> intptr_t { return 7; });
  for (const Export& e : exportTable()) {
    EpubReader* fresh = host.reader(false);
    const ZaveVevode* own = testrenderer::handles().back();
    testrenderer::clearCalls();
    std::string got = e.call(fresh);
    for (const testrenderer::Call& c : testrenderer::calls()) {
      EXPECT_TRUE(c.handle == own || std::string(e.name) == "new") << e.name;
      got += " " + (c.function == "new" || c.function == "free" ? c.function : c.str());
    }
    EXPECT_EQ(got, e.fresh) << e.name;
    EpubReader_free(&fresh);
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
  for (const Export& e : exportTable()) {
    EpubReader* r = host.reader(true);
    r->lock.lock();
    std::atomic<bool> returned{false};
    std::thread caller([&] {
      e.call(r);
      returned = true;
    });
    bool waited = false;
    while (!returned && !(waited = someoneWaits(r))) std::this_thread::yield();
    r->lock.unlock();
    caller.join();
    EXPECT_EQ(waited, e.locked) << e.name << (waited ? " waited" : " did not wait");
    EpubReader_free(&r);  // unless the free row did
  }
}

// Callbacks run under the lock on the caller's thread and may call locked
// exports there: the read callback while the publication opens and loads,
// the release callback on a delete, a renderer answer inside loadFont.
TEST_F(Locking, CallbacksReenterLockedExportsOnTheSameThread) {
  static EpubReader* handle;
  static std::vector<std::string> seen;
  seen.clear();
  EpubReaderHostOptions options = host.options();
  options.read = [](void* user, const char16_t* path, const uint8_t** data, uint32_t* size) {
    EpubReader_readMimeType(handle, bytes("m"), 1);
    EpubReader_draw(handle, 0, 0, 0, 0, 0);
    seen.push_back(u8(path) + (EpubReader_getSpine(handle) ? " spine" : ""));
    return Host::read(user, path, data, size);
  };
  options.release = [](void*, const char16_t* path) {
    seen.push_back(EpubReader_loadContent(handle, path, nullptr, nullptr) ? "again" : "not again");
  };
  handle = EpubReader_new(&options);
  testrenderer::answer("loadFont", [](const testrenderer::Call&) {
    return (EpubReader_changeClientSize(handle, 3), intptr_t{0});
  });
  ASSERT_NE(EpubReader_readContainer(handle, bytes(kContainer), length(kContainer)), nullptr);
  EXPECT_TRUE(EpubReader_loadAll(handle, nullptr, nullptr));
  EpubReader_deleteContent(handle, u"Text/ch2.xhtml");
  EpubReader_loadFont(handle, 1, 2, 3);
  EXPECT_EQ(seen, (std::vector<std::string>{
                      "OEBPS/content.opf", "OEBPS/toc.ncx spine", "OEBPS/Text/ch 1.xhtml spine",
                      "OEBPS/Text/ch2.xhtml spine", "OEBPS/Text/ch 1.xhtml spine",
                      "OEBPS/Text/ch2.xhtml spine", "again"}));
  EXPECT_EQ(testrenderer::callStrings("calcPageSize"),
            std::vector<std::string>{"calcPageSize(3, 1)"});
  EpubReader_free(&handle);
}

// Locked exports from three threads at once; the publication ends whole.
TEST_F(Locking, LockedExportsFromSeveralThreads) {
  testrenderer::setRecording(false);
  testrenderer::setPageCount(u"OEBPS/Text/ch 1.xhtml", 2);
  testrenderer::setPageCount(u"OEBPS/Text/ch2.xhtml", 3);
  EpubReader* r = host.reader(true);
  const char16_t* p = u"Text/ch2.xhtml";
  const auto repeat = [](auto body) {
    return std::thread([=] {
      for (int i = 0; i < 100; ++i) body(i);
    });
  };
  std::thread threads[] = {
      repeat([=](int) {
        EpubReader_loadAll(r, nullptr, nullptr);
        EpubReader_deleteContent(r, p);
        EpubReader_loadContent(r, p, nullptr, nullptr);
      }),
      repeat([=](int i) {
        EpubReader_changeFont(r, i, 0, 0, 0);
        EpubReader_changeContentClientSize(r, p, i);
      }),
      repeat([=](int i) {
        EpubReader_draw(r, i % 7, 1, 2, 3, 4);
        EpubReader_readMimeType(r, bytes("m"), 1);
      }),
  };
  for (std::thread& t : threads) t.join();
  EXPECT_TRUE(EpubReader_loadAll(r, nullptr, nullptr));
  EXPECT_EQ(EpubReader_getPageCount(r), 7);
  EpubReader_free(&r);
}

}  // namespace
}  // namespace epubtest
