#include "find_dialog.h"

#include <algorithm>
#include <memory>
#include <string>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>

#include "common/platform.h"
#include "common/text.h"
#include "editor/search/search_engine.h"
#include "editor/shell/editor_shell.h"
#include "editor/tasks/task_runner.h"

namespace kestrova {

namespace {

QString FromWide(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

std::u16string ToWide(const QString& text) {
    return text.toStdU16String();
}

// Lines sort alphabetically, upper and lower case of A-Z alike, as a sorted list box orders them.
class ResultLine : public QListWidgetItem {
public:
    using QListWidgetItem::QListWidgetItem;
    bool operator<(const QListWidgetItem& other) const override {
        return CompareIgnoringAsciiCase(ToWide(text()), ToWide(other.text())) < 0;
    }
};

constexpr int kEntryRole = Qt::UserRole;
constexpr int kIndexColumn = 2;

}  // namespace

const char* const FindDialog::kModeLabels[8] = {"Text (Case Insensitive)",
                                                "Text (Case Sensitive)",
                                                "Decimal (Signed)",
                                                "Decimal (Unsigned)",
                                                "Hexidecimal (Big Endian)",
                                                "Hexidecimal (Little Endian)",
                                                "Float",
                                                "Double"};

FindDialog::FindDialog(EditorShell& shell, QWidget* parent, TaskRunner* runner)
    : ModelessDialog(QStringLiteral("Find"), 316, 183, parent), shell_(shell), runner_(runner) {
    queryEdit_ = new QLineEdit(this);
    queryEdit_->setObjectName(QStringLiteral("queryEdit"));
    queryEdit_->setMaxLength(kQueryCapacity);
    queryEdit_->setGeometry(units().rect(7, 7, 244, 16));

    findButton_ = AddButton(QStringLiteral("Find"), units().rect(259, 7, 50, 16));
    findButton_->setObjectName(QStringLiteral("findButton"));

    modeBox_ = new QComboBox(this);
    modeBox_->setObjectName(QStringLiteral("modeBox"));
    modeBox_->setEditable(true);
    // A typed text is never added to the list; it only leaves the list without a selection.
    modeBox_->setInsertPolicy(QComboBox::NoInsert);
    modeBox_->setCompleter(nullptr);
    for (const char* label : kModeLabels) {
        modeBox_->addItem(QString::fromLatin1(label));
    }
    // The template's height includes the dropped list; the closed box is as high as its font.
    const QRect modeArea = units().rect(7, 28, 302, 82);
    modeBox_->setGeometry(modeArea.x(), modeArea.y(), modeArea.width(),
                          modeBox_->sizeHint().height());
    modeBox_->setCurrentIndex(0);

    resultList_ = new QListWidget(this);
    resultList_->setObjectName(QStringLiteral("resultList"));
    resultList_->setGeometry(units().rect(7, 46, 302, 114));
    resultList_->setSelectionMode(QAbstractItemView::SingleSelection);
    resultList_->setSortingEnabled(true);

    statusLine_ = new QLabel(QStringLiteral("Static"), this);
    statusLine_->setObjectName(QStringLiteral("statusLine"));
    statusLine_->setGeometry(units().rect(7, 161, 302, 15));
    statusLine_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    connect(findButton_, &QPushButton::clicked, this, &FindDialog::RunSearch);
    connect(resultList_, &QListWidget::itemSelectionChanged, this, &FindDialog::ChooseResult);
    connect(modeBox_->lineEdit(), &QLineEdit::textEdited, this, [this] { modeTyped_ = true; });
    connect(modeBox_, &QComboBox::activated, this, [this] { modeTyped_ = false; });
    if (runner_ != nullptr) {
        // No search while another operation changes or reads the working copy; the list would
        // select an asset meanwhile.
        connect(runner_, &TaskRunner::runningChanged, this, [this](bool running) {
            findButton_->setEnabled(!running);
            resultList_->setEnabled(!running);
        });
        findButton_->setEnabled(!runner_->running());
    }

    Clear(results_);
    Reset(results_);
    ShowStatus(QStringLiteral("Found No Results - Ready"));
    RefreshFindResults();
}

FindDialog::~FindDialog() {
    if (searching_) {
        runner_->Cancel();
    }
    // The list is destroyed after this object and may report its emptied selection on the way.
    disconnect(resultList_, nullptr, this, nullptr);
    Clear(results_);
}

int FindDialog::selectedMode() const {
    return modeTyped_ ? -1 : modeBox_->currentIndex();
}

void FindDialog::ShowStatus(const QString& text) {
    statusLine_->setText(text);
    statusLine_->repaint();
}

void FindDialog::RunSearch() {
    std::u16string query = ToWide(queryEdit_->text().left(kQueryCapacity));
    if (query.empty()) {
        Clear(results_);
        Reset(results_);
        RefreshFindResults();
        return;
    }
    const std::optional<unsigned long long> length =
        platform::FileSize(shell_.document.WorkingCopyPath());
    if (runner_ == nullptr || !length || *length < kBackgroundBytes) {
        Clear(results_);
        Reset(results_);
        ShowSearched(
            SearchAssetData(shell_.document, query, results_, selectedMode(),
                            [this](std::u16string_view text) { ShowStatus(FromWide(text)); }));
        return;
    }
    // The results shown stay until the search is complete: a cancelled one leaves them.
    auto found = std::make_shared<StringList>();
    Reset(*found);
    const AssetFile& document = shell_.document;
    LongWork work = [found, &document, query, mode = selectedMode()](
                        const ProgressCallback& progress, std::stop_token stop) {
        return SearchAssetData(
            document, query, *found, mode,
            [&progress](std::u16string_view text) { progress(text, 0.0f); }, stop);
    };
    // The dialog may be closed before the search ends; its destructor stops the search.
    auto show = [self = QPointer<FindDialog>(this)](std::u16string_view text, float) {
        if (self != nullptr) {
            self->ShowStatus(FromWide(text));
        }
    };
    auto done = [self = QPointer<FindDialog>(this), found](const Outcome& outcome) {
        if (self == nullptr) {
            return;
        }
        self->searching_ = false;
        if (outcome.message == Cancelled().message) {
            self->ShowStatus(FromWide(outcome.message));
            return;
        }
        self->results_ = std::move(*found);
        self->ShowSearched(outcome);
    };
    searching_ = runner_->Start(std::move(work), std::move(show), std::move(done));
}

void FindDialog::ShowSearched(const Outcome& outcome) {
    RefreshFindResults();
    if (!outcome.ok && outcome.message == kQueryNotSingleByte) {
        // The reason stays in view; the count alone would not say why nothing was searched.
        ShowStatus(FromWide(kQueryNotSingleByte));
    }
}

void FindDialog::RefreshFindResults() {
    refreshing_ = true;
    resultList_->clear();
    for (std::uint32_t k = 0; k < results_.count(); ++k) {
        std::u16string line =
            results_.at(k) + u" (" + DecimalText(static_cast<std::int32_t>(results_.tag(k))) + u")";
        auto* item = new ResultLine(FromWide(CopyLimited(line, 257)));
        item->setData(kEntryRole, static_cast<int>(k));
        resultList_->addItem(item);
    }
    resultList_->clearSelection();
    refreshing_ = false;
    ShowStatus(QStringLiteral("Found %1 Results - Ready").arg(results_.count()));
}

void FindDialog::ChooseResult() {
    if (refreshing_ || shell_.document.assetCount() == 0) {
        return;
    }
    const QList<QListWidgetItem*> chosen = resultList_->selectedItems();
    if (chosen.isEmpty()) {
        return;
    }
    const int entry = chosen.front()->data(kEntryRole).toInt();
    if (entry < 0 || static_cast<std::uint32_t>(entry) >= results_.count()) {
        return;
    }
    const std::uint32_t pathId = results_.tag(static_cast<std::size_t>(entry));
    // The row is found by the number its Index column shows, read back as an unsigned value,
    // in display order. The later forms' 64-bit path ids are compared by their low 32 bits, as
    // the result was tagged.
    const std::size_t rows = std::min<std::size_t>(shell_.rowCount(), shell_.document.assetCount());
    for (std::size_t row = 0; row < rows; ++row) {
        std::string digits;
        Utf16ToLatin1(shell_.cellText(row, kIndexColumn), digits);
        const std::uint32_t shown =
            shell_.document.metadata
                ? static_cast<std::uint32_t>(
                      shell_.document.entries[shell_.rowAssetIndex(row)].pathId)
                : ParseUnsigned32(digits);
        if (shown == pathId) {
            shell_.SelectAsset(static_cast<std::int32_t>(row));
            return;
        }
    }
}

}  // namespace kestrova
