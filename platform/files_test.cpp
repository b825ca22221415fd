#include "platform/files.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/d88_builder.h"
#include "tests/scratch_dir.h"

namespace dorvex {
namespace {

namespace fs = std::filesystem;

// A file is overwritten in place only when the file opened is the one that
// was looked at: a name can change between the look and the open. The open
// itself changes nothing: the file is cut only after it was written.
TEST(FilesTest, OpenSoleFileOpensOnlyTheFileLookedAt) {
  d88::ScratchDir scratch;
  const d88::Bytes bytes = d88::Pattern(100, 1);
  ASSERT_TRUE(d88::WriteBytes("a", bytes));
  ASSERT_TRUE(d88::WriteBytes("b", bytes));
  FileIdentity a, b;
  ASSERT_EQ(InspectName("a", &a), NameKind::kSoleFile);
  ASSERT_EQ(InspectName("b", &b), NameKind::kSoleFile);
  bool links = true;
  try {
    fs::create_symlink("a", "link");
  } catch (const fs::filesystem_error&) {
    links = false;  // Windows may refuse links to an unprivileged user
  }
  struct Case {
    const char* name;
    const FileIdentity& expected;
    bool opens;
  };
  const Case cases[] = {
      {"a", a, true},
      {"a", b, false},  // another file took the name
      {"a", FileIdentity(), false},
      {"link", a, false},  // never through a link
      {"missing", a, false},
  };
  for (const Case& c : cases) {
    if (!links && std::string(c.name) == "link") continue;
    uint64_t size = 0;
    const OutputHandle handle = OpenSoleFile(c.name, c.expected, &size);
    EXPECT_EQ(handle != kNoHandle, c.opens) << c.name;
    if (handle != kNoHandle) {
      EXPECT_EQ(size, bytes.size()) << c.name;
      EXPECT_TRUE(CloseFile(handle));
    }
    EXPECT_EQ(d88::ReadBytes("a"), bytes) << c.name;
  }
}

}  // namespace
}  // namespace dorvex
