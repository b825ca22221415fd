#ifndef DORVEX_TOOL_PROBE_SALVAGE_H_
#define DORVEX_TOOL_PROBE_SALVAGE_H_

#include <string>
#include <vector>

#include "tool/probe_missing.h"

namespace dorvex {

// Writes each of the `salvaged` files and MISSING.txt (in `language`, with
// the `doubtful` disks too) into `dir`/<the last name of `image_path`>/,
// making the directories it needs; nothing when both are empty. Never
// writes over anything: a name that is taken is left as it is, and so is
// every name that cannot be written. Returns a message naming each.
std::vector<std::string> WriteSalvage(const std::string& dir,
                                      const std::string& image_path,
                                      const std::vector<SalvagedFile>& salvaged,
                                      const std::vector<DoubtfulDisk>& doubtful,
                                      Language language);

}  // namespace dorvex

#endif  // DORVEX_TOOL_PROBE_SALVAGE_H_
