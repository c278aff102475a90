#pragma once
// The panel that the hex plug-in gives the editor: a status line (the offset under the caret, the
// asset's length, how many bytes changed) over the byte view and its scroll bars.

#include <memory>

#include <QWidget>

#include "hex_document.h"
#include "hex_session.h"

class QLabel;
class QScrollBar;

namespace kestrova::hex {

class HexView;

class HexPanel : public QWidget {
public:
    HexPanel(std::shared_ptr<HexDocument> document, QWidget* parent = nullptr);
    // Edits the session's document.
    HexPanel(const HexSession& session, QWidget* parent) : HexPanel(session.document(), parent) {}

    HexView* view() const { return view_; }
    QLabel* status() const { return status_; }
    QScrollBar* scrollBar() const { return rowBar_; }
    QScrollBar* columnScrollBar() const { return columnBar_; }

private:
    void ShowStatus();

    QLabel* status_;
    QScrollBar* rowBar_;
    QScrollBar* columnBar_;
    HexView* view_;
};

}  // namespace kestrova::hex
