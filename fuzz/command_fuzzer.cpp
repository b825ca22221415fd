// Runs the whole command on the input as an image file, in a scratch
// directory, and checks that it writes nothing but files named as
// extracted files are. Runs it again with an observer, as the page does,
// and checks that it says the same and that what it explains holds
// together: each failed file's first failing piece, in its own range, and
// a salvaged name of its own.

#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>

#include "tool/command.h"

namespace {

const char kImageName[] = "fuzz-image.d88";

// An extracted file's name: a disk number 0 to 9, then an entry 00 to 7E.
bool IsOutputName(const std::string& name) {
  if (name.size() != 3) return false;
  if (name[0] < '0' || name[0] > '9') return false;
  const unsigned long entry = std::strtoul(name.c_str() + 1, nullptr, 16);
  const bool hex = std::isxdigit(static_cast<unsigned char>(name[1])) &&
                   std::isxdigit(static_cast<unsigned char>(name[2])) &&
                   !std::islower(static_cast<unsigned char>(name[1])) &&
                   !std::islower(static_cast<unsigned char>(name[2]));
  return hex && entry <= 0x7E;
}

void Check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "explanation does not hold: %s\n", what);
  std::abort();
}

class Checker : public dorvex::RunObserver {
 public:
  void OnSalvage(const dorvex::DiskReport& report, int32_t file, const uint8_t*,
                 int32_t length) override {
    Check(file >= 0 && file < report.file_count, "salvaged file listed");
    Check(length == report.files[file].length, "salvaged length");
    ++salvaged_;
  }

  void OnDisk(const dorvex::DiskReport& report) override {
    int failed = 0;
    for (int32_t i = 0; i < report.file_count; ++i) {
      const dorvex::FileReport& file = report.files[i];
      Check(file.first_piece >= 0 && file.piece_count >= 0 &&
                file.first_piece + file.piece_count <= report.piece_count,
            "pieces in range");
      for (int32_t k = file.first_piece;
           k < file.first_piece + file.piece_count; ++k) {
        const bool read = report.pieces[k].state == dorvex::ReadFault::kNone;
        const bool before = file.failed_piece < 0 || k < file.failed_piece;
        Check(before ? read : k != file.failed_piece || !read,
              "the first piece not read is the failed one");
        Check(report.pieces[k].held <= report.pieces[k].length, "held");
      }
      if (file.failed_piece < 0) continue;
      ++failed;
      Check(names_.insert(file.salvage_name).second, "salvaged name unique");
    }
    Check(failed == salvaged_, "a salvage for each failure");
    salvaged_ = 0;
  }

 private:
  int salvaged_ = 0;
  std::set<std::string> names_;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("dorvex-fuzz-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::filesystem::current_path(dir);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::FILE* image = std::fopen(kImageName, "wb");
  if (image == nullptr) std::abort();
  std::fwrite(data, 1, size, image);
  std::fclose(image);

  const char* argv[] = {"dorvex", kImageName, nullptr};
  std::ostringstream out, err, observed_out, observed_err;
  if (dorvex::RunCommand(2, argv, out, err) != 0) std::abort();
  Checker checker;
  if (dorvex::RunCommand(2, argv, observed_out, observed_err, nullptr,
                         &checker) != 0) {
    std::abort();
  }
  Check(out.str() == observed_out.str() && err.str() == observed_err.str(),
        "observed run says the same");

  for (const auto& entry : std::filesystem::directory_iterator(".")) {
    const std::string name = entry.path().filename().string();
    if (name == kImageName) continue;
    if (!IsOutputName(name) || !entry.is_regular_file()) {
      std::fprintf(stderr, "unexpected file written: %s\n", name.c_str());
      std::abort();
    }
    std::filesystem::remove(entry.path());
  }
  return 0;
}
