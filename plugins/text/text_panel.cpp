#include "plugins/text/text_panel.h"

#include <algorithm>
#include <utility>

#include <QCheckBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTextDocument>
#include <QToolButton>
#include <QVBoxLayout>

namespace kestrova::text {
namespace {

// Long enough to skip the checks between the keys of one word, short enough to warn promptly.
constexpr int kStorableCheckDelayMs = 300;

QString BreaksName(LineBreaks breaks) {
    switch (breaks) {
        case LineBreaks::CrLf:
            return QStringLiteral("CR LF");
        case LineBreaks::Cr:
            return QStringLiteral("CR");
        case LineBreaks::Mixed:
            return QStringLiteral("mixed");
        case LineBreaks::Lf:
            break;
    }
    return QStringLiteral("LF");
}

QString EncodingName(TextEncoding encoding) {
    return encoding == TextEncoding::Utf8 ? QStringLiteral("UTF-8") : QStringLiteral("Latin-1");
}

}  // namespace

TextPanel::TextPanel(TextSession& session, QWidget* parent) : QWidget(parent), session_(session) {
    setObjectName(QStringLiteral("textPanel"));
    if (session_.damaged()) {
        auto* layout = new QVBoxLayout(this);
        message_ = new QLabel(QString::fromStdString(session_.error()), this);
        message_->setObjectName(QStringLiteral("damagedMessage"));
        message_->setWordWrap(true);
        layout->addWidget(message_);
        layout->addStretch();
        return;
    }
    BuildEditor();
    session_.Attach(this);
    Reload();
}

TextPanel::~TextPanel() {
    session_.Detach(this);
}

void TextPanel::BuildEditor() {
    auto* layout = new QVBoxLayout(this);

    auto* top = new QHBoxLayout;
    auto* undo = new QToolButton(this);
    undo->setText(tr("Undo"));
    undo->setEnabled(false);
    auto* redo = new QToolButton(this);
    redo->setText(tr("Redo"));
    redo->setEnabled(false);
    utf8Box_ = new QCheckBox(tr("Show as UTF-8"), this);
    utf8Box_->setObjectName(QStringLiteral("utf8Box"));
    top->addWidget(undo);
    top->addWidget(redo);
    top->addWidget(utf8Box_);
    top->addStretch();
    layout->addLayout(top);

    editor_ = new QPlainTextEdit(this);
    editor_->setObjectName(QStringLiteral("textEditor"));
    editor_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    editor_->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(editor_, 1);

    auto* findBar = new QHBoxLayout;
    findText_ = new QLineEdit(this);
    findText_->setObjectName(QStringLiteral("findText"));
    findText_->setPlaceholderText(tr("Find"));
    findText_->setClearButtonEnabled(true);
    auto* previous = new QPushButton(tr("Previous"), this);
    previous->setObjectName(QStringLiteral("findPrevious"));
    auto* next = new QPushButton(tr("Next"), this);
    next->setObjectName(QStringLiteral("findNext"));
    findBar->addWidget(findText_, 1);
    findBar->addWidget(previous);
    findBar->addWidget(next);
    layout->addLayout(findBar);

    info_ = new QLabel(this);
    info_->setObjectName(QStringLiteral("textInfo"));
    info_->setWordWrap(true);
    layout->addWidget(info_);
    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("textMessage"));
    message_->setWordWrap(true);
    storableWarning_ = new QLabel(this);
    storableWarning_->setObjectName(QStringLiteral("storableWarning"));
    storableWarning_->setWordWrap(true);
    layout->addWidget(message_);
    layout->addWidget(storableWarning_);

    connect(undo, &QToolButton::clicked, editor_, &QPlainTextEdit::undo);
    connect(redo, &QToolButton::clicked, editor_, &QPlainTextEdit::redo);
    connect(editor_, &QPlainTextEdit::undoAvailable, undo, &QToolButton::setEnabled);
    connect(editor_, &QPlainTextEdit::redoAvailable, redo, &QToolButton::setEnabled);
    connect(utf8Box_, &QCheckBox::toggled, this, &TextPanel::SwitchEncoding);
    connect(next, &QPushButton::clicked, this, [this] { Find(false); });
    connect(previous, &QPushButton::clicked, this, [this] { Find(true); });
    connect(findText_, &QLineEdit::returnPressed, this, [this] { Find(false); });
    auto* findBack = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_Return), findText_);
    findBack->setContext(Qt::WidgetShortcut);
    connect(findBack, &QShortcut::activated, this, [this] { Find(true); });
    auto* focusFind = new QShortcut(QKeySequence::Find, this);
    focusFind->setContext(Qt::WidgetWithChildrenShortcut);
    connect(focusFind, &QShortcut::activated, this, [this] {
        findText_->setFocus();
        findText_->selectAll();
    });
    auto* findNext = new QShortcut(QKeySequence::FindNext, this);
    findNext->setContext(Qt::WidgetWithChildrenShortcut);
    connect(findNext, &QShortcut::activated, this, [this] { Find(false); });
    auto* findPrevious = new QShortcut(QKeySequence::FindPrevious, this);
    findPrevious->setContext(Qt::WidgetWithChildrenShortcut);
    connect(findPrevious, &QShortcut::activated, this, [this] { Find(true); });

    storableCheck_.setSingleShot(true);
    storableCheck_.setInterval(kStorableCheckDelayMs);
    connect(&storableCheck_, &QTimer::timeout, this, &TextPanel::CheckStorable);
    connect(editor_->document(), &QTextDocument::contentsChanged, &storableCheck_,
            qOverload<>(&QTimer::start));
}

