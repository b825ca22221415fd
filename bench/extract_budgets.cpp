#include "bench/extract_budgets.h"

#include <map>
#include <set>

namespace bench {

int64_t InstructionsToday(const std::string& scenario) {
  for (const InstructionCount& count : kInstructionsToday) {
    if (scenario == count.scenario) return count.today;
  }
  return 0;
}

long CallBudget(const Manifest& files, bool filled, long console_lines) {
  std::map<std::string, int> size_now;
  if (filled) {
    for (const auto& [name, size] : files) size_now[name] = size;
  }
  std::set<std::string> written;
  bool taken_met = false;
  long calls = kCallsFirstLine + kCallsConsoleLine * console_lines;
  for (const auto& [name, size] : files) {
    const auto there = size_now.find(name);
    if (there == size_now.end()) {
      calls += kCallsNewName;
    } else {
      calls += kCallsOurName + (there->second > size ? kCallsCut : 0);
      if (written.count(name) == 0) {
        calls += kCallsTakenName + (taken_met ? 0 : kCallsFirstTaken);
        taken_met = true;
      }
    }
    written.insert(name);
    size_now[name] = size;
  }
  return calls;
}

}  // namespace bench
