// Writes the fuzzers' seed corpus, made with the test image builder:
//   make_seeds fuzz/corpus
// Each seed is an image of at most 16 KiB: valid data disks, several disks,
// and each kind of damage the reader must survive.

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tests/d88_builder.h"

namespace {

using d88::Bytes;
using d88::DataDisk;
using d88::Disk;

DataDisk SmallDataDisk(int number) {
  DataDisk disk(number);
  disk.AddFile(0, 1, 1, d88::Pattern(1500, static_cast<uint32_t>(number)));
  disk.AddFile(3, 1, 3, d88::Pattern(10, 99));
  return disk;
}

Disk Damaged(const std::function<void(Disk&)>& damage) {
  Disk disk = SmallDataDisk(1).disk();
  damage(disk);
  return disk;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds DIRECTORY\n");
    return 2;
  }
  const std::vector<std::pair<std::string, Bytes>> seeds = {
      {"data-disk", SmallDataDisk(1).Build()},
      {"two-disks",
       d88::BuildImage({SmallDataDisk(0).disk(), DataDisk(9).disk()})},
      {"foreign-then-data",
       d88::BuildImage({DataDisk(10).disk(), SmallDataDisk(2).disk()})},
      {"size-zero", d88::BuildDisk(Damaged([](Disk& d) { d.disk_size = 0; }))},
      {"size-negative",
       d88::BuildDisk(Damaged([](Disk& d) { d.disk_size = -688; }))},
      {"size-huge",
       d88::BuildDisk(Damaged([](Disk& d) { d.disk_size = 0x7FFFFFFF; }))},
      {"track-negative",
       d88::BuildDisk(Damaged([](Disk& d) { d.track_offsets[1] = -600; }))},
      {"track-beyond",
       d88::BuildDisk(Damaged([](Disk& d) { d.track_offsets[0] = 1 << 20; }))},
      {"counts-wrong", d88::BuildDisk(Damaged([](Disk& d) {
         for (auto& sector : d.tracks[0]) sector.sector_count = 40;
       }))},
      {"count-zero", d88::BuildDisk(Damaged(
                         [](Disk& d) { d.tracks[1][0].sector_count = 0; }))},
      {"data-length-short", d88::BuildDisk(Damaged([](Disk& d) {
         d.tracks[1][1].data.resize(100);
       }))},
      {"data-length-lies", d88::BuildDisk(Damaged([](Disk& d) {
         d.tracks[0][12].data_length = 0xFFFF;
       }))},
      {"marked-and-twin", d88::BuildDisk(Damaged([](Disk& d) {
         d.tracks[1][0].status = 0xB0;
         d.tracks[1][1].deleted = 0x10;
         d.tracks[1].push_back(d.tracks[1][2]);
       }))},
      {"size-code-large",
       d88::BuildDisk(Damaged([](Disk& d) { d.tracks[1][0].n = 30; }))},
      {"entry-sector-6",
       [] {
         DataDisk disk = SmallDataDisk(3);
         disk.SetEntry(1, 6, 1, 2000);
         disk.SetEntry(2, 1, 200, 65535);
         return disk.Build();
       }()},
      {"truncated",
       [] {
         Bytes bytes = SmallDataDisk(4).Build();
         bytes.resize(bytes.size() - 700);
         return bytes;
       }()},
      {"header-only", Bytes(688, 0)},
  };
  for (const auto& [name, bytes] : seeds) {
    if (bytes.size() > 16384) {
      std::fprintf(stderr, "make_seeds: %s is over 16 KiB\n", name.c_str());
      return 1;
    }
    if (!d88::WriteBytes(std::string(argv[1]) + "/" + name, bytes)) {
      std::fprintf(stderr, "make_seeds: cannot write %s\n", name.c_str());
      return 1;
    }
  }
  return 0;
}
