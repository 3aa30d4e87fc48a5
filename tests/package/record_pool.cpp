// The record pool: copies of texts that start anywhere relative to the
// processor's natural blocks, of every short length and some long ones, stay
// whole after every later copy, across many blocks of the pool.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/package_record.h"

namespace epub::package {
namespace {

TEST(RecordPool, CopiesStayWholeWhateverTheirPlaceAndLength) {
  // A source buffer aligned for any type; texts start at each of its first
  // sixteen units, so every position within an aligned block of eight units
  // (and the next block) is a start.
  std::vector<std::u16string> sources;
  for (size_t length = 1; length <= 40; ++length) sources.emplace_back(length, u'a');
  for (size_t length : {63u, 64u, 65u}) sources.emplace_back(length, u'b');
  // Texts longer than a quarter block, or the rest of one, go another way.
  const size_t shortOnes = sources.size();
  for (size_t length : {1000u, 8191u, 8192u, 8193u, 20000u}) sources.emplace_back(length, u'c');
  for (size_t i = 0; i < sources.size(); ++i) {
    // Distinct units, so that a text shifted or cut short shows.
    for (size_t k = 0; k < sources[i].size(); ++k) {
      sources[i][k] = char16_t(u'A' + (i * 7 + k) % 50);
    }
  }

  RecordPool pool;
  struct Copy {
    const char16_t* at;
    std::u16string text;
  };
  std::vector<Copy> copies;
  std::vector<char16_t> buffer;
  // Enough rounds to fill several of the pool's blocks.
  for (int round = 0; round < 12; ++round) {
    for (size_t i = 0; i < (round == 0 ? sources.size() : shortOnes); ++i) {
      const std::u16string& text = sources[i];
      for (size_t offset = 0; offset < 16; ++offset) {
        buffer.assign(offset + text.size() + 32, u'\xFFFF');
        std::copy(text.begin(), text.end(), buffer.begin() + ptrdiff_t(offset));
        buffer[offset + text.size()] = u'\0';
        copies.push_back({pool.copy(buffer.data() + offset), text});
      }
    }
  }
  for (size_t i = 0; i < copies.size(); ++i) {
    ASSERT_EQ(std::u16string(copies[i].at), copies[i].text) << "copy " << i;
  }
}

// Null and empty texts give the empty string between other copies.
TEST(RecordPool, NullAndEmptyGiveTheEmptyString) {
  RecordPool pool;
  EXPECT_EQ(std::u16string(pool.copy(nullptr)), u"");
  EXPECT_EQ(std::u16string(pool.copy(u"")), u"");
  const char16_t* a = pool.copy(u"x");
  const char16_t* b = pool.copy(u"");
  const char16_t* c = pool.copy(u"y");
  EXPECT_EQ(std::u16string(a), u"x");
  EXPECT_EQ(std::u16string(b), u"");
  EXPECT_EQ(std::u16string(c), u"y");
}

}  // namespace
}  // namespace epub::package
