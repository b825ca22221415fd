#include "tool/probe_run.h"

#include <cerrno>
#include <system_error>

#include "tool/command.h"
#include "tool/probe_json.h"
#include "tool/probe_salvage.h"

namespace dorvex {

namespace {

// Keeps each disk's report as the run goes on, and each failed file's
// readable part when it is to be salvaged.
class Keeper : public RunObserver {
 public:
  explicit Keeper(const ProbeSettings& settings) : settings_(settings) {}

  void OnSalvage(const DiskReport& report, int32_t file, const uint8_t* bytes,
                 int32_t length) override {
    if (settings_.salvage_dir.empty()) return;
    salvaged_.push_back(SalvageOf(report, file, bytes, length));
  }

  void OnDisk(const DiskReport& report) override {
    disks_.push_back(KeepDisk(report, !settings_.summary));
    DoubtfulDisk doubtful;
    if (!settings_.salvage_dir.empty() && DoubtsOf(report, &doubtful)) {
      doubtful_.push_back(std::move(doubtful));
    }
  }

  const std::vector<ProbedDisk>& disks() const { return disks_; }
  const std::vector<SalvagedFile>& salvaged() const { return salvaged_; }
  const std::vector<DoubtfulDisk>& doubtful() const { return doubtful_; }

 private:
  const ProbeSettings& settings_;
  std::vector<ProbedDisk> disks_;
  std::vector<SalvagedFile> salvaged_;
  std::vector<DoubtfulDisk> doubtful_;
};

// The system's reason for the last failure, or a plain one when it has none.
std::string Reason(int error) {
  if (error == 0) return "cannot be read";
  return std::error_code(error, std::generic_category()).message();
}

}  // namespace

ProbeResult ProbeImage(RunState& run, DiskReport& report,
                       const std::string& path, const ProbeSettings& settings) {
  run.report = &report;
  run.writes_files = false;
  Keeper keeper(settings);
  // The console's messages go nowhere: the line says it all.
  const MessageStream quiet = MessageStream::Nowhere();
  const char* const argv[] = {"dorvex-probe", path.c_str(), nullptr};
  errno = 0;
  const int status = RunCommand(run, 2, argv, quiet, quiet, nullptr, &keeper);
  const int error = errno;
  ProbeResult result;
  if (status != 0) {
    result.line = JsonLine(CannotOpenJson(path, Reason(error)));
    return result;
  }
  result.opened = true;
  // Told when the run opened the image: no second look at the file.
  const uint64_t bytes = run.image_size;
  result.line = settings.summary
                    ? JsonLine(SummaryJson(path, bytes, keeper.disks()))
                    : ImageLine(path, bytes, keeper.disks());
  if (!settings.salvage_dir.empty()) {
    result.refusals =
        WriteSalvage(settings.salvage_dir, path, keeper.salvaged(),
                     keeper.doubtful(), settings.language);
  }
  return result;
}

}  // namespace dorvex
