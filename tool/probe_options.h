#ifndef DORVEX_TOOL_PROBE_OPTIONS_H_
#define DORVEX_TOOL_PROBE_OPTIONS_H_

#include <string>
#include <vector>

namespace dorvex {

// What a probe's command line asks for.
struct ProbeOptions {
  enum class Action { kProbe, kHelp, kVersion, kUsageError };
  Action action = Action::kProbe;
  std::string error;  // for kUsageError: what is wrong
  bool summary = false;
  std::string salvage_dir;
  int threads = 0;  // 0: one a core
  std::vector<std::string> images;
};

// The most threads -j takes.
constexpr int kMaxThreads = 1024;

// Reads `args` (the arguments after the program name): --summary,
// --salvage DIR, -j N, --help, --version, then the images; "--" ends the
// options. No image, an unknown option or a missing or wrong value is a
// usage error.
ProbeOptions ParseProbeOptions(const std::vector<std::string>& args);

// What --help prints.
extern const char kProbeUsage[];

}  // namespace dorvex

#endif  // DORVEX_TOOL_PROBE_OPTIONS_H_
