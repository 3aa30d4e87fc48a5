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

using namespace std::string_literals;

// One decoding against a scripted encoding object: what it answers, and
// what decoding must ask of it and give.
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
  template <class T>
  static T note(const std::string& call, T answer) {
    calls += call;
    return answer;
  }
  static std::string n(uint32_t n) { return "(" + std::to_string(n) + ")"; }

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
      // Code 1 looks for a declared charset; when that answers 1 too, the
      // object converts with what it has and setEncoding is not called.
      {1, 1, 2, u"QQ", abc, "find(3) length convert(2)", u"QQ"},
      // A declared code other than 1 is set and then decides the branch.
      {1, 3, 1, u"Z", abc, "find(3) set(3) length convert(1)", u"Z"},
      {1, 0, 9, u"unused", xy, "find(6) set(0)", u"xy"},
      {1, -5, 9, u"unused", xy, "find(6) set(-5)", u"xy"},
      // Codes outside 1-3 never consult the second detection: the bytes are
      // copied as UTF-16LE after the two bytes of the mark, whatever they are.
      {0, 2, 9, u"", xy, "", u"xy"},
      {4, 2, 9, u"", xy, "", u"xy"},
      {-1, 2, 9, u"", "<\0a\0"s, "", u"a"},
      // A converter that writes fewer units than it announced leaves zeros;
      // a zero-length conversion still gives a terminated buffer.
      {2, 1, 4, u"ab", abc, "length convert(4)", u"ab\0\0"s},
      {2, 1, 0, u"", "", "length convert(0)", u""},
      // The copy: fewer than two bytes, or only the mark, give the empty
      // text; an odd last byte is dropped; units are little-endian, astral
      // characters stay surrogate pairs; a NUL unit ends the copy but not
      // the length.
      {0, 1, 0, u"", "\xFF", "", u""},
      {0, 1, 0, u"", "\xFF\xFE\x41", "", u""},
      {0, 1, 0, u"", "\xFF\xFE\x41\0\x42"s, "", u"A"},
      {0, 1, 0, u"", "\xFF\xFE\xAC\x20\x3D\xD8\x00\xDE"s, "", u"\u20AC\U0001F600"},
      {0, 1, 0, u"", "\xFF\xFE\x41\0\0\0\x42\0"s, "", u"A\0\0"s},
  };
  // One text for all rows: each decoding replaces the one before.
  PackageText text;
  for (const Script& row : rows) {
    SCOPED_TRACE(row.calls);
    ScriptedEncoding::script = &row;
    ScriptedEncoding::calls.clear();
    // An exact-size heap copy, so that a read past the input is caught.
    const std::vector<uint8_t> bytes(row.bytes.begin(), row.bytes.end());
    const uint8_t* data = bytes.empty() ? nullptr : bytes.data();
    decodePackageTextWith<ScriptedEncoding>(text, data, uint32_t(bytes.size()));
    EXPECT_EQ(ScriptedEncoding::calls, "new(" + std::to_string(bytes.size()) + ") " + row.calls +
                                           (row.calls.empty() ? "" : " ") + "delete");
    ASSERT_TRUE(text.hasText);
    EXPECT_TRUE(text.bytes == data && text.byteLength == bytes.size());
    EXPECT_EQ(std::u16string(text.text.get(), size_t(text.length) + 1), row.buffer + u'\0');
  }
}

TEST(Decoding, RealEncodingLibrary) {
  const std::pair<std::string, std::u16string> rows[] = {
      // UTF-8 with and without a declaration or a mark.
      {"<?xml version='1.0' encoding='UTF-8'?><a>caf\xC3\xA9</a>",
       u"<?xml version='1.0' encoding='UTF-8'?><a>caf\u00E9</a>"},
      {"<a>\xE2\x82\xAC</a>", u"<a>\u20AC</a>"},
      {"\xEF\xBB\xBF<a/>", u"<a/>"},
      // A declared legacy charset.
      {"<?xml version='1.0' encoding='windows-1252'?>\x80",
       u"<?xml version='1.0' encoding='windows-1252'?>\u20AC"},
      // UTF-16LE with its mark: the text starts right after the mark.
      {"\xFF\xFE<\0?\0x\0\x2D\x4E"s, u"<?x\u4E2D"},
      {"", u""},
  };
  for (const auto& [input, expected] : rows) {
    SCOPED_TRACE(testing::PrintToString(expected));
    const std::vector<uint8_t> bytes(input.begin(), input.end());
    PackageText text;
    decodePackageText(text, bytes.empty() ? nullptr : bytes.data(), uint32_t(bytes.size()));
    ASSERT_TRUE(text.hasText);
    EXPECT_EQ(std::u16string(text.text.get(), size_t(text.length) + 1), expected + u'\0');
  }
}

}  // namespace
}  // namespace epub::package
