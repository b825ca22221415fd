#include "tool/disk_report.h"

#include <cstring>

namespace dorvex {

const char* DiskVerdictName(DiskVerdict verdict) {
  switch (verdict) {
    case DiskVerdict::kDataDisk:
      return "data-disk";
    case DiskVerdict::kCannotSelect:
      return "cannot-select";
    case DiskVerdict::kIdentificationUnread:
      return "identification-unread";
    case DiskVerdict::kDiskNumberTooHigh:
      return "disk-number-too-high";
    case DiskVerdict::kMarkNotFF:
      return "mark-not-ff";
  }
  return "unknown";
}

const char* PieceRoleName(PieceRole role) {
  switch (role) {
    case PieceRole::kIdentification:
      return "identification";
    case PieceRole::kDirectory:
      return "directory";
    case PieceRole::kFile:
      return "file";
  }
  return "unknown";
}

void DiskReport::Begin(int32_t disk_position) {
  position = disk_position;
  disk_name[0] = 0;
  media_type = -1;
  verdict = DiskVerdict::kCannotSelect;
  disk_number = -1;
  mark_offset = -1;
  mark_value = -1;
  number_seen_before = false;
  directory_read = false;
  identification_read = false;
  for (ReadFault& track : tracks) track = ReadFault::kTrackAbsent;
  piece_count = 0;
  file_count = 0;
}

void DiskReport::NoteHeader(const DiskImage& image) {
  std::memcpy(disk_name, image.GetDiskName(), sizeof disk_name);
  media_type = image.GetMediaType();
}

void DiskReport::NoteTracks(const DiskImage& image) {
  for (int32_t t = 0; t < DiskImage::kTrackCount; ++t) {
    tracks[t] = image.CheckTrack(t);
  }
}

int32_t DiskReport::AddRun(DiskImage& image, PieceRole role, int32_t file,
                           SectorRun start, int32_t n, int32_t length,
                           uint8_t* buffer) {
  const int32_t step = 128 << n;
  SectorRun at = start;
  int32_t first_failed = -1;
  // Pieces stop at the report's room, which every run the program makes
  // fits: a run is at most 64 pieces, each stepped from byte-sized values.
  for (int32_t from = 0; from < length && piece_count < kMaxPieces;
       from += step) {
    PieceReport& piece = pieces[piece_count];
    piece.at = at;
    piece.size_code = n;
    piece.role = role;
    piece.file = file;
    piece.from = from;
    piece.length = length - from < step ? length - from : step;
    piece.state = ReadFault::kNone;
    piece.doubt = SectorDoubt::kNone;
    piece.marks = SectorMarks();
    piece.held = piece.length;
    if (buffer != nullptr) {
      piece.held = image.ReadSector(at.track, at.c, at.h, at.r, n,
                                    buffer + from, piece.length, &piece.state);
      if (piece.state != ReadFault::kNone) {
        std::memset(buffer + from, 0, static_cast<size_t>(piece.length));
      }
    }
    // Right after the read, its headers still stand in the file's buffer.
    if (piece.state == ReadFault::kNone) {
      image.ReadSectorMarks(at.track, at.c, at.h, at.r, n, &piece.marks);
    } else if (first_failed < 0) {
      first_failed = piece_count;
    }
    ++piece_count;
    image.StepRun(at);
  }
  return first_failed;
}

int32_t DiskReport::AddFile(int32_t entry, const char* name, int32_t length,
                            int32_t start_track, int32_t start_record) {
  FileReport& file = files[file_count];
  file.entry = entry;
  std::memcpy(file.name, name, sizeof file.name);
  file.length = length;
  file.start_track = start_track;
  file.start_record = start_record;
  file.first_piece = piece_count;
  file.piece_count = 0;
  file.failed_piece = -1;
  file.doubtful_piece = -1;
  file.salvage_name[0] = 0;
  return file_count++;
}

void DiskReport::Finish(DiskImage& image) {
  // A twin can lie past where a lookup stopped its track's walk.
  image.FinishWalks();
  for (int32_t k = 0; k < piece_count; ++k) {
    PieceReport& piece = pieces[k];
    if (piece.state != ReadFault::kNone) continue;
    const SectorRun& at = piece.at;
    piece.marks.twin =
        image.HasTwin(at.track, at.c, at.h, at.r, piece.size_code);
    piece.doubt = DoubtOf(piece.marks);
  }
  for (int32_t i = 0; i < file_count; ++i) {
    FileReport& file = files[i];
    file.doubtful_piece = -1;
    if (file.failed_piece >= 0) continue;
    for (int32_t k = 0; k < file.piece_count; ++k) {
      if (pieces[file.first_piece + k].doubt != SectorDoubt::kNone) {
        file.doubtful_piece = file.first_piece + k;
        break;
      }
    }
  }
}

int32_t DiskReport::DoubtfulPiece(PieceRole role) const {
  const bool read_whole =
      role == PieceRole::kDirectory ? directory_read : identification_read;
  if (!read_whole || role == PieceRole::kFile) return -1;
  for (int32_t k = 0; k < piece_count; ++k) {
    if (pieces[k].role == role && pieces[k].doubt != SectorDoubt::kNone) {
      return k;
    }
  }
  return -1;
}

void FormatSalvageName(const char* name, int32_t position, bool seen_before,
                       char (&salvage)[16]) {
  // "105-64.partial" is the longest: 14 characters and the terminator.
  static const char kSuffix[] = ".partial";
  size_t at = 0;
  for (size_t i = 0; i < 3 && name[i] != 0; ++i) salvage[at++] = name[i];
  if (seen_before && position > 0 && position < 100) {
    salvage[at++] = '-';
    if (position >= 10) salvage[at++] = static_cast<char>('0' + position / 10);
    salvage[at++] = static_cast<char>('0' + position % 10);
  }
  std::memcpy(salvage + at, kSuffix, sizeof kSuffix);
}

}  // namespace dorvex
