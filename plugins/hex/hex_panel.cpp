#include "hex_panel.h"

#include <QBoxLayout>
#include <QLabel>
#include <QScrollBar>

#include "hex_layout.h"
#include "hex_view.h"

namespace kestrova::hex {

HexPanel::HexPanel(std::shared_ptr<HexDocument> document, QWidget* parent)
    : QWidget(parent),
      status_(new QLabel(this)),
      scrollBar_(new QScrollBar(Qt::Vertical, this)),
      view_(new HexView(
          std::move(document), scrollBar_, [this] { ShowStatus(); }, this)) {
    status_->setObjectName(QStringLiteral("hexStatus"));
    scrollBar_->setObjectName(QStringLiteral("hexScrollBar"));
    view_->setObjectName(QStringLiteral("hexView"));

    auto* rows = new QHBoxLayout;
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);
    rows->addWidget(view_, 1);
    rows->addWidget(scrollBar_);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(4, 4, 4, 4);
    column->addWidget(status_);
    column->addLayout(rows, 1);
    setFocusProxy(view_);
    ShowStatus();
}

void HexPanel::ShowStatus() {
    const HexDocument& document = view_->document();
    const std::string text = StatusText(view_->caret(), document.size(), document.changedCount());
    status_->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

}  // namespace kestrova::hex
