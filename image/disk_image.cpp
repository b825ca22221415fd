#include "image/disk_image.h"

#include <cstring>
#include <limits>

#include "image/byte_order.h"

namespace dorvex {

namespace {

// Disk header fields.
constexpr int32_t kMediaTypeOffset = 27;
constexpr int32_t kDiskSizeOffset = 28;
constexpr int32_t kTrackTableOffset = 32;

// Sector header fields.
constexpr int32_t kSectorCountOffset = 4;
constexpr int32_t kDataLengthOffset = 14;

// Largest size code whose nominal size, 128 << n, fits a signed 32-bit count.
constexpr int32_t kLargestExactSizeCode = 23;

// A header belongs to a walk's findings when its C, H and N are the walk's;
// its R says which sector it is.
bool MatchesWalk(const uint8_t* header, const TrackWalk& walk) {
  return header[0] == walk.c() && header[1] == walk.h() &&
         header[3] == walk.n();
}

bool IsByte(int32_t value) { return value >= 0 && value <= 255; }

// The bytes a sector of size code n (0 to 255) stands for in a run. Beyond
// kLargestExactSizeCode the size exceeds every length a run can ask for.
int64_t NominalSectorSize(int32_t n) {
  if (n > kLargestExactSizeCode) return int64_t{1} << 31;
  return int64_t{128} << n;
}

}  // namespace

bool DiskImage::Open(const char* path) {
  Close();
  // A new file makes the old selection meaningless.
  ClearSelection();
  if (!file_.Open(path)) return false;

  // The scan reads nothing but each header's disk size. A running offset
  // that turns negative or leaves the 32-bit range cannot be sought, and
  // ends it.
  uint8_t header[kDiskHeaderSize];
  int64_t offset = 0;
  while (disk_count_ < kMaxDisks) {
    disk_offsets_[disk_count_] = static_cast<int32_t>(offset);
    if (!file_.Seek(offset)) break;
    if (file_.ReadPassing(header, kDiskHeaderSize) < kDiskHeaderSize) break;
    offset += DecodeLe32(header + kDiskSizeOffset);
    ++disk_count_;
    if (offset < 0 || offset > std::numeric_limits<int32_t>::max()) break;
  }
  return true;
}

void DiskImage::Close() {
  file_.Close();
  disk_count_ = 0;
  media_type_ = -1;
}

void DiskImage::ForgetWalks() {
  // What a walk found holds only for the disk and file it was made on.
  for (TrackWalk& walk : walks_) walk.Forget();
  for (int16_t& path : path_of_) path = -1;
  std::memset(path_slots_, 0, sizeof path_slots_);
  path_count_ = 0;
}

TrackPath& DiskImage::PathOf(int32_t track, int64_t start) {
  int16_t& path = path_of_[track];
  if (path >= 0) return paths_[path];
  // At most 164 paths in 512 slots: a free slot is always near.
  uint32_t slot = static_cast<uint32_t>(
      static_cast<uint64_t>(start) * 0x9E3779B97F4A7C15u >> 55);
  while (path_slots_[slot] != 0) {
    const int16_t found = static_cast<int16_t>(path_slots_[slot] - 1);
    if (path_starts_[found] == start) {
      path = found;
      return paths_[found];
    }
    slot = (slot + 1) % kPathSlots;
  }
  path = static_cast<int16_t>(path_count_++);
  path_slots_[slot] = static_cast<int16_t>(path + 1);
  path_starts_[path] = start;
  paths_[path].Begin(start);
  return paths_[path];
}

void DiskImage::ClearSelection() {
  ForgetWalks();
  disk_base_ = -1;
  media_type_ = -1;
  disk_size_ = 0;
  std::memset(disk_name_, 0, sizeof disk_name_);
}

bool DiskImage::SelectDisk(int32_t index) {
  if (!file_.IsOpen()) return false;
  ClearSelection();
  if (index < 0 || index >= disk_count_) return false;

  // The scan read this header whole; only a file that shrank since can make
  // it fall short, and then the disk stays unselected.
  uint8_t header[kDiskHeaderSize];
  const int32_t base = disk_offsets_[index];
  if (!file_.Seek(base)) return false;
  if (file_.Read(header, kDiskHeaderSize) < kDiskHeaderSize) return false;

  disk_base_ = base;
  for (int32_t t = 0; t < kTrackCount; ++t) {
    track_table_[t] = DecodeLe32(header + kTrackTableOffset + 4 * t);
  }
  media_type_ = header[kMediaTypeOffset];
  disk_size_ = DecodeLe32(header + kDiskSizeOffset);
  for (int32_t i = 0; i < kDiskNameLength && header[i] != 0; ++i) {
    disk_name_[i] = static_cast<char>(header[i]);
  }
  return true;
}

bool DiskImage::FindTrack(int32_t track, int64_t* start) const {
  if (!file_.IsOpen()) return false;
  if (track < 0 || track >= kTrackCount) return false;
  const int32_t offset = track_table_[track];
  // Signed comparison: a negative entry passes here, and fails only if it
  // reaches before the start of the file.
  if (offset == 0 || offset > disk_size_) return false;
  *start = int64_t{disk_base_} + offset;
  return *start >= 0;
}

bool DiskImage::SeekToTrack(int32_t track) {
  int64_t start = 0;
  return FindTrack(track, &start) && file_.Seek(start);
}

int32_t DiskImage::ReadSector(int32_t track, int32_t c, int32_t h, int32_t r,
                              int32_t n, uint8_t* buffer, int32_t max_length) {
  if (max_length <= 0) return 0;
  int64_t start = 0;
  if (!FindTrack(track, &start)) return 0;
  // An address value outside 0 to 255 matches no header byte: the walk
  // would find nothing.
  if (!IsByte(c) || !IsByte(h) || !IsByte(r) || !IsByte(n)) return 0;
  TrackWalk& walk = walks_[track];
  TrackPath& path = PathOf(track, start);
  if (!walk.IsFor(c, h, n)) {
    const TrackPath::Place from = path.StartFor(c, h, n);
    walk.Begin(from.header, from.index, from.ended, c, h, n);
  }
  int64_t offset = 0;
  int32_t length = 0;
  if (!walk.Find(r, &offset, &length) &&
      !WalkOn(walk, path, r, &offset, &length)) {
    return 0;
  }
  if (!file_.Seek(offset)) return 0;
  return file_.Read(buffer, length < max_length ? length : max_length);
}

bool DiskImage::WalkOn(TrackWalk& walk, TrackPath& path, int32_t r,
                       int64_t* offset, int32_t* length) {
  uint8_t header[kSectorHeaderSize];
  // Each header's own sector count decides where the walk ends, so with
  // inconsistent counts it can run on past the track; the index is 64 bits
  // wide so that no walk to the end of a huge file overflows it.
  while (!walk.ended()) {
    const TrackPath::Place here{walk.next_header(), walk.next_index(), false};
    const bool teaches = path.AtFrontier(here);
    // Ends the walk at this header before any match; the path ends there.
    auto end_here = [&] {
      walk.End();
      if (teaches) path.Pass(false, 0, 0, 0, {here.header, here.index, true});
    };
    if (!file_.Seek(here.header) ||
        file_.Read(header, kSectorHeaderSize) < kSectorHeaderSize) {
      end_here();
      break;
    }
    const int32_t sector_count = DecodeLe16(header + kSectorCountOffset);
    const int32_t data_length = DecodeLe16(header + kDataLengthOffset);
    // A sector count of 0 ends the walk before the header is matched; the
    // header's own count ends it after.
    if (sector_count == 0) {
      end_here();
      break;
    }
    if (here.index == sector_count - 1) {
      walk.End();
    } else {
      walk.Advance(here.header + kSectorHeaderSize + data_length);
    }
    if (teaches) {
      path.Pass(true, header[0], header[1], header[3],
                {walk.next_header(), walk.next_index(), walk.ended()});
    }
    if (MatchesWalk(header, walk)) {
      walk.Note(header[2], here.header + kSectorHeaderSize, data_length);
      if (header[2] == r) return walk.Find(r, offset, length);
    }
  }
  return false;
}

int32_t DiskImage::ReadSectors(int32_t track, int32_t c, int32_t h, int32_t r,
                               int32_t n, uint8_t* buffer, int32_t length) {
  // No header carries a size code outside 0 to 255, so no piece could be
  // read; answering at once also keeps 128 << n a defined shift.
  if (n < 0 || n > 255) return 0;
  const int64_t step = NominalSectorSize(n);
  int32_t done = 0;
  while (done < length) {
    const int32_t remaining = length - done;
    const int32_t piece =
        step < remaining ? static_cast<int32_t>(step) : remaining;
    if (ReadSector(track, c, h, r, n, buffer + done, piece) < piece) {
      return done;
    }
    done += piece;
    // A piece was read, so track, c, h and r matched a sector and are small:
    // none of the steps below can overflow.
    if (r == last_sector_) {
      ++track;
      if (h == 0) {
        h = 1;
      } else {
        h = 0;
        ++c;
      }
      r = first_sector_;
    } else {
      ++r;
    }
  }
  return done;
}

int32_t DiskImage::ListSectorIds(int32_t track, uint8_t* buffer,
                                 int32_t length) {
  if (!SeekToTrack(track)) return 0;
  uint8_t header[kSectorHeaderSize];
  int32_t result = 0;
  // Unlike ReadSector, a sector count of 0 does not end the listing.
  for (int32_t i = 0; length - result >= 4; ++i) {
    if (file_.Read(header, kSectorHeaderSize) < kSectorHeaderSize) break;
    std::memcpy(buffer + result, header, 4);
    result += 4;
    if (!file_.Skip(DecodeLe16(header + kDataLengthOffset))) break;
    if (i == DecodeLe16(header + kSectorCountOffset) - 1) break;
  }
  return result;
}

}  // namespace dorvex
