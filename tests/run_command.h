#ifndef DORVEX_TESTS_RUN_COMMAND_H_
#define DORVEX_TESTS_RUN_COMMAND_H_

#include <sstream>
#include <string>
#include <vector>

#include "tool/command.h"

namespace d88 {

struct CommandResult {
  int status;
  std::string out;
  std::string err;
  dorvex::RunSummary summary;
};

// Runs the command in-process with `args` after the program name, each
// stream taking text in the form given.
inline CommandResult RunDorvex(
    const std::vector<std::string>& args,
    dorvex::TextForm out_form = dorvex::TextForm::kShiftJis,
    dorvex::TextForm err_form = dorvex::TextForm::kShiftJis) {
  std::vector<const char*> argv{"dorvex"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  argv.push_back(nullptr);
  std::ostringstream out, err;
  dorvex::RunSummary summary;
  const int status = dorvex::RunCommand(
      static_cast<int>(argv.size() - 1), argv.data(),
      dorvex::MessageStream(out, out_form, dorvex::StandardStream::kOutput),
      dorvex::MessageStream(err, err_form, dorvex::StandardStream::kError),
      &summary);
  return {status, out.str(), err.str(), summary};
}

}  // namespace d88

#endif  // DORVEX_TESTS_RUN_COMMAND_H_
