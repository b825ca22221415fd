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
  // `other_than`: OpenSoleFileOtherThan, which opens any sole file but the
  // one given, for a name the run wrote itself.
  struct Case {
    const char* name;
    bool other_than;
    const FileIdentity& identity;
    bool opens;
  };
  const Case cases[] = {
      {"a", false, a, true},
      {"a", false, b, false},  // another file took the name
      {"a", false, FileIdentity(), false},
      {"link", false, a, false},  // never through a link
      {"missing", false, a, false},
      {"a", true, b, true},
      {"a", true, FileIdentity(), true},
      {"a", true, a, false},  // the image took the name
      {"link", true, b, false},
      {"missing", true, b, false},
  };
  for (const Case& c : cases) {
    if (!links && std::string(c.name) == "link") continue;
    uint64_t size = 0;
    const OutputHandle handle =
        c.other_than ? OpenSoleFileOtherThan(c.name, c.identity, &size)
                     : OpenSoleFile(c.name, c.identity, &size);
    EXPECT_EQ(handle != kNoHandle, c.opens) << c.name << c.other_than;
    if (handle != kNoHandle) {
      EXPECT_EQ(size, bytes.size()) << c.name;
      EXPECT_TRUE(CloseFile(handle));
    }
    EXPECT_EQ(d88::ReadBytes("a"), bytes) << c.name;
  }
}

// A new file is made only where nothing stands; the caller may ask whether
// a name stood there, or not ask.
TEST(FilesTest, CreateNewFileMakesOnlyANewFile) {
  d88::ScratchDir scratch;
  const d88::Bytes bytes = d88::Pattern(10, 1);
  ASSERT_TRUE(d88::WriteBytes("file", bytes));
  const struct {
    const char* name;
    bool creates, taken;
  } cases[] = {
      {"new", true, false},
      {"file", false, true},
      {"no-such-directory/new", false, false},
  };
  for (const auto& c : cases) {
    for (const bool asks : {true, false}) {
      bool taken = !c.taken;
      const OutputHandle handle =
          CreateNewFile(c.name, asks ? &taken : nullptr);
      EXPECT_EQ(handle != kNoHandle, c.creates) << c.name << asks;
      if (asks) {
        EXPECT_EQ(taken, c.taken) << c.name;
      }
      if (handle != kNoHandle) {
        EXPECT_TRUE(CloseFile(handle));
        EXPECT_TRUE(RemoveName(c.name));
      }
    }
  }
  EXPECT_EQ(d88::ReadBytes("file"), bytes);
}

}  // namespace
}  // namespace dorvex
