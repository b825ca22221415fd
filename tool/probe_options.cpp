#include "tool/probe_options.h"

namespace dorvex {

const char kProbeUsage[] =
    "Usage: dorvex-probe [OPTIONS] IMAGE...\n"
    "Prints what dorvex finds in each D88 image as one JSON object a line,\n"
    "in the order of the images; writes none of dorvex's files.\n"
    "\n"
    "  --summary      one short object an image, with counts only\n"
    "  --salvage DIR  write the readable part of each failed file, and a\n"
    "                 MISSING.txt, into DIR/<image file name>/; never over\n"
    "                 a file that exists\n"
    "  -j N           probe N images at a time (default: one a core)\n"
    "  --help         print this and exit\n"
    "  --version      print the version and exit\n"
    "\n"
    "Exit status: 0 when every image was opened (and every salvaged file\n"
    "written), 1 otherwise, 2 for a usage error.\n";

namespace {

// The count in `text`, 1 to kMaxThreads, or 0 when it is not one.
int ThreadCount(const std::string& text) {
  if (text.empty() || text.size() > 4) return 0;
  int count = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return 0;
    count = count * 10 + (c - '0');
  }
  return count <= kMaxThreads ? count : 0;
}

ProbeOptions UsageError(std::string error) {
  ProbeOptions options;
  options.action = ProbeOptions::Action::kUsageError;
  options.error = std::move(error);
  return options;
}

}  // namespace

ProbeOptions ParseProbeOptions(const std::vector<std::string>& args) {
  ProbeOptions options;
  bool options_end = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool has_next = i + 1 < args.size();
    if (options_end || arg.size() < 2 || arg[0] != '-') {
      options.images.push_back(arg);
    } else if (arg == "--") {
      options_end = true;
    } else if (arg == "--help" || arg == "-h") {
      options.action = ProbeOptions::Action::kHelp;
      return options;
    } else if (arg == "--version") {
      options.action = ProbeOptions::Action::kVersion;
      return options;
    } else if (arg == "--summary") {
      options.summary = true;
    } else if (arg == "--salvage" || arg.rfind("--salvage=", 0) == 0) {
      const bool joined = arg.size() > 9;
      if (!joined && !has_next)
        return UsageError("--salvage needs a directory");
      options.salvage_dir = joined ? arg.substr(10) : args[++i];
      if (options.salvage_dir.empty()) {
        return UsageError("--salvage needs a directory");
      }
    } else if (arg.rfind("-j", 0) == 0) {
      const bool joined = arg.size() > 2;
      if (!joined && !has_next) return UsageError("-j needs a count");
      const std::string count = joined ? arg.substr(2) : args[++i];
      options.threads = ThreadCount(count);
      if (options.threads == 0) {
        return UsageError("-j takes a count from 1 to 1024, not '" + count +
                          "'");
      }
    } else {
      return UsageError("unknown option '" + arg + "'");
    }
  }
  if (options.images.empty()) return UsageError("no image given");
  return options;
}

}  // namespace dorvex
