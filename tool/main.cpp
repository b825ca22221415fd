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
#include "platform/utf8.h"

// Windows hands over the arguments as UTF-16, so that a path can hold any
// character whatever the code page; they go on as UTF-8.
int wmain(int argc, wchar_t** argv) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t");
  // Only the program name and one path are ever used; a longer command
  // line is a usage error whatever it holds.
  constexpr int kMaxArguments = 3;
  static char arguments[kMaxArguments][32768 * 3];
  const char* utf8[kMaxArguments + 1] = {};
  const int used = argc < kMaxArguments ? argc : kMaxArguments;
  for (int i = 0; i < used; ++i) {
    if (!dorvex::Utf16ToUtf8(reinterpret_cast<const char16_t*>(argv[i]),
                             arguments[i], sizeof arguments[i])) {
      arguments[i][0] = 0;  // an unpaired surrogate cannot name a file
    }
    utf8[i] = arguments[i];
  }
  return Run(argc, utf8);
}
#else
int main(int argc, char** argv) { return Run(argc, argv); }
#endif
