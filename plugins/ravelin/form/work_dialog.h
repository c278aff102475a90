#pragma once
// Runs the long part of a mod form action on a worker thread behind a progress dialog with
// Cancel. The dialog is application-modal, so neither the form nor the editor's window can start
// anything that would conflict while it is up; both keep painting. The plug-in owns this runner:
// destroying it (with the form, before the plug-in's library is unloaded) stops the work and
// waits for its thread.

#include <atomic>
#include <functional>
#include <thread>
#include <utility>

#include <QObject>
#include <QPointer>
#include <QProgressDialog>
#include <QTimer>

#include "plugins/ravelin/core/form_services.h"

class QWidget;

namespace kestrova::ravelin {

class WorkDialog : public QObject, public WorkRunner {
    Q_OBJECT
public:
    // The dialog opens over `owner`'s window.
    explicit WorkDialog(QWidget* owner);
    ~WorkDialog() override;

    // One work at a time: while one runs, another is refused with a message to `done`.
    void Run(std::u16string_view caption, ModWork work,
             std::function<void(const Outcome&)> done) override;
    bool running() const { return dialog_ != nullptr; }
    QProgressDialog* dialog() const { return dialog_; }
    // For tests: the hook of the works started afterwards (see ReportHook).
    void SetReportHook(ReportHook hook) { reportHook_ = std::move(hook); }

signals:
    // `done` has run: the form shows the session's state again.
    void finished();

private:
    void Finish(const Outcome& outcome);

    QWidget* owner_;
    QPointer<QProgressDialog> dialog_;
    QTimer poll_;
    std::atomic<int> permille_{0};
    std::function<void(const Outcome&)> done_;
    ReportHook reportHook_;
    // Last, so that it is stopped and joined before the members the worker uses go.
    std::jthread worker_;
};

}  // namespace kestrova::ravelin
