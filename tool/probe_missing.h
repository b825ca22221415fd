#ifndef DORVEX_TOOL_PROBE_MISSING_H_
#define DORVEX_TOOL_PROBE_MISSING_H_

#include <cstdint>
#include <string>
#include <vector>

#include "tool/disk_report.h"

namespace dorvex {

// The language MISSING.txt is written in.
enum class Language { kEnglish, kJapanese };

// Japanese when the first of LC_ALL, LC_MESSAGES and LANG that is set and
// not empty begins with "ja"; English otherwise. Null stands for unset.
Language LanguageOf(const char* lc_all, const char* lc_messages,
                    const char* lang);

// A range of a salvaged file that could not be read: touching pieces of the
// same state as one, with the first piece's address and state.
struct MissingRange {
  int32_t from = 0;
  int32_t to = 0;
  PieceReport piece;
};

// A failed file's readable part, as the page salvages it: its bytes (zeros
// where a piece could not be read) and what MISSING.txt says of it.
struct SalvagedFile {
  std::string salvage_name;  // as "105.partial"
  std::string name;          // the console's, as "105"
  int32_t position = 0;      // its disk's, from 1
  int32_t disk_number = 0;
  int32_t length = 0;
  std::vector<uint8_t> bytes;
  std::vector<MissingRange> missing;
};

// The file `file` of `report` as salvaged from `bytes` (its `length`).
SalvagedFile SalvageOf(const DiskReport& report, int32_t file,
                       const uint8_t* bytes, int32_t length);

// A file read whole of which some pieces came from sectors that the dump
// marks as doubtful: those pieces.
struct DoubtfulFile {
  std::string name;
  int32_t length = 0;
  std::vector<PieceReport> pieces;
};

// A disk whose identification block, directory or files were read whole
// from doubtful sectors, as MISSING.txt lists it.
struct DoubtfulDisk {
  int32_t position = 0;
  int32_t disk_number = 0;
  bool identification_doubtful = false;
  PieceReport identification;  // its first doubtful piece
  bool directory_doubtful = false;
  PieceReport directory;
  std::vector<DoubtfulFile> files;
};

// Whether `report`'s disk is doubtful so, and if so what MISSING.txt says.
bool DoubtsOf(const DiskReport& report, DoubtfulDisk* disk);

// MISSING.txt, word for word as the page writes it: for the `salvaged`
// files, a head line, then each file and each of its missing ranges and
// why; then, for the `doubtful` disks, each doubtful block, file and piece.
std::string MissingText(const std::vector<SalvagedFile>& salvaged,
                        const std::vector<DoubtfulDisk>& doubtful,
                        Language language);

}  // namespace dorvex

#endif  // DORVEX_TOOL_PROBE_MISSING_H_
