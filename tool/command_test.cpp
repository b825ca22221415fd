#include "tool/command.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>

#include "tests/console_text.h"
#include "tests/d88_builder.h"
#include "tests/run_command.h"
#include "tests/scratch_dir.h"

namespace dorvex {
namespace {

using d88::Bytes;
using d88::DataDisk;

TEST(CommandTest, WrongArgumentCountsGetTheUsageLine) {
  d88::ScratchDir scratch;
  ASSERT_TRUE(d88::WriteBytes("a.d88", DataDisk(1).Build()));
  for (const auto& args : std::vector<std::vector<std::string>>{
           {}, {"a.d88", "a.d88"}, {"a.d88", "x", "y"}}) {
    const d88::CommandResult result = d88::RunDorvex(args);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, d88::UsageLine());
  }
  EXPECT_EQ(scratch.List(), std::vector<std::string>{"a.d88"});
}

TEST(CommandTest, UnopenablePathsGetTheCannotOpenLine) {
  d88::ScratchDir scratch;
  std::filesystem::create_directory("dir.d88");
  for (const char* path : {"missing.d88", "", "dir.d88", "."}) {
    const d88::CommandResult result = d88::RunDorvex({path});
    EXPECT_EQ(result.status, 1) << path;
    EXPECT_EQ(result.out, "") << path;
    EXPECT_EQ(result.err, d88::CannotOpenLine()) << path;
  }
}

TEST(CommandTest, OpensPathsInJapaneseScript) {
  d88::ScratchDir scratch;
  const std::string name =
      "\xE3\x83\x87\xE3\x82\xA3\xE3\x82\xB9\xE3\x82\xAF.d88";
  ASSERT_TRUE(
      d88::WriteBytes(std::filesystem::u8path(name), DataDisk(1).Build()));
  const d88::CommandResult result = d88::RunDorvex({name});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, d88::ExtractingLine(1));
  EXPECT_EQ(result.err, "");
}

// Disks that are not data disks, each alone in an image.
TEST(CommandTest, IdentificationRejectsForeignDisks) {
  struct Case {
    const char* what;
    std::function<void(d88::Disk&)> damage;
  };
  const Case cases[] = {
      {"disk number 10", [](d88::Disk& d) { d.Write(0, 16, 144, {10}); }},
      {"disk number 255", [](d88::Disk& d) { d.Write(0, 16, 144, {255}); }},
      {"0xFE at 403", [](d88::Disk& d) { d.Write(0, 16, 147, {0xFE}); }},
      {"0x00 at 401", [](d88::Disk& d) { d.Write(0, 16, 145, {0x00}); }},
      {"sector 16 missing", [](d88::Disk& d) { d.tracks[0].pop_back(); }},
      {"sector 15 missing",
       [](d88::Disk& d) { d.tracks[0].erase(d.tracks[0].begin() + 14); }},
      {"sector 15 short",
       [](d88::Disk& d) { d.tracks[0][14].data.resize(255); }},
      {"sector 16 short, marks and all",
       [](d88::Disk& d) { d.tracks[0][15].data.resize(200); }},
      {"sector 16 of size code 2", [](d88::Disk& d) { d.tracks[0][15].n = 2; }},
      {"track 0 absent", [](d88::Disk& d) { d.track_offsets[0] = 0; }},
      {"track 0 beyond the disk",
       [](d88::Disk& d) { d.track_offsets[0] = 1 << 30; }},
      {"track 0 at cylinder 1",
       [](d88::Disk& d) {
         for (auto& sector : d.tracks[0]) sector.c = 1;
       }},
  };
  for (const Case& c : cases) {
    d88::ScratchDir scratch;
    DataDisk disk(1);
    disk.AddFile(0, 1, 1, d88::Pattern(10, 1));
    c.damage(disk.disk());
    ASSERT_TRUE(d88::WriteBytes("image.d88", disk.Build()));
    const d88::CommandResult result = d88::RunDorvex({"image.d88"});
    EXPECT_EQ(result.status, 0) << c.what;
    EXPECT_EQ(result.out, "") << c.what;
    EXPECT_EQ(result.err, d88::WrongDiskLine(1)) << c.what;
    EXPECT_EQ(scratch.List(), std::vector<std::string>{"image.d88"}) << c.what;
  }
}

