// Writes the images with one known fault each for the page's tests:
//   fault_images DIR
// gives, for each fault, DIR/<fault>.d88, DIR/<fault>.json (what the run
// must say about it) and DIR/<fault>/<salvaged name> (the bytes it must
// salvage).

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "tests/fault_images.h"

namespace {

bool WriteText(const std::filesystem::path& path, const std::string& text) {
  return d88::WriteBytes(path, d88::Bytes(text.begin(), text.end()));
}

bool WriteFault(const std::filesystem::path& dir,
                const d88::FaultImage& image) {
  std::error_code error;
  const std::filesystem::path salvaged = dir / image.name;
  std::filesystem::create_directories(salvaged, error);
  if (error) return false;
  if (!d88::WriteBytes(dir / (image.name + ".d88"), image.image) ||
      !WriteText(dir / (image.name + ".json"), d88::ExpectationsJson(image))) {
    return false;
  }
  for (const d88::ExpectedFailure& failure : image.failures) {
    if (!d88::WriteBytes(salvaged / failure.salvage, failure.salvaged)) {
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fault_images DIR\n");
    return 2;
  }
  for (const d88::FaultImage& image : d88::FaultImages()) {
    if (!WriteFault(argv[1], image)) {
      std::fprintf(stderr, "fault_images: cannot write %s in %s\n",
                   image.name.c_str(), argv[1]);
      return 1;
    }
  }
  return 0;
}
