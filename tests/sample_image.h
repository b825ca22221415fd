#ifndef DORVEX_TESTS_SAMPLE_IMAGE_H_
#define DORVEX_TESTS_SAMPLE_IMAGE_H_

#include <string>
#include <vector>

#include "tests/d88_builder.h"

namespace d88 {

// The image shipped as examples/sample.d88: data disk number 1, a disk that
// is not a data disk, and data disk number 2.
Bytes SampleImage();

// The files that extracting the sample writes, by name.
std::vector<std::pair<std::string, Bytes>> SampleFiles();

}  // namespace d88

#endif  // DORVEX_TESTS_SAMPLE_IMAGE_H_
