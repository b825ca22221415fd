#ifndef DORVEX_TOOL_OUTPUT_FILE_H_
#define DORVEX_TOOL_OUTPUT_FILE_H_

#include <cstdint>

#include "platform/files.h"

namespace dorvex {

// Writes `length` bytes of `data` as a new regular file `name` in the
// current directory. Whatever already stands under that name is removed
// first and never written through: a file, a link (its target untouched),
// a FIFO. Returns false, leaving the name as it was, when a directory or
// the file `keep` (the image being read) stands there; and false when the
// file cannot be created or written whole, leaving nothing under the name.
bool WriteOutputFile(const char* name, const uint8_t* data, int32_t length,
                     const FileIdentity& keep);

}  // namespace dorvex

#endif  // DORVEX_TOOL_OUTPUT_FILE_H_
