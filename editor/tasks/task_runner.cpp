#include "editor/tasks/task_runner.h"

#include <utility>

#include <QMetaObject>

namespace kestrova {

TaskRunner::TaskRunner(QObject* parent) : QObject(parent) {}

TaskRunner::~TaskRunner() {
    CancelAndWait();
}

bool TaskRunner::Start(LongWork work, ProgressCallback show, LongWorkDone done) {
    if (running_) {
        return false;
    }
    running_ = true;
    const unsigned generation = ++generation_;
    show_ = std::move(show);
    done_ = std::move(done);
    emit runningChanged(true);
    worker_ = std::jthread(
        [this, generation, work = std::move(work), hook = reportHook_](std::stop_token stop) {
            const Outcome outcome = RunWorkerWork(
                work, [this](std::u16string_view text, float fraction) { Report(text, fraction); },
                hook, stop);
            // Queued after every progress report, so the outcome is handed over after the last one.
            QMetaObject::invokeMethod(
                this, [this, generation, outcome] { Finish(generation, outcome); },
                Qt::QueuedConnection);
        });
    return true;
}

void TaskRunner::Report(std::u16string_view text, float fraction) {
    std::lock_guard lock(relay_.mutex);
    relay_.text.assign(text);
    relay_.fraction = fraction;
    if (!relay_.posted) {
        relay_.posted = true;
        QMetaObject::invokeMethod(this, &TaskRunner::ShowReported, Qt::QueuedConnection);
    }
}

void TaskRunner::ShowReported() {
    std::u16string text;
    float fraction = 0.0f;
    {
        std::lock_guard lock(relay_.mutex);
        relay_.posted = false;
        text.swap(relay_.text);
        fraction = relay_.fraction;
    }
    if (running_ && show_) {
        show_(text, fraction);
    }
}

void TaskRunner::Finish(unsigned generation, const Outcome& outcome) {
    // The outcome of work whose end was already waited for (CancelAndWait) is not taken.
    if (!running_ || generation != generation_) {
        return;
    }
    if (worker_.joinable()) {
        worker_.join();
    }
    running_ = false;
    LongWorkDone done = std::move(done_);
    show_ = nullptr;
    done_ = nullptr;
    // The commands come back before `done`, which may start the next operation.
    emit runningChanged(false);
    if (done) {
        done(outcome);
    }
}

void TaskRunner::Cancel() {
    if (running_) {
        worker_.request_stop();
    }
}

void TaskRunner::CancelAndWait() {
    if (worker_.joinable()) {
        worker_.request_stop();
        worker_.join();
    }
    if (running_) {
        running_ = false;
        show_ = nullptr;
        done_ = nullptr;
        emit runningChanged(false);
    }
}

}  // namespace kestrova
