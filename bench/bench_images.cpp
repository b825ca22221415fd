#include "bench/bench_images.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "image/disk_image.h"
#include "tests/fault_images.h"
#include "tool/extract.h"

namespace bench {

namespace {

constexpr int kMinFile = 4800;
constexpr int kMaxFile = 7000;
constexpr int kCraftedFile = 65535;
constexpr int kCraftedTracks = 13;  // 65 sectors of 1024 bytes hold a file
constexpr int kFillerHeaders = 40000;

}  // namespace

std::string OutputName(int number, int entry) {
  char name[4];
  dorvex::FormatOutputName(number, entry, name);
  return name;
}

d88::Bytes BuildIntactImage(Manifest* files, int64_t padding) {
  uint32_t state = 2026;
  std::vector<d88::Disk> disks;
  for (int d = 0; d < kDisks; ++d) {
    const int number = d % 10;
    d88::DataDisk disk(number, "BENCH " + std::to_string(d));
    int track = 1, sector = 1;
    for (int entry = 0; entry < kEntries; ++entry) {
      state = state * 1103515245u + 12345u;
      const int size =
          kMinFile + static_cast<int>((state >> 8) % (kMaxFile - kMinFile + 1));
      disk.AddFile(entry, track, sector,
                   d88::Pattern(static_cast<size_t>(size), state));
      const int sectors = (size + 1023) / 1024;
      sector += sectors;
      track += (sector - 1) / 5;
      sector = (sector - 1) % 5 + 1;
      files->emplace_back(OutputName(number, entry), size);
    }
    if (track > 163) {
      std::fprintf(stderr, "bench: disk %d needs track %d\n", d, track);
      std::exit(2);
    }
    disks.push_back(disk.disk());
  }
  if (padding == 0) return d88::BuildImage(disks);
  d88::Bytes image;
  for (d88::Disk& disk : disks) {
    const int64_t size = static_cast<int64_t>(d88::BuildDisk(disk).size());
    disk.disk_size = size + padding;
    d88::Bytes built = d88::BuildDisk(disk);
    built.resize(static_cast<size_t>(size + padding), 0);
    image.insert(image.end(), built.begin(), built.end());
  }
  return image;
}

// Every entry starts at track 1, sector 1. Tracks 1 to 13 all start at one
// chain of 40,000 filler headers that match nothing and never end the walk;
// behind it stand the real sectors of all 13 tracks, so that every track's walk
// passes the whole chain.
d88::Bytes BuildCraftedImage(Manifest* files) {
  std::vector<d88::Disk> disks;
  const d88::Bytes data = d88::Pattern(kCraftedFile, 99);
  for (int d = 0; d < kDisks; ++d) {
    const int number = d % 10;
    d88::DataDisk disk(number, "CRAFTED " + std::to_string(d));
    for (int entry = 0; entry < kEntries; ++entry) {
      disk.SetEntry(entry, 1, 1, kCraftedFile);
      files->emplace_back(OutputName(number, entry), kCraftedFile);
    }
    std::vector<d88::Sector>& chain = disk.disk().tracks[1];
    d88::Sector filler;
    filler.c = filler.h = 0xFF;
    filler.sector_count = 0xFFFF;
    chain.assign(kFillerHeaders, filler);
    for (int track = 1; track <= kCraftedTracks; ++track) {
      for (int r = 1; r <= 5; ++r) {
        d88::Sector sector;
        sector.c = static_cast<uint8_t>(track / 2);
        sector.h = static_cast<uint8_t>(track % 2);
        sector.r = static_cast<uint8_t>(r);
        sector.n = 3;
        sector.sector_count = 0xFFFF;
        const size_t at = static_cast<size_t>(((track - 1) * 5 + r - 1) * 1024);
        sector.data.assign(1024, 0);
        for (size_t i = 0; i < 1024 && at + i < data.size(); ++i) {
          sector.data[i] = data[at + i];
        }
        chain.push_back(sector);
      }
    }
    const d88::Bytes built = disk.Build();
    const int64_t chain_start =
        built[36] | built[37] << 8 | built[38] << 16 | int64_t{built[39]} << 24;
    for (int track = 2; track <= kCraftedTracks; ++track) {
      disk.disk().track_offsets[track] = chain_start;
    }
    disks.push_back(disk.disk());
  }
  return d88::BuildImage(disks);
}

d88::Bytes BuildHostile(d88::Hostile kind, int mib, Manifest* files) {
  std::vector<d88::HostileFile> written;
  d88::Bytes image =
      d88::BuildHostileImage(kind, int64_t{mib} << 20, kDisks, &written);
  for (const d88::HostileFile& file : written) {
    files->emplace_back(OutputName(file.disk_number, file.entry), file.size);
  }
  return image;
}

namespace {

// The next number of a run of pseudo-random numbers, each from `state`.
uint32_t Next(uint32_t* state) {
  *state = *state * 1103515245u + 12345u;
  return *state >> 8;
}

// A data disk numbered `number` with `files` files of 1 to 8 KiB, laid one
// after another from track 1 on.
d88::Disk CollectionDataDisk(int number, int files, uint32_t* state) {
  d88::DataDisk disk(number, "COLLECTION " + std::to_string(number));
  int track = 1, sector = 1;
  for (int entry = 0; entry < files; ++entry) {
    const int size = 1024 + static_cast<int>(Next(state) % (7 * 1024));
    disk.AddFile(entry, track, sector,
                 d88::Pattern(static_cast<size_t>(size), *state));
    sector += (size + 1023) / 1024;
    track += (sector - 1) / d88::DataDisk::kSectorsPerFileTrack;
    sector = (sector - 1) % d88::DataDisk::kSectorsPerFileTrack + 1;
  }
  return disk.disk();
}

// A disk that is not a data disk: track 0 formatted as a data disk's is,
// with no identification block on it, and a few tracks of bytes.
d88::Disk ForeignDisk(uint32_t* state) {
  d88::Disk disk;
  disk.name = "FOREIGN";
  disk.FormatTrack(0, 1, 16, 1);
  const int tracks = 2 + static_cast<int>(Next(state) % 20);
  for (int track = 1; track <= tracks; ++track) {
    disk.FormatTrack(track, 1, 16, 1);
    disk.Write(track, 1, 0, d88::Pattern(256, Next(state)));
  }
  return disk;
}

}  // namespace

std::vector<CollectionImage> WriteCollection(const std::string& dir,
                                             int count) {
  const std::vector<d88::FaultImage> faults = d88::FaultImages();
  std::vector<CollectionImage> written;
  uint32_t state = 40;
  for (int i = 0; i < count; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "%04d.d88", i);
    d88::Bytes image;
    int headers = 1;
    switch (i % 10) {
      case 0:
      case 1:
      case 2:
      case 3:
      case 4: {  // data disks, and perhaps a
                 // foreign one among them
        std::vector<d88::Disk> disks;
        const int data = 1 + static_cast<int>(Next(&state) % 3);
        for (int d = 0; d < data; ++d) {
          disks.push_back(CollectionDataDisk(
              d, 8 + static_cast<int>(Next(&state) % 24), &state));
        }
        if (i % 10 == 4) disks.push_back(ForeignDisk(&state));
        headers = static_cast<int>(disks.size());
        image = d88::BuildImage(disks);
        break;
      }
      case 5:
      case 6: {  // disks that are not data disks
        std::vector<d88::Disk> disks;
        const int foreign = 1 + static_cast<int>(Next(&state) % 2);
        for (int d = 0; d < foreign; ++d) disks.push_back(ForeignDisk(&state));
        headers = foreign;
        image = d88::BuildImage(disks);
        break;
      }
      case 7: {  // an image with one known fault
        const d88::FaultImage& fault =
            faults[static_cast<size_t>(i / 10) % faults.size()];
        image = fault.image;
        headers = static_cast<int>(fault.disks.size());
        break;
      }
      case 8: {  // a data disk cut short, anywhere after its header
        image = d88::BuildImage({CollectionDataDisk(1, 16, &state)});
        constexpr size_t kHeader = dorvex::DiskImage::kDiskHeaderSize;
        const size_t cut = kHeader + Next(&state) % (image.size() - kHeader);
        image.resize(cut);
        break;
      }
      default: {  // not a D88 image: bytes of any length, or none
        const size_t length = i % 100 == 9 ? 0 : Next(&state) % 4096;
        image = d88::Pattern(length, Next(&state));
        break;
      }
    }
    if (!d88::WriteBytes(std::filesystem::path(dir) / name, image)) return {};
    written.push_back({name, static_cast<int64_t>(image.size()), headers});
  }
  return written;
}

}  // namespace bench
