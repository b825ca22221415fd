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

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "bench/bench_images.h"
#include "bench/counting.h"
#include "bench/extract_budgets.h"
#include "tests/d88_builder.h"

namespace bench {
namespace {

namespace fs = std::filesystem;

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

int Main(int argc, char** argv) {
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

}  // namespace
}  // namespace bench

int main(int argc, char** argv) { return bench::Main(argc, argv); }
