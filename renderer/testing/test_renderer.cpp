#include "test_renderer.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>

#include "utf.h"

struct ZaveVevode {
  ZaveVevodeOptions options;
};

namespace testrenderer {
namespace {

// Hashes by view, so that a lookup needs no string of its own.
struct ViewHash {
  using is_transparent = void;
  size_t operator()(std::u16string_view text) const {
    return std::hash<std::u16string_view>{}(text);
  }
};
template <class Value>
using QuickTable = std::unordered_map<std::u16string, Value, ViewHash, std::equal_to<>>;

struct State {
  std::recursive_mutex mutex;
  std::vector<Call> calls;
  std::map<std::string, Answer> answers;
  std::map<std::u16string, int32_t> pageCounts;
  std::map<std::u16string, std::vector<uint32_t>> objectIndexes;
  std::vector<std::unique_ptr<ZaveVevode>> handles;
  bool recording = true;
  bool quick = false;
  QuickTable<int32_t> quickPageCounts;
  QuickTable<std::vector<uint32_t>> quickObjectIndexes;
};

State& state() {
  static State s;
  return s;
}

ZaveVevode* findHandle(const ZaveVevode* handle) {
  for (auto& h : state().handles)
    if (h.get() == handle) return h.get();
  return nullptr;
}

// Logs the call, then asks the script. The lock is not held while the
// script runs, so an answer may block or call back into the engine.
intptr_t record(const char* function, const ZaveVevode* handle, const char16_t* path, bool hasPath,
                std::vector<intptr_t> args) {
  Call call;
  call.function = function;
  call.handle = handle;
  call.hasPath = hasPath;
  if (path) call.path = path;
  call.args = std::move(args);
  Answer answer;
  {
    std::lock_guard lock(state().mutex);
    if (state().recording) state().calls.push_back(call);
    auto it = state().answers.find(function);
    if (it != state().answers.end()) answer = it->second;
  }
  return answer ? answer(call) : 0;
}

intptr_t withPath(const char* function, const ZaveVevode* r, const char16_t* path,
                  std::vector<intptr_t> args = {}) {
  return record(function, r, path, true, std::move(args));
}

intptr_t pointer(const void* p) { return reinterpret_cast<intptr_t>(p); }

// Positions are recorded as intptr_t, which is 32 bits wide in 32-bit
// builds: the conversion must be spelled out there.
intptr_t position(uint32_t p) { return static_cast<intptr_t>(p); }

}  // namespace

std::string utf8(const std::u16string& text) { return epub::utf::toUtf8(text); }

std::string Call::str() const {
  std::string out = function + "(";
  bool first = true;
  if (hasPath) {
    out += utf8(path);
    first = false;
  }
  for (intptr_t a : args) {
    if (!first) out += ", ";
    out += std::to_string(a);
    first = false;
  }
  return out + ")";
}

void reset() {
  std::lock_guard lock(state().mutex);
  state().calls.clear();
  state().answers.clear();
  state().pageCounts.clear();
  state().objectIndexes.clear();
  state().handles.clear();
  state().recording = true;
  state().quick = false;
  state().quickPageCounts.clear();
  state().quickObjectIndexes.clear();
}

std::vector<Call> calls() {
  std::lock_guard lock(state().mutex);
  return state().calls;
}

std::vector<std::string> callStrings(const std::string& function) {
  std::vector<std::string> out;
  for (const Call& c : calls())
    if (function.empty() || c.function == function) out.push_back(c.str());
  return out;
}

void clearCalls() {
  std::lock_guard lock(state().mutex);
  state().calls.clear();
}

void setRecording(bool on) {
  std::lock_guard lock(state().mutex);
  state().recording = on;
}

void answer(const std::string& function, Answer a) {
  std::lock_guard lock(state().mutex);
  state().answers[function] = std::move(a);
}

void setPageCount(const std::u16string& path, int32_t pages) {
  std::lock_guard lock(state().mutex);
  state().pageCounts[path] = pages;
  state().quickPageCounts[path] = pages;
  state().answers["getPageLength"] = [](const Call& c) -> intptr_t {
    std::lock_guard inner(state().mutex);
    auto it = state().pageCounts.find(c.path);
    return it == state().pageCounts.end() ? 0 : it->second;
  };
}

void setObjectIndexes(const std::u16string& path, std::vector<uint32_t> indexes) {
  std::lock_guard lock(state().mutex);
  state().quickObjectIndexes[path] = indexes;
  state().objectIndexes[path] = std::move(indexes);
  state().answers["getObjectIndex"] = [](const Call& c) -> intptr_t {
    std::lock_guard inner(state().mutex);
    auto it = state().objectIndexes.find(c.path);
    if (it == state().objectIndexes.end() || it->second.empty()) return 0;
    size_t page = c.args.empty() || c.args[0] < 0 ? 0 : static_cast<size_t>(c.args[0]);
    return it->second[std::min(page, it->second.size() - 1)];
  };
}

void setQuickTables(bool on) {
  std::lock_guard lock(state().mutex);
  state().quick = on;
}

namespace {

// The quick answers: false when quick tables are not in use.
bool quickPageLength(const char16_t* path, int32_t* pages) {
  std::lock_guard lock(state().mutex);
  if (!state().quick || state().recording) return false;
  auto it = state().quickPageCounts.find(std::u16string_view(path ? path : u""));
  *pages = it == state().quickPageCounts.end() ? 0 : it->second;
  return true;
}

bool quickObjectIndex(const char16_t* path, int32_t page, uint32_t* index) {
  std::lock_guard lock(state().mutex);
  if (!state().quick || state().recording) return false;
  auto it = state().quickObjectIndexes.find(std::u16string_view(path ? path : u""));
  if (it == state().quickObjectIndexes.end() || it->second.empty()) {
    *index = 0;
  } else {
    const size_t at = page < 0 ? 0 : static_cast<size_t>(page);
    *index = it->second[std::min(at, it->second.size() - 1)];
  }
  return true;
}

}  // namespace

std::vector<ZaveVevode*> handles() {
  std::lock_guard lock(state().mutex);
  std::vector<ZaveVevode*> out;
  for (auto& h : state().handles) out.push_back(h.get());
  return out;
}

ZaveVevodeOptions options(const ZaveVevode* handle) {
  std::lock_guard lock(state().mutex);
  ZaveVevode* h = findHandle(handle);
  return h ? h->options : ZaveVevodeOptions{};
}

bool callRead(const ZaveVevode* handle, const char16_t* path, const uint8_t** bytes,
              uint32_t* length) {
  ZaveVevodeOptions o = options(handle);
  return o.read && o.read(o.context, path, bytes, length);
}

bool callCallback1(const ZaveVevode* handle, intptr_t a, intptr_t b) {
  ZaveVevodeOptions o = options(handle);
  return o.callback1 && o.callback1(o.context, a, b);
}

bool callCallback2(const ZaveVevode* handle, intptr_t a, intptr_t b, intptr_t c) {
  ZaveVevodeOptions o = options(handle);
  return o.callback2 && o.callback2(o.context, a, b, c);
}

void callRelease(const ZaveVevode* handle, const char16_t* path) {
  ZaveVevodeOptions o = options(handle);
  if (o.release) o.release(o.context, path);
}

}  // namespace testrenderer

