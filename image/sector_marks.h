#ifndef DORVEX_IMAGE_SECTOR_MARKS_H_
#define DORVEX_IMAGE_SECTOR_MARKS_H_

#include <cstdint>

namespace dorvex {

// What a dump recorded of a sector beside its address, in bytes 6 to 8 of
// its header: the density (0x40 for single density), the deleted-data mark
// (0x10) and the floppy controller's status when the sector was dumped
// (0x00 normal; the dumping tools store the PC BIOS's status byte). The
// extraction reads past them; only a caller that explains a run asks.
struct SectorMarks {
  static constexpr int32_t kDensityOffset = 6;
  static constexpr int32_t kDeletedOffset = 7;
  static constexpr int32_t kStatusOffset = 8;

  uint8_t density = 0;
  uint8_t deleted = 0;  // the mark as stored: 0x10 when set
  uint8_t status = 0;
  bool twin = false;  // another header of the track has the same C/H/R/N
};

// Why a sector read whole may still hold the wrong bytes, or kNone.
enum class SectorDoubt : uint8_t {
  kNone,
  kDataCrcError,     // status 0xB0
  kAddressCrcError,  // status 0xA0
  kNoAddressMark,    // status 0xE0
  kNoDataMark,       // status 0xF0
  kDeletedData,      // status 0x10, or the deleted mark set
  kOtherStatus,      // any other status but 0x00
  kTwin,             // a second sector of the track has the same address
};

// The doubt of a sector with `marks`: its status first, then its deleted
// mark, then a twin; kNone for a sector dumped normally.
SectorDoubt DoubtOf(const SectorMarks& marks);

// A stable name for `doubt`, as "data-crc-error": what a caller outside C++
// matches on.
const char* SectorDoubtName(SectorDoubt doubt);

}  // namespace dorvex

#endif  // DORVEX_IMAGE_SECTOR_MARKS_H_
