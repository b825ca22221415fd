#include "platform/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace dorvex {
namespace {

TEST(Utf8Test, RoundTripsEveryPlane) {
  const char16_t* cases[] = {
      u"",
      u"image.d88",
      u"C:\\ディスク\\画像.d88",
      u"caf\u00e9",
      u"\U0001F4BE floppy",  // a surrogate pair
  };
  for (const char16_t* wide : cases) {
    char utf8[256];
    char16_t back[128];
    ASSERT_TRUE(Utf16ToUtf8(wide, utf8, sizeof utf8));
    ASSERT_TRUE(Utf8ToUtf16(utf8, back, 128));
    EXPECT_EQ(std::u16string(back), std::u16string(wide));
  }
  char utf8[16];
  ASSERT_TRUE(Utf16ToUtf8(u"画", utf8, sizeof utf8));
  EXPECT_EQ(std::string(utf8), "\xE7\x94\xBB");
}

TEST(Utf8Test, RejectsMalformedInputAndShortBuffers) {
  char16_t wide[8];
  for (const char* bad : {"\x80", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80",
                          "\xF4\x90\x80\x80", "\xE7\x94", "\xFF"}) {
    EXPECT_FALSE(Utf8ToUtf16(bad, wide, 8)) << bad;
  }
  EXPECT_FALSE(Utf8ToUtf16("abcdefgh", wide, 8));  // no room for the end
  EXPECT_TRUE(Utf8ToUtf16("abcdefg", wide, 8));

  char utf8[4];
  const char16_t lone_high[] = {0xD800, u'a', 0};
  const char16_t lone_low[] = {0xDC00, 0};
  EXPECT_FALSE(Utf16ToUtf8(lone_high, utf8, sizeof utf8));
  EXPECT_FALSE(Utf16ToUtf8(lone_low, utf8, sizeof utf8));
  EXPECT_FALSE(Utf16ToUtf8(u"画", utf8, 3));  // 3 bytes and the end
  EXPECT_TRUE(Utf16ToUtf8(u"画", utf8, 4));
}

}  // namespace
}  // namespace dorvex
