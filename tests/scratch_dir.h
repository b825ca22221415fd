#ifndef DORVEX_TESTS_SCRATCH_DIR_H_
#define DORVEX_TESTS_SCRATCH_DIR_H_

#include <filesystem>
#include <string>
#include <vector>

namespace d88 {

// A fresh, empty directory that becomes the current directory for the
// object's lifetime; the previous one is restored and the scratch directory
// removed afterwards.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // Names of the entries directly inside, sorted.
  std::vector<std::string> List() const;

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

}  // namespace d88

#endif  // DORVEX_TESTS_SCRATCH_DIR_H_
