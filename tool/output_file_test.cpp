#include "tool/output_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>

#include "tests/console_text.h"
#include "tests/d88_builder.h"
#include "tests/run_command.h"
#include "tests/scratch_dir.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#endif

namespace dorvex {
namespace {

namespace fs = std::filesystem;
using d88::Bytes;

// What stands under the output name "100" before a run that extracts "100"
// and "101" from data disk 1, and what must be there after it.
TEST(OutputFileTest, WhatStandsUnderAnOutputName) {
  const Bytes file = d88::Pattern(3000, 1), other = d88::Pattern(20, 2);
  const Bytes notes = d88::Pattern(50, 3);
  d88::DataDisk disk(1);
  disk.AddFile(0, 1, 1, file);
  disk.AddFile(1, 2, 1, other);
  const Bytes image = disk.Build();
  const std::string failed = d88::WriteFailedLine("100");
  struct Case {
    const char* what;
    const char* image_path;
    std::function<void()> before;  // runs in the scratch directory
    bool replaced;                 // "100" holds the file, or stays as it was
    bool in_place;                 // the same file, its permissions kept
  };
  const Case cases[] = {
      {"nothing", "image.d88", [] {}, true, false},
      {"a longer file", "image.d88",
       [] { d88::WriteBytes("100", Bytes(70000, 7)); }, true, true},
      {"a shorter file", "image.d88",
       [] { d88::WriteBytes("100", Bytes(10, 7)); }, true, true},
      {"a file as long", "image.d88",
       [] { d88::WriteBytes("100", Bytes(3000, 7)); }, true, true},
      {"a file one byte longer", "image.d88",
       [] { d88::WriteBytes("100", Bytes(3001, 7)); }, true, true},
      {"a file one byte shorter", "image.d88",
       [] { d88::WriteBytes("100", Bytes(2999, 7)); }, true, true},
      {"an empty file", "image.d88", [] { d88::WriteBytes("100", Bytes()); },
       true, true},
      {"a file of mode 0600", "image.d88",
       [] {
         d88::WriteBytes("100", Bytes(3000, 7));
         fs::permissions("100", fs::perms::owner_read | fs::perms::owner_write);
       },
       true, true},
      {"a file with another name", "image.d88",
       [] { fs::create_hard_link("outside/notes", "100"); }, true, false},
      {"a link to a file outside", "image.d88",
       [] { fs::create_symlink("outside/notes", "100"); }, true, false},
      {"a dangling link", "image.d88",
       [] { fs::create_symlink("outside/missing", "100"); }, true, false},
      {"a link to the image", "image.d88",
       [] { fs::create_symlink("image.d88", "100"); }, true, false},
      {"the image itself", "100", [] { fs::rename("image.d88", "100"); }, false,
       false},
      {"a hard link to the image", "image.d88",
       [] { fs::create_hard_link("image.d88", "100"); }, false, false},
      {"a directory", "image.d88", [] { fs::create_directory("100"); }, false,
       false},
#ifndef _WIN32
      {"a FIFO", "image.d88", [] { ASSERT_EQ(mkfifo("100", 0644), 0); }, true,
       false},
#endif
  };
  for (const Case& c : cases) {
    d88::ScratchDir scratch;
    fs::create_directory("outside");
    ASSERT_TRUE(d88::WriteBytes("outside/notes", notes));
    ASSERT_TRUE(d88::WriteBytes("image.d88", image));
    try {
      c.before();
    } catch (const fs::filesystem_error& error) {
      // Windows may refuse links to an unprivileged user.
      std::printf("skipped \"%s\": %s\n", c.what, error.what());
      continue;
    }
    const fs::perms perms_before = fs::symlink_status("100").permissions();
#ifndef _WIN32
    struct stat before {};
    lstat("100", &before);
#endif
    const d88::CommandResult result = d88::RunDorvex({c.image_path});
    EXPECT_EQ(result.status, 0) << c.what;
    EXPECT_EQ(result.out, d88::ExtractingLine(1)) << c.what;
    EXPECT_EQ(result.err, c.replaced ? "" : failed) << c.what;
    EXPECT_EQ(d88::ReadBytes(c.image_path), image) << c.what;
    EXPECT_EQ(d88::ReadBytes("101"), other) << c.what;
    EXPECT_EQ(d88::ReadBytes("outside/notes"), notes) << c.what;
    EXPECT_FALSE(fs::exists("outside/missing")) << c.what;
    if (c.replaced) {
      // Never opened unless a regular file: reading a FIFO would block.
      ASSERT_TRUE(fs::is_regular_file(fs::symlink_status("100"))) << c.what;
      EXPECT_EQ(d88::ReadBytes("100"), file) << c.what;
    } else if (!fs::is_directory("100")) {
      EXPECT_EQ(d88::ReadBytes("100"), image) << c.what;
    } else {
      EXPECT_TRUE(fs::is_empty("100")) << c.what;
    }
    if (c.in_place) {
      EXPECT_EQ(fs::status("100").permissions(), perms_before) << c.what;
#ifndef _WIN32
      struct stat after {};
      lstat("100", &after);
      EXPECT_EQ(after.st_ino, before.st_ino) << c.what;
#endif
    }
  }
}

#ifndef _WIN32
// A file-size limit makes the system take part of a write and refuse the
// rest: nothing of the file may stay, and the next file is still written.
TEST(OutputFileTest, WriteCutShortLeavesNoFile) {
  d88::ScratchDir scratch;
  d88::DataDisk disk(1), again(1);
  const Bytes small = d88::Pattern(1000, 4);
  disk.AddFile(0, 1, 1, d88::Pattern(3000, 5));
  disk.AddFile(1, 2, 1, small);
  // A later disk of the same number: "101" again, too long this time, and
  // "102", short.
  again.AddFile(1, 1, 1, d88::Pattern(3000, 6));
  again.AddFile(2, 4, 1, small);
  ASSERT_TRUE(d88::WriteBytes("image.d88",
                              d88::BuildImage({disk.disk(), again.disk()})));
  d88::WriteBytes("100", Bytes(10, 1));  // replaced, then cut short

  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit limited = saved;
  limited.rlim_cur = 2048;
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  const d88::CommandResult result = d88::RunDorvex({"image.d88"});
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);

  EXPECT_EQ(result.err,
            d88::WriteFailedLine("100") + d88::WriteFailedLine("101"));
  EXPECT_FALSE(fs::exists(fs::symlink_status("100")));
  // The first disk's "101" went with the failed write over it.
  EXPECT_FALSE(fs::exists(fs::symlink_status("101")));
  EXPECT_EQ(d88::ReadBytes("102"), small);
  EXPECT_EQ(result.summary.files_written, 1);
  EXPECT_EQ(result.summary.files_failed, 2);
}
#endif

}  // namespace
}  // namespace dorvex
