#include "plugins/support/long_conversion.h"

#include <atomic>
#include <utility>

namespace kestrova::plugin {
namespace {

std::atomic<bool> stopRequested{false};

ConversionRunner& Runner() {
    static ConversionRunner runner;
    return runner;
}

}  // namespace

bool RunLongConversion(const std::function<void()>& work) {
    stopRequested = false;
    if (!Runner()) {
        work();
        return true;
    }
    const bool finished = Runner()(work, [] { stopRequested = true; });
    const bool stopped = stopRequested.exchange(false);
    return finished && !stopped;
}

bool ConversionStopRequested() {
    return stopRequested.load(std::memory_order_relaxed);
}

void SetConversionRunner(ConversionRunner runner) {
    Runner() = std::move(runner);
}

}  // namespace kestrova::plugin
