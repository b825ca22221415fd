#include "tests/scratch_dir.h"

#include <algorithm>
#include <atomic>
#include <chrono>

namespace d88 {

ScratchDir::ScratchDir() : previous_(std::filesystem::current_path()) {
  static std::atomic<int> counter{0};
  const auto stamp =
      std::chrono::steady_clock::now().time_since_epoch().count();
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  // Tests run as processes side by side, and a coarse clock (Wine's) gives
  // two of them the same stamp: a directory is ours only when we made it.
  std::error_code error;
  for (int attempt = 0;; ++attempt) {
    path_ = base / ("dorvex-test-" + std::to_string(stamp) + "-" +
                    std::to_string(counter++) + "-" + std::to_string(attempt));
    if (std::filesystem::create_directory(path_, error)) break;
    if (error && attempt > 1000) break;  // the temporary directory is unusable
  }
  std::filesystem::current_path(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> ScratchDir::List() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path_)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace d88
