#include "package/paths.h"

#include <algorithm>
#include <climits>
#include <string>

#include "base/win32_api.h"
#include "utf.h"

namespace epub::package {

void setPackageLocation(PackageLocation& location, std::u16string_view fullPath) {
  location.opfPath.assign(fullPath);
  const size_t slash = fullPath.rfind(u'/');
  if (slash == std::u16string_view::npos) {
    location.opfDirectory.clear();
  } else {
    location.opfDirectory.assign(fullPath.substr(0, slash + 1));
  }
}

namespace {

// Calls `each` with every non-empty segment of a "/"-separated path, in order.
template <class Each>
void forEachSegment(std::u16string_view path, Each&& each) {
  size_t i = 0;
  while (i < path.size()) {
    while (i < path.size() && path[i] == u'/') ++i;
    const size_t start = i;
    while (i < path.size() && path[i] != u'/') ++i;
    if (i > start) each(path.substr(start, i - start));
  }
}

}  // namespace

std::vector<std::u16string_view> splitPath(std::u16string_view path) {
  std::vector<std::u16string_view> segments;
  forEachSegment(path, [&](std::u16string_view s) { segments.push_back(s); });
  return segments;
}

namespace {

// The segments of a path being resolved: the first sixteen in place, so the
// paths of a long spine cost only their results, more on the heap.
class SegmentStack {
 public:
  size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }
  std::u16string_view operator[](size_t i) const noexcept { return data_[i]; }
  void pop_back() noexcept { --size_; }
  void push_back(std::u16string_view segment) {
    if (size_ == capacity_) grow();
    data_[size_++] = segment;
  }

 private:
  void grow() {
    std::vector<std::u16string_view> larger(capacity_ * 2);
    std::copy(data_, data_ + size_, larger.begin());
    heap_.swap(larger);
    data_ = heap_.data();
    capacity_ = heap_.size();
  }

  static constexpr size_t kInPlace = 16;
  std::u16string_view inPlace_[kInPlace];
  std::vector<std::u16string_view> heap_;
  std::u16string_view* data_ = inPlace_;
  size_t size_ = 0;
  size_t capacity_ = kInPlace;
};

}  // namespace

std::u16string resolvePath(std::u16string_view base, std::u16string_view href) {
  // A leading "/" names a path from the container root, taken as written.
  if (!href.empty() && href.front() == u'/') return std::u16string(href.substr(1));

  // The base's own "." and ".." are not folded: they stay ordinary segments.
  SegmentStack work;
  forEachSegment(base, [&](std::u16string_view s) { work.push_back(s); });
  size_t i = 0;  // position of the href's segment among its non-empty ones
  forEachSegment(href, [&](std::u16string_view s) {
    const size_t index = i++;
    if (s.size() <= 2 && s[0] == u'.') {
      if (s.size() == 1) return;
      if (s[1] == u'.') {
        if (!work.empty()) work.pop_back();  // ".." above the root is dropped
        return;
      }
    }
    // A segment equal to the base's segment at the same position is taken
    // as already present. This lets an href that repeats the OPF folder from
    // the root (OEBPS/x.xhtml beside OEBPS/content.opf) name the same file as
    // the relative one; it is positional, so it applies wherever it matches.
    if (work.size() > index && work[index] == s) return;
    work.push_back(s);
  });

  size_t total = work.empty() ? 0 : work.size() - 1;
  for (size_t k = 0; k < work.size(); ++k) total += work[k].size();
  std::u16string result(total, u'\0');
  char16_t* out = result.data();
  for (size_t k = 0; k < work.size(); ++k) {
    if (k > 0) *out++ = u'/';
    out = std::copy(work[k].begin(), work[k].end(), out);
  }
  return result;
}

