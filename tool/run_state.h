#ifndef DORVEX_TOOL_RUN_STATE_H_
#define DORVEX_TOOL_RUN_STATE_H_

#include <cstdint>

#include "image/disk_image.h"
#include "tool/disk_report.h"

namespace dorvex {

// What one run of the command works in, over a megabyte and so never on a
// stack: the image reader, the identification block, the directory and the
// file buffer. The console program keeps one in static storage; a caller
// that runs several images at once gives each its own.
struct RunState {
  static constexpr int32_t kIdentificationSize = 512;
  static constexpr int32_t kDirectorySize = 512;
  // A 16-bit file length never exceeds 65,535 bytes, so every file fits.
  static constexpr int32_t kFileBufferSize = 65536;

  DiskImage image;
  uint8_t identification[kIdentificationSize];
  uint8_t directory[kDirectorySize];
  uint8_t file[kFileBufferSize];
  // Where an observed run tells what each disk's run found; the console
  // program's own runs are not observed.
  DiskReport* report = nullptr;
  // A run that only looks writes no file: each file read whole counts as
  // written under its name, as the console's run would write it.
  bool writes_files = true;
  // The image file's length when the run opened it, as the system told it.
  uint64_t image_size = 0;
};

}  // namespace dorvex

#endif  // DORVEX_TOOL_RUN_STATE_H_
