#ifndef DORVEX_IMAGE_SECTOR_HEADER_H_
#define DORVEX_IMAGE_SECTOR_HEADER_H_

#include <cstdint>

#include "image/byte_order.h"
#include "image/image_file.h"

namespace dorvex {

// The 16 bytes before each sector's data: its address (cylinder, head,
// record, size code), the sector count of its track and the length of the
// data that follows. The count is the header's own: headers of one track
// may disagree, and each one's decides where a walk through it ends.
struct SectorHeader {
  static constexpr int32_t kSize = 16;

  int32_t cylinder = 0;
  int32_t head = 0;
  int32_t record = 0;
  int32_t size_code = 0;
  int32_t sector_count = 0;  // 0 to 65535
  int32_t data_length = 0;   // 0 to 65535

  // The file offset of the header after this one, when this one is at `at`.
  int64_t NextAfter(int64_t at) const { return at + kSize + data_length; }

  // The file offset of this header's data, when it is at `at`.
  static int64_t DataAt(int64_t at) { return at + kSize; }
};

// Reads the sector header at file offset `at`. False when it cannot be read
// whole: the file ends first, or `at` cannot be sought.
inline bool ReadSectorHeader(ImageFile& file, int64_t at,
                             SectorHeader* header) {
  constexpr int32_t kSectorCountOffset = 4;
  constexpr int32_t kDataLengthOffset = 14;
  const uint8_t* bytes = file.Peek(at, SectorHeader::kSize);
  if (bytes == nullptr) return false;
  header->cylinder = bytes[0];
  header->head = bytes[1];
  header->record = bytes[2];
  header->size_code = bytes[3];
  header->sector_count = DecodeLe16(bytes + kSectorCountOffset);
  header->data_length = DecodeLe16(bytes + kDataLengthOffset);
  return true;
}

}  // namespace dorvex

#endif  // DORVEX_IMAGE_SECTOR_HEADER_H_
