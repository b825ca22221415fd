#ifndef DORVEX_IMAGE_SECTOR_RUN_H_
#define DORVEX_IMAGE_SECTOR_RUN_H_

#include <cstdint>

namespace dorvex {

// Where one piece of a run of sectors lies: a track index and the C/H/R
// sought there. A run counts R up to the last sector of the window, then
// goes on with its first sector on the next track: head 1 of the same
// cylinder after head 0, head 0 of the next cylinder after head 1.
struct SectorRun {
  int32_t track = 0;
  int32_t c = 0;
  int32_t h = 0;
  int32_t r = 0;

  // Moves to the run's next piece under the window `first` to `last`. Each
  // step adds at most 1 to a field, so a caller that steps a bounded number
  // of times from byte-sized values cannot overflow.
  void Step(int32_t first, int32_t last) {
    if (r != last) {
      ++r;
      return;
    }
    ++track;
    if (h == 0) {
      h = 1;
    } else {
      h = 0;
      ++c;
    }
    r = first;
  }
};

}  // namespace dorvex

#endif  // DORVEX_IMAGE_SECTOR_RUN_H_
