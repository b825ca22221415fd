#include "tool/disk_report.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <sstream>

#include "tests/d88_builder.h"
#include "tests/fault_images.h"
#include "tests/scratch_dir.h"
#include "tool/command.h"

namespace dorvex {
namespace {

// Keeps what a run tells its observer, in the terms of the expectations.
class Recorder : public RunObserver {
 public:
  void OnSalvage(const DiskReport&, int32_t file, const uint8_t* bytes,
                 int32_t length) override {
    salvaged_[file].assign(bytes, bytes + length);
  }

  void OnDisk(const DiskReport& report) override {
    d88::ExpectedDisk disk;
    disk.position = report.position;
    disk.verdict = DiskVerdictName(report.verdict);
    disk.disk_number = report.disk_number;
    disk.mark_offset = report.mark_offset;
    disk.mark_value = report.mark_value;
    disk.directory_read = report.directory_read;
    for (int32_t t = 0; t < DiskImage::kTrackCount; ++t) {
      if (report.tracks[t] == ReadFault::kNone)
        disk.present_tracks.push_back(t);
    }
    for (int32_t k = 0; k < report.piece_count; ++k) {
      if (report.pieces[k].role == PieceRole::kDirectory) {
        disk.directory_states.push_back(ReadFaultName(report.pieces[k].state));
      }
    }
    for (PieceRole role : {PieceRole::kIdentification, PieceRole::kDirectory}) {
      const int32_t k = report.DoubtfulPiece(role);
      if (k >= 0) {
        doubts.push_back(
            Doubt(report, PieceRoleName(role), k, k - FirstOf(report, role)));
      }
    }
    for (int32_t i = 0; i < report.file_count; ++i) {
      const FileReport& file = report.files[i];
      disk.files.push_back(file.name);
      if (file.failed_piece >= 0) failures.push_back(Failure(report, i));
      if (file.doubtful_piece >= 0) {
        doubts.push_back(Doubt(report, file.name, file.doubtful_piece,
                               file.doubtful_piece - file.first_piece));
      }
    }
    disks.push_back(disk);
    salvaged_.clear();
  }

  std::vector<d88::ExpectedDisk> disks;
  std::vector<d88::ExpectedFailure> failures;
  std::vector<d88::ExpectedDoubt> doubts;

 private:
  static int32_t FirstOf(const DiskReport& report, PieceRole role) {
    int32_t k = 0;
    while (report.pieces[k].role != role) ++k;
    return k;
  }

  static d88::ExpectedDoubt Doubt(const DiskReport& report,
                                  const std::string& what, int32_t k,
                                  int32_t piece) {
    const PieceReport& p = report.pieces[k];
    d88::ExpectedDoubt doubt;
    doubt.position = report.position;
    doubt.what = what;
    doubt.piece = piece;
    doubt.doubt = SectorDoubtName(p.doubt);
    doubt.track = p.at.track;
    doubt.c = p.at.c;
    doubt.h = p.at.h;
    doubt.r = p.at.r;
    doubt.n = p.size_code;
    doubt.from = p.from;
    doubt.length = p.length;
    doubt.status = p.marks.status;
    doubt.deleted = p.marks.deleted != 0;
    doubt.twin = p.marks.twin;
    return doubt;
  }

  d88::ExpectedFailure Failure(const DiskReport& report, int32_t i) {
    const FileReport& file = report.files[i];
    const PieceReport& piece = report.pieces[file.failed_piece];
    d88::ExpectedFailure failure;
    failure.position = report.position;
    failure.file = file.name;
    failure.salvage = file.salvage_name;
    failure.piece = file.failed_piece - file.first_piece;
    failure.state = ReadFaultName(piece.state);
    failure.track = piece.at.track;
    failure.c = piece.at.c;
    failure.h = piece.at.h;
    failure.r = piece.at.r;
    failure.n = piece.size_code;
    failure.from = piece.from;
    failure.length = piece.length;
    failure.held = piece.held;
    for (int32_t k = 0; k < file.piece_count; ++k) {
      const PieceReport& p = report.pieces[file.first_piece + k];
      failure.piece_states.push_back(ReadFaultName(p.state));
      if (p.state == ReadFault::kNone) continue;
      if (!failure.missing.empty() && failure.missing.back().second == p.from) {
        failure.missing.back().second = p.from + p.length;
      } else {
        failure.missing.emplace_back(p.from, p.from + p.length);
      }
    }
    failure.salvaged = salvaged_[i];
    return failure;
  }

