// Times whole runs of dorvex against a floor, the cheapest way to the same
// files: a plain program that reads the image once and writes each file as
// an overwrite in place (bench/floor.cpp). The scenarios:
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
// Runs the two alternately and prints medians, the median of each pair of
// runs' ratio, peak resident memory and (with strace) the system calls
// besides reading the image.
// Exits 1 when a target is missed: wall time at most 1.15 times the floor's
// (1.5 on the crafted image, 8 on the hostile ones, whose time at 16 MiB may
// be at most 5 times that at 4 MiB), peak resident memory at most 4 MiB (8
// on the hostile images), and at most 3 calls a new name, 7 a taken one and
// 1 a console line.
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
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/d88_builder.h"
#include "tests/hostile_image.h"
#include "tool/extract.h"

namespace {

namespace fs = std::filesystem;

constexpr int kDisks = 64;
constexpr int kEntries = 127;
constexpr int kMinFile = 4800;
constexpr int kMaxFile = 7000;
constexpr double kWallTarget = 1.15;
constexpr double kCraftedWallTarget = 1.5;
constexpr int kCraftedFile = 65535;
constexpr int kCraftedTracks = 13;  // 65 sectors of 1024 bytes hold a file
constexpr int kFillerHeaders = 40000;
constexpr long kRssTargetKiB = 4096;
constexpr double kHostileWallTarget = 8.0;
// The image grows 4 times from the small to the large: so may the time,
// with a quarter more for noise; a walk that grew with the square of the
// image would take 16 times as long.
constexpr double kHostileGrowthTarget = 5.0;
constexpr long kHostileRssTargetKiB = 8192;
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

struct Run {
  double seconds;
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

// System calls of one run besides those that read the image (or the
// manifest), counted by strace -c -f; -1 without strace.
long CountSyscalls(const std::vector<std::string>& args, const fs::path& dir,
                   const fs::path& scratch) {
  if (std::system("command -v strace >/dev/null 2>&1") != 0) return -1;
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

struct Scenario {
  std::string what;
  fs::path image;
  fs::path manifest;
  const Manifest* files;
  bool filled;  // every output name already taken before each run
  double wall_target;
  int floor_passes = 0;  // 0: the floor reads the image once, not looking
  long rss_target_kib = kRssTargetKiB;
  long console_lines = kDisks;
};

struct Measured {
  bool met;
  double seconds;  // dorvex's median
};

// Runs dorvex and the floor alternately on one scenario, prints the figures
// and returns whether every target is met, and dorvex's median time.
Measured Measure(const Scenario& s, int runs, const fs::path& scratch,
                 long dorvex_base, long floor_base) {
  const fs::path out = scratch / "out";
  fs::create_directories(out);
  EmptyDirectory(out);
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
  std::vector<double> dorvex_times, floor_times;
  for (int i = 0; i < runs; ++i) {
    prepare();
    dorvex_times.push_back(Spawn(dorvex, out).seconds);
    prepare();
    floor_times.push_back(Spawn(floor, out).seconds);
  }
  prepare();
  const long dorvex_rss = PeakRssKiB(dorvex, out);
  prepare();
  const long floor_rss = PeakRssKiB(floor, out);
  prepare();
  long dorvex_calls = CountSyscalls(dorvex, out, scratch);
  prepare();
  long floor_calls = CountSyscalls(floor, out, scratch);
  if (dorvex_calls >= 0) dorvex_calls -= dorvex_base;
  if (floor_calls >= 0) floor_calls -= floor_base;
  fs::remove_all(out);

  // A new name may cost three calls, a taken one seven, a console line one;
  // the C library looks at the standard output before its first line.
  std::set<std::string> names;
  for (const auto& file : *s.files) names.insert(file.first);
  const long files = static_cast<long>(s.files->size());
  const long fresh = s.filled ? 0 : static_cast<long>(names.size());
  const long budget = 3 * fresh + 7 * (files - fresh) + s.console_lines + 2;

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
  std::printf("%-8s %12s %14s %16s\n", "", "median ms", "peak RSS KiB",
              "calls besides reading");
  std::printf("%-8s %12.1f %14ld %16ld\n", "dorvex", Median(dorvex_times) * 1e3,
              dorvex_rss, dorvex_calls);
  std::printf("%-8s %12.1f %14ld %16ld\n", "floor", Median(floor_times) * 1e3,
              floor_rss, floor_calls);
  std::printf("  each run, dorvex/floor ms:%s\n", each.c_str());
  const bool wall_met = ratio <= s.wall_target;
  const bool rss_met = dorvex_rss >= 0 && dorvex_rss <= s.rss_target_kib;
  const bool calls_met = dorvex_calls < 0 || dorvex_calls <= budget;
  std::printf(
      "  wall time ratio  %.3f, median of the runs' (target <= %.2f): %s\n",
      ratio, s.wall_target, wall_met ? "met" : "MISSED");
  std::printf("  peak RSS         %ld KiB (target <= %ld KiB): %s\n",
              dorvex_rss, s.rss_target_kib, rss_met ? "met" : "MISSED");
  if (dorvex_calls < 0) {
    std::printf("  system calls     not counted: no strace\n");
  } else {
    std::printf(
        "  system calls     %ld (target <= %ld: 3 a new name, 7 a "
        "taken one, 1 a console line): %s\n",
        dorvex_calls, budget, calls_met ? "met" : "MISSED");
  }
  std::printf("\n");
  return {wall_met && rss_met && calls_met, Median(dorvex_times)};
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
    if (files.empty()) return;
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
       scratch / "intact.txt", &intact, false, kWallTarget},
      {"intact image, every name taken", scratch / "intact.d88",
       scratch / "intact.txt", &intact, true, kWallTarget},
      {"crafted image, empty directory", scratch / "crafted.d88",
       scratch / "crafted.txt", &crafted, false, kCraftedWallTarget},
  };
  bool met = true;
  for (const Scenario& scenario : scenarios) {
    met = Measure(scenario, runs, scratch, dorvex_base, floor_base).met && met;
  }

  // The hostile images: each against a floor that reads it once a disk, at
  // two sizes, between which dorvex's time must grow as the image does.
  std::vector<Manifest> hostile_files(2 * std::size(kHostileKinds));
  size_t next = 0;
  for (const HostileKind& kind : kHostileKinds) {
    double seconds[2] = {};
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
                        kHostileWallTarget};
      scenario.floor_passes = kDisks;
      scenario.rss_target_kib = kHostileRssTargetKiB;
      // Where no file can be read, each entry of each disk says so.
      if (files.empty()) scenario.console_lines += kDisks * kEntries;
      const Measured measured =
          Measure(scenario, runs, scratch, dorvex_base, floor_base);
      met = measured.met && met;
      seconds[i++] = measured.seconds;
      fs::remove(scenario.image);
    }
    const double growth = seconds[1] / seconds[0];
    const bool linear = growth <= kHostileGrowthTarget;
    std::printf(
        "hostile image, %s: dorvex's time at %d MiB over its time at %d MiB "
        "%.2f (target <= %.2f): %s\n\n",
        kind.what, kHostileLargeMiB, kHostileSmallMiB, growth,
        kHostileGrowthTarget, linear ? "met" : "MISSED");
    met = linear && met;
  }
  fs::remove_all(scratch);
  return met ? 0 : 1;
}
