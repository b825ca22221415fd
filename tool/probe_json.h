#ifndef DORVEX_TOOL_PROBE_JSON_H_
#define DORVEX_TOOL_PROBE_JSON_H_

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tool/disk_report.h"

namespace dorvex {

using Json = nlohmann::ordered_json;

// What the probe keeps of one disk's report once the run has gone on to the
// next: its figures, its files and (unless only counts are wanted) its
// pieces, as many as the report holds.
struct ProbedDisk {
  int32_t position = 0;
  std::string name;  // the header's name in UTF-8
  int32_t media_type = -1;
  DiskVerdict verdict = DiskVerdict::kCannotSelect;
  int32_t disk_number = -1;
  int32_t mark_offset = -1;
  int32_t mark_value = -1;
  bool identification_read = false;
  bool directory_read = false;
  int32_t identification_doubt = -1;  // the first doubtful piece, or -1
  int32_t directory_doubt = -1;
  std::vector<PieceReport> pieces;
  std::vector<FileReport> files;
};

// Keeps what `report` found, with its pieces when `with_pieces`.
ProbedDisk KeepDisk(const DiskReport& report, bool with_pieces);

// For each file of each disk, whether the console program leaves it under
// its name: read whole, and no later data disk of the same disk number
// reads the same entry whole and writes over it.
std::vector<std::vector<bool>> KeptFiles(const std::vector<ProbedDisk>& disks);

// The object of one disk (its pieces kept), with `kept` for each file.
Json DiskJson(const ProbedDisk& disk, const std::vector<bool>& kept);

// The line of an image that opened (as JsonLine gives it): `path` as given,
// its size in bytes and each disk (pieces kept). Made a disk at a time, so
// that no more than one disk's objects are held beside the text.
std::string ImageLine(const std::string& path, uint64_t size,
                      const std::vector<ProbedDisk>& disks);

// The short line of an image that opened: counts only.
Json SummaryJson(const std::string& path, uint64_t size,
                 const std::vector<ProbedDisk>& disks);

// The line of an image that could not be opened, and the system's reason.
Json CannotOpenJson(const std::string& path, const std::string& detail);

// `line` as one line of JSON: bytes that are not UTF-8 (in a path) become
// U+FFFD, so that the line is always valid.
std::string JsonLine(const Json& line);

}  // namespace dorvex

#endif  // DORVEX_TOOL_PROBE_JSON_H_
