#ifndef DORVEX_TESTS_FAULT_IMAGES_H_
#define DORVEX_TESTS_FAULT_IMAGES_H_

// Images of data disks with one known fault each, and what a run must find
// out about them: which piece of which file fails and why, which byte ranges
// are lost, and the salvaged bytes (the readable pieces, zeros elsewhere).
// The expectations follow from the fault that was made, not from the
// program: the tests of the reasons and of the page compare with them.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tests/d88_builder.h"

namespace d88 {

struct ExpectedFailure {
  int position = 1;     // the disk's, from 1
  std::string file;     // the console's name, as "105"
  std::string salvage;  // the salvaged file's name
  int piece = 0;        // the first piece that fails, counted in its file
  std::string state;    // why it fails, as "track-absent"
  int track = 0, c = 0, h = 0, r = 0, n = 3;
  int from = 0, length = 0, held = 0;
  std::vector<std::pair<int, int>> missing;  // byte ranges [from, to)
  std::vector<std::string> piece_states;     // every piece, in order
  Bytes salvaged;
};

// A file, identification block or directory read whole, of which a piece
// came from a sector that the dump marks as doubtful: the first such piece.
struct ExpectedDoubt {
  int position = 1;
  std::string what;   // the file's name, or "identification" or "directory"
  int piece = 0;      // counted in its file or block
  std::string doubt;  // why, as "data-crc-error"
  int track = 0, c = 0, h = 0, r = 0, n = 3;
  int from = 0, length = 0;  // the piece's bytes of its file or block
  int status = 0;            // the header's status byte
  bool deleted = false, twin = false;
};

struct ExpectedDisk {
  int position = 1;
  std::string verdict = "data-disk";
  int disk_number = 1;
  int mark_offset = -1, mark_value = -1;
  bool directory_read = true;
  std::vector<std::string> files;  // the names of the entries listed
  std::vector<int> present_tracks;
  // The directory's two pieces (R 13, R 14) on a data disk.
  std::vector<std::string> directory_states;
};

struct FaultImage {
  std::string name;  // as "absent-track"
  Bytes image;
  std::vector<ExpectedDisk> disks;
  std::vector<ExpectedFailure> failures;  // in the order of the run
  // In the order of the run: each disk's identification block, directory,
  // then files in entry order.
  std::vector<ExpectedDoubt> doubts;
};

// absent-track, changed-record, short-sector, cut-inside-file, bad-mark,
// short-directory; then one image for each way a sector read whole can be
// doubtful: each status the dumping tools store, any other, the deleted
// mark, a twin, a doubtful directory and identification block.
std::vector<FaultImage> FaultImages();

// The expectations of `image` as JSON, for the page's tests.
std::string ExpectationsJson(const FaultImage& image);

}  // namespace d88

#endif  // DORVEX_TESTS_FAULT_IMAGES_H_
