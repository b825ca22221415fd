#ifndef DORVEX_TOOL_PROBE_RUN_H_
#define DORVEX_TOOL_PROBE_RUN_H_

#include <string>
#include <vector>

#include "tool/disk_report.h"
#include "tool/probe_missing.h"
#include "tool/run_state.h"

namespace dorvex {

// How the probe looks at each image.
struct ProbeSettings {
  bool summary = false;  // counts only
  std::string
      salvage_dir;  // where failed files' readable parts go; empty: nowhere
  Language language = Language::kEnglish;  // of MISSING.txt
};

// What probing one image gave: its line of JSON, whether it opened, and a
// message for each salvaged file that was not written, naming it.
struct ProbeResult {
  std::string line;
  bool opened = false;
  std::vector<std::string> refusals;
};

// Runs the command on the image at `path` in `run` (its report `report`),
// writing none of the console's files or messages, and gives its line;
// with a salvage directory, also writes the readable part of each failed
// file and a MISSING.txt into DIR/<image file name>/, never over a file.
ProbeResult ProbeImage(RunState& run, DiskReport& report,
                       const std::string& path, const ProbeSettings& settings);

}  // namespace dorvex

#endif  // DORVEX_TOOL_PROBE_RUN_H_
