// Measures whole runs of dorvex against a floor, the cheapest way to the
// same files: a plain program that reads the image once and writes each
// file as an overwrite in place (bench/floor.cpp). The scenarios:
//   - the intact image (64 data disks of 127 files of 4,800 to 7,000 bytes,
//     8,128 file writes) into an empty directory, where 6,858 of the writes
//     take a name an earlier disk of the image wrote;
//   - the same into a directory that already holds every output file;
//   - a crafted image whose every track's walk passes 40,000 filler headers
//     before its sectors (127 files of 65,535 bytes on each of 64 disks);
//   - hostile images of 64 disks, at 4 and at 16 MiB, whose every track's
//     walk passes one long chain of headers, each track from a start of its
//     own, on every disk (tests/hostile_image.h): against a floor that reads
//     the image once a disk, looking at every 16-byte slot, and writes the
//     same files.
// For each it counts, for dorvex and beside it for the floor, what repeats
// from run to run on any machine under any load: the system calls besides
// reading the image (strace), the bytes read (the kernel's count for the
// process), the peak resident memory and the instructions executed in user
// space (callgrind); and it times the two alternately and prints medians
// and the median of each pair of runs' ratio.
// Exits 1 when a count misses its budget (below) or a run leaves other
// files than it should; a wall-time target missed is printed, never a
// failure: the time of a run on a shared machine swings with whatever else
// the machine does. Exits 2 when it cannot measure (no strace or valgrind).
//   extract_bench [RUNS]
//   extract_bench --image PATH     (only writes the intact image)
//   extract_bench --large PATH     (only writes it padded to 100 MiB)
//   extract_bench --crafted PATH   (only writes the crafted image)
//   extract_bench --hostile KIND MIB PATH
//                                  (only writes a hostile image: KIND 0 to 3)

#include <fcntl.h>
#include <spawn.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/d88_builder.h"
#include "tests/hostile_image.h"
#include "tool/extract.h"

