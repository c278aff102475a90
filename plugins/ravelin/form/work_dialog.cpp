#include "plugins/ravelin/form/work_dialog.h"

#include <utility>

#include <QMetaObject>
#include <QProgressDialog>
#include <QWidget>

namespace kestrova::ravelin {

namespace {

constexpr int kSteps = 1000;
constexpr int kPollMs = 50;

}  // namespace

WorkDialog::WorkDialog(QWidget* owner) : QObject(owner), owner_(owner) {
    poll_.setInterval(kPollMs);
    connect(&poll_, &QTimer::timeout, this, [this] {
        if (dialog_ != nullptr) {
            dialog_->setValue(permille_.load());
        }
    });
}

WorkDialog::~WorkDialog() {
    if (worker_.joinable()) {
        worker_.request_stop();
        worker_.join();
    }
    delete dialog_;
}

void WorkDialog::Run(std::u16string_view caption, ModWork work,
                     std::function<void(const Outcome&)> done) {
    if (running()) {
        done(Outcome::Failure(u"Another operation of the mod form is running."));
        return;
    }
    if (worker_.joinable()) {
        worker_.join();
    }
    permille_ = 0;
    done_ = std::move(done);
    const QString title =
        QString::fromUtf16(caption.data(), static_cast<qsizetype>(caption.size()));
    dialog_ = new QProgressDialog(title, QStringLiteral("Cancel"), 0, kSteps, owner_->window());
    dialog_->setWindowTitle(title);
    dialog_->setWindowModality(Qt::ApplicationModal);
    dialog_->setAutoClose(false);
    dialog_->setAutoReset(false);
    dialog_->setMinimumDuration(0);
    dialog_->setValue(0);
    connect(dialog_, &QProgressDialog::canceled, this, [this] { worker_.request_stop(); });
    dialog_->show();
    poll_.start();
    worker_ =
        std::jthread([this, work = std::move(work), hook = reportHook_](std::stop_token stop) {
            const Outcome outcome = RunWorkerWork(
                work,
                [this](std::u16string_view, float done) {
                    permille_ = static_cast<int>(done * kSteps);
                },
                hook, stop);
            QMetaObject::invokeMethod(
                this, [this, outcome] { Finish(outcome); }, Qt::QueuedConnection);
        });
}

void WorkDialog::Finish(const Outcome& outcome) {
    worker_.join();
    poll_.stop();
    delete dialog_;
    std::function<void(const Outcome&)> done = std::move(done_);
    done_ = nullptr;
    if (done) {
        done(outcome);
    }
    emit finished();
}

}  // namespace kestrova::ravelin
