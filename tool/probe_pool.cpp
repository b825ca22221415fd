#include "tool/probe_pool.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace dorvex {

namespace {

// A run of its own for each thread: over a megabyte with its report.
struct Worker {
  RunState run;
  DiskReport report;
};

// The images' results between the threads that make them and the one that
// hands them on in order. A thread takes the next image only while fewer
// than a few images a thread wait to be handed on, so that a slow image
// holds back no more than that.
class Line {
 public:
  Line(size_t count, size_t window) : results_(count), window_(window) {}

  // The next image for a thread to probe, or false when none is left.
  bool Take(size_t* index) {
    std::unique_lock<std::mutex> lock(mutex_);
    room_.wait(lock, [this] { return next_ < handed_ + window_; });
    if (next_ >= results_.size()) return false;
    *index = next_++;
    return true;
  }

  void Put(size_t index, ProbeResult result) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      results_[index] = std::make_unique<ProbeResult>(std::move(result));
    }
    done_.notify_all();
  }

  // Waits for the result of `index` (the first not yet handed on).
  std::unique_ptr<ProbeResult> Wait(size_t index) {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [&] { return results_[index] != nullptr; });
    std::unique_ptr<ProbeResult> result = std::move(results_[index]);
    handed_ = index + 1;
    lock.unlock();
    room_.notify_all();
    return result;
  }

 private:
  std::mutex mutex_;
  std::condition_variable done_;
  std::condition_variable room_;
  std::vector<std::unique_ptr<ProbeResult>> results_;
  size_t window_;
  size_t next_ = 0;
  size_t handed_ = 0;
};

void Probe(Line& line, const std::vector<std::string>& images,
           const ProbeSettings& settings) {
  const std::unique_ptr<Worker> worker = std::make_unique<Worker>();
  size_t index = 0;
  while (line.Take(&index)) {
    line.Put(index,
             ProbeImage(worker->run, worker->report, images[index], settings));
  }
}

// Probes each image in turn on the calling thread.
void ProbeInTurn(const std::vector<std::string>& images,
                 const ProbeSettings& settings,
                 const std::function<void(const ProbeResult&)>& emit) {
  const std::unique_ptr<Worker> worker = std::make_unique<Worker>();
  for (const std::string& image : images) {
    emit(ProbeImage(worker->run, worker->report, image, settings));
  }
}

}  // namespace

void ProbeAll(const std::vector<std::string>& images, int threads,
              const ProbeSettings& settings,
              const std::function<void(const ProbeResult&)>& emit) {
  size_t wanted = threads > 0 ? static_cast<size_t>(threads)
                              : std::thread::hardware_concurrency();
  if (wanted == 0) wanted = 1;
  if (wanted > images.size()) wanted = images.size();
  if (wanted <= 1) return ProbeInTurn(images, settings, emit);
  Line line(images.size(), 4 * wanted);
  std::vector<std::thread> pool;
  for (size_t t = 0; t < wanted; ++t) {
    try {
      pool.emplace_back(Probe, std::ref(line), std::cref(images),
                        std::cref(settings));
    } catch (const std::system_error&) {
      break;  // the host gives no more threads: those it gave do the work
    }
  }
  if (pool.empty()) return ProbeInTurn(images, settings, emit);
  for (size_t i = 0; i < images.size(); ++i) emit(*line.Wait(i));
  for (std::thread& thread : pool) thread.join();
}

}  // namespace dorvex
