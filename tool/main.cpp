#include <iostream>

#include "platform/console.h"
#include "tool/command.h"

namespace {

// Each stream is looked at once, before anything is written to it.
int Run(int argc, const char* const* argv) {
  using dorvex::StandardStream;
  const bool own_window =
      dorvex::ConsoleIsOwnWindow(dorvex::ReadConsoleFacts());
  const dorvex::MessageStream out(
      std::cout, dorvex::DetectTextForm(StandardStream::kOutput),
      StandardStream::kOutput);
  const dorvex::MessageStream err(
      std::cerr, dorvex::DetectTextForm(StandardStream::kError),
      StandardStream::kError);
  dorvex::RunSummary summary;
  const int status = dorvex::RunCommand(argc, argv, out, err, &summary);
  if (own_window) dorvex::HoldOwnWindow(argc, summary, out, err);
  return status;
}

}  // namespace

#ifdef _WIN32
#include "platform/files.h"
#include "platform/utf8.h"

// Windows hands over the arguments as UTF-16, so that a path can hold any
// character whatever the code page; they go on as UTF-8.
int wmain(int argc, wchar_t** argv) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t");
  // Only the image path is ever read, and only when it is the one
  // argument: the command reads no argument of any other command line,
  // which is a usage error whatever it holds.
  static char path[dorvex::kMaxPathBytes];
  const char* const utf8[] = {"dorvex", path, nullptr};
  if (argc == 2 &&
      !dorvex::Utf16ToUtf8(reinterpret_cast<const char16_t*>(argv[1]), path,
                           sizeof path)) {
    path[0] = 0;  // an unpaired surrogate cannot name a file
  }
  return Run(argc, utf8);
}
#else
int main(int argc, char** argv) { return Run(argc, argv); }
#endif
