// Opens the input as an image file and drives DiskImage with arguments taken
// from the same bytes (from their end), negative and huge values included.
// Every count must stay within what was asked, no operation may write
// outside the part of the buffer it was given, and every sector read must be
// the one that the plain walk, header by header from the track's first,
// finds: whatever the walk budget, so that the sweep of every track is
// fuzzed as much as the walks one by one.

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image/byte_order.h"
#include "image/disk_image.h"

namespace {

constexpr uint8_t kGuard = 0xA5;
constexpr size_t kGuardSize = 64;
constexpr size_t kMaxBuffer = 1 << 20;

std::string g_image_path;

// A signed 32-bit argument: mostly small, sometimes extreme.
int32_t Argument(FuzzedDataProvider& input, int32_t low, int32_t high) {
  switch (input.ConsumeIntegralInRange<int>(0, 7)) {
    case 0:
      return input.ConsumeIntegral<int32_t>();
    case 1:
      return input.PickValueInArray<int32_t>({INT32_MIN, INT32_MIN + 1, -256,
                                              -1, 0, 255, 256, INT32_MAX - 1,
                                              INT32_MAX});
    default:
      return input.ConsumeIntegralInRange<int32_t>(low, high);
  }
}

// A buffer of `size` bytes, filled with guard bytes and followed by more;
// AddressSanitizer catches a write past its end.
struct GuardedBuffer {
  explicit GuardedBuffer(size_t size) : bytes(size + kGuardSize, kGuard) {}
  uint8_t* data() { return bytes.data(); }
  // Aborts if any byte from `from` on was written. memcmp, unlike a loop
  // here, adds nothing for the fuzzer to cover.
  void CheckFrom(size_t from) const {
    static const std::vector<uint8_t> guard(kMaxBuffer + kGuardSize, kGuard);
    if (std::memcmp(bytes.data() + from, guard.data(), bytes.size() - from)) {
      std::fprintf(stderr, "written past the allowed %zu bytes\n", from);
      std::abort();
    }
  }
  std::vector<uint8_t> bytes;
};

// Where the scan of disk headers finds each disk.
std::vector<int64_t> DiskStarts(const uint8_t* data, size_t size) {
  std::vector<int64_t> starts;
  int64_t at = 0;
  while (starts.size() < dorvex::DiskImage::kMaxDisks && at >= 0 &&
         at + dorvex::DiskImage::kDiskHeaderSize <=
             static_cast<int64_t>(size)) {
    starts.push_back(at);
    at += dorvex::DecodeLe32(data + at + 28);
    if (at > INT32_MAX) break;
  }
  return starts;
}

// The plain walk of one lookup on the disk at `base`: its count, and in
// `*data_at` where the bytes lie.
int32_t PlainReadSector(const uint8_t* data, size_t size, int64_t base,
                        int32_t track, int32_t c, int32_t h, int32_t r,
                        int32_t n, int32_t max_length, int64_t* data_at) {
  if (max_length <= 0 || track < 0 || track >= 164) return 0;
  const int32_t entry = dorvex::DecodeLe32(data + base + 32 + 4 * track);
  if (entry == 0 || entry > dorvex::DecodeLe32(data + base + 28) ||
      base + entry < 0) {
    return 0;
  }
  const int64_t end = static_cast<int64_t>(size);
  int64_t at = base + entry;
  for (int64_t i = 0; at + 16 <= end; ++i) {
    const uint8_t* header = data + at;
    const int32_t count = dorvex::DecodeLe16(header + 4);
    const int32_t length = dorvex::DecodeLe16(header + 14);
    if (count == 0) return 0;
    if (header[0] == c && header[1] == h && header[2] == r && header[3] == n) {
      *data_at = at + 16;
      const int64_t left = end - *data_at;
      return static_cast<int32_t>(
          std::min<int64_t>({length, max_length, left < 0 ? 0 : left}));
    }
    at += 16 + length;
    if (i == count - 1) return 0;
  }
  return 0;
}

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "check failed: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_image_path = "/tmp/dorvex-fuzz-image-" + std::to_string(::getpid());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::FILE* file = std::fopen(g_image_path.c_str(), "wb");
  if (file == nullptr) std::abort();
  std::fwrite(data, 1, size, file);
  std::fclose(file);

