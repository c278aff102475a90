#pragma once
// Runs one long operation of the editor at a time on a worker thread, so that the window keeps
// painting and answering. The work's progress comes back to the thread that owns the runner,
// folded to its latest state (a worker may report far faster than a screen shows), and the
// outcome follows it there. Cancel asks the work to stop; the work itself leaves everything as
// it was.

#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include <QObject>

#include "editor/tasks/long_work.h"

namespace kestrova {

class TaskRunner : public QObject {
    Q_OBJECT
public:
    explicit TaskRunner(QObject* parent = nullptr);
    // Stops the running work and waits for it; its `done` is not called.
    ~TaskRunner() override;

    // Starts `work` on a worker thread; `show` gets its progress and `done` its outcome on this
    // object's thread, `done` after the last `show`. False, with nothing started, while another
    // work runs: commands are refused, never queued.
    bool Start(LongWork work, ProgressCallback show, LongWorkDone done);
    bool running() const { return running_; }
    // Asks the running work to stop. Work that finishes anyway still reports its outcome.
    void Cancel();
    // Stops the running work and waits for its thread to end; its `done` is not called.
    void CancelAndWait();
    // For tests: the hook of the works started afterwards (see ReportHook).
    void SetReportHook(ReportHook hook) { reportHook_ = std::move(hook); }

signals:
    // The runner became busy or idle; the window enables and disables its commands by it.
    void runningChanged(bool running);

private:
    // What the worker reported last and the interface thread has not shown yet.
    struct Relay {
        std::mutex mutex;
        std::u16string text;
        float fraction = 0.0f;
        bool posted = false;
    };

    void Report(std::u16string_view text, float fraction);
    void ShowReported();
    void Finish(unsigned generation, const Outcome& outcome);

    Relay relay_;
    ProgressCallback show_;
    LongWorkDone done_;
    ReportHook reportHook_;
    bool running_ = false;
    unsigned generation_ = 0;
    // Last, so that it is stopped and joined before the members the worker uses go.
    std::jthread worker_;
};

}  // namespace kestrova
