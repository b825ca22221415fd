#include "tests/hostile_image.h"

namespace d88 {

namespace {

constexpr int kTracks = 164;
constexpr int kEntries = 127;
constexpr int kFileSize = 1024;
constexpr int64_t kDiskHeader = 688;
constexpr int kHeaderBytes = 16;
constexpr int kKeys = 33;

Sector Filler(int count) {
  Sector filler;
  filler.c = filler.h = filler.r = filler.n = 0xFF;
  filler.sector_count = count;
  return filler;
}

Sector At(int track, int r, int n, int size) {
  Sector sector;
  sector.c = static_cast<uint8_t>(track / 2);
  sector.h = static_cast<uint8_t>(track % 2);
  sector.r = static_cast<uint8_t>(r);
  sector.n = static_cast<uint8_t>(n);
  sector.sector_count = 0xFFFF;  // never the index of a walk that gets here
  sector.data =
      Pattern(static_cast<size_t>(size), static_cast<uint32_t>(track * 8 + r));
  return sector;
}

// The chain header that track `track` of disk `disk` starts at.
int64_t StartHeader(Hostile kind, int disk, int track) {
  switch (kind) {
    case Hostile::kManyKeys:
      return 0;
    case Hostile::kOwnStarts:
      return int64_t{kTracks} * disk + track;
    case Hostile::kStaggered:
    case Hostile::kNoFiles:
      break;
  }
  return track;
}

}  // namespace

Bytes BuildHostileImage(Hostile kind, int64_t chain_bytes, int disks,
                        std::vector<HostileFile>* files) {
  DataDisk data(1, "HOSTILE");
  for (int entry = 0; entry < kEntries; ++entry) {
    if (kind == Hostile::kNoFiles) {
      data.SetEntry(entry, 5, entry + 1, 2 * kFileSize);
    } else {
      data.SetEntry(entry, 1, entry + 1, kFileSize);
    }
  }
  Disk& disk = data.disk();
  std::vector<Sector> system = disk.tracks[0];
  disk.tracks.clear();

  // A walk from a start header ends on its index only where a header's
  // count is that index + 1: the starts carry 0xFFFF, which a walk from
  // any of them reaches beyond them, where every count is 1.
  const int64_t headers = chain_bytes / kHeaderBytes;
  const int64_t long_counts = int64_t{kTracks} * disks + kKeys;
  std::vector<Sector>& chain = disk.tracks[kTracks + 1];  // no table entry
  chain.reserve(static_cast<size_t>(headers) + kTracks * 5 + 16);
  for (int64_t i = 0; i < headers; ++i) {
    chain.push_back(Filler(i < long_counts ? 0xFFFF : 1));
  }
  if (kind == Hostile::kManyKeys) {
    for (int key = 0; key < kKeys; ++key) {
      Sector& sector = chain[static_cast<size_t>(key)];
      sector.c = static_cast<uint8_t>((key + 1) / 2);
      sector.h = static_cast<uint8_t>((key + 1) % 2);
      sector.n = 3;
    }
  }
  for (Sector& sector : system) {
    sector.sector_count = 0xFFFF;
    chain.push_back(sector);
  }
  for (int track = 1; track <= kEntries + 1; ++track) {
    for (int r = 1; r <= 5; ++r) {
      if (kind == Hostile::kNoFiles && r != 5) continue;
      chain.push_back(At(track, r, 3, kFileSize));
    }
  }

  for (int track = 0; track < kTracks; ++track) {
    disk.track_offsets[track] =
        kDiskHeader + kHeaderBytes * StartHeader(kind, 0, track);
  }
  Bytes image = BuildDisk(disk);
  for (int d = 1; d < disks; ++d) {
    // A bare disk header whose track entries reach back into the chain.
    Disk bare;
    bare.disk_size = kDiskHeader;
    const int64_t base = static_cast<int64_t>(image.size());
    for (int track = 0; track < kTracks; ++track) {
      bare.track_offsets[track] =
          kDiskHeader + kHeaderBytes * StartHeader(kind, d, track) - base;
    }
    const Bytes built = BuildDisk(bare);
    image.insert(image.end(), built.begin(), built.end());
  }
  if (kind != Hostile::kNoFiles) {
    for (int d = 0; d < disks; ++d) {
      for (int entry = 0; entry < kEntries; ++entry) {
        files->push_back({1, entry, kFileSize});
      }
    }
  }
  return image;
}

}  // namespace d88
