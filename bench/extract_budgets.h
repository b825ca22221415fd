#ifndef DORVEX_BENCH_EXTRACT_BUDGETS_H_
#define DORVEX_BENCH_EXTRACT_BUDGETS_H_

// The extraction benchmark's budgets: what CI gates on, each with its
// reason, and its wall-time targets. docs/performance.md holds the same
// table.

#include <cstdint>
#include <string>

#include "bench/bench_images.h"

namespace bench {

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

// Today's instruction count of `scenario`; 0 when it has none.
int64_t InstructionsToday(const std::string& scenario);

// The system calls that writing `files` may take besides reading the
// image, each write as its name stands then: free, written before in this
// run, or taken before the run (`filled`: every name holds what the run's
// last write of it leaves), and `console_lines` lines.
long CallBudget(const Manifest& files, bool filled, long console_lines);

}  // namespace bench

#endif  // DORVEX_BENCH_EXTRACT_BUDGETS_H_
