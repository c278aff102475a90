#pragma once
// Work that a runner starts on a worker thread: what it is given, and how the runner calls it so
// that nothing it throws escapes the thread.

#include <exception>
#include <functional>
#include <new>
#include <stop_token>

#include "common/outcome.h"
#include "common/progress.h"

namespace kestrova {

// Reports through `progress` and ends with Cancelled() when `stop` is requested, leaving
// everything as it was before it started.
using WorkerWork = std::function<Outcome(const ProgressCallback& progress, std::stop_token stop)>;

// For tests: called on the worker with the work's stop token at each report, before the report
// is passed on. A hook that waits there for the stop makes a cancel land in the middle of the
// work however fast the machine is.
using ReportHook = std::function<void(const std::stop_token& stop)>;

// Runs `work` on the calling thread: each report goes to `hook` when there is one, then to
// `show`; what the work throws ends it with a failure that says so.
inline Outcome RunWorkerWork(const WorkerWork& work, const ProgressCallback& show,
                             const ReportHook& hook, const std::stop_token& stop) {
    try {
        return work(
            [&](std::u16string_view text, float fraction) {
                if (hook) {
                    hook(stop);
                }
                show(text, fraction);
            },
            stop);
    } catch (const std::bad_alloc&) {
        return Outcome::Failure(u"Not enough memory for the operation.");
    } catch (const std::exception&) {
        return Outcome::Failure(u"The operation failed.");
    }
}

}  // namespace kestrova
