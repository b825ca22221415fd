#include "tests/fault_images.h"

#include <algorithm>
#include <sstream>

namespace d88 {

namespace {

constexpr int kSector = DataDisk::kFileSectorSize;

// File 105 spans 16 sectors: tracks 4, 5 and 6 whole, then sector 1 of
// track 7, the last track stored, of which it needs 924 bytes.
constexpr int kLongEntry = 5;
constexpr int kLongLength = 16 * kSector - 100;
constexpr int kLongTrack = 4;

// Lines of text in Shift_JIS ("行 NNN テスト"), so that a look inside the
// file shows words.
Bytes TextFile(size_t length) {
  static const uint8_t kLine[] = {0x8D, 0x73, ' ',  'N',  'N',  'N',  ' ', 0x83,
                                  0x65, 0x83, 0x58, 0x83, 0x67, '\r', '\n'};
  Bytes out;
  for (int line = 0; out.size() < length; ++line) {
    for (uint8_t byte : kLine) out.push_back(byte);
    const size_t digits = out.size() - sizeof kLine + 3;
    out[digits] = static_cast<uint8_t>('0' + line / 100 % 10);
    out[digits + 1] = static_cast<uint8_t>('0' + line / 10 % 10);
    out[digits + 2] = static_cast<uint8_t>('0' + line % 10);
  }
  out.resize(length);
  return out;
}

Bytes LongFile() { return Pattern(kLongLength, 105); }

// Data disk 1 with three files: 100 (text, track 2), 105 (long) and 146
// (entry 70, in the directory's second sector, track 3).
DataDisk BaseDisk() {
  DataDisk disk(1);
  disk.AddFile(0, 2, 1, TextFile(3000));
  disk.AddFile(kLongEntry, kLongTrack, 1, LongFile());
  disk.AddFile(70, 3, 1, Pattern(1500, 146));
  return disk;
}

ExpectedDisk BaseExpectation(int position) {
  ExpectedDisk disk;
  disk.position = position;
  disk.files = {"100", "105", "146"};
  disk.present_tracks = {0, 2, 3, 4, 5, 6, 7};
  disk.directory_states = {"read", "read"};
  return disk;
}

// The failure of file 105 whose lost pieces are `lost` (from `first`, the
// first that fails, why).
ExpectedFailure LongFailure(int position, const std::string& salvage, int first,
                            int last, const std::string& state, int held) {
  ExpectedFailure failure;
  failure.position = position;
  failure.file = "105";
  failure.salvage = salvage;
  failure.piece = first;
  failure.state = state;
  failure.track = kLongTrack + first / 5;
  failure.c = failure.track / 2;
  failure.h = failure.track % 2;
  failure.r = 1 + first % 5;
  failure.from = first * kSector;
  failure.length = std::min(kSector, kLongLength - failure.from);
  failure.held = held;
  const int to = std::min(kLongLength, (last + 1) * kSector);
  failure.missing = {{failure.from, to}};
  failure.salvaged = LongFile();
  for (int i = failure.from; i < to; ++i) {
    failure.salvaged[static_cast<size_t>(i)] = 0;
  }
  for (int piece = 0; piece < 16; ++piece) {
    failure.piece_states.push_back(piece < first || piece > last ? "read"
                                                                 : state);
  }
  return failure;
}

int64_t TrackOffset(const Bytes& disk, int track) {
  const size_t at = 32 + 4 * static_cast<size_t>(track);
  return disk[at] | disk[at + 1] << 8 | disk[at + 2] << 16;
}

FaultImage AbsentTrack() {
  // Two disks of the same number, so that their salvaged files need names
  // of their own.
  FaultImage image{"absent-track", {}, {}, {}, {}};
  DataDisk disk = BaseDisk();
  disk.disk().track_offsets[5] = 0;
  image.image = BuildImage({disk.disk(), disk.disk()});
  for (int position : {1, 2}) {
    ExpectedDisk expected = BaseExpectation(position);
    expected.present_tracks = {0, 2, 3, 4, 6, 7};
    image.disks.push_back(expected);
    image.failures.push_back(
        LongFailure(position, position == 1 ? "105.partial" : "105-2.partial",
                    5, 9, "track-absent", 0));
  }
  return image;
}

FaultImage ChangedRecord() {
  FaultImage image{"changed-record", {}, {BaseExpectation(1)}, {}, {}};
  DataDisk disk = BaseDisk();
  disk.disk().FindSector(6, 4)->r = 9;
  image.image = disk.Build();
  image.failures.push_back(
      LongFailure(1, "105.partial", 13, 13, "no-sector-at-count", 0));
  return image;
}

FaultImage ShortSector() {
  FaultImage image{"short-sector", {}, {BaseExpectation(1)}, {}, {}};
  DataDisk disk = BaseDisk();
  disk.disk().FindSector(4, 3)->data.resize(512);
  image.image = disk.Build();
  image.failures.push_back(
      LongFailure(1, "105.partial", 2, 2, "sector-short", 512));
  return image;
}

FaultImage CutInsideFile() {
  FaultImage image{"cut-inside-file", {}, {BaseExpectation(1)}, {}, {}};
  image.image = BaseDisk().Build();
  // 100 bytes into the data of sector 1 of track 7, the last track.
  image.image.resize(
      static_cast<size_t>(TrackOffset(image.image, 7) + 16 + 100));
  image.failures.push_back(
      LongFailure(1, "105.partial", 15, 15, "file-ends-in-data", 100));
  return image;
}

FaultImage BadMark() {
  // A disk whose last mark byte is 0xFE, then the same disk intact.
  FaultImage image{"bad-mark", {}, {}, {}, {}};
  DataDisk bad = BaseDisk();
  bad.disk().Write(0, 16, 147, {0xFE});
  image.image = BuildImage({bad.disk(), BaseDisk().disk()});
  ExpectedDisk rejected;
  rejected.verdict = "mark-not-ff";
  rejected.mark_offset = 403;
  rejected.mark_value = 0xFE;
  rejected.directory_read = false;
  rejected.present_tracks = {0, 2, 3, 4, 5, 6, 7};
  image.disks = {rejected, BaseExpectation(2)};
  return image;
}

FaultImage ShortDirectory() {
  // Sector 14 is gone: the entries it held, 64 to 126, read as empty, and
  // file 146 is not listed at all.
  FaultImage image{"short-directory", {}, {BaseExpectation(1)}, {}, {}};
  DataDisk disk = BaseDisk();
  std::vector<Sector>& track = disk.disk().tracks[0];
  track.erase(track.begin() + 13);
  image.image = disk.Build();
  image.disks[0].directory_read = false;
  image.disks[0].files = {"100", "105"};
  image.disks[0].directory_states = {"read", "no-sector-at-count"};
  return image;
}

// Sector r of `track` of the base disk marked by `mark`, and what the run
// must then say of `what`, whose piece `piece` that sector is.
// The length of the base disk's file `name`, or of a system block's piece.
int LengthOf(const std::string& what) {
  if (what == "100") return 3000;
  if (what == "105") return kLongLength;
  if (what == "146") return 1500;
  return 512;
}

template <typename Mark>
FaultImage Marked(const std::string& name, int track, int r, Mark mark,
                  const std::string& what, int piece,
                  const std::string& doubt) {
  FaultImage image{name, {}, {BaseExpectation(1)}, {}, {}};
  DataDisk disk = BaseDisk();
  Sector& sector = *disk.disk().FindSector(track, r);
  mark(disk.disk(), sector);
  image.image = disk.Build();
  ExpectedDoubt expected;
  expected.what = what;
  expected.piece = piece;
  expected.doubt = doubt;
  expected.track = track;
  expected.c = track / 2;
  expected.h = track % 2;
  expected.r = r;
  expected.n = track == 0 ? 1 : 3;
  const int step = 128 << expected.n;
  expected.from = piece * step;
  expected.length = std::min(step, LengthOf(what) - expected.from);
  expected.status = sector.status;
  expected.deleted = sector.deleted != 0;
  expected.twin = doubt == "twin";
  image.doubts.push_back(expected);
  return image;
}

auto Status(uint8_t status) {
  return [status](Disk&, Sector& sector) { sector.status = status; };
}

std::vector<FaultImage> DoubtImages() {
  // File 100 lies in sectors 1 to 3 of track 2, 146 in 1 and 2 of track 3,
  // 105 from track 4 on; the directory in 13 and 14 of track 0 and the
  // identification block in 15 and 16.
  return {
      Marked("data-crc-error", 5, 2, Status(0xB0), "105", 6, "data-crc-error"),
      Marked("address-crc-error", 2, 1, Status(0xA0), "100", 0,
             "address-crc-error"),
      Marked("no-address-mark", 3, 2, Status(0xE0), "146", 1,
             "no-address-mark"),
      Marked("no-data-mark", 2, 3, Status(0xF0), "100", 2, "no-data-mark"),
      Marked("deleted-status", 4, 5, Status(0x10), "105", 4, "deleted-data"),
      Marked("other-status", 6, 1, Status(0x30), "105", 10, "other-status"),
      Marked(
          "deleted-mark", 3, 1,
          [](Disk&, Sector& sector) { sector.deleted = 0x10; }, "146", 0,
          "deleted-data"),
      // A second copy of sector 2, stored after the last of track 2: the
      // run reads the first.
      Marked(
          "twin", 2, 2,
          [](Disk& disk, Sector& sector) {
            Sector copy = sector;
            copy.data.assign(copy.data.size(), 0xE5);
            disk.tracks[2].push_back(copy);
          },
          "100", 1, "twin"),
      Marked("doubtful-directory", 0, 14, Status(0xB0), "directory", 1,
             "data-crc-error"),
      Marked("doubtful-identification", 0, 15, Status(0xF0), "identification",
             0, "no-data-mark"),
  };
}

void Ints(std::ostringstream& out, const std::vector<int>& values) {
  out << '[';
  for (size_t i = 0; i < values.size(); ++i) out << (i ? "," : "") << values[i];
  out << ']';
}

void Names(std::ostringstream& out, const std::vector<std::string>& names) {
  out << '[';
  for (size_t i = 0; i < names.size(); ++i) {
    out << (i ? "," : "") << '"' << names[i] << '"';
  }
  out << ']';
}

}  // namespace

std::vector<FaultImage> FaultImages() {
  std::vector<FaultImage> images = {AbsentTrack(), ChangedRecord(),
                                    ShortSector(), CutInsideFile(),
                                    BadMark(),     ShortDirectory()};
  for (FaultImage& image : DoubtImages()) images.push_back(std::move(image));
  return images;
}

std::string ExpectationsJson(const FaultImage& image) {
  std::ostringstream out;
  out << "{\"name\":\"" << image.name << "\",\"disks\":[";
  for (size_t i = 0; i < image.disks.size(); ++i) {
    const ExpectedDisk& d = image.disks[i];
    out << (i ? "," : "") << "{\"position\":" << d.position << ",\"verdict\":\""
        << d.verdict << "\",\"disk_number\":" << d.disk_number
        << ",\"mark_offset\":" << d.mark_offset
        << ",\"mark_value\":" << d.mark_value
        << ",\"directory_read\":" << (d.directory_read ? "true" : "false")
        << ",\"files\":";
    Names(out, d.files);
    out << ",\"present_tracks\":";
    Ints(out, d.present_tracks);
    out << ",\"directory_states\":";
    Names(out, d.directory_states);
    out << '}';
  }
  out << "],\"failures\":[";
  for (size_t i = 0; i < image.failures.size(); ++i) {
    const ExpectedFailure& f = image.failures[i];
    out << (i ? "," : "") << "{\"position\":" << f.position << ",\"file\":\""
        << f.file << "\",\"salvage\":\"" << f.salvage
        << "\",\"piece\":" << f.piece << ",\"state\":\"" << f.state
        << "\",\"track\":" << f.track << ",\"cylinder\":" << f.c
        << ",\"head\":" << f.h << ",\"record\":" << f.r
        << ",\"size_code\":" << f.n << ",\"from\":" << f.from
        << ",\"length\":" << f.length << ",\"held\":" << f.held
        << ",\"missing\":[";
    for (size_t m = 0; m < f.missing.size(); ++m) {
      out << (m ? "," : "") << '[' << f.missing[m].first << ','
          << f.missing[m].second << ']';
    }
    out << "],\"piece_states\":";
    Names(out, f.piece_states);
    out << '}';
  }
  out << "],\"doubts\":[";
  for (size_t i = 0; i < image.doubts.size(); ++i) {
    const ExpectedDoubt& d = image.doubts[i];
    out << (i ? "," : "") << "{\"position\":" << d.position << ",\"what\":\""
        << d.what << "\",\"piece\":" << d.piece << ",\"doubt\":\"" << d.doubt
        << "\",\"track\":" << d.track << ",\"cylinder\":" << d.c
        << ",\"head\":" << d.h << ",\"record\":" << d.r
        << ",\"size_code\":" << d.n << ",\"from\":" << d.from
        << ",\"length\":" << d.length << ",\"status\":" << d.status
        << ",\"deleted\":" << (d.deleted ? "true" : "false")
        << ",\"twin\":" << (d.twin ? "true" : "false") << '}';
  }
  out << "]}\n";
  return out.str();
}

}  // namespace d88
