#include "editor/shell/ui/qt_message_sink.h"

#include <QMessageBox>
#include <QString>

namespace kestrova {

void QtMessageSink::Warning(std::u16string_view caption, std::u16string_view text) {
    QMessageBox::warning(nullptr,
                         QString::fromUtf16(caption.data(), static_cast<qsizetype>(caption.size())),
                         QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())));
}

}  // namespace kestrova
