// Opens the input as an image file and drives DiskImage with arguments taken
// from the same bytes (from their end), negative and huge values included.
// Every count must stay within what was asked, and no operation may write
// outside the part of the buffer it was given.

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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

  FuzzedDataProvider input(data, size);
  for (int op = 0; op < 32 && input.remaining_bytes() > 0; ++op) {
    switch (input.ConsumeIntegralInRange<int>(0, 5)) {
      case 0: {
        const bool selected = image.SelectDisk(Argument(input, -1, count));
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
          Check(image.GetDiskCount() == 0 && image.GetMediaType() == -1,
                "closed state");
        }
        break;
    }
  }
  return 0;
}
