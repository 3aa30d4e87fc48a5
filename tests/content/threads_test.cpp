// Several threads on one handle, as a host may use it: locked exports racing
// each other, and EpubReader_free while another thread is inside a locked
// export. Run under ThreadSanitizer by the tsan preset, which reports any
// access the handle lock fails to order.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <thread>

#include "content_fixture.h"

namespace contenttest {
namespace {

using namespace std::chrono_literals;

class Threads : public ContentTest {
 protected:
  void SetUp() override {
    ContentTest::SetUp();
    open({"a.xhtml", "b.xhtml", "c.xhtml"});
    script("a.xhtml", 2, {0, 3, 6});
    script("b.xhtml", 1, {0, 4});
    script("c.xhtml", 3, {0, 1, 2, 3});
    testrenderer::setRecording(false);
  }
};

// Locked exports from four threads at once: loads, deletes, layout changes,
// drawing and the host records. Each thread's calls see a consistent table,
// and the publication ends whole.
TEST_F(Threads, LockedExportsFromSeveralThreadsStayConsistent) {
  constexpr int kRounds = 150;
  std::atomic<int> go{0};
  auto start = [&] {
    ++go;
    while (go.load() < 4) std::this_thread::yield();
  };
  std::thread loader([&] {
    start();
    for (int i = 0; i < kRounds; ++i) {
      EXPECT_TRUE(EpubReader_loadAll(reader, nullptr, nullptr));
      EpubReader_deleteContent(reader, u"b.xhtml");
      EpubReader_loadContent(reader, u"b.xhtml", nullptr, nullptr);
    }
  });
  std::thread layout([&] {
    start();
    for (int i = 0; i < kRounds; ++i) {
      EpubReader_changeFont(reader, i, 0, 0, 0);
      EpubReader_changeContentClientSize(reader, u"c.xhtml", i);
      EpubReader_loadFont(reader, 1, 2, 3);
    }
  });
  std::thread drawer([&] {
    start();
    for (int i = 0; i < kRounds; ++i) EpubReader_draw(reader, i % 7, 1, 2, 3, 4);
  });
  std::thread records([&] {
    start();
    for (int i = 0; i < kRounds; ++i) {
      const EpubReaderSpineList* spine = EpubReader_getSpine(reader);
      ASSERT_NE(spine, nullptr);
      EXPECT_EQ(spine->count, 3u);
      EXPECT_NE(EpubReader_getNcxDocTitle(reader), nullptr);
      EpubReader_readMimeType(reader, reinterpret_cast<const uint8_t*>("m"), 1);
    }
  });
  for (std::thread* t : {&loader, &layout, &drawer, &records}) t->join();
  ASSERT_TRUE(EpubReader_loadAll(reader, nullptr, nullptr));
  EXPECT_EQ(EpubReader_getPageCount(reader), 6);
}

// EpubReader_free takes the lock: while another thread is inside a locked
// export, the free waits for it to return, and only then frees the handle.
TEST_F(Threads, FreeWaitsForTheThreadInsideALockedExport) {
  std::mutex m;
  std::condition_variable cv;
  bool entered = false, open = false;
  testrenderer::answer("loadFont", [&](const Call&) -> intptr_t {
    std::unique_lock lock(m);
    entered = true;
    cv.notify_all();
    cv.wait(lock, [&] { return open; });
    return 0;
  });
  std::atomic<bool> inside{false}, freed{false};
  std::thread holder([&] {
    inside = true;
    EpubReader_loadFont(reader, 1, 2, 3);
    inside = false;
  });
  {
    std::unique_lock lock(m);
    ASSERT_TRUE(cv.wait_for(lock, 10s, [&] { return entered; }));
  }
  EpubReader* handle = reader;
  reader = nullptr;  // the fixture must not free it again
  std::thread freer([&] {
    EpubReader_free(&handle);
    freed = true;
  });
  std::this_thread::sleep_for(200ms);
  EXPECT_FALSE(freed.load());
  EXPECT_TRUE(inside.load());
  {
    std::lock_guard lock(m);
    open = true;
  }
  cv.notify_all();
  holder.join();
  freer.join();
  EXPECT_TRUE(freed.load());
  EXPECT_EQ(handle, nullptr);
  EXPECT_TRUE(testrenderer::handles().empty());
}

}  // namespace
}  // namespace contenttest
