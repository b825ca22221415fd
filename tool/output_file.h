#ifndef DORVEX_TOOL_OUTPUT_FILE_H_
#define DORVEX_TOOL_OUTPUT_FILE_H_

#include <cstdint>

namespace dorvex {

// Creates or replaces the file `name` in binary mode and writes `length`
// bytes of `data` to it with a single write. Returns false when the file
// cannot be created, written or closed; a file it created is then removed,
// so that no incomplete file is left under that name.
bool WriteOutputFile(const char* name, const uint8_t* data, int32_t length);

}  // namespace dorvex

#endif  // DORVEX_TOOL_OUTPUT_FILE_H_
