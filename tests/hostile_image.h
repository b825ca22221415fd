#ifndef DORVEX_TESTS_HOSTILE_IMAGE_H_
#define DORVEX_TESTS_HOSTILE_IMAGE_H_

// Images that the format allows, made to hold a reader that walks each
// track's sector headers from the first: one disk holds one long chain of
// empty sectors that match nothing and end no walk, and the sectors that
// every lookup asks for lie behind it, on every track, so that every walk
// passes the whole chain. The other disks are bare disk headers whose
// tracks start back in that chain. Every disk is data disk number 1.

#include <cstdint>
#include <vector>

#include "tests/d88_builder.h"

namespace d88 {

enum class Hostile {
  kStaggered,  // each track starts at a header of its own, 16 bytes apart;
               // every disk at the same ones
  kOwnStarts,  // as kStaggered, but each disk's tracks at headers no other
               // disk uses
  kManyKeys,   // every track starts at the chain's first header, and the
               // first 33 headers carry 33 different C/H/N
  kNoFiles,    // as kStaggered, but each entry asks for a sector that exists
               // and then for one on the next track that exists nowhere
};

// A file that extracting a hostile image writes.
struct HostileFile {
  int disk_number, entry, size;
};

// A hostile image of `disks` disks (1 to 64) whose chain fills about
// `chain_bytes`; `files` gets the files extracting it writes, in order.
Bytes BuildHostileImage(Hostile kind, int64_t chain_bytes, int disks,
                        std::vector<HostileFile>* files);

}  // namespace d88

#endif  // DORVEX_TESTS_HOSTILE_IMAGE_H_
