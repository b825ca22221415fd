#ifndef DORVEX_BENCH_PROBE_BUDGETS_H_
#define DORVEX_BENCH_PROBE_BUDGETS_H_

// The probe benchmark's budgets: what CI gates on, each with its reason,
// and its wall-time target. docs/performance.md holds the same table.

#include <cstdint>

namespace bench {

// The collection: 1,000 images of every kind (bench/bench_images.h).
constexpr int kCollectionImages = 1000;

// Bytes read (the kernel's count for the process), with -j 1: one pass over
// each image, plus what reading the images once does not cover:
constexpr int64_t kProbeDiskHeaderBytes = 688;  // each disk's header: the
                                                // scan reads it, selecting
                                                // the disk once more
constexpr int64_t kProbeReadSlack = 4096;       // the kernel's reads of the
                                                // program file as it starts it

// System calls for each image besides reading it, with -j 1 (on more
// threads, how often they wait for each other depends on the machine's
// other work), over those of a run on one image alone:
constexpr long kProbeCallsOpen = 1;   // the image opened
constexpr long kProbeCallsLook = 1;   // a look at what it is: its kind, size
constexpr long kProbeCallsClose = 1;  // and closed
constexpr long kProbeCallsAnImage =
    kProbeCallsOpen + kProbeCallsLook + kProbeCallsClose;
// and the lines: the C library writes its buffer whole, a write each
// 4 KiB of output, and the last part.
constexpr long kProbeOutputBuffer = 4096;
// and the heap, grown a call at a time to hold the largest report.
constexpr long kProbeCallsHeap = 4;

// Peak resident memory: the program and its C and C++ libraries (2.7 MiB,
// as dorvex's), a run's storage and the report of the image at hand, on
// one thread; each thread more holds a run's storage and a report of its
// own. Whole reports, pieces and all, are the largest.
constexpr long kProbeRssBudgetKiB = 6144;
constexpr long kProbeRssAThreadKiB = 2560;

// Wall time, as the ratio of the probe's time (--summary) to cat's on the
// same files with the page cache warm, with -j 1 and on every core:
// printed with "met" or "missed", never a failure.
constexpr double kProbeWallTarget = 1.5;

}  // namespace bench

#endif  // DORVEX_BENCH_PROBE_BUDGETS_H_
