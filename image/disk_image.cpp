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

// Largest size code whose nominal size, 128 << n, fits a signed 32-bit count.
constexpr int32_t kLargestExactSizeCode = 23;

bool IsByte(int32_t value) { return value >= 0 && value <= 255; }

// No header carries it: a walk asked for it goes on to its end.
constexpr int32_t kNoRecord = -1;

constexpr int64_t kUnbounded = std::numeric_limits<int64_t>::max();

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
    if (file_.ReadAroundBuffer(header, kDiskHeaderSize) < kDiskHeaderSize)
      break;
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
  walked_ = 0;
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

ReadFault DiskImage::LocateTrack(int32_t track, int64_t* start) const {
  if (!file_.IsOpen()) return ReadFault::kNoImage;
  if (track < 0 || track >= kTrackCount) return ReadFault::kTrackOutOfRange;
  const int32_t offset = track_table_[track];
  // Signed comparison: a negative entry passes here, and fails only if it
  // reaches before the start of the file.
  if (offset == 0) return ReadFault::kTrackAbsent;
  if (offset > disk_size_) return ReadFault::kTrackBeyondDisk;
  *start = int64_t{disk_base_} + offset;
  return *start >= 0 ? ReadFault::kNone : ReadFault::kTrackBeforeFile;
}

// Inlined into ReadSector, which the extraction calls for every piece: a
// call between them cost it 4% of its instructions.
[[gnu::always_inline]] inline ReadFault DiskImage::LookUp(int32_t track,
                                                          int32_t c, int32_t h,
                                                          int32_t r, int32_t n,
                                                          int64_t* offset,
                                                          int32_t* length) {
  int64_t start = 0;
  const ReadFault located = LocateTrack(track, &start);
  if (located != ReadFault::kNone) return located;
  // An address value outside 0 to 255 matches no header byte: the walk
  // would find nothing.
  if (!IsByte(c) || !IsByte(h) || !IsByte(r) || !IsByte(n)) {
    return ReadFault::kRecordOutOfRange;
  }
  TrackWalk& walk = walks_[track];
  if (!walk.IsFor(c, h) || !walk.TakeLane(n)) walk.Begin(start, c, h, n);
  if (!FindSector(track, walk, r, n, offset, length)) return walk.end();
  return ReadFault::kNone;
}

int32_t DiskImage::ReadSector(int32_t track, int32_t c, int32_t h, int32_t r,
                              int32_t n, uint8_t* buffer, int32_t max_length,
                              ReadFault* fault) {
  ReadFault unused;
  ReadFault& why = fault != nullptr ? *fault : unused;
  why = ReadFault::kNone;
  if (max_length <= 0) return 0;
  int64_t offset = 0;
  int32_t length = 0;
  why = LookUp(track, c, h, r, n, &offset, &length);
  if (why != ReadFault::kNone) return 0;
  const int32_t wanted = length < max_length ? length : max_length;
  const int32_t read = file_.Seek(offset) ? file_.Read(buffer, wanted) : 0;
  if (read < wanted) {
    why = ReadFault::kFileEndsInData;
  } else if (read < max_length) {
    why = ReadFault::kSectorShort;
  }
  return read;
}

bool DiskImage::ReadSectorMarks(int32_t track, int32_t c, int32_t h, int32_t r,
                                int32_t n, SectorMarks* marks) {
  int64_t offset = 0;
  int32_t length = 0;
  if (LookUp(track, c, h, r, n, &offset, &length) != ReadFault::kNone) {
    return false;
  }
  // A header that the buffer no longer holds (its data began a fresh fill)
  // is read on its own: filling the buffer again there would read a whole
  // buffer twice for 16 bytes.
  uint8_t header[SectorHeader::kSize];
  if (!file_.Seek(offset - SectorHeader::kSize) ||
      file_.ReadAroundBuffer(header, SectorHeader::kSize) <
          SectorHeader::kSize) {
    return false;  // the walk read it whole: only a file that shrank fails
  }
  marks->density = header[SectorMarks::kDensityOffset];
  marks->deleted = header[SectorMarks::kDeletedOffset];
  marks->status = header[SectorMarks::kStatusOffset];
  marks->twin = walks_[track].HasTwin(r, n);
  return true;
}

void DiskImage::FinishWalks() {
  // Each walk on its own, each at most kFinishHeaders further: a disk's
  // walks then read at most 164 times that many more headers, however the
  // image chains them.
  for (TrackWalk& walk : walks_) {
    if (walk.IsActive() && !walk.ended()) {
      WalkOn(walk, kNoRecord, kNoRecord, walked_ + kFinishHeaders);
    }
  }
}

