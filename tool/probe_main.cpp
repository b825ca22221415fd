// dorvex-probe: what a run of dorvex finds in each image, as one JSON
// object a line, for scripts and whole collections. The console program
// stays as it is; this one runs the same command over the same reports,
// writing none of its files.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/console.h"
#include "tool/probe_options.h"
#include "tool/probe_pool.h"

namespace {

using dorvex::ProbeOptions;

void Write(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

int Run(const std::vector<std::string>& args) {
  // JSON Lines end each line in "\n" on every host.
  dorvex::WriteStreamAsBytes(stdout);
  const ProbeOptions options = dorvex::ParseProbeOptions(args);
  switch (options.action) {
    case ProbeOptions::Action::kHelp:
      Write(stdout, dorvex::kProbeUsage);
      return 0;
    case ProbeOptions::Action::kVersion:
      Write(stdout, "dorvex-probe " DORVEX_VERSION "\n");
      return 0;
    case ProbeOptions::Action::kUsageError:
      Write(stderr, "dorvex-probe: " + options.error +
                        "\nTry 'dorvex-probe --help'.\n");
      return 2;
    case ProbeOptions::Action::kProbe:
      break;
  }
  dorvex::ProbeSettings settings;
  settings.summary = options.summary;
  settings.salvage_dir = options.salvage_dir;
  settings.language = dorvex::LanguageOf(
      std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
  bool all_well = true;
  dorvex::ProbeAll(options.images, options.threads, settings,
                   [&all_well](const dorvex::ProbeResult& result) {
                     Write(stdout, result.line);
                     for (const std::string& refusal : result.refusals) {
                       Write(stderr, "dorvex-probe: " + refusal + "\n");
                     }
                     all_well =
                         all_well && result.opened && result.refusals.empty();
                   });
  const bool flushed = std::fflush(stdout) == 0;
  return all_well && flushed ? 0 : 1;
}

}  // namespace

#ifdef _WIN32
#include "platform/files.h"
#include "platform/utf8.h"

// Windows hands over the arguments as UTF-16, so that a path can hold any
// character whatever the code page; they go on as UTF-8.
int wmain(int argc, wchar_t** argv) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t");
  std::vector<std::string> args;
  std::vector<char> utf8(dorvex::kMaxPathBytes);
  for (int i = 1; i < argc; ++i) {
    if (!dorvex::Utf16ToUtf8(reinterpret_cast<const char16_t*>(argv[i]),
                             utf8.data(), utf8.size())) {
      utf8[0] = 0;  // an unpaired surrogate cannot name a file
    }
    args.emplace_back(utf8.data());
  }
  return Run(args);
}
#else
int main(int argc, char** argv) {
  return Run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
