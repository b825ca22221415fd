#include "tool/probe_salvage.h"

#include <filesystem>
#include <system_error>

#include "platform/files.h"

namespace dorvex {

namespace {

namespace fs = std::filesystem;

// Creates `path` as a new file holding `bytes`; '' when written, else why
// not.
std::string WriteNewFile(const fs::path& path, const uint8_t* bytes,
                         size_t length) {
  const std::string name = path.u8string();
  bool taken = false;
  const OutputHandle handle = CreateNewFile(name.c_str(), &taken);
  if (handle == kNoHandle) {
    return taken ? name + ": exists; not written over"
                 : name + ": cannot be created";
  }
  const bool written = WriteToFile(handle, bytes, length);
  if (!CloseFile(handle) || !written) return name + ": cannot be written";
  return std::string();
}

}  // namespace

std::vector<std::string> WriteSalvage(const std::string& dir,
                                      const std::string& image_path,
                                      const std::vector<SalvagedFile>& salvaged,
                                      const std::vector<DoubtfulDisk>& doubtful,
                                      Language language) {
  std::vector<std::string> refusals;
  if (salvaged.empty() && doubtful.empty()) return refusals;
  const fs::path into = fs::u8path(dir) / fs::u8path(image_path).filename();
  std::error_code error;
  fs::create_directories(into, error);
  if (error) {
    refusals.push_back(into.u8string() +
                       ": cannot be made: " + error.message());
    return refusals;
  }
  const auto note = [&refusals](std::string why) {
    if (!why.empty()) refusals.push_back(std::move(why));
  };
  for (const SalvagedFile& file : salvaged) {
    note(WriteNewFile(into / fs::u8path(file.salvage_name), file.bytes.data(),
                      file.bytes.size()));
  }
  const std::string missing = MissingText(salvaged, doubtful, language);
  note(WriteNewFile(into / "MISSING.txt",
                    reinterpret_cast<const uint8_t*>(missing.data()),
                    missing.size()));
  return refusals;
}

}  // namespace dorvex
