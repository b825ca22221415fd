#include <gtest/gtest.h>

#include <filesystem>

#include "tests/console_text.h"
#include "tests/run_command.h"
#include "tests/sample_image.h"
#include "tests/scratch_dir.h"

namespace {

// Made absolute before any test changes directory: under Wine a bare
// "/work/..." names a path on whichever drive is current.
const std::string kSamplePath =
    std::filesystem::absolute(std::string(DORVEX_SOURCE_DIR) +
                              "/examples/sample.d88")
        .string();

TEST(SampleTest, CommittedImageIsWhatTheGeneratorMakes) {
  const auto committed = d88::ReadBytes(kSamplePath);
  ASSERT_TRUE(committed.has_value()) << kSamplePath;
  EXPECT_TRUE(*committed == d88::SampleImage())
      << "regenerate it: make_sample examples/sample.d88";
}

TEST(SampleTest, ExtractsEveryFileOfBothDataDisks) {
  d88::ScratchDir scratch;
  const d88::CommandResult result = d88::RunDorvex({kSamplePath});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, d88::ExtractingLine(1) + d88::ExtractingLine(3));
  EXPECT_EQ(result.err, d88::WrongDiskLine(2));
  std::vector<std::string> names;
  for (const auto& [name, bytes] : d88::SampleFiles()) {
    names.push_back(name);
    EXPECT_EQ(d88::ReadBytes(name), bytes) << name;
  }
  EXPECT_EQ(scratch.List(), names);
}

}  // namespace
