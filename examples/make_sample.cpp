// Writes the sample image, examples/sample.d88, with the test image builder:
//   make_sample examples/sample.d88

#include <cstdio>

#include "tests/sample_image.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_sample OUTPUT\n");
    return 2;
  }
  if (!d88::WriteBytes(argv[1], d88::SampleImage())) {
    std::fprintf(stderr, "make_sample: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
