#ifndef DORVEX_BENCH_COUNTING_H_
#define DORVEX_BENCH_COUNTING_H_

// Runs a program as a child and counts what repeats from run to run on any
// machine under any load: the system calls (strace), the bytes read (the
// kernel's count for the process), the peak resident memory and the
// instructions executed in user space (callgrind); and times it. Each
// exits this process with status 2 when it cannot start or count the
// child, or the child fails.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace bench {

// Removes everything in `dir`.
void EmptyDirectory(const std::filesystem::path& dir);

// A child started in `dir` with its standard output written to `out` and
// its standard error discarded.
pid_t Start(const std::vector<std::string>& args,
            const std::filesystem::path& dir,
            const std::filesystem::path& out = "/dev/null");

struct Run {
  std::chrono::steady_clock::time_point ended;
  int64_t bytes_read;  // the kernel's count of the bytes the child read
};

// Waits for the child's end: when it ended and the bytes it read. `what`
// names it should it fail.
Run Finish(pid_t pid, const std::string& what);

struct Timed {
  double seconds;
  int64_t bytes_read;
};

// Runs argv in `dir` and times it.
Timed Spawn(const std::vector<std::string>& args,
            const std::filesystem::path& dir);

// System calls of one run of argv in `dir` besides those that read a file,
// counted by strace -c -f, whose report goes into `scratch`.
long CountSyscalls(const std::vector<std::string>& args,
                   const std::filesystem::path& dir,
                   const std::filesystem::path& scratch);

// Starts one run of argv under callgrind, which writes its counts to
// `counts`; the total is read with ReadInstructions once it has ended.
pid_t StartCounting(const std::vector<std::string>& args,
                    const std::filesystem::path& dir,
                    const std::filesystem::path& counts);

// The instructions callgrind counted into `counts`, which it then removes.
int64_t ReadInstructions(const std::filesystem::path& counts);

// Peak resident memory of one run of argv in `dir`, in KiB; -1 when it
// cannot be read.
long PeakRssKiB(const std::vector<std::string>& args,
                const std::filesystem::path& dir);

// The median of `values`, which is not empty: the upper one of an even
// count.
double Median(std::vector<double> values);

}  // namespace bench

#endif  // DORVEX_BENCH_COUNTING_H_
