// Runs the whole command on the input as an image file, in a scratch
// directory, and checks that it writes nothing but files named as
// extracted files are.

#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
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
  std::ostringstream out, err;
  if (dorvex::RunCommand(2, argv, out, err) != 0) std::abort();

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
