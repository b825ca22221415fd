#ifndef DORVEX_TOOL_EXTRACT_H_
#define DORVEX_TOOL_EXTRACT_H_

#include <cstdint>

#include "image/disk_image.h"
#include "tool/disk_report.h"
#include "tool/messages.h"
#include "tool/output_file.h"
#include "tool/run_state.h"

namespace dorvex {

// Disk numbers of data disks run from 0 to kDiskNumbers - 1: 0 to 9.
constexpr int kDiskNumbers = 10;

// Writes the output file name of directory entry `entry` (0 to 126) of the
// disk with `disk_number` (0 to 9) into `name`: "%01X%02X", as "00A".
void FormatOutputName(int disk_number, int entry, char (&name)[4]);

// What one run knows of its output names: which it has written, so that a
// name written again (a later disk of the same number) is overwritten
// without a look first, and whether the last new name was found taken, as
// every name is in a directory that holds an earlier extraction. A run
// starts with one that knows nothing.
class WrittenNames {
 public:
  // The cheapest safe way to the name of `entry` of `disk_number` (0 to 9).
  NameGuess GuessFor(int disk_number, int entry) const {
    if (Has(Index(disk_number, entry))) return NameGuess::kOurs;
    return last_new_taken_ ? NameGuess::kTaken : NameGuess::kFree;
  }

  // Notes how writing that name went: a name whose write failed holds no
  // file of this run, whatever an earlier disk wrote there.
  void Note(int disk_number, int entry, bool written, bool found_taken) {
    const int i = Index(disk_number, entry);
    const bool had = Has(i);
    if (!had) last_new_taken_ = found_taken;
    if (written == had) return;
    const uint8_t bit = static_cast<uint8_t>(1 << (i % 8));
    bits_[i / 8] = static_cast<uint8_t>(written ? bits_[i / 8] | bit
                                                : bits_[i / 8] & ~bit);
    count_ += written ? 1 : -1;
  }

  // How many names hold a file that this run wrote.
  int Count() const { return count_; }

 private:
  static int Index(int disk_number, int entry) {
    return disk_number * kDirectoryEntries + entry;
  }
  bool Has(int i) const { return (bits_[i / 8] >> (i % 8) & 1) != 0; }

  uint8_t bits_[(kDiskNumbers * kDirectoryEntries + 7) / 8] = {};
  bool last_new_taken_ = false;
  int count_ = 0;
};

// Extracts every file that the directory of the data disk selected in
// `run`'s image lists into the current directory (unless the run writes no
// files), under names from `disk_number` (0 to 9) and the entry index, and
// notes each name written in `written`. Reports each file that cannot be
// read whole, or cannot be written, on `err` and goes on with the next.
// Leaves the sector window at 1 to 5. Returns the number of files reported.
// With an `observer` and `run.report`, also tells in the report what each
// read found, piece by piece, and hands it each failed file's readable
// part; what is written and said stays the same.
int ExtractFiles(RunState& run, int disk_number, WrittenNames& written,
                 const MessageStream& err, RunObserver* observer = nullptr);

}  // namespace dorvex

#endif  // DORVEX_TOOL_EXTRACT_H_
