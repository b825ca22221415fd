// The browser's way into the command: what a page (or Node.js) calls on the
// WebAssembly build instead of main. The command runs unchanged over the
// module's standard streams, which take its messages in UTF-8 and hand each
// line to the page; its files go to the module's current directory.

#include <emscripten/emscripten.h>

#include <iostream>

#include "tool/command.h"

namespace {

dorvex::RunSummary g_summary;

}  // namespace

extern "C" {

// Runs the command on the image at `path`, as `dorvex path` would. Returns
// its exit status.
EMSCRIPTEN_KEEPALIVE int dorvex_run(const char* path) {
  using dorvex::StandardStream;
  using dorvex::TextForm;
  const char* const argv[] = {"dorvex", path, nullptr};
  const dorvex::MessageStream out(std::cout, TextForm::kUtf8,
                                  StandardStream::kOutput);
  const dorvex::MessageStream err(std::cerr, TextForm::kUtf8,
                                  StandardStream::kError);
  return dorvex::RunCommand(2, argv, out, err, &g_summary);
}

// One figure of the last run, or of the run under way, as each message
// line is written: 0 disks, 1 data disks, 2 files written, 3 files that
// failed, 4 disks whose turn has come (the disk of that line included).
EMSCRIPTEN_KEEPALIVE int dorvex_summary(int field) {
  switch (field) {
    case 0:
      return g_summary.disks;
    case 1:
      return g_summary.data_disks;
    case 2:
      return g_summary.files_written;
    case 3:
      return g_summary.files_failed;
    case 4:
      return g_summary.disks_reached;
    default:
      return -1;
  }
}

}  // extern "C"
