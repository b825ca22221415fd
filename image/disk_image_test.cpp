#include "image/disk_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "tests/d88_builder.h"
#include "tests/scratch_dir.h"

namespace dorvex {
namespace {

using d88::Bytes;
using d88::Disk;

class DiskImageTest : public ::testing::Test {
 protected:
  // Writes `bytes` as the image file and opens it.
  void OpenImage(const Bytes& bytes) {
    ASSERT_TRUE(d88::WriteBytes("image.d88", bytes));
    ASSERT_TRUE(image_.Open("image.d88"));
  }
  void OpenDisks(const std::vector<Disk>& disks) {
    OpenImage(d88::BuildImage(disks));
  }

  d88::ScratchDir scratch_;
  DiskImage image_;
};

Disk PlainDisk(const std::string& name = "DISK") {
  Disk disk;
  disk.name = name;
  disk.FormatTrack(0, 1, 16, 1);
  return disk;
}

Disk SizedDisk(int64_t size) {
  Disk disk = PlainDisk();
  disk.disk_size = size;
  return disk;
}

// ---- Opening and indexing ------------------------------------------------

TEST_F(DiskImageTest, ScanCountsDisksByTheirHeaders) {
  const Bytes one = d88::BuildDisk(PlainDisk());
  const int64_t size = static_cast<int64_t>(one.size());
  struct Case {
    const char* what;
    Bytes image;
    int32_t count;
  };
  auto repeat = [](const Bytes& disk, int times, size_t extra) {
    Bytes out;
    for (int i = 0; i < times; ++i)
      out.insert(out.end(), disk.begin(), disk.end());
    out.resize(out.size() + extra, 0xAA);
    return out;
  };
  Bytes backwards = d88::BuildImage({PlainDisk(), SizedDisk(-size)});
  const Case cases[] = {
      {"empty file", {}, 0},
      {"687 bytes", Bytes(687, 0), 0},
      {"688 zero bytes: size 0 repeats", Bytes(688, 0), 64},
      {"two disks and 100 bytes", repeat(one, 2, 100), 2},
      {"70 disks", repeat(one, 70, 0), 64},
      {"first size 0", d88::BuildImage({SizedDisk(0), PlainDisk()}), 64},
      {"later size 0", d88::BuildImage({PlainDisk(), SizedDisk(0)}), 64},
      {"size past the end", d88::BuildImage({SizedDisk(size + 1)}), 1},
      {"negative size", d88::BuildImage({SizedDisk(-1), PlainDisk()}), 1},
      {"size 2^31-1", d88::BuildImage({SizedDisk(0x7FFFFFFF)}), 1},
      {"sum leaves 32 bits",
       d88::BuildImage({PlainDisk(), SizedDisk(0x7FFFFFFF), PlainDisk()}), 2},
      {"size going back to 0", backwards, 64},
  };
  for (const Case& c : cases) {
    DiskImage image;
    ASSERT_TRUE(d88::WriteBytes("image.d88", c.image));
    ASSERT_TRUE(image.Open("image.d88")) << c.what;
    EXPECT_EQ(image.GetDiskCount(), c.count) << c.what;
  }
}

TEST_F(DiskImageTest, SizeZeroDisksIndexTheirOwnOffsetAgain) {
  Disk first = PlainDisk("FIRST");
  Disk stuck = PlainDisk("STUCK");
  stuck.disk_size = 0;
  OpenDisks({first, stuck});
  ASSERT_EQ(image_.GetDiskCount(), 64);
  for (int32_t i : {1, 2, 63}) {
    ASSERT_TRUE(image_.SelectDisk(i));
    EXPECT_STREQ(image_.GetDiskName(), "STUCK") << i;
  }
  ASSERT_TRUE(image_.SelectDisk(0));
  EXPECT_STREQ(image_.GetDiskName(), "FIRST");
}

TEST_F(DiskImageTest, OpenFailsOnMissingPathsAndDirectories) {
  EXPECT_FALSE(image_.Open("no-such.d88"));
  EXPECT_FALSE(image_.Open(""));
  EXPECT_FALSE(image_.Open("."));
  EXPECT_EQ(image_.GetDiskCount(), 0);
  EXPECT_FALSE(image_.SelectDisk(0));
}

// ---- Selecting a disk ----------------------------------------------------

TEST_F(DiskImageTest, SelectDiskLoadsNameAndMediaType) {
  Disk a = PlainDisk("0123456789ABCDEF");  // 16 bytes, no terminator stored
  a.media_type = 0x20;
  a.FormatTrack(1, 1, 1, 0);
  a.tracks[1][0].data.resize(1);  // an odd size: disk b begins at an odd offset
  Disk b = PlainDisk("B");
  b.media_type = 0xFF;
  OpenDisks({a, b});
  ASSERT_TRUE(image_.SelectDisk(0));
  EXPECT_STREQ(image_.GetDiskName(), "0123456789ABCDEF");
  EXPECT_EQ(image_.GetMediaType(), 32);
  ASSERT_TRUE(image_.SelectDisk(1));
  EXPECT_STREQ(image_.GetDiskName(), "B");
  EXPECT_EQ(image_.GetMediaType(), 255);
}

TEST_F(DiskImageTest, FailedSelectionClearsIt) {
  // The scan ends at the negative size: no header stands at index 1.
  OpenDisks({SizedDisk(-1)});
  uint8_t buffer[256];
  for (int32_t bad : {1, -1, 64, 1 << 30}) {
    ASSERT_TRUE(image_.SelectDisk(0));
    EXPECT_FALSE(image_.SelectDisk(bad)) << bad;
    EXPECT_EQ(image_.GetMediaType(), -1) << bad;
    EXPECT_STREQ(image_.GetDiskName(), "") << bad;
    EXPECT_EQ(image_.ReadSector(0, 0, 0, 1, 1, buffer, 256), 0) << bad;
  }
}

TEST_F(DiskImageTest, ClosingKeepsTheNameButNothingElse) {
  OpenDisks({PlainDisk("KEPT")});
  ASSERT_TRUE(image_.SelectDisk(0));
  image_.Close();
  EXPECT_EQ(image_.GetDiskCount(), 0);
  EXPECT_EQ(image_.GetMediaType(), -1);
  EXPECT_STREQ(image_.GetDiskName(), "KEPT");
  uint8_t buffer[256];
  EXPECT_EQ(image_.ReadSector(0, 0, 0, 1, 1, buffer, 256), 0);
  EXPECT_EQ(image_.ListSectorIds(0, buffer, 256), 0);
  EXPECT_FALSE(image_.SelectDisk(0));
  EXPECT_STREQ(image_.GetDiskName(), "KEPT");  // unchanged with nothing open
}

TEST_F(DiskImageTest, SelectFailsWhenTheFileShrankAfterOpening) {
  // Disk A is larger than the read buffer, so that B's header must come
  // from the file again.
  Disk a = PlainDisk("A");
  for (int t = 1; t < 80; ++t) a.FormatTrack(t, 1, 16, 1);
  OpenDisks({a, PlainDisk("B")});
  ASSERT_TRUE(image_.SelectDisk(0));
  ASSERT_TRUE(d88::WriteBytes("image.d88", d88::BuildDisk(a)));
  EXPECT_TRUE(image_.SelectDisk(0));
  EXPECT_FALSE(image_.SelectDisk(1));
  EXPECT_EQ(image_.GetMediaType(), -1);
  uint8_t buffer[256];
  EXPECT_EQ(image_.ReadSector(0, 0, 0, 1, 1, buffer, 256), 0);
}

// ---- Reading sectors -----------------------------------------------------

// A disk whose track 0 holds sectors 1 to 16 of 256 bytes, each filled with
// its own sector number, and tracks 1 to 4 sectors 1 to 5 of 1024 bytes
// filled with track * 16 + sector.
Disk NumberedDisk() {
  Disk disk = PlainDisk();
  for (int r = 1; r <= 16; ++r) {
    disk.Write(0, r, 0, Bytes(256, static_cast<uint8_t>(r)));
  }
  for (int t = 1; t <= 4; ++t) {
    disk.FormatTrack(t, 1, t == 1 ? 6 : 5, 3);  // track 1 also holds R 6
    for (int r = 1; r <= (t == 1 ? 6 : 5); ++r) {
      disk.Write(t, r, 0, Bytes(1024, static_cast<uint8_t>(t * 16 + r)));
    }
  }
  return disk;
}

TEST_F(DiskImageTest, ReadSectorCopiesAtMostMaxLength) {
  OpenDisks({NumberedDisk()});
  ASSERT_TRUE(image_.SelectDisk(0));
  uint8_t buffer[300];
  std::memset(buffer, 0xEE, sizeof buffer);
  EXPECT_EQ(image_.ReadSector(0, 0, 0, 7, 1, buffer, 100), 100);
  EXPECT_EQ(buffer[0], 7);
  EXPECT_EQ(buffer[99], 7);
  EXPECT_EQ(buffer[100], 0xEE);
  EXPECT_EQ(image_.ReadSector(0, 0, 0, 7, 1, buffer, 300), 256);
  EXPECT_EQ(buffer[256], 0xEE);
  for (int32_t none : {0, -1, -2147483647 - 1}) {
    EXPECT_EQ(image_.ReadSector(0, 0, 0, 7, 1, buffer, none), 0);
  }
}

TEST_F(DiskImageTest, ReadSectorMatchesAllFourAddressBytes) {
  OpenDisks({NumberedDisk()});
  ASSERT_TRUE(image_.SelectDisk(0));
  uint8_t buffer[1024];
  struct Case {
    int32_t track, c, h, r, n, expected;
  };
  const Case cases[] = {
      {0, 0, 0, 16, 1, 256}, {0, 1, 0, 16, 1, 0},   {0, 0, 1, 16, 1, 0},
      {0, 0, 0, 17, 1, 0},   {0, 0, 0, 16, 2, 0},   {0, 256, 0, 16, 1, 0},
      {0, 0, 0, 272, 1, 0},  {0, 0, 0, 16, 257, 0}, {0, -256, 0, 16, 1, 0},
      {3, 1, 1, 5, 3, 1024}, {3, 1, 0, 5, 3, 0},    {2, 1, 1, 5, 3, 0},
      {-1, 0, 0, 1, 1, 0},   {164, 0, 0, 1, 1, 0},  {5, 2, 1, 1, 3, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(image_.ReadSector(c.track, c.c, c.h, c.r, c.n, buffer, 1024),
              c.expected)
        << c.track << " " << c.c << " " << c.h << " " << c.r << " " << c.n;
  }
}

TEST_F(DiskImageTest, ReadsOnlyTheFirstSectorWithAnAddress) {
  Disk disk = PlainDisk();
  disk.tracks[0][3].r = 9;  // sectors 4 and 9 now both say R 9; 4 comes first
  disk.Write(0, 9, 0, Bytes(256, 0x44));
  disk.tracks[0][8].data.assign(256, 0x99);
  OpenDisks({disk});
  ASSERT_TRUE(image_.SelectDisk(0));
  uint8_t buffer[256] = {};
  ASSERT_EQ(image_.ReadSector(0, 0, 0, 9, 1, buffer, 256), 256);
  EXPECT_EQ(buffer[0], 0x44);
}

TEST_F(DiskImageTest, EachHeadersOwnSectorCountEndsTheSearch) {
  // Track 0 holds R 1 to 3; track 1 follows it in the file with R 7.
  auto disk_with_counts = [](std::vector<int32_t> counts) {
    Disk disk;
    disk.FormatTrack(0, 1, 3, 1);
    disk.FormatTrack(1, 7, 1, 1);
    disk.tracks[1][0].c = 0;
    disk.tracks[1][0].h = 0;
    for (size_t i = 0; i < counts.size(); ++i) {
      disk.tracks[0][i].sector_count = counts[i];
    }
    return disk;
  };
  struct Case {
    std::vector<int32_t> counts;
    int32_t r3, r7;  // what ReadSector returns for R 3 and for R 7
  };
  const Case cases[] = {
      {{3, 3, 3}, 256, 0},    // the whole track, then the end
      {{1, 3, 3}, 0, 0},      // the first header says the track ends there
      {{3, 2, 3}, 0, 0},      // i = 1 equals the second header's count - 1
      {{3, 1, 3}, 256, 0},    // i = 1 has passed the second's count - 1
      {{9, 9, 9}, 256, 256},  // runs past the track into the next one
      {{3, 0, 3}, 0, 0},      // a count of 0 ends the search
      {{0, 3, 3}, 0, 0},
  };
  for (const Case& c : cases) {
    OpenDisks({disk_with_counts(c.counts)});
    ASSERT_TRUE(image_.SelectDisk(0));
    uint8_t buffer[256];
    EXPECT_EQ(image_.ReadSector(0, 0, 0, 3, 1, buffer, 256), c.r3)
        << c.counts[0] << c.counts[1] << c.counts[2];
    EXPECT_EQ(image_.ReadSector(0, 0, 0, 7, 1, buffer, 256), c.r7)
        << c.counts[0] << c.counts[1] << c.counts[2];
  }
}

TEST_F(DiskImageTest, TrackCheckRejectsAbsentAndOutlyingTracks) {
  Disk disk = NumberedDisk();
  const int64_t size = static_cast<int64_t>(d88::BuildDisk(disk).size());
  struct Case {
    const char* what;
    std::optional<int64_t> entry;  // stored entry of track 1; none: as built
    int32_t expected;              // what reading R 1 of track 1 returns
    const char* why;               // and why not
  };
  const Case cases[] = {
      {"absent", 0, 0, "track-absent"},
      {"beyond the disk size", size + 1, 0, "track-beyond-disk"},
      // Passes the check, and the walk finds no header there.
      {"at the disk size", size, 0, "no-sector-at-file-end"},
      {"at a disk size cut to it", std::nullopt, 1024, "read"},
      {"negative, before the file", -1, 0, "track-before-file"},
      {"most negative", -2147483647 - 1, 0, "track-before-file"},
  };
  for (const Case& c : cases) {
    Disk d = disk;
    if (c.entry) {
      d.track_offsets[1] = *c.entry;
    } else {
      // The stored disk size ends where track 1 begins.
      const Bytes built = d88::BuildDisk(disk);
      d.disk_size = built[36] | built[37] << 8 | built[38] << 16;
    }
    OpenDisks({d});
    ASSERT_TRUE(image_.SelectDisk(0));
    uint8_t buffer[1024];
    ReadFault why = ReadFault::kNone;
    EXPECT_EQ(image_.ReadSector(1, 0, 1, 1, 3, buffer, 1024, &why), c.expected)
        << c.what;
    EXPECT_STREQ(why == ReadFault::kNone ? "read" : ReadFaultName(why), c.why)
        << c.what;
    EXPECT_EQ(image_.ListSectorIds(1, buffer, 1024), c.expected ? 24 : 0)
        << c.what;
  }
}

TEST_F(DiskImageTest, NegativeTrackEntryReachesBackIntoTheFile) {
  // Disk 1's track 0 entry points back at disk 0's track 0.
  Disk first = NumberedDisk();
  const int64_t first_size = static_cast<int64_t>(d88::BuildDisk(first).size());
  Disk second = PlainDisk();
  second.track_offsets[0] = 688 - first_size;
  OpenDisks({first, second});
  ASSERT_TRUE(image_.SelectDisk(1));
  uint8_t buffer[256] = {};
  ASSERT_EQ(image_.ReadSector(0, 0, 0, 5, 1, buffer, 256), 256);
  EXPECT_EQ(buffer[0], 5);
}

TEST_F(DiskImageTest, DataCutShortByTheEndOfTheFile) {
  Bytes bytes = d88::BuildDisk(NumberedDisk());
  // Cut the file 100 bytes into the data of track 0, sector 1.
  bytes.resize(688 + 16 + 100);
  OpenImage(bytes);
  ASSERT_TRUE(image_.SelectDisk(0));
  uint8_t buffer[256];
  EXPECT_EQ(image_.ReadSector(0, 0, 0, 1, 1, buffer, 256), 100);
  EXPECT_EQ(image_.ReadSector(0, 0, 0, 2, 1, buffer, 256), 0);
}

TEST_F(DiskImageTest, ReadSectorsReadsRunsUnderTheWindow) {
  OpenDisks({NumberedDisk()});
  ASSERT_TRUE(image_.SelectDisk(0));
  std::vector<uint8_t> buffer(8192, 0xEE);

  EXPECT_EQ(image_.ReadSectors(0, 0, 0, 15, 1, buffer.data(), 0), 0);
  EXPECT_EQ(buffer[0], 0xEE);

  // The identification read: sectors 15 and 16 of track 0.
  ASSERT_EQ(image_.ReadSectors(0, 0, 0, 15, 1, buffer.data(), 512), 512);
  EXPECT_EQ(buffer[0], 15);
  EXPECT_EQ(buffer[256], 16);
  // Past sector 16 the window wraps to track 1, head 1: nothing there.
  EXPECT_EQ(image_.ReadSectors(0, 0, 0, 16, 1, buffer.data(), 512), 256);

  // Track 3 is C 1, H 1: after sector 5 comes track 4, C 2, H 0, sector 1.
  image_.SetSectorRange(1, 5);
  std::fill(buffer.begin(), buffer.end(), 0xEE);
  ASSERT_EQ(image_.ReadSectors(3, 1, 1, 5, 3, buffer.data(), 1500), 1500);
  EXPECT_EQ(buffer[1023], 3 * 16 + 5);
  EXPECT_EQ(buffer[1024], 4 * 16 + 1);
  EXPECT_EQ(buffer[1499], 4 * 16 + 1);
  EXPECT_EQ(buffer[1500], 0xEE);

  // Head 0 wraps to head 1 of the same cylinder.
  ASSERT_EQ(image_.ReadSectors(2, 1, 0, 4, 3, buffer.data(), 3072), 3072);
  EXPECT_EQ(buffer[0], 2 * 16 + 4);
  EXPECT_EQ(buffer[1024], 2 * 16 + 5);
  EXPECT_EQ(buffer[2048], 3 * 16 + 1);

  // A run that starts above the window's last sector never wraps: after
  // sector 6 of track 1 it looks for sector 7.
  EXPECT_EQ(image_.ReadSectors(1, 0, 1, 6, 3, buffer.data(), 2048), 1024);
  EXPECT_EQ(buffer[0], 1 * 16 + 6);

  // A wrap goes on at the window's first sector, whatever it is.
  image_.SetSectorRange(3, 5);
  ASSERT_EQ(image_.ReadSectors(2, 1, 0, 5, 3, buffer.data(), 2048), 2048);
  EXPECT_EQ(buffer[1024], 3 * 16 + 3);
  image_.SetSectorRange(1, 5);
  // A run that leaves the last track stops there.
  EXPECT_EQ(image_.ReadSectors(4, 2, 0, 5, 3, buffer.data(), 2048), 1024);
}

TEST_F(DiskImageTest, ReadSectorsCountsOnlyWholePieces) {
  Disk disk = PlainDisk();
  for (int r = 1; r <= 16; ++r) {
    disk.Write(0, r, 0, Bytes(256, static_cast<uint8_t>(r)));
  }
  disk.tracks[0][1].data.resize(200);  // sector 2 holds 200 bytes
  OpenDisks({disk});
  ASSERT_TRUE(image_.SelectDisk(0));
  std::vector<uint8_t> buffer(1024, 0xEE);
  EXPECT_EQ(image_.ReadSectors(0, 0, 0, 1, 1, buffer.data(), 768), 256);
  // The short piece's bytes stand in the buffer all the same.
  EXPECT_EQ(buffer[256], 2);
  EXPECT_EQ(buffer[455], 2);
  EXPECT_EQ(buffer[456], 0xEE);
  // A run that needs only those 200 bytes of it is whole.
  EXPECT_EQ(image_.ReadSectors(0, 0, 0, 1, 1, buffer.data(), 456), 456);
}

TEST_F(DiskImageTest, ReadSectorsSurvivesAnySizeCode) {
  Disk disk = PlainDisk();
  disk.tracks[0][0].n = 30;  // sector 1 claims 128 << 30 bytes
  disk.tracks[0][1].n = 255;
  OpenDisks({disk});
  ASSERT_TRUE(image_.SelectDisk(0));
  std::vector<uint8_t> buffer(512, 0xEE);
  struct Case {
    int32_t r, n, length, expected;
  };
  const Case cases[] = {
      {1, 30, 100, 100},
      {2, 255, 256, 256},
      {2, 255, 257, 0},
      {1, 31, 256, 0},
      {1, -1, 256, 0},
      {1, 256, 256, 0},
      {1, -2147483647 - 1, 256, 0},
      {1, 2147483647, 256, 0},
      {1, 30, -5, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(image_.ReadSectors(0, 0, 0, c.r, c.n, buffer.data(), c.length),
              c.expected)
        << c.r << " " << c.n << " " << c.length;
  }
}

TEST_F(DiskImageTest, ReadSectorsStopsAtTheLastTrack) {
  // Every track from 160 on holds C 80 to 81, sector 1: a run with the
  // window 1 to 1 steps through them and must stop after track 163.
  Disk disk;
  for (int t = 160; t < 164; ++t) disk.FormatTrack(t, 1, 1, 0);
  OpenDisks({disk});
  ASSERT_TRUE(image_.SelectDisk(0));
  image_.SetSectorRange(1, 1);
  std::vector<uint8_t> buffer(128 * 8);
  EXPECT_EQ(image_.ReadSectors(160, 80, 0, 1, 0, buffer.data(), 128 * 8),
            128 * 4);
}

TEST_F(DiskImageTest, ListSectorIdsListsAddressesInStoredOrder) {
  Disk disk = NumberedDisk();
  OpenDisks({disk});
  ASSERT_TRUE(image_.SelectDisk(0));
  uint8_t buffer[128] = {};
  EXPECT_EQ(image_.ListSectorIds(0, buffer, 6), 4);
  EXPECT_EQ(image_.ListSectorIds(0, buffer, 3), 0);
  EXPECT_EQ(image_.ListSectorIds(0, buffer, -4), 0);
  ASSERT_EQ(image_.ListSectorIds(3, buffer, 128), 20);
  const uint8_t expected[] = {1, 1, 1, 3, 1, 1, 2, 3, 1, 1,
                              3, 3, 1, 1, 4, 3, 1, 1, 5, 3};
  EXPECT_EQ(std::memcmp(buffer, expected, sizeof expected), 0);
}

TEST_F(DiskImageTest, ListSectorIdsGoesOnPastACountOfZero) {
  Disk disk;
  disk.FormatTrack(0, 1, 3, 1);
  for (auto& sector : disk.tracks[0]) sector.sector_count = 0;
  OpenDisks({disk});
  ASSERT_TRUE(image_.SelectDisk(0));
  uint8_t buffer[64];
  EXPECT_EQ(image_.ReadSector(0, 0, 0, 1, 1, buffer, 256), 0);
  EXPECT_EQ(image_.ListSectorIds(0, buffer, 64), 12);  // until the file ends
  EXPECT_EQ(image_.ListSectorIds(0, buffer, 8), 8);    // until it is full
}

}  // namespace
}  // namespace dorvex
