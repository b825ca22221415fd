// Measures dorvex-probe over a collection of 1,000 generated images (data
// disks, disks that are not data disks, damaged images and files that are
// not D88 at all; bench/bench_images.h) against cat reading the same files,
// with the page cache warm: `dorvex-probe --summary -j 1`, and the same on
// every core.
// It counts what repeats from run to run on any machine under any load:
// the bytes read (the kernel's count for the process), the system calls
// for each image besides reading it (strace), and the peak resident
// memory; and it times the probe and cat alternately and prints medians
// and the median of each pair of runs' ratio.
// Exits 1 when a count misses its budget (bench/probe_budgets.h) or the
// output is not one line for each image; a wall-time target missed is
// printed, never a failure. Exits 2 when it cannot measure (no strace).
//   probe_bench [RUNS]
//   probe_bench --collection DIR   (only writes the collection into DIR)

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_images.h"
#include "bench/counting.h"
#include "bench/probe_budgets.h"

namespace bench {
namespace {

namespace fs = std::filesystem;

const char* MetWord(bool met) { return met ? "met" : "MISSED"; }

// True when `output` holds one JSON object a line, one for each image, in
// their order.
bool OutputRight(const fs::path& output,
                 const std::vector<CollectionImage>& images) {
  std::ifstream in(output);
  std::string line;
  size_t seen = 0;
  while (std::getline(in, line)) {
    if (seen >= images.size() || line.empty() || line.front() != '{' ||
        line.back() != '}' ||
        line.find("\"" + images[seen].name + "\"") == std::string::npos) {
      return false;
    }
    ++seen;
  }
  return seen == images.size();
}

struct Timing {
  double probe_ms;
  double cat_ms;
  double ratio;  // the median of each probe run's time over cat's after it
  std::string each;
};

// Times `probe` and cat on `files` alternately, `runs` times.
Timing TimeAgainstCat(const std::vector<std::string>& probe,
                      const std::vector<std::string>& cat, int runs,
                      const fs::path& dir) {
  std::vector<double> probe_times, cat_times, ratios;
  std::string each;
  for (int i = 0; i < runs; ++i) {
    const Timed p = Spawn(probe, dir);
    const Timed c = Spawn(cat, dir);
    probe_times.push_back(p.seconds);
    cat_times.push_back(c.seconds);
    ratios.push_back(p.seconds / c.seconds);
    char run[48];
    std::snprintf(run, sizeof run, " %.0f/%.0f", p.seconds * 1e3,
                  c.seconds * 1e3);
    each += run;
  }
  return {Median(probe_times) * 1e3, Median(cat_times) * 1e3, Median(ratios),
          each};
}

// The peak memory of one run and its budget, printed.
struct Peak {
  const char* what;
  long kib;
  long budget_kib;
};

int Main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--collection") {
    return WriteCollection(argv[2], kCollectionImages).empty() ? 1 : 0;
  }
  if (std::system("command -v strace >/dev/null 2>&1") != 0) {
    std::fprintf(stderr,
                 "bench: strace is needed to count what CI gates on "
                 "(apt-get install strace)\n");
    return 2;
  }
  const auto started = std::chrono::steady_clock::now();
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
  const fs::path scratch = fs::temp_directory_path() /
                           ("dorvex-probe-bench-" + std::to_string(getpid()));
  const fs::path dir = scratch / "collection";
  fs::create_directories(dir);
  const std::vector<CollectionImage> images =
      WriteCollection(dir.string(), kCollectionImages);
  if (images.empty()) {
    std::fprintf(stderr, "bench: cannot write the collection\n");
    return 2;
  }
  int64_t bytes = 0, headers = 0;
  for (const CollectionImage& image : images) {
    bytes += image.size;
    headers += image.disk_headers;
  }
  std::printf("collection: %zu images, %lld bytes (%.1f MiB), %lld disks\n",
              images.size(), static_cast<long long>(bytes),
              static_cast<double>(bytes) / (1 << 20),
              static_cast<long long>(headers));
  std::printf("runs: %d of each, alternating\n\n", runs);

  // Every program runs in the collection's directory, on the images by
  // name, in name order.
  std::vector<std::string> names;
  for (const CollectionImage& image : images) names.push_back(image.name);
  auto on = [&](std::vector<std::string> args, bool every_image) {
    if (every_image) {
      args.insert(args.end(), names.begin(), names.end());
    } else {
      args.push_back(names.front());
    }
    return args;
  };
  const auto summary = on({PROBE_PATH, "--summary", "-j", "1"}, true);
  const auto summary_one = on({PROBE_PATH, "--summary", "-j", "1"}, false);
  const auto summary_two = on({PROBE_PATH, "--summary", "-j", "2"}, true);
  const auto summary_cores = on({PROBE_PATH, "--summary"}, true);
  const auto full = on({PROBE_PATH, "-j", "1"}, true);
  const auto cat = on({"/bin/cat"}, true);

