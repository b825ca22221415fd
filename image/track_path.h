#ifndef DORVEX_IMAGE_TRACK_PATH_H_
#define DORVEX_IMAGE_TRACK_PATH_H_

#include <cstdint>

namespace dorvex {

// What the walks from one start header have learned of the path they all
// follow. A walk goes where the stored headers send it, whatever it seeks,
// so every walk from one start passes the same headers in the same order;
// tracks that share a start share the path. The path notes, for each C/H/N
// it has met, the first header that carries it, and how far the walks have
// gone. A walk for a C/H/N can then start at that header, or at the frontier
// when no header before it carries that C/H/N: nothing it skips could have
// matched. A chain of headers that many tracks share is so walked once, not
// once a track. Holds no more than fixed arrays.
class TrackPath {
 public:
  // Distinct C/H/N that one path notes. A path that meets more stops
  // learning there; walks then go on from that point as before.
  static constexpr int kMaxKeys = 32;

  // Where a walk stands: the next header to read, its index in the walk,
  // and whether the walk has ended.
  struct Place {
    int64_t header = 0;
    int64_t index = 0;
    bool ended = false;
  };

  // Starts a path at the header at `start`, having learned nothing.
  void Begin(int64_t start) {
    frontier_ = Place{start, 0, false};
    key_count_ = 0;
  }

  // Where a walk for c/h/n may start: the first header known to carry it,
  // or the frontier when none before it does.
  Place StartFor(int32_t c, int32_t h, int32_t n) const {
    const int at = FindKey(c, h, n);
    return at < 0 ? frontier_ : first_[at];
  }

  // True when the header at `place` is the first that no walk has taught
  // the path yet.
  bool AtFrontier(const Place& place) const {
    return !frontier_.ended && place.header == frontier_.header &&
           place.index == frontier_.index;
  }

  // Learns the frontier header, which carries c/h/n (`matchable` false when
  // its sector count of 0 ended the walk before any match), and moves the
  // frontier on to `next`. A C/H/N beyond the kMaxKeys the path holds stops
  // it there for good: the frontier stays. Call only when AtFrontier.
  void Pass(bool matchable, int32_t c, int32_t h, int32_t n,
            const Place& next) {
    if (matchable && FindKey(c, h, n) < 0) {
      if (key_count_ == kMaxKeys) return;
      keys_[key_count_] = Key(c, h, n);
      first_[key_count_] = frontier_;
      ++key_count_;
    }
    frontier_ = next;
  }

 private:
  static uint32_t Key(int32_t c, int32_t h, int32_t n) {
    return static_cast<uint32_t>(c) << 16 | static_cast<uint32_t>(h) << 8 |
           static_cast<uint32_t>(n);
  }

  int FindKey(int32_t c, int32_t h, int32_t n) const {
    const uint32_t key = Key(c, h, n);
    for (int i = 0; i < key_count_; ++i) {
      if (keys_[i] == key) return i;
    }
    return -1;
  }

  Place frontier_;
  int key_count_ = 0;
  uint32_t keys_[kMaxKeys];  // C/H/N, a byte each, in the order met
  Place first_[kMaxKeys];    // where each key was first met
};

}  // namespace dorvex

#endif  // DORVEX_IMAGE_TRACK_PATH_H_
