#pragma once
// The runner of long conversions for a plug-in whose panels live in the editor's window: the
// work runs on a thread of its own while the interface thread keeps its event loop going, so the
// window paints and answers. For the first 300 ms input waits; then a modal dialog shows that
// the conversion runs and offers Cancel, which asks the work to stop and waits for it. For the
// Qt part of a plug-in only, like session_plugin.h.

#include <atomic>
#include <exception>
#include <functional>
#include <thread>

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include "plugins/support/long_conversion.h"

namespace kestrova::plugin {

// "Converting..." with a busy bar and Cancel; Esc and closing the dialog cancel too, and the
// dialog stays until the work has stopped.
class ConversionDialog : public QDialog {
public:
    ConversionDialog(QWidget* parent, std::function<void()> cancel)
        : QDialog(parent), cancel_(std::move(cancel)) {
        setObjectName(QStringLiteral("conversionDialog"));
        setWindowTitle(QStringLiteral("Kestrova"));
        setWindowModality(Qt::ApplicationModal);
        auto* layout = new QVBoxLayout(this);
        label_ = new QLabel(QStringLiteral("Converting..."), this);
        auto* bar = new QProgressBar(this);
        bar->setRange(0, 0);
        button_ = new QPushButton(QStringLiteral("Cancel"), this);
        button_->setObjectName(QStringLiteral("cancelConversionButton"));
        layout->addWidget(label_);
        layout->addWidget(bar);
        layout->addWidget(button_, 0, Qt::AlignRight);
        QObject::connect(button_, &QPushButton::clicked, this, [this] { reject(); });
    }

    void reject() override {
        if (cancelled_) {
            return;
        }
        cancelled_ = true;
        label_->setText(QStringLiteral("Cancelling..."));
        button_->setEnabled(false);
        cancel_();
    }

protected:
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        reject();
    }

private:
    std::function<void()> cancel_;
    QLabel* label_ = nullptr;
    QPushButton* button_ = nullptr;
    bool cancelled_ = false;
};

inline bool RunConversionInWindow(const std::function<void()>& work,
                                  const std::function<void()>& requestStop) {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (app == nullptr || QThread::currentThread() != app->thread()) {
        work();
        return true;
    }
    QEventLoop loop;
    std::exception_ptr failure;
    std::atomic<bool> done{false};
    bool stopAsked = false;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        done = true;
        QMetaObject::invokeMethod(
            &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    // A short conversion ends without a dialog; input meanwhile waits for it.
    QTimer::singleShot(300, &loop, [&loop] { loop.quit(); });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!done) {
        ConversionDialog dialog(QApplication::activeWindow(), [&] {
            stopAsked = true;
            requestStop();
        });
        dialog.show();
        while (!done) {
            loop.exec();
        }
        dialog.hide();
    }
    worker.join();
    if (failure) {
        std::rethrow_exception(failure);
    }
    return !stopAsked;
}

// Makes RunLongConversion use RunConversionInWindow from now on.
inline void RunConversionsInWindow() {
    SetConversionRunner(RunConversionInWindow);
}

}  // namespace kestrova::plugin