namespace {

// The budgets: what CI gates on, each with its reason. docs/performance.md
// holds the same table.
//
// System calls besides reading the image, as dorvex writes its files:
constexpr long kCallsNewName = 3;  // an exclusive create, the write, the close
constexpr long kCallsOurName = 4;  // a name written before: open, check, write,
                                   // close, as an overwrite in place at best
constexpr long kCallsCut = 1;      // the old file there was longer: cut it
constexpr long kCallsTakenName = 1;    // taken before the run: a look first
constexpr long kCallsFirstTaken = 1;   // the exclusive create that finds the
                                       // first name taken
constexpr long kCallsConsoleLine = 1;  // each console line is one write
constexpr long kCallsFirstLine = 2;    // the C library looks at the standard
                                       // streams before their first line
// Bytes read (the kernel's count for the process), in passes over the
// image, plus what reading the image once does not cover:
constexpr int kPassesIntact = 1;   // the image streamed once through a buffer
constexpr int kPassesCrafted = 2;  // 40,000 headers a walk, more than the
                                   // 32,768 a disk walks before it sweeps:
                                   // those headers, then the sweep
constexpr int kPassesAHostileDisk = 2;  // a sweep a disk; a second only for a
                                        // size code nothing asked for first
constexpr long kDiskHeaderBytes = 688;  // each disk's header: the scan reads
                                        // it, selecting the disk once more
constexpr long kReadSlack = 4096;  // the kernel's reads of the program file
                                   // as it starts it (under 1 KiB here)
// Peak resident memory: one 128 KiB buffer and fixed arrays, nothing
// allocated; the rest is the program and its C library.
constexpr long kRssBudgetKiB = 4096;
constexpr long kHostileRssBudgetKiB = 8192;  // as above, with room for the
                                             // sweep's fixed tables
// Instructions in user space, counted by callgrind: today's count for each
// scenario, as the `default` preset builds dorvex with g++ 12 on Debian 12
// (another compiler or other flags give other counts), with a margin. The
// margin is as loose as still fails a walk that reads each header twice.
constexpr double kInstructionMargin = 1.20;
struct InstructionCount {
  const char* scenario;
  int64_t today;
};
constexpr InstructionCount kInstructionsToday[] = {
    {"intact image, empty directory", 46432633},
    {"intact image, every name taken", 46584850},
    {"crafted image, empty directory", 382493319},
    {"hostile image, staggered starts, 4 MiB", 711901218},
    {"hostile image, staggered starts, 16 MiB", 2392047650},
    {"hostile image, starts of their own, 4 MiB", 699070506},
    {"hostile image, starts of their own, 16 MiB", 2379216938},
    {"hostile image, many keys, 4 MiB", 709911260},
    {"hostile image, many keys, 16 MiB", 2390057692},
    {"hostile image, no files, 4 MiB", 698212023},
    {"hostile image, no files, 16 MiB", 2378358455},
};
// The hostile image grows 4 times from the small to the large: so may the
// instructions, with a quarter more; a walk that grew with the square of
// the image would run 16 times as many.
constexpr double kHostileGrowthBudget = 5.0;

// Wall-time targets, as the ratio of dorvex's time to the floor's: printed
// with "met" or "missed", never a failure.
constexpr double kWallTarget = 1.15;
constexpr double kCraftedWallTarget = 1.5;
constexpr double kHostileWallTarget = 8.0;

namespace fs = std::filesystem;

constexpr int kDisks = 64;
constexpr int kEntries = 127;
constexpr int kMinFile = 4800;
constexpr int kMaxFile = 7000;
constexpr int kCraftedFile = 65535;
constexpr int kCraftedTracks = 13;  // 65 sectors of 1024 bytes hold a file
constexpr int kFillerHeaders = 40000;
constexpr int kHostileSmallMiB = 4;
constexpr int kHostileLargeMiB = 16;

struct HostileKind {
  d88::Hostile kind;
  const char* what;
};
constexpr HostileKind kHostileKinds[] = {
    {d88::Hostile::kStaggered, "staggered starts"},
    {d88::Hostile::kOwnStarts, "starts of their own"},
    {d88::Hostile::kManyKeys, "many keys"},
    {d88::Hostile::kNoFiles, "no files"},
};

using Manifest = std::vector<std::pair<std::string, int>>;

std::string OutputName(int number, int entry) {
  char name[4];
  dorvex::FormatOutputName(number, entry, name);
  return name;
}

// The intact image: 64 data disks of 127 files of 4,800 to 7,000 bytes;
// with `padding`, each disk is stored that many bytes longer, zeros after
// its tracks, as a dump of a larger disk would be.
d88::Bytes BuildIntactImage(Manifest* files, int64_t padding = 0) {
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
      files->emplace_back(OutputName(number, entry), size);
    }
    if (track > 163) {
      std::fprintf(stderr, "bench: disk %d needs track %d\n", d, track);
      std::exit(2);
    }
    disks.push_back(disk.disk());
  }
  if (padding == 0) return d88::BuildImage(disks);
  d88::Bytes image;
  for (d88::Disk& disk : disks) {
    const int64_t size = static_cast<int64_t>(d88::BuildDisk(disk).size());
    disk.disk_size = size + padding;
    d88::Bytes built = d88::BuildDisk(disk);
    built.resize(static_cast<size_t>(size + padding), 0);
    image.insert(image.end(), built.begin(), built.end());
  }
  return image;
}

// The crafted image: 64 data disks whose 127 entries of 65,535 bytes each
// start at track 1, sector 1. Tracks 1 to 13 all start at one chain of
// 40,000 filler headers that match nothing and never end the walk; behind
// it stand the real sectors of all 13 tracks, so that every track's walk
// passes the whole chain.
d88::Bytes BuildCraftedImage(Manifest* files) {
  std::vector<d88::Disk> disks;
  const d88::Bytes data = d88::Pattern(kCraftedFile, 99);
  for (int d = 0; d < kDisks; ++d) {
    const int number = d % 10;
    d88::DataDisk disk(number, "CRAFTED " + std::to_string(d));
    for (int entry = 0; entry < kEntries; ++entry) {
      disk.SetEntry(entry, 1, 1, kCraftedFile);
      files->emplace_back(OutputName(number, entry), kCraftedFile);
    }
    std::vector<d88::Sector>& chain = disk.disk().tracks[1];
    d88::Sector filler;
    filler.c = filler.h = 0xFF;
    filler.sector_count = 0xFFFF;
    chain.assign(kFillerHeaders, filler);
    for (int track = 1; track <= kCraftedTracks; ++track) {
      for (int r = 1; r <= 5; ++r) {
        d88::Sector sector;
        sector.c = static_cast<uint8_t>(track / 2);
        sector.h = static_cast<uint8_t>(track % 2);
        sector.r = static_cast<uint8_t>(r);
        sector.n = 3;
        sector.sector_count = 0xFFFF;
        const size_t at = static_cast<size_t>(((track - 1) * 5 + r - 1) * 1024);
        sector.data.assign(1024, 0);
        for (size_t i = 0; i < 1024 && at + i < data.size(); ++i) {
          sector.data[i] = data[at + i];
        }
        chain.push_back(sector);
      }
    }
    const d88::Bytes built = disk.Build();
    const int64_t chain_start =
        built[36] | built[37] << 8 | built[38] << 16 | int64_t{built[39]} << 24;
    for (int track = 2; track <= kCraftedTracks; ++track) {
      disk.disk().track_offsets[track] = chain_start;
    }
    disks.push_back(disk.disk());
  }
  return d88::BuildImage(disks);
}