using testrenderer::pointer;
using testrenderer::position;
using testrenderer::record;
using testrenderer::withPath;

extern "C" {

ZaveVevode* ZaveVevode_new(const ZaveVevodeOptions* options) {
  auto handle = std::make_unique<ZaveVevode>();
  if (options) handle->options = *options;
  ZaveVevode* raw = handle.get();
  // Logged before the handle is registered: when memory runs out while
  // logging, the handle is released rather than left behind in the list.
  record("new", raw, nullptr, false, {pointer(options)});
  {
    std::lock_guard lock(testrenderer::state().mutex);
    testrenderer::state().handles.push_back(std::move(handle));
  }
  return raw;
}

void ZaveVevode_free(ZaveVevode** renderer) {
  record("free", renderer ? *renderer : nullptr, nullptr, false, {pointer(renderer)});
  if (!renderer || !*renderer) return;
  std::lock_guard lock(testrenderer::state().mutex);
  auto& hs = testrenderer::state().handles;
  hs.erase(std::remove_if(hs.begin(), hs.end(), [&](auto& h) { return h.get() == *renderer; }),
           hs.end());
  *renderer = nullptr;
}

bool ZaveVevode_xhtml(ZaveVevode* r, const char16_t* path, const uint8_t* bytes, uint32_t length,
                      ZaveVevodeProgressCallback progress, void* context) {
  return withPath("xhtml", r, path,
                  {pointer(bytes), static_cast<intptr_t>(length),
                   reinterpret_cast<intptr_t>(progress), pointer(context)}) != 0;
}

int32_t ZaveVevode_getPageLength(ZaveVevode* r, const char16_t* path) {
  if (int32_t pages; testrenderer::quickPageLength(path, &pages)) return pages;
  return static_cast<int32_t>(withPath("getPageLength", r, path));
}

void ZaveVevode_deleteXhtml(ZaveVevode* r, const char16_t* path) {
  withPath("deleteXhtml", r, path);
}

void ZaveVevode_changeFont(ZaveVevode* r, intptr_t a, intptr_t b, intptr_t c, uint8_t d,
                           int32_t allDocuments) {
  record("changeFont", r, nullptr, false, {a, b, c, d, allDocuments});
}

void ZaveVevode_calcPageSize(ZaveVevode* r, intptr_t size, int32_t allDocuments) {
  record("calcPageSize", r, nullptr, false, {size, allDocuments});
}

void ZaveVevode_loadFont(ZaveVevode* r, intptr_t a, intptr_t b, intptr_t c) {
  record("loadFont", r, nullptr, false, {a, b, c});
}

void ZaveVevode_draw(ZaveVevode* r, const char16_t* path, int32_t page, intptr_t a, intptr_t b,
                     intptr_t c, intptr_t d) {
  withPath("draw", r, path, {page, a, b, c, d});
}

int32_t ZaveVevode_getLink(ZaveVevode* r, const char16_t* path, intptr_t value) {
  return static_cast<int32_t>(withPath("getLink", r, path, {value}));
}

const char16_t* ZaveVevode_getFirstStringPage(ZaveVevode* r, const char16_t* path, int32_t page) {
  return reinterpret_cast<const char16_t*>(withPath("getFirstStringPage", r, path, {page}));
}

uint32_t ZaveVevode_getObjectIndex(ZaveVevode* r, const char16_t* path, int32_t page) {
  if (uint32_t index; testrenderer::quickObjectIndex(path, page, &index)) return index;
  return static_cast<uint32_t>(withPath("getObjectIndex", r, path, {page}));
}

uint32_t ZaveVevode_getObjectCount(ZaveVevode* r, const char16_t* path, int32_t page) {
  return static_cast<uint32_t>(withPath("getObjectCount", r, path, {page}));
}

uint32_t ZaveVevode_getObjectIndexUTF8(ZaveVevode* r, const char16_t* path, int32_t page) {
  return static_cast<uint32_t>(withPath("getObjectIndexUTF8", r, path, {page}));
}

uint32_t ZaveVevode_getObjectCountUTF8(ZaveVevode* r, const char16_t* path, int32_t page) {
  return static_cast<uint32_t>(withPath("getObjectCountUTF8", r, path, {page}));
}

intptr_t ZaveVevode_getObjectType(ZaveVevode* r, const char16_t* path, int32_t page,
                                  intptr_t value) {
  return withPath("getObjectType", r, path, {page, value});
}

const char16_t* ZaveVevode_getHref(ZaveVevode* r, const char16_t* path, int32_t page,
                                   intptr_t value) {
  return reinterpret_cast<const char16_t*>(withPath("getHref", r, path, {page, value}));
}

intptr_t ZaveVevode_getImage(ZaveVevode* r, const char16_t* path, int32_t page, intptr_t value) {
  return withPath("getImage", r, path, {page, value});
}

bool ZaveVevode_isAnchor(ZaveVevode* r, const char16_t* path, int32_t page, intptr_t value) {
  return withPath("isAnchor", r, path, {page, value}) != 0;
}

bool ZaveVevode_getObjectInfo(ZaveVevode* r, const char16_t* path, int32_t page, intptr_t a,
                              void* record, intptr_t b) {
  return withPath("getObjectInfo", r, path, {page, a, pointer(record), b}) != 0;
}

void ZaveVevode_addScrap(ZaveVevode* r, const char16_t* path, uint32_t start, uint32_t end,
                         intptr_t a, intptr_t b) {
  withPath("addScrap", r, path, {position(start), position(end), a, b});
}

void ZaveVevode_modifyScrap(ZaveVevode* r, const char16_t* path, uint32_t start, uint32_t end,
                            intptr_t a, intptr_t b) {
  withPath("modifyScrap", r, path, {position(start), position(end), a, b});
}

void ZaveVevode_removeScrap(ZaveVevode* r, const char16_t* path, uint32_t start, uint32_t end) {
  withPath("removeScrap", r, path, {position(start), position(end)});
}

const char16_t* ZaveVevode_getScrapText(ZaveVevode* r, const char16_t* path, uint32_t start,
                                        uint32_t end) {
  return reinterpret_cast<const char16_t*>(
      withPath("getScrapText", r, path, {position(start), position(end)}));
}

void ZaveVevode_clearScrap(ZaveVevode* r, const char16_t* path) { withPath("clearScrap", r, path); }

void ZaveVevode_drawSelectionBox(ZaveVevode* r, const char16_t* path, intptr_t a, intptr_t b,
                                 uint32_t start, uint32_t end, intptr_t c, intptr_t d) {
  withPath("drawSelectionBox", r, path, {a, b, position(start), position(end), c, d});
}

int32_t ZaveVevode_search(ZaveVevode* r, const char16_t* path, const uint8_t* bytes,
                          uint32_t length, intptr_t a, intptr_t b, intptr_t c) {
  return static_cast<int32_t>(
      withPath("search", r, path, {pointer(bytes), static_cast<intptr_t>(length), a, b, c}));
}

void ZaveVevode_setSearchDrawItem(ZaveVevode* r, const char16_t* path, intptr_t a, intptr_t b) {
  withPath("setSearchDrawItem", r, path, {a, b});
}

intptr_t ZaveVevode_setDrawOnlyThisColor(ZaveVevode* r, intptr_t color) {
  return record("setDrawOnlyThisColor", r, nullptr, false, {color});
}

intptr_t ZaveVevode_setUseOnlyThisTextAlign(ZaveVevode* r, intptr_t align) {
  return record("setUseOnlyThisTextAlign", r, nullptr, false, {align});
}

intptr_t ZaveVevode_setUseEpubEmbeddedFont(ZaveVevode* r, intptr_t use) {
  return record("setUseEpubEmbeddedFont", r, nullptr, false, {use});
}

intptr_t ZaveVevode_setSearchContext(ZaveVevode* r, const char16_t* text, intptr_t flags) {
  return record("setSearchContext", r, text, text != nullptr, {flags});
}

intptr_t ZaveVevode_clearSearchDatas(ZaveVevode* r) {
  return record("clearSearchDatas", r, nullptr, false, {});
}

}  // extern "C"

void TestRenderer_setPageCount(const char16_t* path, int32_t pages) {
  testrenderer::setPageCount(path ? path : u"", pages);
}

void TestRenderer_setObjectIndexes(const char16_t* path, const uint32_t* indexes, uint32_t count) {
  std::vector<uint32_t> table;
  if (indexes) table.assign(indexes, indexes + count);
  testrenderer::setObjectIndexes(path ? path : u"", std::move(table));
}
