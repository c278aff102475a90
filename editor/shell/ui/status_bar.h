#pragma once
// The strip along the bottom of the main window: a progress surface that the window paints itself,
// the status text beside it and, while a long operation runs, a Cancel button at its end. Some
// commands still update the shell's status after every step without returning to the event loop,
// so painting here is synchronous and cheap.

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <QWidget>

class QPushButton;

namespace kestrova {

class EditorShell;

class StatusBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 32;
    static constexpr int kMargin = 4;
    static constexpr int kProgressWidth = 300;

    explicit StatusBar(const EditorShell& shell, QWidget* parent = nullptr);

    // Paints the shell's statusText and statusProgress now. Calls that follow one another faster
    // than the screen can show are folded: the skipped state is painted as soon as control returns
    // to the event loop, so the last text and fraction always reach the screen.
    void Refresh();

    // What was painted last, for the window and its tests.
    const QString& shownText() const { return shownText_; }
    float shownProgress() const { return shownProgress_; }
    // The progress surface's frame, its inside, and the width of the done part within it.
    QRect progressFrame() const;
    QRect progressInside() const;
    int doneWidth() const;

    // Shows the Cancel button (while a long operation runs) or hides it.
    void ShowCancel(bool shown);
    QPushButton* cancelButton() const { return cancel_; }

signals:
    void cancelClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void PaintNow();

    const EditorShell& shell_;
    QString shownText_;
    float shownProgress_ = 0.0f;
    QElapsedTimer sinceLastPaint_;
    QTimer flushTimer_;
    QPushButton* cancel_ = nullptr;
};

}  // namespace kestrova
