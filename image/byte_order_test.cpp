#include "image/byte_order.h"

#include <gtest/gtest.h>

namespace dorvex {
namespace {

TEST(ByteOrderTest, DecodesLittleEndianWhateverTheHost) {
  struct Case {
    uint8_t bytes[4];
    int32_t le16;
    int32_t le32;
  };
  const Case cases[] = {
      {{0x00, 0x00, 0x00, 0x00}, 0, 0},
      {{0x34, 0x12, 0x00, 0x00}, 0x1234, 0x1234},
      {{0xFF, 0xFF, 0x00, 0x00}, 65535, 65535},
      {{0x78, 0x56, 0x34, 0x12}, 0x5678, 0x12345678},
      {{0xFF, 0xFF, 0xFF, 0x7F}, 65535, 2147483647},
      {{0x00, 0x00, 0x00, 0x80}, 0, -2147483647 - 1},
      {{0xFF, 0xFF, 0xFF, 0xFF}, 65535, -1},
      {{0xF0, 0xFF, 0xFF, 0xFF}, 65520, -16},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecodeLe16(c.bytes), c.le16) << c.le32;
    EXPECT_EQ(DecodeLe32(c.bytes), c.le32) << c.le32;
  }
}

}  // namespace
}  // namespace dorvex