  // The output first, which also warms the page cache.
  bool right = true;
  int64_t summary_bytes = 0;
  const std::pair<const char*, const std::vector<std::string>*> outputs[] = {
      {"--summary -j 1", &summary},
      {"--summary", &summary_cores},
      {"-j 1", &full}};
  for (const auto& [what, args] : outputs) {
    const fs::path output = scratch / "output.jsonl";
    Finish(Start(*args, dir, output), PROBE_PATH);
    if (args == &summary) {
      summary_bytes = static_cast<int64_t>(fs::file_size(output));
    }
    if (!OutputRight(output, images)) {
      std::printf("output of %s: not one line for each image: WRONG\n", what);
      right = false;
    }
  }
  Spawn(cat, dir);

  const Timed read = Spawn(summary, dir);
  const Timed cat_read = Spawn(cat, dir);
  const long calls = CountSyscalls(summary, dir, scratch);
  const long base = CountSyscalls(summary_one, dir, scratch);
  const Peak peaks[] = {
      {"--summary -j 1", PeakRssKiB(summary, dir), kProbeRssBudgetKiB},
      {"-j 1", PeakRssKiB(full, dir), kProbeRssBudgetKiB},
      {"--summary -j 2", PeakRssKiB(summary_two, dir),
       kProbeRssBudgetKiB + kProbeRssAThreadKiB}};
  const Timing one = TimeAgainstCat(summary, cat, runs, dir);
  const Timing cores = TimeAgainstCat(summary_cores, cat, runs, dir);
  fs::remove_all(scratch);

  const long more_images = static_cast<long>(images.size()) - 1;
  const long line_writes =
      static_cast<long>(summary_bytes / kProbeOutputBuffer);
  const long calls_budget =
      base + kProbeCallsAnImage * more_images + line_writes + kProbeCallsHeap;
  const int64_t read_budget =
      bytes + kProbeDiskHeaderBytes * headers + kProbeReadSlack;
  const bool calls_met = calls <= calls_budget;
  const bool read_met = read.bytes_read >= 0 && read.bytes_read <= read_budget;
  bool rss_met = true;
  for (const Peak& peak : peaks) {
    rss_met = rss_met && peak.kib >= 0 && peak.kib <= peak.budget_kib;
  }

  std::printf("%-22s %10s %14s %12s\n", "", "median ms", "system calls",
              "bytes read");
  std::printf("%-22s %10.1f %14ld %12lld\n", "probe --summary -j 1",
              one.probe_ms, calls, static_cast<long long>(read.bytes_read));
  std::printf("%-22s %10.1f\n", "probe --summary", cores.probe_ms);
  std::printf("%-22s %10.1f %14s %12lld\n", "cat", one.cat_ms, "",
              static_cast<long long>(cat_read.bytes_read));
  std::printf("  each run, -j 1/cat ms:%s\n", one.each.c_str());
  std::printf("  each run, every core/cat ms:%s\n", cores.each.c_str());
  std::printf(
      "  system calls     %ld, %.3f an image more than one image's %ld "
      "(budget <= %ld: %ld an image: open, look, close; a write each %ld "
      "bytes of output; %ld for the heap): %s\n",
      calls,
      static_cast<double>(calls - base) / static_cast<double>(more_images),
      base, calls_budget, kProbeCallsAnImage, kProbeOutputBuffer,
      kProbeCallsHeap, MetWord(calls_met));
  std::printf(
      "  bytes read       %lld, %.3f passes over the images (budget <= %lld: "
      "1 pass, %lld bytes a disk header, %lld more): %s\n",
      static_cast<long long>(read.bytes_read),
      static_cast<double>(read.bytes_read) / static_cast<double>(bytes),
      static_cast<long long>(read_budget),
      static_cast<long long>(kProbeDiskHeaderBytes),
      static_cast<long long>(kProbeReadSlack), MetWord(read_met));
  for (const Peak& peak : peaks) {
    std::printf("  peak RSS         %ld KiB, %s (budget <= %ld KiB): %s\n",
                peak.kib, peak.what, peak.budget_kib,
                MetWord(peak.kib >= 0 && peak.kib <= peak.budget_kib));
  }
  std::printf(
      "  wall time ratio  %.3f with -j 1, %.3f on every core, medians of the "
      "runs' (target <= %.2f, not a gate): %s, %s\n",
      one.ratio, cores.ratio, kProbeWallTarget,
      one.ratio <= kProbeWallTarget ? "met" : "missed",
      cores.ratio <= kProbeWallTarget ? "met" : "missed");

  const bool met = calls_met && read_met && rss_met && right;
  const double took =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started)
          .count();
  std::printf("%s (%.0f s)\n",
              met ? "every count within its budget"
                  : "a count over its budget, or a wrong output",
              took);
  return met ? 0 : 1;
}

}  // namespace
}  // namespace bench

int main(int argc, char** argv) { return bench::Main(argc, argv); }
