#include "tool/shift_jis.h"

#include <gtest/gtest.h>

#include <string>

namespace dorvex {
namespace {

std::string Decode(const std::string& text, size_t capacity = 64) {
  std::string out(capacity, '#');
  const size_t length =
      DecodeShiftJis(text.data(), text.size(), &out[0], capacity);
  EXPECT_EQ(out[length], '\0') << text;
  return out.substr(0, length);
}

TEST(ShiftJisTest, DecodesEachKindOfByte) {
  struct Case {
    const char* what;
    std::string text;
    std::string utf8;
  };
  const Case cases[] = {
      {"ASCII, backslash and tilde as themselves", "A\\~z", "A\\~z"},
      {"half-width katakana", "\xB1\xDF", "\xEF\xBD\xB1\xEF\xBE\x9F"},
      {"a kanji pair", "\x93\xFA\x96\x7B", "\xE6\x97\xA5\xE6\x9C\xAC"},
      {"the last lead byte's row", "\xFC\x4B", "\xE9\xBB\x91"},
      {"an NEC row character", "\x87\x40", "\xE2\x91\xA0"},
      {"a lead byte at the end", "A\x82", "A\xEF\xBF\xBD"},
      {"an ASCII trail stands for itself", "\x82\x21", "\xEF\xBF\xBD!"},
      {"an unmapped pair is one character", "\x85\x9FZ", "\xEF\xBF\xBDZ"},
      {"0x7F after a lead byte", "\x82\x7F", "\xEF\xBF\xBD\x7F"},
      {"bytes that begin nothing", "\x80\xA0\xFD\xFF",
       "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"a control byte", "\x01", "\x01"},
  };
  for (const Case& c : cases) EXPECT_EQ(Decode(c.text), c.utf8) << c.what;
}

TEST(ShiftJisTest, StopsAtAWholeCharacterWhenRoomRunsOut) {
  EXPECT_EQ(Decode("AB", 2), "A");
  EXPECT_EQ(Decode("A\x93\xFA", 4), "A");
  EXPECT_EQ(Decode("A\x93\xFA", 5), "A\xE6\x97\xA5");
  EXPECT_EQ(Decode("A", 1), "");
}

}  // namespace
}  // namespace dorvex