  dorvex::DiskImage image;
  Check(image.Open(g_image_path.c_str()), "Open of a readable file");
  const int32_t count = image.GetDiskCount();
  Check(count >= 0 && count <= dorvex::DiskImage::kMaxDisks, "disk count");
  // The operations can read at most what the file holds, 64 KiB a sector.
  const int32_t max_read = 65536;

  const std::vector<int64_t> disks = DiskStarts(data, size);
  int64_t selected_base = -1;  // of the selected disk, while one is
  FuzzedDataProvider input(data, size);
  for (int op = 0; op < 32 && input.remaining_bytes() > 0; ++op) {
    switch (input.ConsumeIntegralInRange<int>(0, 5)) {
      case 0: {
        const int32_t index = Argument(input, -1, count);
        const bool selected = image.SelectDisk(index);
        selected_base = selected ? disks[static_cast<size_t>(index)] : -1;
        image.SetWalkBudget(input.PickValueInArray<int64_t>(
            {0, 1, 7, dorvex::DiskImage::kDefaultWalkBudget}));
        const int32_t media = image.GetMediaType();
        Check(selected ? media >= 0 && media <= 255 : media == -1, "media");
        Check(std::strlen(image.GetDiskName()) <= 16, "name length");
        break;
      }
      case 1:
        image.SetSectorRange(Argument(input, 0, 20), Argument(input, 0, 20));
        break;
      case 2: {
        const int32_t track = Argument(input, -1, 164);
        const int32_t c = Argument(input, 0, 82), h = Argument(input, 0, 2);
        const int32_t r = Argument(input, 0, 20), n = Argument(input, 0, 8);
        const int32_t length = Argument(input, -1, max_read);
        // A sector holds at most 65,535 bytes, so no larger buffer is needed
        // whatever `length` says.
        GuardedBuffer buffer(static_cast<size_t>(length < 0 ? 0
                                                 : length < max_read
                                                     ? length
                                                     : max_read));
        const int32_t got =
            image.ReadSector(track, c, h, r, n, buffer.data(), length);
        Check(got >= 0 && got <= (length > 0 ? length : 0), "ReadSector");
        buffer.CheckFrom(static_cast<size_t>(got));
        if (selected_base >= 0) {
          int64_t data_at = 0;
          const int32_t want = PlainReadSector(data, size, selected_base, track,
                                               c, h, r, n, length, &data_at);
          Check(got == want, "ReadSector finds what the plain walk finds");
          Check(std::memcmp(buffer.data(), data + data_at,
                            static_cast<size_t>(got)) == 0,
                "ReadSector reads the sector the plain walk finds");
        }
        break;
      }
      case 3: {
        const int32_t track = Argument(input, -1, 164);
        const int32_t c = Argument(input, 0, 82), h = Argument(input, 0, 2);
        const int32_t r = Argument(input, 0, 20), n = Argument(input, -1, 8);
        int32_t length = Argument(input, -1, 70000);
        if (length > int32_t{kMaxBuffer}) length = int32_t{kMaxBuffer};
        const size_t room = length > 0 ? static_cast<size_t>(length) : 0;
        GuardedBuffer buffer(room);
        const int32_t got =
            image.ReadSectors(track, c, h, r, n, buffer.data(), length);
        Check(got >= 0 && static_cast<size_t>(got) <= room, "ReadSectors");
        buffer.CheckFrom(room);
        break;
      }
      case 4: {
        const int32_t track = Argument(input, -1, 164);
        int32_t length = Argument(input, -1, 4096);
        if (length > int32_t{kMaxBuffer}) length = int32_t{kMaxBuffer};
        const size_t room = length > 0 ? static_cast<size_t>(length) : 0;
        GuardedBuffer buffer(room);
        const int32_t got = image.ListSectorIds(track, buffer.data(), length);
        Check(got >= 0 && static_cast<size_t>(got) <= room && got % 4 == 0,
              "ListSectorIds");
        buffer.CheckFrom(static_cast<size_t>(got));
        break;
      }
      default:
        if (input.ConsumeBool()) {
          image.Close();
          selected_base = -1;
          Check(image.GetDiskCount() == 0 && image.GetMediaType() == -1,
                "closed state");
        }
        break;
    }
  }
  return 0;
}