// A hostile image of 64 disks whose chain fills `mib` MiB.
d88::Bytes BuildHostile(d88::Hostile kind, int mib, Manifest* files) {
  std::vector<d88::HostileFile> written;
  d88::Bytes image =
      d88::BuildHostileImage(kind, int64_t{mib} << 20, kDisks, &written);
  for (const d88::HostileFile& file : written) {
    files->emplace_back(OutputName(file.disk_number, file.entry), file.size);
  }
  return image;
}

void EmptyDirectory(const fs::path& dir) {
  for (const auto& entry : fs::directory_iterator(dir)) fs::remove(entry);
}

// A child started in `dir` with its standard output and error discarded.
// posix_spawn, unlike fork, does not copy this process's memory into the
// child's peak.
pid_t Start(const std::vector<std::string>& args, const fs::path& dir) {
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

struct Run {
  std::chrono::steady_clock::time_point ended;
  int64_t bytes_read;  // the kernel's count of the bytes the child read
};

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

struct Timed {
  double seconds;
  int64_t bytes_read;
};

// Runs argv in `dir` and times it.
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

// Starts one run of argv under callgrind, which writes its counts to
// `counts`; the total is read with ReadInstructions once it has ended.
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

// The system calls that writing `files` may take besides reading the
// image, each write as its name stands then: free, written before in this
// run, or taken before the run (`filled`: every name holds what the run's
// last write of it leaves).
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

// True when `dir` holds the files a run should leave and no other: each
// name of `files` at the size of its last write.
bool FilesRight(const fs::path& dir, const Manifest& files) {
  std::map<std::string, int> expected;
  for (const auto& [name, size] : files) expected[name] = size;
  size_t seen = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const auto it = expected.find(entry.path().filename().string());
    if (it == expected.end() || !entry.is_regular_file() ||
        entry.file_size() != static_cast<uintmax_t>(it->second)) {
      return false;
    }
    ++seen;
  }
  return seen == expected.size();
}

int64_t InstructionsToday(const std::string& scenario) {
  for (const InstructionCount& count : kInstructionsToday) {
    if (scenario == count.scenario) return count.today;
  }
  return 0;
}

struct Scenario {
  std::string what;
  fs::path image;
  fs::path manifest;
  const Manifest* files;
  bool filled;  // every output name already taken before each run
  double wall_target;
  int read_passes;       // the bytes-read budget, in passes over the image
  int floor_passes = 0;  // 0: the floor reads the image once, not looking
  long rss_budget_kib = kRssBudgetKiB;
  long console_lines = kDisks;
};

struct Measured {
  bool counts_met;       // every count within its budget, the files right
  int64_t instructions;  // dorvex's
};

const char* MetWord(bool met) { return met ? "met" : "MISSED"; }

