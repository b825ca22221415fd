#ifndef DORVEX_TOOL_EXTRACT_H_
#define DORVEX_TOOL_EXTRACT_H_

#include "image/disk_image.h"
#include "tool/messages.h"

namespace dorvex {

// Number of entries in a data disk's directory: its 512 bytes hold 127
// entries of 4 bytes, and the last 4 bytes are not an entry.
constexpr int kDirectoryEntries = 127;

// Writes the output file name of directory entry `entry` (0 to 126) of the
// disk with `disk_number` (0 to 9) into `name`: "%01X%02X", as "00A".
void FormatOutputName(int disk_number, int entry, char (&name)[4]);

// Extracts every file that the directory of the selected data disk lists
// into the current directory, under names from `disk_number` and the entry
// index. Reports each file that cannot be read whole, or cannot be written,
// on `err` and goes on with the next. Leaves the sector window at 1 to 5.
void ExtractFiles(DiskImage& image, int disk_number, const MessageStream& err);

}  // namespace dorvex

#endif  // DORVEX_TOOL_EXTRACT_H_