namespace {

int hexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

using epub::utf::appendUtf16;
using epub::utf::appendUtf8;

// UTF-8 to UTF-16. Every maximal subpart of an ill-formed sequence (a stray
// continuation byte, a lead byte without enough continuations, an overlong
// form, a surrogate, a value above U+10FFFF) becomes one U+FFFD, the
// replacement practice recommended by Unicode and used by web browsers, so a
// bad byte never swallows the valid characters after it.
std::u16string decodeUtf8(const std::string& bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  const size_t n = bytes.size();
  size_t i = 0;
  while (i < n) {
    const auto b = static_cast<uint8_t>(bytes[i]);
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    size_t need = 0;
    char32_t c = 0;
    // Bounds of the first continuation byte exclude overlong forms,
    // surrogates and values above U+10FFFF.
    uint8_t low = 0x80, high = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
      need = 1, c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      need = 2, c = b & 0x0F;
      if (b == 0xE0) low = 0xA0;
      if (b == 0xED) high = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      need = 3, c = b & 0x07;
      if (b == 0xF0) low = 0x90;
      if (b == 0xF4) high = 0x8F;
    } else {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    size_t j = i + 1;
    size_t got = 0;
    while (got < need && j < n) {
      const auto t = static_cast<uint8_t>(bytes[j]);
      const uint8_t lo = got == 0 ? low : 0x80;
      const uint8_t hi = got == 0 ? high : 0xBF;
      if (t < lo || t > hi) break;
      c = (c << 6) | (t & 0x3F);
      ++got;
      ++j;
    }
    if (got == need) {
      appendUtf16(out, c);
    } else {
      out.push_back(0xFFFD);
    }
    i = j;
  }
  return out;
}

}  // namespace

std::u16string decodeHref(std::u16string_view href) {
  if (href.find(u'%') == std::u16string_view::npos) return std::u16string(href);

  std::string bytes;
  bytes.reserve(href.size());
  const size_t n = href.size();
  for (size_t i = 0; i < n; ++i) {
    const char16_t c = href[i];
    if (c == u'%') {
      const int hi = i + 2 < n ? hexValue(href[i + 1]) : -1;
      const int lo = hi >= 0 ? hexValue(href[i + 2]) : -1;
      if (lo >= 0) {
        bytes.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
      } else {
        bytes.push_back('%');  // only the "%" is consumed
      }
    } else if (c == u'+') {
      bytes.push_back(' ');
    } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && href[i + 1] >= 0xDC00 &&
               href[i + 1] <= 0xDFFF) {
      appendUtf8(bytes, 0x10000 + ((char32_t(c) - 0xD800) << 10) + (href[i + 1] - 0xDC00));
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      appendUtf8(bytes, 0xFFFD);  // a lone surrogate has no UTF-8 form
    } else {
      appendUtf8(bytes, c);
    }
  }
  // An escaped zero byte (%00) ends the href, as it would end a C string.
  const size_t zero = bytes.find('\0');
  if (zero != std::string::npos) bytes.resize(zero);
  if (bytes.empty()) return std::u16string();
  // Mostly every byte is ASCII, which reads back unit for unit.
  if (std::all_of(bytes.begin(), bytes.end(), [](char b) { return (b & 0x80) == 0; })) {
    return std::u16string(bytes.begin(), bytes.end());
  }
#ifdef _WIN32
  // On Windows the system converter reads the bytes. It refuses ill-formed
  // UTF-8 (MB_ERR_INVALID_CHARS), which decodeUtf8 then repairs, so a bad
  // byte becomes the same U+FFFD sequence on every platform and an href
  // names the same full path everywhere.
  const int size = bytes.size() <= INT_MAX ? static_cast<int>(bytes.size()) : 0;
  const int count =
      size ? base::systemToUtf16(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0) : 0;
  if (count > 0) {
    std::u16string wide(static_cast<size_t>(count), u'\0');
    base::systemToUtf16(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), size, wide.data(), count);
    return wide;
  }
#endif
  return decodeUtf8(bytes);
}

}  // namespace epub::package
