// Package text decoding: the order of the encoding library's calls, the
// choice between its conversion and the built-in UTF-16LE copy, and the
// shape of the decoded buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "package/decode_steps.h"
#include "package/package_text.h"

namespace epub::package {
namespace {

// What the scripted encoding object answers.
struct Script {
  int constructorCode = 2;
  int declaredCode = 1;         // findEncodingXhtml
  uint32_t reportedLength = 0;  // getUCS2LELength
  std::u16string converted;     // what toUCS2LE writes (at most as asked)
};

// An encoding object that answers from the script and records its calls,
// so the tests see exactly what decoding asked of the encoding library.
struct ScriptedEncoding {
  static inline Script script;
  static inline std::vector<std::string> calls;

  ScriptedEncoding(const uint8_t*, uint32_t length, bool strict) {
    calls.push_back("new(" + std::to_string(length) + "," + (strict ? "true" : "false") + ")");
    encoding = script.constructorCode;
  }
  ~ScriptedEncoding() { calls.push_back("delete"); }
  static int findEncodingXhtml(const uint8_t*, uint32_t length) {
    calls.push_back("findEncodingXhtml(" + std::to_string(length) + ")");
    return script.declaredCode;
  }
  void setEncoding(int code) { calls.push_back("setEncoding(" + std::to_string(code) + ")"); }
  uint32_t getUCS2LELength() {
    calls.push_back("getUCS2LELength");
    return script.reportedLength;
  }
  bool toUCS2LE(char16_t* destination, uint32_t count) {
    calls.push_back("toUCS2LE(" + std::to_string(count) + ")");
    for (uint32_t i = 0; i < count && i < script.converted.size(); ++i) {
      destination[i] = script.converted[i];
    }
    return false;  // the result is never looked at
  }

