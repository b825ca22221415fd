#ifndef DORVEX_TOOL_DISK_REPORT_H_
#define DORVEX_TOOL_DISK_REPORT_H_

#include <cstdint>

#include "image/disk_image.h"
#include "image/read_fault.h"
#include "image/sector_marks.h"
#include "image/sector_run.h"

namespace dorvex {

// Number of entries in a data disk's directory: its 512 bytes hold 127
// entries of 4 bytes, and the last 4 bytes are not an entry.
constexpr int kDirectoryEntries = 127;

// A file length is 16 bits, so a file spans at most 64 sectors of 1024
// bytes.
constexpr int32_t kMaxFilePieces = (65535 + 1023) / 1024;

// Whether a disk is a data disk, and if not, why not.
enum class DiskVerdict : uint8_t {
  kDataDisk,
  kCannotSelect,          // its header cannot be read
  kIdentificationUnread,  // sector 15 or 16 of track 0 missing or short
  kDiskNumberTooHigh,     // byte 400 of the block is above 9
  kMarkNotFF,             // a byte of 401 to 403 is not 0xFF
};

// What a piece of a disk's reads was for.
enum class PieceRole : uint8_t { kIdentification, kDirectory, kFile };

// Stable names, as "data-disk" and "directory", for callers outside C++.
const char* DiskVerdictName(DiskVerdict verdict);
const char* PieceRoleName(PieceRole role);

// One sector-sized piece of a run that the run asked for: where it was
// sought, which bytes of its file (or block) it covers, and whether it was
// read whole (kNone) or why not. `held` is the count the lookup gave. A
// piece read whole also has what its sector's header records, and whether
// that makes its bytes doubtful.
// Every member starts at zero, so that a report in static storage takes no
// room in the program file; AddRun sets them all.
struct PieceReport {
  SectorRun at;
  int32_t size_code = 0;
  PieceRole role = PieceRole::kIdentification;
  int32_t file = 0;  // index into DiskReport::files, for role kFile, else -1
  int32_t from = 0;
  int32_t length = 0;
  ReadFault state = ReadFault::kNone;
  SectorDoubt doubt = SectorDoubt::kNone;
  SectorMarks marks;
  int32_t held = 0;
};

// One directory entry with a length: the console's name for its file, its
// pieces, the first of them that failed (-1: read whole), the first that is
// doubtful in a file read whole (-1: none), and the name its readable part
// is saved under when it failed.
struct FileReport {
  int32_t entry = 0;
  char name[4] = {};
  int32_t length = 0;
  int32_t start_track = 0;
  int32_t start_record = 0;
  int32_t first_piece = 0;
  int32_t piece_count = 0;
  int32_t failed_piece = 0;    // AddFile starts it at -1
  int32_t doubtful_piece = 0;  // AddFile starts it at -1; Finish sets it
  char salvage_name[16] = {};
};

// Everything one disk's run found out, for a caller that shows it (the
// page): the console program never fills one. Fixed arrays only, all zero
// until Begin.
struct DiskReport {
  static constexpr int32_t kSystemPieces = 4;  // identification, directory
  static constexpr int32_t kMaxPieces =
      kSystemPieces + kDirectoryEntries * kMaxFilePieces;

  // Starts the report of the disk at `position` (counted from 1).
  void Begin(int32_t position);

  // Notes the selected disk's name (its header's bytes) and media type.
  void NoteHeader(const DiskImage& image);

  // Notes which tracks of the selected disk can be walked.
  void NoteTracks(const DiskImage& image);

  // Adds the pieces of a run of `length` bytes of size code n (the
  // program's 1 or 3) from `start`, stepping as ReadSectors does. With a
  // `buffer`, looks each piece up on its own into its place, as the run
  // does, zeroes each not read whole and notes why; without one, notes each
  // as read, for a run read whole. Notes what the header of each piece read
  // whole records. Returns the index of the first piece not read whole, or
  // -1.
  int32_t AddRun(DiskImage& image, PieceRole role, int32_t file,
                 SectorRun start, int32_t n, int32_t length, uint8_t* buffer);

  // Adds directory entry `entry` (its console `name`) and returns its index.
  int32_t AddFile(int32_t entry, const char* name, int32_t length,
                  int32_t start_track, int32_t start_record);

  // Once the disk's reads are done, with the disk still selected: notes
  // whether the track of each piece read whole holds a twin of it, and so,
  // with what its header records (noted by AddRun), which pieces, files and
  // blocks are doubtful.
  void Finish(DiskImage& image);

  // The first doubtful piece of `role` (identification or directory), or
  // -1: a block is doubtful only when it was read whole.
  int32_t DoubtfulPiece(PieceRole role) const;

  int32_t position = 0;
  // The header's name as stored (Shift_JIS), terminated, and its media
  // type: empty and -1 for a disk whose header cannot be read.
  char disk_name[DiskImage::kDiskNameLength + 1] = {};
  int32_t media_type = 0;
  DiskVerdict verdict = DiskVerdict::kDataDisk;
  int32_t disk_number = 0;  // byte 400 once the block was read whole, or -1
  int32_t mark_offset = 0;  // for kMarkNotFF: the first offset, its byte;
  int32_t mark_value = 0;   // else -1
  bool number_seen_before = false;  // an earlier disk had this disk number
  bool directory_read = false;
  bool identification_read = false;  // its 512 bytes read whole
  ReadFault tracks[DiskImage::kTrackCount] = {};
  PieceReport pieces[kMaxPieces];
  int32_t piece_count = 0;
  FileReport files[kDirectoryEntries];
  int32_t file_count = 0;
};

// The name a failed file's readable part is saved under: "105.partial", or
// "105-3.partial" for the disk at position 3 when an earlier disk of the run
// had the same disk number. Never a three-digit console name.
void FormatSalvageName(const char* name, int32_t position, bool seen_before,
                       char (&salvage)[16]);

// Told what a run finds, disk by disk, by a caller that shows more than the
// console messages.
class RunObserver {
 public:
  // A file of `report`'s disk could not be read whole: its readable part,
  // `length` bytes with zeros for every piece not read, valid for the call.
  virtual void OnSalvage(const DiskReport& report, int32_t file,
                         const uint8_t* bytes, int32_t length) = 0;
  // The disk's last message has been written.
  virtual void OnDisk(const DiskReport& report) = 0;

 protected:
  ~RunObserver() = default;
};

}  // namespace dorvex

#endif  // DORVEX_TOOL_DISK_REPORT_H_
