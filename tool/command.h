#ifndef DORVEX_TOOL_COMMAND_H_
#define DORVEX_TOOL_COMMAND_H_

#include "tool/messages.h"

namespace dorvex {

// The whole command: `argv` holds the program name and the image path
// (UTF-8). Extracts the files of every data disk of the image into the
// current directory, writing progress to `out` and failures to `err`
// (a plain std::ostream takes the Shift_JIS bytes).
// Returns the exit status: 1 for a wrong argument count or an image that
// cannot be opened, 0 otherwise.
int RunCommand(int argc, const char* const* argv, const MessageStream& out,
               const MessageStream& err);

}  // namespace dorvex

#endif  // DORVEX_TOOL_COMMAND_H_
