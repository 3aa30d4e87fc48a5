#include "charsets.h"

#include <algorithm>
#include <array>
#include <memory>

#include "icu.h"
#include "sniff.h"

namespace vorozo {

namespace {

struct ConverterCloser {
  void operator()(UConverter* c) const { icu()->close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

struct DetectorCloser {
  void operator()(UCharsetDetector* d) const { icu()->detectorClose(d); }
};

// Null for an unknown name, and for every name when ICU cannot be opened.
Converter openConverter(const std::string& name) {
  if (!icu()) return nullptr;
  UErrorCode err = U_ZERO_ERROR;
  Converter c(icu()->open(name.c_str(), &err));
  if (U_FAILURE(err)) return nullptr;
  return c;
}

// ICU's own substitution writes U+001A for a single bad byte in charsets
// that define a one-byte substitute; callers want U+FFFD for every error.
void U_CALLCONV replaceWithFffd(const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
                                UConverterCallbackReason reason, UErrorCode* err) {
  if (reason != UCNV_UNASSIGNED && reason != UCNV_ILLEGAL && reason != UCNV_IRREGULAR) return;
  static const UChar kReplacement = 0xFFFD;
  *err = U_ZERO_ERROR;
  icu()->cbToUWriteUChars(args, &kReplacement, 1, 0, err);
}

struct Upgrade {
  std::string_view from;
  const char* to;
};

// Labels (lower case) whose charset is read as a superset, as documents that
// declare them are in practice written in the superset.
constexpr std::array kLabelUpgrades = {
    Upgrade{"ansi_x3.4-1968", "windows-1252"},
    Upgrade{"ascii", "windows-1252"},
    Upgrade{"cp819", "windows-1252"},
    Upgrade{"csisolatin1", "windows-1252"},
    Upgrade{"ibm819", "windows-1252"},
    Upgrade{"iso-8859-1", "windows-1252"},
    Upgrade{"iso-ir-100", "windows-1252"},
    Upgrade{"iso8859-1", "windows-1252"},
    Upgrade{"iso88591", "windows-1252"},
    Upgrade{"iso_8859-1", "windows-1252"},
    Upgrade{"iso_8859-1:1987", "windows-1252"},
    Upgrade{"l1", "windows-1252"},
    Upgrade{"latin1", "windows-1252"},
    Upgrade{"us-ascii", "windows-1252"},
    Upgrade{"x-cp1252", "windows-1252"},
    Upgrade{"chinese", "GB18030"},
    Upgrade{"csgb2312", "GB18030"},
    Upgrade{"csiso58gb231280", "GB18030"},
    Upgrade{"gb2312", "GB18030"},
    Upgrade{"gb_2312", "GB18030"},
    Upgrade{"gb_2312-80", "GB18030"},
    Upgrade{"gbk", "GB18030"},
    Upgrade{"iso-ir-58", "GB18030"},
    Upgrade{"x-gbk", "GB18030"},
    Upgrade{"cp936", "GB18030"},
    Upgrade{"windows-936", "GB18030"},
    Upgrade{"euc-cn", "GB18030"},
    Upgrade{"cseuckr", "windows-949-2000"},
    Upgrade{"csksc56011987", "windows-949-2000"},
    Upgrade{"euc-kr", "windows-949-2000"},
    Upgrade{"iso-ir-149", "windows-949-2000"},
    Upgrade{"korean", "windows-949-2000"},
    Upgrade{"ks_c_5601-1987", "windows-949-2000"},
    Upgrade{"ks_c_5601-1989", "windows-949-2000"},
    Upgrade{"ksc5601", "windows-949-2000"},
    Upgrade{"ksc_5601", "windows-949-2000"},
    Upgrade{"windows-949", "windows-949-2000"},
    Upgrade{"cp949", "windows-949-2000"},
    // ICU takes cp950 for IBM's table; documents mean Windows' Big5.
    Upgrade{"cp950", "windows-950-2000"},
};

// The same upgrades for ICU's canonical names, for aliases the table above
// does not list.
constexpr std::array kCanonicalUpgrades = {
    Upgrade{"ISO-8859-1", "windows-1252"},
    Upgrade{"US-ASCII", "windows-1252"},
    Upgrade{"ibm-1383_P110-1999", "GB18030"},
    Upgrade{"windows-936-2000", "GB18030"},
    Upgrade{"ibm-970_P110_P110-2006_U2", "windows-949-2000"},
    Upgrade{"ibm-1363_P11B-1998", "windows-949-2000"},
};

template <size_t N>
const char* findUpgrade(const std::array<Upgrade, N>& table, std::string_view name) {
  for (const Upgrade& u : table)
    if (u.from == name) return u.to;
  return nullptr;
}

// ICU knows labels up to about 40 characters, made of these.
bool plausibleLabel(std::string_view label) {
  if (label.empty() || label.size() > 48) return false;
  return std::all_of(label.begin(), label.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' ||
           c == ':' || c == '+' || c == '(' || c == ')';
  });
}

// A declaration written in ASCII bytes can only be true of a charset that
// reads those bytes as ASCII.
bool readsAsciiAsAscii(UConverter* cnv) {
  static const char kProbe[] = "<?xml version=\"1.0\" encoding='x'?><meta charset=x/>";
  constexpr int32_t kProbeLength = sizeof kProbe - 1;
  UChar out[kProbeLength + 8];
  UErrorCode err = U_ZERO_ERROR;
  icu()->reset(cnv);
  int32_t n = icu()->toUChars(cnv, out, kProbeLength + 8, kProbe, kProbeLength, &err);
  icu()->reset(cnv);
  if (U_FAILURE(err) || n != kProbeLength) return false;
  for (int32_t i = 0; i < n; ++i)
    if (out[i] != static_cast<UChar>(kProbe[i])) return false;
  return true;
}

bool isWideName(std::string_view name) {
  return name == "UTF-16LE" || name == "UTF-16BE" || name == "UTF-32LE" || name == "UTF-32BE";
}

}  // namespace

std::string resolveDeclaredLabel(std::string_view label) {
  while (!label.empty() && (label.front() == ' ' || label.front() == '\t')) label.remove_prefix(1);
  while (!label.empty() && (label.back() == ' ' || label.back() == '\t')) label.remove_suffix(1);
  if (!plausibleLabel(label)) return {};
  if (const char* up = findUpgrade(kLabelUpgrades, label)) return up;
  // ICU's name for both, known without opening ICU.
  if (label == "utf-8" || label == "utf8") return "UTF-8";
  Converter cnv = openConverter(std::string(label));
  if (!cnv || !readsAsciiAsAscii(cnv.get())) return {};
  UErrorCode err = U_ZERO_ERROR;
  std::string canonical = icu()->getName(cnv.get(), &err);
  if (U_FAILURE(err)) return {};
  if (const char* up = findUpgrade(kCanonicalUpgrades, canonical)) return up;
  return canonical;
}

bool isUtf8Name(const std::string& icuName) { return icuName == "UTF-8"; }

std::string guessCharset(const uint8_t* bytes, uint32_t length) {
  // Legacy text seldom forms valid multi-byte UTF-8 by chance, so text that
  // mostly does is UTF-8 with a few damaged bytes.
  Utf8Census census = countUtf8(bytes, length);
  if (census.invalid == 0 || census.sequences > 10 * census.invalid) return "UTF-8";
  // The detector's statistics settle well within this much text; the limit
  // keeps detection cheap for big files.
  constexpr uint32_t kDetectWindow = 64 * 1024;
  constexpr int32_t kWideConfidence = 50;
  constexpr int32_t kLegacyConfidence = 20;
  const Icu* f = icu();
  UErrorCode err = U_ZERO_ERROR;
  std::unique_ptr<UCharsetDetector, DetectorCloser> det(f ? f->detectorOpen(&err) : nullptr);
  if (det && U_SUCCESS(err)) {
    f->detectorSetText(det.get(), reinterpret_cast<const char*>(bytes),
                       static_cast<int32_t>(std::min(length, kDetectWindow)), &err);
    f->detectorEnableInputFilter(det.get(), true);  // judge the text, not the markup
    int32_t count = 0;
    const UCharsetMatch** matches = f->detectorDetectAll(det.get(), &count, &err);
    for (int32_t i = 0; U_SUCCESS(err) && i < count; ++i) {
      const char* name = f->matchName(matches[i], &err);
      const int32_t confidence = f->matchConfidence(matches[i], &err);
      if (U_FAILURE(err) || !name) break;
      std::string found = name;
      // Wide text shows itself by its zero bytes, not by ASCII markup; the
      // detector gives every even-length text a little wide confidence.
      if (isWideName(found)) {
        if (confidence >= kWideConfidence) return found;
        continue;
      }
      // Below this the detector is only listing what does not contradict
      // the bytes (every CJK charset ties on a few bytes).
      if (confidence < kLegacyConfidence) continue;
      std::string lower = found;
      for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
      std::string resolved = resolveDeclaredLabel(lower);
      if (!resolved.empty()) return resolved;
    }
  }
  return "windows-1252";  // maps every byte, so nothing is lost
}

std::u16string convertToUtf16(const uint8_t* bytes, uint32_t length, const std::string& icuName) {
  std::u16string out;
  Converter cnv = openConverter(icuName);
  if (!cnv) return out;
  UErrorCode err = U_ZERO_ERROR;
  icu()->setToUCallBack(cnv.get(), replaceWithFffd, nullptr, nullptr, nullptr, &err);
  if (U_FAILURE(err)) return out;
  const std::string canonical = icu()->getName(cnv.get(), &err);
  const uint32_t skip = markLength(canonical, bytes, length);

  const char* source = reinterpret_cast<const char*>(bytes) + skip;
  const char* sourceEnd = reinterpret_cast<const char*>(bytes) + length;
  // Enough room for every common case in one pass; rare expansions grow it.
  const int8_t minCharSize = std::max<int8_t>(1, icu()->getMinCharSize(cnv.get()));
  out.resize((length - skip) / static_cast<uint32_t>(minCharSize) + 16);
  size_t used = 0;
  // ICU refuses more than 2 GB of input or 1 G units of output per call, so
  // huge input goes in slices.
  constexpr ptrdiff_t kSourceSlice = 0x7fffffff;
  constexpr size_t kTargetSlice = 0x3fffffff;
  while (true) {
    const char* sliceEnd = sourceEnd - source > kSourceSlice ? source + kSourceSlice : sourceEnd;
    const bool last = sliceEnd == sourceEnd;
    UChar* target = out.data() + used;
    UChar* targetEnd = out.data() + std::min(out.size(), used + kTargetSlice);
    err = U_ZERO_ERROR;
    icu()->toUnicode(cnv.get(), &target, targetEnd, &source, sliceEnd, nullptr, last, &err);
    used = static_cast<size_t>(target - out.data());
    if (err == U_BUFFER_OVERFLOW_ERROR) {
      if (out.size() - used < kTargetSlice)
        out.resize(out.size() + std::max(out.size() / 2, size_t{64}));
      continue;
    }
    if (U_FAILURE(err) || last) break;
  }
  out.resize(used);
  return out;
}

}  // namespace vorozo
