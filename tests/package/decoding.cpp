// Package text decoding: the order of the encoding library's calls, the
// choice between its conversion and the built-in UTF-16LE copy, and the
// shape of the decoded buffer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/decode_steps.h"
#include "package/package_text.h"

namespace epub::package {
namespace {

// What the scripted encoding object answers.
struct Script {
  int constructorCode;
  int declaredCode;          // findEncodingXhtml
  uint32_t reportedLength;   // getUCS2LELength
  std::u16string converted;  // what toUCS2LE writes (at most as asked)
};

// An encoding object that answers from the script and records its calls,
// so the tests see exactly what decoding asked of the encoding library.
struct ScriptedEncoding {
  static inline Script script;
  static inline std::string calls;

  ScriptedEncoding(const uint8_t*, uint32_t length, bool strict)
      : encoding(script.constructorCode) {
    calls += "new(" + std::to_string(length) + (strict ? ",true)" : ",false)");
  }
  ~ScriptedEncoding() { calls += " delete"; }
  static int findEncodingXhtml(const uint8_t*, uint32_t length) {
    calls += " find(" + std::to_string(length) + ")";
    return script.declaredCode;
  }
  void setEncoding(int code) { calls += " set(" + std::to_string(code) + ")"; }
  uint32_t getUCS2LELength() {
    calls += " length";
    return script.reportedLength;
  }
  bool toUCS2LE(char16_t* destination, uint32_t count) {
    calls += " convert(" + std::to_string(count) + ")";
    script.converted.copy(destination, count);
    return false;  // never looked at
  }

  int encoding;
};

std::vector<uint8_t> utf16le(std::u16string_view text) {
  std::vector<uint8_t> bytes = {0xFF, 0xFE};
  for (char16_t c : text) bytes.insert(bytes.end(), {uint8_t(c & 0xFF), uint8_t(c >> 8)});
  return bytes;
}

TEST(Decoding, CallsAndBranchFollowTheEncodingCodes) {
  struct Row {
    Script script;
    std::vector<uint8_t> bytes;
    std::string calls;
    std::u16string buffer;  // length + 1 units, the terminator included
  };
  const std::vector<uint8_t> abc = {'a', 'b', 'c'}, xy = utf16le(u"xy");
  const Row rows[] = {
      // Codes 2 and 3 convert at once, without the second detection.
      {{2, 1, 3, u"ABC"}, abc, "new(3,false) length convert(3) delete", {u"ABC\0", 4}},
      {{3, 1, 2, u"AB"}, abc, "new(3,false) length convert(2) delete", {u"AB\0", 3}},
      // Code 1 looks for a declared charset; when that answers 1 too, the
      // object converts with what it has and setEncoding is not called.
      {{1, 1, 2, u"QQ"}, abc, "new(3,false) find(3) length convert(2) delete", {u"QQ\0", 3}},
      // A declared code other than 1 is set and then decides the branch.
      {{1, 3, 1, u"Z"}, abc, "new(3,false) find(3) set(3) length convert(1) delete", {u"Z\0", 2}},
      {{1, 0, 9, u"unused"}, xy, "new(6,false) find(6) set(0) delete", {u"xy\0", 3}},
      {{1, -5, 9, u"unused"}, xy, "new(6,false) find(6) set(-5) delete", {u"xy\0", 3}},
      // Codes outside 1-3 never consult the second detection: the bytes are
      // copied as UTF-16LE after the two bytes of the mark, whatever they are.
      {{0, 2, 9, u""}, xy, "new(6,false) delete", {u"xy\0", 3}},
      {{4, 2, 9, u""}, xy, "new(6,false) delete", {u"xy\0", 3}},
      {{-1, 2, 9, u""}, {'<', 0, 'a', 0}, "new(4,false) delete", {u"a\0", 2}},
      // A converter that writes fewer units than it announced leaves zeros;
      // a zero-length conversion still gives a terminated buffer.
      {{2, 1, 4, u"ab"}, abc, "new(3,false) length convert(4) delete", {u"ab\0\0\0", 5}},
      {{2, 1, 0, u""}, {}, "new(0,false) length convert(0) delete", {u"\0", 1}},
      // The copy: fewer than two bytes, or only the mark, give the empty
      // text; an odd last byte is dropped; units are little-endian, astral
      // characters stay surrogate pairs; a NUL unit ends the copy but not
      // the length.
      {{0, 1, 0, u""}, {0xFF}, "new(1,false) delete", {u"\0", 1}},
      {{0, 1, 0, u""}, {0xFF, 0xFE, 0x41}, "new(3,false) delete", {u"\0", 1}},
      {{0, 1, 0, u""}, {0xFF, 0xFE, 0x41, 0x00, 0x42}, "new(5,false) delete", {u"A\0", 2}},
      {{0, 1, 0, u""},
       utf16le(u"\u20AC\U0001F600"),
       "new(8,false) delete",
       {u"\u20AC\U0001F600\0", 4}},
      {{0, 1, 0, u""}, utf16le({u"A\0B", 3}), "new(8,false) delete", {u"A\0\0\0", 4}},
  };
  // One text for all rows: each decoding replaces the one before.
  PackageText text;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.calls);
    ScriptedEncoding::script = row.script;
    ScriptedEncoding::calls.clear();
    // An exact-size heap copy, so that a read past the input is caught.
    std::vector<uint8_t> bytes(row.bytes);
    const uint8_t* data = bytes.empty() ? nullptr : bytes.data();
    decodePackageTextWith<ScriptedEncoding>(text, data, uint32_t(bytes.size()));
    EXPECT_EQ(ScriptedEncoding::calls, row.calls);
    ASSERT_TRUE(text.hasText);
    EXPECT_EQ(text.bytes, data);
    EXPECT_EQ(text.byteLength, bytes.size());
    EXPECT_EQ(std::u16string(text.text.get(), size_t(text.length) + 1), row.buffer);
  }
}

TEST(Decoding, RealEncodingLibrary) {
  struct Row {
    std::string bytes;
    std::u16string text;
  };
  const std::vector<uint8_t> wide =
      utf16le(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><a>\u4E2D</a>");
  const Row rows[] = {
      // UTF-8 with and without a declaration or a mark.
      {"<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>caf\xC3\xA9</a>",
       u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>caf\u00E9</a>"},
      {"<a>\xE2\x82\xAC</a>", u"<a>\u20AC</a>"},
      {"\xEF\xBB\xBF<a/>", u"<a/>"},
      // Windows-1252, declared.
      {"<?xml version='1.0' encoding='windows-1252'?>\x80",
       u"<?xml version='1.0' encoding='windows-1252'?>\u20AC"},
      // UTF-16LE with its mark: the text starts right after the mark.
      {std::string(wide.begin(), wide.end()),
       u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><a>\u4E2D</a>"},
      {"", u""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.text));
    const std::vector<uint8_t> bytes(row.bytes.begin(), row.bytes.end());
    PackageText text;
    decodePackageText(text, bytes.empty() ? nullptr : bytes.data(), uint32_t(bytes.size()));
    ASSERT_TRUE(text.hasText);
    EXPECT_EQ(std::u16string(text.text.get(), size_t(text.length) + 1), row.text + u'\0');
  }
}

}  // namespace
}  // namespace epub::package