  std::map<int32_t, d88::Bytes> salvaged_;
};

struct Console {
  int status;
  std::string out, err;
  std::map<std::string, d88::Bytes> files;
};

// Runs the command on `image` in a directory of its own, observed or not.
Console RunOn(const d88::Bytes& image, RunObserver* observer) {
  d88::ScratchDir scratch;
  if (!d88::WriteBytes("image.d88", image)) return Console{-1, {}, {}, {}};
  std::ostringstream out, err;
  const char* const argv[] = {"dorvex", "image.d88", nullptr};
  Console console;
  console.status = RunCommand(
      2, argv, MessageStream(out, TextForm::kShiftJis, StandardStream::kOutput),
      MessageStream(err, TextForm::kShiftJis, StandardStream::kError), nullptr,
      observer);
  console.out = out.str();
  console.err = err.str();
  for (const std::string& name : scratch.List()) {
    console.files[name] = *d88::ReadBytes(name);
  }
  return console;
}

// Each image with one fault made on purpose: the run must say where it is
// and why, keep every piece it could read, and write and say exactly what it
// writes and says unobserved.
TEST(DiskReportTest, ExplainsEachFaultAsItWasMade) {
  for (const d88::FaultImage& image : d88::FaultImages()) {
    Recorder recorder;
    const Console observed = RunOn(image.image, &recorder);
    const Console plain = RunOn(image.image, nullptr);
    EXPECT_EQ(observed.status, plain.status) << image.name;
    EXPECT_EQ(observed.out, plain.out) << image.name;
    EXPECT_EQ(observed.err, plain.err) << image.name;
    EXPECT_EQ(observed.files, plain.files) << image.name;

    ASSERT_EQ(recorder.disks.size(), image.disks.size()) << image.name;
    for (size_t d = 0; d < image.disks.size(); ++d) {
      const d88::ExpectedDisk& want = image.disks[d];
      const d88::ExpectedDisk& got = recorder.disks[d];
      const std::string what = image.name + ", disk " + std::to_string(d + 1);
      EXPECT_EQ(got.position, want.position) << what;
      EXPECT_EQ(got.verdict, want.verdict) << what;
      EXPECT_EQ(got.disk_number, want.disk_number) << what;
      EXPECT_EQ(got.mark_offset, want.mark_offset) << what;
      EXPECT_EQ(got.mark_value, want.mark_value) << what;
      EXPECT_EQ(got.directory_read, want.directory_read) << what;
      EXPECT_EQ(got.files, want.files) << what;
      EXPECT_EQ(got.present_tracks, want.present_tracks) << what;
      EXPECT_EQ(got.directory_states, want.directory_states) << what;
    }
    ASSERT_EQ(recorder.failures.size(), image.failures.size()) << image.name;
    for (size_t i = 0; i < image.failures.size(); ++i) {
      const d88::ExpectedFailure& want = image.failures[i];
      const d88::ExpectedFailure& got = recorder.failures[i];
      const std::string what = image.name + ", " + want.file;
      EXPECT_EQ(got.position, want.position) << what;
      EXPECT_EQ(got.file, want.file) << what;
      EXPECT_EQ(got.salvage, want.salvage) << what;
      EXPECT_EQ(got.piece, want.piece) << what;
      EXPECT_EQ(got.state, want.state) << what;
      EXPECT_EQ(std::vector<int>({got.track, got.c, got.h, got.r, got.n}),
                std::vector<int>({want.track, want.c, want.h, want.r, want.n}))
          << what;
      EXPECT_EQ(std::vector<int>({got.from, got.length, got.held}),
                std::vector<int>({want.from, want.length, want.held}))
          << what;
      EXPECT_EQ(got.missing, want.missing) << what;
      EXPECT_EQ(got.piece_states, want.piece_states) << what;
      EXPECT_EQ(got.salvaged, want.salvaged) << what;
    }
    ASSERT_EQ(recorder.doubts.size(), image.doubts.size()) << image.name;
    for (size_t i = 0; i < image.doubts.size(); ++i) {
      const d88::ExpectedDoubt& want = image.doubts[i];
      const d88::ExpectedDoubt& got = recorder.doubts[i];
      const std::string what = image.name + ", " + want.what;
      EXPECT_EQ(got.position, want.position) << what;
      EXPECT_EQ(got.what, want.what) << what;
      EXPECT_EQ(got.piece, want.piece) << what;
      EXPECT_EQ(got.doubt, want.doubt) << what;
      EXPECT_EQ(std::vector<int>({got.track, got.c, got.h, got.r, got.n}),
                std::vector<int>({want.track, want.c, want.h, want.r, want.n}))
          << what;
      EXPECT_EQ(std::vector<int>({got.from, got.length}),
                std::vector<int>({want.from, want.length}))
          << what;
      EXPECT_EQ(std::vector<int>({got.status, got.deleted, got.twin}),
                std::vector<int>({want.status, want.deleted, want.twin}))
          << what;
    }
  }
}

}  // namespace
}  // namespace dorvex
