// Package text decoding against a scripted encoding object: the order of its
// calls, the choice between its conversion and the built-in UTF-16LE copy,
// the decoded buffer. (The real library's answers are the encoding suite's.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/decode_steps.h"
#include "package/package_text.h"

namespace epub::package {
namespace {

using namespace std::string_literals;

// What the scripted object answers, and what decoding must ask of it and give.
struct Script {
  int constructorCode, declaredCode;  // encoding, findEncodingXhtml
  uint32_t reportedLength;            // getUCS2LELength
  std::u16string converted;           // what toUCS2LE writes (at most as asked)
  std::string bytes;
  std::string calls;      // between "new(length)" and "delete"
  std::u16string buffer;  // without its terminator
};

// An encoding object that answers from the script and notes its calls.
struct ScriptedEncoding {
  static inline const Script* script;
  static inline std::string calls;
  static std::string n(uint32_t n) { return "(" + std::to_string(n) + ")"; }
  static auto note(const std::string& call, auto answer) { return calls += call, answer; }
  ScriptedEncoding(const uint8_t*, uint32_t length, bool strict)
      : encoding(note("new" + n(length) + (strict ? "strict" : ""), script->constructorCode)) {}
  ~ScriptedEncoding() { calls += " delete"; }
  static int findEncodingXhtml(const uint8_t*, uint32_t length) {
    return note(" find" + n(length), script->declaredCode);
  }
  void setEncoding(int code) { calls += " set(" + std::to_string(code) + ")"; }
  uint32_t getUCS2LELength() { return note(" length", script->reportedLength); }
  bool toUCS2LE(char16_t* destination, uint32_t count) {
    script->converted.copy(destination, count);
    return note(" convert" + n(count), false);  // never looked at
  }
  int encoding;
};

TEST(Decoding, CallsAndBranchFollowTheEncodingCodes) {
  const std::string abc = "abc", xy = "\xFF\xFEx\0y\0"s;
  const Script rows[] = {
      // Codes 2 and 3 convert at once, without the second detection.
      {2, 1, 3, u"ABC", abc, "length convert(3)", u"ABC"},
      {3, 1, 2, u"AB", abc, "length convert(2)", u"AB"},
      // Code 1 looks for a declared charset; 1 again converts without setEncoding.
      {1, 1, 2, u"QQ", abc, "find(3) length convert(2)", u"QQ"},
      // A declared code other than 1 is set and then decides the branch.
      {1, 3, 1, u"Z", abc, "find(3) set(3) length convert(1)", u"Z"},
      {1, 0, 9, u"unused", xy, "find(6) set(0)", u"xy"},
      {1, -5, 9, u"unused", xy, "find(6) set(-5)", u"xy"},
      // Codes outside 1-3: no second detection, a UTF-16LE copy after the mark's two bytes.
      {0, 2, 9, u"", xy, "", u"xy"},
      {4, 2, 9, u"", xy, "", u"xy"},
      {-1, 2, 9, u"", "<\0a\0"s, "", u"a"},
      // Units a converter left unwritten read as zeros; a zero length, a terminated buffer.
      {2, 1, 4, u"ab", abc, "length convert(4)", u"ab\0\0"s},
      {2, 1, 0, u"", "", "length convert(0)", u""},
      // The copy: under two bytes or the mark alone, empty; an odd byte dropped; units
      // little-endian, surrogate pairs kept; a NUL unit ends the copy but not the length.
      {0, 1, 0, u"", "\xFF", "", u""},
      {0, 1, 0, u"", "\xFF\xFE\x41", "", u""},
      {0, 1, 0, u"", "\xFF\xFE\x41\0\x42"s, "", u"A"},
      {0, 1, 0, u"", "\xFF\xFE\xAC\x20\x3D\xD8\x00\xDE"s, "", u"\u20AC\U0001F600"},
      {0, 1, 0, u"", "\xFF\xFE\x41\0\0\0\x42\0"s, "", u"A\0\0"s},
  };
  PackageText text;  // one for all rows: each decoding replaces the one before
  for (const Script& row : rows) {
    SCOPED_TRACE(row.calls + " from " + testing::PrintToString(row.bytes));
    ScriptedEncoding::script = &row;
    ScriptedEncoding::calls.clear();
    // An exact-size heap copy, so that a read past the input is caught.
    const std::vector<uint8_t> bytes(row.bytes.begin(), row.bytes.end());
    const uint8_t* data = bytes.empty() ? nullptr : bytes.data();
    decodePackageTextWith<ScriptedEncoding>(text, data, uint32_t(bytes.size()));
    EXPECT_EQ(ScriptedEncoding::calls, "new" + ScriptedEncoding::n(uint32_t(bytes.size())) + " " +
                                           row.calls + (row.calls.empty() ? "" : " ") + "delete");
    ASSERT_TRUE(text.hasText && text.bytes == data && text.byteLength == bytes.size());
    EXPECT_EQ(std::u16string(text.text.get(), size_t(text.length) + 1), row.buffer + u'\0');
  }
}

}  // namespace
}  // namespace epub::package
