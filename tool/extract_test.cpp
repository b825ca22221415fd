#include "tool/extract.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "image/byte_order.h"
#include "tests/console_text.h"
#include "tests/d88_builder.h"
#include "tests/run_command.h"
#include "tests/scratch_dir.h"

namespace dorvex {
namespace {

using d88::Bytes;
using d88::DataDisk;
using Files = std::map<std::string, Bytes>;

// Runs the command on `disks` in a scratch directory and checks the console
// and every file the run left there, byte for byte.
void ExpectExtraction(const std::vector<d88::Disk>& disks,
                      const std::string& out, const std::string& err,
                      const Files& files, const Files& existing = {}) {
  d88::ScratchDir scratch;
  ASSERT_TRUE(d88::WriteBytes("image.d88", d88::BuildImage(disks)));
  for (const auto& [name, bytes] : existing) d88::WriteBytes(name, bytes);
  const d88::CommandResult result = d88::RunDorvex({"image.d88"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, out);
  EXPECT_EQ(result.err, err);
  std::vector<std::string> names{"image.d88"};
  for (const auto& entry : files) names.push_back(entry.first);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(scratch.List(), names);
  for (const auto& [name, bytes] : files) {
    EXPECT_EQ(d88::ReadBytes(name), bytes) << name;
  }
}

TEST(ExtractTest, FormatsNamesAsThreeHexDigits) {
  const struct {
    int disk, entry;
    const char* name;
  } cases[] = {{0, 0, "000"}, {0, 10, "00A"}, {5, 126, "57E"}, {9, 100, "964"}};
  for (const auto& c : cases) {
    char name[4];
    FormatOutputName(c.disk, c.entry, name);
    EXPECT_STREQ(name, c.name);
  }
}

// What a run knows of its names, after the notes of each case: how it would
// guess at some names, and how many names hold a file it wrote.
TEST(WrittenNamesTest, GuessesFromWhatTheRunWrote) {
  struct NoteCall {
    int disk, entry;
    bool written, found_taken;
  };
  struct Guess {
    int disk, entry;
    NameGuess guess;
  };
  const NameGuess kFree = NameGuess::kFree, kTaken = NameGuess::kTaken,
                  kOurs = NameGuess::kOurs;
  const struct {
    const char* rule;
    std::vector<NoteCall> notes;
    std::vector<Guess> guesses;
    int count;
  } cases[] = {
      {"a run that wrote nothing finds every name free",
       {},
       {{0, 0, kFree}, {9, 126, kFree}},
       0},
      {"a name written is the run's own, and only that name",
       {{3, 7, true, false}},
       {{3, 7, kOurs}, {3, 6, kFree}, {3, 8, kFree}, {2, 7, kFree}},
       1},
      {"the last entry of a disk is not the first of the next",
       {{0, 126, true, false}},
       {{0, 126, kOurs}, {1, 0, kFree}},
       1},
      {"the first entry of a disk is not the last of the one before",
       {{1, 0, true, false}},
       {{1, 0, kOurs}, {0, 126, kFree}},
       1},
      {"the last name of the last disk number",
       {{9, 126, true, false}},
       {{9, 126, kOurs}, {9, 125, kFree}},
       1},
      {"a name written again counts once",
       {{2, 5, true, false}, {2, 5, true, false}},
       {{2, 5, kOurs}},
       1},
      {"a failed write of the run's own name leaves none there",
       {{2, 5, true, false}, {2, 5, false, false}},
       {{2, 5, kFree}},
       0},
      {"a failed write of a new name holds nothing",
       {{2, 5, false, false}},
       {{2, 5, kFree}},
       0},
      {"after a new name found taken, the next is looked at first",
       {{1, 1, true, true}},
       {{1, 1, kOurs}, {1, 2, kTaken}, {7, 0, kTaken}},
       1},
      {"a failed new name found taken counts as taken too",
       {{1, 1, false, true}},
       {{1, 1, kTaken}, {1, 2, kTaken}},
       0},
      {"after a free new name, the next is created at once",
       {{1, 1, true, true}, {1, 2, true, false}},
       {{1, 3, kFree}},
       2},
      {"the run's own name written again changes no guess",
       {{1, 1, true, false}, {1, 2, true, true}, {1, 1, true, false}},
       {{1, 3, kTaken}},
       2},
  };
  for (const auto& c : cases) {
    WrittenNames names;
    for (const NoteCall& note : c.notes) {
      names.Note(note.disk, note.entry, note.written, note.found_taken);
    }
    for (const Guess& guess : c.guesses) {
      EXPECT_EQ(names.GuessFor(guess.disk, guess.entry), guess.guess)
          << c.rule << ": " << guess.disk << "/" << guess.entry;
    }
    EXPECT_EQ(names.Count(), c.count) << c.rule;
  }
}

// Every name of every disk number has a place of its own.
TEST(WrittenNamesTest, HoldsEveryNameApart) {
  WrittenNames names;
  int count = 0;
  for (int disk = 0; disk < kDiskNumbers; ++disk) {
    for (int entry = 0; entry < kDirectoryEntries; ++entry) {
      ASSERT_EQ(names.GuessFor(disk, entry), NameGuess::kFree)
          << disk << "/" << entry;
      names.Note(disk, entry, true, false);
      ASSERT_EQ(names.Count(), ++count);
    }
  }
  for (int disk = 0; disk < kDiskNumbers; ++disk) {
    for (int entry = 0; entry < kDirectoryEntries; ++entry) {
      names.Note(disk, entry, false, false);
      ASSERT_EQ(names.GuessFor(disk, entry), NameGuess::kFree)
          << disk << "/" << entry;
      ASSERT_EQ(names.Count(), --count);
    }
  }
}

TEST(ExtractTest, DataDiskThenForeignDisk) {
  DataDisk data(1);
  const Bytes a = d88::Pattern(3000, 1), b = d88::Pattern(1024, 2),
              c = d88::Pattern(7, 3);
  data.AddFile(0, 1, 1, a);
  data.AddFile(1, 1, 4, b);
  data.AddFile(5, 2, 1, c);
  d88::Disk foreign;
  foreign.FormatTrack(0, 1, 16, 1);
  ExpectExtraction({data.disk(), foreign}, d88::ExtractingLine(1),
                   d88::WrongDiskLine(2), {{"100", a}, {"101", b}, {"105", c}});
}

TEST(ExtractTest, RunsOfSectorsAcrossTracksAndHeads) {
  DataDisk data(0);
  const Bytes one = d88::Pattern(1, 4);
  const Bytes track2 = d88::Pattern(5 * 1024 + 1, 5);  // head 0 into head 1
  const Bytes track3 = d88::Pattern(2048, 6);          // C 1 H 1 into C 2 H 0
  const Bytes largest = d88::Pattern(65535, 7);
  data.AddFile(0, 1, 3, one);
  data.AddFile(1, 2, 1, track2);
  data.AddFile(2, 3, 5, track3);
  data.AddFile(126, 10, 2, largest);
  ExpectExtraction(
      {data.disk()}, d88::ExtractingLine(1), "",
      {{"000", one}, {"001", track2}, {"002", track3}, {"07E", largest}});
}

TEST(ExtractTest, UnreadableFilesAreReportedInEntryOrder) {
  DataDisk data(2);
  const Bytes good = d88::Pattern(100, 8);
  data.AddFile(0, 1, 1, good);
  data.SetEntry(1, 6, 1, 10);    // sector 6: the window is 1 to 5
  data.SetEntry(2, 1, 200, 10);  // track 200 does not exist
  data.SetEntry(3, 1, 30, 10);   // track 30 is absent
  data.SetEntry(4, 5, 1, 1025);  // runs into track 2, absent
  data.SetEntry(5, 1, 0, 10);    // track 0 holds 256-byte sectors only
  data.AddFile(6, 5, 1, d88::Pattern(2000, 9));
  data.disk().tracks[5][1].data.resize(975);  // one byte short of the piece
  data.AddFile(7, 6, 1, good);
  data.disk().tracks[6][0].n = 2;  // wrong size code
  data.AddFile(8, 7, 1, good);
  data.disk().tracks[7][0].c = 9;  // wrong cylinder
  std::string err;
  for (const char* name :
       {"201", "202", "203", "204", "205", "206", "207", "208"}) {
    err += d88::ReadFailedLine(name);
  }
  ExpectExtraction({data.disk()}, d88::ExtractingLine(1), err, {{"200", good}});
}

TEST(ExtractTest, LastSectorNeedsOnlyWhatTheLengthAsks) {
  DataDisk data(3);
  const Bytes file = d88::Pattern(1500, 10);
  data.AddFile(0, 1, 1, file);
  data.disk().tracks[1][1].data.resize(476);
  ExpectExtraction({data.disk()}, d88::ExtractingLine(1), "", {{"300", file}});
}

TEST(ExtractTest, LaterDiskWithTheSameNumberReplacesFiles) {
  DataDisk first(4), second(4);
  const Bytes old_file = d88::Pattern(5000, 11), new_file = d88::Pattern(9, 12);
  const Bytes only_first = d88::Pattern(300, 13);
  first.AddFile(0, 1, 1, old_file);
  first.AddFile(1, 3, 1, only_first);
  second.AddFile(0, 1, 1, new_file);
  ExpectExtraction({first.disk(), second.disk()},
                   d88::ExtractingLine(1) + d88::ExtractingLine(2), "",
                   {{"400", new_file}, {"401", only_first}},
                   {{"400", Bytes(70000, 1)}});
}

TEST(ExtractTest, LastFourDirectoryBytesAreNoEntry) {
  DataDisk data(5);
  const Bytes file = d88::Pattern(20, 14);
  data.AddFile(126, 1, 1, file);
  data.disk().Write(0, 14, 252, {1, 1, 0x10, 0x00});  // bytes 508 to 511
  ExpectExtraction({data.disk()}, d88::ExtractingLine(1), "", {{"57E", file}});
}

TEST(ExtractTest, DamagedDirectories) {
  const Bytes low = d88::Pattern(40, 15), high = d88::Pattern(50, 16);
  auto disk = [&](std::function<void(d88::Disk&)> damage) {
    DataDisk data(6);
    data.AddFile(0, 1, 1, low);    // in sector 13
    data.AddFile(64, 1, 2, high);  // at byte 0 of sector 14
    damage(data.disk());
    return data.disk();
  };
  // Sector 14 missing: its entries read as empty.
  ExpectExtraction(
      {disk([](d88::Disk& d) { d.tracks[0].erase(d.tracks[0].begin() + 13); })},
      d88::ExtractingLine(1), "", {{"600", low}});
  // Sector 13 missing: the run stops before sector 14 is read.
  ExpectExtraction(
      {disk([](d88::Disk& d) { d.tracks[0].erase(d.tracks[0].begin() + 12); })},
      d88::ExtractingLine(1), "", {});
  // Sector 14 short: the bytes it has still stand in the directory.
  ExpectExtraction({disk([](d88::Disk& d) { d.tracks[0][13].data.resize(4); })},
                   d88::ExtractingLine(1), "", {{"600", low}, {"640", high}});
}

// Disk 2 begins just below 2 GiB, its track 0 straddles 2 GiB and its other
// tracks lie up to nearly 4 GiB into
// a sparse image: every host must seek there alike.
TEST(ExtractTest, TracksPastTwoGibReadAlikeEverywhere) {
  d88::ScratchDir scratch;
  constexpr int64_t kBase = 0x7FFFF000;
  d88::Disk first;
  first.disk_size = kBase;
  DataDisk data(1);
  const Bytes a = d88::Pattern(3000, 21), b = d88::Pattern(2048, 22);
  data.AddFile(0, 1, 1, a);  // track 1, moved near 4 GiB
  data.AddFile(1, 2, 5, b);  // tracks 2 (past 2 GiB) and 3 (3 GiB)
  const Bytes built = data.Build();
  const std::map<int, int64_t> moved = {
      {0, 688}, {1, 0x7FFF0000}, {2, 0x2000}, {3, 0x40000000}};
  // The builder lays tracks back to back from 688 on; each is moved whole.
  Bytes header(built.begin(), built.begin() + 688);
  auto put32 = [&header](size_t at, int64_t value) {
    for (size_t i = 0; i < 4; ++i) {
      header[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
  };
  auto entry = [&built](int t) {
    return DecodeLe32(built.data() + 32 + 4 * t);
  };
  int64_t size = 0;
  bool written = d88::WriteBytesAt("image.d88", 0, d88::BuildDisk(first));
  for (const auto& [track, to] : moved) {
    const int32_t from = entry(track);
    const int32_t end =
        track == 3 ? static_cast<int32_t>(built.size()) : entry(track + 1);
    put32(32 + 4 * static_cast<size_t>(track), to);
    size = std::max(size, to + end - from);
    written = written && d88::WriteBytesAt(
                             "image.d88", kBase + to,
                             Bytes(built.begin() + from, built.begin() + end));
  }
  put32(28, size);
  written = written && d88::WriteBytesAt("image.d88", kBase, header);
  if (!written) GTEST_SKIP() << "this file system holds no 4 GiB sparse file";

  const d88::CommandResult result = d88::RunDorvex({"image.d88"});
  EXPECT_EQ(result.out, d88::ExtractingLine(2));
  EXPECT_EQ(result.err, d88::WrongDiskLine(1));
  EXPECT_EQ(d88::ReadBytes("100"), a);
  EXPECT_EQ(d88::ReadBytes("101"), b);
}

}  // namespace
}  // namespace dorvex
