#ifndef DORVEX_IMAGE_TRACK_WALK_H_
#define DORVEX_IMAGE_TRACK_WALK_H_

#include <cstdint>
#include <cstring>

#include "image/read_fault.h"
#include "image/sector_header.h"

namespace dorvex {

// What one walk of a track's sector headers has found for one cylinder and
// head: where each sector number R first matched, for up to two size codes,
// and where the walk stands, so that a later lookup on that track reads only
// its sector's data, and a lookup of a sector not yet seen goes on from
// where the walk stopped instead of starting again. Whether a walk goes on,
// and where, depends on the stored headers alone, never on the address
// sought, which is what makes its findings reusable.
//
// The size code asked when the walk begins has a lane of its own; the other
// lane goes to the first other size code the walk meets. A program that
// reads system sectors and file sectors of two sizes so walks each track
// once. Holds no more than fixed arrays.
class TrackWalk {
 public:
  static constexpr int32_t kRecordNumbers = 256;
  static constexpr int32_t kLanes = 2;

  // True when this walk looks for cylinder c and head h. Where it starts is
  // fixed while a disk stays selected.
  bool IsFor(int32_t c, int32_t h) const {
    return active_ && c_ == c && h_ == h;
  }

  // Makes sure that a lane answers for size code n: true when one does, or
  // when a free lane is taken for it (then the walk has passed no header of
  // size code n, so the lane misses nothing). False when no lane is left:
  // the walk must begin again to answer for n.
  bool TakeLane(int32_t n) {
    if (LaneOf(n) >= 0) return true;
    const int32_t lane = FreeLane();
    if (lane < 0) return false;
    Claim(lane, n);
    return true;
  }

  // Starts a walk for c/h at the track's first header, at `start`, having
  // seen nothing, with a lane for size code n.
  void Begin(int64_t start, int32_t c, int32_t h, int32_t n) {
    active_ = true;
    c_ = c;
    h_ = h;
    next_header_ = start;
    next_index_ = 0;
    end_ = ReadFault::kNone;
    for (int32_t lane = 0; lane < kLanes; ++lane) FreeLane(lane);
    Claim(0, n);
  }

  // True from Begin until Forget.
  bool IsActive() const { return active_; }

  // Makes the walk unusable until the next Begin.
  void Forget() { active_ = false; }

  // True when `header` carries the walk's cylinder and head.
  bool Matches(const SectorHeader& header) const {
    return header.cylinder == c_ && header.head == h_;
  }

  // The data of the first sector R = r (0 to 255) of size code n that the
  // walk has passed: its file offset and stored length. False when none yet.
  bool Find(int32_t r, int32_t n, int64_t* offset, int32_t* length) const {
    const int32_t lane = LaneOf(n);
    if (lane < 0 || data_offset_[lane][r] == 0) return false;
    *offset = data_offset_[lane][r];
    *length = data_length_[lane][r];
    return true;
  }

  // Notes the matching header at file offset `at` in its size code's lane,
  // taking the free lane for a size code not yet met; a size code with no
  // lane left is not noted. An earlier match of the same number wins.
  void Note(const SectorHeader& header, int64_t at) {
    int32_t lane = LaneOf(header.size_code);
    if (lane < 0) {
      lane = FreeLane();
      if (lane < 0) return;
      Claim(lane, header.size_code);
    }
    const int32_t r = header.record;
    if (data_offset_[lane][r] != 0) {
      // The first stays the one read; that there is another is kept for a
      // caller that explains what was read.
      MarkTwin(lane, r);
      return;
    }
    noted_[lane][noted_count_[lane]++] = static_cast<uint8_t>(r);
    data_offset_[lane][r] = SectorHeader::DataAt(at);
    data_length_[lane][r] = static_cast<uint16_t>(header.data_length);
  }

  // True when the walk has passed a second header with the address of the
  // first sector R = r of size code n that it noted.
  bool HasTwin(int32_t r, int32_t n) const {
    const int32_t lane = LaneOf(n);
    return lane >= 0 && has_twins_[lane] &&
           (twins_[lane][r / 8] >> (r % 8) & 1) != 0;
  }

  int32_t c() const { return c_; }
  int32_t h() const { return h_; }

  // Where the walk stands: the next header to read and its index in the
  // walk; ended once a header stopped it, and why: kEndedAtCount,
  // kEndedAtZeroCount or kEndedAtFileEnd (kNone while it goes on).
  int64_t next_header() const { return next_header_; }
  int64_t next_index() const { return next_index_; }
  bool ended() const { return end_ != ReadFault::kNone; }
  ReadFault end() const { return end_; }

  void Advance(int64_t next_header) {
    next_header_ = next_header;
    ++next_index_;
  }
  void End(ReadFault why) { end_ = why; }

 private:
  int32_t LaneOf(int32_t n) const {
    for (int32_t lane = 0; lane < kLanes; ++lane) {
      if (size_code_[lane] == n) return lane;
    }
    return -1;
  }

  int32_t FreeLane() const { return LaneOf(kFree); }

  // Forgets what the lane noted. Only the numbers noted are cleared: most
  // walks note a few.
  void FreeLane(int32_t lane) {
    for (int32_t i = 0; i < noted_count_[lane]; ++i) {
      data_offset_[lane][noted_[lane][i]] = 0;
    }
    noted_count_[lane] = 0;
    size_code_[lane] = kFree;
    if (has_twins_[lane]) {
      std::memset(twins_[lane], 0, sizeof twins_[lane]);
      has_twins_[lane] = false;
    }
  }

  void MarkTwin(int32_t lane, int32_t r) {
    has_twins_[lane] = true;
    twins_[lane][r / 8] =
        static_cast<uint8_t>(twins_[lane][r / 8] | 1 << (r % 8));
  }

  // Gives a free lane to size code n. A lane's offsets are cleared whole
  // the first time only, so that a lane never used costs no memory.
  void Claim(int32_t lane, int32_t n) {
    if (!cleared_[lane]) {
      std::memset(data_offset_[lane], 0, sizeof data_offset_[lane]);
      cleared_[lane] = true;
    }
    size_code_[lane] = n;
  }

  static constexpr int32_t kFree = -1;  // no size code is negative

  bool active_ = false;
  ReadFault end_ = ReadFault::kNone;
  int32_t c_ = 0, h_ = 0;
  int64_t next_header_ = 0;
  int64_t next_index_ = 0;
  int32_t size_code_[kLanes] = {kFree, kFree};
  bool cleared_[kLanes] = {};  // data_offset_ has been cleared once
  int32_t noted_count_[kLanes] = {};
  // Which numbers have a twin; cleared only in a lane that has one, since
  // dumps with twins are rare.
  bool has_twins_[kLanes] = {};
  uint8_t twins_[kLanes][kRecordNumbers / 8] = {};
  // Data lies after a header, so never at offset 0: 0 means not yet seen.
  // No lane's arrays are read before its first Claim clears the offsets, so
  // none is initialized: untouched, they cost no memory.
  int64_t data_offset_[kLanes][kRecordNumbers];
  uint16_t data_length_[kLanes][kRecordNumbers];
  uint8_t noted_[kLanes][kRecordNumbers];  // the numbers noted, in order
};

}  // namespace dorvex

#endif  // DORVEX_IMAGE_TRACK_WALK_H_
