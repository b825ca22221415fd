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
// under the name. `guess` picks the cheapest way in; whatever it says, what
// is opened is checked, so a wrong guess costs a call or two, never safety.
// Sets `found_taken` to whether anything stood under the name that this run
// had not written.
enum class NameGuess {
  kFree,   // likely nothing there: create exclusively, look only if taken
  kTaken,  // likely something there: look first
  kOurs,   // this run wrote it: open it at once, look only if it changed
};
bool WriteOutputFile(const char* name, const uint8_t* data, int32_t length,
                     const FileIdentity& keep, NameGuess guess,
                     bool* found_taken);

}  // namespace dorvex

#endif  // DORVEX_TOOL_OUTPUT_FILE_H_
