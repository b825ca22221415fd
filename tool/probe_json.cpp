#include "tool/probe_json.h"

#include <cstring>
#include <set>
#include <utility>

#include "image/read_fault.h"
#include "image/sector_marks.h"
#include "tool/shift_jis.h"

namespace dorvex {

namespace {

// A number the report gives as -1 when there is none, as null.
Json OrNull(int32_t value) { return value < 0 ? Json() : Json(value); }

const char* StateName(ReadFault state) {
  return state == ReadFault::kNone ? "read" : ReadFaultName(state);
}

// The state of the first piece of `role` not read whole, or "read".
const char* BlockState(const ProbedDisk& disk, PieceRole role) {
  for (const PieceReport& p : disk.pieces) {
    if (p.role == role && p.state != ReadFault::kNone)
      return StateName(p.state);
  }
  return "read";
}

Json PieceJson(const PieceReport& p) {
  // As the page shows a piece: a held count only where its state tells one.
  const bool counted = p.state == ReadFault::kSectorShort ||
                       p.state == ReadFault::kFileEndsInData;
  Json piece;
  piece["track"] = p.at.track;
  piece["c"] = p.at.c;
  piece["h"] = p.at.h;
  piece["r"] = p.at.r;
  piece["n"] = p.size_code;
  piece["from"] = p.from;
  piece["length"] = p.length;
  piece["state"] = StateName(p.state);
  piece["held"] = counted ? p.held : 0;
  piece["status"] = p.marks.status;
  piece["deleted"] = p.marks.deleted != 0;
  piece["twin"] = p.marks.twin;
  piece["doubt"] = SectorDoubtName(p.doubt);
  return piece;
}

Json FileJson(const ProbedDisk& disk, const FileReport& f, bool kept) {
  Json file;
  file["name"] = f.name;
  file["entry"] = f.entry;
  file["length"] = f.length;
  const int32_t reason_piece =
      f.failed_piece >= 0 ? f.failed_piece : f.doubtful_piece;
  file["state"] = f.failed_piece >= 0     ? "failed"
                  : f.doubtful_piece >= 0 ? "doubtful"
                                          : "read";
  file["kept"] = kept;
  if (reason_piece >= 0) {
    const PieceReport& p = disk.pieces[static_cast<size_t>(reason_piece)];
    file["reason"] =
        f.failed_piece >= 0 ? StateName(p.state) : SectorDoubtName(p.doubt);
    file["reason_piece"] = reason_piece - f.first_piece;
  }
  if (f.failed_piece >= 0) file["salvage"] = f.salvage_name;
  file["start_track"] = f.start_track;
  file["start_record"] = f.start_record;
  Json pieces = Json::array();
  for (int32_t k = 0; k < f.piece_count; ++k) {
    pieces.push_back(
        PieceJson(disk.pieces[static_cast<size_t>(f.first_piece + k)]));
  }
  file["pieces"] = std::move(pieces);
  return file;
}

void CountFiles(const std::vector<ProbedDisk>& disks, Json& line) {
  int data_disks = 0, files = 0, failed = 0, doubtful = 0;
  for (const ProbedDisk& disk : disks) {
    if (disk.verdict == DiskVerdict::kDataDisk) ++data_disks;
    for (const FileReport& f : disk.files) {
      ++files;
      if (f.failed_piece >= 0) ++failed;
      if (f.doubtful_piece >= 0) ++doubtful;
    }
  }
  line["data_disks"] = data_disks;
  line["files"] = files;
  line["failed"] = failed;
  line["doubtful"] = doubtful;
}

}  // namespace

ProbedDisk KeepDisk(const DiskReport& report, bool with_pieces) {
  ProbedDisk disk;
  disk.position = report.position;
  char name[DiskImage::kDiskNameLength * kUtf8PerShiftJisByte + 1];
  DecodeShiftJis(report.disk_name, std::strlen(report.disk_name), name,
                 sizeof name);
  disk.name = name;
  disk.media_type = report.media_type;
  disk.verdict = report.verdict;
  disk.disk_number = report.disk_number;
  disk.mark_offset = report.mark_offset;
  disk.mark_value = report.mark_value;
  disk.identification_read = report.identification_read;
  disk.directory_read = report.directory_read;
  disk.identification_doubt = report.DoubtfulPiece(PieceRole::kIdentification);
  disk.directory_doubt = report.DoubtfulPiece(PieceRole::kDirectory);
  if (with_pieces) {
    disk.pieces.assign(report.pieces, report.pieces + report.piece_count);
  }
  disk.files.assign(report.files, report.files + report.file_count);
  return disk;
}

std::vector<std::vector<bool>> KeptFiles(const std::vector<ProbedDisk>& disks) {
  std::vector<std::vector<bool>> kept(disks.size());
  // The names a later disk writes, walking back from the last.
  std::set<std::pair<int32_t, int32_t>> written_later;
  for (size_t d = disks.size(); d-- > 0;) {
    const ProbedDisk& disk = disks[d];
    kept[d].assign(disk.files.size(), false);
    if (disk.verdict != DiskVerdict::kDataDisk) continue;
    for (size_t i = 0; i < disk.files.size(); ++i) {
      const FileReport& f = disk.files[i];
      if (f.failed_piece >= 0) continue;
      kept[d][i] = written_later.emplace(disk.disk_number, f.entry).second;
    }
  }
  return kept;
}

Json DiskJson(const ProbedDisk& disk, const std::vector<bool>& kept) {
  const bool data_disk = disk.verdict == DiskVerdict::kDataDisk;
  const bool selected = disk.verdict != DiskVerdict::kCannotSelect;
  Json out;
  out["position"] = disk.position;
  out["name"] = disk.name;
  out["media"] = OrNull(disk.media_type);
  out["verdict"] = DiskVerdictName(disk.verdict);
  out["number"] = OrNull(disk.disk_number);
  out["mark_offset"] = OrNull(disk.mark_offset);
  out["mark_value"] = OrNull(disk.mark_value);
  out["identification"] =
      selected ? Json(BlockState(disk, PieceRole::kIdentification)) : Json();
  out["directory"] =
      data_disk ? Json(BlockState(disk, PieceRole::kDirectory)) : Json();
  if (disk.identification_doubt >= 0) {
    out["identification_doubt"] = SectorDoubtName(
        disk.pieces[static_cast<size_t>(disk.identification_doubt)].doubt);
  }
  if (disk.directory_doubt >= 0) {
    out["directory_doubt"] = SectorDoubtName(
        disk.pieces[static_cast<size_t>(disk.directory_doubt)].doubt);
  }
  Json files = Json::array();
  for (size_t i = 0; i < disk.files.size(); ++i) {
    files.push_back(FileJson(disk, disk.files[i], i < kept.size() && kept[i]));
  }
  out["files"] = std::move(files);
  Json pieces = Json::array();
  for (const PieceReport& p : disk.pieces) {
    if (p.role == PieceRole::kFile) continue;
    Json piece = PieceJson(p);
    piece["role"] = PieceRoleName(p.role);
    pieces.push_back(std::move(piece));
  }
  out["pieces"] = std::move(pieces);
  return out;
}

std::string ImageLine(const std::string& path, uint64_t size,
                      const std::vector<ProbedDisk>& disks) {
  const std::vector<std::vector<bool>> kept = KeptFiles(disks);
  Json head;
  head["image"] = path;
  head["size"] = size;
  head["disks"] = Json::array();
  // {"image":...,"size":...,"disks":[] with each disk put between the
  // brackets as it is made.
  std::string line = JsonLine(head);
  const std::string end = "]}\n";
  line.resize(line.size() - end.size());
  for (size_t d = 0; d < disks.size(); ++d) {
    if (d > 0) line += ',';
    line += DiskJson(disks[d], kept[d])
                .dump(-1, ' ', false, Json::error_handler_t::replace);
  }
  line += end;
  return line;
}

Json SummaryJson(const std::string& path, uint64_t size,
                 const std::vector<ProbedDisk>& disks) {
  Json line;
  line["image"] = path;
  line["size"] = size;
  line["disks"] = disks.size();
  CountFiles(disks, line);
  return line;
}

Json CannotOpenJson(const std::string& path, const std::string& detail) {
  Json line;
  line["image"] = path;
  line["error"] = "cannot-open";
  line["detail"] = detail;
  return line;
}

std::string JsonLine(const Json& line) {
  return line.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace dorvex
