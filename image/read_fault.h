#ifndef DORVEX_IMAGE_READ_FAULT_H_
#define DORVEX_IMAGE_READ_FAULT_H_

#include <cstdint>

namespace dorvex {

// Why a sector lookup gave fewer bytes than it was asked for. Each is
// decided where the lookup itself gives way, so an explanation can never
// disagree with the read it explains.
enum class ReadFault : uint8_t {
  kNone,              // read whole
  kNoImage,           // no image file is open
  kTrackOutOfRange,   // the track index is outside 0 to 163
  kTrackAbsent,       // its track-table entry is 0
  kTrackBeyondDisk,   // its entry lies beyond the disk size
  kTrackBeforeFile,   // its entry reaches before the start of the file
  kRecordOutOfRange,  // R (or C/H/N) outside 0 to 255: no header has it
  kEndedAtCount,      // the walk ended at a header's own sector count
  kEndedAtZeroCount,  // the walk ended at a header with a sector count of 0
  kEndedAtFileEnd,    // the walk ended where the file ends
  kSectorShort,       // the sector holds fewer data bytes than asked
  kFileEndsInData,    // the file ends inside the sector's data
};

// A stable name for `fault`, as "track-absent": what a caller outside C++
// matches on, so that both sides spell each kind the same way.
const char* ReadFaultName(ReadFault fault);

}  // namespace dorvex

#endif  // DORVEX_IMAGE_READ_FAULT_H_
