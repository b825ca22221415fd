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
constexpr int32_t kIdentificationSize = RunState::kIdentificationSize;
constexpr int32_t kIdentificationSector = 15;
constexpr int32_t kIdentificationSizeCode = 1;
constexpr int32_t kFirstSystemSector = 1;
constexpr int32_t kLastSystemSector = 16;
constexpr int kDiskNumberOffset = 400;
constexpr uint8_t kMark = 0xFF;
constexpr int kMarkBytes = 3;

// The console's run is over a megabyte, too much for a stack: it lives in
// static storage, and each run closes its image file as it ends.
RunState g_run;

// The report of the disk under way, for a run that is observed.
DiskReport g_report;

// What the identification block of a disk says.
struct Identification {
  DiskVerdict verdict = DiskVerdict::kIdentificationUnread;
  int32_t disk_number = -1;  // byte 400, once the block was read whole
  int32_t mark_offset = -1;  // for kMarkNotFF: the first offset, its byte
  int32_t mark_value = -1;
};

// Reads the identification block of the selected disk: a data disk has its
// disk number at byte 400 and the marks after it.
Identification IdentifyDisk(RunState& run) {
  Identification found;
  run.image.SetSectorRange(kFirstSystemSector, kLastSystemSector);
  std::memset(run.identification, 0, sizeof run.identification);
  const int32_t read = run.image.ReadSectors(
      0, 0, 0, kIdentificationSector, kIdentificationSizeCode,
      run.identification, kIdentificationSize);
  if (read != kIdentificationSize) return found;
  const uint8_t* block = run.identification + kDiskNumberOffset;
  found.disk_number = block[0];
  if (block[0] >= kDiskNumbers) {
    found.verdict = DiskVerdict::kDiskNumberTooHigh;
    return found;
  }
  for (int i = 1; i <= kMarkBytes; ++i) {
    if (block[i] != kMark) {
      found.verdict = DiskVerdict::kMarkNotFF;
      found.mark_offset = kDiskNumberOffset + i;
      found.mark_value = block[i];
      return found;
    }
  }
  found.verdict = DiskVerdict::kDataDisk;
  return found;
}

// Tells `report` what the identification of its disk found, each of the
// block's two sectors looked up on its own.
void ExplainIdentification(RunState& run, bool selected,
                           const Identification& found, DiskReport& report) {
  report.verdict = selected ? found.verdict : DiskVerdict::kCannotSelect;
  if (!selected) return;
  DiskImage& image = run.image;
  report.NoteHeader(image);
  report.disk_number = found.disk_number;
  report.mark_offset = found.mark_offset;
  report.mark_value = found.mark_value;
  report.NoteTracks(image);
  report.identification_read = found.disk_number >= 0;
  report.AddRun(image, PieceRole::kIdentification, -1,
                SectorRun{0, 0, 0, kIdentificationSector},
                kIdentificationSizeCode, kIdentificationSize,
                run.identification);
}

}  // namespace

int RunCommand(int argc, const char* const* argv, const MessageStream& out,
               const MessageStream& err, RunSummary* summary,
               RunObserver* observer) {
  g_run.report = &g_report;
  return RunCommand(g_run, argc, argv, out, err, summary, observer);
}

int RunCommand(RunState& run, int argc, const char* const* argv,
               const MessageStream& out, const MessageStream& err,
               RunSummary* summary, RunObserver* observer) {
  RunSummary unused;
  RunSummary& sums = summary != nullptr ? *summary : unused;
  sums = RunSummary();
  if (argc != 2) {
    WriteUsage(err);
    return 1;
  }
  DiskImage& image = run.image;
  WrittenNames written;
  if (!image.Open(argv[1])) {
    WriteCannotOpen(err);
    return 1;
  }
  run.image_size = image.GetFileIdentity().size;
  const int32_t disk_count = image.GetDiskCount();
  sums.disks = disk_count;
  bool number_seen[kDiskNumbers] = {};
  if (run.report == nullptr) observer = nullptr;
  DiskReport* report = observer != nullptr ? run.report : nullptr;
  for (int32_t i = 0; i < disk_count; ++i) {
    sums.disks_reached = i + 1;
    // A disk that cannot be selected fails the identification.
    const bool selected = image.SelectDisk(i);
    const Identification found = IdentifyDisk(run);
    if (report != nullptr) {
      report->Begin(i + 1);
      ExplainIdentification(run, selected, found, *report);
    }
    if (found.verdict != DiskVerdict::kDataDisk) {
      WriteWrongDisk(err, i + 1);
    } else {
      WriteExtracting(out, i + 1);
      ++sums.data_disks;
      const int disk_number = found.disk_number;
      if (report != nullptr) {
        report->number_seen_before = number_seen[disk_number];
      }
      number_seen[disk_number] = true;
      sums.files_failed +=
          ExtractFiles(run, disk_number, written, err, observer);
    }
    if (report != nullptr) {
      if (selected) report->Finish(image);
      observer->OnDisk(*report);
    }
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
