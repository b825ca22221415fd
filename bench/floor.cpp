// The floor that the benchmarks measure dorvex against: the cheapest way to
// the same result. It reads the image once, from start to end in 64 KiB
// blocks, and writes the files that extracting it writes, in the same
// order, with the same names and sizes, one write each, each by a plain
// truncating create: three system calls a file, whatever stood there.
//   floor IMAGE MANIFEST   (MANIFEST: one "NAME SIZE" line a file)

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: floor IMAGE MANIFEST\n");
    return 2;
  }
  static unsigned char buffer[64 * 1024];
  std::FILE* image = std::fopen(argv[1], "rb");
  std::FILE* manifest = std::fopen(argv[2], "r");
  if (image == nullptr || manifest == nullptr) return 1;
  std::setvbuf(image, nullptr, _IONBF, 0);
  while (std::fread(buffer, 1, sizeof buffer, image) == sizeof buffer) {
  }
  std::fclose(image);

  char name[8];
  unsigned long size = 0;
  while (std::fscanf(manifest, "%7s %lu", name, &size) == 2) {
    if (size > sizeof buffer) return 1;
    const int out = open(name, O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (out < 0 || write(out, buffer, size) != static_cast<ssize_t>(size)) {
      return 1;
    }
    close(out);
  }
  std::fclose(manifest);
  return 0;
}
