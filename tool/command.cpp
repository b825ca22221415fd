#include "tool/command.h"

#include <cstring>

#include "image/disk_image.h"
#include "platform/console.h"
#include "platform/files.h"
#include "tool/extract.h"
#include "tool/messages.h"

namespace dorvex {

namespace {

// The identification block fills sectors 15 and 16 (size code 1) of track 0
// under the sector window 1 to 16. A data disk has its disk number, 0 to 9
// (below kDiskNumbers), at byte 400 and the mark 0xFF at bytes 401 to 403.
constexpr int32_t kIdentificationSize = 512;
constexpr int32_t kIdentificationSector = 15;
constexpr int32_t kIdentificationSizeCode = 1;
constexpr int32_t kFirstSystemSector = 1;
constexpr int32_t kLastSystemSector = 16;
constexpr int kDiskNumberOffset = 400;
constexpr uint8_t kMark = 0xFF;

uint8_t g_identification[kIdentificationSize];

// The run's DiskImage is over half a megabyte, too much for a stack: it
// lives in static storage, and each run closes its image file as it ends.
DiskImage g_image;

// Reads the identification block of the selected disk. Returns its disk
// number for a data disk, -1 for any other.
int ReadDiskNumber(DiskImage& image) {
  image.SetSectorRange(kFirstSystemSector, kLastSystemSector);
  std::memset(g_identification, 0, sizeof g_identification);
  const int32_t read =
      image.ReadSectors(0, 0, 0, kIdentificationSector, kIdentificationSizeCode,
                        g_identification, kIdentificationSize);
  if (read != kIdentificationSize) return -1;
  const uint8_t* block = g_identification + kDiskNumberOffset;
  if (block[0] >= kDiskNumbers) return -1;
  if (block[1] != kMark || block[2] != kMark || block[3] != kMark) return -1;
  return block[0];
}

}  // namespace

int RunCommand(int argc, const char* const* argv, const MessageStream& out,
               const MessageStream& err, RunSummary* summary) {
  RunSummary unused;
  RunSummary& sums = summary != nullptr ? *summary : unused;
  sums = RunSummary();
  if (argc != 2) {
    WriteUsage(err);
    return 1;
  }
  DiskImage& image = g_image;
  WrittenNames written;
  if (!image.Open(argv[1])) {
    WriteCannotOpen(err);
    return 1;
  }
  const int32_t disk_count = image.GetDiskCount();
  sums.disks = disk_count;
  for (int32_t i = 0; i < disk_count; ++i) {
    sums.disks_reached = i + 1;
    // A disk that cannot be selected fails the identification.
    image.SelectDisk(i);
    const int disk_number = ReadDiskNumber(image);
    if (disk_number < 0) {
      WriteWrongDisk(err, i + 1);
      continue;
    }
    WriteExtracting(out, i + 1);
    ++sums.data_disks;
    sums.files_failed += ExtractFiles(image, disk_number, written, err);
  }
  image.Close();
  sums.files_written = written.Count();
  return 0;
}

void HoldOwnWindow(int argc, const RunSummary& summary,
                   const MessageStream& out, const MessageStream& err) {
  const bool has_image = argc == 2;
  if (!has_image) {
    WriteDropImage(err);
  } else if (const char* directory = CurrentDirectory()) {
    WriteFilesWentTo(out, directory, summary.files_written);
  }
  WritePressEnter(out);
  WaitForKey();
}

}  // namespace dorvex
