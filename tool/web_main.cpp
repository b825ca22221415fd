// The browser's way into the command, beside the console's (main.cpp): what
// a page (or Node.js) calls on the WebAssembly build instead of main. The
// command runs unchanged over the module's standard streams, which take its
// messages in UTF-8 and hand each line to the page; its files go to the
// module's current directory.
//
// The figures of a run cross to JavaScript one exported function each,
// named as the figure is: a name that one side misspells is a function the
// other side does not have, and the call fails at once.

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

// The figures of the last run, or of the run under way as each message line
// is written (the disk of that line counted as reached).
EMSCRIPTEN_KEEPALIVE int dorvex_disks() { return g_summary.disks; }
EMSCRIPTEN_KEEPALIVE int dorvex_disks_reached() {
  return g_summary.disks_reached;
}
EMSCRIPTEN_KEEPALIVE int dorvex_data_disks() { return g_summary.data_disks; }
EMSCRIPTEN_KEEPALIVE int dorvex_files_written() {
  return g_summary.files_written;
}
EMSCRIPTEN_KEEPALIVE int dorvex_files_failed() {
  return g_summary.files_failed;
}

}  // extern "C"
