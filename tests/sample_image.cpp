#include "tests/sample_image.h"

#include "tool/extract.h"

namespace d88 {

namespace {

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

struct SampleFile {
  int disk_number, entry, track, sector;
  Bytes data;
};

std::vector<SampleFile> Files() {
  return {
      // Disk number 1.
      {1, 0, 1, 1, Text("HELLO FROM DISK 1\r\n")},
      {1, 1, 1, 2, Pattern(1024, 1)},  // exactly one sector
      {1, 2, 2, 4, Pattern(3000, 2)},  // head 0 into head 1
      {1, 5, 4, 1, Pattern(6000, 3)},  // longer than a track
      // Disk number 2.
      {2, 0, 1, 1, Text("SECOND DATA DISK\r\n")},
      {2, 10, 1, 2, Pattern(2500, 4)},
  };
}

}  // namespace

Bytes SampleImage() {
  DataDisk first(1, "SAMPLE DATA 1"), second(2, "SAMPLE DATA 2");
  for (const SampleFile& file : Files()) {
    DataDisk& disk = file.disk_number == 1 ? first : second;
    disk.AddFile(file.entry, file.track, file.sector, file.data);
  }
  Disk other;
  other.name = "NOT DATA";
  other.FormatTrack(0, 1, 16, 1);
  other.FormatTrack(1, 1, 16, 1);
  return BuildImage({first.disk(), other, second.disk()});
}

std::vector<std::pair<std::string, Bytes>> SampleFiles() {
  std::vector<std::pair<std::string, Bytes>> out;
  for (const SampleFile& file : Files()) {
    char name[4];
    dorvex::FormatOutputName(file.disk_number, file.entry, name);
    out.emplace_back(name, file.data);
  }
  return out;
}

}  // namespace d88
