#include "tests/d88_builder.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace d88 {

namespace {

constexpr size_t kDiskHeaderSize = 688;
constexpr size_t kTrackTableOffset = 32;
constexpr int kTrackCount = 164;
constexpr int kSystemSectors = 16;
constexpr int kDirectorySector = 13;
constexpr int kIdentificationSector = 15;

void Put16(Bytes& out, size_t at, int64_t value) {
  out[at] = static_cast<uint8_t>(value & 0xFF);
  out[at + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

void Put32(Bytes& out, size_t at, int64_t value) {
  for (int i = 0; i < 4; ++i) {
    out[at + static_cast<size_t>(i)] =
        static_cast<uint8_t>((value >> (8 * i)) & 0xFF);
  }
}

}  // namespace

void Disk::FormatTrack(int track, int first_r, int count, uint8_t n) {
  std::vector<Sector>& sectors = tracks[track];
  sectors.clear();
  for (int i = 0; i < count; ++i) {
    Sector sector;
    sector.c = static_cast<uint8_t>(track / 2);
    sector.h = static_cast<uint8_t>(track % 2);
    sector.r = static_cast<uint8_t>(first_r + i);
    sector.n = n;
    sector.data.assign(size_t{128} << n, 0);
    sectors.push_back(sector);
  }
}

Sector* Disk::FindSector(int track, int r) {
  auto it = tracks.find(track);
  if (it == tracks.end()) return nullptr;
  for (Sector& sector : it->second) {
    if (sector.r == r) return &sector;
  }
  return nullptr;
}

void Disk::Write(int track, int r, size_t offset, const Bytes& bytes) {
  Sector* sector = FindSector(track, r);
  if (sector == nullptr) return;
  if (sector->data.size() < offset + bytes.size()) {
    sector->data.resize(offset + bytes.size());
  }
  std::copy(bytes.begin(), bytes.end(),
            sector->data.begin() + static_cast<std::ptrdiff_t>(offset));
}

Bytes BuildDisk(const Disk& disk) {
  Bytes out(kDiskHeaderSize, 0);
  std::copy_n(disk.name.begin(), std::min<size_t>(disk.name.size(), 16),
              out.begin());
  out[27] = disk.media_type;
  for (const auto& [index, sectors] : disk.tracks) {
    if (index >= 0 && index < kTrackCount) {
      Put32(out, kTrackTableOffset + 4 * static_cast<size_t>(index),
            static_cast<int64_t>(out.size()));
    }
    for (const Sector& sector : sectors) {
      const size_t at = out.size();
      out.resize(at + 16, 0);
      out[at] = sector.c;
      out[at + 1] = sector.h;
      out[at + 2] = sector.r;
      out[at + 3] = sector.n;
      out[at + 6] = sector.density;
      out[at + 7] = sector.deleted;
      out[at + 8] = sector.status;
      Put16(out, at + 4,
            sector.sector_count >= 0 ? sector.sector_count
                                     : static_cast<int64_t>(sectors.size()));
      Put16(out, at + 14,
            sector.data_length >= 0 ? sector.data_length
                                    : static_cast<int64_t>(sector.data.size()));
      out.insert(out.end(), sector.data.begin(), sector.data.end());
    }
  }
  for (const auto& [index, offset] : disk.track_offsets) {
    Put32(out, kTrackTableOffset + 4 * static_cast<size_t>(index), offset);
  }
  Put32(out, 28, disk.disk_size.value_or(static_cast<int64_t>(out.size())));
  return out;
}

Bytes BuildImage(const std::vector<Disk>& disks) {
  Bytes out;
  for (const Disk& disk : disks) {
    const Bytes bytes = BuildDisk(disk);
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  return out;
}

DataDisk::DataDisk(int disk_number, std::string name) {
  disk_.name = std::move(name);
  disk_.FormatTrack(0, 1, kSystemSectors, 1);
  // Byte 400 of the block is byte 144 of its second sector.
  disk_.Write(0, kIdentificationSector + 1, 144,
              {static_cast<uint8_t>(disk_number), 0xFF, 0xFF, 0xFF});
}

void DataDisk::SetEntry(int entry, int start_sector, int start_track,
                        int length) {
  const size_t at = 4 * static_cast<size_t>(entry);
  const int sector = kDirectorySector + static_cast<int>(at / 256);
  disk_.Write(
      0, sector, at % 256,
      {static_cast<uint8_t>(start_sector), static_cast<uint8_t>(start_track),
       static_cast<uint8_t>(length & 0xFF),
       static_cast<uint8_t>((length >> 8) & 0xFF)});
}

void DataDisk::AddFile(int entry, int start_track, int start_sector,
                       const Bytes& data) {
  SetEntry(entry, start_sector, start_track, static_cast<int>(data.size()));
  int track = start_track;
  int sector = start_sector;
  for (size_t done = 0; done < data.size(); done += kFileSectorSize) {
    if (disk_.tracks.count(track) == 0) {
      disk_.FormatTrack(track, 1, kSectorsPerFileTrack, 3);
    }
    const size_t piece = std::min<size_t>(kFileSectorSize, data.size() - done);
    disk_.Write(
        track, sector, 0,
        Bytes(data.begin() + static_cast<std::ptrdiff_t>(done),
              data.begin() + static_cast<std::ptrdiff_t>(done + piece)));
    if (++sector > kSectorsPerFileTrack) {
      sector = 1;
      ++track;
    }
  }
}

Bytes Pattern(size_t length, uint32_t seed) {
  Bytes out(length);
  uint32_t state = seed * 2654435761u + 12345u;
  for (uint8_t& byte : out) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<uint8_t>(state >> 16);
  }
  return out;
}

bool WriteBytes(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

bool WriteBytesAt(const std::filesystem::path& path, int64_t offset,
                  const Bytes& bytes) {
  if (!std::filesystem::exists(path) && !WriteBytes(path, {})) return false;
  std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
  out.seekp(static_cast<std::streamoff>(offset));
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

std::optional<Bytes> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return Bytes(std::istreambuf_iterator<char>(in),
               std::istreambuf_iterator<char>());
}

}  // namespace d88
