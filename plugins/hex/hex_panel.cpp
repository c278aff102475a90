#include "hex_panel.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QLabel>
#include <QScrollBar>

#include "hex_layout.h"
#include "hex_view.h"

namespace kestrova::hex {

HexPanel::HexPanel(std::shared_ptr<HexDocument> document, QWidget* parent)
    : QWidget(parent),
      status_(new QLabel(this)),
      rowBar_(new QScrollBar(Qt::Vertical, this)),
      columnBar_(new QScrollBar(Qt::Horizontal, this)),
      view_(new HexView(
          std::move(document), rowBar_, columnBar_, [this] { ShowStatus(); }, this)) {
    status_->setObjectName(QStringLiteral("hexStatus"));
    rowBar_->setObjectName(QStringLiteral("hexScrollBar"));
    columnBar_->setObjectName(QStringLiteral("hexColumnScrollBar"));
    view_->setObjectName(QStringLiteral("hexView"));

    auto* bytes = new QGridLayout;
    bytes->setContentsMargins(0, 0, 0, 0);
    bytes->setSpacing(0);
    bytes->addWidget(view_, 0, 0);
    bytes->addWidget(rowBar_, 0, 1);
    bytes->addWidget(columnBar_, 1, 0);
    bytes->setRowStretch(0, 1);
    bytes->setColumnStretch(0, 1);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(4, 4, 4, 4);
    column->addWidget(status_);
    column->addLayout(bytes, 1);
    setFocusProxy(view_);
    ShowStatus();
}

void HexPanel::ShowStatus() {
    const HexDocument& document = view_->document();
    const std::string text = StatusText(view_->caret(), document.size(), document.changedCount());
    status_->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

}  // namespace kestrova::hex
