#include "plugins/ravelin/form/mod_form.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include "plugins/ravelin/core/mod_form_layout.h"
#include "plugins/ravelin/form/work_dialog.h"

namespace kestrova::ravelin {

namespace {

QString Q(const std::u16string& text) {
    return QString::fromStdU16String(text);
}

// The description is kept with the line breaks of the files it travels in (CR LF); the edit
// control shows plain line feeds.
QString ForDisplay(const std::u16string& text) {
    return Q(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

std::u16string FromDisplay(QString text) {
    return text.replace(QStringLiteral("\n"), QStringLiteral("\r\n")).toStdU16String();
}

// Keeps the Return key from a combo box's edit field, which would otherwise pick the item whose
// text was typed: only a choice from the list acts.
class IgnoreReturn : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

// The height of an edit field; a combo box's layout height is that of its drop-down list.
constexpr int kFieldHeight = 24;

}  // namespace

ModForm::ModForm(QWidget* parent, ModSession& session, FormDialogs dialogs)
    : QWidget(parent), session_(session), dialogs_(dialogs), work_(new WorkDialog(this)) {
    setObjectName(QStringLiteral("RavelinModForm"));
    connect(work_, &WorkDialog::finished, this, &ModForm::Refresh);
    AddLabel(kTemplateLabel, "Template");
    templates_ = Make<QComboBox>(kTemplateBox);
    AddLabel(kNameLabel, "Mod Name");
    AddEdit(kNameEdit, ModField::Name, kNameCapacity);
    AddLabel(kVersionLabel, "Mod Version");
    AddEdit(kVersionEdit, ModField::Version, kNameCapacity);
    AddLabel(kAuthorLabel, "Mod Author");
    AddEdit(kAuthorEdit, ModField::Author, kNameCapacity);
    AddLabel(kDateLabel, "Mod Date");
    AddEdit(kDateEdit, ModField::Date, kNameCapacity);
    AddLabel(kDirectoryLabel, "Mod Directory");
    AddEdit(kDirectoryEdit, ModField::Directory, kPathCapacity);
    AddButton(kDirectoryButton, "...", [this] { session_.BrowseDirectory(dialogs_.folders); });
    AddLabel(kVerifyLabel, "Verify File");
    AddEdit(kVerifyEdit, ModField::VerifyFile, kPathCapacity);
    AddButton(kVerifyButton, "...", [this] { session_.BrowseVerifyFile(dialogs_.files); });
    AddLabel(kDescriptionLabel, "Mod Description");
    description_ = Make<QPlainTextEdit>(kDescriptionEdit);
    AddLabel(kFilesLabel, "Mod Files");
    AddButton(kAddButton, "Add File", [this] { session_.AddFile(dialogs_.messages); });
    AddButton(kRemoveButton, "Remove File", [this] { session_.RemoveFile(dialogs_.messages); });
    files_ = Make<QListWidget>(kFilesList);
    AddLabel(kInstallerLabel, "Installer");
    installers_ = Make<QComboBox>(kInstallerBox);
    AddLabel(kIconLabel, "Installer Icon");
    AddEdit(kIconEdit, ModField::IconPath, kPathCapacity);
    AddButton(kIconButton, "...", [this] { session_.BrowseIcon(dialogs_.files); });
    AddButton(kOpenButton, "Open Mod",
              [this] { session_.OpenModFile(dialogs_.files, dialogs_.messages, work_); });
    AddButton(kSaveButton, "Save Mod",
              [this] { session_.SaveModFile(dialogs_.files, dialogs_.messages, work_); });
    AddButton(kPackageButton, "Package Mod",
              [this] { session_.PackageModFile(dialogs_.files, dialogs_.messages, work_); });

    description_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    connect(description_, &QPlainTextEdit::textChanged, this, [this] {
        if (!refreshing_) {
            session_.EditField(ModField::Description, FromDisplay(description_->toPlainText()));
        }
    });
    files_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    connect(files_, &QListWidget::itemSelectionChanged, this, [this] {
        QListWidgetItem* item = files_->currentItem();
        if (!refreshing_ && item != nullptr && item->isSelected()) {
            session_.SelectEntry(item->data(Qt::UserRole).value<qulonglong>());
        }
    });
    // Both boxes have an editable field, but only choosing an item from the list acts.
    for (QComboBox* box : {templates_, installers_}) {
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        box->setCompleter(nullptr);
        box->lineEdit()->installEventFilter(new IgnoreReturn(box));
    }
    for (const std::u16string& name : session_.TemplateItems()) {
        templates_->addItem(Q(name));
    }
    for (const std::u16string& name : session_.InstallerItems()) {
        installers_->addItem(Q(name));
    }
    connect(templates_, &QComboBox::activated, this, [this](int position) {
        session_.ChooseTemplate(static_cast<std::size_t>(position));
        Refresh();
    });
    connect(installers_, &QComboBox::activated, this, [this](int position) {
        session_.ChooseInstaller(static_cast<std::size_t>(position));
        Refresh();
    });

    // The form's size in dialog units, as the dialog font converts them.
    const QFontMetrics metrics(font());
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int averageWidth = (metrics.horizontalAdvance(alphabet) + 26) / 52;
    resize(316 * averageWidth / 4, 371 * metrics.height() / 8);
    ShowSelections();
    Refresh();
}

ModForm::~ModForm() {
    // A running copy stops first: its thread runs the plug-in's code, and its outcome no longer
    // has a form to show it.
    delete work_;
    work_ = nullptr;
    // The controls go while the form is whole, so that nothing they signal on the way reaches
    // a form half destroyed.
    refreshing_ = true;
    for (auto& [id, control] : controls_) {
        delete control;
    }
    controls_.clear();
    session_.EndForm();
}

template <typename Control>
Control* ModForm::Make(int id) {
    auto* control = new Control(this);
    control->setObjectName(QStringLiteral("control%1").arg(id));
    controls_[id] = control;
    return control;
}

void ModForm::AddLabel(int id, const char* text) {
    Make<QLabel>(id)->setText(QString::fromLatin1(text));
}

void ModForm::AddEdit(int id, ModField field, std::size_t capacity) {
    auto* edit = Make<QLineEdit>(id);
    edit->setMaxLength(static_cast<int>(capacity - 1));
    connect(edit, &QLineEdit::textChanged, this, [this, edit, field] {
        if (!refreshing_) {
            session_.EditField(field, edit->text().toStdU16String());
        }
    });
}

void ModForm::AddButton(int id, const char* text, std::function<void()> action) {
    auto* button = Make<QPushButton>(id);
    button->setText(QString::fromLatin1(text));
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, [this, action = std::move(action)] {
        action();
        Refresh();
    });
}

QWidget* ModForm::control(int id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

void ModForm::Refresh() {
    refreshing_ = true;
    const std::pair<int, ModField> edits[] = {
        {kNameEdit, ModField::Name},           {kVersionEdit, ModField::Version},
        {kAuthorEdit, ModField::Author},       {kDateEdit, ModField::Date},
        {kDirectoryEdit, ModField::Directory}, {kVerifyEdit, ModField::VerifyFile},
        {kIconEdit, ModField::IconPath}};
    for (const auto& [id, field] : edits) {
        auto* edit = static_cast<QLineEdit*>(controls_.at(id));
        const QString text = Q(session_.FieldValue(field));
        if (edit->text() != text) {
            edit->setText(text);
        }
    }
    const QString description = ForDisplay(session_.mod().description);
    if (description_->toPlainText() != description) {
        description_->setPlainText(description);
    }
    files_->clear();
    for (const EntryListItem& item : session_.EntryList()) {
        auto* row = new QListWidgetItem(Q(item.text), files_);
        row->setData(Qt::UserRole, QVariant::fromValue<qulonglong>(item.entry));
    }
    session_.Refreshed();
    ShowSelections();
    refreshing_ = false;
}

void ModForm::ShowSelections() {
    const std::pair<QComboBox*, std::optional<std::size_t>> boxes[] = {
        {templates_, session_.TemplateSelection()}, {installers_, session_.InstallerSelection()}};
    for (const auto& [box, selection] : boxes) {
        const int index = selection ? static_cast<int>(*selection) : -1;
        if (box->currentIndex() != index) {
            box->setCurrentIndex(index);
        }
    }
}

void ModForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    for (const ControlPlace& place : LayOutModForm(width(), height())) {
        QWidget* control = controls_.at(place.id);
        const bool box = place.id == kTemplateBox || place.id == kInstallerBox;
        control->setGeometry(place.x, place.y, place.width, box ? kFieldHeight : place.height);
    }
}

}  // namespace kestrova::ravelin
