#ifndef DORVEX_IMAGE_TRACK_WALK_H_
#define DORVEX_IMAGE_TRACK_WALK_H_

#include <cstdint>
#include <cstring>

namespace dorvex {

// What one walk of a track's sector headers has found for one C/H/N: where
// each sector number R first matched, and where the walk stands, so that a
// later lookup on that track reads only its sector's data, and a lookup of
// a sector not yet seen goes on from where the walk stopped instead of
// starting again. Whether a walk goes on, and where, depends on the stored
// headers alone, never on the address sought, which is what makes its
// findings reusable. Holds no more than fixed arrays.
class TrackWalk {
 public:
  static constexpr int32_t kRecordNumbers = 256;

  // True when this walk is the one that matches c/h/n. Where it starts is
  // fixed while a disk stays selected.
  bool IsFor(int32_t c, int32_t h, int32_t n) const {
    return active_ && c_ == c && h_ == h && n_ == n;
  }

  // Starts a walk at the header at `start`, the `index`th of the walk (ended
  // already when `ended`), having seen nothing: no header before it may
  // carry c/h/n.
  void Begin(int64_t start, int64_t index, bool ended, int32_t c, int32_t h,
             int32_t n) {
    active_ = true;
    c_ = c;
    h_ = h;
    n_ = n;
    next_header_ = start;
    next_index_ = index;
    ended_ = ended;
    // Only the numbers noted since are cleared: most walks note a few.
    if (!cleared_) {
      std::memset(data_offset_, 0, sizeof data_offset_);
      cleared_ = true;
    }
    for (int32_t i = 0; i < noted_count_; ++i) data_offset_[noted_[i]] = 0;
    noted_count_ = 0;
  }

  // Makes the walk unusable until the next Begin.
  void Forget() { active_ = false; }

  // The data of the first sector numbered `r` (0 to 255) that the walk has
  // passed: its file offset and stored length. False when none yet.
  bool Find(int32_t r, int64_t* offset, int32_t* length) const {
    if (data_offset_[r] == 0) return false;
    *offset = data_offset_[r];
    *length = data_length_[r];
    return true;
  }

  // Notes a matching header for sector `r` whose data lies at `offset`; an
  // earlier match of the same number wins.
  void Note(int32_t r, int64_t offset, int32_t length) {
    if (data_offset_[r] != 0) return;
    noted_[noted_count_++] = static_cast<uint8_t>(r);
    data_offset_[r] = offset;
    data_length_[r] = static_cast<uint16_t>(length);
  }

  int32_t c() const { return c_; }
  int32_t h() const { return h_; }
  int32_t n() const { return n_; }

  // Where the walk stands: the next header to read and its index in the
  // walk; ended once a header stopped it.
  int64_t next_header() const { return next_header_; }
  int64_t next_index() const { return next_index_; }
  bool ended() const { return ended_; }

  void Advance(int64_t next_header) {
    next_header_ = next_header;
    ++next_index_;
  }
  void End() { ended_ = true; }

 private:
  bool active_ = false;
  bool ended_ = false;
  bool cleared_ = false;  // data_offset_ has been cleared once
  int32_t noted_count_ = 0;
  int32_t c_ = 0, h_ = 0, n_ = 0;
  int64_t next_header_ = 0;
  int64_t next_index_ = 0;
  // Data lies after a header, so never at offset 0: 0 means not yet seen.
  // No array is read before the first Begin clears the offsets, so none is
  // initialized: untouched, they cost no memory.
  int64_t data_offset_[kRecordNumbers];
  uint16_t data_length_[kRecordNumbers];
  uint8_t noted_[kRecordNumbers];  // the numbers noted, in order
};

}  // namespace dorvex

#endif  // DORVEX_IMAGE_TRACK_WALK_H_
