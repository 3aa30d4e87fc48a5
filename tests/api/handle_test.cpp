// The Reader handle's life, the trampolines the renderer calls back through,
// the exports that only forward to the renderer, and the handle lock.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <thread>

#include "host_fixture.h"

namespace {

using epubtest::Host;
using epubtest::ReaderTest;
using testrenderer::Call;

TEST(Handle, FreeClearsTheVariableAndHandsTheRendererItsOwnHandleAddress) {
  Host host;
  testrenderer::reset();
  EpubReaderHostOptions options = host.options();
  EpubReader* reader = EpubReader_new(&options);
  ASSERT_NE(reader, nullptr);
  ZaveVevode* renderer = testrenderer::handles().at(0);

  EpubReader_free(&reader);
  EXPECT_EQ(reader, nullptr);
  std::vector<Call> calls = testrenderer::calls();
  ASSERT_EQ(calls.size(), 2u);  // new, free
  EXPECT_EQ(calls[1].function, "free");
  // The renderer was given an address that held its own handle.
  EXPECT_EQ(calls[1].handle, renderer);
  EXPECT_NE(calls[1].args.at(0), 0);
  EXPECT_TRUE(testrenderer::handles().empty());

  // Freeing again through the now-null variable does nothing.
  testrenderer::clearCalls();
  EpubReader_free(&reader);
  EpubReader_free(nullptr);
  EXPECT_TRUE(testrenderer::calls().empty());
  EXPECT_TRUE(host.log.empty());
}

TEST(Handle, NullOptionsGiveAHandleWhoseCallbacksAllFail) {
  testrenderer::reset();
  EpubReader* reader = EpubReader_new(nullptr);
  ASSERT_NE(reader, nullptr);
  const uint8_t* bytes = nullptr;
  uint32_t length = 7;
  EXPECT_FALSE(testrenderer::callRead(testrenderer::handles().at(0), u"a", &bytes, &length));
  EpubReader_free(&reader);
}

TEST_F(ReaderTest, FreshHandleHoldsNoPublication) {
  EXPECT_EQ(EpubReader_getPageCount(reader), 0);
  EXPECT_EQ(EpubReader_getPublicationMetadata(reader), nullptr);
  EXPECT_EQ(EpubReader_getSpine(reader), nullptr);
  EXPECT_EQ(EpubReader_getNavMap(reader), nullptr);
  EXPECT_EQ(EpubReader_getNcxDocTitle(reader), nullptr);
  EXPECT_EQ(EpubReader_getNcxDocAuthor(reader), nullptr);
  EXPECT_FALSE(EpubReader_loadAll(reader, nullptr, nullptr));
  EXPECT_TRUE(host.log.empty());
}

TEST_F(ReaderTest, TrampolinesReachTheHostWithItsUserDataOnlyWithAContext) {
  host.files[u"OEBPS/a.xhtml"] = "<html/>";
  ZaveVevodeOptions o = testrenderer::options(renderer);
  ASSERT_NE(o.context, nullptr);

  // With the session as context: the host callback runs and its result comes back.
  const uint8_t* bytes = nullptr;
  uint32_t length = 0;
  EXPECT_TRUE(o.read(o.context, u"OEBPS/a.xhtml", &bytes, &length));
  EXPECT_EQ(length, 7u);
  EXPECT_FALSE(o.read(o.context, u"missing", &bytes, &length));
  EXPECT_TRUE(o.callback1(o.context, 4, 4));
  EXPECT_FALSE(o.callback1(o.context, 4, 5));
  EXPECT_TRUE(o.callback2(o.context, 1, 2, 3));
  EXPECT_FALSE(o.callback2(o.context, 1, 2, 4));
  o.release(o.context, u"OEBPS/a.xhtml");
  EXPECT_EQ(host.log, (std::vector<std::string>{"read(OEBPS/a.xhtml)", "read(missing)", "cb1(4, 4)",
                                                "cb1(4, 5)", "cb2(1, 2, 3)", "cb2(1, 2, 4)",
                                                "release(OEBPS/a.xhtml)"}));

  // With a null context: false (or nothing) and the host never hears of it.
  host.log.clear();
  EXPECT_FALSE(o.read(nullptr, u"OEBPS/a.xhtml", &bytes, &length));
  EXPECT_FALSE(o.callback1(nullptr, 4, 4));
  EXPECT_FALSE(o.callback2(nullptr, 1, 2, 3));
  o.release(nullptr, u"OEBPS/a.xhtml");
  EXPECT_TRUE(host.log.empty());
}

TEST(Handle, RendererSettingsArriveWithTheirWidths) {
  Host host;
  testrenderer::reset();
  EpubReaderHostOptions options = host.options();
  EpubReaderRendererSettings& s = options.settings;
  s.setting1 = -1;
  s.setting2 = 0x7FFFFFFF;
  s.setting3 = 3;
  s.setting4 = 4;
  s.setting5 = 0xAB;
  s.setting6 = -6;
  s.setting7 = 0xFF;
  s.setting8 = 8;
  s.setting9 = 9;
  s.setting10 = 10;
  s.setting11 = 1;
  s.setting12 = static_cast<intptr_t>(reinterpret_cast<uintptr_t>(&host));  // a pointer fits
  s.setting13 = 0x80;
  EpubReader* reader = EpubReader_new(&options);
  ZaveVevodeOptions o = testrenderer::options(testrenderer::handles().at(0));
  const ZaveVevodeSettings& got = o.settings;
  EXPECT_EQ(got.setting1, -1);
  EXPECT_EQ(got.setting2, 0x7FFFFFFF);
  EXPECT_EQ(got.setting3, 3);
  EXPECT_EQ(got.setting4, 4);
  EXPECT_EQ(got.setting5, 0xAB);
  EXPECT_EQ(got.setting6, -6);
  EXPECT_EQ(got.setting7, 0xFF);
  EXPECT_EQ(got.setting8, 8);
  EXPECT_EQ(got.setting9, 9);
  EXPECT_EQ(got.setting10, 10);
  EXPECT_EQ(got.setting11, 1);
  EXPECT_EQ(got.setting12, s.setting12);
  EXPECT_EQ(got.setting13, 0x80);
  static_assert(sizeof(got.setting5) == 1 && sizeof(got.setting7) == 1 &&
                sizeof(got.setting11) == 1 && sizeof(got.setting13) == 1);
  EpubReader_free(&reader);
}

TEST_F(ReaderTest, ForwardingExportsHandTheRendererItsOwnHandleAndReturnItsResult) {
  struct Row {
    const char* function;
    std::function<intptr_t()> call;  // result of the export (0 for loadFont)
    std::string expectedCall;
  };
  testrenderer::answer("setDrawOnlyThisColor", [](const Call& c) { return c.args[0] + 1; });
  testrenderer::answer("setUseOnlyThisTextAlign", [](const Call&) { return -7; });
  testrenderer::answer("setUseEpubEmbeddedFont", [](const Call&) { return 1; });
  testrenderer::answer("setSearchContext", [](const Call& c) { return c.args[0] * 2; });
  testrenderer::answer("clearSearchDatas", [](const Call&) { return 42; });
  const std::vector<Row> rows = {
      {"loadFont",
       [&] {
         EpubReader_loadFont(reader, 7, -8, 9);
         return intptr_t{0};
       },
       "loadFont(7, -8, 9)"},
      {"setDrawOnlyThisColor", [&] { return EpubReader_setDrawOnlyThisColor(reader, 0xFF00FF); },
       "setDrawOnlyThisColor(16711935)"},
      {"setUseOnlyThisTextAlign", [&] { return EpubReader_setUseOnlyThisTextAlign(reader, 2); },
       "setUseOnlyThisTextAlign(2)"},
      {"setUseEpubEmbeddedFont", [&] { return EpubReader_setUseEpubEmbeddedFont(reader, 0); },
       "setUseEpubEmbeddedFont(0)"},
      {"setSearchContext", [&] { return EpubReader_setSearchContext(reader, u"word", 21); },
       "setSearchContext(word, 21)"},
      {"clearSearchDatas", [&] { return EpubReader_clearSearchDatas(reader); },
       "clearSearchDatas()"},
  };
  const std::vector<intptr_t> expected = {0, 0xFF00FF + 1, -7, 1, 42, 42};
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].function);
    testrenderer::clearCalls();
    EXPECT_EQ(rows[i].call(), expected[i]);
    std::vector<Call> calls = testrenderer::calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].handle, renderer);
    EXPECT_NE(static_cast<const void*>(calls[0].handle), static_cast<const void*>(reader));
    EXPECT_EQ(calls[0].str(), rows[i].expectedCall);
  }
  EXPECT_TRUE(host.log.empty());
}

