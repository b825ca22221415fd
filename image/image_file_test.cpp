#include "image/image_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "tests/d88_builder.h"
#include "tests/scratch_dir.h"

namespace dorvex {
namespace {

TEST(ImageFileTest, OpenFailsForMissingFilesAndDirectories) {
  d88::ScratchDir scratch;
  ImageFile file;
  EXPECT_FALSE(file.Open("missing.d88"));
  EXPECT_FALSE(file.Open(""));
  EXPECT_FALSE(file.Open("."));
  EXPECT_FALSE(file.IsOpen());
  ASSERT_TRUE(d88::WriteBytes("empty.d88", {}));
  EXPECT_TRUE(file.Open("empty.d88"));
  uint8_t byte = 0;
  EXPECT_EQ(file.Read(&byte, 1), 0);
}

TEST(ImageFileTest, SeekRejectsNegativeOffsetsAndKeepsThePosition) {
  d88::ScratchDir scratch;
  ASSERT_TRUE(d88::WriteBytes("f", {1, 2, 3, 4}));
  ImageFile file;
  ASSERT_TRUE(file.Open("f"));
  ASSERT_TRUE(file.Seek(2));
  EXPECT_FALSE(file.Seek(-1));
  EXPECT_FALSE(file.Skip(-3));
  uint8_t byte = 0;
  ASSERT_EQ(file.Read(&byte, 1), 1);
  EXPECT_EQ(byte, 3);
  EXPECT_TRUE(file.Seek(1000));
  EXPECT_EQ(file.Read(&byte, 1), 0);
  EXPECT_EQ(file.Read(&byte, 0), 0);
  EXPECT_EQ(file.Read(&byte, -5), 0);
}

// Random seeks, reads and peeks, across buffer boundaries and past the end,
// must give exactly the bytes of the file; a peek leaves the position.
TEST(ImageFileTest, RandomAccessMatchesTheFile) {
  d88::ScratchDir scratch;
  const size_t size = 3 * ImageFile::kBufferSize + 777;
  const d88::Bytes content = d88::Pattern(size, 7);
  ASSERT_TRUE(d88::WriteBytes("f", content));
  ImageFile file;
  ASSERT_TRUE(file.Open("f"));

  std::mt19937 random(42);
  std::vector<uint8_t> got(2 * ImageFile::kBufferSize);
  int64_t position = 0;
  for (int step = 0; step < 2000; ++step) {
    const int kind = static_cast<int>(random() % 4);
    if (kind == 0) {
      position = static_cast<int64_t>(random() % (size + 100));
      ASSERT_TRUE(file.Seek(position));
    } else if (kind == 1) {
      const int64_t delta = static_cast<int64_t>(random() % 70000) - 20000;
      if (position + delta >= 0) {
        ASSERT_TRUE(file.Skip(delta));
        position += delta;
      }
    } else if (kind == 2) {
      // Near a block's edge or the file's end, where a peek straddles them.
      const int64_t edge =
          random() % 2 == 0
              ? static_cast<int64_t>(size)
              : static_cast<int64_t>(random() % 4) * ImageFile::kBufferSize;
      const int64_t at = std::max<int64_t>(
          0, edge - 70 + static_cast<int64_t>(random() % 100));
      const int32_t length =
          1 + static_cast<int32_t>(random() % ImageFile::kMaxPeek);
      const uint8_t* peeked = file.Peek(at, length);
      if (at + length > static_cast<int64_t>(size)) {
        ASSERT_EQ(peeked, nullptr) << "step " << step;
      } else {
        ASSERT_NE(peeked, nullptr) << "step " << step;
        ASSERT_TRUE(
            std::equal(peeked, peeked + length,
                       content.begin() + static_cast<std::ptrdiff_t>(at)))
            << "step " << step;
      }
    } else {
      const int32_t length = static_cast<int32_t>(
          random() % 2 == 0 ? random() % 64 : random() % got.size());
      const int32_t count = file.Read(got.data(), length);
      const int64_t left =
          std::max<int64_t>(0, static_cast<int64_t>(size) - position);
      ASSERT_EQ(count, std::min<int64_t>(length, left)) << "step " << step;
      ASSERT_TRUE(
          std::equal(got.begin(), got.begin() + count,
                     content.begin() + static_cast<std::ptrdiff_t>(position)))
          << "step " << step;
      position += count;
    }
  }
}

}  // namespace
}  // namespace dorvex
