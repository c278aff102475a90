#pragma once
// The long part of a command, as the shell core hands it to the window that runs it. No Qt here:
// the core describes the work, the window (task_runner.h) decides where it runs.

#include <functional>
#include <stop_token>

#include "common/outcome.h"
#include "common/worker_work.h"
#include "document/asset_file.h"

namespace kestrova {

using LongWork = WorkerWork;
using LongWorkDone = std::function<void(const Outcome& outcome)>;

}  // namespace kestrova