// Runs dorvex and the floor on one scenario: counts, then times them
// alternately, prints the figures and returns whether every count is
// within its budget.
Measured Measure(const Scenario& s, int runs, const fs::path& scratch,
                 long dorvex_base, long floor_base) {
  const fs::path out = scratch / "out";
  const fs::path floor_out = scratch / "floor-out";
  fs::create_directories(out);
  fs::create_directories(floor_out);
  EmptyDirectory(out);
  EmptyDirectory(floor_out);
  const std::vector<std::string> dorvex{DORVEX_PATH, s.image.string()};
  std::vector<std::string> floor{FLOOR_PATH};
  if (s.floor_passes > 0) {
    floor.insert(floor.end(), {"--passes", std::to_string(s.floor_passes)});
  }
  floor.insert(floor.end(), {s.image.string(), s.manifest.string()});
  // Each run starts with nothing waiting to be written back, its own
  // files' or anything else's (a build just before, say): writeback that
  // overlaps a run slows it by whatever the disk is doing then.
  auto prepare = [&] {
    if (!s.filled) EmptyDirectory(out);
    sync();
  };
  Spawn(dorvex, out);  // warms the page cache; fills the directory
  const bool files_right = FilesRight(out, *s.files);

  // The instructions: dorvex and the floor under callgrind side by side,
  // each in a directory of its own, since the count does not depend on
  // what else the machine runs.
  prepare();
  if (s.filled) Spawn(floor, floor_out);
  const auto counting = std::chrono::steady_clock::now();
  const fs::path dorvex_counts = scratch / "callgrind.dorvex";
  const fs::path floor_counts = scratch / "callgrind.floor";
  const pid_t dorvex_counting = StartCounting(dorvex, out, dorvex_counts);
  const pid_t floor_counting = StartCounting(floor, floor_out, floor_counts);
  Finish(dorvex_counting, "dorvex under callgrind");
  Finish(floor_counting, "the floor under callgrind");
  const int64_t dorvex_instructions = ReadInstructions(dorvex_counts);
  const int64_t floor_instructions = ReadInstructions(floor_counts);
  const double counted_seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - counting)
          .count();

  std::vector<double> dorvex_times, floor_times;
  int64_t dorvex_read = 0, floor_read = 0;
  for (int i = 0; i < runs; ++i) {
    prepare();
    const Timed d = Spawn(dorvex, out);
    prepare();
    const Timed f = Spawn(floor, out);
    dorvex_times.push_back(d.seconds);
    floor_times.push_back(f.seconds);
    dorvex_read = std::max(dorvex_read, d.bytes_read);
    floor_read = std::max(floor_read, f.bytes_read);
  }
  prepare();
  const long dorvex_rss = PeakRssKiB(dorvex, out);
  prepare();
  const long floor_rss = PeakRssKiB(floor, out);
  prepare();
  const long dorvex_calls = CountSyscalls(dorvex, out, scratch) - dorvex_base;
  prepare();
  const long floor_calls = CountSyscalls(floor, out, scratch) - floor_base;
  fs::remove_all(out);
  fs::remove_all(floor_out);

  const int64_t image_size = static_cast<int64_t>(fs::file_size(s.image));
  const long files = static_cast<long>(s.files->size());
  std::set<std::string> names;
  for (const auto& file : *s.files) names.insert(file.first);
  const long fresh = s.filled ? 0 : static_cast<long>(names.size());
  const long calls_budget = CallBudget(*s.files, s.filled, s.console_lines);
  const int64_t read_budget =
      s.read_passes * image_size + kDiskHeaderBytes * kDisks + kReadSlack;
  const int64_t today = InstructionsToday(s.what);
  const auto instruction_budget =
      static_cast<int64_t>(static_cast<double>(today) * kInstructionMargin);

  // Each run of dorvex is set against the floor's run right after it, so
  // that a spell of load on the machine weighs on both sides of a ratio.
  std::vector<double> ratios;
  for (size_t i = 0; i < dorvex_times.size(); ++i) {
    ratios.push_back(dorvex_times[i] / floor_times[i]);
  }
  const double ratio = Median(ratios);
  std::string each;
  for (size_t i = 0; i < ratios.size(); ++i) {
    char run[48];
    std::snprintf(run, sizeof run, " %.0f/%.0f", dorvex_times[i] * 1e3,
                  floor_times[i] * 1e3);
    each += run;
  }
  std::printf("%s: %ld files, %ld of them over a taken name\n", s.what.c_str(),
              files, files - fresh);
  if (s.floor_passes > 0) {
    std::printf("  the floor reads the image %d times\n", s.floor_passes);
  }
  std::printf("%-8s %10s %13s %14s %12s %14s\n", "", "median ms",
              "peak RSS KiB", "system calls", "bytes read", "instructions");
  std::printf("%-8s %10.1f %13ld %14ld %12lld %14lld\n", "dorvex",
              Median(dorvex_times) * 1e3, dorvex_rss, dorvex_calls,
              static_cast<long long>(dorvex_read),
              static_cast<long long>(dorvex_instructions));
  std::printf("%-8s %10.1f %13ld %14ld %12lld %14lld\n", "floor",
              Median(floor_times) * 1e3, floor_rss, floor_calls,
              static_cast<long long>(floor_read),
              static_cast<long long>(floor_instructions));
  std::printf("  each run, dorvex/floor ms:%s\n", each.c_str());
  std::printf("  the runs under callgrind took %.1f s\n", counted_seconds);

  const bool calls_met = dorvex_calls <= calls_budget;
  const bool read_met = dorvex_read >= 0 && dorvex_read <= read_budget;
  const bool rss_met = dorvex_rss >= 0 && dorvex_rss <= s.rss_budget_kib;
  const bool instructions_met =
      today > 0 && dorvex_instructions <= instruction_budget;
  std::printf(
      "  system calls     %ld (budget <= %ld: %ld a new name, %ld one written "
      "before, %ld more for a cut, %ld more for a name taken before the run, "
      "%ld a console line): %s\n",
      dorvex_calls, calls_budget, kCallsNewName, kCallsOurName, kCallsCut,
      kCallsTakenName, kCallsConsoleLine, MetWord(calls_met));
  std::printf(
      "  bytes read       %lld, %.3f passes over the image (budget <= %lld: "
      "%d %s, %ld bytes a disk header, %ld more): %s\n",
      static_cast<long long>(dorvex_read),
      static_cast<double>(dorvex_read) / static_cast<double>(image_size),
      static_cast<long long>(read_budget), s.read_passes,
      s.read_passes == 1 ? "pass" : "passes", kDiskHeaderBytes, kReadSlack,
      MetWord(read_met));
  std::printf("  peak RSS         %ld KiB (budget <= %ld KiB): %s\n",
              dorvex_rss, s.rss_budget_kib, MetWord(rss_met));
  if (today > 0) {
    std::printf(
        "  instructions     %lld, %.4f times today's (budget <= %lld: "
        "%lld x %.2f): %s\n",
        static_cast<long long>(dorvex_instructions),
        static_cast<double>(dorvex_instructions) / static_cast<double>(today),
        static_cast<long long>(instruction_budget),
        static_cast<long long>(today), kInstructionMargin,
        MetWord(instructions_met));
  } else {
    std::printf(
        "  instructions     %lld (no budget: no count of today's): %s\n",
        static_cast<long long>(dorvex_instructions), MetWord(instructions_met));
  }
  if (!files_right) {
    std::printf("  files            not those the image holds: WRONG\n");
  }
  std::printf(
      "  wall time ratio  %.3f, median of the runs' (target <= %.2f, not a "
      "gate): %s\n\n",
      ratio, s.wall_target, ratio <= s.wall_target ? "met" : "missed");
  return {calls_met && read_met && rss_met && instructions_met && files_right,
          dorvex_instructions};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--image") {
    Manifest files;
    return d88::WriteBytes(argv[2], BuildIntactImage(&files)) ? 0 : 1;
  }
  if (argc == 3 && std::string(argv[1]) == "--large") {
    // The intact image's disks, each padded to about 1.6 MB: 100 MiB.
    Manifest files;
    constexpr int64_t kPadding = 806 * 1024;
    return d88::WriteBytes(argv[2], BuildIntactImage(&files, kPadding)) ? 0 : 1;
  }
  if (argc == 3 && std::string(argv[1]) == "--crafted") {
    Manifest files;
    return d88::WriteBytes(argv[2], BuildCraftedImage(&files)) ? 0 : 1;
  }
  if (argc == 5 && std::string(argv[1]) == "--hostile") {
    const int kind = std::atoi(argv[2]);
    if (kind < 0 || kind > 3) return 2;
    Manifest files;
    return d88::WriteBytes(argv[4], BuildHostile(kHostileKinds[kind].kind,
                                                 std::atoi(argv[3]), &files))
               ? 0
               : 1;
  }
  // The counts are what CI gates on: without the tools that take them, the
  // benchmark cannot pass.
  for (const char* tool : {"strace", "valgrind"}) {
    const std::string look =
        std::string("command -v ") + tool + " >/dev/null 2>&1";
    if (std::system(look.c_str()) != 0) {
      std::fprintf(stderr,
                   "bench: %s is needed to count what CI gates on "
                   "(apt-get install %s)\n",
                   tool, tool);
      return 2;
    }
  }
  const auto started = std::chrono::steady_clock::now();
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
  const fs::path scratch =
      fs::temp_directory_path() / ("dorvex-bench-" + std::to_string(getpid()));
  fs::create_directories(scratch);

  auto write_input = [&](const char* stem, const d88::Bytes& image,
                         const Manifest& files) {
    d88::WriteBytes(scratch / (std::string(stem) + ".d88"), image);
    std::ofstream manifest(scratch / (std::string(stem) + ".txt"));
    for (const auto& [name, size] : files) {
      manifest << name << ' ' << size << '\n';
    }
    if (files.empty() && image.empty()) return;
    std::printf("%s image: %d disks, %zu bytes (%.1f MiB)\n", stem, kDisks,
                image.size(), static_cast<double>(image.size()) / (1 << 20));
  };
  Manifest intact, crafted;
  write_input("intact", BuildIntactImage(&intact), intact);
  write_input("crafted", BuildCraftedImage(&crafted), crafted);
  write_input("empty", {}, {});
  std::printf("runs: %d of each, alternating\n\n", runs);

  // What starting up and opening the image costs either program, so that
  // only the calls that writing files takes are counted.
  const fs::path base_dir = scratch / "base";
  fs::create_directories(base_dir);
  const long dorvex_base = CountSyscalls(
      {DORVEX_PATH, (scratch / "empty.d88").string()}, base_dir, scratch);
  const long floor_base =
      CountSyscalls({FLOOR_PATH, (scratch / "empty.d88").string(),
                     (scratch / "empty.txt").string()},
                    base_dir, scratch);

  const Scenario scenarios[] = {
      {"intact image, empty directory", scratch / "intact.d88",
       scratch / "intact.txt", &intact, false, kWallTarget, kPassesIntact},
      {"intact image, every name taken", scratch / "intact.d88",
       scratch / "intact.txt", &intact, true, kWallTarget, kPassesIntact},
      {"crafted image, empty directory", scratch / "crafted.d88",
       scratch / "crafted.txt", &crafted, false, kCraftedWallTarget,
       kPassesCrafted},
  };
  int missed = 0;
  for (const Scenario& scenario : scenarios) {
    if (!Measure(scenario, runs, scratch, dorvex_base, floor_base).counts_met) {
      ++missed;
    }
  }

  // The hostile images: each against a floor that reads it once a disk, at
  // two sizes, between which dorvex's instructions may grow only as the
  // image does.
  std::vector<Manifest> hostile_files(2 * std::size(kHostileKinds));
  size_t next = 0;
  for (const HostileKind& kind : kHostileKinds) {
    int64_t instructions[2] = {};
    int i = 0;
    for (int mib : {kHostileSmallMiB, kHostileLargeMiB}) {
      Manifest& files = hostile_files[next++];
      const std::string stem = "hostile-" + std::to_string(next);
      const d88::Bytes image = BuildHostile(kind.kind, mib, &files);
      write_input(stem.c_str(), image, files);
      Scenario scenario{std::string("hostile image, ") + kind.what + ", " +
                            std::to_string(mib) + " MiB",
                        scratch / (stem + ".d88"),
                        scratch / (stem + ".txt"),
                        &files,
                        false,
                        kHostileWallTarget,
                        kPassesAHostileDisk * kDisks};
      scenario.floor_passes = kDisks;
      scenario.rss_budget_kib = kHostileRssBudgetKiB;
      // Where no file can be read, each entry of each disk says so.
      if (files.empty()) scenario.console_lines += kDisks * kEntries;
      const Measured measured =
          Measure(scenario, runs, scratch, dorvex_base, floor_base);
      if (!measured.counts_met) ++missed;
      instructions[i++] = measured.instructions;
      fs::remove(scenario.image);
    }
    const double growth = static_cast<double>(instructions[1]) /
                          static_cast<double>(instructions[0]);
    const bool linear = growth <= kHostileGrowthBudget;
    std::printf(
        "hostile image, %s: dorvex's instructions at %d MiB over those at %d "
        "MiB %.2f (budget <= %.2f): %s\n\n",
        kind.what, kHostileLargeMiB, kHostileSmallMiB, growth,
        kHostileGrowthBudget, MetWord(linear));
    if (!linear) ++missed;
  }
  fs::remove_all(scratch);
  const double took =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started)
          .count();
  if (missed == 0) {
    std::printf("every count within its budget (%.0f s)\n", took);
  } else {
    std::printf("%d scenarios with a count over its budget (%.0f s)\n", missed,
                took);
  }
  return missed == 0 ? 0 : 1;
}
