#pragma once
// The text plug-in's panel: a plain-text editor over the session's text, with undo and redo, a
// find bar and the choice between Latin-1 and UTF-8. A damaged body shows its message instead.

#include <optional>

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "plugins/text/text_encoding.h"
#include "plugins/text/text_session.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace kestrova::text {

class TextPanel : public QWidget, public TextView {
public:
    TextPanel(TextSession& session, QWidget* parent);
    ~TextPanel() override;

    std::optional<Bytes> EditedText() const override;
    void Reload() override;

private:
    void BuildEditor();
    void Show(EditorText text);
    // The editor's text with every line break as '\n'.
    std::u16string EditorString() const;
    void SwitchEncoding(bool utf8);
    void Find(bool backward);
    void CheckStorable();
    void SetMessage(const QString& message);

    TextSession& session_;
    QPointer<QPlainTextEdit> editor_;
    QPointer<QCheckBox> utf8Box_;
    QPointer<QLineEdit> findText_;
    QPointer<QLabel> info_;
    QPointer<QLabel> message_;
    QPointer<QLabel> storableWarning_;
    QTimer storableCheck_;

    TextEncoding encoding_ = TextEncoding::Latin1;
    LineBreaks breaks_ = LineBreaks::Lf;
    bool editable_ = true;
    // Edits made before the encoding was switched: the editor's undo history began again there.
    bool carriedEdits_ = false;
};

}  // namespace kestrova::text
