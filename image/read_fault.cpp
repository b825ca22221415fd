#include "image/read_fault.h"

namespace dorvex {

const char* ReadFaultName(ReadFault fault) {
  switch (fault) {
    case ReadFault::kNone:
      return "read";
    case ReadFault::kNoImage:
      return "no-image";
    case ReadFault::kTrackOutOfRange:
      return "track-out-of-range";
    case ReadFault::kTrackAbsent:
      return "track-absent";
    case ReadFault::kTrackBeyondDisk:
      return "track-beyond-disk";
    case ReadFault::kTrackBeforeFile:
      return "track-before-file";
    case ReadFault::kRecordOutOfRange:
      return "record-out-of-range";
    case ReadFault::kEndedAtCount:
      return "no-sector-at-count";
    case ReadFault::kEndedAtZeroCount:
      return "no-sector-at-zero-count";
    case ReadFault::kEndedAtFileEnd:
      return "no-sector-at-file-end";
    case ReadFault::kSectorShort:
      return "sector-short";
    case ReadFault::kFileEndsInData:
      return "file-ends-in-data";
  }
  return "unknown";
}

}  // namespace dorvex
