#ifndef DORVEX_TOOL_PROBE_SALVAGE_H_
#define DORVEX_TOOL_PROBE_SALVAGE_H_

#include <string>
#include <vector>

#include "tool/probe_missing.h"

namespace dorvex {

// Writes each of `files` and MISSING.txt (in `language`) into
// `dir`/<the last name of `image_path`>/, making the directories it needs.
// Never writes over anything: a name that is taken is left as it is, and so
// is every name that cannot be written. Returns a message naming each.
std::vector<std::string> WriteSalvage(const std::string& dir,
                                      const std::string& image_path,
                                      const std::vector<SalvagedFile>& files,
                                      Language language);

}  // namespace dorvex

#endif  // DORVEX_TOOL_PROBE_SALVAGE_H_
