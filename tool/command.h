#ifndef DORVEX_TOOL_COMMAND_H_
#define DORVEX_TOOL_COMMAND_H_

#include "tool/disk_report.h"
#include "tool/messages.h"
#include "tool/run_state.h"

namespace dorvex {

// The whole command: `argv` holds the program name and the image path
// (UTF-8). Extracts the files of every data disk of the image into the
// current directory, writing progress to `out` and failures to `err`
// (a plain std::ostream takes the Shift_JIS bytes).
// Returns the exit status: 1 for a wrong argument count or an image that
// cannot be opened, 0 otherwise. Sums the run up in `summary` when given.
// An `observer` is told, disk by disk, what each read found and given the
// readable part of each file that failed; the console never asks for it.
struct RunSummary {
  int disks = 0;          // disks in the image
  int disks_reached = 0;  // disks whose turn has come, so far
  int data_disks = 0;     // of them, data disks
  int files_written = 0;  // names that hold a file this run wrote
  int files_failed = 0;   // files reported as unreadable or unwritable
};
int RunCommand(int argc, const char* const* argv, const MessageStream& out,
               const MessageStream& err, RunSummary* summary = nullptr,
               RunObserver* observer = nullptr);

// The same command in `run` rather than the console's static storage, so
// that runs on other threads each work in their own; `run.report` is the
// report an `observer` is shown (none: the run is not observed), and
// `run.writes_files` whether the files are written.
int RunCommand(RunState& run, int argc, const char* const* argv,
               const MessageStream& out, const MessageStream& err,
               RunSummary* summary = nullptr, RunObserver* observer = nullptr);

// For a console window that was made for this run alone and closes when the
// program ends, as Explorer makes one for a program started by a double
// click or a drop: says what to do (after a wrong argument count) or where
// the files went and how many, then waits for a key so that all of it can
// be read.
void HoldOwnWindow(int argc, const RunSummary& summary,
                   const MessageStream& out, const MessageStream& err);

}  // namespace dorvex

#endif  // DORVEX_TOOL_COMMAND_H_
