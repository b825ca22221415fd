#ifndef DORVEX_BENCH_BENCH_IMAGES_H_
#define DORVEX_BENCH_BENCH_IMAGES_H_

// The benchmarks' images, each built with the tests' one D88 builder, and
// the files each leaves: the name the console program gives each write and
// its size, in the order it writes them.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tests/d88_builder.h"
#include "tests/hostile_image.h"

namespace bench {

using Manifest = std::vector<std::pair<std::string, int>>;

constexpr int kDisks = 64;  // in each image of the extraction benchmark
constexpr int kEntries = 127;
constexpr int kHostileSmallMiB = 4;
constexpr int kHostileLargeMiB = 16;

struct HostileKind {
  d88::Hostile kind;
  const char* what;
};
constexpr HostileKind kHostileKinds[] = {
    {d88::Hostile::kStaggered, "staggered starts"},
    {d88::Hostile::kOwnStarts, "starts of their own"},
    {d88::Hostile::kManyKeys, "many keys"},
    {d88::Hostile::kNoFiles, "no files"},
};

// The console program's output name of entry `entry` of disk `number`.
std::string OutputName(int number, int entry);

// The intact image: 64 data disks of 127 files of 4,800 to 7,000 bytes;
// with `padding`, each disk is stored that many bytes longer, zeros after
// its tracks, as a dump of a larger disk would be. Appends its files.
d88::Bytes BuildIntactImage(Manifest* files, int64_t padding = 0);

// The crafted image: 64 data disks whose 127 entries of 65,535 bytes each
// read every sector through one chain of 40,000 filler headers that tracks
// 1 to 13 share. Appends its files.
d88::Bytes BuildCraftedImage(Manifest* files);

// A hostile image of 64 disks whose chain fills `mib` MiB. Appends its
// files.
d88::Bytes BuildHostile(d88::Hostile kind, int mib, Manifest* files);

// One image of a generated collection, as written.
struct CollectionImage {
  std::string name;  // the file's name in the collection's directory
  int64_t size;
  int disk_headers;  // the disk headers it holds (a file too short for one
                     // counts one)
};

// Writes a collection of `count` images into `dir` (which exists), made
// the same on every run: data disks, disks that are not data disks, and
// damaged images (the tests' fault images, images cut short, files that are
// not D88 at all, an empty one). Returns them in name order, or an empty
// list when a write fails.
std::vector<CollectionImage> WriteCollection(const std::string& dir, int count);

}  // namespace bench

#endif  // DORVEX_BENCH_BENCH_IMAGES_H_
