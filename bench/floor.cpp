// The floor that the benchmark measures dorvex against: a plain program that
// reads the image once, from start to end in 64 KiB blocks, and creates the
// files that extracting it writes, in the same order, with the same names
// and sizes, one write each. Like dorvex, and like GNU tar, it creates each
// file anew and never writes through what stands under its name: a name in
// use is looked at (a directory, or the image itself under another name,
// must be kept) and removed first. It does nothing else.
//   floor IMAGE MANIFEST   (MANIFEST: one "NAME SIZE" line a file)

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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
    const int flags = O_WRONLY | O_CREAT | O_EXCL;
    int out = open(name, flags, 0666);
    if (out < 0 && errno == EEXIST) {
      struct stat status;
      if (lstat(name, &status) != 0 || unlink(name) != 0) return 1;
      out = open(name, flags, 0666);
    }
    if (out < 0 || write(out, buffer, size) != static_cast<ssize_t>(size)) {
      return 1;
    }
    close(out);
  }
  std::fclose(manifest);
  return 0;
}
