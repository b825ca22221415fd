// Probes the input as an image file, in a scratch directory, with its
// failed files salvaged, and checks that the line is one line of valid
// JSON that holds together: the summary's counts are the full line's, each
// failed file has a salvaged part of its length, and nothing is written but
// the salvage directory, with MISSING.txt when a file failed or a block or
// file is doubtful.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "tool/probe_run.h"

namespace {

const char kImageName[] = "fuzz-image.d88";
const char kSalvageDir[] = "salvaged";

void Check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "probe line does not hold: %s\n", what);
  std::abort();
}

struct Probe {
  dorvex::RunState run;
  dorvex::DiskReport report;
};

std::unique_ptr<Probe> g_probe;

nlohmann::json LineOf(const dorvex::ProbeResult& result) {
  Check(!result.line.empty() && result.line.back() == '\n' &&
            result.line.find('\n') == result.line.size() - 1,
        "one line");
  // Throws, and so fails, on anything that is not valid JSON or UTF-8.
  return nlohmann::json::parse(result.line);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("dorvex-probe-fuzz-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::filesystem::current_path(dir);
  g_probe = std::make_unique<Probe>();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::FILE* image = std::fopen(kImageName, "wb");
  if (image == nullptr) std::abort();
  std::fwrite(data, 1, size, image);
  std::fclose(image);

  dorvex::ProbeSettings settings;
  settings.salvage_dir = kSalvageDir;
  const dorvex::ProbeResult full =
      dorvex::ProbeImage(g_probe->run, g_probe->report, kImageName, settings);
  Check(full.opened && full.refusals.empty(), "opened and salvaged");
  const nlohmann::json line = LineOf(full);
  settings.summary = true;
  settings.salvage_dir.clear();
  const nlohmann::json summary = LineOf(
      dorvex::ProbeImage(g_probe->run, g_probe->report, kImageName, settings));

  size_t files = 0, failed = 0, doubtful = 0, data_disks = 0,
         doubtful_blocks = 0;
  const std::filesystem::path salvaged =
      std::filesystem::path(kSalvageDir) / kImageName;
  for (const auto& disk : line["disks"]) {
    data_disks += disk["verdict"] == "data-disk";
    doubtful_blocks += disk.contains("identification_doubt") ||
                       disk.contains("directory_doubt");
    for (const auto& file : disk["files"]) {
      ++files;
      doubtful += file["state"] == "doubtful";
      if (file["state"] != "failed") continue;
      ++failed;
      const auto part = salvaged / file["salvage"].get<std::string>();
      Check(std::filesystem::file_size(part) == file["length"].get<size_t>(),
            "a salvaged part of the file's length");
    }
  }
  Check(summary["disks"] == line["disks"].size() &&
            summary["data_disks"] == data_disks && summary["files"] == files &&
            summary["failed"] == failed && summary["doubtful"] == doubtful,
        "the summary counts the full line");
  Check(std::filesystem::exists(salvaged / "MISSING.txt") ==
            (failed + doubtful + doubtful_blocks > 0),
        "MISSING.txt with the salvaged parts and the doubts");

  for (const auto& entry : std::filesystem::directory_iterator(".")) {
    const std::string name = entry.path().filename().string();
    Check(name == kImageName || name == kSalvageDir, "nothing else written");
  }
  std::filesystem::remove_all(kSalvageDir);
  return 0;
}
