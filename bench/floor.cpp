// The floor that the benchmarks measure dorvex against: the cheapest way to
// the same result. It reads the image once, from start to end in 128 KiB
// blocks, and writes the files that extracting it writes, in the same
// order, with the same names and sizes, as an overwrite in place costs at
// best: open the name without truncating it (creating it when absent), look
// at its size, write the file whole, cut it only when the old file was
// longer, close it. Four system calls a file, five over a longer one.
// With --passes, it reads the image that many times, looking at every
// 16-byte slot once a pass (a sector header is 16 bytes): the floor of a
// reader allowed one pass over the image a disk.
//   floor [--passes N] IMAGE MANIFEST   (MANIFEST: one "NAME SIZE" line a file)

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

unsigned char buffer[128 * 1024];

// Reads the image once; with `look`, sums a 16-bit field of every 16-byte
// slot into `sum`. False when it cannot be opened.
bool ReadImage(const char* path, bool look, unsigned long* sum) {
  const int image = open(path, O_RDONLY);
  if (image < 0) return false;
  ssize_t got = 0;
  while ((got = read(image, buffer, sizeof buffer)) > 0) {
    if (!look) continue;
    for (ssize_t at = 0; at + 16 <= got; at += 16) {
      *sum += static_cast<unsigned long>(buffer[at + 4] | buffer[at + 5] << 8);
    }
  }
  close(image);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int passes = 1;
  bool look = false;
  if (argc == 5 && std::strcmp(argv[1], "--passes") == 0) {
    passes = std::atoi(argv[2]);
    look = true;
    argv += 2;
    argc -= 2;
  }
  if (argc != 3 || passes < 1) {
    std::fprintf(stderr, "usage: floor [--passes N] IMAGE MANIFEST\n");
    return 2;
  }
  std::FILE* manifest = std::fopen(argv[2], "r");
  if (manifest == nullptr) return 1;
  unsigned long sum = 0;
  for (int pass = 0; pass < passes; ++pass) {
    if (!ReadImage(argv[1], look, &sum)) return 1;
  }
  // Printed, so that the looking cannot be left out.
  if (look) std::printf("%lu\n", sum);

  char name[8];
  unsigned long size = 0;
  while (std::fscanf(manifest, "%7s %lu", name, &size) == 2) {
    if (size > sizeof buffer) return 1;
    const int out = open(name, O_WRONLY | O_CREAT, 0666);
    struct stat status;
    if (out < 0 || fstat(out, &status) != 0 ||
        write(out, buffer, size) != static_cast<ssize_t>(size)) {
      return 1;
    }
    if (static_cast<unsigned long>(status.st_size) > size &&
        ftruncate(out, static_cast<off_t>(size)) != 0) {
      return 1;
    }
    close(out);
  }
  std::fclose(manifest);
  return 0;
}
