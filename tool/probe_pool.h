#ifndef DORVEX_TOOL_PROBE_POOL_H_
#define DORVEX_TOOL_PROBE_POOL_H_

#include <functional>
#include <string>
#include <vector>

#include "tool/probe_run.h"

namespace dorvex {

// Probes each of `images` with `settings` on up to `threads` threads (at
// least 1; one a core for 0), one image at a time each, every thread in a
// run of its own. Hands each result to `emit`, on the calling thread, in
// the order of `images`: each as soon as it and all before it are done.
// One thread probes on the calling thread alone.
void ProbeAll(const std::vector<std::string>& images, int threads,
              const ProbeSettings& settings,
              const std::function<void(const ProbeResult&)>& emit);

}  // namespace dorvex

#endif  // DORVEX_TOOL_PROBE_POOL_H_
