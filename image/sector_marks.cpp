#include "image/sector_marks.h"

namespace dorvex {

namespace {

constexpr uint8_t kStatusNormal = 0x00;
constexpr uint8_t kStatusDeletedData = 0x10;
constexpr uint8_t kStatusAddressCrcError = 0xA0;
constexpr uint8_t kStatusDataCrcError = 0xB0;
constexpr uint8_t kStatusNoAddressMark = 0xE0;
constexpr uint8_t kStatusNoDataMark = 0xF0;

}  // namespace

SectorDoubt DoubtOf(const SectorMarks& marks) {
  switch (marks.status) {
    case kStatusNormal:
      break;
    case kStatusDeletedData:
      return SectorDoubt::kDeletedData;
    case kStatusAddressCrcError:
      return SectorDoubt::kAddressCrcError;
    case kStatusDataCrcError:
      return SectorDoubt::kDataCrcError;
    case kStatusNoAddressMark:
      return SectorDoubt::kNoAddressMark;
    case kStatusNoDataMark:
      return SectorDoubt::kNoDataMark;
    default:
      return SectorDoubt::kOtherStatus;
  }
  // Some tools store other values than 0x10 for the mark; any is a mark.
  if (marks.deleted != 0) return SectorDoubt::kDeletedData;
  if (marks.twin) return SectorDoubt::kTwin;
  return SectorDoubt::kNone;
}

const char* SectorDoubtName(SectorDoubt doubt) {
  switch (doubt) {
    case SectorDoubt::kNone:
      return "none";
    case SectorDoubt::kDataCrcError:
      return "data-crc-error";
    case SectorDoubt::kAddressCrcError:
      return "address-crc-error";
    case SectorDoubt::kNoAddressMark:
      return "no-address-mark";
    case SectorDoubt::kNoDataMark:
      return "no-data-mark";
    case SectorDoubt::kDeletedData:
      return "deleted-data";
    case SectorDoubt::kOtherStatus:
      return "other-status";
    case SectorDoubt::kTwin:
      return "twin";
  }
  return "unknown";
}

}  // namespace dorvex
