#include "editor/plugins/ui/plugin_info_dialog.h"

#include <algorithm>
#include <numeric>
#include <vector>

#include <QComboBox>
#include <QPlainTextEdit>

#include "common/text.h"
#include "editor/plugins/plugin_info.h"
#include "editor/plugins/plugin_table.h"

namespace kestrova {
namespace {

QString Q(const std::u16string& text) {
    return QString::fromStdU16String(text);
}

QPlainTextEdit* AddTextField(QWidget* parent, const QRect& geometry, const char* name,
                             Qt::ScrollBarPolicy scrollBar) {
    auto* edit = new QPlainTextEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setReadOnly(true);
    edit->setGeometry(geometry);
    edit->setVerticalScrollBarPolicy(scrollBar);
    return edit;
}

}  // namespace

PluginInfoDialog::PluginInfoDialog(const PluginTable& table, QWidget* parent)
    : ModelessDialog(QStringLiteral("Plugin Info"), 316, 245, parent), table_(table) {
    list_ = new QComboBox(this);
    list_->setObjectName(QStringLiteral("pluginList"));
    list_->setEditable(true);
    list_->setInsertPolicy(QComboBox::NoInsert);
    list_->setGeometry(units().rect(7, 7, 302, 14));
    summary_ =
        AddTextField(this, units().rect(7, 23, 302, 41), "summaryEdit", Qt::ScrollBarAsNeeded);
    summary_->setLineWrapMode(QPlainTextEdit::NoWrap);
    description_ =
        AddTextField(this, units().rect(7, 65, 302, 54), "descriptionEdit", Qt::ScrollBarAlwaysOn);
    instructions_ = AddTextField(this, units().rect(7, 122, 302, 116), "instructionsEdit",
                                 Qt::ScrollBarAlwaysOn);
    FillPluginInfo();
    connect(list_, &QComboBox::currentIndexChanged, this, &PluginInfoDialog::ShowPluginInfo);
}

void PluginInfoDialog::FillPluginInfo() {
    list_->clear();
    // A sorted list: the lines in alphabetical order (ignoring case), each keeping its position in
    // the table as item data.
    std::vector<std::size_t> order(table_.plugins.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::vector<std::u16string> lines;
    for (const PluginRecord& record : table_.plugins) {
        lines.push_back(PluginListText(record));
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return CompareIgnoringAsciiCase(lines[a], lines[b]) < 0;
    });
    for (std::size_t i : order) {
        list_->addItem(Q(lines[i]), static_cast<qulonglong>(i));
    }
    list_->setCurrentIndex(table_.plugins.empty() ? -1 : 0);
    ShowPluginInfo(list_->currentIndex());
}

void PluginInfoDialog::ShowPluginInfo(int selection) {
    bool valid = false;
    const qulonglong index = list_->itemData(selection).toULongLong(&valid);
    if (selection < 0 || !valid || index >= table_.plugins.size()) {
        // No plug-in: nothing to show.
        summary_->clear();
        description_->clear();
        instructions_->clear();
        return;
    }
    const PluginDescriptor& descriptor = table_.plugins[index].descriptor;
    summary_->setPlainText(Q(PluginSummaryText(descriptor)));
    description_->setPlainText(Q(descriptor.description));
    instructions_->setPlainText(Q(descriptor.instructions));
}

}  // namespace kestrova
