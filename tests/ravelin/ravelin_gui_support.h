#pragma once
// What the tests of the built plug-in share: pressing the form's buttons, answering the file
// dialogs the plug-in opens, and reading the "Mod Files" list.

#include <QApplication>
#include <QFileDialog>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace kestrova::testing {

// A file of the real game files, or an empty path when they are not at hand.
inline std::string RealFile(const std::string& name) {
    const char* folder = std::getenv("KESTROVA_REALDATA");
    const std::filesystem::path file =
        folder == nullptr ? std::filesystem::path() : std::filesystem::path(folder) / name;
    return std::filesystem::is_regular_file(file) ? file.string() : std::string();
}

inline void ClickFormButton(QWidget* form, int id) {
    auto* button = form->findChild<QPushButton*>(QStringLiteral("control%1").arg(id));
    ASSERT_NE(button, nullptr) << id;
    button->click();
}

// Answers the next file dialog with `path`, as a user who types it and presses the button.
inline void AnswerNextFileDialog(const QString& path) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, path] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            dialog->selectFile(path);
            QMetaObject::invokeMethod(dialog, "accept");
        }
    });
    timer->start(5);
}

// Presses OK on the next message box and keeps its caption and text.
inline std::shared_ptr<QStringList> AnswerNextMessageBox() {
    auto shown = std::make_shared<QStringList>();
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, shown] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            *shown << box->windowTitle() << box->text();
            box->accept();
        }
    });
    timer->start(5);
    return shown;
}

inline QStringList FormListTexts(QWidget* form) {
    QStringList texts;
    auto* list = form->findChild<QListWidget*>(QStringLiteral("control1011"));
    for (int i = 0; list != nullptr && i < list->count(); ++i) {
        texts << list->item(i)->text();
    }
    return texts;
}

}  // namespace kestrova::testing