  int encoding = 0;
};

std::vector<uint8_t> utf16le(std::u16string_view text, bool bom = true) {
  std::vector<uint8_t> bytes;
  if (bom) bytes = {0xFF, 0xFE};
  for (char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  return bytes;
}

// Every unit of the buffer, terminator included.
std::u16string wholeBuffer(const PackageText& text) {
  return std::u16string(text.text.get(), static_cast<size_t>(text.length) + 1);
}

using Calls = std::vector<std::string>;

TEST(Decoding, CallsAndBranchFollowTheEncodingCodes) {
  struct Row {
    Script script;
    std::vector<uint8_t> bytes;
    Calls calls;
    std::u16string buffer;  // length + 1 units, the terminator included
  };
  const std::vector<uint8_t> abc = {'a', 'b', 'c'};
  const std::u16string_view xy = u"xy";
  const Row rows[] = {
      // Codes 2 and 3 convert at once, without the second detection.
      {{2, 1, 3, u"ABC"},
       abc,
       {"new(3,false)", "getUCS2LELength", "toUCS2LE(3)", "delete"},
       {u"ABC\0", 4}},
      {{3, 1, 2, u"AB"},
       abc,
       {"new(3,false)", "getUCS2LELength", "toUCS2LE(2)", "delete"},
       {u"AB\0", 3}},
      // Code 1 looks for a declared charset; when that answers 1 too, the
      // object converts with what it has and setEncoding is not called.
      {{1, 1, 2, u"QQ"},
       abc,
       {"new(3,false)", "findEncodingXhtml(3)", "getUCS2LELength", "toUCS2LE(2)", "delete"},
       {u"QQ\0", 3}},
      // A declared code other than 1 is set and then decides the branch.
      {{1, 3, 1, u"Z"},
       abc,
       {"new(3,false)", "findEncodingXhtml(3)", "setEncoding(3)", "getUCS2LELength", "toUCS2LE(1)",
        "delete"},
       {u"Z\0", 2}},
      {{1, 0, 99, u"unused"},
       utf16le(xy),
       {"new(6,false)", "findEncodingXhtml(6)", "setEncoding(0)", "delete"},
       {u"xy\0", 3}},
      {{1, -5, 99, u"unused"},
       utf16le(xy),
       {"new(6,false)", "findEncodingXhtml(6)", "setEncoding(-5)", "delete"},
       {u"xy\0", 3}},
      // Codes outside 1-3 never consult the second detection: the bytes are
      // copied as UTF-16LE after the byte-order mark.
      {{0, 2, 99, u"unused"}, utf16le(xy), {"new(6,false)", "delete"}, {u"xy\0", 3}},
      {{4, 2, 99, u"unused"}, utf16le(xy), {"new(6,false)", "delete"}, {u"xy\0", 3}},
      {{-1, 2, 99, u"unused"}, utf16le(xy), {"new(6,false)", "delete"}, {u"xy\0", 3}},
      // Whatever the first two bytes are, they are skipped as the mark.
      {{0, 1, 0, u""}, utf16le(u"<a", false), {"new(4,false)", "delete"}, {u"a\0", 2}},
      // A converter that writes fewer units than it announced leaves zeros.
      {{2, 1, 4, u"ab"},
       abc,
       {"new(3,false)", "getUCS2LELength", "toUCS2LE(4)", "delete"},
       {u"ab\0\0\0", 5}},
      // A zero-length conversion still gives a terminated buffer.
      {{2, 1, 0, u""},
       {},
       {"new(0,false)", "getUCS2LELength", "toUCS2LE(0)", "delete"},
       {u"\0", 1}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("row " + std::to_string(&row - rows));
    ScriptedEncoding::script = row.script;
    ScriptedEncoding::calls.clear();
    // An exact-size heap copy, so a read past the input is caught.
    std::vector<uint8_t> bytes(row.bytes);
    PackageText text;
    decodePackageTextWith<ScriptedEncoding>(text, bytes.empty() ? nullptr : bytes.data(),
                                            static_cast<uint32_t>(bytes.size()));
    EXPECT_EQ(ScriptedEncoding::calls, row.calls);
    ASSERT_TRUE(text.hasText);
    ASSERT_NE(text.text, nullptr);
    EXPECT_EQ(text.length + 1, static_cast<int32_t>(row.buffer.size()));
    EXPECT_EQ(wholeBuffer(text), row.buffer);
    EXPECT_EQ(text.byteLength, bytes.size());
  }
}

TEST(Decoding, Utf16CopyShape) {
  struct Row {
    std::vector<uint8_t> bytes;
    std::u16string buffer;  // length + 1 units, the terminator included
  };
  const Row rows[] = {
      // Fewer than two bytes, or only the mark: the empty text.
      {{}, {u"\0", 1}},
      {{0xFF}, {u"\0", 1}},
      {{0xFF, 0xFE}, {u"\0", 1}},
      {{0xFF, 0xFE, 0x41}, {u"\0", 1}},
      // An odd last byte is dropped.
      {{0xFF, 0xFE, 0x41, 0x00, 0x42}, {u"A\0", 2}},
      // Units are little-endian, astral characters stay as surrogate pairs.
      {{0xFF, 0xFE, 0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE}, {u"\u20AC\U0001F600\0", 4}},
      // A NUL unit ends the copy but not the length: the rest reads as NUL.
      {{0xFF, 0xFE, 0x41, 0x00, 0x00, 0x00, 0x42, 0x00}, {u"A\0\0\0", 4}},
  };
  ScriptedEncoding::script = Script{0, 1, 0, u""};
  for (const Row& row : rows) {
    SCOPED_TRACE("row " + std::to_string(&row - rows));
    std::vector<uint8_t> bytes(row.bytes);
    PackageText text;
    decodePackageTextWith<ScriptedEncoding>(text, bytes.empty() ? nullptr : bytes.data(),
                                            static_cast<uint32_t>(bytes.size()));
    ASSERT_TRUE(text.hasText);
    EXPECT_EQ(text.length + 1, static_cast<int32_t>(row.buffer.size()));
    EXPECT_EQ(wholeBuffer(text), row.buffer);
  }
}

TEST(Decoding, SecondDecodingReplacesTheFirst) {
  ScriptedEncoding::script = Script{2, 1, 5, u"first"};
  const uint8_t bytes[] = {'x'};
  PackageText text;
  decodePackageTextWith<ScriptedEncoding>(text, bytes, 1);
  ScriptedEncoding::script = Script{0, 1, 0, u""};
  const std::vector<uint8_t> again = utf16le(u"two");
  decodePackageTextWith<ScriptedEncoding>(text, again.data(), static_cast<uint32_t>(again.size()));
  EXPECT_EQ(text.bytes, again.data());
  EXPECT_EQ(text.byteLength, again.size());
  EXPECT_EQ(wholeBuffer(text), (std::u16string{u"two\0", 4}));
  text.release();
  EXPECT_FALSE(text.hasText);
  EXPECT_EQ(text.text, nullptr);
}

TEST(Decoding, RealEncodingLibrary) {
  struct Row {
    std::vector<uint8_t> bytes;
    std::u16string text;
  };
  auto ascii = [](std::string_view s) { return std::vector<uint8_t>(s.begin(), s.end()); };
  const Row rows[] = {
      // UTF-8 with and without a declaration, and with a mark.
      {ascii("<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>caf\xC3\xA9</a>"),
       u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>caf\u00E9</a>"},
      {ascii("<a>\xE2\x82\xAC</a>"), u"<a>\u20AC</a>"},
      {ascii("\xEF\xBB\xBF<a/>"), u"<a/>"},
      // UTF-16LE with its mark: the text starts right after the mark.
      {utf16le(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><a>\u4E2D</a>"),
       u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><a>\u4E2D</a>"},
      // Nothing at all: the empty text.
      {{}, u""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("row " + std::to_string(&row - rows));
    std::vector<uint8_t> bytes(row.bytes);
    PackageText text;
    decodePackageText(text, bytes.empty() ? nullptr : bytes.data(),
                      static_cast<uint32_t>(bytes.size()));
    ASSERT_TRUE(text.hasText);
    EXPECT_EQ(std::u16string(text.text.get()), row.text);
    EXPECT_EQ(text.text[static_cast<size_t>(text.length)], u'\0');
  }
}

}  // namespace
}  // namespace epub::package
