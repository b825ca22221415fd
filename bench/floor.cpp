// The floor that the benchmarks measure dorvex against: the cheapest way to
// the same result. It reads the image once, from start to end in 128 KiB
// blocks, and writes the files that extracting it writes, in the same
// order, with the same names and sizes, as an overwrite in place costs at
// best: open the name without truncating it (creating it when absent), look
// at its size, write the file whole, cut it only when the old file was
// longer, close it. Four system calls a file, five over a longer one.
//   floor IMAGE MANIFEST   (MANIFEST: one "NAME SIZE" line a file)

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: floor IMAGE MANIFEST\n");
    return 2;
  }
  static unsigned char buffer[128 * 1024];
  const int image = open(argv[1], O_RDONLY);
  std::FILE* manifest = std::fopen(argv[2], "r");
  if (image < 0 || manifest == nullptr) return 1;
  while (read(image, buffer, sizeof buffer) > 0) {
  }
  close(image);

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
