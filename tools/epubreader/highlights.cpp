#include "highlights.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <system_error>

namespace epubreader {

using Json = nlohmann::ordered_json;

HighlightStore::HighlightStore(std::string file) : file_(std::move(file)) {
  if (file_.empty()) {
    writable_ = false;
    return;
  }
  std::ifstream in(file_, std::ios::binary);
  if (!in) return;
  const Json json = Json::parse(in, nullptr, false);
  writable_ = false;  // no writing back while reading
  bool good = json.is_array() && json.size() <= kMost;
  for (size_t i = 0; good && i < json.size(); ++i) {
    const Json& h = json[i];
    good = h.is_object() && h.value("from", Json()).is_number_unsigned() &&
           h.value("to", Json()).is_number_unsigned() && h.value("text", Json()).is_string() &&
           h["from"].get<uint64_t>() <= h["to"].get<uint64_t>() && h["to"] <= UINT32_MAX;
    if (good) put({h["from"].get<uint32_t>(), h["to"].get<uint32_t>(), h["text"]});
  }
  if (!good) {
    std::fprintf(stderr, "epubreader: warning: %s is not a list of highlights; it is left alone\n",
                 file_.c_str());
    list_.clear();
  }
  writable_ = good;
}

bool HighlightStore::put(const Highlight& h) {
  auto at = std::lower_bound(list_.begin(), list_.end(), h, [](const auto& a, const auto& b) {
    return a.from != b.from ? a.from < b.from : a.to < b.to;
  });
  if (at != list_.end() && at->from == h.from && at->to == h.to) {
    *at = h;
  } else {
    if (list_.size() >= kMost) return false;
    list_.insert(at, h);
  }
  save();
  return true;
}

bool HighlightStore::remove(uint32_t from, uint32_t to) {
  const size_t before = list_.size();
  std::erase_if(list_, [&](const Highlight& h) { return h.from == from && h.to == to; });
  if (list_.size() == before) return false;
  save();
  return true;
}

const Highlight* HighlightStore::find(uint32_t from, uint32_t to) const {
  for (const auto& h : list_)
    if (h.from == from && h.to == to) return &h;
  return nullptr;
}

// Written to a new file that then takes the old one's place, so a crash
// never leaves half a list.
void HighlightStore::save() {
  if (!writable_) return;
  Json json = Json::array();
  for (const auto& h : list_) json.push_back({{"from", h.from}, {"to", h.to}, {"text", h.text}});
  const std::string temporary = file_ + ".new";
  std::error_code ec;
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << json.dump(1, '\t', false, Json::error_handler_t::replace) << '\n';
    if (!out.flush()) ec = std::make_error_code(std::errc::io_error);
  }
  if (!ec) std::filesystem::rename(temporary, file_, ec);
  if (ec) {
    std::filesystem::remove(temporary, ec);
    std::fprintf(stderr, "epubreader: warning: cannot write %s; highlights are kept in memory\n",
                 file_.c_str());
    writable_ = false;
  }
}

}  // namespace epubreader
