// The sweep, which takes the walks of every track to their ends at once,
// against the plain walk, which follows one track's headers from its first
// by the format's rules: on crafted and damaged images, every sector of every
// track of every disk must be found at the same place, whatever the walk
// budget that decides when the sweep starts.

#include "image/track_sweep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "image/byte_order.h"
#include "image/disk_image.h"
#include "tests/d88_builder.h"
#include "tests/hostile_image.h"
#include "tests/scratch_dir.h"

namespace dorvex {
namespace {

using d88::Bytes;
constexpr int kTracks = DiskImage::kTrackCount;
constexpr int64_t kHeader = DiskImage::kDiskHeaderSize;
// A raw chain of headers is stored as a track the table does not name.
constexpr int kUnnamedTrack = 200;

struct Found {
  int64_t offset;
  int32_t length;
};

// What the plain walk of one track finds: for each R/N of the track's own
// cylinder and head, the first sector that carries it, and why the walk
// ended (or why the track cannot be walked).
struct PlainTrack {
  std::map<int, Found> found;
  ReadFault end = ReadFault::kTrackAbsent;
};

// The plain walk of track `track` from the header at `start`.
PlainTrack PlainWalk(const Bytes& image, int64_t start, int track) {
  PlainTrack walk;
  walk.end = ReadFault::kEndedAtFileEnd;
  const int64_t size = static_cast<int64_t>(image.size());
  int64_t at = start;
  for (int64_t i = 0; at + 16 <= size; ++i) {
    const uint8_t* header = image.data() + at;
    const int32_t count = DecodeLe16(header + 4);
    const int32_t length = DecodeLe16(header + 14);
    if (count == 0) {
      walk.end = ReadFault::kEndedAtZeroCount;
      break;
    }
    if (header[0] == track / 2 && header[1] == track % 2) {
      walk.found.emplace(header[2] << 8 | header[3], Found{at + 16, length});
    }
    at += 16 + length;
    if (i == count - 1) {
      walk.end = ReadFault::kEndedAtCount;
      break;
    }
  }
  return walk;
}

// Where each disk of the image starts, as the scan of the disk headers finds.
std::vector<int64_t> DiskStarts(const Bytes& image) {
  std::vector<int64_t> starts;
  int64_t at = 0;
  while (starts.size() < 64 && at >= 0 &&
         at + kHeader <= static_cast<int64_t>(image.size())) {
    starts.push_back(at);
    at += DecodeLe32(image.data() + at + 28);
    if (at > INT32_MAX) break;
  }
  return starts;
}

// The first sector of each track of the disk at `base` (none for a track
// that is absent or out of range), by R/N.
std::vector<PlainTrack> PlainDisk(const Bytes& image, int64_t base) {
  std::vector<PlainTrack> tracks(kTracks);
  const int32_t size = DecodeLe32(image.data() + base + 28);
  for (int t = 0; t < kTracks; ++t) {
    const int32_t entry = DecodeLe32(image.data() + base + 32 + 4 * t);
    ReadFault& end = tracks[static_cast<size_t>(t)].end;
    if (entry == 0) continue;
    if (entry > size) end = ReadFault::kTrackBeyondDisk;
    if (entry <= size && base + entry < 0) end = ReadFault::kTrackBeforeFile;
    if (entry > size || base + entry < 0) continue;
    tracks[static_cast<size_t>(t)] = PlainWalk(image, base + entry, t);
  }
  return tracks;
}

// Sectors with data of their own, so that a sector read tells where it was.
d88::Sector Sector(std::mt19937& random, int c, int h, int r, int n, int count,
                   int length) {
  d88::Sector sector;
  sector.c = static_cast<uint8_t>(c);
  sector.h = static_cast<uint8_t>(h);
  sector.r = static_cast<uint8_t>(r);
  sector.n = static_cast<uint8_t>(n);
  sector.sector_count = count;
  sector.data = d88::Pattern(static_cast<size_t>(length),
                             static_cast<uint32_t>(random()));
  return sector;
}

// Offsets, from the disk's start, of the headers of a chain stored first.
std::vector<int64_t> HeaderOffsets(const std::vector<d88::Sector>& chain) {
  std::vector<int64_t> offsets;
  int64_t at = kHeader;
  for (const d88::Sector& sector : chain) {
    offsets.push_back(at);
    at += 16 + static_cast<int64_t>(sector.data.size());
  }
  return offsets;
}

// Tracks start at headers all over a chain whose counts end some walks on
// their index and not others; each track's sectors lie anywhere in it, some
// more than once.
Bytes EndedByIndex(std::mt19937& random) {
  auto below = [&](uint32_t n) { return static_cast<int>(random() % n); };
  std::vector<int> starts(kTracks);
  for (int& start : starts) start = below(1200);
  d88::Disk disk;
  std::vector<d88::Sector>& chain = disk.tracks[kUnnamedTrack];
  for (int i = 0; i < 1500; ++i) {
    int count = 0xFFFF;
    // The count that ends, here, the walk of a track that starts before.
    const int start = starts[static_cast<size_t>(below(kTracks))];
    if (below(4) == 0 && start <= i) count = i - start + 1;
    if (below(200) == 0) count = 0;
    const int t = below(kTracks);
    chain.push_back(Sector(random, t / 2, below(8) == 0 ? 2 : t % 2,
                           1 + below(6), below(3) == 0 ? 1 : 3, count,
                           below(3) == 0 ? below(40) : 0));
  }
  const std::vector<int64_t> offsets = HeaderOffsets(chain);
  for (int t = 0; t < kTracks; ++t) {
    disk.track_offsets[t] =
        offsets[static_cast<size_t>(starts[static_cast<size_t>(t)])];
  }
  return d88::BuildDisk(disk);
}

// Four chains woven into each other, 4 bytes apart, that never meet: every
// 16 bytes hold a header of each, with a data length of 0 and a count of
// C + 256 (H is 1).
Bytes Woven(std::mt19937& random) {
  Bytes image(kHeader, 0);
  const int blocks = 1200;
  for (int b = 0; b < blocks; ++b) {
    for (int k = 0; k < 4; ++k) {
      image.push_back(static_cast<uint8_t>(random() % 82));
      image.push_back(1);
      image.push_back(0);
      image.push_back(0);
    }
  }
  const int32_t size = static_cast<int32_t>(image.size());
  for (int i = 0; i < 4; ++i) {
    image[static_cast<size_t>(28 + i)] = static_cast<uint8_t>(size >> 8 * i);
  }
  for (int t = 0; t < kTracks; ++t) {
    const int32_t entry = static_cast<int32_t>(kHeader) +
                          4 * static_cast<int32_t>(random() % 2000);
    for (int i = 0; i < 4; ++i) {
      image[static_cast<size_t>(32 + 4 * t + i)] =
          static_cast<uint8_t>(entry >> 8 * i);
    }
  }
  return image;
}

// Random headers: few C/H so that tracks share sectors, counts of every
// kind, data lengths stored wrong so that walks read on from inside data,
// tracks that start inside data, and (at random) a file cut short.
Bytes Damaged(std::mt19937& random) {
  auto below = [&](uint32_t n) { return static_cast<int>(random() % n); };
  d88::Disk disk;
  std::vector<d88::Sector>& chain = disk.tracks[kUnnamedTrack];
  for (int i = 0; i < 1500; ++i) {
    const int t = below(24);
    const int kind = below(100);
    const int count = kind < 2    ? 0
                      : kind < 4  ? 1
                      : kind < 10 ? 1 + below(static_cast<uint32_t>(i + 8))
                                  : 0xFFFF;
    d88::Sector sector =
        Sector(random, t / 2, t % 2, below(7), 1 + 2 * below(2), count,
               below(3) == 0 ? below(60) : 0);
    if (below(100) == 0) sector.data_length = below(300);
    chain.push_back(sector);
  }
  const std::vector<int64_t> offsets = HeaderOffsets(chain);
  for (int t = 0; t < kTracks; ++t) {
    if (below(10) == 0) continue;  // absent
    disk.track_offsets[t] =
        below(4) == 0
            ? kHeader + below(static_cast<uint32_t>(offsets.back() - kHeader))
            : offsets[static_cast<size_t>(below(1500))];
  }
  Bytes image = d88::BuildDisk(disk);
  if (below(3) == 0) {
    image.resize(static_cast<size_t>(
        offsets[static_cast<size_t>(500 + below(1000))] + below(16)));
  }
  return image;
}

// The hostile images of the benchmark, small: 4 disks over a chain of 1,500
// headers.
template <d88::Hostile kind>
Bytes Hostile(std::mt19937&) {
  std::vector<d88::HostileFile> files;
  return d88::BuildHostileImage(kind, 1500 * 16, 4, &files);
}

struct Construction {
  const char* name;
  Bytes (*build)(std::mt19937&);
  std::vector<int> size_codes;  // asked of every track, in this order
};

// Reads sector R of size code N of every track's own cylinder and head, in
// a shuffled order, and compares each, and why it fell short, with the
// plain walk's.
void CheckEverySector(DiskImage& image, const Bytes& bytes, int64_t base,
                      int size_code, std::mt19937& random,
                      const std::string& what) {
  const std::vector<PlainTrack> plain = PlainDisk(bytes, base);
  std::vector<std::pair<int, int>> lookups;
  for (int t = 0; t < kTracks; ++t) {
    for (int r = 0; r < 256; ++r) lookups.emplace_back(t, r);
  }
  std::shuffle(lookups.begin(), lookups.end(), random);
  std::vector<uint8_t> got(65535);
  const int64_t size = static_cast<int64_t>(bytes.size());
  for (const auto& [t, r] : lookups) {
    const PlainTrack& track = plain[static_cast<size_t>(t)];
    const auto it = track.found.find(r << 8 | size_code);
    int32_t expected = 0;
    ReadFault why = track.end;
    if (it != track.found.end()) {
      const int64_t there = std::max<int64_t>(0, size - it->second.offset);
      expected =
          static_cast<int32_t>(std::min<int64_t>(it->second.length, there));
      why = there < it->second.length ? ReadFault::kFileEndsInData
            : expected < 65535        ? ReadFault::kSectorShort
                                      : ReadFault::kNone;
    }
    ReadFault fault = ReadFault::kNone;
    const int32_t actual = image.ReadSector(t, t / 2, t % 2, r, size_code,
                                            got.data(), 65535, &fault);
    ASSERT_EQ(actual, expected)
        << what << ": track " << t << " R " << r << " N " << size_code;
    ASSERT_EQ(ReadFaultName(fault), std::string(ReadFaultName(why)))
        << what << ": track " << t << " R " << r << " N " << size_code;
    if (expected > 0) {
      ASSERT_TRUE(std::equal(
          got.begin(), got.begin() + expected,
          bytes.begin() + static_cast<std::ptrdiff_t>(it->second.offset)))
          << what << ": track " << t << " R " << r << " N " << size_code;
    }
  }
}

TEST(TrackSweepTest, FindsEverySectorWhereThePlainWalkDoes) {
  const Construction constructions[] = {
      {"staggered starts, every disk the same",
       Hostile<d88::Hostile::kStaggered>,
       {1, 3}},
      {"starts of their own", Hostile<d88::Hostile::kOwnStarts>, {3, 1}},
      {"many keys", Hostile<d88::Hostile::kManyKeys>, {3, 1, 0, 2}},
      {"no files", Hostile<d88::Hostile::kNoFiles>, {1, 3}},
      {"ended by index", EndedByIndex, {3, 1}},
      {"woven chains", Woven, {0}},
      {"damaged", Damaged, {1, 3}},
  };
  // 0 sweeps at the first lookup; the others let walks go some way first,
  // so that the sweep takes them on from wherever they stand.
  const int64_t budgets[] = {0, 1, 37, 2000, DiskImage::kDefaultWalkBudget};
  d88::ScratchDir scratch;
  std::mt19937 random(27);
  DiskImage image;
  for (const Construction& construction : constructions) {
    for (int64_t budget : budgets) {
      const Bytes bytes = construction.build(random);
      ASSERT_TRUE(d88::WriteBytes("crafted.d88", bytes));
      ASSERT_TRUE(image.Open("crafted.d88"));
      const std::vector<int64_t> disks = DiskStarts(bytes);
      ASSERT_EQ(image.GetDiskCount(), static_cast<int32_t>(disks.size()));
      for (size_t d = 0; d < disks.size(); ++d) {
        ASSERT_TRUE(image.SelectDisk(static_cast<int32_t>(d)));
        image.SetWalkBudget(budget);
        for (int n : construction.size_codes) {
          CheckEverySector(image, bytes, disks[d], n, random,
                           std::string(construction.name) + ", budget " +
                               std::to_string(budget) + ", disk " +
                               std::to_string(d + 1));
        }
      }
    }
  }
}

}  // namespace
}  // namespace dorvex
