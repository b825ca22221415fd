#ifndef DORVEX_TOOL_OUTPUT_FILE_H_
#define DORVEX_TOOL_OUTPUT_FILE_H_

#include <cstdint>

#include "platform/files.h"

namespace dorvex {

// Writes `length` bytes of `data` as the regular file `name` in the current
// directory. A regular file with no other name that stands there is
// overwritten in place and keeps its permissions; anything else is removed
// first and never written through: a link (its target untouched), a FIFO,
// a file with other names. Returns false, leaving the name as it was, when
// a directory or the file `keep` (the image being read) stands there; and
// false when the file cannot be made or written whole, leaving nothing
// under the name.
bool WriteOutputFile(const char* name, const uint8_t* data, int32_t length,
                     const FileIdentity& keep);

}  // namespace dorvex

#endif  // DORVEX_TOOL_OUTPUT_FILE_H_
