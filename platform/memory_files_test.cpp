#include "platform/memory_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dorvex {
namespace {

using Bytes = std::vector<uint8_t>;

size_t CopyFrom(void* context, uint64_t offset, uint8_t* dst, size_t length) {
  const Bytes& bytes = *static_cast<const Bytes*>(context);
  size_t count = 0;
  if (offset >= bytes.size()) return 0;
  const size_t from = static_cast<size_t>(offset);
  for (; count < length && from + count < bytes.size(); ++count) {
    dst[count] = bytes[from + count];
  }
  return count;
}

Bytes Pattern(size_t length, uint8_t seed) {
  Bytes bytes(length);
  for (size_t i = 0; i < length; ++i) {
    bytes[i] = static_cast<uint8_t>(seed + i * 7);
  }
  return bytes;
}

// The image reads as a file on disk does: from any position, nothing past
// its end, and only under its own name.
TEST(MemoryFilesTest, ImageReadsAsAFile) {
  const Bytes image = Pattern(1000, 3);
  MemoryFiles files;
  files.LendImage("/image/a.d88", image.size(), CopyFrom,
                  const_cast<Bytes*>(&image));
  EXPECT_EQ(files.OpenForReading("a.d88"), nullptr);
  std::FILE* file = files.OpenForReading("/image/a.d88");
  ASSERT_NE(file, nullptr);
  std::setvbuf(file, nullptr, _IONBF, 0);
  EXPECT_TRUE(files.Identify(file).known);
  struct Case {
    int64_t offset;
    size_t wanted;
    bool seeks;
    size_t got;
  };
  const Case cases[] = {
      {0, 10, true, 10},  {990, 64, true, 10}, {500, 1, true, 1},
      {1000, 8, true, 0}, {5000, 8, true, 0},  {-1, 8, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offset);
    ASSERT_EQ(files.Seek(file, c.offset), c.seeks);
    if (!c.seeks) continue;
    uint8_t buffer[64] = {};
    ASSERT_EQ(std::fread(buffer, 1, c.wanted, file), c.got);
    for (size_t i = 0; i < c.got; ++i) {
      EXPECT_EQ(buffer[i], image[static_cast<size_t>(c.offset) + i]);
    }
  }
  std::fclose(file);
  files.Clear();
  EXPECT_EQ(files.OpenForReading("/image/a.d88"), nullptr);
}

// A file under a name is one file with one identity until it is removed;
// it is opened again only as the one looked at, or as any but the image.
TEST(MemoryFilesTest, NamesAndIdentities) {
  MemoryFiles files;
  bool taken = true;
  const OutputHandle a = files.Create("20A", &taken);
  ASSERT_NE(a, kNoHandle);
  EXPECT_FALSE(taken);
  EXPECT_EQ(files.Create("20A", &taken), kNoHandle);
  EXPECT_TRUE(taken);
  ASSERT_TRUE(files.Close(a));
  FileIdentity there;
  ASSERT_EQ(files.Inspect("20A", &there), NameKind::kSoleFile);
  EXPECT_EQ(files.Inspect("20B", nullptr), NameKind::kNothing);
  FileIdentity image;
  image.known = true;
  image.volume = 1;
  image.index = 1;
  uint64_t size = 1;
  struct Case {
    const char* name;
    const FileIdentity& identity;
    bool want;  // the one looked at (true) or any but (false)
    bool opens;
  };
  const Case cases[] = {
      {"20A", there, true, true},  {"20A", image, true, false},
      {"20A", image, false, true}, {"20A", there, false, false},
      {"20B", there, true, false}, {"20B", image, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + (c.want ? " as looked at" : " but"));
    const OutputHandle h = files.OpenSole(c.name, c.identity, c.want, &size);
    EXPECT_EQ(h != kNoHandle, c.opens);
    if (h != kNoHandle) {
      EXPECT_TRUE(files.Close(h));
    }
  }
  ASSERT_TRUE(files.Remove("20A"));
  EXPECT_FALSE(files.Remove("20A"));
  EXPECT_EQ(files.Inspect("20A", nullptr), NameKind::kNothing);
  const OutputHandle again = files.Create("20A", nullptr);
  ASSERT_NE(again, kNoHandle);
  FileIdentity anew;
  ASSERT_EQ(files.Inspect("20A", &anew), NameKind::kSoleFile);
  EXPECT_FALSE(SameFile(anew, there));
}

// A file written over a longer one and cut holds the new bytes alone; the
// files stand in the order made, a removed one's slot empty.
TEST(MemoryFilesTest, WritesOverAndCuts) {
  MemoryFiles files;
  const Bytes long_bytes = Pattern(3000, 1), short_bytes = Pattern(1000, 9);
  OutputHandle h = files.Create("100", nullptr);
  ASSERT_TRUE(files.Write(h, long_bytes.data(), 1000));
  ASSERT_TRUE(files.Write(h, long_bytes.data() + 1000, 2000));
  ASSERT_TRUE(files.Close(h));
  // Many names, so that the index grows while the first stay found.
  for (int i = 0; i < 500; ++i) {
    const std::string name = "n" + std::to_string(i);
    ASSERT_NE(files.Create(name.c_str(), nullptr), kNoHandle) << name;
  }
  ASSERT_TRUE(files.Remove("n7"));
  FileIdentity there;
  ASSERT_EQ(files.Inspect("100", &there), NameKind::kSoleFile);
  uint64_t size = 0;
  h = files.OpenSole("100", there, true, &size);
  ASSERT_NE(h, kNoHandle);
  EXPECT_EQ(size, 3000u);
  ASSERT_TRUE(files.Write(h, short_bytes.data(), short_bytes.size()));
  ASSERT_TRUE(files.Truncate(h, short_bytes.size()));
  ASSERT_TRUE(files.Close(h));
  ASSERT_EQ(files.SlotCount(), 501);
  const MemoryFiles::File& file = files.Slot(0);
  EXPECT_STREQ(file.name, "100");
  ASSERT_EQ(file.size, short_bytes.size());
  EXPECT_EQ(Bytes(file.data, file.data + file.size), short_bytes);
  EXPECT_EQ(files.Slot(8).name, nullptr);  // n7
  EXPECT_STREQ(files.Slot(500).name, "n499");
  EXPECT_EQ(files.Inspect("n499", nullptr), NameKind::kSoleFile);
  EXPECT_EQ(files.Inspect("n7", nullptr), NameKind::kNothing);
}

}  // namespace
}  // namespace dorvex
