// The remembering walk of DiskImage against the plain walk: every lookup
// walks the track's headers from the first, as the format's rules say. Both
// read the same random tracks, and must agree on every count and byte.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "image/byte_order.h"
#include "image/disk_image.h"
#include "tests/d88_builder.h"
#include "tests/scratch_dir.h"

namespace dorvex {
namespace {

using d88::Bytes;

// The plain walk over the bytes of a one-disk image.
int32_t PlainReadSector(const Bytes& image, int32_t track, int32_t c, int32_t h,
                        int32_t r, int32_t n, uint8_t* buffer,
                        int32_t max_length) {
  if (max_length <= 0 || track < 0 || track >= 164) return 0;
  const int64_t size = static_cast<int64_t>(image.size());
  const int32_t entry = DecodeLe32(image.data() + 32 + 4 * track);
  if (entry == 0 || entry > DecodeLe32(image.data() + 28) || entry < 0)
    return 0;
  int64_t at = entry;
  for (int64_t i = 0;; ++i) {
    if (at + 16 > size) return 0;
    const uint8_t* header = image.data() + at;
    const int32_t count = DecodeLe16(header + 4);
    const int32_t length = DecodeLe16(header + 14);
    if (count == 0) return 0;
    if (header[0] == c && header[1] == h && header[2] == r && header[3] == n) {
      const int64_t available = std::max<int64_t>(0, size - at - 16);
      const int32_t k = static_cast<int32_t>(
          std::min<int64_t>({length, max_length, available}));
      std::copy_n(header + 16, k, buffer);
      return k;
    }
    at += 16 + length;
    if (i == count - 1) return 0;
  }
}

int32_t PlainReadSectors(const Bytes& image, int32_t first, int32_t last,
                         int32_t track, int32_t c, int32_t h, int32_t r,
                         int32_t n, uint8_t* buffer, int32_t length) {
  const int32_t step = 128 << n;
  int32_t done = 0;
  while (done < length) {
    const int32_t piece = std::min(step, length - done);
    if (PlainReadSector(image, track, c, h, r, n, buffer + done, piece) <
        piece) {
      return done;
    }
    done += piece;
    if (r == last) {
      ++track;
      if (h == 0) {
        h = 1;
      } else {
        h = 0;
        ++c;
      }
      r = first;
    } else {
      ++r;
    }
  }
  return done;
}

// One disk whose track 1 is a walk of `headers` headers: few addresses, so
// that many repeat (or, `wide`, cylinders 0 to 39: more C/H/N than a path
// of shared tracks notes); counts that never end the walk, with 0, 1 and small
// ones anywhere; data lengths mostly small, some up to 65,535, some stored
// wrong so that the walk reads on from inside the data. Tracks 2 to 6 start
// at the walk's start, inside it, or anywhere in the file.
Bytes RandomImage(std::mt19937& random, int headers, bool wide) {
  auto below = [&](uint32_t n) { return static_cast<int>(random() % n); };
  d88::Disk disk;
  std::vector<d88::Sector>& walk = disk.tracks[1];
  for (int i = 0; i < headers; ++i) {
    d88::Sector sector;
    sector.c = static_cast<uint8_t>(below(wide ? 40 : 2));
    sector.h = static_cast<uint8_t>(below(2));
    sector.r = static_cast<uint8_t>(below(8) == 0 ? below(256) : 1 + below(8));
    sector.n = below(10) == 0 ? 0 : below(2) == 0 ? 1 : 3;
    const int kind = below(100);
    sector.sector_count = kind < 2   ? 0
                          : kind < 4 ? 1
                          : kind < 6 ? 1 + below(static_cast<uint32_t>(i + 8))
                                     : 65535;
    const int size = below(500) == 0 ? below(65536) : below(40);
    sector.data = d88::Pattern(static_cast<size_t>(size),
                               static_cast<uint32_t>(random()));
    if (below(200) == 0) sector.data_length = below(65536);
    walk.push_back(sector);
  }
  Bytes image = d88::BuildDisk(disk);
  const int64_t start = 688;
  const int64_t end = static_cast<int64_t>(image.size());
  disk.track_offsets[2] = start;
  disk.track_offsets[3] = start + 16 * below(8);
  disk.track_offsets[4] = start + below(static_cast<uint32_t>(end - start));
  disk.track_offsets[5] =
      start + 16 + static_cast<int64_t>(walk[0].data.size());
  disk.track_offsets[6] = 688 + below(static_cast<uint32_t>(end - 688));
  image = d88::BuildDisk(disk);
  // A file cut short, somewhere past the disk header.
  if (below(4) == 0) {
    image.resize(688 + static_cast<size_t>(below(
                           static_cast<uint32_t>(image.size() - 688 + 1))));
  }
  return image;
}

TEST(TrackWalkTest, RemembersWhatThePlainWalkWouldRead) {
  d88::ScratchDir scratch;
  std::mt19937 random(2026);
  auto below = [&](uint32_t n) { return static_cast<int>(random() % n); };
  // Each image is opened into the same object: nothing may stay of the
  // walks of the file before.
  DiskImage image;
  const int32_t lengths[] = {1, 100, 256, 1024, 4000, 65535, 70000};
  std::vector<uint8_t> got(200000), want(200000);
  for (int round = 0; round < 40; ++round) {
    const int headers =
        static_cast<int>(std::exp2(1.0 + 14.0 * below(1000) / 1000.0));
    const bool wide = round % 4 == 3;
    const Bytes bytes = RandomImage(random, headers, wide);
    const std::string path = round % 2 == 0 ? "a.d88" : "b.d88";
    ASSERT_TRUE(d88::WriteBytes(path, bytes));
    ASSERT_TRUE(image.Open(path.c_str()));
    ASSERT_TRUE(image.SelectDisk(0));
    // Some rounds sweep every track at the first lookup, some after a few
    // headers, the rest only as a huge image would.
    const int64_t budgets[] = {0, 50, DiskImage::kDefaultWalkBudget};
    const int64_t budget = budgets[round % 3];
    image.SetWalkBudget(budget);
    image.SetSectorRange(1, 8);
    for (int lookup = 0; lookup < 150; ++lookup) {
      const int32_t track = below(8);
      // Half the lookups ask a track for its own cylinder and head, as the
      // program does; a third size code now and then leaves a walk no lane.
      const bool own = below(2) == 0;
      const int32_t c = own              ? track / 2
                        : below(20) == 0 ? below(3) - 1
                                         : below(wide ? 40 : 2);
      const int32_t h = own ? track % 2 : below(2);
      const int32_t r = below(6) == 0 ? below(258) - 1 : 1 + below(8);
      const int32_t n = below(10) == 0 ? 0 : below(2) == 0 ? 1 : 3;
      const int32_t length =
          below(3) == 0 ? 1 + below(9000) : lengths[below(7)];
      std::fill(got.begin(), got.end(), 0xEE);
      std::fill(want.begin(), want.end(), 0xEE);
      const bool run = below(3) == 0;
      const int32_t expected =
          run ? PlainReadSectors(bytes, 1, 8, track, c, h, r, n, want.data(),
                                 length)
              : PlainReadSector(bytes, track, c, h, r, n, want.data(), length);
      const int32_t actual =
          run ? image.ReadSectors(track, c, h, r, n, got.data(), length)
              : image.ReadSector(track, c, h, r, n, got.data(), length);
      ASSERT_EQ(actual, expected)
          << "round " << round << " (" << headers << " headers), lookup "
          << lookup << (run ? " run" : "") << ": track " << track << " C " << c
          << " H " << h << " R " << r << " N " << n << " length " << length;
      // A short last piece of a run may leave bytes; all must agree.
      ASSERT_TRUE(got == want) << "round " << round << ", lookup " << lookup;
      if (below(50) == 0) {
        // Selecting again starts every walk afresh, with the same results.
        ASSERT_TRUE(image.SelectDisk(0));
      }
    }
  }
}

// Every track of a full disk starts at a header of its own: each lookup
// must reach its own track's sectors, however the starts fall among the
// places where the walks' paths are kept.
TEST(TrackWalkTest, EveryTrackOfAFullDiskReadsItsOwnSectors) {
  d88::ScratchDir scratch;
  d88::Disk disk;
  for (int track = 0; track < DiskImage::kTrackCount; ++track) {
    disk.FormatTrack(track, 1, 2, 1);
    disk.Write(track, 2, 0, Bytes(256, static_cast<uint8_t>(track)));
  }
  ASSERT_TRUE(d88::WriteBytes("full.d88", d88::BuildDisk(disk)));
  DiskImage image;
  ASSERT_TRUE(image.Open("full.d88"));
  ASSERT_TRUE(image.SelectDisk(0));
  uint8_t sector[256];
  for (int32_t track = 0; track < DiskImage::kTrackCount; ++track) {
    ASSERT_EQ(image.ReadSector(track, track / 2, track % 2, 2, 1, sector, 256),
              256)
        << track;
    EXPECT_EQ(sector[0], track) << track;
  }
}

}  // namespace
}  // namespace dorvex
