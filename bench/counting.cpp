#include "bench/counting.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace bench {

namespace fs = std::filesystem;

void EmptyDirectory(const fs::path& dir) {
  for (const auto& entry : fs::directory_iterator(dir)) fs::remove(entry);
}

// posix_spawn, unlike fork, does not copy this process's memory into the
// child's peak.
pid_t Start(const std::vector<std::string>& args, const fs::path& dir,
            const fs::path& out) {
  std::vector<char*> argv;
  for (const std::string& arg : args) {
    argv.push_back(const_cast<char*>(arg.c_str()));
  }
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const fs::path previous = fs::current_path();
  fs::current_path(dir);
  pid_t pid = 0;
  const int spawned =
      posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  fs::current_path(previous);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    std::fprintf(stderr, "bench: cannot start %s\n", args[0].c_str());
    std::exit(2);
  }
  return pid;
}

// Waits for the child's end. The bytes it read are read from /proc while it
// has exited but is not yet reaped, when the kernel's count is whole and
// still there. Exits 2 when the child failed.
Run Finish(pid_t pid, const std::string& what) {
  siginfo_t info{};
  Run run{{}, -1};
  if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) == 0) {
    run.ended = std::chrono::steady_clock::now();
    std::ifstream io("/proc/" + std::to_string(pid) + "/io");
    std::string key;
    int64_t value = 0;
    while (io >> key >> value) {
      if (key == "rchar:") run.bytes_read = value;
    }
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "bench: %s failed\n", what.c_str());
    std::exit(2);
  }
  return run;
}

Timed Spawn(const std::vector<std::string>& args, const fs::path& dir) {
  const auto start = std::chrono::steady_clock::now();
  const Run run = Finish(Start(args, dir), args[0]);
  return {std::chrono::duration<double>(run.ended - start).count(),
          run.bytes_read};
}

// System calls of one run besides those that read the image (or the
// manifest), counted by strace -c -f.
long CountSyscalls(const std::vector<std::string>& args, const fs::path& dir,
                   const fs::path& scratch) {
  const fs::path report = scratch / "strace.txt";
  std::vector<std::string> traced{"/usr/bin/env", "strace", "-f",
                                  "-c",           "-o",     report.string()};
  traced.insert(traced.end(), args.begin(), args.end());
  Spawn(traced, dir);
  std::ifstream in(report);
  std::string line;
  long total = 0;
  while (std::getline(in, line)) {
    // "  0.00    0.000012     1     24912       12 openat": calls is the
    // fourth column, the name the last.
    std::istringstream fields(line);
    std::string percent, seconds, per_call, name, word;
    long calls = 0;
    if (!(fields >> percent >> seconds >> per_call >> calls)) continue;
    while (fields >> word) name = word;
    static const char* const kReading[] = {"read",    "pread64", "lseek",
                                           "_llseek", "readv",   "total"};
    if (std::find(std::begin(kReading), std::end(kReading), name) ==
        std::end(kReading)) {
      total += calls;
    }
  }
  return total;
}

pid_t StartCounting(const std::vector<std::string>& args, const fs::path& dir,
                    const fs::path& counts) {
  std::vector<std::string> counted{"/usr/bin/env", "valgrind",
                                   "--tool=callgrind",
                                   "--callgrind-out-file=" + counts.string()};
  counted.insert(counted.end(), args.begin(), args.end());
  return Start(counted, dir);
}

// The instructions callgrind counted: its "totals:" (or "summary:") line.
int64_t ReadInstructions(const fs::path& counts) {
  std::ifstream in(counts);
  std::string line;
  int64_t total = -1;
  while (std::getline(in, line)) {
    if (line.rfind("totals:", 0) == 0) total = std::atoll(line.c_str() + 7);
    if (total < 0 && line.rfind("summary:", 0) == 0) {
      total = std::atoll(line.c_str() + 8);
    }
  }
  fs::remove(counts);
  if (total < 0) {
    std::fprintf(stderr, "bench: no count in %s\n", counts.c_str());
    std::exit(2);
  }
  return total;
}

// Peak resident memory of one run in KiB: VmHWM of the process, read while
// ptrace holds it at its exit. The kernel's maxrss of a child would count
// the memory of the process that spawned it, which here holds the image.
long PeakRssKiB(const std::vector<std::string>& args, const fs::path& dir) {
  std::vector<char*> argv;
  for (const std::string& arg : args) {
    argv.push_back(const_cast<char*>(arg.c_str()));
  }
  argv.push_back(nullptr);
  std::fflush(nullptr);  // the child must not write this process's output
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    if (std::freopen("/dev/null", "w", stdout) == nullptr ||
        std::freopen("/dev/null", "w", stderr) == nullptr) {
      _exit(126);
    }
    ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);  // stopped at its exec
  ptrace(PTRACE_SETOPTIONS, pid, nullptr, PTRACE_O_TRACEEXIT);
  ptrace(PTRACE_CONT, pid, nullptr, nullptr);
  long peak = -1;
  while (waitpid(pid, &status, 0) == pid && !WIFEXITED(status) &&
         !WIFSIGNALED(status)) {
    if (status >> 8 == (SIGTRAP | (PTRACE_EVENT_EXIT << 8))) {
      std::ifstream in("/proc/" + std::to_string(pid) + "/status");
      std::string line;
      while (std::getline(in, line)) {
        if (line.rfind("VmHWM:", 0) == 0) peak = std::atol(line.c_str() + 6);
      }
    }
    const int signal = WIFSTOPPED(status) && WSTOPSIG(status) != SIGTRAP
                           ? WSTOPSIG(status)
                           : 0;
    ptrace(PTRACE_CONT, pid, nullptr,
           reinterpret_cast<void*>(static_cast<intptr_t>(signal)));
  }
  return peak;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace bench