// A renderer answer that re-enters a locked export on the same thread: the
// lock is recursive, so this must not deadlock.
TEST_F(ReaderTest, LockedExportReenteredFromACallbackOnTheSameThread) {
  bool inner = false;
  testrenderer::answer("loadFont", [&](const Call&) {
    inner = EpubReader_readMimeType(reader, reinterpret_cast<const uint8_t*>("x"), 1);
    EpubReader_changeClientSize(reader, 3);
    return 0;
  });
  auto done = std::async(std::launch::async, [&] { EpubReader_loadFont(reader, 1, 2, 3); });
  ASSERT_EQ(done.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_TRUE(inner);
}

// While one thread is inside a locked export, another thread's locked export
// waits for it, and an unlocked export does not.
TEST_F(ReaderTest, SecondThreadWaitsForLockedExportsOnly) {
  std::mutex m;
  std::condition_variable cv;
  bool entered = false, release = false;
  testrenderer::answer("loadFont", [&](const Call&) {
    std::unique_lock lock(m);
    entered = true;
    cv.notify_all();
    cv.wait(lock, [&] { return release; });
    return 0;
  });
  std::thread holder([&] { EpubReader_loadFont(reader, 1, 2, 3); });
  {
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return entered; });
  }

  // Unlocked: answers at once although the lock is held.
  auto unlocked = std::async(std::launch::async, [&] {
    return EpubReader_setDrawOnlyThisColor(reader, 1) + EpubReader_getPageCount(reader);
  });
  EXPECT_EQ(unlocked.wait_for(std::chrono::seconds(10)), std::future_status::ready);

  // Locked: still waiting after a while.
  std::atomic<bool> finished{false};
  std::thread waiter([&] {
    EpubReader_readMimeType(reader, reinterpret_cast<const uint8_t*>("m"), 1);
    finished = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(finished.load());

  {
    std::lock_guard lock(m);
    release = true;
  }
  cv.notify_all();
  holder.join();
  waiter.join();
  EXPECT_TRUE(finished.load());
}

}  // namespace
