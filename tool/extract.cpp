#include "tool/extract.h"

#include <cstring>

#include "image/byte_order.h"
#include "tool/messages.h"
#include "tool/output_file.h"

namespace dorvex {

namespace {

// The directory fills sectors 13 and 14 (size code 1, 256 bytes each) of
// track 0; file data lies in sectors 1 to 5 of size code 3 (1024 bytes).
constexpr int32_t kDirectorySize = RunState::kDirectorySize;
constexpr int32_t kDirectorySector = 13;
constexpr int32_t kDirectorySizeCode = 1;
constexpr int32_t kFileSizeCode = 3;
constexpr int32_t kFirstFileSector = 1;
constexpr int32_t kLastFileSector = 5;
constexpr int32_t kEntrySize = 4;

}  // namespace

void FormatOutputName(int disk_number, int entry, char (&name)[4]) {
  // As "%01X%02X" would write it, without a formatter's cost on every file.
  static const char kDigits[] = "0123456789ABCDEF";
  name[0] = kDigits[static_cast<unsigned>(disk_number) & 0xFu];
  name[1] = kDigits[static_cast<unsigned>(entry) >> 4 & 0xFu];
  name[2] = kDigits[static_cast<unsigned>(entry) & 0xFu];
  name[3] = 0;
}

namespace {

// Tells `report` how the directory's two sectors read, each looked up on
// its own into the file buffer, which holds nothing yet.
void ExplainDirectory(RunState& run, int32_t read, DiskReport& report) {
  report.directory_read = read == kDirectorySize;
  report.AddRun(run.image, PieceRole::kDirectory, -1,
                SectorRun{0, 0, 0, kDirectorySector}, kDirectorySizeCode,
                kDirectorySize, run.file);
}

// Tells `report` of the file of `entry` and its pieces, and hands a file
// that could not be read whole to the observer: every piece looked up on its
// own, zeros where one could not be read.
void ExplainFile(RunState& run, int entry, const char* name,
                 int32_t start_track, int32_t start_sector, int32_t length,
                 bool read_whole, DiskReport& report, RunObserver& observer) {
  const int32_t index =
      report.AddFile(entry, name, length, start_track, start_sector);
  FileReport& file = report.files[index];
  file.failed_piece = report.AddRun(
      run.image, PieceRole::kFile, index,
      SectorRun{start_track, start_track / 2, start_track % 2, start_sector},
      kFileSizeCode, length, read_whole ? nullptr : run.file);
  file.piece_count = report.piece_count - file.first_piece;
  if (read_whole) return;
  FormatSalvageName(name, report.position, report.number_seen_before,
                    file.salvage_name);
  observer.OnSalvage(report, index, run.file, length);
}

}  // namespace

int ExtractFiles(RunState& run, int disk_number, WrittenNames& written,
                 const MessageStream& err, RunObserver* observer) {
  DiskImage& image = run.image;
  DiskReport* report = run.report;
  const bool explain = report != nullptr && observer != nullptr;
  // What cannot be read stays zero, and zero entries are empty: a disk whose
  // directory is unreadable yields no files and no messages.
  std::memset(run.directory, 0, sizeof run.directory);
  const int32_t directory_read =
      image.ReadSectors(0, 0, 0, kDirectorySector, kDirectorySizeCode,
                        run.directory, kDirectorySize);
  if (explain) ExplainDirectory(run, directory_read, *report);
  image.SetSectorRange(kFirstFileSector, kLastFileSector);
  int failed = 0;

  for (int entry = 0; entry < kDirectoryEntries; ++entry) {
    const uint8_t* fields = run.directory + kEntrySize * entry;
    const int32_t start_sector = fields[0];
    const int32_t start_track = fields[1];
    const int32_t length = DecodeLe16(fields + 2);
    if (length == 0) continue;

    char name[4];
    FormatOutputName(disk_number, entry, name);
    const bool read_whole =
        image.ReadSectors(start_track, start_track / 2, start_track % 2,
                          start_sector, kFileSizeCode, run.file,
                          length) == length;
    if (!read_whole) WriteReadFailed(err, name);
    if (explain) {
      ExplainFile(run, entry, name, start_track, start_sector, length,
                  read_whole, *report, *observer);
    }
    if (!read_whole) {
      ++failed;
      continue;
    }
    bool found_taken = false;
    const bool done =
        !run.writes_files ||
        WriteOutputFile(name, run.file, length, image.GetFileIdentity(),
                        written.GuessFor(disk_number, entry), &found_taken);
    written.Note(disk_number, entry, done, found_taken);
    if (!done) {
      WriteWriteFailed(err, name);
      ++failed;
    }
  }
  return failed;
}

}  // namespace dorvex
