// The recording test renderer. Built as libPendrel.so, it stands where a
// real renderer would: it logs every ZaveVevode_* call (function, renderer
// handle, path and every other argument in order) and answers from a script
// that the test sets. It can also call back through the trampolines it was
// given, like a real renderer loading a document.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "pendrel.h"

// The test-control functions leave the library beside the ZaveVevode_* ones.
#if defined(_WIN32)
#if defined(PENDREL_BUILDING)
#define TEST_RENDERER_API __declspec(dllexport)
#else
#define TEST_RENDERER_API __declspec(dllimport)
#endif
#else
#define TEST_RENDERER_API __attribute__((visibility("default")))
#endif

namespace testrenderer {

struct Call {
  std::string function;  // without the ZaveVevode_ prefix, e.g. "getPageLength"
  const ZaveVevode* handle = nullptr;
  bool hasPath = false;
  std::u16string path;
  std::vector<intptr_t> args;  // every argument after the path, in order

  // "getObjectIndex(OEBPS/a.xhtml, 3)": the handle left out.
  TEST_RENDERER_API std::string str() const;
};

// A scripted answer; its value is converted to the function's result type.
using Answer = std::function<intptr_t(const Call&)>;

// Forgets every call, answer and handle.
TEST_RENDERER_API void reset();
TEST_RENDERER_API std::vector<Call> calls();
// The calls as strings, optionally only those of one function.
TEST_RENDERER_API std::vector<std::string> callStrings(const std::string& function = {});
TEST_RENDERER_API void clearCalls();
// Stops (false) or resumes (true) the call log; answers are given either
// way. For long runs whose calls nobody reads (soak tests, benchmarks).
// reset() turns the log back on.
TEST_RENDERER_API void setRecording(bool on);

// Answers for `function` (name without prefix); unscripted calls answer 0.
TEST_RENDERER_API void answer(const std::string& function, Answer answer);
// Per-document helpers: getPageLength(path) and getObjectIndex(path, page).
TEST_RENDERER_API void setPageCount(const std::u16string& path, int32_t pages);
// getObjectIndex(path, p) answers indexes[p], and indexes.back() past the end.
TEST_RENDERER_API void setObjectIndexes(const std::u16string& path, std::vector<uint32_t> indexes);

// For benchmarks: while on and the call log is off, getPageLength and
// getObjectIndex answer straight from the tables of setPageCount and
// setObjectIndexes (a path without a table answers 0), bypassing answer().
// reset() turns it off.
TEST_RENDERER_API void setQuickTables(bool on);

// Renderer handles created and not yet freed, in creation order.
TEST_RENDERER_API std::vector<ZaveVevode*> handles();
// The options copied at ZaveVevode_new (the record itself is gone by then).
TEST_RENDERER_API ZaveVevodeOptions options(const ZaveVevode* handle);

// Calls through the trampolines the handle was given, with its context.
TEST_RENDERER_API bool callRead(const ZaveVevode* handle, const char16_t* path,
                                const uint8_t** bytes, uint32_t* length);
TEST_RENDERER_API bool callCallback1(const ZaveVevode* handle, intptr_t a, intptr_t b);
TEST_RENDERER_API bool callCallback2(const ZaveVevode* handle, intptr_t a, intptr_t b, intptr_t c);
TEST_RENDERER_API void callRelease(const ZaveVevode* handle, const char16_t* path);

TEST_RENDERER_API std::string utf8(const std::u16string& text);

}  // namespace testrenderer

// The same scripting for hosts written in C, which look these up by name
// (GetProcAddress, dlsym) in the library the engine loaded.
extern "C" {
TEST_RENDERER_API void TestRenderer_setPageCount(const char16_t* path, int32_t pages);
TEST_RENDERER_API void TestRenderer_setObjectIndexes(const char16_t* path, const uint32_t* indexes,
                                                     uint32_t count);
}