TEST(CommandTest, EmptyAndHeaderlessImagesSayNothing) {
  d88::ScratchDir scratch;
  for (size_t size : {size_t{0}, size_t{687}}) {
    ASSERT_TRUE(d88::WriteBytes("image.d88", Bytes(size, 0x55)));
    const d88::CommandResult result = d88::RunDorvex({"image.d88"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
  }
}

TEST(CommandTest, ReportsEveryDiskByItsPosition) {
  d88::ScratchDir scratch;
  // Data disks at positions 1, 2, 10 and 12; foreign disks elsewhere,
  // among them disk number 9 (valid) and a disk with no tracks.
  std::vector<d88::Disk> disks;
  std::string expected_out, expected_err;
  for (int position = 1; position <= 12; ++position) {
    const bool data = position <= 2 || position == 10 || position == 12;
    if (data) {
      disks.push_back(DataDisk(position == 12 ? 9 : 0).disk());
      expected_out += d88::ExtractingLine(position);
    } else {
      d88::Disk foreign;
      if (position % 2 == 0) foreign = DataDisk(10).disk();
      disks.push_back(foreign);
      expected_err += d88::WrongDiskLine(position);
    }
  }
  ASSERT_TRUE(d88::WriteBytes("image.d88", d88::BuildImage(disks)));
  const d88::CommandResult result = d88::RunDorvex({"image.d88"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, expected_out);
  EXPECT_EQ(result.err, expected_err);
}

// How many files this process holds open; -1 where the host cannot tell.
// Under Wine a Windows program sees Wine's own descriptors there, which its
// threads open and close as they please; on Windows the removal below is the
// check.
int OpenFileCount() {
#ifdef _WIN32
  return -1;
#else
  std::error_code error;
  const std::filesystem::directory_iterator fds("/proc/self/fd", error);
  if (error) return -1;
  return static_cast<int>(
      std::distance(fds, std::filesystem::directory_iterator()));
#endif
}

// A run leaves no file open behind it, so that the image can be removed at
// once, even on Windows, which refuses to remove an open file.
TEST(CommandTest, EachRunClosesItsImage) {
  d88::ScratchDir scratch;
  DataDisk disk(1);
  disk.AddFile(0, 1, 1, d88::Pattern(10, 1));
  ASSERT_TRUE(d88::WriteBytes("image.d88", disk.Build()));
  const int before = OpenFileCount();
  EXPECT_EQ(d88::RunDorvex({"image.d88"}).status, 0);
  EXPECT_EQ(OpenFileCount(), before);
  std::error_code error;
  EXPECT_TRUE(std::filesystem::remove("image.d88", error)) << error.message();
}

// What a run sums up: its disks, data disks, the names that hold a file it
// wrote (a later disk's file of the same name counts once), and the files
// it reported.
TEST(CommandTest, SumsUpTheRun) {
  d88::DataDisk first(1), again(1), other(2);
  first.AddFile(0, 1, 1, d88::Pattern(100, 1));
  first.AddFile(1, 2, 1, d88::Pattern(2000, 2));
  again.AddFile(1, 1, 1, d88::Pattern(30, 3));
  again.SetEntry(2, 6, 1, 10);  // unreadable: sector 6
  other.AddFile(5, 3, 2, d88::Pattern(4000, 4));
  const struct {
    const char* what;
    std::vector<d88::Disk> disks;
    const char* existing;  // a directory under this name, or nullptr
    dorvex::RunSummary expected;
  } cases[] = {
      {"one data disk", {first.disk()}, nullptr, {1, 1, 1, 2, 0}},
      {"the same number again",
       {first.disk(), d88::Disk(), again.disk()},
       nullptr,
       {3, 3, 2, 2, 1}},
      {"another number",
       {first.disk(), other.disk()},
       nullptr,
       {2, 2, 2, 3, 0}},
      {"a name that cannot be written", {first.disk()}, "101", {1, 1, 1, 1, 1}},
      {"no data disk", {d88::Disk()}, nullptr, {1, 1, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    d88::ScratchDir scratch;
    ASSERT_TRUE(d88::WriteBytes("image.d88", d88::BuildImage(c.disks)));
    if (c.existing != nullptr) std::filesystem::create_directory(c.existing);
    const dorvex::RunSummary got = d88::RunDorvex({"image.d88"}).summary;
    EXPECT_EQ(got.disks, c.expected.disks) << c.what;
    EXPECT_EQ(got.disks_reached, c.expected.disks_reached) << c.what;
    EXPECT_EQ(got.data_disks, c.expected.data_disks) << c.what;
    EXPECT_EQ(got.files_written, c.expected.files_written) << c.what;
    EXPECT_EQ(got.files_failed, c.expected.files_failed) << c.what;
  }
}

// A console window of dorvex's own says what to do, or where the files
// went, before it waits; a test's standard input is no console, so the wait
// returns at once.
TEST(CommandTest, OwnWindowSaysWhereTheFilesWent) {
  d88::ScratchDir scratch;
  const std::string here = std::filesystem::current_path().u8string();
  RunSummary summary;
  summary.files_written = 6;
  for (int argc : {1, 2, 3}) {
    std::ostringstream out, err;
    HoldOwnWindow(argc, summary, out, err);
    EXPECT_EQ(out.str(), (argc == 2 ? d88::FilesWentToLine(here, 6) : "") +
                             d88::PressEnterLine())
        << argc;
    EXPECT_EQ(err.str(), argc == 2 ? "" : d88::DropImageLine()) << argc;
  }
}

// Each stream takes the form that its own console asks for; the bytes of a
// pipe stay Shift_JIS whatever the other stream is.
TEST(CommandTest, EachStreamGetsTheFormOfItsConsole) {
  d88::ScratchDir scratch;
  d88::DataDisk data(1);
  data.SetEntry(0, 6, 1, 10);  // unreadable: sector 6
  d88::Disk foreign;
  ASSERT_TRUE(
      d88::WriteBytes("image.d88", d88::BuildImage({data.disk(), foreign})));
  const std::string out_utf8 = "1 枚めのイメージからファイルを抽出します.\n";
  const std::string err_utf8 =
      "100 の読み込みに失敗しました.\n"
      "ディスク 2 枚目は正しいディスクではないようです.\n";
  const std::string out_sjis = d88::ExtractingLine(1);
  const std::string err_sjis =
      d88::ReadFailedLine("100") + d88::WrongDiskLine(2);
  using dorvex::TextForm;
  const struct {
    TextForm out_form, err_form;
    const std::string &out, &err;
  } cases[] = {
      {TextForm::kShiftJis, TextForm::kShiftJis, out_sjis, err_sjis},
      {TextForm::kUtf8, TextForm::kUtf8, out_utf8, err_utf8},
      {TextForm::kUtf8, TextForm::kShiftJis, out_utf8, err_sjis},
      {TextForm::kShiftJis, TextForm::kUtf8, out_sjis, err_utf8},
      // A Windows console that cannot take the text gets it as UTF-8 bytes.
      {TextForm::kWindowsConsole, TextForm::kShiftJis, out_utf8, err_sjis},
  };
  for (const auto& c : cases) {
    const d88::CommandResult result =
        d88::RunDorvex({"image.d88"}, c.out_form, c.err_form);
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, c.err);
  }
  // Usage and open failures take the form too.
  EXPECT_EQ(d88::RunDorvex({}, TextForm::kUtf8, TextForm::kUtf8).err,
            d88::UsageLine());
  EXPECT_EQ(
      d88::RunDorvex({"missing"}, TextForm::kShiftJis, TextForm::kUtf8).err,
      "ファイルをオープンできません\n");
}

}  // namespace
}  // namespace dorvex
