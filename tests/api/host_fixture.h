// A host for tests of the exports: files served from memory by the read
// callback, every host callback logged, and the test renderer reset.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "epubreader.h"
#include "test_renderer.h"

namespace epubtest {

struct Host {
  std::map<std::u16string, std::string> files;
  std::vector<std::string> log;  // "read(path)", "release(path)", "cb1(a, b)", ...
  std::mutex mutex;

  void note(std::string entry) {
    std::lock_guard lock(mutex);
    log.push_back(std::move(entry));
  }

  static bool read(void* user, const char16_t* path, const uint8_t** bytes, uint32_t* length) {
    auto* host = static_cast<Host*>(user);
    std::u16string p = path ? path : u"";
    host->note("read(" + testrenderer::utf8(p) + ")");
    auto it = host->files.find(p);
    if (it == host->files.end()) return false;
    *bytes = reinterpret_cast<const uint8_t*>(it->second.data());
    *length = static_cast<uint32_t>(it->second.size());
    return true;
  }
  static bool callback1(void* user, intptr_t a, intptr_t b) {
    static_cast<Host*>(user)->note("cb1(" + std::to_string(a) + ", " + std::to_string(b) + ")");
    return a == b;
  }
  static bool callback2(void* user, intptr_t a, intptr_t b, intptr_t c) {
    static_cast<Host*>(user)->note("cb2(" + std::to_string(a) + ", " + std::to_string(b) + ", " +
                                   std::to_string(c) + ")");
    return a + b == c;
  }
  static void release(void* user, const char16_t* path) {
    static_cast<Host*>(user)->note("release(" + testrenderer::utf8(path ? path : u"") + ")");
  }

  EpubReaderHostOptions options() {
    EpubReaderHostOptions o{};
    o.read = read;
    o.rendererCallback1 = callback1;
    o.rendererCallback2 = callback2;
    o.release = release;
    o.userData = this;
    return o;
  }
};

class ReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testrenderer::reset();
    EpubReaderHostOptions o = host.options();
    reader = EpubReader_new(&o);
    ASSERT_NE(reader, nullptr);
    ASSERT_EQ(testrenderer::handles().size(), 1u);
    renderer = testrenderer::handles()[0];
    testrenderer::clearCalls();
  }
  void TearDown() override {
    EpubReader_free(&reader);
    testrenderer::reset();
  }

  Host host;
  EpubReader* reader = nullptr;
  ZaveVevode* renderer = nullptr;
};

}  // namespace epubtest
