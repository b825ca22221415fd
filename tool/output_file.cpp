#include "tool/output_file.h"

#include <cstdio>

namespace dorvex {

bool WriteOutputFile(const char* name, const uint8_t* data, int32_t length) {
  std::FILE* file = std::fopen(name, "wb");
  if (file == nullptr) return false;  // what stands there stays untouched
  // Unbuffered, the whole file goes to the system in one write.
  std::setvbuf(file, nullptr, _IONBF, 0);
  const size_t size = length > 0 ? static_cast<size_t>(length) : 0;
  const bool written = std::fwrite(data, 1, size, file) == size;
  const bool closed = std::fclose(file) == 0;
  if (written && closed) return true;
  std::remove(name);
  return false;
}

}  // namespace dorvex
