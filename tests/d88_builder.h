#ifndef DORVEX_TESTS_D88_BUILDER_H_
#define DORVEX_TESTS_D88_BUILDER_H_

// Builds D88 images for the tests, the fuzz seeds, the sample image and the
// benchmark. Every stored field can be set wrong on purpose.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace d88 {

using Bytes = std::vector<uint8_t>;

struct Sector {
  uint8_t c = 0, h = 0, r = 1, n = 1;
  int32_t sector_count = -1;  // stored count; -1: the sectors of its track
  int32_t data_length = -1;   // stored data length; -1: data.size()
  uint8_t density = 0;        // header byte 6: 0x40 single density
  uint8_t deleted = 0;        // byte 7: 0x10 deleted data
  uint8_t status = 0;         // byte 8: the controller's status, 0 normal
  Bytes data;
};

struct Disk {
  std::string name;
  uint8_t media_type = 0;
  std::map<int, std::vector<Sector>> tracks;  // stored in index order
  std::optional<int64_t> disk_size;           // stored size; default: real
  std::map<int, int64_t> track_offsets;       // stored track-table entries

  // Replaces `track` with `count` sectors R = first_r, first_r + 1, ... of
  // size code n, addressed C = track / 2, H = track % 2, zero-filled.
  void FormatTrack(int track, int first_r, int count, uint8_t n);

  // The first sector of `track` numbered r, or nullptr.
  Sector* FindSector(int track, int r);

  // Copies `bytes` into the data of sector r of `track` from `offset` on.
  void Write(int track, int r, size_t offset, const Bytes& bytes);
};

// The stored bytes of one disk and of an image of disks back to back.
Bytes BuildDisk(const Disk& disk);
Bytes BuildImage(const std::vector<Disk>& disks);

// A disk as the extraction expects: track 0 holds sectors 1 to 16 of 256
// bytes with the directory in 13 and 14 and the identification block in 15
// and 16; file data lies in sectors 1 to 5 of 1024 bytes on later tracks.
class DataDisk {
 public:
  static constexpr int kSectorsPerFileTrack = 5;
  static constexpr int kFileSectorSize = 1024;

  explicit DataDisk(int disk_number, std::string name = "DATA");

  // Sets directory entry `entry` to the given fields without laying data.
  void SetEntry(int entry, int start_sector, int start_track, int length);

  // Sets the entry and lays `data` from (start_track, start_sector) on, one
  // 1024-byte sector after another, formatting file tracks as it goes.
  void AddFile(int entry, int start_track, int start_sector, const Bytes& data);

  Disk& disk() { return disk_; }
  Bytes Build() const { return BuildDisk(disk_); }

 private:
  Disk disk_;
};

// Deterministic, varied bytes: the same (length, seed) gives the same bytes.
Bytes Pattern(size_t length, uint32_t seed);

// Writes `bytes` to `path`; returns false on failure.
bool WriteBytes(const std::filesystem::path& path, const Bytes& bytes);

// Writes `bytes` at `offset` into the file at `path`, creating it when
// missing and leaving the rest as it is: past the end, a hole. Returns false
// on failure.
bool WriteBytesAt(const std::filesystem::path& path, int64_t offset,
                  const Bytes& bytes);

// Reads the whole file at `path`; nullopt when it cannot be read.
std::optional<Bytes> ReadBytes(const std::filesystem::path& path);

}  // namespace d88

#endif  // DORVEX_TESTS_D88_BUILDER_H_
