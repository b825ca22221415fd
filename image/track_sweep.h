#ifndef DORVEX_IMAGE_TRACK_SWEEP_H_
#define DORVEX_IMAGE_TRACK_SWEEP_H_

#include <cstdint>

#include "image/image_file.h"
#include "image/track_walk.h"

namespace dorvex {

// Takes the walks of a disk's tracks to their ends together, in one pass
// over the file in address order, so that no header is read twice however
// many walks pass it.
//
// A walk only moves forward, to where each header's data length sends it,
// so walks that reach the same header pass the same headers from there on:
// they go on as one group. They still differ in their index, the count of
// headers each has passed, and so in where a header's sector count ends
// them; within a group each index is kept as an offset from the group's own
// count of steps, ordered, so that the one walk a count can end is found by
// a binary search. The walk of track t looks for the cylinder and head of
// track t, so a header's C/H names the one walk that can match it.
// Holds no more than fixed arrays.
class TrackSweep {
 public:
  static constexpr int32_t kMaxWalks = 164;

  // Forgets every walk added.
  void Clear();

  // Adds the walk of track `track` (0 to kMaxWalks - 1): one not ended,
  // for C = track / 2, H = track % 2 and any N. At most one walk a track.
  void Add(int32_t track, const TrackWalk& walk);

  // Takes every walk added to its end, noting in walks[t] the sectors that
  // walk t passes, exactly as walking each on its own would. Then forgets
  // them.
  void Run(ImageFile& file, TrackWalk* walks);

 private:
  // Moves group g on, header by header, while its next header lies before
  // `bound`. False when every walk of the group has ended.
  bool Advance(ImageFile& file, TrackWalk* walks, int32_t g, int64_t bound);

  // Ends the walks of group g whose base is `base`, if any.
  void EndAt(TrackWalk* walks, int32_t g, int64_t base);
  // Ends every walk of group g, for `why`.
  void EndAll(TrackWalk* walks, int32_t g, ReadFault why);

  // Moves the walks of group `from`, which stands where `into` does, into
  // `into`.
  void Merge(int32_t into, int32_t from);

  // A heap of groups, nearest next header first.
  void Push(int32_t g);
  int32_t Pop();
  bool Before(int32_t a, int32_t b) const { return next_[a] < next_[b]; }

  int32_t group_count_ = 0;
  int32_t heap_size_ = 0;
  int16_t heap_[kMaxWalks] = {};
  // Each group: its next header, the headers it has passed, and its walks,
  // ordered by base_.
  int64_t next_[kMaxWalks] = {};
  int64_t steps_[kMaxWalks] = {};
  int16_t size_[kMaxWalks] = {};
  int16_t members_[kMaxWalks][kMaxWalks] = {};
  // Each track's walk: its index is base_ plus its group's steps.
  int64_t base_[kMaxWalks] = {};
  int16_t group_of_[kMaxWalks] = {};  // -1 when not walking
};

}  // namespace dorvex

#endif  // DORVEX_IMAGE_TRACK_SWEEP_H_
