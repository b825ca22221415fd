// Times whole runs of dorvex on an image of 64 data disks, each holding 127
// files of 4,800 to 7,000 bytes, against the floor: a plain program that
// reads the same image once and creates the same 8,128 files. Runs the two
// alternately, prints medians and their ratio, peak resident memory, and
// each one's system calls (with strace, where present). Exits 1 when a
// target is missed: wall time at most 1.15 times the floor's, no more
// system calls than the floor, peak resident memory at most 4 MiB.
//   extract_bench [RUNS]
//   extract_bench --image PATH   (only writes the image, for a closer look)

#include <fcntl.h>
#include <spawn.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/d88_builder.h"

namespace {

namespace fs = std::filesystem;

constexpr int kDisks = 64;
constexpr int kEntries = 127;
constexpr int kMinFile = 4800;
constexpr int kMaxFile = 7000;
constexpr double kWallTarget = 1.15;
constexpr long kRssTargetKiB = 4096;

struct Run {
  double seconds;
};

// Builds the image and the manifest of the files extracting it writes.
d88::Bytes BuildBenchImage(std::vector<std::pair<std::string, int>>* files) {
  uint32_t state = 2026;
  std::vector<d88::Disk> disks;
  for (int d = 0; d < kDisks; ++d) {
    const int number = d % 10;
    d88::DataDisk disk(number, "BENCH " + std::to_string(d));
    int track = 1, sector = 1;
    for (int entry = 0; entry < kEntries; ++entry) {
      state = state * 1103515245u + 12345u;
      const int size =
          kMinFile + static_cast<int>((state >> 8) % (kMaxFile - kMinFile + 1));
      disk.AddFile(entry, track, sector,
                   d88::Pattern(static_cast<size_t>(size), state));
      const int sectors = (size + 1023) / 1024;
      sector += sectors;
      track += (sector - 1) / 5;
      sector = (sector - 1) % 5 + 1;
      char name[4];
      std::snprintf(name, sizeof name, "%01X%02X", number, entry);
      files->emplace_back(name, size);
    }
    if (track > 163) {
      std::fprintf(stderr, "bench: disk %d needs track %d\n", d, track);
      std::exit(2);
    }
    disks.push_back(disk.disk());
  }
  return d88::BuildImage(disks);
}

void EmptyDirectory(const fs::path& dir) {
  for (const auto& entry : fs::directory_iterator(dir)) fs::remove(entry);
}

// Runs argv in `dir` with standard output and error discarded. posix_spawn,
// unlike fork, does not copy this process's memory into the child's peak.
Run Spawn(const std::vector<std::string>& args, const fs::path& dir) {
  std::vector<char*> argv;
  for (const std::string& arg : args) {
    argv.push_back(const_cast<char*>(arg.c_str()));
  }
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const fs::path previous = fs::current_path();
  fs::current_path(dir);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int spawned =
      posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  int status = 0;
  if (spawned == 0) waitpid(pid, &status, 0);
  const auto end = std::chrono::steady_clock::now();
  fs::current_path(previous);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "bench: %s failed\n", args[0].c_str());
    std::exit(2);
  }
  return {std::chrono::duration<double>(end - start).count()};
}