void TextPanel::Reload() {
    if (!editor_) {
        return;
    }
    carriedEdits_ = false;
    const ByteSpan stored = session_.storedText();
    const bool utf8 = IsValidUtf8(stored);
    std::optional<EditorText> shown = ForEditor(stored, encoding_);
    if (!shown) {
        encoding_ = TextEncoding::Latin1;
        shown = ForEditor(stored, encoding_);
    }
    {
        const QSignalBlocker blocker(utf8Box_);
        utf8Box_->setEnabled(utf8);
        utf8Box_->setChecked(encoding_ == TextEncoding::Utf8);
        utf8Box_->setToolTip(utf8 ? tr("Show and store the text as UTF-8")
                                  : tr("The text is not valid UTF-8"));
    }
    SetMessage({});
    Show(std::move(*shown));
}

void TextPanel::Show(EditorText text) {
    breaks_ = text.breaks;
    editable_ = text.editable;
    editor_->setPlainText(QString::fromStdU16String(text.text));
    editor_->document()->setModified(false);
    storableCheck_.stop();
    editor_->setReadOnly(!editable_);
    info_->setText(tr("%1 bytes, %2, line breaks %3")
                       .arg(session_.storedText().size())
                       .arg(EncodingName(encoding_), BreaksName(breaks_)));
    if (!editable_) {
        SetMessage(
            tr("This text mixes line breaks or holds characters that the editor would change, "
               "so it is shown read-only. Export it, edit the file and import it back."));
    }
    storableWarning_->clear();
}

std::u16string TextPanel::EditorString() const {
    // The raw text keeps every character as it is; only the paragraph breaks need mapping.
    QString raw = editor_->document()->toRawText();
    raw.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return raw.toStdU16String();
}

std::optional<Bytes> TextPanel::EditedText() const {
    if (!editor_ || !editable_ || (!editor_->document()->isModified() && !carriedEdits_)) {
        return std::nullopt;
    }
    Bytes bytes = FromEditor(EditorString(), encoding_, breaks_).bytes;
    const ByteSpan stored = session_.storedText();
    if (std::equal(bytes.begin(), bytes.end(), stored.begin(), stored.end())) {
        return std::nullopt;
    }
    return bytes;
}

void TextPanel::SwitchEncoding(bool utf8) {
    const TextEncoding target = utf8 ? TextEncoding::Utf8 : TextEncoding::Latin1;
    const auto refuse = [this](const QString& why) {
        const QSignalBlocker blocker(utf8Box_);
        utf8Box_->setChecked(encoding_ == TextEncoding::Utf8);
        SetMessage(why);
    };
    EncodedText current;
    if (editable_) {
        current = FromEditor(EditorString(), encoding_, breaks_);
    } else {
        current.bytes.assign(session_.storedText().begin(), session_.storedText().end());
    }
    if (current.unstorable > 0) {
        refuse(tr("The text holds characters that %1 cannot store; remove them first.")
                   .arg(EncodingName(encoding_)));
        return;
    }
    std::optional<EditorText> shown = ForEditor(current.bytes, target);
    if (!shown) {
        refuse(tr("The text is not valid UTF-8."));
        return;
    }
    if (editable_ && !shown->editable) {
        refuse(tr("As %1 the text holds characters that the editor would change.")
                   .arg(EncodingName(target)));
        return;
    }
    carriedEdits_ = carriedEdits_ || editor_->document()->isModified();
    encoding_ = target;
    SetMessage({});
    Show(std::move(*shown));
}

void TextPanel::Find(bool backward) {
    const QString needle = findText_->text();
    if (needle.isEmpty()) {
        return;
    }
    QTextDocument::FindFlags flags;
    if (backward) {
        flags |= QTextDocument::FindBackward;
    }
    SetMessage({});
    if (editor_->find(needle, flags)) {
        return;
    }
    // Not found before the end: go on from the other end, as far as where the search began.
    const QTextCursor from = editor_->textCursor();
    QTextCursor wrapped = from;
    wrapped.movePosition(backward ? QTextCursor::End : QTextCursor::Start);
    editor_->setTextCursor(wrapped);
    if (!editor_->find(needle, flags)) {
        editor_->setTextCursor(from);
        SetMessage(tr("\"%1\" was not found.").arg(needle));
    }
}

void TextPanel::CheckStorable() {
    if (!editor_ || !editable_) {
        return;
    }
    const std::size_t count = CountUnstorable(EditorString(), encoding_);
    if (count == 0) {
        storableWarning_->clear();
        return;
    }
    storableWarning_->setText(
        tr("%1 character(s) cannot be stored as %2 and would be saved as '?'.")
            .arg(count)
            .arg(EncodingName(encoding_)));
}

void TextPanel::SetMessage(const QString& message) {
    message_->setText(message);
    message_->setVisible(!message.isEmpty());
}

}  // namespace kestrova::text
