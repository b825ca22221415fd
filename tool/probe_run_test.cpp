#include "tool/probe_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/d88_builder.h"
#include "tests/fault_images.h"
#include "tests/scratch_dir.h"
#include "tool/probe_pool.h"

namespace dorvex {
namespace {

using nlohmann::json;

// A run of its own, over a megabyte: never on the stack.
struct Probe {
  RunState run;
  DiskReport report;
};

json ProbeLine(const std::string& path, const ProbeSettings& settings = {}) {
  const auto probe = std::make_unique<Probe>();
  const ProbeResult result =
      ProbeImage(probe->run, probe->report, path, settings);
  EXPECT_EQ(result.line.back(), '\n') << path;
  EXPECT_EQ(result.line.find('\n'), result.line.size() - 1) << path;
  return json::parse(result.line);
}

// Element `i` of `array`.
const json& At(const json& array, int i) {
  return array.at(static_cast<size_t>(i));
}

const json* FindFile(const json& disk, const std::string& name) {
  for (const json& file : disk["files"]) {
    if (file["name"] == name) return &file;
  }
  return nullptr;
}

// The piece of `disk` that `what` names: a file's, or the identification
// block's or directory's among the disk's own pieces.
const json* FindPiece(const json& disk, const std::string& what, int piece) {
  if (const json* file = FindFile(disk, what))
    return &At((*file)["pieces"], piece);
  int k = 0;
  for (const json& p : disk["pieces"]) {
    if (p["role"] == what && k++ == piece) return &p;
  }
  return nullptr;
}

// Every fault image: the line says what its fault made, where and why.
TEST(ProbeRunTest, LocatesEachFaultAsItWasMade) {
  d88::ScratchDir scratch;
  for (const d88::FaultImage& image : d88::FaultImages()) {
    const std::string path = image.name + ".d88";
    ASSERT_TRUE(d88::WriteBytes(path, image.image));
    const json line = ProbeLine(path);
    EXPECT_EQ(line["image"], path);
    EXPECT_EQ(line["size"], image.image.size()) << image.name;
    ASSERT_EQ(line["disks"].size(), image.disks.size()) << image.name;
    for (const d88::ExpectedDisk& expected : image.disks) {
      const json& disk = At(line["disks"], expected.position - 1);
      EXPECT_EQ(disk["position"], expected.position) << image.name;
      EXPECT_EQ(disk["verdict"], expected.verdict) << image.name;
      EXPECT_EQ(disk["number"], expected.disk_number) << image.name;
      EXPECT_EQ(
          disk["mark_offset"].is_null() ? -1 : disk["mark_offset"].get<int>(),
          expected.mark_offset)
          << image.name;
      if (expected.verdict != "data-disk") continue;
      // "read", or the reason of its first piece not read.
      std::string directory = "read";
      std::vector<std::string> states;
      for (const json& p : disk["pieces"]) {
        if (p["role"] != "directory") continue;
        states.push_back(p["state"]);
        if (directory == "read") directory = states.back();
      }
      EXPECT_EQ(states, expected.directory_states) << image.name;
      EXPECT_EQ(disk["directory"], directory) << image.name;
      EXPECT_EQ(directory == "read", expected.directory_read) << image.name;
      std::vector<std::string> names;
      for (const json& file : disk["files"]) names.push_back(file["name"]);
      EXPECT_EQ(names, expected.files) << image.name;
    }
    int failed = 0;
    for (const d88::ExpectedFailure& expected : image.failures) {
      const json& disk = At(line["disks"], expected.position - 1);
      const json* file = FindFile(disk, expected.file);
      ASSERT_NE(file, nullptr) << image.name << " " << expected.file;
      ++failed;
      EXPECT_EQ((*file)["state"], "failed") << image.name;
      EXPECT_EQ((*file)["kept"], false) << image.name;
      EXPECT_EQ((*file)["reason"], expected.state) << image.name;
      EXPECT_EQ((*file)["reason_piece"], expected.piece) << image.name;
      EXPECT_EQ((*file)["salvage"], expected.salvage) << image.name;
      const json& piece = At((*file)["pieces"], expected.piece);
      EXPECT_EQ(piece["track"], expected.track) << image.name;
      EXPECT_EQ(piece["c"], expected.c) << image.name;
      EXPECT_EQ(piece["h"], expected.h) << image.name;
      EXPECT_EQ(piece["r"], expected.r) << image.name;
      EXPECT_EQ(piece["n"], expected.n) << image.name;
      EXPECT_EQ(piece["from"], expected.from) << image.name;
      EXPECT_EQ(piece["length"], expected.length) << image.name;
      EXPECT_EQ(piece["held"], expected.held) << image.name;
      std::vector<std::string> states;
      for (const json& p : (*file)["pieces"]) states.push_back(p["state"]);
      EXPECT_EQ(states, expected.piece_states) << image.name;
    }
    int doubtful = 0;
    for (const d88::ExpectedDoubt& expected : image.doubts) {
      const json& disk = At(line["disks"], expected.position - 1);
      const json* piece = FindPiece(disk, expected.what, expected.piece);
      ASSERT_NE(piece, nullptr) << image.name << " " << expected.what;
      EXPECT_EQ((*piece)["doubt"], expected.doubt) << image.name;
      EXPECT_EQ((*piece)["status"], expected.status) << image.name;
      EXPECT_EQ((*piece)["deleted"], expected.deleted) << image.name;
      EXPECT_EQ((*piece)["twin"], expected.twin) << image.name;
      EXPECT_EQ((*piece)["track"], expected.track) << image.name;
      EXPECT_EQ((*piece)["r"], expected.r) << image.name;
      if (const json* file = FindFile(disk, expected.what)) {
        ++doubtful;
        EXPECT_EQ((*file)["state"], "doubtful") << image.name;
        EXPECT_EQ((*file)["reason"], expected.doubt) << image.name;
        EXPECT_EQ((*file)["reason_piece"], expected.piece) << image.name;
      } else {
        EXPECT_EQ(disk[expected.what + "_doubt"], expected.doubt) << image.name;
      }
    }
    // Nothing else failed or is doubtful.
    int failed_seen = 0, doubtful_seen = 0;
    for (const json& disk : line["disks"]) {
      for (const json& file : disk["files"]) {
        failed_seen += file["state"] == "failed";
        doubtful_seen += file["state"] == "doubtful";
      }
    }
    EXPECT_EQ(failed_seen, failed) << image.name;
    EXPECT_EQ(doubtful_seen, doubtful) << image.name;
  }
}

// The counts of --summary are those of the full line, image by image.
TEST(ProbeRunTest, SummaryCountsWhatTheFullLineHolds) {
  d88::ScratchDir scratch;
  ProbeSettings summary;
  summary.summary = true;
  for (const d88::FaultImage& image : d88::FaultImages()) {
    const std::string path = image.name + ".d88";
    ASSERT_TRUE(d88::WriteBytes(path, image.image));
    const json full = ProbeLine(path);
    const json counts = ProbeLine(path, summary);
    int data_disks = 0, files = 0, failed = 0, doubtful = 0;
    for (const json& disk : full["disks"]) {
      data_disks += disk["verdict"] == "data-disk";
      for (const json& file : disk["files"]) {
        ++files;
        failed += file["state"] == "failed";
        doubtful += file["state"] == "doubtful";
      }
    }
    EXPECT_EQ(counts["image"], path);
    EXPECT_EQ(counts["size"], full["size"]) << image.name;
    EXPECT_EQ(counts["disks"], full["disks"].size()) << image.name;
    EXPECT_EQ(counts["data_disks"], data_disks) << image.name;
    EXPECT_EQ(counts["files"], files) << image.name;
    EXPECT_EQ(counts["failed"], failed) << image.name;
    EXPECT_EQ(counts["doubtful"], doubtful) << image.name;
  }
}

// A file is kept when no later disk of its number reads its entry whole.
TEST(ProbeRunTest, KeepsTheFileTheConsoleLeavesUnderEachName) {
  d88::ScratchDir scratch;
  d88::DataDisk first(1), second(1), other(2), failing(1);
  first.AddFile(0, 2, 1, d88::Pattern(100, 1));
  first.AddFile(5, 3, 1, d88::Pattern(100, 2));
  second.AddFile(0, 2, 1, d88::Pattern(100, 3));
  other.AddFile(5, 2, 1, d88::Pattern(100, 4));
  failing.SetEntry(5, 1, 9, 100);  // track 9 is absent
  ASSERT_TRUE(d88::WriteBytes(
      "image.d88", d88::BuildImage({first.disk(), second.disk(), other.disk(),
                                    failing.disk()})));
  const json line = ProbeLine("image.d88");
  struct Row {
    int disk;
    const char* name;
    bool kept;
  };
  const Row rows[] = {{0, "100", false},
                      {0, "105", true},
                      {1, "100", true},
                      {2, "205", true},
                      {3, "105", false}};
  for (const Row& row : rows) {
    const json* file = FindFile(At(line["disks"], row.disk), row.name);
    ASSERT_NE(file, nullptr) << row.disk << " " << row.name;
    EXPECT_EQ((*file)["kept"], row.kept) << row.disk << " " << row.name;
  }
}

// Whatever the input, one line: an image of nothing, or why it cannot be
// opened.
TEST(ProbeRunTest, AnyInputGivesALine) {
  d88::ScratchDir scratch;
  const d88::Bytes image = d88::DataDisk(1).Build();
  ASSERT_TRUE(d88::WriteBytes("empty.d88", {}));
  ASSERT_TRUE(d88::WriteBytes("text.d88", d88::Bytes(3000, 'x')));
  ASSERT_TRUE(d88::WriteBytes("cut.d88",
                              d88::Bytes(image.begin(), image.begin() + 1000)));
  std::filesystem::create_directory("dir.d88");
  struct Row {
    const char* path;
    const char* error;  // nullptr: opened
    size_t disks;
  };
  const Row rows[] = {{"empty.d88", nullptr, 0},
                      {"text.d88", nullptr, 1},
                      {"cut.d88", nullptr, 1},
                      {"dir.d88", "cannot-open", 0},
                      {"missing.d88", "cannot-open", 0}};
  for (const Row& row : rows) {
    const json line = ProbeLine(row.path);
    EXPECT_EQ(line["image"], row.path);
    if (row.error != nullptr) {
      EXPECT_EQ(line["error"], row.error) << row.path;
      EXPECT_FALSE(line["detail"].get<std::string>().empty()) << row.path;
      continue;
    }
    EXPECT_FALSE(line.contains("error")) << row.path;
    EXPECT_EQ(line["disks"].size(), row.disks) << row.path;
  }
  EXPECT_EQ(ProbeLine("cut.d88")["disks"][0]["verdict"],
            "identification-unread");
}

// A disk name that is not valid Shift_JIS still gives valid UTF-8.
TEST(ProbeRunTest, DecodesTheDiskName) {
  d88::ScratchDir scratch;
  const d88::DataDisk named(1, "\x83\x66\x81\x5B\x83\x5E ABC\x82");
  ASSERT_TRUE(d88::WriteBytes("image.d88", named.Build()));
  EXPECT_EQ(ProbeLine("image.d88")["disks"][0]["name"],
            "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF ABC\xEF\xBF\xBD");
}

// The salvaged parts are the readable pieces with zeros elsewhere, under
// the page's names, beside MISSING.txt; nothing is written over.
TEST(ProbeRunTest, SalvagesWhatThePageSalvagesAndWritesOverNothing) {
  d88::ScratchDir scratch;
  ProbeSettings settings;
  settings.salvage_dir = "out";
  for (const d88::FaultImage& image : d88::FaultImages()) {
    const std::string path = image.name + ".d88";
    ASSERT_TRUE(d88::WriteBytes(path, image.image));
    const auto probe = std::make_unique<Probe>();
    const ProbeResult result =
        ProbeImage(probe->run, probe->report, path, settings);
    EXPECT_TRUE(result.refusals.empty()) << image.name;
    const std::filesystem::path into = std::filesystem::path("out") / path;
    for (const d88::ExpectedFailure& failure : image.failures) {
      EXPECT_EQ(d88::ReadBytes(into / failure.salvage), failure.salvaged)
          << image.name << " " << failure.salvage;
    }
    EXPECT_EQ(std::filesystem::exists(into / "MISSING.txt"),
              !image.failures.empty() || !image.doubts.empty())
        << image.name;
  }
  // Again: every name is taken now, and each is said and left alone.
  const std::vector<d88::FaultImage> images = d88::FaultImages();
  const d88::FaultImage& image = images[0];
  ASSERT_FALSE(image.failures.empty());
  const std::filesystem::path taken =
      std::filesystem::path("out") / (image.name + ".d88") / "MISSING.txt";
  ASSERT_TRUE(d88::WriteBytes(taken, {'k', 'e', 'p', 't'}));
  const auto probe = std::make_unique<Probe>();
  const ProbeResult again =
      ProbeImage(probe->run, probe->report, image.name + ".d88", settings);
  EXPECT_EQ(again.refusals.size(), image.failures.size() + 1);
  bool named = false;
  for (const std::string& refusal : again.refusals) {
    named = named || refusal == taken.u8string() + ": exists; not written over";
  }
  EXPECT_TRUE(named);
  EXPECT_EQ(d88::ReadBytes(taken), (d88::Bytes{'k', 'e', 'p', 't'}));
}

// Under threads the lines come in the order of the images, a missing one
// among them.
TEST(ProbeRunTest, KeepsTheOrderOfTheImagesUnderThreads) {
  d88::ScratchDir scratch;
  std::vector<std::string> paths;
  for (int round = 0; round < 3; ++round) {
    for (const d88::FaultImage& image : d88::FaultImages()) {
      paths.push_back(image.name + ".d88");
      if (round == 0) {
        ASSERT_TRUE(d88::WriteBytes(paths.back(), image.image));
      }
    }
    paths.push_back("missing.d88");
  }
  std::vector<std::string> alone;
  for (const std::string& path : paths) {
    const auto probe = std::make_unique<Probe>();
    alone.push_back(ProbeImage(probe->run, probe->report, path, {}).line);
  }
  for (const int threads : {1, 3, 8}) {
    std::vector<std::string> lines;
    std::vector<bool> opened;
    ProbeAll(paths, threads, ProbeSettings(), [&](const ProbeResult& result) {
      lines.push_back(result.line);
      opened.push_back(result.opened);
    });
    ASSERT_EQ(lines.size(), paths.size()) << threads;
    for (size_t i = 0; i < paths.size(); ++i) {
      EXPECT_EQ(lines[i], alone[i]) << threads << " " << i;
      EXPECT_EQ(opened[i], paths[i] != "missing.d88") << threads << " " << i;
    }
  }
}

}  // namespace
}  // namespace dorvex