// System calls of one run, counted by strace -c -f; -1 without strace.
long CountSyscalls(const std::vector<std::string>& args, const fs::path& dir,
                   const fs::path& scratch) {
  if (std::system("command -v strace >/dev/null 2>&1") != 0) return -1;
  EmptyDirectory(dir);
  const fs::path report = scratch / "strace.txt";
  std::vector<std::string> traced{"/usr/bin/env", "strace", "-f",
                                  "-c",           "-o",     report.string()};
  traced.insert(traced.end(), args.begin(), args.end());
  Spawn(traced, dir);
  std::ifstream in(report);
  std::string line;
  long total = -1;
  while (std::getline(in, line)) {
    if (line.find("total") == std::string::npos) continue;
    // "100.00    0.012345     1     24912       12 total": calls is the
    // fourth column.
    char* rest = line.data();
    std::strtod(rest, &rest);
    std::strtod(rest, &rest);
    std::strtol(rest, &rest, 10);
    total = std::strtol(rest, &rest, 10);
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

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--image") {
    std::vector<std::pair<std::string, int>> files;
    return d88::WriteBytes(argv[2], BuildBenchImage(&files)) ? 0 : 1;
  }
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
  const fs::path scratch =
      fs::temp_directory_path() / ("dorvex-bench-" + std::to_string(getpid()));
  const fs::path out = scratch / "out";
  fs::create_directories(out);

  std::vector<std::pair<std::string, int>> files;
  const fs::path image_path = scratch / "bench.d88";
  const fs::path manifest_path = scratch / "manifest.txt";
  const size_t image_size = [&] {
    const d88::Bytes image = BuildBenchImage(&files);
    d88::WriteBytes(image_path.string(), image);
    return image.size();
  }();
  {
    std::ofstream manifest(manifest_path);
    for (const auto& [name, size] : files)
      manifest << name << ' ' << size << '\n';
  }

  const std::vector<std::string> dorvex{DORVEX_PATH, image_path.string()};
  const std::vector<std::string> floor{FLOOR_PATH, image_path.string(),
                                       manifest_path.string()};
  std::vector<double> dorvex_times, floor_times;
  Spawn(dorvex, out);  // warm the page cache
  for (int i = 0; i < runs; ++i) {
    EmptyDirectory(out);
    const Run d = Spawn(dorvex, out);
    EmptyDirectory(out);
    const Run f = Spawn(floor, out);
    dorvex_times.push_back(d.seconds);
    floor_times.push_back(f.seconds);
  }
  EmptyDirectory(out);
  const long dorvex_rss = PeakRssKiB(dorvex, out);
  EmptyDirectory(out);
  const long floor_rss = PeakRssKiB(floor, out);
  const long dorvex_calls = CountSyscalls(dorvex, out, scratch);
  const long floor_calls = CountSyscalls(floor, out, scratch);
  fs::remove_all(scratch);

  const double dorvex_median = Median(dorvex_times);
  const double floor_median = Median(floor_times);
  const double ratio = dorvex_median / floor_median;
  std::printf("image: %d disks, %zu file writes, %zu bytes (%.1f MiB)\n",
              kDisks, files.size(), image_size,
              static_cast<double>(image_size) / (1 << 20));
  std::printf("runs: %d of each, alternating\n\n", runs);
  std::printf("%-8s %12s %14s %12s\n", "", "median ms", "peak RSS KiB",
              "syscalls");
  std::printf("%-8s %12.1f %14ld %12ld\n", "dorvex", dorvex_median * 1e3,
              dorvex_rss, dorvex_calls);
  std::printf("%-8s %12.1f %14ld %12ld\n\n", "floor", floor_median * 1e3,
              floor_rss, floor_calls);

  const bool wall_met = ratio <= kWallTarget;
  const bool calls_met = dorvex_calls < 0 || dorvex_calls <= floor_calls;
  const bool rss_met = dorvex_rss >= 0 && dorvex_rss <= kRssTargetKiB;
  std::printf("wall time ratio  %.3f (target <= %.2f): %s\n", ratio,
              kWallTarget, wall_met ? "met" : "MISSED");
  if (dorvex_calls < 0) {
    std::printf("system calls     not counted: no strace\n");
  } else {
    std::printf("system calls     %ld vs %ld (target <= floor): %s\n",
                dorvex_calls, floor_calls, calls_met ? "met" : "MISSED");
  }
  std::printf("peak RSS         %ld KiB (target <= %ld KiB): %s\n", dorvex_rss,
              kRssTargetKiB, rss_met ? "met" : "MISSED");
  return wall_met && calls_met && rss_met ? 0 : 1;
}
