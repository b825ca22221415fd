#include "image/track_sweep.h"

#include <limits>

#include "image/sector_header.h"

namespace dorvex {

void TrackSweep::Clear() {
  group_count_ = 0;
  heap_size_ = 0;
  for (int16_t& group : group_of_) group = -1;
}

void TrackSweep::Add(int32_t track, const TrackWalk& walk) {
  const int32_t g = group_count_++;
  next_[g] = walk.next_header();
  steps_[g] = 0;
  size_[g] = 1;
  members_[g][0] = static_cast<int16_t>(track);
  base_[track] = walk.next_index();
  group_of_[track] = static_cast<int16_t>(g);
  Push(g);
}

void TrackSweep::Run(ImageFile& file, TrackWalk* walks) {
  while (heap_size_ > 0) {
    const int32_t g = Pop();
    while (heap_size_ > 0 && next_[heap_[0]] == next_[g]) Merge(g, Pop());
    const int64_t bound =
        heap_size_ > 0 ? next_[heap_[0]] : std::numeric_limits<int64_t>::max();
    if (Advance(file, walks, g, bound)) Push(g);
  }
  Clear();
}

bool TrackSweep::Advance(ImageFile& file, TrackWalk* walks, int32_t g,
                         int64_t bound) {
  SectorHeader header;
  int64_t at = next_[g];
  int64_t steps = steps_[g];
  // The bases of the group's first and last walks: a count whose last index
  // falls outside them ends none, which is most headers' case.
  int64_t lowest = base_[members_[g][0]];
  int64_t highest = base_[members_[g][size_[g] - 1]];
  while (at < bound) {
    // A header that cannot be read, or a sector count of 0, ends every walk
    // there before any match.
    if (!ReadSectorHeader(file, at, &header)) {
      EndAll(walks, g, ReadFault::kEndedAtFileEnd);
      return false;
    }
    if (header.sector_count == 0) {
      EndAll(walks, g, ReadFault::kEndedAtZeroCount);
      return false;
    }
    if (header.head <= 1) {
      const int32_t track = 2 * header.cylinder + header.head;
      if (track < kMaxWalks && group_of_[track] == g &&
          walks[track].Matches(header)) {
        walks[track].Note(header, at);
      }
    }
    // The header's own count ends the walk that has reached its last index.
    const int64_t base = header.sector_count - 1 - steps;
    if (base >= lowest && base <= highest) {
      EndAt(walks, g, base);
      if (size_[g] == 0) return false;
      lowest = base_[members_[g][0]];
      highest = base_[members_[g][size_[g] - 1]];
    }
    at = header.NextAfter(at);
    ++steps;
  }
  next_[g] = at;
  steps_[g] = steps;
  return true;
}

void TrackSweep::EndAt(TrackWalk* walks, int32_t g, int64_t base) {
  int16_t* members = members_[g];
  const int32_t size = size_[g];
  int32_t low = 0, high = size;  // the first member whose base is not below
  while (low < high) {
    const int32_t mid = low + (high - low) / 2;
    if (base_[members[mid]] < base) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  int32_t end = low;
  while (end < size && base_[members[end]] == base) {
    walks[members[end]].End(ReadFault::kEndedAtCount);
    group_of_[members[end]] = -1;
    ++end;
  }
  if (end == low) return;
  for (int32_t i = end; i < size; ++i) members[low + i - end] = members[i];
  size_[g] = static_cast<int16_t>(size - (end - low));
}

void TrackSweep::EndAll(TrackWalk* walks, int32_t g, ReadFault why) {
  for (int32_t i = 0; i < size_[g]; ++i) {
    walks[members_[g][i]].End(why);
    group_of_[members_[g][i]] = -1;
  }
  size_[g] = 0;
}

void TrackSweep::Merge(int32_t into, int32_t from) {
  // The walks of `from` count their index from its steps: rebased on those
  // of `into`, the same walk keeps the same index.
  const int64_t shift = steps_[from] - steps_[into];
  for (int32_t i = 0; i < size_[from]; ++i) {
    const int16_t track = members_[from][i];
    base_[track] += shift;
    group_of_[track] = static_cast<int16_t>(into);
  }
  int16_t merged[kMaxWalks];
  const int16_t* a = members_[into];
  const int16_t* b = members_[from];
  int32_t i = 0, j = 0, k = 0;
  while (i < size_[into] || j < size_[from]) {
    const bool take_a =
        j == size_[from] || (i < size_[into] && base_[a[i]] <= base_[b[j]]);
    merged[k++] = take_a ? a[i++] : b[j++];
  }
  for (int32_t m = 0; m < k; ++m) members_[into][m] = merged[m];
  size_[into] = static_cast<int16_t>(k);
  size_[from] = 0;
}

void TrackSweep::Push(int32_t g) {
  int32_t at = heap_size_++;
  while (at > 0) {
    const int32_t parent = (at - 1) / 2;
    if (!Before(g, heap_[parent])) break;
    heap_[at] = heap_[parent];
    at = parent;
  }
  heap_[at] = static_cast<int16_t>(g);
}

int32_t TrackSweep::Pop() {
  const int32_t top = heap_[0];
  const int32_t last = heap_[--heap_size_];
  int32_t at = 0;
  for (;;) {
    int32_t child = 2 * at + 1;
    if (child >= heap_size_) break;
    if (child + 1 < heap_size_ && Before(heap_[child + 1], heap_[child])) {
      ++child;
    }
    if (!Before(heap_[child], last)) break;
    heap_[at] = heap_[child];
    at = child;
  }
  if (heap_size_ > 0) heap_[at] = static_cast<int16_t>(last);
  return top;
}

}  // namespace dorvex