bool DiskImage::FindSector(int32_t track, TrackWalk& walk, int32_t r, int32_t n,
                           int64_t* offset, int32_t* length) {
  if (walk.Find(r, n, offset, length)) return true;
  // Only a track's own cylinder and head can be swept: a header's C/H then
  // names the one walk it can answer. Others walk as far as they must.
  const bool own = walk.c() == track / 2 && walk.h() == track % 2;
  const int64_t limit = own ? walk_budget_ : kUnbounded;
  if (WalkOn(walk, r, n, limit)) return walk.Find(r, n, offset, length);
  if (walk.ended()) return false;
  SweepTracks(n);
  return walk.Find(r, n, offset, length);
}

bool DiskImage::WalkOn(TrackWalk& walk, int32_t r, int32_t n, int64_t limit) {
  SectorHeader header;
  // Each header's own sector count decides where the walk ends, so with
  // inconsistent counts it can run on past the track; the index is 64 bits
  // wide so that no walk to the end of a huge file overflows it.
  while (!walk.ended()) {
    if (walked_ >= limit) return false;
    ++walked_;
    const int64_t at = walk.next_header();
    // A sector count of 0 ends the walk before the header is matched; the
    // header's own count ends it after.
    if (!ReadSectorHeader(file_, at, &header)) {
      walk.End(ReadFault::kEndedAtFileEnd);
      return false;
    }
    if (header.sector_count == 0) {
      walk.End(ReadFault::kEndedAtZeroCount);
      return false;
    }
    if (walk.next_index() == header.sector_count - 1) {
      walk.End(ReadFault::kEndedAtCount);
    } else {
      walk.Advance(header.NextAfter(at));
    }
    if (walk.Matches(header)) {
      walk.Note(header, at);
      if (header.record == r && header.size_code == n) return true;
    }
  }
  return false;
}

void DiskImage::SweepTracks(int32_t n) {
  sweep_.Clear();
  for (int32_t track = 0; track < kTrackCount; ++track) {
    int64_t start = 0;
    if (LocateTrack(track, &start) != ReadFault::kNone) continue;
    TrackWalk& walk = walks_[track];
    const int32_t cylinder = track / 2, head = track % 2;
    if (!walk.IsFor(cylinder, head) || !walk.TakeLane(n)) {
      walk.Begin(start, cylinder, head, n);
    }
    if (!walk.ended()) sweep_.Add(track, walk);
  }
  sweep_.Run(file_, walks_);
}

int32_t DiskImage::ReadSectors(int32_t track, int32_t c, int32_t h, int32_t r,
                               int32_t n, uint8_t* buffer, int32_t length,
                               ReadFault* fault) {
  ReadFault unused;
  ReadFault& why = fault != nullptr ? *fault : unused;
  why = ReadFault::kNone;
  // No header carries a size code outside 0 to 255, so no piece could be
  // read; answering at once also keeps 128 << n a defined shift.
  if (n < 0 || n > 255) {
    if (length > 0) why = ReadFault::kRecordOutOfRange;
    return 0;
  }
  const int64_t step = NominalSectorSize(n);
  SectorRun run{track, c, h, r};
  int32_t done = 0;
  while (done < length) {
    const int32_t remaining = length - done;
    const int32_t piece =
        step < remaining ? static_cast<int32_t>(step) : remaining;
    if (ReadSector(run.track, run.c, run.h, run.r, n, buffer + done, piece,
                   &why) < piece) {
      return done;
    }
    done += piece;
    // A piece was read, so the run's fields matched a sector and are small:
    // no step can overflow.
    StepRun(run);
  }
  return done;
}

int32_t DiskImage::ListSectorIds(int32_t track, uint8_t* buffer,
                                 int32_t length) {
  int64_t at = 0;
  if (LocateTrack(track, &at) != ReadFault::kNone) return 0;
  SectorHeader header;
  int32_t result = 0;
  // Unlike ReadSector, a sector count of 0 does not end the listing.
  for (int64_t i = 0; length - result >= 4; ++i) {
    if (!ReadSectorHeader(file_, at, &header)) break;
    buffer[result] = static_cast<uint8_t>(header.cylinder);
    buffer[result + 1] = static_cast<uint8_t>(header.head);
    buffer[result + 2] = static_cast<uint8_t>(header.record);
    buffer[result + 3] = static_cast<uint8_t>(header.size_code);
    result += 4;
    at = header.NextAfter(at);
    if (i == header.sector_count - 1) break;
  }
  return result;
}

}  // namespace dorvex
